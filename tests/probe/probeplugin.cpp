// A Qt generic plugin that lets a test drive the real program from outside, the way a person
// would, without any hook in the program itself. Loaded by QT_PLUGIN_PATH=<dir holding generic/>
// and QT_QPA_GENERIC_PLUGINS=qcprobe.
//
// It writes lines to stdout, texts percent-encoded (UTF-8):
//   qcprobe exposed CLASS               the first top-level window is on screen
//   qcprobe box TITLE TEXT              a message box was shown; the probe then presses its OK
//   qcprobe button TEXT                 one line per button of that box, after its box line
//   qcprobe state CLASS normal|minimized visible|hidden   a top-level window changed state
//   qcprobe text NAME TEXT              the plain text of the text box NAME (action "report")
//   qcprobe done                        every action has run
// Once the first window is exposed it runs the actions of QC_PROBE_DO, separated by ";":
//   click NAME        clicks the button NAME
//   trigger NAME      triggers the menu command NAME
//   type NAME TEXT    gives NAME the focus and types TEXT (percent-encoded) as key presses
//   report NAME       writes the plain text of NAME
//   later             runs the rest once the events now waiting have been handled
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QGenericPlugin>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <cstdio>

namespace {

QByteArray enc(const QString &text) { return text.toUtf8().toPercentEncoding(); }

void say(const QByteArray &line) {
    std::printf("qcprobe %s\n", line.constData());
    std::fflush(stdout);
}

QObject *find(const QString &name) {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name) return w;
        if (QObject *o = w->findChild<QObject *>(name)) return o;
    }
    return nullptr;
}

class Probe : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Expose && watched->isWindowType() && !m_exposed) {
            QMetaObject::invokeMethod(this, [this, w = QPointer<QObject>(watched)] { exposed(w); },
                                      Qt::QueuedConnection);
        } else if (watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow()) {
            auto *w = static_cast<QWidget *>(watched);
            if (event->type() == QEvent::Show && w->inherits("QMessageBox")) {
                say("box " + enc(w->windowTitle()) + ' ' + enc(w->property("text").toString()));
                for (QAbstractButton *b : w->findChildren<QAbstractButton *>())
                    say("button " + enc(b->text()));
                QMetaObject::invokeMethod(w, "accept", Qt::QueuedConnection);
            } else if (event->type() == QEvent::WindowStateChange || event->type() == QEvent::Hide ||
                       event->type() == QEvent::Show) {
                say(QByteArray("state ") + w->metaObject()->className() +
                    (w->isMinimized() ? " minimized " : " normal ") + (w->isVisible() ? "visible" : "hidden"));
            }
        }
        return false;
    }

private:
    void exposed(QObject *window) {
        if (m_exposed || !window) return;
        m_exposed = true;
        QByteArray name = "QWindow";
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->windowHandle() == window) name = w->metaObject()->className();
        say("exposed " + name);
        runFrom(QString::fromLocal8Bit(qgetenv("QC_PROBE_DO")).split(u';', Qt::SkipEmptyParts));
    }

    void runFrom(QStringList actions) {
        while (!actions.isEmpty()) {
            const QString action = actions.takeFirst();
            if (action == u"later") {
                QMetaObject::invokeMethod(this, [this, actions] { runFrom(actions); }, Qt::QueuedConnection);
                return;
            }
            run(action.split(u' '));
        }
        say("done");
    }

    void run(const QStringList &words) {
        QObject *target = words.size() > 1 ? find(words[1]) : nullptr;
        if (!target) {
            say("missing " + enc(words.join(u' ')));
            return;
        }
        const QString &verb = words[0];
        if (verb == u"click") {
            QMetaObject::invokeMethod(target, "click");
        } else if (verb == u"trigger") {
            if (auto *a = qobject_cast<QAction *>(target)) a->trigger();
        } else if (verb == u"type" && words.size() > 2 && target->isWidgetType()) {
            auto *w = static_cast<QWidget *>(target);
            w->setFocus();
            const QString text = QString::fromUtf8(QByteArray::fromPercentEncoding(words[2].toLatin1()));
            for (QChar c : text) {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
                QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
                QCoreApplication::sendEvent(w, &press);
                QCoreApplication::sendEvent(w, &release);
            }
        } else if (verb == u"report") {
            say("text " + enc(words[1]) + ' ' + enc(target->property("plainText").toString()));
        }
    }

    bool m_exposed = false;
};

} // namespace

class ProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "probe.json")
public:
    QObject *create(const QString &key, const QString &) override {
        if (key.compare(QLatin1String("qcprobe"), Qt::CaseInsensitive) != 0) return nullptr;
        auto *probe = new Probe;
        QCoreApplication::instance()->installEventFilter(probe);
        return probe;
    }
};

#include "probeplugin.moc"
