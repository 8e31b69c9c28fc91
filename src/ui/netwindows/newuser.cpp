#include "ui/netwindows/newuser.h"

#include "store/net/protocol.h"
#include "store/settings/settings.h"
#include "ui/net/netservice.h"
#include "ui/net/winsock.h"
#include "ui/widgets/richtextbox.h"
#include "ui/widgets/ui.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <utility>

namespace {
const QString kServerClosed = u"服务器关闭"_qs;
}

NewUser::NewUser(NetService &service, const Settings &settings, QWidget *parent)
    : QWidget(parent), m_service(service), m_settings(settings) {
    setWindowTitle(u" 注册用户"_qs);
    setFixedSize(ui::twips(5400), ui::twips(5220));

    frmUser = ui::place(new QGroupBox(u"用户信息"_qs, this), "frmUser", 120, 60, 5160, 4020);
    auto label = [this](const char *name, const QString &caption, int left, int top, int width) {
        return ui::place(new QLabel(caption, frmUser), name, left, top, width, 255);
    };
    QLabel *S_UserName = label("S_UserName", u"* 姓名："_qs, 240, 375, 960);
    UserName = ui::lineBox(frmUser, "UserName", 1260, 330, 1500, 300, 10);
    QLabel *S_Sex = label("S_Sex", u"性别："_qs, 2940, 375, 600);
    SexBoy = ui::place(new QRadioButton(u"男"_qs, frmUser), "SexBoy", 3540, 345, 600, 300);
    SexGirl = ui::place(new QRadioButton(u"女"_qs, frmUser), "SexGirl", 4200, 345, 600, 300);
    QLabel *S_Pswd = label("S_Pswd", u"密码："_qs, 240, 810, 960);
    PassWord = ui::lineBox(frmUser, "PassWord", 1260, 765, 1500, 300, 16);
    QLabel *S_email = label("S_email", u"邮件："_qs, 240, 1245, 960);
    Email = ui::lineBox(frmUser, "Email", 1260, 1200, 3720, 300, 50);
    QLabel *S_Address = label("S_Address", u"地址："_qs, 240, 1680, 960);
    Address = ui::lineBox(frmUser, "Address", 1260, 1635, 3720, 300);
    QLabel *S_About = label("S_About", u"个人说明："_qs, 240, 2115, 960);
    About = ui::place(new RichTextBox(frmUser), "About", 1260, 2070, 3720, 1770);
    About->setText(u"正在考虑，说点什么好呢？"_qs);
    // Tab goes on to the buttons as in every other box of the form; a tab character says nothing here.
    About->setTabChangesFocus(true);
    // Each box is named by the label beside it.
    const std::pair<QLabel *, RichTextBox *> named[] = {
        {S_UserName, UserName}, {S_Pswd, PassWord}, {S_email, Email}, {S_Address, Address}, {S_About, About}};
    for (const auto &[label, box] : named)
        box->setAccessibleName(label->text().remove(u'*').remove(u'：').trimmed());

    MsgShow = ui::place(new QLabel(this), "MsgShow", 120, 4200, 5160, 255);
    Reg = ui::button(this, "Reg", u"注册"_qs, 1800, 4620, 1095, 375);
    bt_cancel = ui::button(this, "bt_cancel", u"取消"_qs, 3060, 4620, 1095, 375);

    m_locked = {S_UserName, UserName, S_Sex,   SexBoy,    SexGirl, S_Pswd,  PassWord, S_email,
                Email,      S_Address, Address, S_About, About,   frmUser, Reg};

    // The hint of the box under the mouse; the frame around the boxes clears it.
    m_hints = {
        {frmUser, QString()},
        {UserName->viewport(), u"您的姓名，必填。"_qs},
        {PassWord->viewport(), u"类似密码，您可以空着。"_qs},
        {Email->viewport(), u"您的电子邮件，方便和您联系。"_qs},
        {Address->viewport(), u"可能会有惊喜给您，您可以不填。"_qs},
        {About->viewport(), u"体现您的个性，展示您的风采。"_qs},
    };
    for (QObject *o : m_hints.keys()) {
        static_cast<QWidget *>(o)->setMouseTracking(true);
        o->installEventFilter(this);
    }

    AutoConnect = new QTimer(this);
    AutoConnect->setObjectName(u"AutoConnect"_qs);
    AutoConnect->setInterval(500);
    AutoConnect->start();

    connect(AutoConnect, &QTimer::timeout, this, &NewUser::onAutoConnect);
    connect(Reg, &QPushButton::clicked, this, &NewUser::onRegister);
    connect(bt_cancel, &QPushButton::clicked, this, &NewUser::onCancel);
    Winsock *wsk = m_service.Wsk;
    connect(wsk, &Winsock::Closed, this, &NewUser::onConnectionLost);
    connect(wsk, &Winsock::Error, this, &NewUser::onConnectionLost);
}

