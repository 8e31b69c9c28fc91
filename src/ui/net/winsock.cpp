#include "ui/net/winsock.h"

#include "store/common/codepage.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <climits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// A listener that cannot accept (for example when the process is out of file descriptors) waits
// this long before it tries again.
constexpr int kAcceptRetryMs = 200;
// Requests taken at one go, so that a flood of them does not keep the connections already
// accepted waiting.
constexpr int kAcceptBatch = 64;
// Requests the system queues for a listener until they are taken. A request that finds the queue
// full is dropped and the client only tries again a second or more later; Qt's default of 50
// overflows when a few hundred clients come at once.
constexpr int kListenBacklog = 1024;
// A closed connection still delivers what it had queued, for at most this long.
constexpr int kLingerMs = 10000;

QString dotted(const QHostAddress &address) {
    if (address.isNull()) return QString();
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

QString machineIPv4() {
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress &a : all)
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) return a.toString();
    return QStringLiteral("127.0.0.1");
}

bool validPort(int port) {
    return port >= 0 && port <= 65535;
}

} // namespace

int winsockErrorNumber(int qtSocketError) {
    switch (qtSocketError) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::DatagramTooLargeError:
        return 10040;
    case QAbstractSocket::NetworkError:
        return 10050;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10045;
    default:
        return 40000 + qMax(qtSocketError, 0);
    }
}

Winsock::Winsock(QObject *parent) : QObject(parent) {}

Winsock::~Winsock() {
    Close();
}

int Winsock::RemotePort() const {
    if (m_requester) return m_requester->peerPort();
    if (m_socket && m_state == sckConnected) return m_socket->peerPort();
    return m_remotePort;
}

bool Winsock::setRemotePort(int port) {
    if (!validPort(port)) return false;
    m_remotePort = quint16(port);
    return true;
}

int Winsock::LocalPort() const {
    if (m_server) return m_server->serverPort();
    if (m_socket && m_socket->localPort() != 0) return m_socket->localPort();
    return m_localPort;
}

bool Winsock::setLocalPort(int port) {
    if (!validPort(port)) return false;
    m_localPort = quint16(port);
    return true;
}

QString Winsock::RemoteHostIP() const {
    if (m_requester) return dotted(m_requester->peerAddress());
    if (m_socket) return dotted(m_socket->peerAddress());
    return QString();
}

QString Winsock::LocalIP() const {
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        return dotted(m_socket->localAddress());
    return machineIPv4();
}

bool Winsock::Listen() {
    if (m_state != sckClosed) return false;
    auto *server = new QTcpServer(this);
    server->setListenBacklogSize(kListenBacklog);
    if (!server->listen(QHostAddress::AnyIPv4, m_localPort)) {
        delete server;
        return false;
    }
    m_server = server;
#ifdef Q_OS_UNIX
    // The requests are taken here rather than by QTcpServer: its socket engine keeps the first
    // error it ever met, so once it has emptied its queue it takes running out of descriptors for
    // "nothing waiting", does not pause, and retries the accept as fast as it can.
    server->pauseAccepting();
    m_acceptNotifier =
        new QSocketNotifier(server->socketDescriptor(), QSocketNotifier::Read, server);
    connect(m_acceptNotifier, &QSocketNotifier::activated, this, &Winsock::acceptPending);
#else
    connect(server, &QTcpServer::newConnection, this, [this, server] {
        while (m_server == server && server->hasPendingConnections())
            if (!offer(server->nextPendingConnection())) return;
    });
    connect(server, &QTcpServer::acceptError, this, [server] {
        server->pauseAccepting();
        QTimer::singleShot(kAcceptRetryMs, server, [server] { server->resumeAccepting(); });
    });
#endif
    m_state = sckListening;
    return true;
}

#ifdef Q_OS_UNIX
void Winsock::acceptPending() {
    QSocketNotifier *notifier = m_acceptNotifier;
    for (int i = 0; i < kAcceptBatch && m_acceptNotifier == notifier; ++i) {
        const int fd = ::accept4(int(notifier->socket()), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            // Out of descriptors or memory: the requests stay queued until there is room again.
            notifier->setEnabled(false);
            QTimer::singleShot(kAcceptRetryMs, notifier, [this, notifier] {
                if (m_acceptNotifier == notifier) notifier->setEnabled(true);
            });
            return;
        }
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            ::close(fd);
            delete socket;
            continue;
        }
        if (!offer(socket)) return;
    }
}
#endif

