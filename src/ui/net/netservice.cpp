#include "ui/net/netservice.h"

#include "store/common/codepage.h"

#include "store/common/programfolder.h"
#include "store/net/msgload.h"
#include "store/settings/settings.h"
#include "ui/net/messagedownloads.h"
#include "ui/net/winsock.h"

#include <QDir>
#include <QTimer>

#include <algorithm>
#include <climits>

using protocol::Service;

namespace {

// Descriptors that connections may never take: the program's own (listeners, event loop, lock
// file) and the files a service opens while it answers.
constexpr int kReservedDescriptors = 32;

// Connections served at once: the bound set, and never so many that the listeners could not
// take the next client or the account store could not open its files.
int connectionCap(const ServerLimits &limits, int descriptors) {
    int cap = limits.maxConnections > 0 ? limits.maxConnections : INT_MAX;
    if (descriptors > 0)
        cap = std::min(cap, std::max(descriptors - kReservedDescriptors, 1));
    return cap;
}

} // namespace

NetService::NetService(const ProgramFolder &folder, const Settings &settings, Ports ports,
                       QObject *parent)
    : QObject(parent), svr(new Winsock(this)), RegSvr(new Winsock(this)), LogSvr(new Winsock(this)),
      Wsk(new Winsock(this)), UserCheck(new Winsock(this)), tm(new QTimer(this)), m_folder(folder),
      m_settings(settings), m_ports(ports), m_downloads(new MessageDownloads(this)) {
    tm->setInterval(1000);
    connect(tm, &QTimer::timeout, this, &NetService::onTick);

    connect(svr, &Winsock::ConnectionRequest, this,
            [this](int id) { onConnectionRequest(Service::Message, svr, id); });
    connect(RegSvr, &Winsock::ConnectionRequest, this,
            [this](int id) { onConnectionRequest(Service::Registration, RegSvr, id); });
    connect(LogSvr, &Winsock::ConnectionRequest, this,
            [this](int id) { onConnectionRequest(Service::Login, LogSvr, id); });
    // The message service reports its errors as Wsk did.
    connect(m_downloads, &MessageDownloads::failed, this, [this](int number, const QString &text) {
        emit reportAdded(protocol::errorReport(number, text));
    });

    connect(Wsk, &Winsock::DataArrival, this, &NetService::onWskData);
    connect(Wsk, &Winsock::Error, this, &NetService::onWskError);
    connect(Wsk, &Winsock::Closed, this, &NetService::showHeldCr);
    connect(UserCheck, &Winsock::DataArrival, this, &NetService::onUserCheckData);
}

NetService::~NetService() {
    // Being taken apart: no socket event may reach the windows any more.
    for (Winsock *s : {svr, RegSvr, LogSvr, Wsk, UserCheck})
        s->disconnect(this);
    for (ServerSession *s : std::as_const(m_sessions))
        s->disconnect(this);
    m_downloads->disconnect(this);
}

void NetService::start() {
    if (m_started) return;
    m_started = true;
    FirstRun = true;
    m_descriptors = descriptorLimit();
    tm->start();
    if (!m_settings.IsServer) return;

    // A port that cannot be had leaves its service absent; the others carry on.
    svr->setLocalPort(m_ports.message);
    svr->Listen();
    RegSvr->setLocalPort(m_ports.registration);
    RegSvr->Listen();
    LogSvr->setLocalPort(m_ports.login);
    LogSvr->Listen();

    emit serverStarted();
    // A message the server cannot send is the operator's to know: it would go out empty.
    if (const store::Result loaded = reloadMessage(); !loaded) emit messageNotServed(loaded);
    QDir().mkpath(m_folder.path(u"\\UserInfo"_qs));
}

bool NetService::loginPassed() const {
    return LoginPassed || m_settings.Passme;
}

store::Result NetService::reloadMessage() {
    const net::LoadedMessage loaded = net::LoadMessage(m_folder);
    MessageSended = loaded.message;
    return loaded.result;
}

store::Result NetService::publishMessage(const QString &text) {
    if (const store::Result saved = net::SaveMessage(m_folder, text); !saved) return saved;
    return reloadMessage();
}

int NetService::sessionCount() const {
    return int(m_sessions.size()) + m_downloads->count();
}

void NetService::onTick() {
    // Read once a second rather than for every connection: it costs a system call.
    m_descriptors = descriptorLimit();
    m_downloads->closeIdle(m_limits.idleMs);
    emit ticked(m_folder.now().time());
}

// ---- Server ----

