#pragma once

#include "store/common/work.h"
#include "store/find/engine.h"

#include <QFuture>
#include <QList>
#include <QObject>

#include <optional>

// A search that runs on a worker thread and reports its hits as they come, for the windows.
namespace find {

class Search : public QObject {
    Q_OBJECT
public:
    explicit Search(Engine &engine, QObject *parent = nullptr);
    ~Search() override; // cancels and waits for every worker it started

    // Starts a search for query; a search still running is cancelled first, and nothing more
    // is reported of it.
    void start(const QString &query);
    void cancel();
    bool isRunning() const { return m_running; }

signals:
    void hitFound(const find::Hit &hit);
    // The search started last ran to its end with this many hits.
    void finished(int hits);

private:
    Engine &m_engine;
    std::optional<work::Cancel> m_cancel; // of the search started last, while it runs
    // Every worker that may still run: a superseded one stops at its next file, but it reads the
    // engine and reports to this object until then.
    QList<QFuture<void>> m_futures;
    quint64 m_generation = 0;
    bool m_running = false;
};

} // namespace find
