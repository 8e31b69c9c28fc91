// The registration window against a server copy of the program and scripted peers on loopback.
#include "ui/netwindows/newuser.h"
#include "netwindows.h"

#include "ui/diary/index.h"
#include "ui/netwindows/login.h"
#include "store/net/userinfo.h"

#include <QGroupBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace netwindows;

namespace {

Options registerAt(quint16 port) {
    Options o;
    o.ports = {0, port, 0};
    return o;
}

// The registration window of a copy, with its timer fast, once 注册 can be pressed.
NewUser *readyForm(Copy &c) {
    NewUser *w = c.app->newUser();
    w->autoConnect()->setInterval(20);
    w->show();
    if (!QTest::qWaitFor([w] { return button(w, "Reg")->isEnabled(); }, kWait)) return nullptr;
    return w;
}

const char *const kLocked[] = {"S_UserName", "UserName", "S_Sex",  "SexBoy",    "SexGirl",
                               "S_Pswd",     "PassWord", "S_email", "Email",    "S_Address",
                               "Address",    "S_About",  "About",   "frmUser", "Reg"};

} // namespace

class tst_NewUser : public QObject {
    Q_OBJECT
private slots:
    void load();
    void recordSent_data();
    void recordSent();
    void requiredBoxes_data();
    void requiredBoxes();
    void confirmationShowsInConnectionWindow();
    void closedWhenSubmitting();
    void serverDownThenUp();
    void formSurvivesIdleCloseByServer();
    void serverModeTimerIdle();
    void openingDropsADownload();
    void hints_data();
    void hints();
    void typingLimits_data();
    void typingLimits();
    void cancel();
};

void tst_NewUser::load() {
    Peer peer;
    Copy client(registerAt(peer.port()));
    NewUser *w = client.app->newUser();
    QCOMPARE(w->windowTitle(), u" 注册用户"_qs);
    QCOMPARE(child<QGroupBox>(w, "frmUser")->title(), u"用户信息"_qs);
    QCOMPARE(label(w, "S_UserName")->text(), u"* 姓名："_qs);
    QCOMPARE(label(w, "S_About")->text(), u"个人说明："_qs);
    QCOMPARE(box(w, "About")->text(), u"正在考虑，说点什么好呢？"_qs);
    QVERIFY(!child<QRadioButton>(w, "SexBoy")->isChecked());
    QVERIFY(!child<QRadioButton>(w, "SexGirl")->isChecked());
    QVERIFY(!button(w, "Reg")->isEnabled());
    QCOMPARE(client.fn->Wsk->RemotePort(), int(peer.port()));
    QVERIFY(client.fn->Wsk->State() != Winsock::sckClosed); // the load started connecting
    w->autoConnect()->setInterval(20);
    QVERIFY(QTest::qWaitFor([w] { return button(w, "Reg")->isEnabled(); }, kWait));
    QCOMPARE(peer.connections, 1);
}

void tst_NewUser::recordSent_data() {
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("about");
    QTest::addColumn<QString>("sex");
    QTest::addColumn<QString>("record");
    const QChar N(0);
    QTest::newRow("optional boxes empty, no sex chosen")
        << QString() << QString() << QString() << QString()
        << u"张三"_qs + N + u" 口令 "_qs + N + u"-"_qs + N + u"-"_qs + N + u"-"_qs + N + u"不详"_qs;
    QTest::newRow("everything filled, boy")
        << u"a@b.c"_qs << u"北京"_qs << u"你好"_qs << u"SexBoy"_qs
        << u"张三"_qs + N + u" 口令 "_qs + N + u"a@b.c"_qs + N + u"北京"_qs + N + u"你好"_qs + N + u"男"_qs;
    QTest::newRow("only the address, girl")
        << QString() << u"上海 "_qs << QString() << u"SexGirl"_qs
        << u"张三"_qs + N + u" 口令 "_qs + N + u"-"_qs + N + u"上海 "_qs + N + u"-"_qs + N + u"女"_qs;
}

