#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

} // namespace testsupport
