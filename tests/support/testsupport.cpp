#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>

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

} // namespace testsupport
