#pragma once

#include "store/common/storeresult.h"
#include "store/net/accounts.h"
#include "store/net/protocol.h"
#include "ui/net/serversession.h"

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QWidget>

class App;
class QTimer;
class Winsock;

// The hidden network window. It owns every socket and the one-second timer tm.
//
// Client mode: the windows drive the two client sockets and this window handles what comes back.
//  - Wsk (message service 9983, registration service 9980): every arrival adds its piece to the
//    reply shown in ConnectMe (showReceived), closes NewUser, and shows
//    ConnectMe unless FirstRun; then FirstRun := false. An error closes Wsk and is appended to
//    ConnectMe's pane. The windows read Wsk->State() for everything else.
//  - UserCheck (login service 2799): a reply of exactly "200" sets LoginPassed, closes Login and
//    shows ConnectMe; any other reply emits loginRefused() -- the Login window connects to it to
//    show " 登录失败！", empty its password box and enable its button.
// Server mode: the listeners svr, RegSvr and LogSvr listen on App::ports(); every accepted
// connection is served on a socket of its own (see ServerSession), logged in
// ConnectMe::ClientList. Wsk and UserCheck have no server role.
class ForNull : public QWidget {
    Q_OBJECT
public:
    explicit ForNull(App &app, QWidget *parent = nullptr);
    ~ForNull() override;

    // The start-up steps; App::forNull() runs them once, right after creating the window.
    void load();

    // The notification-area icon: the server picture in server mode, else PLogo.
    QIcon trayIcon() const;

    // True from load until the registration window sends a record.
    bool FirstRun = false;
    // The text the message service sends; reloadMessage fills it.
    QString MessageSended;
    // Rebuilds MessageSended from \Message.txt (netclient/msgload.h: LoadMessage); empty after an
    // error.
    store::Result reloadMessage();
    // Stores text as the new \Message.txt and sends it from now on. After a failed write the old
    // message stays, and is still the one sent.
    store::Result publishMessage(const QString &text);

    Winsock *svr;       // listener, message service
    Winsock *RegSvr;    // listener, registration service
    Winsock *LogSvr;    // listener, login service
    Winsock *Wsk;       // client socket, message and registration services
    Winsock *UserCheck; // client socket, login service

    QTimer *tm;

    // Server bounds; tests narrow them. Applies to connections accepted afterwards.
    void setLimits(const ServerLimits &limits) { m_limits = limits; }
    void setRegistrationLimits(const RegistrationLimits &limits) {
        m_registrations.setLimits(limits);
    }
    const ServerLimits &limits() const { return m_limits; }
    // Connections the server is serving now.
    int sessionCount() const { return int(m_sessions.size()); }

    // The largest reply the client shows (8 MiB); more closes Wsk.
    void setMaxReplyBytes(qint64 bytes) { m_maxReplyBytes = bytes; }

signals:
    // A login reply other than "200" came on UserCheck.
    void loginRefused();

private:
    void onTick();
    void onConnectionRequest(protocol::Service service, Winsock *listener, int requestID);
    void onRequest(ServerSession *session, const QString &request);
    void onSessionFailed(ServerSession *session, int number, const QString &description);
    void onSessionFinished(ServerSession *session);
    void onWskData();
    void onWskError(int number, const QString &description);
    void showHeldCr();
    void onUserCheckData();

    App &m_app;
    ServerLimits m_limits;
    RegistrationGate m_registrations;
    QList<ServerSession *> m_sessions;
    qint64 m_maxReplyBytes = 8 << 20;
    // The reply arriving on Wsk, as far as it has come.
    struct ReplyText {
        QStringDecoder decoder{"GBK"};
        qint64 received = 0;
        bool heldCr = false;
        void reset();
        // The text of the next piece; last: nothing follows (a CR is not held back).
        QString decode(QByteArrayView bytes, bool last);
    };
    ReplyText m_wskReply;
    quint64 m_wskConnection = 0;
    QByteArray m_loginReply;
    quint64 m_loginConnection = 0;
};
