#include "ui/netwindows/login.h"

#include "store/settings/settings.h"
#include "ui/app/trayicons.h"
#include "ui/net/netservice.h"
#include "ui/net/winsock.h"
#include "ui/widgets/richtextbox.h"
#include "ui/widgets/ui.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {
const QString kServerClosed = u" 服务器关闭"_qs;
}

Login::Login(NetService &service, const Settings &settings, QWidget *parent)
    : QWidget(parent), m_service(service), m_settings(settings) {
    setWindowTitle(u" 用户登录"_qs);
    setFixedSize(ui::twips(4335), ui::twips(2610));

    ui::place(new QLabel(u"账号"_qs, this), "sUserName", 360, 405, 480, 255);
    UserName = ui::lineBox(this, "UserName", 900, 360, 2880, 300, 20);
    ui::place(new QLabel(u"密码"_qs, this), "sPassword", 360, 885, 480, 255);
    PassWord = ui::lineBox(this, "PassWord", 900, 840, 2880, 300);
    MsgShow = ui::place(new QLabel(u" 用户登录"_qs, this), "MsgShow", 360, 1365, 3420, 255);
    btLogin = ui::button(this, "btLogin", u"登 录"_qs, 360, 1860, 1035, 375);
    btRegNewUser = ui::button(this, "btRegNewUser", u"注册新用户"_qs, 1500, 1860, 1275, 375);
    btCancel = ui::button(this, "btCancel", u"取消"_qs, 2880, 1860, 900, 375);
    UserName->setAccessibleName(u"账号"_qs);
    PassWord->setAccessibleName(u"密码"_qs);
    // The server's picture: a server copy's notification area shows it too.
    auto *picture = ui::place(new QLabel(this), "Login", 3900, 405, 360, 360);
    picture->setPixmap(trayicons::serverPicture(qMin(picture->width(), picture->height()),
                                                picture->devicePixelRatioF()));

    AutoConnect = new QTimer(this);
    AutoConnect->setObjectName(u"AutoConnect"_qs);
    AutoConnect->setInterval(500);
    AutoConnect->start();

    connect(AutoConnect, &QTimer::timeout, this, &Login::onAutoConnect);
    connect(btLogin, &QPushButton::clicked, this, &Login::onLogin);
    connect(btRegNewUser, &QPushButton::clicked, this, &Login::onRegister);
    connect(btCancel, &QPushButton::clicked, this, &Login::onCancel);

    connect(&m_service, &NetService::loginRefused, this, &Login::onRefused);
    connect(m_service.UserCheck, &Winsock::Closed, this, &Login::onConnectionLost);
    connect(m_service.UserCheck, &Winsock::Error, this, &Login::onConnectionLost);
}

void Login::load() {
    btLogin->setEnabled(false);
    loginSent = false;
    // A window opened afresh starts a fresh connection: the one a former window left may have
    // been closed by the server meanwhile.
    if (!m_settings.IsServer) m_service.UserCheck->Close();
}

void Login::onAutoConnect() {
    if (m_settings.IsServer || loginSent) return;
    Winsock *sock = m_service.UserCheck;
    const int state = sock->State();
    btLogin->setEnabled(state == Winsock::sckConnected);
    switch (state) {
    case Winsock::sckClosed:
        MsgShow->setText(kServerClosed);
        sock->Close();
        sock->setRemoteHost(m_settings.ConnectIP);
        sock->setRemotePort(m_service.ports().login);
        sock->setLocalPort(0);
        sock->Connect();
        break;
    case Winsock::sckConnecting:
        MsgShow->setText(u" 正在连接服务器..."_qs);
        break;
    case Winsock::sckConnected:
        MsgShow->setText(u" 服务器正常提供服务."_qs);
        break;
    case Winsock::sckError:
        MsgShow->setText(u" 连接服务器失败！"_qs);
        break;
    default:
        MsgShow->setText(u" "_qs + QString::number(state));
        break;
    }
    // Closed by the server (idle too long) or failed, with no request waiting for an answer:
    // closed now, connected again on the next tick.
    if (state == Winsock::sckClosing || state == Winsock::sckError) sock->Close();
}

void Login::onLogin() {
    if (UserName->text().isEmpty()) {
        MsgShow->setText(u" 账号不能为空"_qs);
        UserName->setFocus();
        return;
    }
    if (PassWord->text().isEmpty()) {
        MsgShow->setText(u" 密码不能为空"_qs);
        PassWord->setFocus();
        return;
    }
    btLogin->setEnabled(false);
    loginSent = true;
    m_loginInfo = UserName->text() + QChar(0) + PassWord->text();
    if (!m_service.UserCheck->SendData(m_loginInfo)) onConnectionLost();
}

// The connection went away with a request sent or about to be: say so and let the timer connect
// again, with the typed account and password kept for the next try.
void Login::onConnectionLost() {
    if (!loginSent) return;
    loginSent = false;
    btLogin->setEnabled(false);
    MsgShow->setText(kServerClosed);
    m_service.UserCheck->Close();
}

void Login::onRefused() {
    MsgShow->setText(u" 登录失败！"_qs);
    PassWord->setText(QString());
    btLogin->setEnabled(true);
}

void Login::onRegister() {
    m_service.UserCheck->Close();
    emit registrationRequested();
}

void Login::onCancel() {
    emit backRequested();
}

void Login::closeEvent(QCloseEvent *event) {
    event->accept();
    emit closed();
}
