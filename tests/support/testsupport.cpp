#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

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
QProcess *g_xvfb = nullptr;
} // namespace

bool startDesktop(const QString &screen) {
    const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_qs);
    if (xvfb.isEmpty()) return false;
    for (int display = 91; display < 120; ++display) {
        if (QFile::exists(u"/tmp/.X11-unix/X"_qs + QString::number(display)) ||
            QFile::exists(u"/tmp/.X%1-lock"_qs.arg(display)))
            continue;
        auto *p = new QProcess;
        p->start(xvfb, {u":"_qs + QString::number(display), u"-screen"_qs, u"0"_qs, screen, u"-nolisten"_qs, u"tcp"_qs});
        if (!p->waitForStarted(5000)) {
            delete p;
            return false;
        }
        for (int i = 0; i < 100 && !QFile::exists(u"/tmp/.X11-unix/X"_qs + QString::number(display)); ++i)
            QThread::msleep(50);
        if (p->state() != QProcess::Running) {
            delete p;
            continue;
        }
        g_xvfb = p;
        qputenv("DISPLAY", QByteArray(":") + QByteArray::number(display));
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    return false;
}

void stopDesktop() {
    if (!g_xvfb) return;
    g_xvfb->kill();
    g_xvfb->waitForFinished();
    delete g_xvfb;
    g_xvfb = nullptr;
}

} // namespace testsupport
