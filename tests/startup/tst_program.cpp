// Starts the real program in a temporary folder and checks what it writes.
#include "platform/codepage.h"
#include "startup/config.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {


struct Running {
    QProcess process;
    ~Running() {
        process.kill();
        process.waitForFinished(5000);
    }
};

void start(QProcess &p, const QString &dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    p.start(dir + u"/qingchuang"_qs, {});
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void firstStartWritesItsFiles();
};

void TestProgram::firstStartWritesItsFiles() {
    QTemporaryDir dir;
    const QString exe = dir.path() + u"/qingchuang"_qs;
    QVERIFY(QFile::copy(testsupport::executable(), exe));
    const QString config = dir.path() + u"/Config.ini"_qs;

    Running first;
    start(first.process, dir.path());
    QVERIFY(first.process.waitForStarted(10000));
    QVERIFY(testsupport::waitUntil([&] { return QFileInfo(dir.path() + u"/Love"_qs).isDir() && QFile::exists(config); }, 20000));
    QVERIFY(QFileInfo(dir.path() + u"/DB"_qs).isDir());
    QCOMPARE(testsupport::readFile(config), cp936::encode(defaultConfigText()));
    QCOMPARE(first.process.state(), QProcess::Running);

    // A second copy in the same folder refuses to run: it writes nothing, and the first goes on.
    QVERIFY(QFile::remove(config));
    Running second;
    start(second.process, dir.path());
    QVERIFY(second.process.waitForStarted(10000));
    QTest::qWait(3000);
    QVERIFY(!QFile::exists(config));
    QCOMPARE(first.process.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
