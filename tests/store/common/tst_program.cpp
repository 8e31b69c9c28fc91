// Starts the real program in a temporary folder, drives it from outside through the probe plugin
// (tests/probe) and checks what it shows and writes.
#include "store/diary/recovery.h"
#include "store/common/codepage.h"
#include "store/rtf/rtf.h"
#include "store/settings/config.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <csignal>

namespace {

QByteArray enc(const QString &text) { return text.toUtf8().toPercentEncoding(); }

// One start of the program copied into a folder, with the probe loaded and its lines collected.
struct Running {
    QProcess process;
    QByteArray out;

    ~Running() {
        process.kill();
        process.waitForFinished(5000);
    }
    void start(const QString &dir, const QString &actions = QString(), const QString &tmpDir = QString()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
        // A desktop whose language is not Chinese: the program speaks Chinese all the same.
        env.insert(u"LANG"_qs, u"C"_qs);
        env.insert(u"LC_ALL"_qs, u"C"_qs);
        env.remove(u"LANGUAGE"_qs);
        env.insert(u"QT_PLUGIN_PATH"_qs, QString::fromLocal8Bit(qgetenv("QC_PROBE_PLUGINS")));
        env.insert(u"QT_QPA_GENERIC_PLUGINS"_qs, u"qcprobe"_qs);
        env.insert(u"QC_PROBE_DO"_qs, actions);
        if (!tmpDir.isEmpty()) env.insert(u"TMPDIR"_qs, tmpDir);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { out += process.readAllStandardOutput(); });
        process.start(dir + u"/qingchuang"_qs, {});
    }
    bool has(const QByteArray &line) const { return out.split('\n').contains("qcprobe " + line); }
    bool waitFor(const QByteArray &line, int ms = 20000) {
        return testsupport::waitUntil([&] { return has(line); }, ms);
    }
    // The text the probe reported for the box NAME.
    QString text(const QByteArray &name) const {
        for (const QByteArray &l : out.split('\n')) {
            const QList<QByteArray> w = l.split(' ');
            if (w.size() == 4 && w[0] == "qcprobe" && w[1] == "text" && w[2] == name)
                return QString::fromUtf8(QByteArray::fromPercentEncoding(w[3]));
        }
        return u"<none>"_qs;
    }
};

QString copyProgram(const QTemporaryDir &dir) {
    const QString exe = dir.path() + u"/qingchuang"_qs;
    return QFile::copy(testsupport::executable(), exe) ? exe : QString();
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void firstStartWritesItsFiles();
    void secondStartRaisesTheFirst();
    void lockThatCannotBeTakenIsNoSecondCopy();
    void unusableTempFolderStillOneCopy();
    void withoutQtCatalogueStillStarts();
    void killedEditComesBack();
    void homePageAfterFirstPaint_data();
    void homePageAfterFirstPaint();
};

void TestProgram::firstStartWritesItsFiles() {
    QTemporaryDir dir;
    QVERIFY(!copyProgram(dir).isEmpty());
    const QString config = dir.path() + u"/Config.ini"_qs;
    Running first;
    first.start(dir.path());
    QVERIFY(first.waitFor("exposed Index"));
    QVERIFY(QFileInfo(dir.path() + u"/Love"_qs).isDir());
    QVERIFY(QFileInfo(dir.path() + u"/DB"_qs).isDir());
    QCOMPARE(testsupport::readFile(config), cp936::encode(settings::defaultConfigText()));
    QCOMPARE(first.process.state(), QProcess::Running);
}

