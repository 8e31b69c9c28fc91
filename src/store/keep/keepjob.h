#pragma once

#include "store/common/work.h"
#include "store/keep/backup.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>

#include <functional>

// Runs one backup, restore, export or enciphering of old entries at a time on a Qt Concurrent
// worker, so that the windows never freeze and no two of them touch the diary's files at once;
// the result comes back on the thread that started the work.
namespace keep {

class Job : public QObject {
    Q_OBJECT
public:
    // What work that reports its steps is handed: progress(stage) is the work::Progress of one
    // stage of it (a conversion, then the backups' copies), told before each step; it returns
    // false once cancel() was called, and the work stops at that step.
    class Steps {
    public:
        work::Progress progress(int stage = 0) const;

    private:
        friend class Job;
        QPointer<Job> m_job;
        work::Cancel m_cancel;
        quint64 m_run = 0;
    };
    using StepsDone = std::function<void(int stage, int done, int total)>;

    explicit Job(QObject *parent = nullptr);
    ~Job() override; // asks the work that runs to stop at its next step, and waits for it

    // Starts work; done gets its result on this object's thread. False, and nothing started,
    // while other work runs.
    bool start(std::function<store::Result()> work, std::function<void(const store::Result &)> done = {});
    // The same for work that reports its steps: each step reaches stepped (and the signal
    // progressed) on this object's thread, before the result.
    bool start(std::function<store::Result(const Steps &)> work, std::function<void(const store::Result &)> done,
               StepsDone stepped = {});
    bool isRunning() const { return m_running; }
    // Asks the running work to stop at its next step; what is done stays done and the result
    // still comes. Work that does not report its steps runs to its end.
    void cancel();
    bool cancelRequested() const { return m_running && m_cancel.requested(); }
    // Blocks until the running work has finished and reported.
    void wait();

signals:
    void progressed(int stage, int done, int total);
    void finished(const store::Result &result);

private:
    QFutureWatcher<store::Result> m_watcher;
    std::function<void(const store::Result &)> m_done;
    StepsDone m_stepped;
    work::Cancel m_cancel;
    quint64 m_run = 0; // which start the steps reported belong to
    bool m_running = false;
};

} // namespace keep
