// Search over ten years of diary: 3,653 date files of one to three entries a day, each a few
// kilobytes of GBK RTF in the diary's own shape (about 60 MB), searched for a word it does not
// hold. The reference is a plain read of all its files, as `cat DB/*` does: the folder listed and
// every file read once. Cold: a fresh engine, every file read and its text extracted. Warm: the
// same search again in one engine, its in-memory text kept. The statistics read the same diary
// through the same engine: cold in a fresh one, warm again in one engine.
#include "store/diary/diarystore.h"
#include "store/find/engine.h"
#include "store/common/codepage.h"
#include "store/rtf/rtf.h"
#include "store/stats/stats.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr char kAbsent[] = "龘zzqx";

// Text of everyday words, drawn by a fixed sequence so that every run writes the same diary.
QString dayText(quint32 &seed, int chars) {
    static const QString pool = QStringLiteral(
        "今天天气很好我们一起去公园散步看见了许多花草树木心情非常愉快晚上回家吃饭和朋友聊天工作学习生活"
        "时间过得真快明天还要早起上班读书写字记录下这一天的点点滴滴春夏秋冬山水城市火车飞机旅行回忆快乐");
    static const char *const latin[] = {"the weather was fine", "Meeting at 10", "Qt 6", "C++20", "OK"};
    QString text;
    while (text.size() < chars) {
        seed = seed * 1103515245u + 12345u;
        const quint32 r = seed >> 8;
        if (r % 23 == 0) text += QLatin1String(latin[r % 5]);
        else if (r % 17 == 0) text += u"，"_qs;
        else if (r % 41 == 0) text += u"。\n"_qs;
        else text += pool.at(r % pool.size());
    }
    return text;
}

struct TenYears {
    QTemporaryDir dir;
    qint64 bytes = 0;
    int files = 0;
    TenYears() {
        QDir(dir.path()).mkdir(QStringLiteral("DB"));
        QDir(dir.path()).mkdir(QStringLiteral("Love"));
        quint32 seed = 2015;
        for (QDate d(2015, 1, 1); d <= QDate(2024, 12, 31); d = d.addDays(1)) {
            QByteArray file;
            const int entries = 1 + int(d.toJulianDay() % 3);
            for (int e = 0; e < entries; ++e) {
                const QString body = rtf::documentWithBody(rtf::escapeText(dayText(seed, 1300)));
                file += diary::entryBytes(int(seed % 999999), d.toString(QStringLiteral("yyyy-M-d")), QString(), body);
            }
            QFile f(dir.path() + QStringLiteral("/DB/") + diary::DateKey(d) + QStringLiteral(".KAV"));
            if (!f.open(QIODevice::WriteOnly) || f.write(file) != file.size()) qFatal("cannot write the diary");
            bytes += file.size();
            ++files;
        }
    }
};

TenYears &diaryOnDisk() {
    static TenYears t;
    return t;
}

void BM_ReadAllFiles(benchmark::State &state) {
    TenYears &t = diaryOnDisk();
    for (auto _ : state) {
        const QString db = t.dir.path() + QStringLiteral("/DB/");
        qint64 read = 0;
        for (const QString &name : QDir(db).entryList(QDir::Files, QDir::Unsorted)) {
            QFile f(db + name);
            if (!f.open(QIODevice::ReadOnly)) {
                state.SkipWithError("cannot read a date file");
                return;
            }
            read += f.readAll().size();
        }
        if (read != t.bytes) {
            state.SkipWithError("not every byte was read");
            return;
        }
    }
    state.counters["MB"] = double(t.bytes) / 1e6;
    state.counters["files"] = t.files;
}

void BM_SearchCold(benchmark::State &state) {
    TenYears &t = diaryOnDisk();
    std::unique_ptr<find::Engine> engine;
    for (auto _ : state) {
        state.PauseTiming(); // the last engine's cache is freed outside the measure
        engine = std::make_unique<find::Engine>(t.dir.path());
        state.ResumeTiming();
        if (!engine->search(QString::fromUtf8(kAbsent)).isEmpty()) {
            state.SkipWithError("the absent word was found");
            return;
        }
    }
}

void BM_SearchWarm(benchmark::State &state) {
    TenYears &t = diaryOnDisk();
    find::Engine engine(t.dir.path());
    engine.search(QString::fromUtf8(kAbsent));
    // Sanity: a word the diary holds is found in it.
    if (engine.search(u"公园"_qs).isEmpty()) state.SkipWithError("the diary holds no text to find");
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.search(QString::fromUtf8(kAbsent)).size());
}

// Every day written, with some characters: the statistics saw the whole diary.
bool wholeDiary(const stats::Report &r, const TenYears &t) {
    return r.complete && r.days.size() == t.files && r.figures(QDate(2024, 12, 31)).characters > 0;
}

void BM_StatsCold(benchmark::State &state) {
    TenYears &t = diaryOnDisk();
    std::unique_ptr<find::Engine> engine;
    for (auto _ : state) {
        state.PauseTiming();
        engine = std::make_unique<find::Engine>(t.dir.path());
        state.ResumeTiming();
        if (!wholeDiary(stats::collect(*engine), t)) {
            state.SkipWithError("the statistics missed days");
            return;
        }
    }
}

void BM_StatsWarm(benchmark::State &state) {
    TenYears &t = diaryOnDisk();
    find::Engine engine(t.dir.path());
    stats::collect(engine);
    for (auto _ : state)
        if (!wholeDiary(stats::collect(engine), t)) {
            state.SkipWithError("the statistics missed days");
            return;
        }
}

} // namespace

BENCHMARK(BM_ReadAllFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatsCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatsWarm)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv); // RTF beyond the fast path is read into a document
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
