#pragma once

#include "store/stats/stats.h"

#include <QFuture>
#include <QObject>

#include <atomic>
#include <memory>

// The statistics gathered on a worker thread for the windows: the report so far now and then,
// then the whole of it.
namespace stats {

class Collection : public QObject {
    Q_OBJECT
public:
    explicit Collection(find::Engine &engine, QObject *parent = nullptr);
    ~Collection() override; // cancels and waits for the worker

    // Starts anew; a collection still running is cancelled and waited for first (it stops
    // after the file it is reading), and nothing more is reported of it.
    void start();
    void cancel();
    bool isRunning() const { return m_running; }

signals:
    // The report so far, a few times a second while files are read.
    void progressed(const stats::Report &report);
    void finished(const stats::Report &report);

private:
    find::Engine &m_engine;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QFuture<void> m_future;
    quint64 m_generation = 0;
    bool m_running = false;
};

} // namespace stats
