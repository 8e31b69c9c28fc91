#include "ui/netwindows/fornull.h"

#include "ui/diary/index.h"
#include "ui/netwindows/connectme.h"
#include "store/net/msgload.h"
#include "ui/netwindows/netwindowtext.h"
#include "store/net/accounts.h"
#include "store/common/codepage.h"
#include "ui/widgets/richtextbox.h"
#include "ui/net/winsock.h"
#include "ui/app/app.h"
#include "ui/app/trayicons.h"

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
int connectionCap(const ServerLimits &limits) {
    int cap = limits.maxConnections > 0 ? limits.maxConnections : INT_MAX;
    if (const int descriptors = descriptorLimit(); descriptors > 0)
        cap = std::min(cap, std::max(descriptors - kReservedDescriptors, 1));
    return cap;
}

} // namespace

ForNull::ForNull(App &app, QWidget *parent)
    : QWidget(parent), svr(new Winsock(this)), RegSvr(new Winsock(this)), LogSvr(new Winsock(this)),
      Wsk(new Winsock(this)), UserCheck(new Winsock(this)), tm(new QTimer(this)), m_app(app) {
    setObjectName(u"ForNull"_qs);
    tm->setInterval(1000);
    connect(tm, &QTimer::timeout, this, &ForNull::onTick);

    connect(svr, &Winsock::ConnectionRequest, this,
            [this](int id) { onConnectionRequest(Service::Message, svr, id); });
    connect(RegSvr, &Winsock::ConnectionRequest, this,
            [this](int id) { onConnectionRequest(Service::Registration, RegSvr, id); });
    connect(LogSvr, &Winsock::ConnectionRequest, this,
            [this](int id) { onConnectionRequest(Service::Login, LogSvr, id); });

    connect(Wsk, &Winsock::DataArrival, this, &ForNull::onWskData);
    connect(Wsk, &Winsock::Error, this, &ForNull::onWskError);
    connect(Wsk, &Winsock::Closed, this, &ForNull::showHeldCr);
    connect(UserCheck, &Winsock::DataArrival, this, &ForNull::onUserCheckData);
}

ForNull::~ForNull() {
    // The App is being taken apart: no socket event may reach the other windows any more.
    for (Winsock *s : {svr, RegSvr, LogSvr, Wsk, UserCheck})
        s->disconnect(this);
    for (ServerSession *s : std::as_const(m_sessions))
        s->disconnect(this);
}

void ForNull::load() {
    FirstRun = true;
    tm->start();
    if (!m_app.settings().IsServer) return;

    // A port that cannot be had leaves its service absent; the others carry on.
    const Ports &ports = m_app.ports();
    svr->setLocalPort(ports.message);
    svr->Listen();
    RegSvr->setLocalPort(ports.registration);
    RegSvr->Listen();
    LogSvr->setLocalPort(ports.login);
    LogSvr->Listen();

    m_app.index()->editor()->setText(u"\r\n  服务器已运行"_qs);
    m_app.connectMe()->enterServerMode();
    // A message the server cannot send is the operator's to know: it would go out empty.
    if (const store::Result loaded = reloadMessage(); !loaded)
        m_app.connectMe()->appendToContent(netwindow::messageNotServedText(loaded));
    QDir().mkpath(m_app.path(u"\\UserInfo"_qs));
}

store::Result ForNull::reloadMessage() {
    const LoadedMessage loaded = LoadMessage(m_app.folder());
    MessageSended = loaded.message;
    return loaded.result;
}

store::Result ForNull::publishMessage(const QString &text) {
    if (const store::Result saved = SaveMessage(m_app.folder(), text); !saved) return saved;
    return reloadMessage();
}

QIcon ForNull::trayIcon() const {
    return trayicons::icon(m_app.settings().IsServer);
}

void ForNull::onTick() {
    m_app.index()->setWindowTitle(u" "_qs + m_app.now().time().toString(u"H:mm:ss"_qs));
    m_app.ensureTrayIcon();
}

// ---- Server ----

void ForNull::onConnectionRequest(Service service, Winsock *listener, int requestID) {
    m_app.connectMe()->logConnection(
        protocol::logLine(listener->RemoteHostIP(), listener->RemotePort(), m_app.now(), service));

    // Full: a connection makes room for the newcomer -- one whose client has said nothing yet
    // before one that is being served, and among those the one quiet longest. So a flood of
    // connections that never speak cannot push out a client in the middle of its request.
    if (m_sessions.size() >= connectionCap(m_limits)) {
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
        if (victim) victim->close();
    }

    auto *session = new ServerSession(service, m_limits, this);
    if (!session->socket()->Accept(*listener, requestID)) {
        delete session;
        return;
    }
    m_sessions.append(session);
    connect(session, &ServerSession::requestReady, this, &ForNull::onRequest);
    connect(session, &ServerSession::failed, this, &ForNull::onSessionFailed);
    connect(session, &ServerSession::finished, this, &ForNull::onSessionFinished);
    session->start();
    if (service == Service::Message) session->reply(MessageSended, true);
}

void ForNull::onRequest(ServerSession *session, const QString &request) {
    if (session->service() == Service::Login) {
        session->reply(checkLogin(m_app.folder(), request), false);
    } else if (session->service() == Service::Registration) {
        const QDateTime now = m_app.now();
        if (const std::optional<QString> refused =
                m_registrations.refusal(m_app.folder(), session->peerIP(), now)) {
            session->reply(*refused, true);
            return;
        }
        const std::optional<QString> confirmation = RegNewUser(m_app.folder(), request, session->peerIP());
        if (confirmation) m_registrations.made(session->peerIP(), now);
        if (confirmation)
            session->reply(*confirmation, true);
        else
            session->close();
    }
}

void ForNull::onSessionFailed(ServerSession *session, int number, const QString &description) {
    // The message and registration services report their errors as Wsk did; login errors are
    // not reported.
    if (session->service() != Service::Login)
        m_app.connectMe()->appendToContent(protocol::errorReport(number, description));
}

void ForNull::onSessionFinished(ServerSession *session) {
    m_sessions.removeOne(session);
    session->deleteLater();
}

// ---- Client ----

void ForNull::onWskData() {
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

    ConnectMe *window = m_app.connectMe();
    window->showReceived(m_wskReply.decode(bytes, overflow), !first);
    m_app.closeNewUser();
    if (!FirstRun) window->show();
    FirstRun = false;
    if (overflow) Wsk->Close();
}

void ForNull::ReplyText::reset() {
    decoder = QStringDecoder("GBK");
    received = 0;
    heldCr = false;
}

QString ForNull::ReplyText::decode(QByteArrayView bytes, bool last) {
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
void ForNull::showHeldCr() {
    if (!m_wskReply.heldCr || Wsk->connectionId() != m_wskConnection) return;
    m_wskReply.heldCr = false;
    m_app.connectMe()->showReceived(u"\r"_qs, true);
}

void ForNull::onWskError(int number, const QString &description) {
    showHeldCr();
    Wsk->Close();
    m_app.connectMe()->appendToContent(protocol::errorReport(number, description));
}

void ForNull::onUserCheckData() {
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
        m_app.settings().LoginPassed = true;
        m_app.closeLogin();
        m_app.connectMe()->show();
        return;
    case protocol::LoginReply::Refused:
        m_loginReply.clear();
        emit loginRefused();
        return;
    }
}
