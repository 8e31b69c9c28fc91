#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

// The socket control the windows are written for, after the classic Winsock control: one object
// is either a listener or one TCP connection (IPv4), with numbered states, a handful of methods
// and five events. Text goes out and comes in as code page 936.
//
// Typical client use:
//     sock->Close();
//     sock->setRemoteHost(ip); sock->setRemotePort(2799); sock->setLocalPort(0);
//     sock->Connect();                 // false: wrong state or the local port cannot be bound
//     ... later, in state 7: sock->SendData(text);
//     connect(sock, &Winsock::DataArrival, ...) and read with GetData() / GetBytes().
// Typical server use:
//     listener->setLocalPort(9983); listener->Listen();
//     on listener's ConnectionRequest(id): peer->Accept(*listener, id) -- during the signal only;
//     a request nobody accepts (or takes, takeConnection) is dropped when the signal returns.
//
// Methods that the classic control would answer with a run-time error return false here and
// change nothing. Every state but 2 and 7 ends only by Close(); in particular 8 (the peer has
// closed) and 9 (error) stay until Close(). An accepted connection whose peer has only closed its
// sending side (state 8) can still SendData the answer to what it sent.
class Winsock : public QObject {
    Q_OBJECT
public:
    enum StateNumber {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };

    explicit Winsock(QObject *parent = nullptr);
    ~Winsock() override;

    // Properties. RemoteHost and RemotePort are what Connect() uses; while a connection request
    // is being signalled, a listener's RemoteHostIP and RemotePort are those of the requester.
    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    int RemotePort() const;
    // False (nothing changed) for a number outside 0..65535.
    bool setRemotePort(int port);
    // The port bound: the listener's or the connection's own once there is one, else the value
    // set, which Listen() and Connect() bind (0: any free port).
    int LocalPort() const;
    bool setLocalPort(int port);
    // Dotted decimal of the peer; empty when there is none.
    QString RemoteHostIP() const;
    // Dotted decimal of this end of the connection, or of this machine when not connected.
    QString LocalIP() const;
    int State() const { return m_state; }

    // Starts listening on LocalPort on every IPv4 address. Needs state 0.
    bool Listen();
    // Takes the pending request requestID of listener onto this socket (state 0 -> 7).
    bool Accept(Winsock &listener, int requestID);
    // On a listener: takes the pending request requestID as a bare connection, for a service
    // that runs it itself (the caller owns it); nullptr when there is no such request.
    QTcpSocket *takeConnection(int requestID);
    // Connects to RemoteHost:RemotePort, binding LocalPort when it is not 0. Needs state 0.
    bool Connect();
    bool Connect(const QString &host, int port);
    // Queues text (encoded as code page 936) or bytes; SendComplete follows once all is handed
    // to the system. Needs state 7.
    bool SendData(const QString &text);
    bool SendData(const QByteArray &bytes);
    // Everything received and not yet taken, as code page 936 text or as bytes.
    QString GetData();
    QByteArray GetBytes();
    qint64 BytesReceived() const { return m_inbox.size(); }
    // True when the peer has sent bytes that have not been read yet, here or still in the system.
    bool hasUnreadInput() const;
    // True from SendData until its SendComplete.
    bool isSending() const { return m_sending; }
    // Back to state 0 from any state. Data already queued is still delivered.
    void Close();

    // Grows with every Connect() and Accept(): tells one connection's data from the next.
    quint64 connectionId() const { return m_connectionId; }

signals:
    void ConnectionRequest(int requestID);
    // bytesTotal: everything now waiting for GetData().
    void DataArrival(qint64 bytesTotal);
    void SendComplete();
    // The peer has closed the connection (state 8).
    void Closed();
    // State 9; number after the classic Winsock numbering where there is one.
    void Error(int number, const QString &description);

private:
    void attach(QTcpSocket *socket);
    void release();
    void acceptPending();
    // Signals a request for socket; false when this listener is gone or closed meanwhile.
    bool offer(QTcpSocket *socket);
    void onReadyRead();
    void onSocketError();
    void onPeerClosed();
    void onBytesWritten();
    void keepReplyPath();
    void dropReplyPath();
    void flushReply();

    QString m_remoteHost;
    quint16 m_remotePort = 0;
    quint16 m_localPort = 0;
    int m_state = sckClosed;
    quint64 m_connectionId = 0;

    QTcpServer *m_server = nullptr;
    QSocketNotifier *m_acceptNotifier = nullptr;
    QHash<int, QTcpSocket *> m_pending;
    int m_nextRequestId = 0;
    QTcpSocket *m_requester = nullptr; // the request being signalled

    QTcpSocket *m_socket = nullptr;
    QByteArray m_inbox;
    bool m_sending = false;
    bool m_accepted = false;
    // A second descriptor of an accepted connection while a request is being answered: Qt closes
    // its own when the peer shuts down its sending side, and this one keeps the connection open
    // for the answer (POSIX only; -1 elsewhere).
    int m_replyFd = -1;
    QSocketNotifier *m_replyNotifier = nullptr;
    QByteArray m_replyOut;
};

// The classic Winsock number of a Qt socket error.
int winsockErrorNumber(int qtSocketError);

// How many descriptors -- every connection, listener and open file -- the process may hold at
// once; 0 when the system sets no such limit.
int descriptorLimit();
