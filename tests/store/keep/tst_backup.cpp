#include "store/keep/backup.h"

#include "child.h"
#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

using store::Code;
using store::Result;

namespace {

using Files = QMap<QString, QByteArray>;

// A program folder with something in every place a backup keeps, and files it leaves out.
Files fillDiary(const QString &dir) {
    const Files kept = {
        {u"Config.ini"_qs, "[index]\r\npath=home.KAV\r\n\r\n"},
        {u"home.KAV"_qs, "{\\rtf1 home page\\par }\r\n"},
        {u"DB/20040908.KAV"_qs, "\x7f"
                                "12\r\ntitle\r\n\x07\r\n{\\rtf1 body\\par }\r\n \x7f\r\n"},
        {u"DB/20040909.KAV"_qs, QByteArray(3000, 'x')},
        {u"Love/月光"_qs, "{\\rtf1 moon\\par }\r\n"},
        {u"UserInfo/12345678.usr"_qs, QByteArray("\0\1\2\3", 4)},
        {u"Message.txt"_qs, "hello\r\n"},
        {u"LogFile/2004-9-8.txt"_qs, "log\r\n"},
    };
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        testsupport::writeFile(dir + u'/' + it.key(), it.value());
    testsupport::writeFile(dir + u"/Images/a.bmp"_qs, "BM not kept");
    testsupport::writeFile(dir + u"/qingchuang"_qs, "the program, not kept");
    testsupport::writeFile(dir + u"/index.KAV"_qs, "not the home page this Config.ini names");
    return kept;
}

// Every file under dir except those under skip, by relative path.
Files filesUnder(const QString &dir, const QString &skip = QString()) {
    Files files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = QDir(dir).relativeFilePath(it.next());
        if (skip.isEmpty() || !rel.startsWith(skip + u'/'))
            files.insert(rel, testsupport::readFile(it.filePath()));
    }
    return files;
}

// The files of a zip archive, read with libarchive directly.
Files zipMembers(const QString &path) {
    Files files;
    archive *a = archive_read_new();
    archive_read_support_format_zip(a);
    if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 10240) != ARCHIVE_OK) {
        archive_read_free(a);
        return files;
    }
    archive_entry *e;
    while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
        if (archive_entry_filetype(e) != AE_IFREG) continue;
        QByteArray data;
        char buf[4096];
        for (la_ssize_t n; (n = archive_read_data(a, buf, sizeof buf)) > 0;)
            data.append(buf, n);
        files.insert(QString::fromUtf8(archive_entry_pathname_utf8(e)), data);
    }
    archive_read_free(a);
    return files;
}

QStringList fileNames(const QList<keep::BackupFile> &backups) {
    QStringList names;
    for (const keep::BackupFile &b : backups)
        names << QFileInfo(b.path).fileName();
    return names;
}

QDateTime at(int year, int month, int day, int hour = 9) {
    return QDateTime(QDate(year, month, day), QTime(hour, 0));
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT
private slots:
    void membersAreTheFiles();
    void oncePerDay();
    void rotation_data();
    void rotation();
    void rotationCountsOnlyWhatItWrote();
    void rotationCountsFromConfig_data();
    void rotationCountsFromConfig();
    void fullDiskKeepsOldBackups();
    void readOnlyBackupFolderKeepsOldBackups();
    void damagedArchiveIsFound();
    void restoreMovesCurrentAsideAndBringsBackOld();
    void restoreRefusesBadArchives_data();
    void restoreRefusesBadArchives();
    void restoreStopsAtLimits_data();
    void restoreStopsAtLimits();
};

