#include "store/keep/keepjob.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>

namespace keep {

using store::Result;

Job::Job(QObject *parent) : QObject(parent) {
    connect(&m_watcher, &QFutureWatcher<Result>::finished, this, [this] {
        const Result result = m_watcher.result();
        const std::function<void(const Result &)> done = std::move(m_done);
        m_done = nullptr;
        m_running = false;
        if (done) done(result);
        emit finished(result);
    });
}

Job::~Job() {
    m_watcher.waitForFinished();
}

bool Job::start(std::function<Result()> work, std::function<void(const Result &)> done) {
    if (m_running) return false;
    m_running = true;
    m_done = std::move(done);
    m_watcher.setFuture(QtConcurrent::run(std::move(work)));
    return true;
}

void Job::wait() {
    if (!m_running) return;
    m_watcher.waitForFinished();
    // The watcher reports through the event loop; deliver it now.
    while (m_running)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace keep
