#include "ui/netwindows/connectme.h"

#include "store/net/connectionlog.h"
#include "store/settings/settings.h"
#include "ui/net/netservice.h"
#include "ui/net/winsock.h"
#include "ui/netwindows/netwindowtext.h"
#include "ui/widgets/richtextbox.h"
#include "ui/widgets/ui.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kConnecting = u"正在连接服务器..."_qs;
const QString kError = u"  有错误发生。"_qs;

} // namespace

ConnectMe::ConnectMe(NetService &service, Settings &settings, const ProgramFolder &folder,
                     QWidget *parent)
    : QMainWindow(parent), m_service(service), m_settings(settings), m_folder(folder) {
    setWindowTitle(u" "_qs);
    auto *form = new QWidget(this);
    form->setObjectName(u"form"_qs);
    setCentralWidget(form);
    ui::growable(form, 7260, 5220);

    auto *bar = menuBar();
    auto item = [bar](const char *name, const QString &caption) {
        QAction *a = bar->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    m_thanks = item("m_thanks", u"^-^"_qs);
    m_reg = item("m_reg", u"注册"_qs);
    m_update = item("m_update", u"刷新消息"_qs);
    m_issuance = item("m_issuance", u"消息发布"_qs);
    m_seeList = item("m_seeList", u"查看列表"_qs);
    m_save = item("m_save", u"保存列表"_qs);

    Content = ui::place(new RichTextBox(form), "Content", 60, 60, 7140, 4140);
    Content->setReadOnly(true);
    HostIP = ui::lineBox(form, "HostIP", 60, 4260, 7140, 300);
    HostIP->setReadOnly(true);
    bt_connect = ui::button(form, "bt_connect", u"刷新"_qs, 60, 4680, 1095, 375);
    bt_cancel = ui::button(form, "bt_cancel", u"取消"_qs, 1275, 4680, 1095, 375);
    bt_save = ui::button(form, "bt_save", u"保 存"_qs, 4890, 4680, 1095, 375);
    bt_back = ui::button(form, "bt_back", u"返 回"_qs, 6105, 4680, 1095, 375);
    Content->setAccessibleName(u"消息"_qs);
    HostIP->setAccessibleName(u"地址"_qs);
    // Grown, the pane takes the room; the status line and the buttons keep to the bottom.
    using ui::Bottom, ui::Left, ui::Right, ui::Top;
    ui::anchor(Content, Left | Top | Right | Bottom);
    ui::anchor(HostIP, Left | Right | Bottom);
    ui::anchor({bt_connect, bt_cancel}, Left | Bottom);
    ui::anchor({bt_save, bt_back}, Right | Bottom);

    tmState = new QTimer(this);
    tmState->setObjectName(u"tmState"_qs);
    tmState->setInterval(1000);
    tmState->start();

    connect(bt_connect, &QPushButton::clicked, this, &ConnectMe::onConnect);
    connect(bt_cancel, &QPushButton::clicked, this, &ConnectMe::onCancel);
    connect(bt_save, &QPushButton::clicked, this, &ConnectMe::onSave);
    connect(bt_back, &QPushButton::clicked, this, &ConnectMe::onBack);
    connect(m_thanks, &QAction::triggered, this, &ConnectMe::onThanks);
    connect(m_reg, &QAction::triggered, this, &ConnectMe::onRegister);
    connect(m_update, &QAction::triggered, this, &ConnectMe::onUpdate);
    connect(m_issuance, &QAction::triggered, this, &ConnectMe::onIssuance);
    connect(m_seeList, &QAction::triggered, this, &ConnectMe::onSeeList);
    connect(m_save, &QAction::triggered, this, &ConnectMe::onSaveList);
    connect(tmState, &QTimer::timeout, this, &ConnectMe::onStateTimer);
}

void ConnectMe::load() {
    const Settings &s = m_settings;
    if (s.IsServer) {
        tmState->stop();
        bt_connect->setEnabled(false);
        bt_cancel->setEnabled(false);
        bt_save->setEnabled(false);
        m_reg->setVisible(false);
    } else {
        Winsock *wsk = m_service.Wsk;
        wsk->setRemoteHost(s.ConnectIP);
        wsk->setRemotePort(m_service.ports().message);
        wsk->setLocalPort(s.LocPort);
        bt_connect->setText(u"连接"_qs);
        m_update->setText(u"连接信息"_qs);
        for (QAction *a : {m_issuance, m_save, m_seeList}) a->setVisible(false);
        bt_save->setVisible(false);
    }
    if (m_service.loginPassed()) m_reg->setVisible(false);
    if (s.IsServer) Content->setText(ClientList);
    Content->setBackColor(ui::buttonFace());
    HostIP->setText(u" Welcome You!"_qs);
}

void ConnectMe::enterServerMode() {
    bt_connect->setEnabled(false);
    bt_cancel->setEnabled(false);
    setWindowTitle(u" 服务器模式"_qs);
}

void ConnectMe::showReceived(const QString &piece, bool continued) {
    if (continued)
        Content->appendText(piece);
    else
        Content->setText(piece);
    bt_connect->setEnabled(false);
    bt_cancel->setEnabled(true);
    HostIP->setText(u" 开始接收数据..."_qs);
}

void ConnectMe::appendToContent(const QString &text) {
    Content->setText(Content->text() + text);
}

void ConnectMe::logConnection(const QString &entry) {
    ClientList += entry;
    if (ClientList.size() <= kMaxClientList) return;
    const qsizetype cut = ClientList.indexOf(u"\r\n"_qs, ClientList.size() - kMaxClientList * 3 / 4);
    ClientList.remove(0, cut < 0 ? ClientList.size() : cut);
}

void ConnectMe::setBusy(bool busy) {
    bt_connect->setEnabled(!busy);
    bt_cancel->setEnabled(busy);
}

// ---- Client mode ----

void ConnectMe::onConnect() {
    Settings &s = m_settings;
    Content->setText(u"\r\n  "_qs + kConnecting);
    Winsock *wsk = m_service.Wsk;
    wsk->Close();
    if (!wsk->Connect(s.ConnectIP, m_service.ports().message)) {
        // The local port could not be had (or the address is unusable): the next attempt takes
        // any free port, so that a port still held by the system never blocks downloads.
        s.LocPort = 0;
        wsk->setLocalPort(0);
        return;
    }
    HostIP->setText(u" "_qs + kConnecting);
    setBusy(true);
    bt_connect->setText(u"刷新"_qs);
    Content->setFocus();
}

void ConnectMe::onCancel() {
    Content->setText(u"\r\n  用户中断连接..."_qs);
    HostIP->setText(u" 用户中断连接..."_qs);
    m_service.Wsk->Close();
    setBusy(false);
    bt_connect->setText(u"连接"_qs);
    Content->setFocus();
}

void ConnectMe::onStateTimer() {
    Winsock *wsk = m_service.Wsk;
    const int state = wsk->State();
    setBusy(state != Winsock::sckClosed);
    switch (state) {
    case Winsock::sckClosed:
        HostIP->setText(u" 连接已断开..."_qs);
        break;
    case Winsock::sckConnecting:
        HostIP->setText(u" "_qs + kConnecting);
        break;
    case Winsock::sckConnected:
        HostIP->setText(u" 服务器正常提供服务."_qs);
        break;
    case Winsock::sckError:
        HostIP->setText(u" 连接服务器失败！"_qs);
        break;
    case Winsock::sckClosing:
        wsk->Close();
        HostIP->setText(u" 数据传送完毕！"_qs);
        break;
    default:
        HostIP->setText(u" "_qs + QString::number(state));
        break;
    }
}

void ConnectMe::onUpdate() {
    const NetService *fn = &m_service;
    if (!m_settings.IsServer) {
        Content->setText(netwindow::connectionInfo(fn->Wsk->RemoteHost(), fn->Wsk->LocalIP(),
                                                   fn->Wsk->LocalPort()));
        return;
    }
    auto listener = [](const Winsock *w) { return netwindow::Listener{w->LocalIP(), w->LocalPort()}; };
    Content->setText(netwindow::serviceReport(fn->MessageSended, listener(fn->svr),
                                              listener(fn->RegSvr), listener(fn->LogSvr)));
}

// ---- Both modes ----

void ConnectMe::onBack() {
    Content->setFocus();
    hide();
    emit backRequested();
}

void ConnectMe::onThanks() { Content->setText(netwindow::thanksText()); }

void ConnectMe::onRegister() {
    hide();
    emit registrationRequested();
}

// ---- Server mode ----

void ConnectMe::onIssuance() {
    Content->setText(QString());
    Content->setReadOnly(false);
    Content->setFocus();
    bt_save->setEnabled(true);
    Content->setBackColor(ui::windowBackground());
}

void ConnectMe::onSave() {
    // A message that could not be stored stays in the pane for another try; the old message is
    // still whole and is still the one sent.
    if (!m_service.publishMessage(Content->text())) {
        HostIP->setText(kError);
        return;
    }
    bt_save->setEnabled(false);
    Content->setFocus();
    Content->setBackColor(ui::buttonFace());
}

void ConnectMe::onSeeList() { Content->setText(ClientList); }

void ConnectMe::onSaveList() {
    const store::Result saved = net::saveConnectionLog(m_folder, ClientList);
    if (saved.ok()) return;
    qWarning("connection log: %s", qPrintable(saved.detail));
    // A message being written in the pane is not overwritten by the report.
    if (bt_save->isEnabled())
        HostIP->setText(kError);
    else
        Content->setText(u"\r\n"_qs + kError);
}

void ConnectMe::closeEvent(QCloseEvent *event) {
    event->accept();
    emit closed();
}