void TestBackup::membersAreTheFiles() {
    QTemporaryDir dir;
    const Files kept = fillDiary(dir.path());
    const Result r = keep::makeBackup(dir.path(), at(2004, 9, 8, 10), {});
    QCOMPARE(r.code, Code::Ok);
    QCOMPARE(r.path, dir.path() + u"/Backup/diary-20040908-100000.zip"_qs);
    QCOMPARE(zipMembers(r.path), kept);
    // Nothing but the archive and the list of backups written is left in the folder.
    QCOMPARE(QDir(dir.path() + u"/Backup"_qs)
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{u".written-backups"_qs, u"diary-20040908-100000.zip"_qs}));
    QCOMPARE(testsupport::readFile(dir.path() + u"/Backup/.written-backups"_qs),
             QByteArray("diary-20040908-100000.zip\n"));
    QCOMPARE(keep::verifyArchive(r.path).code, Code::Ok);

    // A second one in the same second gets a name of its own.
    const Result again = keep::makeBackup(dir.path(), at(2004, 9, 8, 10), {});
    QCOMPARE(QFileInfo(again.path).fileName(), u"diary-20040908-100000-2.zip"_qs);
    QCOMPARE(zipMembers(again.path), kept);
}

void TestBackup::oncePerDay() {
    QTemporaryDir dir;
    fillDiary(dir.path());
    QCOMPARE(keep::backupIfDue(dir.path(), at(2004, 9, 8, 8)).code, Code::Ok);
    const Result second = keep::backupIfDue(dir.path(), at(2004, 9, 8, 23));
    QCOMPARE(second.code, Code::NotDue);
    QCOMPARE(fileNames(keep::listBackups(dir.path())),
             QStringList{u"diary-20040908-080000.zip"_qs});
    QCOMPARE(keep::backupIfDue(dir.path(), at(2004, 9, 9, 0)).code, Code::Ok);
    QCOMPARE(fileNames(keep::listBackups(dir.path())),
             (QStringList{u"diary-20040909-000000.zip"_qs, u"diary-20040908-080000.zip"_qs}));
}

// Backups that exist (as times), the counts, and the dates whose backups remain.
void TestBackup::rotation_data() {
    QTest::addColumn<QList<QDateTime>>("existing");
    QTest::addColumn<int>("daily");
    QTest::addColumn<int>("weekly");
    QTest::addColumn<QList<QDateTime>>("kept");

    // 2024-01-01 is a Monday.
    QList<QDateTime> tenDays;
    for (int d = 1; d <= 10; ++d)
        tenDays << at(2024, 1, d);
    QTest::newRow("ten days, 7 and 8")
        << tenDays << 7 << 8
        << QList<QDateTime>{at(2024, 1, 10), at(2024, 1, 9), at(2024, 1, 8), at(2024, 1, 7),
                            at(2024, 1, 6),  at(2024, 1, 5), at(2024, 1, 4)};
    QTest::newRow("ten days, 3 and 2")
        << tenDays << 3 << 2
        << QList<QDateTime>{at(2024, 1, 10), at(2024, 1, 9), at(2024, 1, 8), at(2024, 1, 7)};

    QList<QDateTime> sixtyDays;
    for (int d = 0; d < 60; ++d)
        sixtyDays << at(2024, 1, 1).addDays(d); // to 2024-02-29, a Thursday
    QTest::newRow("sixty days, defaults")
        << sixtyDays << 7 << 8
        << QList<QDateTime>{at(2024, 2, 29), at(2024, 2, 28), at(2024, 2, 27), at(2024, 2, 26),
                            at(2024, 2, 25), at(2024, 2, 24), at(2024, 2, 23), at(2024, 2, 18),
                            at(2024, 2, 11), at(2024, 2, 4),  at(2024, 1, 28), at(2024, 1, 21),
                            at(2024, 1, 14)};

    QTest::newRow("several a day: the newest of each")
        << QList<QDateTime>{at(2024, 1, 1, 8), at(2024, 1, 1, 20), at(2024, 1, 2, 8),
                            at(2024, 1, 2, 9)}
        << 7 << 0 << QList<QDateTime>{at(2024, 1, 2, 9), at(2024, 1, 1, 20)};
    QTest::newRow("gaps: days that have a backup count")
        << QList<QDateTime>{at(2023, 1, 1), at(2023, 6, 1), at(2024, 1, 1)} << 2 << 0
        << QList<QDateTime>{at(2024, 1, 1), at(2023, 6, 1)};
    QTest::newRow("nothing asked: the newest stays")
        << tenDays << 0 << 0 << QList<QDateTime>{at(2024, 1, 10)};
}