void tst_NewUser::recordSent() {
    QFETCH(QString, email);
    QFETCH(QString, address);
    QFETCH(QString, about);
    QFETCH(QString, sex);
    QFETCH(QString, record);
    Peer peer;
    Copy client(registerAt(peer.port()));
    NewUser *w = readyForm(client);
    QVERIFY(w);
    box(w, "UserName")->setText(u"张三"_qs);
    box(w, "PassWord")->setText(u" 口令 "_qs);
    box(w, "Email")->setText(email);
    box(w, "Address")->setText(address);
    box(w, "About")->setText(about);
    if (!sex.isEmpty()) child<QRadioButton>(w, qPrintable(sex))->setChecked(true);
    QVERIFY(client.fn->FirstRun);

    button(w, "Reg")->click();
    const QByteArray expected = gbk(record);
    QVERIFY(peer.waitReceived(expected.size()));
    QTest::qWait(100);
    QCOMPARE(peer.received, expected);
    // The boxes show what was sent.
    QCOMPARE(box(w, "Email")->text(), email.isEmpty() ? u"-"_qs : email);
    QCOMPARE(box(w, "Address")->text(), address.isEmpty() ? u"-"_qs : address);
    QCOMPARE(box(w, "About")->text(), about.isEmpty() ? u"-"_qs : about);
    for (const char *name : kLocked)
        QVERIFY2(!child<QWidget>(w, name)->isEnabled(), name);
    QVERIFY(button(w, "bt_cancel")->isEnabled());
    QCOMPARE(label(w, "MsgShow")->text(), u"正在提交数据..."_qs);
    QVERIFY(client.app->net().LoginPassed);
    QVERIFY(!client.fn->FirstRun);
}

void tst_NewUser::requiredBoxes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focused");
    QTest::newRow("no name") << QString() << u"请输入姓名"_qs << u"UserName"_qs;
    QTest::newRow("no password (its hint says it may be empty)")
        << u"张三"_qs << u"请输入密码"_qs << u"PassWord"_qs;
}

void tst_NewUser::requiredBoxes() {
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(QString, focused);
    Peer peer;
    Copy client(registerAt(peer.port()));
    NewUser *w = readyForm(client);
    QVERIFY(w);
    w->activateWindow();
    box(w, "UserName")->setText(name);
    button(w, "Reg")->click();
    QCOMPARE(label(w, "MsgShow")->text(), message);
    QCOMPARE(QApplication::focusWidget(), box(w, qPrintable(focused)));
    QCOMPARE(box(w, "Email")->text(), QString()); // nothing changed
    QVERIFY(box(w, "UserName")->isEnabled());
    QVERIFY(!client.app->net().LoginPassed);
    QTest::qWait(100);
    QCOMPARE(peer.received, QByteArray());
}

void tst_NewUser::confirmationShowsInConnectionWindow() {
    auto server = serverCopy();
    Copy client(clientOf(*server));
    NewUser *w = readyForm(client);
    QVERIFY(w);
    QPointer<NewUser> guard(w);
    box(w, "UserName")->setText(u"李四"_qs);
    box(w, "PassWord")->setText(u"secret"_qs);
    button(w, "Reg")->click();

    QVERIFY(QTest::qWaitFor([&] { return guard.isNull(); }, kWait));
    QVERIFY(!client.app->newUserLoaded());
    ConnectMe *cm = client.cm();
    QVERIFY(cm->isVisible());
    const QString confirmation = client.content();
    QVERIFY2(confirmation.startsWith(u"\r\n  以下是您的注册信息：\r\n\r\n    账号： "_qs),
             qPrintable(confirmation));
    QCOMPARE(cm->hostIP()->text(), u" 开始接收数据..."_qs);
    // The account the server stored: "-" for the empty boxes, "不详" for no sex chosen.
    const QString id = QRegularExpression(u"账号： (\\d+)"_qs).match(confirmation).captured(1);
    UserInfo account(server->app->folder());
    QVERIFY(account.getInfo(id));
    QCOMPARE(account.getName(), u"李四"_qs);
    QCOMPARE(account.getEmail(), u"-"_qs);
    QCOMPARE(account.getAddress(), u"-"_qs);
    QCOMPARE(account.getAbout(), u"正在考虑，说点什么好呢？"_qs);
    QCOMPARE(account.getSex(), u"不详"_qs);

    // Registered: 消 息 now opens the connection window without a login, and the id logs in.
    cm->hide();
    button(client.app->index(), "bt_love")->click();
    QVERIFY(cm->isVisible());
    QVERIFY(!client.app->loginLoaded());
    client.app->net().LoginPassed = false;
    Login *login = client.app->login();
    login->autoConnect()->setInterval(20);
    QVERIFY(QTest::qWaitFor([&] { return button(login, "btLogin")->isEnabled(); }, kWait));
    box(login, "UserName")->setText(id);
    box(login, "PassWord")->setText(u"secret"_qs);
    button(login, "btLogin")->click();
    QVERIFY(QTest::qWaitFor([&] { return client.app->net().LoginPassed; }, kWait));
}