void NewUser::load() {
    regSent = false;
    SexBoy->setAutoExclusive(false);
    SexBoy->setChecked(false);
    SexGirl->setChecked(false);
    SexBoy->setAutoExclusive(true);
    Reg->setEnabled(false);
    connectToServer();
}

void NewUser::connectToServer() {
    Winsock *wsk = m_service.Wsk;
    wsk->Close();
    wsk->setRemoteHost(m_settings.ConnectIP);
    wsk->setRemotePort(m_service.ports().registration);
    wsk->setLocalPort(0);
    wsk->Connect();
}

bool NewUser::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseMove) {
        const auto hint = m_hints.constFind(watched);
        if (hint != m_hints.cend()) MsgShow->setText(*hint);
    }
    return QWidget::eventFilter(watched, event);
}

void NewUser::onAutoConnect() {
    if (m_settings.IsServer || regSent) return;
    Winsock *wsk = m_service.Wsk;
    const int state = wsk->State();
    Reg->setEnabled(state == Winsock::sckConnected);
    switch (state) {
    case Winsock::sckClosed:
        MsgShow->setText(kServerClosed);
        connectToServer();
        break;
    case Winsock::sckConnecting:
        MsgShow->setText(u"正在连接服务器..."_qs);
        break;
    case Winsock::sckConnected:
        break;
    default:
        MsgShow->setText(QString::number(state));
        break;
    }
    // Closed by the server (idle too long) or failed before a record was sent: closed now and
    // connected again on the next tick. What was typed stays in the form.
    if (state == Winsock::sckClosing || state == Winsock::sckError) wsk->Close();
}

void NewUser::onRegister() {
    if (UserName->text().isEmpty()) {
        MsgShow->setText(u"请输入姓名"_qs);
        UserName->setFocus();
        return;
    }
    if (PassWord->text().isEmpty()) {
        MsgShow->setText(u"请输入密码"_qs);
        PassWord->setFocus();
        return;
    }
    for (RichTextBox *box : {Email, Address, About})
        if (box->text().isEmpty()) box->setText(u"-"_qs);
    for (QWidget *w : std::as_const(m_locked)) w->setEnabled(false);
    MsgShow->setText(u"正在提交数据..."_qs);
    SubmitRegInfo();
}

void NewUser::SubmitRegInfo() {
    const QString record = protocol::buildRegistrationRecord(
        {UserName->text(), PassWord->text(), Email->text(), Address->text(), About->text(),
         protocol::sexField(SexBoy->isChecked(), SexGirl->isChecked())});
    // Only a record that was really handed to the connection counts as submitted.
    if (m_service.Wsk->State() != Winsock::sckConnected || !m_service.Wsk->SendData(record)) {
        MsgShow->setText(kServerClosed);
        return;
    }
    m_service.LoginPassed = true;
    m_service.FirstRun = false;
    regSent = true;
}

// The server went away before its confirmation came: the form stays locked, as after any failed
// submission, and says so instead of waiting for nothing.
void NewUser::onConnectionLost() {
    if (regSent) MsgShow->setText(kServerClosed);
}

void NewUser::onCancel() {
    emit backRequested();
}

void NewUser::closeEvent(QCloseEvent *event) {
    event->accept();
    emit closed();
}