void TestBackup::rotation() {
    QFETCH(QList<QDateTime>, existing);
    QFETCH(int, daily);
    QFETCH(int, weekly);
    QFETCH(QList<QDateTime>, kept);
    QTemporaryDir dir;
    fillDiary(dir.path());
    // All but the newest are made keeping everything; the newest rotates.
    const QDateTime newest = existing.takeLast();
    for (const QDateTime &t : existing)
        QCOMPARE(keep::makeBackup(dir.path(), t, {1000, 1000}).code, Code::Ok);
    testsupport::writeFile(dir.path() + u"/Backup/notes.txt"_qs, "not a backup");
    QCOMPARE(keep::makeBackup(dir.path(), newest, {daily, weekly}).code, Code::Ok);
    QList<QDateTime> times;
    for (const keep::BackupFile &b : keep::listBackups(dir.path()))
        times << b.time;
    QCOMPARE(times, kept);
    QVERIFY(QFile::exists(dir.path() + u"/Backup/notes.txt"_qs));
}

// Files that only look like backups (one named like a future one) neither take a place in the
// rotation nor go; the backup just made always stays.
void TestBackup::rotationCountsOnlyWhatItWrote() {
    QTemporaryDir dir;
    fillDiary(dir.path());
    const QString folder = dir.path() + u"/Backup/"_qs;
    QCOMPARE(keep::makeBackup(dir.path(), at(2024, 1, 1), {1000, 1000}).code, Code::Ok);
    QCOMPARE(keep::makeBackup(dir.path(), at(2024, 1, 2), {1000, 1000}).code, Code::Ok);
    QVERIFY(testsupport::writeFile(folder + u"diary-20991231-000000.zip"_qs, "not ours"));
    QVERIFY(testsupport::writeFile(folder + u"diary-20231231-000000.zip"_qs, "not ours"));
    const Result r = keep::makeBackup(dir.path(), at(2024, 1, 3), {1, 0});
    QCOMPARE(r.code, Code::Ok);
    QCOMPARE(r.path, folder + u"diary-20240103-090000.zip"_qs);
    QCOMPARE(fileNames(keep::listBackups(dir.path())),
             (QStringList{u"diary-20991231-000000.zip"_qs, u"diary-20240103-090000.zip"_qs,
                          u"diary-20231231-000000.zip"_qs}));
    QCOMPARE(keep::verifyArchive(r.path).code, Code::Ok);
}

void TestBackup::rotationCountsFromConfig_data() {
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("daily");
    QTest::addColumn<int>("weekly");
    QTest::newRow("no file") << QByteArray() << 7 << 8;
    QTest::newRow("no section") << QByteArray("[index]\r\npath=index.KAV\r\n\r\n") << 7 << 8;
    QTest::newRow("both") << QByteArray(
                                 "[index]\r\npath=a\r\n\r\n[Backup]\r\nDaily=3\r\nWeekly=0\r\n\r\n")
                          << 3 << 0;
    QTest::newRow("one, other default") << QByteArray("[Backup]\r\nWeekly= 12 \r\n") << 7 << 12;
    QTest::newRow("not numbers") << QByteArray("[Backup]\r\nDaily=x\r\nWeekly=-1\r\n\r\n") << 7
                                 << 8;
    QTest::newRow("after the empty line") << QByteArray("[Backup]\r\n\r\nDaily=2\r\n") << 7 << 8;
}

