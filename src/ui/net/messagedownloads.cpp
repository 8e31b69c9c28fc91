#include "ui/net/messagedownloads.h"

#include "ui/net/winsock.h"

#include <QTcpSocket>

#include <algorithm>

void MessageDownloads::serve(QTcpSocket *socket, const QByteArray &bytes, qint64 maxInputBytes) {
    socket->setParent(this);
    m_downloads.push_back({socket, QElapsedTimer(), 0, maxInputBytes});
    m_downloads.back().lastActivity.start();
    connect(socket, &QIODevice::bytesWritten, this, [this, socket] { onWritten(socket); });
    connect(socket, &QIODevice::readyRead, this, [this, socket] { onInput(socket); });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket] { onError(socket); });
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { end(socket, false); });
    if (socket->state() != QAbstractSocket::ConnectedState) {
        end(socket, true); // the peer left before its connection was taken
        return;
    }
    if (socket->bytesAvailable() > 0) { // sent before the accept: it counts too
        onInput(socket);
        if (!find(socket)) return;
    }
    if (bytes.isEmpty()) {
        socket->disconnectFromHost();
        return;
    }
    // Handed to the system now rather than on the event loop's next turn: a message usually fits
    // its buffer whole, and then the download is over before this returns -- also for a peer that
    // closes its sending side at once, whose close Qt would otherwise meet first and take for
    // the end of the connection.
    socket->write(bytes);
    socket->flush();
}

qint64 MessageDownloads::longestIdle() const {
    qint64 longest = -1;
    for (const Download &d : m_downloads)
        longest = std::max(longest, d.lastActivity.elapsed());
    return longest;
}

void MessageDownloads::closeQuietest() {
    const auto quietest = std::max_element(
        m_downloads.begin(), m_downloads.end(), [](const Download &a, const Download &b) {
            return a.lastActivity.elapsed() < b.lastActivity.elapsed();
        });
    if (quietest != m_downloads.end()) end(quietest->socket, true);
}

void MessageDownloads::closeIdle(qint64 idleMs) {
    std::vector<QTcpSocket *> idle;
    for (const Download &d : m_downloads)
        if (d.lastActivity.elapsed() >= idleMs) idle.push_back(d.socket);
    for (QTcpSocket *socket : idle)
        end(socket, true);
}

MessageDownloads::Download *MessageDownloads::find(QTcpSocket *socket) {
    const auto it = std::find_if(m_downloads.begin(), m_downloads.end(),
                                 [socket](const Download &d) { return d.socket == socket; });
    return it == m_downloads.end() ? nullptr : &*it;
}

void MessageDownloads::onWritten(QTcpSocket *socket) {
    Download *d = find(socket);
    if (!d) return;
    d->lastActivity.restart();
    if (socket->bytesToWrite() == 0) socket->disconnectFromHost(); // disconnected follows
}

void MessageDownloads::onInput(QTcpSocket *socket) {
    Download *d = find(socket);
    if (!d) return;
    d->lastActivity.restart();
    d->received += std::max<qint64>(socket->skip(socket->bytesAvailable()), 0);
    if (d->received > d->maxInputBytes) end(socket, true);
}

void MessageDownloads::onError(QTcpSocket *socket) {
    if (!find(socket)) return;
    const QAbstractSocket::SocketError error = socket->error();
    // The peer's close is no error: the end follows as disconnected.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        if (socket->state() == QAbstractSocket::UnconnectedState) end(socket, false);
        return;
    }
    const QString description = socket->errorString();
    end(socket, true);
    emit failed(winsockErrorNumber(error), description);
}

void MessageDownloads::end(QTcpSocket *socket, bool abort) {
    Download *d = find(socket);
    if (!d) return;
    // Order does not matter: the last takes the place of the one that ends.
    *d = m_downloads.back();
    m_downloads.pop_back();
    socket->disconnect(this);
    if (abort) socket->abort();
    socket->deleteLater();
}
