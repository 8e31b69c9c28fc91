#include "fuzzsupport.h"

#include "store/common/codepage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzzsupport {

namespace {

QByteArray &currentInput() {
    static QByteArray input;
    return input;
}

std::unique_ptr<QTemporaryDir> &scratch() {
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}

} // namespace

void init(int *argc, char ***argv, bool gui) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own messages (font warnings and the like) are noise in a fuzzer's log.
    qputenv("QT_LOGGING_RULES", "*.debug=false;qt.*.warning=false");
    if (gui) new QGuiApplication(*argc, *argv); // lives as long as the process
    if (!cp936::available()) fail("code page 936 is not available");
}

QString scratchDir() {
    std::unique_ptr<QTemporaryDir> &dir = scratch();
    if (!dir) {
        const QString shm = QStringLiteral("/dev/shm");
        const QString base =
            QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
        dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/qc-fuzz-XXXXXX"));
        if (!dir->isValid()) fail("cannot create a scratch folder", dir->errorString());
        std::atexit([] { scratch().reset(); });
    }
    return dir->path();
}

void writeFile(const QString &path, const QByteArray &data) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        fail("cannot write a scratch file", path);
}

QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void begin(const uint8_t *data, size_t size) {
    currentInput().setRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

void fail(const char *what, const QString &detail) {
    std::fprintf(stderr, "\n*** %s\n-- input --\n%s\n", what,
                 escaped(currentInput()).toUtf8().constData());
    if (!detail.isEmpty()) std::fprintf(stderr, "%s\n", detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

QString escaped(const QByteArray &bytes) {
    QString out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7f && b != '\\')
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace fuzzsupport
