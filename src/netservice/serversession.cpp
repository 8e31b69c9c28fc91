#include "netservice/serversession.h"

#include "platform/codepage.h"
#include "platform/winsock.h"

#include <QTimer>

namespace {

// Separators a request of the service holds once it is whole; the message service takes none.
int separatorsNeeded(protocol::Service service) {
    switch (service) {
    case protocol::Service::Registration:
        return protocol::kRecordSeparators;
    case protocol::Service::Login:
        return protocol::kLoginSeparators;
    case protocol::Service::Message:
        break;
    }
    return -1;
}

} // namespace

ServerSession::ServerSession(protocol::Service service, const ServerLimits &limits, QObject *parent)
    : QObject(parent), m_service(service), m_limits(limits), m_socket(new Winsock(this)),
      m_quiet(new QTimer(this)), m_idle(new QTimer(this)) {
    m_quiet->setSingleShot(true);
    m_quiet->setInterval(m_limits.quietMs);
    m_idle->setSingleShot(true);
    m_idle->setInterval(m_limits.idleMs);
    m_lastActivity.start();
    connect(m_quiet, &QTimer::timeout, this, &ServerSession::deliver);
    connect(m_idle, &QTimer::timeout, this, &ServerSession::close);
    connect(m_socket, &Winsock::DataArrival, this, &ServerSession::onData);
    connect(m_socket, &Winsock::Closed, this, &ServerSession::onPeerClosed);
    connect(m_socket, &Winsock::SendComplete, this, &ServerSession::onSendComplete);
    connect(m_socket, &Winsock::Error, this, &ServerSession::onError);
}

ServerSession::~ServerSession() {
    m_socket->disconnect(this);
}

void ServerSession::start() {
    m_peerIP = m_socket->RemoteHostIP();
    touch();
}

bool ServerSession::isServing() const {
    return m_received > 0 || m_closeAfterSend || m_socket->hasUnreadInput();
}

void ServerSession::touch() {
    m_lastActivity.restart();
    if (!m_closed) m_idle->start();
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
    const int needed = separatorsNeeded(m_service);
    if (m_closeAfterSend || needed < 0) return;
    m_buffer += bytes;
    if (protocol::separatorCount(m_buffer) >= needed) m_quiet->start();
}

void ServerSession::deliver() {
    m_quiet->stop();
    if (m_closed || m_buffer.isEmpty()) return;
    QByteArray request;
    request.swap(m_buffer);
    emit requestReady(this, cp936::decode(request));
}

void ServerSession::onPeerClosed() {
    // The peer has stopped sending: a request that holds its separators is whole now.
    if (!m_closed && !m_closeAfterSend && separatorsNeeded(m_service) >= 0 &&
        protocol::separatorCount(m_buffer) >= separatorsNeeded(m_service))
        deliver();
    close();
}

void ServerSession::reply(const QString &text, bool closeAfter) {
    if (m_closed) return;
    touch();
    m_closeAfterSend = m_closeAfterSend || closeAfter;
    if (!m_socket->SendData(text) && m_closeAfterSend) close();
}

void ServerSession::onSendComplete() {
    if (m_closed) return;
    touch();
    if (m_closeAfterSend) close();
}

void ServerSession::onError(int number, const QString &description) {
    if (m_closed) return;
    emit failed(this, number, description);
    close();
}

void ServerSession::close() {
    if (m_closed) return;
    m_closed = true;
    m_quiet->stop();
    m_idle->stop();
    m_buffer.clear();
    m_socket->Close();
    emit finished(this);
}
