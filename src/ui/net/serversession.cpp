#include "ui/net/serversession.h"

#include "store/common/codepage.h"
#include "ui/net/winsock.h"

#include <QTimerEvent>

namespace {

// Separators a whole request of the service holds.
int separatorsNeeded(protocol::Service service) {
    return service == protocol::Service::Registration ? protocol::kRecordSeparators
                                                      : protocol::kLoginSeparators;
}

} // namespace

ServerSession::ServerSession(protocol::Service service, const ServerLimits &limits, QObject *parent)
    : QObject(parent), m_service(service), m_limits(limits), m_socket(new Winsock(this)) {
    m_lastActivity.start();
    connect(m_socket, &Winsock::DataArrival, this, &ServerSession::onData);
    connect(m_socket, &Winsock::Closed, this, &ServerSession::onPeerClosed);
    connect(m_socket, &Winsock::SendComplete, this, &ServerSession::onSendComplete);
    connect(m_socket, &Winsock::Error, this, &ServerSession::onError);
}

ServerSession::~ServerSession() {
    m_socket->disconnect(this);
}

void ServerSession::start(const QString &peerIP) {
    m_peerIP = peerIP;
    touch();
}

void ServerSession::timerEvent(QTimerEvent *event) {
    if (event->timerId() == m_quiet.timerId()) {
        deliver();
    } else if (event->timerId() == m_idle.timerId()) {
        m_idle.stop();
        onIdle();
    } else {
        QObject::timerEvent(event);
    }
}

bool ServerSession::isServing() const {
    return m_received > 0 || m_closeAfterSend || m_socket->hasUnreadInput();
}

void ServerSession::touch() {
    m_lastActivity.restart();
    // The timer runs on from the first activity; when it fires, the time since the last one
    // decides (restarting it on every activity would cost the event loop more than the reply).
    if (!m_closed && !m_idle.isActive()) m_idle.start(m_limits.idleMs, this);
}

void ServerSession::onIdle() {
    if (m_closed) return;
    const qint64 left = m_limits.idleMs - m_lastActivity.elapsed();
    if (left > 0) {
        m_idle.start(int(left), this);
        return;
    }
    close();
}

void ServerSession::onData() {
    const QByteArray bytes = m_socket->GetBytes();
    if (m_closed) return;
    touch();
    m_received += bytes.size();
    if (m_received > m_limits.maxInputBytes) {
        close();
        return;
    }
    // Nothing is taken once the answer that ends the connection is on its way.
    if (m_closeAfterSend) return;
    m_buffer += bytes;
    const bool allFields = protocol::separatorCount(m_buffer) >= separatorsNeeded(m_service);
    m_quiet.start(allFields ? m_limits.quietMs : m_limits.incompleteQuietMs, this);
}

void ServerSession::deliver() {
    m_quiet.stop();
    if (m_closed || m_buffer.isEmpty()) return;
    QByteArray request;
    request.swap(m_buffer);
    emit requestReady(this, cp936::decode(request));
}

void ServerSession::onPeerClosed() {
    // The peer has stopped sending: what it sent is whole now. Its answer still goes out when the
    // connection can carry it; the close follows the send.
    if (m_closed) return;
    m_peerDone = true;
    if (!m_closeAfterSend) deliver();
    if (!m_socket->isSending()) close();
}

void ServerSession::reply(const QString &text, bool closeAfter) {
    reply(cp936::encode(text), closeAfter);
}

void ServerSession::reply(const QByteArray &bytes, bool closeAfter) {
    if (m_closed) return;
    touch();
    m_closeAfterSend = m_closeAfterSend || closeAfter || m_peerDone;
    if (!m_socket->SendData(bytes) && m_closeAfterSend) close();
}

void ServerSession::onSendComplete() {
    if (m_closed) return;
    touch();
    if (m_closeAfterSend || m_peerDone) close();
}

void ServerSession::onError(int number, const QString &description) {
    if (m_closed) return;
    emit failed(this, number, description);
    close();
}

void ServerSession::close() {
    if (m_closed) return;
    m_closed = true;
    m_quiet.stop();
    m_idle.stop();
    m_buffer.clear();
    m_socket->Close();
    emit finished(this);
}
