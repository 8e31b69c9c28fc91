#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share: Qt set up once per process, a scratch folder, and the way a broken
// promise ends the run.
namespace fuzzsupport {

// Sets up the process once: offscreen Qt (with a QGuiApplication when gui), and checks that code
// page 936 is there, since every reader depends on it.
void init(int *argc, char ***argv, bool gui);

// A folder of this process, removed when it ends normally; kept on a crash for the record.
// Prefers memory-backed storage, since the targets write files on every input.
QString scratchDir();

// Replaces a file's content, creating its folder.
void writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);

// Notes the input of the run, for the reports of fail().
void begin(const uint8_t *data, size_t size);

// Reports a broken property, the run's input and what else shows it, then aborts: libFuzzer
// keeps the input.
[[noreturn]] void fail(const char *what, const QString &detail = QString());

// The checks of the targets. Details are built only when a check fails.
inline void check(bool condition, const char *what) {
    if (!condition) fail(what);
}
template <typename Detail> void check(bool condition, const char *what, Detail &&detail) {
    if (!condition) fail(what, detail());
}

// A printable form of bytes for reports: ASCII as is, the rest as \xhh.
QString escaped(const QByteArray &bytes);

} // namespace fuzzsupport