bool Winsock::offer(QTcpSocket *socket) {
    QPointer<Winsock> self(this);
    const int id = ++m_nextRequestId;
    m_pending.insert(id, socket);
    m_requester = socket;
    emit ConnectionRequest(id);
    if (!self) return false;
    m_requester = nullptr;
    // Not accepted during the event: refused, as the classic control does.
    if (m_pending.remove(id)) {
        socket->abort();
        socket->deleteLater();
    }
    return m_server != nullptr;
}

bool Winsock::Accept(Winsock &listener, int requestID) {
    if (m_state != sckClosed) return false;
    QTcpSocket *socket = listener.m_pending.take(requestID);
    if (!socket) return false;
    socket->setParent(this);
    attach(socket);
    m_accepted = true;
    m_state = sckConnected;
    // Data or a close that came before the accept has been noticed by Qt already.
    if (socket->bytesAvailable() > 0 || socket->state() != QAbstractSocket::ConnectedState) {
        const quint64 id = m_connectionId;
        QTimer::singleShot(0, this, [this, id] {
            if (m_connectionId != id || !m_socket) return;
            if (m_socket->state() != QAbstractSocket::ConnectedState)
                onPeerClosed();
            else
                onReadyRead();
        });
    }
    return true;
}

QTcpSocket *Winsock::takeConnection(int requestID) {
    QTcpSocket *socket = m_pending.take(requestID);
    if (socket) socket->setParent(nullptr);
    return socket;
}

bool Winsock::Connect(const QString &host, int port) {
    if (m_state != sckClosed || !validPort(port)) return false;
    m_remoteHost = host;
    m_remotePort = quint16(port);
    return Connect();
}

bool Winsock::Connect() {
    if (m_state != sckClosed) return false;
    auto *socket = new QTcpSocket(this);
    if (m_localPort != 0 &&
        !socket->bind(QHostAddress::AnyIPv4, m_localPort, QAbstractSocket::ReuseAddressHint)) {
        delete socket;
        return false;
    }
    attach(socket);
    // Only an outgoing connection passes through these states; an accepted one starts connected.
    connect(socket, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        if (m_state == sckError || m_state == sckClosing) return;
        if (s == QAbstractSocket::HostLookupState)
            m_state = sckResolvingHost;
        else if (s == QAbstractSocket::ConnectingState)
            m_state = sckConnecting;
    });
    connect(socket, &QAbstractSocket::connected, this, [this] { m_state = sckConnected; });
    m_state = sckResolvingHost;
    socket->connectToHost(m_remoteHost, m_remotePort, QIODevice::ReadWrite,
                          QAbstractSocket::IPv4Protocol);
    return true;
}

void Winsock::attach(QTcpSocket *socket) {
    dropReplyPath();
    m_socket = socket;
    m_inbox.clear();
    m_sending = false;
    m_accepted = false;
    ++m_connectionId;
    connect(socket, &QIODevice::readyRead, this, &Winsock::onReadyRead);
    connect(socket, &QAbstractSocket::errorOccurred, this, &Winsock::onSocketError);
    connect(socket, &QAbstractSocket::disconnected, this, [this] {
        if (m_state == sckConnected) onPeerClosed();
    });
    connect(socket, &QIODevice::bytesWritten, this, &Winsock::onBytesWritten);
}

void Winsock::onReadyRead() {
    if (!m_socket) return;
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty()) return;
    if (m_accepted) keepReplyPath();
    m_inbox += bytes;
    emit DataArrival(m_inbox.size());
}

void Winsock::onSocketError() {
    if (!m_socket || m_state == sckError || m_state == sckClosing) return;
    const QAbstractSocket::SocketError e = m_socket->error();
    if (e == QAbstractSocket::RemoteHostClosedError) {
        onPeerClosed();
        return;
    }
    m_state = sckError;
    emit Error(winsockErrorNumber(e), m_socket->errorString());
}

void Winsock::onPeerClosed() {
    if (!m_socket || m_state == sckClosing || m_state == sckError) return;
    const quint64 id = m_connectionId;
    // What came with the close is delivered first.
    if (m_socket->bytesAvailable() > 0) {
        onReadyRead();
        if (m_connectionId != id || !m_socket) return;
    }
    m_state = sckClosing;
    m_sending = false;
    emit Closed();
}

void Winsock::onBytesWritten() {
    if (!m_socket || !m_sending || m_socket->bytesToWrite() > 0) return;
    m_sending = false;
    // Answered: the next request takes the second descriptor again.
    dropReplyPath();
    emit SendComplete();
}

