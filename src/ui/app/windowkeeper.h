#pragma once

#include "store/settings/windowstate.h"

#include <QObject>
#include <QTimer>

class QWidget;

// Keeps a top-level window the way the user left it, in the state file at path: restore() puts
// the window back before it is first shown; from then on every change of its size, place or
// maximised state, and every zoom reported by setZoom, is written a moment after the last of a
// burst (a drag sends many), and at the latest when the keeper ends with its window. Nothing is
// written while nothing has changed.
class WindowKeeper : public QObject {
    Q_OBJECT
public:
    // Becomes a child of window.
    WindowKeeper(QWidget *window, const QString &path);
    ~WindowKeeper() override;

    // Reads the file and gives the window its remembered size, its place when that lies on a
    // screen, and its maximised state. The size is at least the window's least and at most the
    // room of its screen.
    void restore();
    int zoom() const { return m_state.zoom; }
    void setZoom(int percent);
    // Writes now what has changed.
    void flush();

    static constexpr int kWriteDelayMs = 500;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void record();
    void changed();

    QWidget *m_window;
    QString m_path;
    windowstate::State m_state;
    windowstate::State m_written;
    bool m_shown = false;
    QTimer m_delay;
};
