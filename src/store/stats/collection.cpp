#include "store/stats/collection.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QtConcurrent/QtConcurrentRun>

namespace stats {

namespace {
constexpr qint64 kProgressMs = 150; // between two reports of the report so far
}

Collection::Collection(find::Engine &engine, QObject *parent) : QObject(parent), m_engine(engine) {}

Collection::~Collection() {
    cancel();
    m_future.waitForFinished();
}

void Collection::start() {
    cancel();
    m_future.waitForFinished();
    const quint64 generation = ++m_generation;
    auto cancelled = std::make_shared<std::atomic_bool>(false);
    m_cancel = cancelled;
    m_running = true;
    // Reports travel to this object's thread; those of a cancelled run are dropped there.
    auto report = [this, generation](const Report &r, bool last) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, r, last] {
                if (generation != m_generation) return;
                if (last) {
                    m_running = false;
                    emit finished(r);
                } else {
                    emit progressed(r);
                }
            },
            Qt::QueuedConnection);
    };
    find::Engine *engine = &m_engine;
    m_future = QtConcurrent::run([engine, cancelled, report] {
        QElapsedTimer since;
        since.start();
        const Report r = collect(
            *engine, [cancelled] { return cancelled->load(); },
            [&](const Report &soFar) {
                if (since.elapsed() < kProgressMs) return;
                since.restart();
                report(soFar, false);
            });
        if (!cancelled->load()) report(r, true);
    });
}

void Collection::cancel() {
    if (m_cancel) m_cancel->store(true);
    m_cancel.reset();
    ++m_generation;
    m_running = false;
}

} // namespace stats
