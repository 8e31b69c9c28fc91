#pragma once

#include "store/net/protocol.h"

#include <QBasicTimer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class Winsock;

// Bounds of the server: what one peer may cost it.
struct ServerLimits {
    qint64 maxInputBytes = 1 << 20; // per connection, over its life
    int idleMs = 300000;            // a connection with no traffic for this long is closed
    int quietMs = 100;              // a request is whole when no byte follows for this long
    // ... and one that lacks some of its fields after this longer pause, so that a request cut
    // in pieces by the network is not taken for a short one.
    int incompleteQuietMs = 500;
    int maxConnections = 256;       // beyond this one connection goes (ForNull says which)
};

// One accepted connection of the login or registration service (the message service's are
// MessageDownloads), on its own socket, so that clients never disturb each other. It gathers the
// bytes of a request until the request is whole -- no byte follows within the quiet time, or the
// peer stops sending -- and then hands it over once, whatever fields it holds (a login request
// without its NUL is one without a password). It closes on overflow, on idleness, on error and,
// when asked, after a reply has gone out; a peer that has stopped sending still gets the reply to
// its last request before the close.
class ServerSession : public QObject {
    Q_OBJECT
public:
    ServerSession(protocol::Service service, const ServerLimits &limits, QObject *parent = nullptr);
    ~ServerSession() override;

    protocol::Service service() const { return m_service; }
    Winsock *socket() const { return m_socket; }
    // Call once the socket has accepted its connection, with the peer's address: starts the clock.
    void start(const QString &peerIP);
    QString peerIP() const { return m_peerIP; }
    qint64 idleFor() const { return m_lastActivity.elapsed(); }
    // True once the peer has sent something (read or not) or an answer is on its way: a
    // connection that is being served, not one that only holds its place.
    bool isServing() const;

    // Sends text; with closeAfter, the connection ends once it has gone out.
    void reply(const QString &text, bool closeAfter);
    void reply(const QByteArray &bytes, bool closeAfter); // bytes in code page 936
    // Ends the connection (once); finished follows.
    void close();
    bool isClosed() const { return m_closed; }

signals:
    void requestReady(ServerSession *session, const QString &request);
    void failed(ServerSession *session, int number, const QString &description);
    void finished(ServerSession *session);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void onData();
    void onIdle();
    void onPeerClosed();
    void onSendComplete();
    void onError(int number, const QString &description);
    void deliver();
    void touch();

    protocol::Service m_service;
    ServerLimits m_limits;
    Winsock *m_socket;
    // Timers without objects of their own: a message session lives for one download, and two
    // timer objects with their connections would be a good part of what serving it costs.
    QBasicTimer m_quiet;
    QBasicTimer m_idle;
    QElapsedTimer m_lastActivity;
    QByteArray m_buffer;
    qint64 m_received = 0;
    QString m_peerIP;
    bool m_closeAfterSend = false;
    bool m_peerDone = false; // the peer has closed its sending side
    bool m_closed = false;
};
