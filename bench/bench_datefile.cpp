// Listing, opening and removing in a date file of 1,000 entries of 4 KB each.
#include "diary/diarystore.h"
#include "platform/codepage.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QByteArray makeFile(int entries) {
    QByteArray body = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset134 "
                      "\\'cb\\'ce\\'cc\\'e5;}}\r\n\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18";
    while (body.size() < 4000)
        body += " \\'bd\\'f1\\'cc\\'ec\\'cc\\'ec\\'c6\\'f8\\'ba\\'dc\\'ba\\'c3 the weather was fine\\par\r\n";
    body += "}";
    QByteArray file;
    for (int i = 0; i < entries; ++i)
        file += "\x7f" + QByteArray::number(i * 7 + 1) + "\r\n" + cp936::encode(QStringLiteral("第%1篇").arg(i)) +
                "\r\n\x07\r\n" + body + "\r\n \x7f\r\n";
    return file;
}

struct Fixture {
    QTemporaryDir dir;
    QString path = dir.path() + QStringLiteral("/20040908.KAV");
    QByteArray data = makeFile(1000);
    void write() {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(data);
    }
};

void BM_ListEntries(benchmark::State &state) {
    Fixture fx;
    fx.write();
    for (auto _ : state)
        benchmark::DoNotOptimize(diary::ListEntries(fx.path).items.size());
}

void BM_OpenLastEntry(benchmark::State &state) {
    Fixture fx;
    fx.write();
    for (auto _ : state)
        benchmark::DoNotOptimize(diary::readEntry(fx.path, 999 * 7 + 1, 0, QString()).body.size());
}

void BM_RemoveMiddleEntry(benchmark::State &state) {
    Fixture fx;
    const QString temp = fx.dir.path() + QStringLiteral("/temp.tmp");
    for (auto _ : state) {
        state.PauseTiming();
        fx.write();
        state.ResumeTiming();
        benchmark::DoNotOptimize(diary::DeleteEntry(fx.path, temp, 500 * 7 + 1, 0, QString()));
    }
}

} // namespace

BENCHMARK(BM_ListEntries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenLastEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveMiddleEntry)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
