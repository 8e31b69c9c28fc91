// The statistics of a hand-made diary (statsdiary.h): days, figures, months, tags, the files that
// cannot be read, the cache shared with search, cancelling and the worker.
#include "store/find/engine.h"
#include "store/stats/collection.h"
#include "store/stats/stats.h"

#include "statsdiary.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <utime.h>

Q_DECLARE_METATYPE(stats::Figures)

namespace {

stats::Figures figures(int entries, int locked, int days, qint64 chars, qint64 year, qint64 month,
                       qint64 average, int current, int longest, QDate first) {
    stats::Figures f;
    f.entries = entries;
    f.lockedEntries = locked;
    f.writtenDays = days;
    f.characters = chars;
    f.charactersThisYear = year;
    f.charactersThisMonth = month;
    f.averagePerWrittenDay = average;
    f.currentStreak = current;
    f.longestStreak = longest;
    f.firstEntry = first;
    return f;
}

QString describe(const stats::Figures &f) {
    return u"entries %1 locked %2 days %3 chars %4/%5/%6 avg %7 streak %8/%9 first %10"_qs
        .arg(f.entries)
        .arg(f.lockedEntries)
        .arg(f.writtenDays)
        .arg(f.characters)
        .arg(f.charactersThisYear)
        .arg(f.charactersThisMonth)
        .arg(f.averagePerWrittenDay)
        .arg(f.currentStreak)
        .arg(f.longestStreak)
        .arg(f.firstEntry.toString(Qt::ISODate));
}

} // namespace

class TestStats : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void days();
    void figures_data();
    void figures();
    void months();
    void tags();
    void unreadable();
    void emptyDiary();
    void secondCollectionSeesChanges();
    void cancelled();
    void worker();
    void workerDestroyedWhileRunning();

private:
    QTemporaryDir m_dir;
    stats::Report m_report;
};

void TestStats::initTestCase() {
    QVERIFY(m_dir.isValid());
    statsdiary::write(m_dir.path());
    find::Engine engine(m_dir.path());
    m_report = stats::collect(engine);
    QVERIFY(m_report.complete);
}

void TestStats::days() {
    using D = stats::Day;
    const QMap<QDate, D> expected{
        {QDate(2023, 12, 30), D{1, 0, 2}}, {QDate(2023, 12, 31), D{2, 0, 8}},
        {QDate(2024, 1, 1), D{1, 0, 6}},   {QDate(2024, 2, 27), D{1, 0, 4}},
        {QDate(2024, 2, 28), D{1, 0, 4}},  {QDate(2024, 2, 29), D{2, 1, 1}},
        {QDate(2024, 3, 1), D{1, 0, 10}},  {QDate(2024, 3, 2), D{1, 0, 2}},
    };
    QCOMPARE(m_report.days.keys(), expected.keys());
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        const D d = m_report.days.value(it.key());
        QVERIFY2(d == it.value(), qPrintable(u"%1: %2 %3 %4"_qs.arg(it.key().toString(Qt::ISODate))
                                                 .arg(d.entries)
                                                 .arg(d.locked)
                                                 .arg(d.characters)));
    }
}

void TestStats::figures_data() {
    QTest::addColumn<QDate>("today");
    QTest::addColumn<stats::Figures>("expected");
    const QDate first(2023, 12, 30);
    QTest::newRow("today written")
        << QDate(2024, 3, 2) << ::figures(10, 1, 8, 37, 27, 12, 5, 5, 5, first);
    QTest::newRow("today not yet written")
        << QDate(2024, 3, 3) << ::figures(10, 1, 8, 37, 27, 12, 5, 5, 5, first);
    QTest::newRow("two days without")
        << QDate(2024, 3, 4) << ::figures(10, 1, 8, 37, 27, 12, 5, 0, 5, first);
    QTest::newRow("on the leap day")
        << QDate(2024, 2, 29) << ::figures(10, 1, 8, 37, 27, 9, 5, 3, 5, first);
    QTest::newRow("a year later") << QDate(2025, 1, 1)
                                  << ::figures(10, 1, 8, 37, 0, 0, 5, 0, 5, first);
    QTest::newRow("the year before")
        << QDate(2023, 12, 31) << ::figures(10, 1, 8, 37, 10, 10, 5, 2, 5, first);
}