void TestProgram::secondStartRaisesTheFirst() {
    QTemporaryDir dir;
    QVERIFY(!copyProgram(dir).isEmpty());
    const QString config = dir.path() + u"/Config.ini"_qs;
    // The first copy hides its window; without a notification area that minimises it.
    Running first;
    first.start(dir.path(), u"click bt_hidden"_qs);
    QVERIFY(first.waitFor("done"));
    QVERIFY(first.has("state Index minimized visible"));
    QVERIFY(!first.has("state Index normal hidden"));
    first.out.clear();

    // A second copy in the same folder shows its message box, ends once it is closed, writes
    // nothing, and the first copy's window comes back.
    QVERIFY(QFile::remove(config));
    Running second;
    second.start(dir.path());
    QVERIFY(second.process.waitForFinished(20000));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    second.out += second.process.readAllStandardOutput();
    QVERIFY2(second.has("box " + enc(u" 日记本"_qs) + ' ' + enc(u"程序已经在运行中了！"_qs)), second.out.constData());
    // Its one button is Qt's, in Chinese.
    QVERIFY2(second.has("button " + enc(u"确定"_qs)), second.out.constData());
    QVERIFY(!second.out.contains("qcprobe button OK"));
    QVERIFY(!second.has("exposed Index"));
    QVERIFY(!QFile::exists(config));
    QVERIFY(first.waitFor("state Index normal visible"));
    QCOMPARE(first.process.state(), QProcess::Running);
}

void TestProgram::lockThatCannotBeTakenIsNoSecondCopy() {
    // The temporary folder is a file: no lock can be made there. The program still starts.
    QTemporaryDir dir;
    QVERIFY(!copyProgram(dir).isEmpty());
    const QString notAFolder = dir.path() + u"/tmp-is-a-file"_qs;
    QVERIFY(testsupport::writeFile(notAFolder, "x"));
    Running only;
    only.start(dir.path(), QString(), notAFolder);
    QVERIFY2(only.waitFor("exposed Index"), only.out.constData());
    QVERIFY(!only.out.contains("qcprobe box"));
}

// With a temporary folder that cannot be used, the first copy runs and a second one in the same
// folder does not: it says so and ends, writing nothing.
void TestProgram::unusableTempFolderStillOneCopy() {
    QTemporaryDir dir;
    QVERIFY(!copyProgram(dir).isEmpty());
    const QString notAFolder = dir.path() + u"/tmp-is-a-file"_qs;
    QVERIFY(testsupport::writeFile(notAFolder, "x"));
    Running first;
    first.start(dir.path(), QString(), notAFolder);
    QVERIFY2(first.waitFor("exposed Index"), first.out.constData());
    const QString config = dir.path() + u"/Config.ini"_qs;
    QVERIFY(QFile::remove(config));
    Running second;
    second.start(dir.path(), QString(), notAFolder);
    QVERIFY(second.process.waitForFinished(20000));
    QCOMPARE(second.process.exitCode(), 0);
    second.out += second.process.readAllStandardOutput();
    QVERIFY2(second.has("box " + enc(u" 日记本"_qs) + ' ' + enc(u"程序已经在运行中了！"_qs)),
             second.out.constData());
    QVERIFY(!second.has("exposed Index"));
    QVERIFY(!QFile::exists(config));
    QCOMPARE(first.process.state(), QProcess::Running);
}

