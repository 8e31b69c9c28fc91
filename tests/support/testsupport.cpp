#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <grp.h>
#include <unistd.h>

namespace testsupport {

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QString executable() {
    const QByteArray fromEnv = qgetenv("QC_EXE");
    return fromEnv.isEmpty() ? QStringLiteral(QC_BINARY_DIR "/qingchuang") : QString::fromLocal8Bit(fromEnv);
}

bool waitUntil(const std::function<bool()> &condition, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms) return false;
        QTest::qWait(50);
    }
    return true;
}

namespace {
constexpr uid_t kNobody = 65534;
const char kDropVariable[] = "QC_TEST_UNPRIVILEGED";
} // namespace

QString runUnprivileged(const QString &functionAndTag) {
    // The child itself still root: it could not drop its rights, and must not start another.
    if (qEnvironmentVariableIsSet(kDropVariable)) return u"still privileged in the child"_qs;
    QTemporaryDir tmp;
    if (!tmp.isValid() || ::chown(QFile::encodeName(tmp.path()).constData(), kNobody, kNobody) != 0)
        return u"cannot prepare a temporary folder for uid 65534"_qs;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kDropVariable), u"1"_qs);
    env.insert(u"TMPDIR"_qs, tmp.path());
    env.insert(u"HOME"_qs, tmp.path());
    env.remove(u"XDG_RUNTIME_DIR"_qs);
    // Sanitizer reports go where the child may write; they are handed back below.
    static const QRegularExpression logPath(u"log_path=[^:]*"_qs);
    for (const QString &name : {u"ASAN_OPTIONS"_qs, u"UBSAN_OPTIONS"_qs, u"LSAN_OPTIONS"_qs})
        if (env.contains(name))
            env.insert(name, env.value(name).replace(logPath, u"log_path="_qs + tmp.path() +
                                                                  u"/sanitizer-"_qs + name));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {functionAndTag});
    if (!child.waitForFinished(300000)) {
        child.kill();
        child.waitForFinished();
        return u"the unprivileged child did not finish"_qs;
    }
    QString output = QString::fromLocal8Bit(child.readAll());
    QString reports;
    for (const QFileInfo &report : QDir(tmp.path()).entryInfoList({u"sanitizer-*"_qs}, QDir::Files))
        reports += QString::fromLocal8Bit(readFile(report.filePath()));
    // Passed, and as the row it was asked for, not skipped.
    const QString row = u"::"_qs + functionAndTag.section(u':', 0, 0) + u'(' +
                        functionAndTag.section(u':', 1) + u')';
    bool rowPassed = false;
    for (const QString &line : output.split(u'\n'))
        rowPassed = rowPassed || (line.startsWith(u"PASS   : "_qs) && line.contains(row));
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                        rowPassed && !output.contains(u"SKIP   : "_qs);
    if (passed && reports.isEmpty()) return QString();
    return output + reports;
}

void dropPrivilegesIfAsked() {
    if (!qEnvironmentVariableIsSet(kDropVariable) || ::geteuid() != 0) return;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 ||
        ::geteuid() == 0)
        qFatal("cannot drop to uid %u", unsigned(kNobody));
}

namespace {
QProcess *g_xvfb = nullptr;
} // namespace

bool startDesktop(const QString &screen) {
    const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_qs);
    if (xvfb.isEmpty()) return false;
    // Xvfb picks a free display itself and writes its number once it accepts connections, so
    // tests that start their own desktops side by side never meet on one display.
    auto *p = new QProcess;
    p->start(xvfb, {u"-displayfd"_qs, u"1"_qs, u"-screen"_qs, u"0"_qs, screen, u"-nolisten"_qs, u"tcp"_qs});
    QByteArray answer;
    if (p->waitForStarted(5000))
        while (!answer.contains('\n') && p->waitForReadyRead(30000))
            answer += p->readAllStandardOutput();
    bool ok = false;
    const int display = answer.trimmed().toInt(&ok);
    if (!ok || p->state() != QProcess::Running) {
        p->kill();
        p->waitForFinished();
        delete p;
        return false;
    }
    g_xvfb = p;
    qputenv("DISPLAY", QByteArray(":") + QByteArray::number(display));
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}

void stopDesktop() {
    if (!g_xvfb) return;
    g_xvfb->kill();
    g_xvfb->waitForFinished();
    delete g_xvfb;
    g_xvfb = nullptr;
}

} // namespace testsupport
