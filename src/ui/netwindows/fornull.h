#pragma once

#include <QIcon>
#include <QWidget>

class NetService;
struct Settings;

// The hidden network window. The network service it is handed (the sockets, the server's
// sessions, the one-second timer) belongs to it for the user: the notification area's icon is
// its picture, the server's in server mode, else PLogo. It never shows itself.
class ForNull : public QWidget {
    Q_OBJECT
public:
    // settings: IsServer picks the icon.
    ForNull(NetService &service, const Settings &settings, QWidget *parent = nullptr);

    NetService &service() const { return m_service; }

    // The notification-area icon: the server picture in server mode, else PLogo.
    QIcon trayIcon() const;

private:
    NetService &m_service;
    const Settings &m_settings;
};
