#include "ui/app/windowkeeper.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

WindowKeeper::WindowKeeper(QWidget *window, const QString &path)
    : QObject(window), m_window(window), m_path(path) {
    m_delay.setSingleShot(true);
    m_delay.setInterval(kWriteDelayMs);
    connect(&m_delay, &QTimer::timeout, this, &WindowKeeper::flush);
    window->installEventFilter(this);
}

WindowKeeper::~WindowKeeper() { flush(); }

void WindowKeeper::restore() {
    m_state = windowstate::read(m_path);
    m_written = m_state;
    if (!m_state.geometry.isValid()) return;
    QRect g = m_state.geometry;
    // The place counts only while a screen shows it; the window manager places it otherwise.
    QScreen *screen = m_state.positioned ? QGuiApplication::screenAt(g.center()) : nullptr;
    const QRect room = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    const QSize least = m_window->minimumSizeHint().expandedTo(m_window->minimumSize());
    g.setSize(g.size().boundedTo(room.size()).expandedTo(least));
    if (screen) m_window->setGeometry(g);
    else m_window->resize(g.size());
    if (m_state.maximized) m_window->setWindowState(m_window->windowState() | Qt::WindowMaximized);
}

void WindowKeeper::setZoom(int percent) {
    if (m_state.zoom == percent) return;
    m_state.zoom = percent;
    changed();
}

void WindowKeeper::flush() {
    m_delay.stop();
    if (m_state == m_written) return;
    // A state that cannot be written is tried again at the next change.
    if (windowstate::write(m_path, m_state).ok()) m_written = m_state;
}

bool WindowKeeper::eventFilter(QObject *watched, QEvent *event) {
    if (watched != m_window) return false;
    switch (event->type()) {
    case QEvent::Show:
        // What the window shows first is where it starts from, not a change of the user's.
        if (!m_shown) {
            m_shown = true;
            record();
            m_written = m_state;
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
        if (m_shown && m_window->isVisible()) {
            record();
            changed();
        }
        break;
    default:
        break;
    }
    return false;
}

void WindowKeeper::record() {
    if (m_window->isMinimized()) return;
    m_state.maximized = m_window->isMaximized();
    // A maximised window remembers the size it comes back to; one shown maximised from the start
    // has none of its own yet and keeps what was read.
    const QRect g = m_state.maximized ? m_window->normalGeometry() : m_window->geometry();
    if (g.isValid()) {
        m_state.geometry = g;
        m_state.positioned = true;
    }
}

void WindowKeeper::changed() {
    if (m_state != m_written) m_delay.start();
}