void TestStats::figures() {
    QFETCH(QDate, today);
    QFETCH(stats::Figures, expected);
    const stats::Figures f = m_report.figures(today);
    QVERIFY2(f == expected, qPrintable(describe(f) + u"\nexpected "_qs + describe(expected)));
}

void TestStats::months() {
    std::array<stats::Month, 12> y2024{};
    y2024[0] = {1, 6};
    y2024[1] = {4, 9};
    y2024[2] = {2, 12};
    QVERIFY(m_report.months(2024) == y2024);
    std::array<stats::Month, 12> y2023{};
    y2023[11] = {3, 10};
    QVERIFY(m_report.months(2023) == y2023);
    QVERIFY(m_report.months(2022) == (std::array<stats::Month, 12>{}));
}

void TestStats::tags() {
    // The tag of the collection item and the one inside the address do not count; the locked
    // entry's title does.
    const QList<stats::Tag> expected{{u"#旅行"_qs, 2}, {u"#新年快乐"_qs, 1}, {u"#秘密"_qs, 1}};
    QCOMPARE(m_report.tagList(), expected);
}

void TestStats::unreadable() {
    QCOMPARE(m_report.unreadable, QStringList{m_dir.path() + u"/DB/20240110.KAV"_qs});
}

void TestStats::emptyDiary() {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(u"DB"_qs);
    find::Engine engine(dir.path());
    const stats::Report r = stats::collect(engine);
    QVERIFY(r.complete);
    QVERIFY(r.days.isEmpty());
    QVERIFY(r.tagList().isEmpty());
    QVERIFY(r.figures(statsdiary::today()) == stats::Figures{});
}

void TestStats::secondCollectionSeesChanges() {
    QTemporaryDir dir;
    statsdiary::write(dir.path());
    find::Engine engine(dir.path());
    const stats::Report first = stats::collect(engine);
    QCOMPARE(first.figures(statsdiary::today()).characters, qint64(37));
    // A day rewritten: its new text counts, the rest stays as it was.
    const QString path = dir.path() + u"/DB/20240302.KAV"_qs;
    testsupport::writeFile(
        path, finddiary::entry(10, u"十"_qs, "", finddiary::rtfText(u"今天写得多 #新话题"_qs)));
    struct utimbuf later {
        2000000000, 2000000000
    };
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &later), 0);
    const stats::Report second = stats::collect(engine);
    QVERIFY(second.days.value(QDate(2024, 3, 2)) == (stats::Day{1, 0, 8}));
    QCOMPARE(second.figures(statsdiary::today()).characters, qint64(43));
    QCOMPARE(second.tags.value(u"#新话题"_qs), 1);
}

void TestStats::cancelled() {
    find::Engine engine(m_dir.path());
    int asked = 0;
    const stats::Report r = stats::collect(engine, [&] { return ++asked > 3; });
    QVERIFY(!r.complete);
    // Three date files were read, oldest first: 12-30 and both files of 12-31.
    QCOMPARE(r.days.keys(), (QList<QDate>{QDate(2023, 12, 30), QDate(2023, 12, 31)}));
}

void TestStats::worker() {
    find::Engine engine(m_dir.path());
    stats::Collection collection(engine);
    QSignalSpy finished(&collection, &stats::Collection::finished);
    collection.start();
    QVERIFY(collection.isRunning());
    QVERIFY(finished.wait(10000));
    QVERIFY(!collection.isRunning());
    QCOMPARE(finished.size(), 1);
    const stats::Report r = finished.at(0).at(0).value<stats::Report>();
    QVERIFY(r.complete);
    QCOMPARE(r.days, m_report.days);
    QCOMPARE(r.tags, m_report.tags);
    // A run cancelled by a new one reports nothing: one more finished, no more.
    collection.start();
    collection.start();
    QVERIFY(finished.wait(10000));
    QTest::qWait(100);
    QCOMPARE(finished.size(), 2);
}

void TestStats::workerDestroyedWhileRunning() {
    find::Engine engine(m_dir.path());
    auto *collection = new stats::Collection(engine);
    bool reported = false;
    connect(collection, &stats::Collection::finished, this, [&] { reported = true; });
    collection->start();
    delete collection; // waits for the worker, which posts nothing after
    QTest::qWait(100);
    QVERIFY(!reported);
}

QTEST_GUILESS_MAIN(TestStats)
#include "tst_stats.moc"
