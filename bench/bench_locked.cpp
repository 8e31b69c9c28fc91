// Opening a locked entry of 400,000 characters of RTF, the largest the diary saves: enciphered
// (Argon2id key derivation with the standard limits, then XChaCha20-Poly1305) beside the old lock
// (a password code compared in clear). The difference is the key derivation, which is meant to
// stay between 0.1 and 0.5 s.
#include "store/cipher/entrycipher.h"
#include "store/diary/diarystore.h"
#include "store/common/codepage.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QString kPassword = QStringLiteral("晴窗abc");
constexpr qint32 kKey = 4711;

QByteArray entryOf400000() {
    QByteArray body = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset134 "
                      "\\'cb\\'ce\\'cc\\'e5;}}\r\n\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18";
    const QByteArray line = " \\'bd\\'f1\\'cc\\'ec\\'cc\\'ec\\'c6\\'f8\\'ba\\'dc\\'ba\\'c3 the weather was fine\\par\r\n";
    while (body.size() + line.size() + 1 <= 400000)
        body += line;
    body += QByteArray(400000 - 1 - body.size(), 'x') + "}";
    return body;
}

struct Fixture {
    QTemporaryDir dir;
    QString path = dir.path() + QStringLiteral("/20040908.KAV");
    QByteArray body = entryOf400000();

    bool write(bool enciphered) {
        const QByteArray title = cp936::encode(QStringLiteral("西湖"));
        QByteArray passwordLine = "\x07" + cp936::encode(diary::PasswordCode(kPassword));
        QByteArray stored = body;
        if (enciphered) {
            const cipher::Sealing s = cipher::seal(body, kKey, title, kPassword);
            if (!s.result.ok()) return false;
            passwordLine = cipher::encipheredPasswordLine();
            stored = s.body;
        }
        QFile f(path);
        return f.open(QIODevice::WriteOnly) &&
               f.write("\x7f" + QByteArray::number(kKey) + "\r\n" + title + "\r\n" + passwordLine + "\r\n" + stored +
                       "\r\n \x7f\r\n") > 0;
    }
};

void open(benchmark::State &state, bool enciphered) {
    Fixture fx;
    if (!fx.write(enciphered)) {
        state.SkipWithError("the entry could not be written");
        return;
    }
    for (auto _ : state) {
        const diary::Content c = diary::readEntry(fx.path, kKey, 0, kPassword);
        if (!c.PassOK || c.body.size() != 400000) {
            state.SkipWithError("the entry did not open to its 400,000 characters");
            break;
        }
    }
}

void BM_OpenEncipheredEntry(benchmark::State &state) { open(state, true); }
void BM_OpenLegacyLockedEntry(benchmark::State &state) { open(state, false); }

} // namespace

BENCHMARK(BM_OpenEncipheredEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenLegacyLockedEntry)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
