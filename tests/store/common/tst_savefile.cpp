// The one durable write: saveFile replaces a file whole or not at all, leaves no temporary file
// behind whatever fails, and gives the new file the permissions asked for.
#include "store/common/savefile.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kName = u"d.KAV"_qs;

// Every name in folder, hidden ones too, sorted.
QStringList entriesOf(const QString &folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

int modeOf(const QString &path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return int(st.st_mode & 0777);
}

} // namespace

class TestSaveFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testsupport::dropPrivilegesIfAsked(); }
    void saves_data();
    void saves();
    void permissions_data();
    void permissions();
    void putInPlaceRemovesTheTempOnFailure();
};

void TestSaveFile::saves_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("fixedTemp"); // a temporary name of the caller's (DB/temp.HOST.tmp)
    QTest::addColumn<QByteArray>("old"); // null: no file there before
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("pieces"); // the bytes given as that many runs
    const QByteArray old = "old entry\r\n";
    for (bool fixed : {false, true}) {
        const char *temp = fixed ? "fixed temp" : "fresh temp";
        QTest::addRow("%s, new file", temp)
            << QString() << fixed << QByteArray() << int(store::Code::Ok) << 1;
        QTest::addRow("%s, replaces", temp)
            << QString() << fixed << old << int(store::Code::Ok) << 1;
        QTest::addRow("%s, replaces an empty file", temp)
            << QString() << fixed << QByteArray("") << int(store::Code::Ok) << 1;
        QTest::addRow("%s, full disk", temp)
            << u"full disk"_qs << fixed << old << int(store::Code::IoError) << 1;
        QTest::addRow("%s, read-only folder", temp)
            << u"read-only folder"_qs << fixed << old << int(store::Code::IoError) << 1;
        QTest::addRow("%s, no folder", temp)
            << u"no folder"_qs << fixed << QByteArray() << int(store::Code::IoError) << 1;
        QTest::addRow("%s, a folder in the file's place", temp)
            << u"target is a folder"_qs << fixed << QByteArray() << int(store::Code::IoError) << 1;
        QTest::addRow("%s, replaces, in pieces", temp)
            << QString() << fixed << old << int(store::Code::Ok) << 3;
        QTest::addRow("%s, full disk, in pieces", temp)
            << u"full disk"_qs << fixed << old << int(store::Code::IoError) << 3;
    }
    QTest::addRow("fixed temp in a folder that is not there")
        << u"no temp folder"_qs << true << old << int(store::Code::IoError) << 1;
}

void TestSaveFile::saves() {
    QFETCH(QString, fault);
    QFETCH(bool, fixedTemp);
    QFETCH(QByteArray, old);
    QFETCH(int, code);
    QFETCH(int, pieces);
    if (fault == u"read-only folder" && ::geteuid() == 0) {
        // Root writes into any folder: the row runs again as a plain user.
        const QString failure =
            testsupport::runUnprivileged(u"saves:"_qs + QString::fromUtf8(QTest::currentDataTag()));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        return;
    }
    QTemporaryDir root;
    const QString folder = root.path() + (fault == u"no folder" ? u"/missing"_qs : u"/DB"_qs);
    if (fault != u"no folder") QVERIFY(QDir().mkpath(folder));
    const QString path = folder + u'/' + kName;
    if (!old.isNull()) QVERIFY(testsupport::writeFile(path, old));
    if (fault == u"target is a folder") QVERIFY(testsupport::writeFile(path + u"/inside"_qs, "x"));
    const QStringList before = entriesOf(folder);
    store::SaveOptions options;
    if (fixedTemp)
        options.tempPath = fault == u"no temp folder" ? folder + u"/gone/temp.pc.tmp"_qs
                                                      : folder + u"/temp.pc.tmp"_qs;
    // Past the first bytes the new content is bigger than anything before.
    const QByteArray bytes = QByteArray("new entry\r\n").repeated(2000);

    if (fault == u"read-only folder")
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    rlimit limit{};
    void (*oldHandler)(int) = SIG_DFL;
    if (fault == u"full disk") {
        // Writes past 64 bytes fail with EFBIG, as on a full disk.
        getrlimit(RLIMIT_FSIZE, &limit);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = limit;
        small.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    QList<QByteArrayView> runs;
    const qsizetype run = bytes.size() / pieces;
    for (int i = 0; i < pieces; ++i)
        runs.append(
            QByteArrayView(bytes).sliced(i * run, i + 1 < pieces ? run : bytes.size() - i * run));
    const store::Result saved =
        pieces == 1 ? store::saveFile(path, bytes, options) : store::saveFile(path, runs, options);
    if (fault == u"full disk") {
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, oldHandler);
    }
    if (fault == u"read-only folder")
        QVERIFY(
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QCOMPARE(int(saved.code), code);
    if (saved.ok()) {
        QCOMPARE(saved.detail, QString());
        QCOMPARE(testsupport::readFile(path), bytes);
        // The new file and nothing else: the temporary name is gone.
        QCOMPARE(entriesOf(folder), QStringList{kName});
        return;
    }
    // The detail names the file that failed.
    QVERIFY2(saved.detail.startsWith(folder + u'/') && saved.detail.contains(u": "_qs),
             qPrintable(saved.detail));
    // Nothing changed: the old file whole, no temporary file left anywhere.
    QCOMPARE(entriesOf(folder), before);
    if (fault == u"target is a folder")
        QVERIFY(QFileInfo(path).isDir());
    else if (!old.isNull())
        QCOMPARE(testsupport::readFile(path), old);
    else
        QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!QFileInfo::exists(folder + u"/gone"_qs));
}

