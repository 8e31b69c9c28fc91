// The copies of date files that backups and restores keep, enciphered after the diary's own.
#include "store/cipher/convert.h"
#include "store/diary/diarystore.h"
#include "store/keep/backup.h"
#include "store/keep/reseal.h"

#include "secrets.h"
#include "store/common/codepage.h"
#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

namespace {

const cipher::Limits kFast{1, 8};

QByteArray entry(const QByteArray &key, const QString &title, const QByteArray &passwordLine,
                 const QByteArray &body) {
    return "\x7f" + key + "\r\n" + cp936::encode(title) + "\r\n" + passwordLine + "\r\n" + body +
           "\r\n \x7f\r\n";
}
QByteArray legacy(const QString &password) {
    return "\x07" + cp936::encode(diary::PasswordCode(password));
}

// RTF as the old program wrote it: the Chinese words as escapes of their code-page-936 bytes.
QByteArray rtf(const QString &words) {
    QByteArray escaped;
    for (char c : cp936::encode(words))
        escaped +=
            c & 0x80 ? QByteArray("\\'") + QByteArray::number(quint8(c), 16).rightJustified(2, '0')
                     : QByteArray(1, c);
    return "{\\rtf1\\ansi\\ansicpg936 " + escaped + "\\par\r\n}";
}

const QString kWordsA = u"西湖散步 lakeside"_qs;
const QString kWordsB = u"小雪的生日 birthday"_qs;
const QString kWordsOther = u"另一把锁 other lock"_qs;

QMap<QString, QByteArray> members(const QString &zip) {
    QMap<QString, QByteArray> files;
    archive *a = archive_read_new();
    archive_read_support_format_zip(a);
    if (archive_read_open_filename(a, QFile::encodeName(zip).constData(), 10240) == ARCHIVE_OK) {
        archive_entry *e;
        while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
            QByteArray data;
            char buf[4096];
            for (la_ssize_t n; (n = archive_read_data(a, buf, sizeof buf)) > 0;)
                data.append(buf, n);
            files.insert(QString::fromUtf8(archive_entry_pathname_utf8(e)), data);
        }
    }
    archive_read_free(a);
    return files;
}

int mode(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

} // namespace

class TestReseal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(cipher::init()); }
    void backupsAndSetAsideCopies();
    void nothingToDo();
};