void TestBackup::rotationCountsFromConfig() {
    QFETCH(QByteArray, config);
    QFETCH(int, daily);
    QFETCH(int, weekly);
    QTemporaryDir dir;
    if (!config.isEmpty()) testsupport::writeFile(dir.path() + u"/Config.ini"_qs, config);
    const keep::Rotation r = keep::readRotation(dir.path());
    QCOMPARE(r.daily, daily);
    QCOMPARE(r.weekly, weekly);
}

void TestBackup::fullDiskKeepsOldBackups() {
    QTemporaryDir dir;
    fillDiary(dir.path());
    const Result first = keep::makeBackup(dir.path(), at(2004, 9, 8), {});
    QCOMPARE(first.code, Code::Ok);
    const QByteArray before = testsupport::readFile(first.path);
    // Data that does not compress, larger than the disk has room for.
    QByteArray noise(400 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    testsupport::writeFile(dir.path() + u"/DB/20040910.KAV"_qs, noise);

    const int code = testsupport::inChild(
        [] { return testsupport::limitFileSize(200 * 1024); },
        [&] {
            return int(keep::makeBackup(dir.path(), at(2004, 9, 9), {0, 0}).code);
        });
    QCOMPARE(code, int(Code::IoError));
    QCOMPARE(fileNames(keep::listBackups(dir.path())),
             QStringList{u"diary-20040908-090000.zip"_qs});
    QCOMPARE(testsupport::readFile(first.path), before);
    // No temporary file.
    QCOMPARE(QDir(dir.path() + u"/Backup"_qs).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{u".written-backups"_qs, u"diary-20040908-090000.zip"_qs}));
}

void TestBackup::readOnlyBackupFolderKeepsOldBackups() {
    QTemporaryDir dir;
    fillDiary(dir.path());
    const Result first = keep::makeBackup(dir.path(), at(2004, 9, 8), {});
    QCOMPARE(first.code, Code::Ok);
    // The diary stays readable to the user the child becomes; only Backup is closed to writing.
    QDirIterator it(dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7555));
    while (it.hasNext()) {
        const QString p = it.next();
        QFile::setPermissions(p, it.fileInfo().isDir() ? QFileDevice::Permissions(0x7555)
                                                       : QFileDevice::Permissions(0x4444));
    }
    const int code = testsupport::inChild(testsupport::becomeNobody, [&] {
        return int(keep::makeBackup(dir.path(), at(2004, 9, 9), {0, 0}).code);
    });
    QFile::setPermissions(dir.path() + u"/Backup"_qs, QFileDevice::Permissions(0x7755));
    QCOMPARE(code, int(Code::IoError));
    QCOMPARE(fileNames(keep::listBackups(dir.path())),
             QStringList{u"diary-20040908-090000.zip"_qs});
    QCOMPARE(keep::verifyArchive(first.path).code, Code::Ok);
}

void TestBackup::damagedArchiveIsFound() {
    QTemporaryDir dir;
    fillDiary(dir.path());
    const Result r = keep::makeBackup(dir.path(), at(2004, 9, 8), {});
    QByteArray zip = testsupport::readFile(r.path);
    // A byte of the compressed data of the 3000 x's, found after its local header (30 bytes,
    // the name, the extra field).
    const qsizetype header = zip.indexOf("DB/20040909.KAV") - 30;
    QVERIFY(header >= 0 && zip.mid(header, 4) == "PK\x03\x04");
    const auto u16 = [&](qsizetype i) {
        return int(quint8(zip[i])) | int(quint8(zip[i + 1])) << 8;
    };
    const qsizetype where = header + 30 + u16(header + 26) + u16(header + 28) + 3;
    zip[where] = char(zip[where] ^ 0x01);
    QVERIFY(testsupport::writeFile(r.path, zip));
    QCOMPARE(keep::verifyArchive(r.path).code, Code::Damaged);
}

