#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QString env(const char *name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

int mode(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QStringList allUnder(const QString &dir) {
    QStringList names;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(dir).relativeFilePath(it.next());
    names.sort();
    return names;
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run tool(const QStringList &args) {
    QProcess p;
    p.start(env("QC_TOOL_EXE"), args);
    Run r;
    if (!p.waitForFinished(60000)) return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

// The programs as a user meets them: the installed build, the command-line companion's backup
// and export, the launcher.
class TestKeepProgram : public QObject {
    Q_OBJECT
private slots:
    void installedKeepsTheDiaryInTheDataFolder();
    void toolBackup();
    void toolExport_data();
    void toolExport();
    void toolExportRefusesAFolderOfOtherFiles();
    void launcherValidates();
};

void TestKeepProgram::installedKeepsTheDiaryInTheDataFolder() {
    QTemporaryDir root;
    const QString bin = root.path() + u"/usr/bin"_qs;
    const QString home = root.path() + u"/home"_qs;
    QVERIFY(QDir().mkpath(bin) && QDir().mkpath(home));
    const QString exe = bin + u"/qingchuang"_qs;
    QVERIFY(QFile::copy(env("QC_INSTALLED_EXE"), exe));

    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(u"HOME"_qs, home);
    e.remove(u"XDG_DATA_HOME"_qs);
    e.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(home);
    p.start(exe, {});
    QVERIFY(p.waitForStarted());
    const QString data = home + u"/.local/share/qingchuang"_qs;
    // Started: the default settings, the data folders and the first backup of the day.
    const bool ready = testsupport::waitUntil(
        [&] {
            return QFile::exists(data + u"/Config.ini"_qs) &&
                   !QDir(data + u"/Backup"_qs).entryList({u"diary-*.zip"_qs}).isEmpty();
        },
        30000);
    p.kill();
    p.waitForFinished();
    QVERIFY2(ready, qPrintable(allUnder(home).join(u' ')));
    QVERIFY(QFileInfo(data + u"/DB"_qs).isDir());
    QVERIFY(QFileInfo(data + u"/Love"_qs).isDir());
    // The diary and its backups are their owner's alone.
    QCOMPARE(mode(data), 0700);
    QCOMPARE(mode(data + u"/Backup"_qs), 0700);
    for (const QString &zip : QDir(data + u"/Backup"_qs).entryList({u"diary-*.zip"_qs}))
        QCOMPARE(mode(data + u"/Backup/"_qs + zip), 0600);
    QCOMPARE(allUnder(bin), QStringList{u"qingchuang"_qs});
    QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{u"home"_qs, u"usr"_qs}));
}

void TestKeepProgram::toolBackup() {
    QTemporaryDir dir;
    testsupport::writeFile(dir.path() + u"/DB/20040908.KAV"_qs, "entry");
    Run r = tool({u"backup"_qs, dir.path()});
    QCOMPARE(r.exitCode, 0);
    const QString path = r.out.trimmed();
    QVERIFY2(QFileInfo(path).isFile() && path.startsWith(dir.path() + u"/Backup/diary-"_qs),
             qPrintable(path));
    // A second one the same day is made too: the command makes one whenever asked.
    r = tool({u"backup"_qs, dir.path()});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.trimmed() != path && QFileInfo(r.out.trimmed()).isFile());

    QCOMPARE(tool({u"backup"_qs}).exitCode, 2);
    QCOMPARE(tool({u"backup"_qs, dir.path() + u"/missing"_qs}).exitCode, 1);
    // A file where the Backup folder should be: nothing written, the error said.
    QTemporaryDir blocked;
    testsupport::writeFile(blocked.path() + u"/Backup"_qs, "a file");
    r = tool({u"backup"_qs, blocked.path()});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty() && !r.err.isEmpty());
}

