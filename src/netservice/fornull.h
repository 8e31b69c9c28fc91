#pragma once

#include <QIcon>
#include <QWidget>

class App;

// The hidden network window: owns the sockets and the one-second timer.
class ForNull : public QWidget {
    Q_OBJECT
public:
    explicit ForNull(App &app, QWidget *parent = nullptr);
    // The notification-area icon: the server picture in server mode, else PLogo.
    QIcon trayIcon() const;

private:
    App &m_app;
};
