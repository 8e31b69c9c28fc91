#include "store/keep/keepjob.h"

#include "testsupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

using Step = QList<int>; // stage, done, total

// More steps than a slow machine gets through before a cancel: the work would run a minute.
constexpr int kMany = 12000;

// Work of `steps` steps in one stage, a few milliseconds each, that stops where its progress
// says so; reached counts the steps it did.
std::function<store::Result(const keep::Job::Steps &)>
counting(int steps, std::shared_ptr<std::atomic_int> reached) {
    return [steps, reached](const keep::Job::Steps &s) {
        const work::Progress progress = s.progress();
        for (int i = 0; i < steps; ++i) {
            if (!progress(i, steps)) return store::Result{store::Code::IoError, u"stopped"_qs, {}};
            QThread::msleep(5);
            ++*reached;
        }
        return store::Result{};
    };
}

} // namespace

// The job runner runs one piece of work at a time off the thread that started it; work that
// reports its steps is told of a cancel at its next step.
class TestKeepJob : public QObject {
    Q_OBJECT
private slots:
    void stepsComeBeforeTheResult();
    void cancelStopsAtTheNextStep_data();
    void cancelStopsAtTheNextStep();
    void endingTheJobStopsItsWork();
};

// Each stage's steps reach the starting thread in order, through the callback and the signal,
// and before the result.
void TestKeepJob::stepsComeBeforeTheResult() {
    keep::Job job;
    QSignalSpy progressed(&job, &keep::Job::progressed);
    QList<Step> stepped;
    QStringList order;
    const bool started = job.start(
        [](const keep::Job::Steps &s) {
            const work::Progress first = s.progress(0), second = s.progress(1);
            for (int i = 0; i < 2; ++i)
                if (!first(i, 2)) return store::Result{store::Code::IoError, {}, {}};
            second(0, 1);
            return store::Result{store::Code::NotDue, u"done"_qs, {}};
        },
        [&](const store::Result &r) { order << u"result "_qs + r.detail; },
        [&](int stage, int done, int total) {
            QCOMPARE(QThread::currentThread(), job.thread());
            stepped << Step{stage, done, total};
            order << u"step"_qs;
        });
    QVERIFY(started);
    // One piece of work at a time.
    QVERIFY(!job.start([] { return store::Result{}; }));
    job.wait();
    const QList<Step> expected{{0, 0, 2}, {0, 1, 2}, {1, 0, 1}};
    QCOMPARE(stepped, expected);
    QCOMPARE(progressed.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(
            (Step{progressed[i][0].toInt(), progressed[i][1].toInt(), progressed[i][2].toInt()}),
            expected[i]);
    QCOMPARE(order, (QStringList{u"step"_qs, u"step"_qs, u"step"_qs, u"result done"_qs}));
    QVERIFY(!job.isRunning());
}

// A cancel stops work that reports its steps where it is, with what it did kept; work that does
// not report runs to its end; the next work starts afresh.
void TestKeepJob::cancelStopsAtTheNextStep_data() {
    QTest::addColumn<bool>("reportsSteps");
    QTest::newRow("reports its steps") << true;
    QTest::newRow("plain work") << false;
}

void TestKeepJob::cancelStopsAtTheNextStep() {
    QFETCH(bool, reportsSteps);
    keep::Job job;
    auto reached = std::make_shared<std::atomic_int>(0);
    std::optional<store::Result> result;
    auto done = [&](const store::Result &r) { result = r; };
    if (reportsSteps) {
        QVERIFY(job.start(counting(kMany, reached), done));
    } else {
        QVERIFY(job.start(
            [reached] {
                for (int i = 0; i < 40; ++i, ++*reached)
                    QThread::msleep(5);
                return store::Result{};
            },
            done));
    }
    QVERIFY(!job.cancelRequested());
    QVERIFY(testsupport::waitUntil([&] { return *reached >= 2; }, 10000));
    job.cancel();
    QVERIFY(job.cancelRequested());
    job.wait();
    QVERIFY(result);
    if (reportsSteps) {
        QCOMPARE(result->code, store::Code::IoError);
        QVERIFY2(*reached < kMany, qPrintable(QString::number(*reached)));
    } else {
        QVERIFY(result->ok());
        QCOMPARE(int(*reached), 40);
    }
    // A cancel belongs to the work it was meant for.
    auto again = std::make_shared<std::atomic_int>(0);
    result.reset();
    QVERIFY(job.start(counting(3, again), done));
    job.wait();
    QVERIFY(result && result->ok());
    QCOMPARE(int(*again), 3);
}

// A job that goes (the program ends) stops the work that reports its steps instead of waiting
// for all of it.
void TestKeepJob::endingTheJobStopsItsWork() {
    auto reached = std::make_shared<std::atomic_int>(0);
    {
        keep::Job job;
        QVERIFY(job.start(counting(kMany, reached), {}));
        QVERIFY(testsupport::waitUntil([&] { return *reached >= 1; }, 10000));
    }
    const int atEnd = *reached;
    QVERIFY2(atEnd < kMany, qPrintable(QString::number(atEnd)));
    QThread::msleep(50);
    QCOMPARE(int(*reached), atEnd);
}

QTEST_GUILESS_MAIN(TestKeepJob)
#include "tst_keepjob.moc"
