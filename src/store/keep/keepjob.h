#pragma once

#include "store/keep/backup.h"

#include <QFutureWatcher>
#include <QObject>

#include <functional>

// Runs one backup, restore, export or enciphering of old entries at a time on a Qt Concurrent
// worker, so that the windows never freeze and no two of them touch the diary's files at once;
// the result comes back on the thread that started the work.
namespace keep {

class Job : public QObject {
    Q_OBJECT
public:
    explicit Job(QObject *parent = nullptr);
    ~Job() override; // waits for the work that runs

    // Starts work; done gets its result on this object's thread. False, and nothing started,
    // while other work runs.
    bool start(std::function<store::Result()> work, std::function<void(const store::Result &)> done = {});
    bool isRunning() const { return m_running; }
    // Blocks until the running work has finished and reported.
    void wait();

signals:
    void finished(const store::Result &result);

private:
    QFutureWatcher<store::Result> m_watcher;
    std::function<void(const store::Result &)> m_done;
    bool m_running = false;
};

} // namespace keep
