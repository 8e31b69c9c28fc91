#include "store/keep/keepjob.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>

namespace keep {

using store::Result;

work::Progress Job::Steps::progress(int stage) const {
    return m_cancel.checking([job = m_job, run = m_run, stage](int done, int total) {
        // The job waits for its work before it goes; a report it has not taken by then is dropped.
        if (job)
            QMetaObject::invokeMethod(
                job.data(),
                [job, run, stage, done, total] {
                    if (!job || job->m_run != run || !job->m_running) return;
                    if (job->m_stepped) job->m_stepped(stage, done, total);
                    emit job->progressed(stage, done, total);
                },
                Qt::QueuedConnection);
        return true;
    });
}

Job::Job(QObject *parent) : QObject(parent) {
    connect(&m_watcher, &QFutureWatcher<Result>::finished, this, [this] {
        const Result result = m_watcher.result();
        const std::function<void(const Result &)> done = std::move(m_done);
        m_done = nullptr;
        m_stepped = nullptr;
        m_running = false;
        if (done) done(result);
        emit finished(result);
    });
}

Job::~Job() {
    m_cancel.request();
    m_watcher.waitForFinished();
}

bool Job::start(std::function<Result()> work, std::function<void(const Result &)> done) {
    return start([work = std::move(work)](const Steps &) { return work(); }, std::move(done));
}

bool Job::start(std::function<Result(const Steps &)> work, std::function<void(const Result &)> done,
                StepsDone stepped) {
    if (m_running) return false;
    m_running = true;
    m_done = std::move(done);
    m_stepped = std::move(stepped);
    m_cancel = work::Cancel();
    Steps steps;
    steps.m_job = this;
    steps.m_cancel = m_cancel;
    steps.m_run = ++m_run;
    m_watcher.setFuture(QtConcurrent::run([work = std::move(work), steps] { return work(steps); }));
    return true;
}

void Job::cancel() {
    if (m_running) m_cancel.request();
}

void Job::wait() {
    if (!m_running) return;
    m_watcher.waitForFinished();
    // The watcher reports through the event loop; deliver it now.
    while (m_running)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace keep