void tst_NewUser::closedWhenSubmitting() {
    Peer peer;
    Copy client(registerAt(peer.port()));
    NewUser *w = readyForm(client);
    QVERIFY(w);
    w->autoConnect()->stop();
    peer.closeConnection();
    QVERIFY(waitState(client.fn->Wsk, Winsock::sckClosing));
    box(w, "UserName")->setText(u"王五"_qs);
    box(w, "PassWord")->setText(u"pw"_qs);
    button(w, "Reg")->click();
    QCOMPARE(label(w, "MsgShow")->text(), u"服务器关闭"_qs);
    QVERIFY(!client.app->net().LoginPassed);
    QVERIFY(client.fn->FirstRun);
    for (const char *name : kLocked)
        QVERIFY2(!child<QWidget>(w, name)->isEnabled(), name);
    QVERIFY(button(w, "bt_cancel")->isEnabled());
    QCOMPARE(box(w, "UserName")->text(), u"王五"_qs);
}

void tst_NewUser::serverDownThenUp() {
    const quint16 port = closedPort();
    Copy client(registerAt(port));
    NewUser *w = client.app->newUser();
    w->autoConnect()->setInterval(20);
    // Refused: the error closes the socket, and the window tries again on the next tick.
    QVERIFY(QTest::qWaitFor([w] { return label(w, "MsgShow")->text() == u"服务器关闭"_qs; }, kWait));
    QVERIFY(!button(w, "Reg")->isEnabled());
    const quint64 failed = client.fn->Wsk->connectionId();
    QVERIFY(QTest::qWaitFor([&] { return client.fn->Wsk->connectionId() > failed; }, kWait));
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, port));
    QVERIFY(QTest::qWaitFor([w] { return button(w, "Reg")->isEnabled(); }, kWait));
}

// The server closes the idle connection of a form being filled in: the window connects again,
// keeps what was typed, and the registration goes through.
void tst_NewUser::formSurvivesIdleCloseByServer() {
    auto server = serverCopy();
    ServerLimits limits;
    limits.idleMs = 300;
    server->fn->setLimits(limits);
    Copy client(clientOf(*server));
    NewUser *w = readyForm(client);
    QVERIFY(w);
    QPointer<NewUser> guard(w);
    box(w, "UserName")->setText(u"赵六"_qs);
    box(w, "Address")->setText(u"上海"_qs);
    child<QRadioButton>(w, "SexGirl")->setChecked(true);
    const quint64 first = client.fn->Wsk->connectionId();
    QVERIFY(QTest::qWaitFor([&] { return client.fn->Wsk->connectionId() > first; }, kWait));
    QVERIFY(QTest::qWaitFor([w] { return button(w, "Reg")->isEnabled(); }, kWait));
    QCOMPARE(box(w, "UserName")->text(), u"赵六"_qs);
    QCOMPARE(box(w, "Address")->text(), u"上海"_qs);
    QVERIFY(child<QRadioButton>(w, "SexGirl")->isChecked());
    box(w, "PassWord")->setText(u"pw"_qs);
    button(w, "Reg")->click();
    QVERIFY(QTest::qWaitFor([&] { return guard.isNull(); }, kWait));
    QVERIFY2(client.content().contains(u"    姓名： 赵六 (女)\r\n"_qs), qPrintable(client.content()));
    QVERIFY(client.content().contains(u"    地址： 上海\r\n"_qs));
}

