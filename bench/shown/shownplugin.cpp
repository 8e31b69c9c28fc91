// A Qt generic plugin that tells when a program's first window is on screen, so that start-up
// can be timed from outside without any hook in the program itself. Loaded into any Qt program
// by QT_PLUGIN_PATH=<dir holding generic/> and QT_QPA_GENERIC_PLUGINS=qcshown.
//
// Once the first top-level window has been exposed and its first paint is done, it writes one
// line to stdout, "qcshown <CLOCK_MONOTONIC in ns> <class of the window's widget>", and ends
// the event loop, so that the program leaves the way it normally does.
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QGenericPlugin>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <ctime>

namespace {

qint64 monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class ShownWatcher : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (!m_done && event->type() == QEvent::Expose && watched->isWindowType()) {
            auto *window = static_cast<QWindow *>(watched);
            // The expose event is what paints the window; report once it has been handled.
            QMetaObject::invokeMethod(this, [this, w = QPointer<QWindow>(window)] { report(w); },
                                      Qt::QueuedConnection);
        }
        return false;
    }

private:
    void report(QWindow *window) {
        if (m_done || !window || !window->isVisible() || !window->isExposed()) return;
        m_done = true;
        const qint64 at = monotonicNs();
        QByteArray name = "QWindow";
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->windowHandle() == window) name = w->metaObject()->className();
        std::printf("qcshown %lld %s\n", static_cast<long long>(at), name.constData());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    }

    bool m_done = false;
};

} // namespace

class ShownPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "shown.json")
public:
    QObject *create(const QString &key, const QString &) override {
        if (key.compare(QLatin1String("qcshown"), Qt::CaseInsensitive) != 0) return nullptr;
        auto *watcher = new ShownWatcher;
        QCoreApplication::instance()->installEventFilter(watcher);
        return watcher;
    }
};

#include "shownplugin.moc"