void TestBackup::restoreMovesCurrentAsideAndBringsBackOld() {
    QTemporaryDir dir;
    const Files old = fillDiary(dir.path());
    const Result backup = keep::makeBackup(dir.path(), at(2004, 9, 8), {});
    QCOMPARE(backup.code, Code::Ok);

    // The diary changes after the backup: an entry rewritten, an item gone, a new date file,
    // a new home page named by a changed Config.ini, folders named in another case.
    testsupport::writeFile(dir.path() + u"/DB/20040908.KAV"_qs, "changed");
    QFile::remove(dir.path() + u"/Love/月光"_qs);
    testsupport::writeFile(dir.path() + u"/DB/20041001.KAV"_qs, "new");
    testsupport::writeFile(dir.path() + u"/Config.ini"_qs, "[index]\r\npath=other.KAV\r\n\r\n");
    testsupport::writeFile(dir.path() + u"/other.KAV"_qs, "other home");
    QVERIFY(QDir(dir.path()).rename(u"LogFile"_qs, u"logfile"_qs));
    const Files current = filesUnder(dir.path(), u"Backup"_qs);

    const Result r = keep::restoreBackup(dir.path(), backup.path, at(2004, 10, 2, 12));
    QCOMPARE(r.code, Code::Ok);
    QCOMPARE(r.path, dir.path() + u"/Backup/before-restore-20041002-120000"_qs);

    // What the diary held is aside, whole, except the files no backup keeps.
    Files aside = filesUnder(r.path);
    Files expectedAside = current;
    for (const QString &notKept : {u"Images/a.bmp"_qs, u"qingchuang"_qs, u"index.KAV"_qs})
        expectedAside.remove(notKept);
    QCOMPARE(aside, expectedAside);

    // The program folder holds the old files byte for byte, and what no backup keeps.
    Files now = filesUnder(dir.path(), u"Backup"_qs);
    Files expectedNow = old;
    expectedNow.insert(u"Images/a.bmp"_qs, "BM not kept");
    expectedNow.insert(u"qingchuang"_qs, "the program, not kept");
    expectedNow.insert(u"index.KAV"_qs, "not the home page this Config.ini names");
    QCOMPARE(now, expectedNow);
    // No unpacking folder is left behind.
    QCOMPARE(QDir(dir.path() + u"/Backup"_qs)
                 .entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"before-restore-20041002-120000"_qs});
}