void Winsock::keepReplyPath() {
#ifdef Q_OS_UNIX
    // Taken while Qt's descriptor is surely open: Qt has just read from it and only closes it
    // when a later read finds the end of the stream.
    if (m_replyFd >= 0 || !m_socket || m_socket->socketDescriptor() < 0) return;
    m_replyFd = ::fcntl(int(m_socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
#endif
}

void Winsock::dropReplyPath() {
    if (m_replyNotifier) {
        // Off before the descriptor it watches is closed; it may be signalling right now.
        m_replyNotifier->setEnabled(false);
        m_replyNotifier->deleteLater();
        m_replyNotifier = nullptr;
    }
    m_replyOut.clear();
#ifdef Q_OS_UNIX
    if (m_replyFd >= 0) ::close(m_replyFd);
#endif
    m_replyFd = -1;
}

void Winsock::flushReply() {
#ifdef Q_OS_UNIX
    while (!m_replyOut.isEmpty()) {
        const ssize_t n = ::send(m_replyFd, m_replyOut.constData(), size_t(m_replyOut.size()), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_replyNotifier->setEnabled(true);
            return;
        }
        if (n < 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            dropReplyPath();
            m_sending = false;
            m_state = sckError;
            emit Error(10053, reason);
            return;
        }
        m_replyOut.remove(0, n);
    }
    m_replyNotifier->setEnabled(false);
    m_sending = false;
    emit SendComplete();
#endif
}

bool Winsock::SendData(const QString &text) {
    return SendData(cp936::encode(text));
}

bool Winsock::SendData(const QByteArray &bytes) {
#ifdef Q_OS_UNIX
    if (m_state == sckClosing && m_replyFd >= 0) {
        // The peer has stopped sending but still reads: the answer goes on the kept descriptor.
        m_replyOut += bytes;
        m_sending = true;
        if (!m_replyNotifier) {
            m_replyNotifier = new QSocketNotifier(m_replyFd, QSocketNotifier::Write, this);
            connect(m_replyNotifier, &QSocketNotifier::activated, this, &Winsock::flushReply);
        }
        m_replyNotifier->setEnabled(true);
        return true;
    }
#endif
    if (m_state != sckConnected || !m_socket) return false;
    if (bytes.isEmpty()) {
        // Nothing to hand over; the send is complete all the same.
        const quint64 id = m_connectionId;
        QTimer::singleShot(0, this, [this, id] {
            if (m_connectionId == id && m_state == sckConnected && !m_sending) emit SendComplete();
        });
        return true;
    }
    if (m_socket->write(bytes) != bytes.size()) return false;
    m_sending = true;
    return true;
}

bool Winsock::hasUnreadInput() const {
    if (!m_inbox.isEmpty()) return true;
    if (!m_socket) return false;
    if (m_socket->bytesAvailable() > 0) return true;
#ifdef Q_OS_UNIX
    int waiting = 0;
    const qintptr fd = m_socket->socketDescriptor();
    return fd >= 0 && ::ioctl(int(fd), FIONREAD, &waiting) == 0 && waiting > 0;
#else
    return false;
#endif
}

QString Winsock::GetData() {
    return cp936::decode(GetBytes());
}

QByteArray Winsock::GetBytes() {
    QByteArray out;
    out.swap(m_inbox);
    return out;
}

void Winsock::release() {
    dropReplyPath();
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    if (!socket) return;
    socket->disconnect(this);
    socket->setParent(nullptr);
    // Only a connection can have anything left to deliver.
    if (socket->state() != QAbstractSocket::ConnectedState)
        socket->abort();
    else
        socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    // Still flushing what was queued: it goes when that is done, or after a while.
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kLingerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void Winsock::Close() {
    if (m_server) {
        m_server->disconnect(this);
        if (m_acceptNotifier) {
            // Off before the descriptor it watches is closed.
            m_acceptNotifier->setEnabled(false);
            m_acceptNotifier = nullptr;
        }
        for (QTcpSocket *s : std::as_const(m_pending)) {
            s->abort();
            s->deleteLater();
        }
        m_pending.clear();
        m_requester = nullptr;
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    release();
    m_inbox.clear();
    m_sending = false;
    m_state = sckClosed;
}

int descriptorLimit() {
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
    return int(std::min<rlim_t>(limit.rlim_cur, INT_MAX));
#else
    return 0;
#endif
}