void TestKeepProgram::toolExport_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("written"); // in the output folder; empty: nothing
    QTest::addColumn<bool>("hasEntry");   // the entry of 2004-09-08 is in it
    QTest::newRow("html") << QStringList{u"--format"_qs, u"html"_qs} << 0 << u"index.html"_qs
                          << true;
    QTest::newRow("markdown, a range")
        << QStringList{u"--format"_qs,   u"markdown"_qs, u"--from"_qs,
                       u"2004-01-01"_qs, u"--to"_qs,     u"2004-12-31"_qs}
        << 0 << u"2004.md"_qs << true;
    QTest::newRow("text") << QStringList{u"--format"_qs, u"text"_qs} << 0 << u"diary.txt"_qs
                          << true;
    // The range's edges: the day itself in, a day outside out.
    const auto range = [](const char *from, const char *to) {
        QStringList o = {u"--format"_qs, u"text"_qs};
        if (*from) o << u"--from"_qs << QString::fromLatin1(from);
        if (*to) o << u"--to"_qs << QString::fromLatin1(to);
        return o;
    };
    QTest::newRow("from the day") << range("2004-09-08", "") << 0 << u"diary.txt"_qs << true;
    QTest::newRow("to the day") << range("", "2004-09-08") << 0 << u"diary.txt"_qs << true;
    QTest::newRow("from and to the day")
        << range("2004-09-08", "2004-09-08") << 0 << u"diary.txt"_qs << true;
    QTest::newRow("from the day after") << range("2004-09-09", "") << 0 << u"diary.txt"_qs << false;
    QTest::newRow("to the day before") << range("", "2004-09-07") << 0 << u"diary.txt"_qs << false;
    QTest::newRow("no format") << QStringList{} << 2 << QString() << false;
    QTest::newRow("unknown format")
        << QStringList{u"--format"_qs, u"pdf"_qs} << 2 << QString() << false;
    QTest::newRow("bad date") << QStringList{u"--format"_qs, u"text"_qs, u"--from"_qs,
                                             u"2004-13-01"_qs}
                              << 2 << QString() << false;
    QTest::newRow("option without value")
        << QStringList{u"--format"_qs, u"text"_qs, u"--to"_qs} << 2 << QString() << false;
}

void TestKeepProgram::toolExport() {
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, written);
    QFETCH(bool, hasEntry);
    QTemporaryDir dir, out;
    testsupport::writeFile(
        dir.path() + u"/DB/20040908.KAV"_qs,
        "\x7f"
        "1\r\ntitle one\r\n\x07\r\n{\\rtf1 words of the day\\par }\r\n \x7f\r\n");
    const Run r = tool(QStringList{u"export"_qs, dir.path()} + options +
                       QStringList{u"--out"_qs, out.path() + u"/x"_qs});
    QCOMPARE(r.exitCode, exitCode);
    if (written.isEmpty()) {
        QVERIFY(!QFileInfo::exists(out.path() + u"/x"_qs));
        QVERIFY(r.err.contains(u"usage"_qs));
    } else {
        QCOMPARE(r.out.trimmed(), out.path() + u"/x"_qs);
        QCOMPARE(QString::fromUtf8(testsupport::readFile(out.path() + u"/x/"_qs + written))
                     .contains(u"words of the day"_qs),
                 hasEntry);
    }
}

// Like the window, the tool never writes into a folder of someone else's files.
void TestKeepProgram::toolExportRefusesAFolderOfOtherFiles() {
    QTemporaryDir dir, out;
    testsupport::writeFile(
        dir.path() + u"/DB/20040908.KAV"_qs,
        "\x7f"
        "1\r\ntitle one\r\n\x07\r\n{\\rtf1 words of the day\\par }\r\n \x7f\r\n");
    QVERIFY(testsupport::writeFile(out.path() + u"/index.html"_qs, "my own page"));
    const Run r =
        tool({u"export"_qs, dir.path(), u"--format"_qs, u"html"_qs, u"--out"_qs, out.path()});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QString());
    // Its last line (Qt may warn on lines before it).
    QCOMPARE(r.err.section(u'\n', -2, -2),
             u"qingchuang-tool: the folder holds other files; choose an empty folder or an "
             u"earlier export: "_qs +
                 out.path());
    QCOMPARE(allUnder(out.path()), QStringList{u"index.html"_qs});
    QCOMPARE(testsupport::readFile(out.path() + u"/index.html"_qs), QByteArray("my own page"));
}

void TestKeepProgram::launcherValidates() {
    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_qs);
    QVERIFY2(!validator.isEmpty(),
             "desktop-file-validate is not installed (scripts/deps.sh installs it)");
    QProcess p;
    p.start(validator, {env("QC_DESKTOP_FILE")});
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAll(), QByteArray());
    const QString text = QString::fromUtf8(testsupport::readFile(env("QC_DESKTOP_FILE")));
    QVERIFY(text.contains(u"\nName=晴窗\n"_qs));
    QVERIFY(text.contains(u"\nCategories=Office;\n"_qs));
    QVERIFY(text.contains(u"\nIcon=qingchuang\n"_qs));
}

QTEST_GUILESS_MAIN(TestKeepProgram)
#include "tst_keepprogram.moc"