void tst_NewUser::serverModeTimerIdle() {
    auto server = serverCopy();
    NewUser *w = server->app->newUser();
    w->autoConnect()->setInterval(20);
    QTest::qWait(200);
    QVERIFY(!button(w, "Reg")->isEnabled());
    QCOMPARE(label(w, "MsgShow")->text(), QString());
}

void tst_NewUser::openingDropsADownload() {
    Peer silent, registration;
    Options o;
    o.ports = {silent.port(), registration.port(), 0};
    Copy client(o);
    button(client.cm(), "bt_connect")->click();
    QVERIFY(waitState(client.fn->Wsk, Winsock::sckConnected));
    action(client.cm(), "m_reg")->trigger();
    QVERIFY(QTest::qWaitFor([&] { return silent.peerClosed; }, kWait));
    QVERIFY(QTest::qWaitFor([&] { return registration.connections == 1; }, kWait));
}

void tst_NewUser::hints_data() {
    QTest::addColumn<QString>("over");
    QTest::addColumn<QString>("hint");
    QTest::newRow("name") << u"UserName"_qs << u"您的姓名，必填。"_qs;
    QTest::newRow("password") << u"PassWord"_qs << u"类似密码，您可以空着。"_qs;
    QTest::newRow("e-mail") << u"Email"_qs << u"您的电子邮件，方便和您联系。"_qs;
    QTest::newRow("address") << u"Address"_qs << u"可能会有惊喜给您，您可以不填。"_qs;
    QTest::newRow("statement") << u"About"_qs << u"体现您的个性，展示您的风采。"_qs;
}

void tst_NewUser::hints() {
    QFETCH(QString, over);
    QFETCH(QString, hint);
    Copy client(registerAt(closedPort()));
    NewUser *w = client.app->newUser();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QWidget *target = box(w, qPrintable(over))->viewport();
    QTest::mouseMove(target, QPoint(5, 5));
    QVERIFY(QTest::qWaitFor([&] { return label(w, "MsgShow")->text() == hint; }, 2000));
    // From the box onto the frame: the hint goes.
    QWidget *frame = child<QGroupBox>(w, "frmUser");
    QTest::mouseMove(frame, QPoint(frame->width() - 4, frame->height() - 4));
    QVERIFY(QTest::qWaitFor([&] { return label(w, "MsgShow")->text().isEmpty(); }, 2000));
}

void tst_NewUser::typingLimits_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("limit");
    QTest::newRow("name") << u"UserName"_qs << 10;
    QTest::newRow("password") << u"PassWord"_qs << 16;
    QTest::newRow("e-mail") << u"Email"_qs << 50;
    QTest::newRow("address, no limit") << u"Address"_qs << 300;
}

void tst_NewUser::typingLimits() {
    QFETCH(QString, name);
    QFETCH(int, limit);
    Copy client(registerAt(closedPort()));
    NewUser *w = client.app->newUser();
    RichTextBox *b = box(w, qPrintable(name));
    QString typed;
    for (int i = 0; i < 300; ++i) typed += QChar(u'a' + i % 26);
    typeText(b, typed);
    QCOMPARE(b->text(), typed.left(limit));
}

void tst_NewUser::cancel() {
    Peer peer;
    Copy client(registerAt(peer.port()));
    NewUser *w = readyForm(client);
    QVERIFY(w);
    client.app->index()->hide();
    button(w, "bt_cancel")->click();
    QVERIFY(!client.app->newUserLoaded());
    QVERIFY(client.app->index()->isVisible());
    QCOMPARE(client.fn->Wsk->State(), int(Winsock::sckConnected)); // left as it was
}

QTEST_MAIN(tst_NewUser)
#include "tst_newuser.moc"