void TestProgram::withoutQtCatalogueStillStarts() {
    // qt.conf beside the program points Qt's translations at an empty folder; every other path
    // stays where this Qt has it.
    QTemporaryDir dir;
    QVERIFY(!copyProgram(dir).isEmpty());
    QVERIFY(QDir(dir.path()).mkdir(u"no-translations"_qs));
    QByteArray conf = "[Paths]\n";
    const std::pair<const char *, QLibraryInfo::LibraryPath> paths[] = {
        {"Prefix", QLibraryInfo::PrefixPath},       {"Libraries", QLibraryInfo::LibrariesPath},
        {"Plugins", QLibraryInfo::PluginsPath},     {"Data", QLibraryInfo::DataPath},
        {"ArchData", QLibraryInfo::ArchDataPath},   {"LibraryExecutables", QLibraryInfo::LibraryExecutablesPath},
    };
    for (const auto &[key, path] : paths)
        conf += QByteArray(key) + '=' + QLibraryInfo::path(path).toUtf8() + '\n';
    conf += "Translations=" + (dir.path() + u"/no-translations"_qs).toUtf8() + '\n';
    QVERIFY(testsupport::writeFile(dir.path() + u"/qt.conf"_qs, conf));

    Running first;
    first.start(dir.path());
    QVERIFY2(first.waitFor("exposed Index"), first.out.constData());
    Running second;
    second.start(dir.path());
    QVERIFY(second.process.waitForFinished(20000));
    QCOMPARE(second.process.exitCode(), 0);
    second.out += second.process.readAllStandardOutput();
    // Qt's own word stays English; the program's own text is as ever.
    QVERIFY2(second.has("box " + enc(u" 日记本"_qs) + ' ' + enc(u"程序已经在运行中了！"_qs)), second.out.constData());
    QVERIFY2(second.has("button OK"), second.out.constData());
    QCOMPARE(first.process.state(), QProcess::Running);
}

void TestProgram::killedEditComesBack() {
    QTemporaryDir dir;
    QVERIFY(!copyProgram(dir).isEmpty());
    const QString words = u"今天的字一个也不能丢"_qs;
    {
        Running writing;
        writing.start(dir.path(), u"trigger m_new;type mmw "_qs + QString::fromLatin1(enc(words)));
        QVERIFY(writing.waitFor("done"));
        QVERIFY(!writing.has("missing"));
        // The draft follows the typing within its interval; then the process dies without warning.
        QVERIFY(testsupport::waitUntil(
            [&] {
                const std::optional<recovery::Draft> d = recovery::load(dir.path());
                if (!d) return false;
                QTextDocument doc;
                return rtf::read(cp936::encode(d->richText), &doc) && rtf::plainText(&doc).contains(words);
            },
            10000));
        ::kill(pid_t(writing.process.processId()), SIGKILL);
        QVERIFY(writing.process.waitForFinished(5000));
        QCOMPARE(writing.process.exitStatus(), QProcess::CrashExit);
    }
    Running again;
    again.start(dir.path(), u"report mmw;report Titles;report says"_qs);
    QVERIFY(again.waitFor("done"));
    QVERIFY2(again.text("mmw").contains(words), qPrintable(again.text("mmw")));
    QCOMPARE(again.text("Titles"), QDate::currentDate().toString(u"yyyy-M-d"_qs));
    QCOMPARE(again.text("says"), u" 已恢复上次未保存的编辑，请保存或取消。"_qs);
    // Nothing reached the diary: the words wait for "保 存".
    QCOMPARE(QDir(dir.path() + u"/DB"_qs).entryList(QDir::Files), QStringList());
}

void TestProgram::homePageAfterFirstPaint_data() {
    QTest::addColumn<bool>("draft");
    QTest::newRow("home page") << false;
    QTest::newRow("home page and a draft") << true;
}

// The window paints before the home page fills the editor; once it is there, the editor shows what
// the load sequence gives: the home page, or a reopened draft over it.
void TestProgram::homePageAfterFirstPaint() {
    QFETCH(bool, draft);
    QTemporaryDir dir;
    QVERIFY(!copyProgram(dir).isEmpty());
    QVERIFY(testsupport::writeFile(dir.path() + u"/index.KAV"_qs,
                                   "{\\rtf1\\ansi\\ansicpg936 home \\'d6\\'d0\\par\r\n}\r\n"));
    if (draft)
        QVERIFY(recovery::save(dir.path(), {recovery::Kind::Entry, QDate(2004, 9, 8), u"t"_qs,
                                            u"{\\rtf1 drafted words\\par\r\n}"_qs}));
    Running r;
    r.start(dir.path(), u"later;later;report mmw"_qs);
    QVERIFY(r.waitFor("done"));
    QCOMPARE(r.text("mmw"), draft ? u"drafted words"_qs : u"home 中"_qs);
}

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
