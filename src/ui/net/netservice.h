#pragma once

#include "store/common/storeresult.h"
#include "store/net/accounts.h"
#include "store/net/protocol.h"
#include "ui/net/serversession.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringDecoder>
#include <QTime>

struct ProgramFolder;
struct Settings;
class MessageDownloads;
class QTimer;
class Winsock;

// The fixed ports of the three services; tests pass others.
struct Ports {
    quint16 message = 9983;
    quint16 registration = 9980;
    quint16 login = 2799;
};

// The network service of one copy: every socket and the one-second timer tm. It shows nothing
// itself; what the windows show comes out of its signals.
//
// Client mode: the windows drive the two client sockets and the service handles what comes back.
//  - Wsk (message service, registration service): every arrival emits replyReceived with its
//    piece of the reply, then replyArrived, which says whether the connection window is to show
//    (not on the first arrival after start: FirstRun); then FirstRun := false. An error closes Wsk
//    and emits reportAdded with the report. The windows read Wsk->State() for everything else.
//  - UserCheck (login service): a reply of exactly "200" sets LoginPassed and emits
//    loginAccepted; any other reply emits loginRefused.
// Server mode: the listeners svr, RegSvr and LogSvr listen on ports(); every accepted connection
// is served on a socket of its own (see ServerSession; a message download, see MessageDownloads)
// and announced by connectionLogged. Wsk and UserCheck have no server role.
class NetService : public QObject {
    Q_OBJECT
public:
    // settings: IsServer is read once, by start(); Passme whenever loginPassed() is asked.
    NetService(const ProgramFolder &folder, const Settings &settings, Ports ports,
               QObject *parent = nullptr);
    ~NetService() override;

    // Starts the timer and, in server mode, the three services (once; later calls do nothing).
    // A port that cannot be had leaves its service absent; the others carry on.
    void start();
    bool started() const { return m_started; }

    const Ports &ports() const { return m_ports; }

    // True from start until the registration window sends a record.
    bool FirstRun = false;
    // A login was accepted, or a registration record sent, since the program started.
    bool LoginPassed = false;
    // Whether this copy counts as logged in: by this run, or by the settings file's pass.
    bool loginPassed() const;

    // The text the message service sends; reloadMessage fills it.
    QString MessageSended;
    // Rebuilds MessageSended from \Message.txt (store/net/msgload.h: LoadMessage); empty after an
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
    void setRegistrationLimits(const net::RegistrationLimits &limits) {
        m_registrations.setLimits(limits);
    }
    const ServerLimits &limits() const { return m_limits; }
    // Connections the server is serving now.
    int sessionCount() const;

    // The largest reply the client shows (8 MiB); more closes Wsk.
    void setMaxReplyBytes(qint64 bytes) { m_maxReplyBytes = bytes; }

signals:
    // Every second, with the time of the clock.
    void ticked(const QTime &time);
    // Server mode has begun: the listeners listen (as far as their ports could be had).
    void serverStarted();
    // A line for the connection window's pane: the report of a socket error.
    void reportAdded(const QString &text);
    // Server mode's start: \Message.txt could not be loaded, and the message service sends an
    // empty message.
    void messageNotServed(const store::Result &loaded);
    // The server accepted a connection: its line of the connection log.
    void connectionLogged(const QString &entry);
    // A piece of the reply on Wsk; continued: it follows what came before on this connection.
    void replyReceived(const QString &piece, bool continued);
    // After each piece that came from the network: showWindow is false on the first arrival since
    // start.
    void replyArrived(bool showWindow);
    // The login service answered "200".
    void loginAccepted();
    // A login reply other than "200" came on UserCheck.
    void loginRefused();

private:
    void onTick();
    void onConnectionRequest(protocol::Service service, Winsock *listener, int requestID);
    void makeRoom();
    void onRequest(ServerSession *session, const QString &request);
    void onSessionFailed(ServerSession *session, int number, const QString &description);
    void onSessionFinished(ServerSession *session);
    void onWskData();
    void onWskError(int number, const QString &description);
    void showHeldCr();
    void onUserCheckData();

    const ProgramFolder &m_folder;
    const Settings &m_settings;
    Ports m_ports;
    bool m_started = false;
    ServerLimits m_limits;
    int m_descriptors = 0; // the process's descriptor limit, 0 for none
    QString m_messageOf;   // the message m_messageBytes was encoded from
    QByteArray m_messageBytes;
    net::RegistrationGate m_registrations;
    QList<ServerSession *> m_sessions;
    MessageDownloads *m_downloads;
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