void NetService::onConnectionRequest(Service service, Winsock *listener, int requestID) {
    const QString peerIP = listener->RemoteHostIP();
    emit connectionLogged(protocol::logLine(peerIP, listener->RemotePort(), m_folder.now(), service));

    if (sessionCount() >= connectionCap(m_limits, m_descriptors)) makeRoom();

    if (service == Service::Message) {
        QTcpSocket *socket = listener->takeConnection(requestID);
        if (!socket) return;
        // Encoded once for all the downloads of one message.
        if (!m_messageOf.isSharedWith(MessageSended)) {
            m_messageOf = MessageSended;
            m_messageBytes = cp936::encode(MessageSended);
        }
        m_downloads->serve(socket, m_messageBytes, m_limits.maxInputBytes);
        return;
    }

    auto *session = new ServerSession(service, m_limits, this);
    if (!session->socket()->Accept(*listener, requestID)) {
        delete session;
        return;
    }
    m_sessions.append(session);
    connect(session, &ServerSession::requestReady, this, &NetService::onRequest);
    connect(session, &ServerSession::failed, this, &NetService::onSessionFailed);
    connect(session, &ServerSession::finished, this, &NetService::onSessionFinished);
    session->start(peerIP);
}

// The server is full: a connection makes room for the newcomer -- one whose client has said
// nothing yet before one that is being served (as a download always is), and among those the one
// quiet longest. So a flood of connections that never speak cannot push out a client in the
// middle of its request.
void NetService::makeRoom() {
    ServerSession *victim = nullptr;
    bool victimServing = true;
    qint64 victimIdle = -1;
    for (ServerSession *s : std::as_const(m_sessions)) {
        const bool serving = s->isServing();
        const qint64 idle = s->idleFor();
        if (victim && (serving != victimServing ? serving : idle <= victimIdle)) continue;
        victim = s;
        victimServing = serving;
        victimIdle = idle;
    }
    if (victimServing && m_downloads->longestIdle() > victimIdle)
        m_downloads->closeQuietest();
    else if (victim)
        victim->close();
}

void NetService::onRequest(ServerSession *session, const QString &request) {
    if (session->service() == Service::Login) {
        session->reply(net::checkLogin(m_folder, request), false);
    } else if (session->service() == Service::Registration) {
        const QDateTime now = m_folder.now();
        if (const std::optional<QString> refused =
                m_registrations.refusal(m_folder, session->peerIP(), now)) {
            session->reply(*refused, true);
            return;
        }
        const std::optional<QString> confirmation =
            net::RegNewUser(m_folder, request, session->peerIP());
        if (confirmation) m_registrations.made(session->peerIP(), now);
        if (confirmation)
            session->reply(*confirmation, true);
        else
            session->close();
    }
}

void NetService::onSessionFailed(ServerSession *session, int number, const QString &description) {
    // The registration service reports its errors as Wsk did; login errors are not reported.
    if (session->service() != Service::Login)
        emit reportAdded(protocol::errorReport(number, description));
}

void NetService::onSessionFinished(ServerSession *session) {
    m_sessions.removeOne(session);
    session->deleteLater();
}

// ---- Client ----

void NetService::onWskData() {
    QByteArray bytes = Wsk->GetBytes();
    // One reply may come in several pieces: the pane shows all of this connection's so far, each
    // piece decoded once and added to the end.
    const bool first = Wsk->connectionId() != m_wskConnection;
    if (first) {
        m_wskConnection = Wsk->connectionId();
        m_wskReply.reset();
    }
    const qint64 room = m_maxReplyBytes - m_wskReply.received;
    const bool overflow = bytes.size() > room;
    if (overflow) bytes.truncate(qMax<qint64>(room, 0));
    m_wskReply.received += bytes.size();

    emit replyReceived(m_wskReply.decode(bytes, overflow), !first);
    const bool showWindow = !FirstRun;
    FirstRun = false;
    emit replyArrived(showWindow);
    if (overflow) Wsk->Close();
}

void NetService::ReplyText::reset() {
    decoder = QStringDecoder("GBK");
    received = 0;
    heldCr = false;
}

QString NetService::ReplyText::decode(QByteArrayView bytes, bool last) {
    // The code page's two-byte characters and CR LF may be cut between pieces: the decoder keeps
    // half a character, and a CR at the end waits for the next piece.
    QString text = decoder.decode(bytes);
    if (heldCr) text.prepend(QLatin1Char('\r'));
    heldCr = !last && text.endsWith(QLatin1Char('\r'));
    if (heldCr) text.chop(1);
    return text;
}

// A CR held back for a LF that never came, once the reply has ended: it was the reply's last
// character.
void NetService::showHeldCr() {
    if (!m_wskReply.heldCr || Wsk->connectionId() != m_wskConnection) return;
    m_wskReply.heldCr = false;
    emit replyReceived(u"\r"_qs, true);
}

void NetService::onWskError(int number, const QString &description) {
    showHeldCr();
    Wsk->Close();
    emit reportAdded(protocol::errorReport(number, description));
}

void NetService::onUserCheckData() {
    const QByteArray bytes = UserCheck->GetBytes();
    if (UserCheck->connectionId() != m_loginConnection) {
        m_loginConnection = UserCheck->connectionId();
        m_loginReply.clear();
    }
    m_loginReply += bytes;
    switch (protocol::classifyLoginReply(m_loginReply)) {
    case protocol::LoginReply::Incomplete:
        return;
    case protocol::LoginReply::Accepted:
        m_loginReply.clear();
        LoginPassed = true;
        emit loginAccepted();
        return;
    case protocol::LoginReply::Refused:
        m_loginReply.clear();
        emit loginRefused();
        return;
    }
}
