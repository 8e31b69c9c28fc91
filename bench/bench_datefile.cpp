// Listing, opening and removing in a date file of 1,000 entries of 4 KB each, beside the least
// that each of them must do. A date file has no index: listing and opening the last entry must
// read the whole file at least, so their reference is the file read once; removing must rewrite
// the file safely, so its reference is the file copied over itself the same way (written to the
// temporary file, forced to disk, renamed over the date file). Merging another computer's
// version must read both files and hold them at once, which is its reference.
#include "store/common/codepage.h"
#include "store/diary/diarystore.h"
#include "store/conflict/merge.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

namespace {

QByteArray makeFile(int entries, int firstKey = 1) {
    QByteArray body = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{"
                      "\\f0\\fnil\\fcharset134 "
                      "\\'cb\\'ce\\'cc\\'e5;}}\r\n\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18";
    while (body.size() < 4000)
        body += " \\'bd\\'f1\\'cc\\'ec\\'cc\\'ec\\'c6\\'f8\\'ba\\'dc\\'ba\\'c3 the weather was "
                "fine\\par\r\n";
    body += "}";
    QByteArray file;
    for (int i = 0; i < entries; ++i)
        file += "\x7f" + QByteArray::number(i * 7 + firstKey) + "\r\n" +
                cp936::encode(QStringLiteral("第%1篇").arg(i)) + "\r\n\x07\r\n" + body +
                "\r\n \x7f\r\n";
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
    for (auto _ : state) {
        const diary::Listing listing = diary::ListEntries(fx.path);
        if (!listing.result.ok() || listing.items.size() != 1000) {
            state.SkipWithError("the listing is not the 1,000 entries");
            break;
        }
    }
}

void BM_OpenLastEntry(benchmark::State &state) {
    Fixture fx;
    fx.write();
    for (auto _ : state) {
        const diary::Content c = diary::readEntry(fx.path, 999 * 7 + 1, 0, QString());
        if (!c.found || !c.PassOK || c.body.size() < 4000) {
            state.SkipWithError("the last entry was not read");
            break;
        }
    }
}

void BM_RemoveMiddleEntry(benchmark::State &state) {
    Fixture fx;
    const QString temp = fx.dir.path() + QStringLiteral("/temp.tmp");
    for (auto _ : state) {
        state.PauseTiming();
        fx.write();
        state.ResumeTiming();
        if (!diary::removeEntry(fx.path, temp, 500 * 7 + 1, 0, QString())) {
            state.SkipWithError("the entry was not removed");
            break;
        }
    }
}

void BM_ReadWholeFile(benchmark::State &state) {
    Fixture fx;
    fx.write();
    for (auto _ : state) {
        QFile f(fx.path);
        if (!f.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot open the date file");
            break;
        }
        benchmark::DoNotOptimize(f.readAll().size());
    }
}

void BM_CopyFileDurably(benchmark::State &state) {
    Fixture fx;
    const QString temp = fx.dir.path() + QStringLiteral("/temp.tmp");
    for (auto _ : state) {
        state.PauseTiming();
        fx.write();
        state.ResumeTiming();
        QFile in(fx.path);
        in.open(QIODevice::ReadOnly);
        const QByteArray data = in.readAll();
        in.close();
        QFile out(temp);
        bool ok = out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                  out.write(data) == data.size() && out.flush() && ::fsync(out.handle()) == 0;
        out.close();
        ok = ok && std::rename(QFile::encodeName(temp).constData(),
                               QFile::encodeName(fx.path).constData()) == 0;
        if (!ok) {
            state.SkipWithError("copying the date file failed");
            break;
        }
    }
}

// Another computer's version: the same first 990 entries, then 10 of its own.
struct CopyFixture : Fixture {
    QString copyPath =
        dir.path() + QStringLiteral("/20040908.sync-conflict-20040908-101010-ABCDEFG.KAV");
    CopyFixture() {
        write();
        const qsizetype cut = data.indexOf("\x7f" + QByteArray::number(990 * 7 + 1) + "\r\n");
        QFile f(copyPath);
        f.open(QIODevice::WriteOnly);
        f.write(data.left(cut) + makeFile(10, 3));
    }
};

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a merge costs beside reading: both files read, and the merged bytes made.
void BM_MergeWithCopy(benchmark::State &state) {
    CopyFixture fx;
    for (auto _ : state) {
        const conflict::DateMerge m =
            conflict::mergeDateFiles(readAll(fx.path), readAll(fx.copyPath));
        if (!m.ok || m.added != 10) {
            state.SkipWithError("the merge did not take the copy's 10 entries");
            break;
        }
        benchmark::DoNotOptimize(m.tail.size());
    }
}

void BM_ReadBothFiles(benchmark::State &state) {
    CopyFixture fx;
    // Both held at once, as the merge must hold them: two buffers of 4 MB freed together leave
    // the allocator more to give back to the system than one at a time, and taking it again
    // costs page faults.
    for (auto _ : state) {
        const QByteArray mine = readAll(fx.path), theirs = readAll(fx.copyPath);
        benchmark::DoNotOptimize(mine.size() + theirs.size());
    }
}

} // namespace

BENCHMARK(BM_MergeWithCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBothFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListEntries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenLastEntry)->Unit(benchmark::kMillisecond);
// Wall-clock time: a safe rewrite mostly waits for the disk.
BENCHMARK(BM_RemoveMiddleEntry)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyFileDurably)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
