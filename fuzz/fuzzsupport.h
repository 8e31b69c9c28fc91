#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <type_traits>

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

// The input read as a row of choices, for targets that build well-formed input from it. Past the
// end every choice is 0, so that any input makes a whole result.
class Choices {
public:
    Choices(const uint8_t *data, size_t size) : m_data(data), m_left(size) {}
    bool more() const { return m_left > 0; }
    uint8_t byte() {
        if (m_left == 0) return 0;
        --m_left;
        return *m_data++;
    }
    // A number below bound (bound > 0).
    unsigned below(unsigned bound) { return byte() % bound; }
    // Little-endian bytes as an integer of that type.
    template <typename T> T integer() {
        using U = std::make_unsigned_t<T>;
        U v = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            v |= U(U(byte()) << (8 * i));
        return T(v);
    }

private:
    const uint8_t *m_data;
    size_t m_left;
};

} // namespace fuzzsupport