// After the diary's own date files, every copy of them under Backup: two backups, the files a
// restore set aside, an unfinished backup. Nothing under the folder holds the old password line or
// the converted words afterwards; the entry of another password is named; a damaged backup is
// named and the others go on.
void TestReseal::backupsAndSetAsideCopies() {
    QTemporaryDir dir;
    const QString p = dir.path();
    const QByteArray open = entry("1", u"公开"_qs, "\x07", rtf(u"open words"_qs));
    const QByteArray a = entry("2", u"西湖"_qs, legacy(u"abc"_qs), rtf(kWordsA));
    const QByteArray other = entry("3", u"别的锁"_qs, legacy(u"中"_qs), rtf(kWordsOther));
    const QByteArray b = entry("7", u"生日"_qs, legacy(u"abc"_qs), rtf(kWordsB));
    QVERIFY(testsupport::writeFile(p + u"/DB/20040908.KAV"_qs, open + a + other));
    QVERIFY(testsupport::writeFile(p + u"/Love/珍藏"_qs, "{\\rtf1 kept}"));
    QVERIFY(testsupport::writeFile(p + u"/Config.ini"_qs, "[Deletion]\r\nDiary=1\r\n"));
    const store::Result first = keep::makeBackup(p, QDateTime(QDate(2004, 9, 7), QTime(9, 0)), {});
    QVERIFY(first.ok());
    QVERIFY(testsupport::writeFile(p + u"/DB/20040101.KAV"_qs, b));
    const store::Result second = keep::makeBackup(p, QDateTime(QDate(2004, 9, 8), QTime(9, 0)), {});
    QVERIFY(second.ok());
    // Backups are their owner's alone.
    QCOMPARE(mode(p + u"/Backup"_qs), 0700);
    QCOMPARE(mode(second.path), 0600);
    const QMap<QString, QByteArray> before = members(second.path);
    QVERIFY(testsupport::writeFile(p + u"/Backup/before-restore-20040801-090000/db/20040908.KAV"_qs,
                                   a + other));
    QVERIFY(
        testsupport::writeFile(p + u"/Backup/before-restore-20040801-090000/Config.ini"_qs, "x"));
    QVERIFY(testsupport::writeFile(p + u"/Backup/.diary-20040906-090000.zip.part"_qs, a));
    const QString damaged = p + u"/Backup/diary-20040601-090000.zip"_qs;
    QVERIFY(testsupport::writeFile(damaged, "PK\x03\x04 not really"));

    const cipher::Conversion diary =
        cipher::encipherLegacyDiary(p + u"/DB"_qs, p + u"/DB/temp.tmp"_qs, u"abc"_qs, kFast);
    QVERIFY(diary.result.ok());
    QCOMPARE(diary.enciphered, 2);
    QCOMPARE(diary.otherLocks, QStringList{u"20040908.KAV: 别的锁"_qs});
    QList<QPair<int, int>> told;
    const keep::Resealing copies =
        keep::encipherLegacyCopies(p, u"abc"_qs, kFast, [&told](int done, int total) {
            told.append({done, total});
            return true;
        });
    QCOMPARE(copies.result.code, store::Code::Damaged);
    QVERIFY2(copies.result.detail.startsWith(damaged + u": "_qs), qPrintable(copies.result.detail));
    QCOMPARE(copies.archives, 2);
    QCOMPARE(copies.folders, 1);
    QCOMPARE(copies.enciphered, 1 + 2 + 1);
    QCOMPARE(copies.removed, 1);
    QCOMPARE(told, (QList<QPair<int, int>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}}));
    QCOMPARE(copies.otherLocks,
             (QStringList{u"diary-20040908-090000.zip DB/20040908.KAV: 别的锁"_qs,
                          u"diary-20040907-090000.zip DB/20040908.KAV: 别的锁"_qs,
                          u"Backup/before-restore-20040801-090000/db/20040908.KAV: 别的锁"_qs}));

    QList<QByteArray> needles = {legacy(u"abc"_qs)};
    for (const QString &words : {kWordsA, kWordsB})
        for (const QString &part : words.split(u' '))
            needles += secrets::forms(part);
    QVERIFY2(secrets::holding(p, needles).isEmpty(),
             qPrintable(secrets::holding(p, needles).join(u' ')));
    // The entry of the other password is still there, as it was: it is named, not lost.
    QVERIFY(!secrets::holding(p, secrets::forms(u"另一把锁"_qs)).isEmpty());

    // The backup is whole and has the same members; the others are as they were, the converted
    // entries open with the password to their old bodies.
    QVERIFY(keep::verifyArchive(second.path).ok());
    QCOMPARE(mode(second.path), 0600);
    const QMap<QString, QByteArray> after = members(second.path);
    QCOMPARE(after.keys(), before.keys());
    for (const QString &name : {u"Config.ini"_qs, u"Love/珍藏"_qs})
        QCOMPARE(after.value(name), before.value(name));
    QVERIFY(after.value(u"DB/20040908.KAV"_qs).startsWith(open));
    QVERIFY(after.value(u"DB/20040908.KAV"_qs).endsWith(other));
    QTemporaryDir out;
    const QString copy = out.path() + u"/20040101.KAV"_qs;
    QVERIFY(testsupport::writeFile(copy, after.value(u"DB/20040101.KAV"_qs)));
    QCOMPARE(diary::readEntry(copy, 7, 0, u"abc"_qs).body, cp936::decode(rtf(kWordsB)));
    QVERIFY(testsupport::writeFile(copy, after.value(u"DB/20040908.KAV"_qs)));
    QCOMPARE(diary::readEntry(copy, 2, 0, u"abc"_qs).body, cp936::decode(rtf(kWordsA)));
    const QString aside = p + u"/Backup/before-restore-20040801-090000/db/20040908.KAV"_qs;
    QCOMPARE(diary::readEntry(aside, 2, 0, u"abc"_qs).body, cp936::decode(rtf(kWordsA)));
    QVERIFY(!QFile::exists(p + u"/Backup/before-restore-20040801-090000/db/temp.tmp"_qs));
    QCOMPARE(testsupport::readFile(damaged), QByteArray("PK\x03\x04 not really"));
    const QStringList left = QDir(p + u"/Backup"_qs).entryList(QDir::Files | QDir::Hidden);
    // Besides the backups, only the list of the backups the program wrote and read back.
    QCOMPARE(left, (QStringList{u".written-backups"_qs, u"diary-20040601-090000.zip"_qs,
                                u"diary-20040907-090000.zip"_qs, u"diary-20040908-090000.zip"_qs}));
}

// A backup without old locks of the password is left byte for byte; so is everything without a
// Backup folder or password.
void TestReseal::nothingToDo() {
    QTemporaryDir dir;
    const QString p = dir.path();
    QVERIFY(testsupport::writeFile(p + u"/DB/20040908.KAV"_qs,
                                   entry("2", u"t"_qs, legacy(u"xyz"_qs), rtf(kWordsA))));
    QCOMPARE(keep::encipherLegacyCopies(p, u"abc"_qs, kFast).archives, 0);
    const store::Result made = keep::makeBackup(p, QDateTime(QDate(2004, 9, 7), QTime(9, 0)), {});
    QVERIFY(made.ok());
    const QByteArray bytes = testsupport::readFile(made.path);
    for (const QString &password : {u"abc"_qs, QString()}) {
        const keep::Resealing r = keep::encipherLegacyCopies(p, password, kFast);
        QVERIFY(r.result.ok());
        QCOMPARE(r.archives, 0);
        QCOMPARE(testsupport::readFile(made.path), bytes);
    }
    QCOMPARE(QDir(p + u"/Backup"_qs).entryList(QDir::Files | QDir::Hidden),
             (QStringList{u".written-backups"_qs, QFileInfo(made.path).fileName()}));
}

QTEST_GUILESS_MAIN(TestReseal)
#include "tst_reseal.moc"
