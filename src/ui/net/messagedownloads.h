#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <vector>

class QTcpSocket;

// The connections of the message service. That service takes nothing and answers at once, so a
// connection needs none of a session's request handling (see ServerSession): the message is
// written on the bare socket as soon as it is accepted and the connection closes once it has
// gone out. A download then costs the server hardly more than the socket itself, which matters
// when many readers come at once. What a peer sends is read and dropped, up to a bound; the
// owner calls closeIdle now and then for the ones that stopped reading.
class MessageDownloads : public QObject {
    Q_OBJECT
public:
    explicit MessageDownloads(QObject *parent = nullptr) : QObject(parent) {}

    // Takes socket, a connection just accepted, and sends bytes on it. maxInputBytes: what its
    // peer may send over the connection's life before it is cut off.
    void serve(QTcpSocket *socket, const QByteArray &bytes, qint64 maxInputBytes);
    int count() const { return int(m_downloads.size()); }
    // How long the quietest download has gone without traffic; -1 when there is none.
    qint64 longestIdle() const;
    // Ends the quietest download (to make room for another connection).
    void closeQuietest();
    // Ends every download without traffic for idleMs or more.
    void closeIdle(qint64 idleMs);

signals:
    // A socket error other than the peer's close, numbered as the classic Winsock control does;
    // the connection has ended.
    void failed(int number, const QString &description);

private:
    struct Download {
        QTcpSocket *socket;
        QElapsedTimer lastActivity;
        qint64 received;
        qint64 maxInputBytes;
    };

    Download *find(QTcpSocket *socket);
    void onWritten(QTcpSocket *socket);
    void onInput(QTcpSocket *socket);
    void onError(QTcpSocket *socket);
    // Forgets socket and deletes it later; abort: cut the connection off first.
    void end(QTcpSocket *socket, bool abort);

    std::vector<Download> m_downloads;
};