namespace {

// A zip archive of the given members, made with libarchive directly. A name ending in "/" is a
// folder, one starting with "link:" a symbolic link; the rest are files holding their data.
bool writeArchive(const QString &path, const QList<std::pair<QString, QByteArray>> &members) {
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    if (archive_write_open_filename(a, QFile::encodeName(path).constData()) != ARCHIVE_OK)
        return false;
    for (const auto &[name, data] : members) {
        archive_entry *e = archive_entry_new();
        const bool link = name.startsWith(u"link:"_qs);
        archive_entry_set_pathname(e, (link ? name.mid(5) : name).toUtf8().constData());
        archive_entry_set_filetype(e, link ? AE_IFLNK : name.endsWith(u'/') ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(e, 0644);
        if (link) archive_entry_set_symlink(e, "../../outside");
        if (!link && !name.endsWith(u'/')) archive_entry_set_size(e, data.size());
        archive_write_header(a, e);
        if (!data.isEmpty()) archive_write_data(a, data.constData(), size_t(data.size()));
        archive_entry_free(e);
    }
    const bool ok = archive_write_close(a) == ARCHIVE_OK;
    archive_write_free(a);
    return ok;
}

QByteArray noise(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator g(seed);
    for (char &c : bytes)
        c = char(g.bounded(256));
    return bytes;
}

} // namespace

void TestBackup::restoreRefusesBadArchives_data() {
    // Beside a date file, the archive holds these members (with the data "bad"), and Config.ini
    // when config is given; empty: a damaged copy of a real backup.
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("code");
    const QByteArray none;
    QTest::newRow("damaged") << QStringList() << none << int(Code::Damaged);
    QTest::newRow("parent folder")
        << QStringList{u"../outside.txt"_qs} << none << int(Code::Damaged);
    QTest::newRow("absolute") << QStringList{u"/tmp/outside.txt"_qs} << none
                              << int(Code::Damaged);
    QTest::newRow("into the backups")
        << QStringList{u"backup/x.zip"_qs} << none << int(Code::Damaged);
    QTest::newRow("the program") << QStringList{u"qingchuang"_qs} << none << int(Code::Damaged);
    QTest::newRow("the terminal tool")
        << QStringList{u"qingchuang-tool"_qs} << none << int(Code::Damaged);
    QTest::newRow("a folder no backup keeps")
        << QStringList{u"EVIL/x.txt"_qs} << none << int(Code::Damaged);
    QTest::newRow("an empty folder no backup keeps")
        << QStringList{u"EVIL/"_qs} << none << int(Code::Damaged);
    QTest::newRow("a kept folder as a file")
        << QStringList{u"Love"_qs} << none << int(Code::Damaged);
    QTest::newRow("a kept file as a folder")
        << QStringList{u"Message.txt/"_qs} << none << int(Code::Damaged);
    QTest::newRow("a kept file with a file inside")
        << QStringList{u"Config.ini/x"_qs} << none << int(Code::Damaged);
    QTest::newRow("a link") << QStringList{u"link:DB/20040102.KAV"_qs} << none
                            << int(Code::Damaged);
    QTest::newRow("a name twice") << QStringList{u"DB/20040101.KAV"_qs} << none
                                  << int(Code::Damaged);
    QTest::newRow("a folder spelt two ways")
        << QStringList{u"db/20040102.KAV"_qs} << none << int(Code::Damaged);
    QTest::newRow("a page the settings do not name")
        << QStringList{u"other.KAV"_qs} << none << int(Code::Damaged);
    QTest::newRow("two home pages")
        << QStringList{u"index.KAV"_qs, u"other.KAV"_qs} << none << int(Code::Damaged);
    QTest::newRow("the program named as the home page")
        << QStringList{u"qingchuang"_qs} << QByteArray("[index]\r\npath=qingchuang\r\n\r\n")
        << int(Code::Damaged);
    // What a backup holds comes back.
    QTest::newRow("the default home page")
        << QStringList{u"index.KAV"_qs} << none << int(Code::Ok);
    QTest::newRow("the home page the settings name")
        << QStringList{u"pages/my home.KAV"_qs}
        << QByteArray("[index]\r\npath=pages\\my home.KAV\r\n\r\n") << int(Code::Ok);
    QTest::newRow("every kept name")
        << QStringList{u"DB/"_qs,
                       u"Love/"_qs,
                       u"Love/歌"_qs,
                       u"UserInfo/1.usr"_qs,
                       u"LogFile/a/b.txt"_qs,
                       u"Message.txt"_qs,
                       u"index.KAV"_qs}
        << QByteArray("[index]\r\npath=index.KAV\r\n\r\n") << int(Code::Ok);
}

// An archive in Backup holding anything a backup never writes changes nothing, however it got
// there; one holding only what a backup writes is restored.
void TestBackup::restoreRefusesBadArchives() {
    QFETCH(QStringList, members);
    QFETCH(QByteArray, config);
    QFETCH(int, code);
    QTemporaryDir dir;
    fillDiary(dir.path());
    const Result backup = keep::makeBackup(dir.path(), at(2004, 9, 8), {});
    const QString bad = dir.path() + u"/Backup/diary-20040907-090000.zip"_qs;
    if (members.isEmpty()) {
        QByteArray zip = testsupport::readFile(backup.path);
        zip.truncate(zip.size() / 2);
        QVERIFY(testsupport::writeFile(bad, zip));
    } else {
        QList<std::pair<QString, QByteArray>> list = {{u"DB/20040101.KAV"_qs, "bad"}};
        if (!config.isEmpty()) list.append({u"Config.ini"_qs, config});
        for (const QString &name : members)
            list.append({name, name.endsWith(u'/') ? QByteArray() : QByteArray("bad")});
        QVERIFY(writeArchive(bad, list));
    }
    const Files before = filesUnder(dir.path());
    const Result r = keep::restoreBackup(dir.path(), bad, at(2004, 10, 2));
    QCOMPARE(int(r.code), code);
    QStringList folders = {u"before-restore-20041002-090000"_qs};
    if (code == int(Code::Ok)) {
        QCOMPARE(testsupport::readFile(dir.path() + u"/DB/20040101.KAV"_qs), QByteArray("bad"));
        for (const QString &name : members)
            QCOMPARE(QFileInfo(dir.path() + u'/' + name).isDir(), name.endsWith(u'/'));
        QVERIFY(!QFile::exists(dir.path() + u"/DB/20040908.KAV"_qs));
    } else {
        QCOMPARE(filesUnder(dir.path()), before);
        folders.clear();
    }
    QCOMPARE(QDir(dir.path() + u"/Backup"_qs)
                 .entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             folders);
}

void TestBackup::restoreStopsAtLimits_data() {
    QTest::addColumn<int>("memberSize");
    QTest::addColumn<int>("totalSize");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("data"); // of each of count date files
    QTest::addColumn<int>("code");
    const int mib = 1 << 20;
    const int big = 1 << 30;
    QTest::newRow("within") << 4000 << 12000 << 3 << noise(4000, 1) << int(Code::Ok);
    QTest::newRow("a member too large")
        << 4000 << big << 3 << noise(4001, 2) << int(Code::Damaged);
    QTest::newRow("too much in all") << big << 12000 << 4 << noise(3001, 3) << int(Code::Damaged);
    // A zip bomb: with the usual limits, 48 MiB of zeros packed into some 50 KiB.
    QTest::newRow("packed too tightly")
        << -1 << -1 << 1 << QByteArray(48 * mib, '\0') << int(Code::Damaged);
    QTest::newRow("tightly packed but small")
        << -1 << -1 << 1 << QByteArray(mib, '\0') << int(Code::Ok);
}

// Unpacking stops at the limits before the disk fills, leaving the diary as it was and nothing
// unpacked behind.
void TestBackup::restoreStopsAtLimits() {
    QFETCH(int, memberSize);
    QFETCH(int, totalSize);
    QFETCH(int, count);
    QFETCH(QByteArray, data);
    QFETCH(int, code);
    QTemporaryDir dir;
    fillDiary(dir.path());
    const QString archive = dir.path() + u"/Backup/diary-20040907-090000.zip"_qs;
    QVERIFY(QDir().mkpath(dir.path() + u"/Backup"_qs));
    QList<std::pair<QString, QByteArray>> members;
    for (int i = 0; i < count; ++i)
        members.append({u"DB/2004010%1.KAV"_qs.arg(i + 1), data});
    QVERIFY(writeArchive(archive, members));
    keep::Limits limits;
    if (memberSize > 0) limits.memberSize = memberSize;
    if (totalSize > 0) limits.totalSize = totalSize;
    const Files before = filesUnder(dir.path());
    const Result r = keep::restoreBackup(dir.path(), archive, at(2004, 10, 2), limits);
    QCOMPARE(int(r.code), code);
    if (code == int(Code::Ok)) {
        QCOMPARE(testsupport::readFile(dir.path() + u"/DB/20040101.KAV"_qs), data);
        return;
    }
    QCOMPARE(filesUnder(dir.path()), before);
    QCOMPARE(QDir(dir.path() + u"/Backup"_qs)
                 .entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
