#include "store/find/search.h"

#include <QMetaObject>
#include <QtConcurrent/QtConcurrentRun>

namespace find {

Search::Search(Engine &engine, QObject *parent) : QObject(parent), m_engine(engine) {}

Search::~Search() {
    cancel();
    for (QFuture<void> &future : m_futures)
        future.waitForFinished();
}

void Search::start(const QString &query) {
    cancel();
    const quint64 generation = ++m_generation;
    const work::Cancel stop;
    m_cancel = stop;
    m_running = true;
    // Reports travel to this object's thread; those of an older search are dropped there.
    auto report = [this, generation](auto f) {
        QMetaObject::invokeMethod(
            this, [this, generation, f] {
                if (generation == m_generation) f();
            },
            Qt::QueuedConnection);
    };
    Engine *engine = &m_engine;
    m_futures.removeIf([](const QFuture<void> &f) { return f.isFinished(); });
    m_futures << QtConcurrent::run([engine, query, stop, report, this] {
        const QList<Hit> hits = engine->search(
            query, stop.asker(),
            [report, this](const Hit &hit) { report([this, hit] { emit hitFound(hit); }); });
        if (stop.requested()) return;
        const int count = int(hits.size());
        report([this, count] {
            m_running = false;
            emit finished(count);
        });
    });
}

void Search::cancel() {
    if (m_cancel) m_cancel->request();
    m_cancel.reset();
    ++m_generation;
    m_running = false;
}

} // namespace find