void TestSaveFile::permissions_data() {
    QTest::addColumn<bool>("fixedTemp");
    QTest::addColumn<int>("oldMode"); // 0: no file there before
    QTest::addColumn<int>("asked");   // 0: no permissions in the options
    QTest::addColumn<int>("expected");
    for (bool fixed : {false, true}) {
        const char *temp = fixed ? "fixed temp" : "fresh temp";
        QTest::addRow("%s, new secret file", temp) << fixed << 0 << 0600 << 0600;
        QTest::addRow("%s, replaced file keeps its own", temp) << fixed << 0640 << 0 << 0640;
        QTest::addRow("%s, replaced file closed to others", temp) << fixed << 0644 << 0600 << 0600;
    }
}

void TestSaveFile::permissions() {
    QFETCH(bool, fixedTemp);
    QFETCH(int, oldMode);
    QFETCH(int, asked);
    QFETCH(int, expected);
    QTemporaryDir dir;
    const QString path = dir.path() + u'/' + kName;
    if (oldMode) {
        QVERIFY(testsupport::writeFile(path, "old"));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(oldMode)), 0);
    }
    store::SaveOptions options;
    if (fixedTemp) options.tempPath = dir.path() + u"/temp.pc.tmp"_qs;
    if (asked) options.permissions = QFile::ReadOwner | QFile::WriteOwner;
    QVERIFY(store::saveFile(path, "new", options));
    QCOMPARE(modeOf(path), expected);
    QCOMPARE(testsupport::readFile(path), QByteArray("new"));
}

// A zip writer's finished temporary file that cannot take the target's place goes, and the
// target stays.
void TestSaveFile::putInPlaceRemovesTheTempOnFailure() {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/diary.zip"_qs;
    const QString temp = dir.path() + u"/.diary.zip.part"_qs;
    QVERIFY(testsupport::writeFile(path + u"/inside"_qs, "x"));
    QVERIFY(testsupport::writeFile(temp, "zip"));
    const store::Result r = store::putInPlace(temp, path);
    QCOMPARE(r.code, store::Code::IoError);
    QVERIFY(r.detail.startsWith(path + u": "_qs));
    QCOMPARE(entriesOf(dir.path()), QStringList{u"diary.zip"_qs});
    QCOMPARE(testsupport::readFile(path + u"/inside"_qs), QByteArray("x"));

    QDir(path).removeRecursively();
    QVERIFY(testsupport::writeFile(temp, "zip"));
    QVERIFY(store::putInPlace(temp, path));
    QCOMPARE(entriesOf(dir.path()), QStringList{u"diary.zip"_qs});
    QCOMPARE(testsupport::readFile(path), QByteArray("zip"));
}

QTEST_GUILESS_MAIN(TestSaveFile)
#include "tst_savefile.moc"
