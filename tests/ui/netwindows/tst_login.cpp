// The login window against a server copy of the program and scripted peers on loopback.
#include "ui/netwindows/login.h"
#include "netwindows.h"

#include "ui/diary/index.h"
#include "ui/netwindows/newuser.h"
#include "store/net/accounts.h"
#include "store/net/protocol.h"
#include "ui/app/trayicons.h"

#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace netwindows;

namespace {

const QChar NUL(0);

// Registers an account on the server copy and returns its id.
QString registerAccount(Copy &server, const QString &password) {
    const std::optional<QString> confirmation = net::RegNewUser(
        server.app->folder(),
        protocol::buildRegistrationRecord({u"用户"_qs, password, u"-"_qs, u"-"_qs, u"-"_qs, u"男"_qs}),
        u"127.0.0.1"_qs);
    if (!confirmation) return {};
    return QRegularExpression(u"账号： (\\d+)"_qs).match(*confirmation).captured(1);
}

Options loginTo(quint16 port) {
    Options o;
    o.ports = {0, 0, port};
    return o;
}

// The login window of a copy, with its timer fast, once its button can be pressed.
Login *readyLogin(Copy &c) {
    Login *w = c.app->login();
    w->autoConnect()->setInterval(20);
    w->show();
    if (!QTest::qWaitFor([w] { return button(w, "btLogin")->isEnabled(); }, kWait)) return nullptr;
    return w;
}

// Every text a label shows while it lives, in order (sampled every 5 ms).
struct TextLog {
    QStringList seen;
    QTimer probe;
    explicit TextLog(QLabel *label) {
        QObject::connect(&probe, &QTimer::timeout, &probe, [this, label] {
            const QString t = label->text();
            if (seen.isEmpty() || seen.last() != t) seen << t;
        });
        probe.start(5);
    }
};

} // namespace

class tst_Login : public QObject {
    Q_OBJECT
private slots:
    void loadAndConnect();
    void emptyBoxes_data();
    void emptyBoxes();
    void requestIsAccountNulPassword();
    void refusedThenAcceptedOnOneConnection();
    void serverDownThenUp();
    void idleCloseByServerThenLogin();
    void serverModeTimerIdle();
    void connectionLostAroundTheRequest_data();
    void connectionLostAroundTheRequest();
    void registrationAndCancel();
    void accountTypingLimit();
    void closeBoxBringsTheDiaryBack_data();
    void closeBoxBringsTheDiaryBack();
};

void tst_Login::loadAndConnect() {
    auto server = serverCopy();
    Copy client(clientOf(*server));
    Login *w = client.app->login();
    QCOMPARE(w->windowTitle(), u" 用户登录"_qs);
    QCOMPARE(label(w, "MsgShow")->text(), u" 用户登录"_qs);
    QCOMPARE(label(w, "sUserName")->text(), u"账号"_qs);
    QCOMPARE(label(w, "sPassword")->text(), u"密码"_qs);
    QCOMPARE(button(w, "btLogin")->text(), u"登 录"_qs);
    QCOMPARE(button(w, "btRegNewUser")->text(), u"注册新用户"_qs);
    QCOMPARE(button(w, "btCancel")->text(), u"取消"_qs);
    QVERIFY(!button(w, "btLogin")->isEnabled());
    // The server's picture, not the client's.
    const QPixmap shown = label(w, "Login")->pixmap();
    QVERIFY(!shown.isNull());
    const QLabel *picture = label(w, "Login");
    QCOMPARE(shown.toImage(), trayicons::serverPicture(qMin(picture->width(), picture->height()),
                                                       picture->devicePixelRatioF())
                                  .toImage());
    QCOMPARE(w->autoConnect()->interval(), 500);

    TextLog texts(label(w, "MsgShow"));
    QVERIFY(QTest::qWaitFor([w] { return button(w, "btLogin")->isEnabled(); }, kWait));
    QCOMPARE(label(w, "MsgShow")->text(), u" 服务器正常提供服务."_qs);
    QVERIFY2(texts.seen.contains(u" 服务器关闭"_qs), qPrintable(texts.seen.join(u'|')));
    QCOMPARE(client.fn->UserCheck->RemotePort(), int(client.app->ports().login));
}

void tst_Login::emptyBoxes_data() {
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focused");
    QTest::newRow("both empty") << QString() << u" 账号不能为空"_qs << u"UserName"_qs;
    QTest::newRow("password empty") << u"123"_qs << u" 密码不能为空"_qs << u"PassWord"_qs;
}

void tst_Login::emptyBoxes() {
    QFETCH(QString, account);
    QFETCH(QString, message);
    QFETCH(QString, focused);
    Peer peer;
    Copy client(loginTo(peer.port()));
    Login *w = readyLogin(client);
    QVERIFY(w);
    w->activateWindow();
    box(w, "UserName")->setText(account);
    button(w, "btLogin")->click();
    QCOMPARE(label(w, "MsgShow")->text(), message);
    QCOMPARE(QApplication::focusWidget(), box(w, qPrintable(focused)));
    QVERIFY(button(w, "btLogin")->isEnabled());
    QTest::qWait(100);
    QCOMPARE(peer.received, QByteArray());
}

void tst_Login::requestIsAccountNulPassword() {
    Peer peer;
    Copy client(loginTo(peer.port()));
    Login *w = readyLogin(client);
    QVERIFY(w);
    typeText(box(w, "UserName"), u"1234"_qs);
    typeText(box(w, "PassWord"), u" 口 令 "_qs);
    button(w, "btLogin")->click();
    QVERIFY(!button(w, "btLogin")->isEnabled());
    const QByteArray expected = gbk(u"1234"_qs) + '\0' + gbk(u" 口 令 "_qs);
    QVERIFY(peer.waitReceived(expected.size()));
    QTest::qWait(100);
    QCOMPARE(peer.received, expected);
    QCOMPARE(w->loginInfo(), u"1234"_qs + NUL + u" 口 令 "_qs);
    // While the request is out, the timer leaves the socket and the button alone.
    QTest::qWait(100);
    QVERIFY(!button(w, "btLogin")->isEnabled());
    QCOMPARE(peer.connections, 1);
}

void tst_Login::refusedThenAcceptedOnOneConnection() {
    auto server = serverCopy(gbk(u"欢迎"_qs));
    const QString id = registerAccount(*server, u"正确"_qs);
    QVERIFY(!id.isEmpty());
    Copy client(clientOf(*server));
    Index *index = client.app->index();
    index->show();
    button(index, "bt_love")->click(); // 消 息: no login yet, so the login window
    QVERIFY(!index->isVisible());
    QVERIFY(client.app->loginLoaded());
    QVERIFY(!client.cm()->isVisible());
    Login *w = client.app->login();
    QVERIFY(w->isVisible());
    w->autoConnect()->setInterval(20);
    QVERIFY(QTest::qWaitFor([w] { return button(w, "btLogin")->isEnabled(); }, kWait));
    const quint64 connection = client.fn->UserCheck->connectionId();

    box(w, "UserName")->setText(id);
    box(w, "PassWord")->setText(u"错误"_qs);
    button(w, "btLogin")->click();
    QVERIFY(QTest::qWaitFor([&] { return label(w, "MsgShow")->text() == u" 登录失败！"_qs; }, kWait));
    QCOMPARE(box(w, "PassWord")->text(), QString());
    QVERIFY(button(w, "btLogin")->isEnabled());
    QVERIFY(!client.app->net().LoginPassed);

    QPointer<Login> guard(w);
    box(w, "PassWord")->setText(u"正确"_qs);
    button(w, "btLogin")->click();
    QVERIFY(QTest::qWaitFor([&] { return client.app->net().LoginPassed; }, kWait));
    QCOMPARE(client.fn->UserCheck->connectionId(), connection); // the same connection
    QVERIFY(!client.app->loginLoaded());
    QVERIFY(QTest::qWaitFor([&] { return guard.isNull(); }, kWait));
    QVERIFY(client.cm()->isVisible());

    // From now on 消 息 skips the login window.
    client.cm()->hide();
    index->show();
    button(index, "bt_love")->click();
    QVERIFY(client.cm()->isVisible());
    QVERIFY(!client.app->loginLoaded());
}

void tst_Login::serverDownThenUp() {
    const quint16 port = closedPort();
    Copy client(loginTo(port));
    Login *w = client.app->login();
    w->autoConnect()->setInterval(20);
    QVERIFY(QTest::qWaitFor(
        [w] { return label(w, "MsgShow")->text() == u" 连接服务器失败！"_qs; }, kWait));
    QVERIFY(!button(w, "btLogin")->isEnabled());
    // A failed attempt is closed and tried again: once a server listens there, the window is in.
    const quint64 failed = client.fn->UserCheck->connectionId();
    QVERIFY(QTest::qWaitFor([&] { return client.fn->UserCheck->connectionId() > failed + 1; }, kWait));
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, port));
    QVERIFY(QTest::qWaitFor([w] { return button(w, "btLogin")->isEnabled(); }, kWait));
    QCOMPARE(label(w, "MsgShow")->text(), u" 服务器正常提供服务."_qs);
}

// The server closes a connection that stays idle; the window, left open, connects again and logs
// in, and a window opened afresh starts a fresh connection.
void tst_Login::idleCloseByServerThenLogin() {
    auto server = serverCopy();
    ServerLimits limits;
    limits.idleMs = 300;
    server->fn->setLimits(limits);
    const QString id = registerAccount(*server, u"pw"_qs);
    QVERIFY(!id.isEmpty());
    Copy client(clientOf(*server));
    Login *w = readyLogin(client);
    QVERIFY(w);
    box(w, "UserName")->setText(id);
    const quint64 first = client.fn->UserCheck->connectionId();
    TextLog shown(label(w, "MsgShow"));
    QVERIFY(QTest::qWaitFor([&] { return client.fn->UserCheck->connectionId() > first; }, kWait));
    QVERIFY(QTest::qWaitFor([w] { return button(w, "btLogin")->isEnabled(); }, kWait));
    shown.probe.stop();
    QVERIFY2(shown.seen.contains(u" 8"_qs), qPrintable(shown.seen.join(u'|')));

    // Reopened: a new connection, not the one the former window had.
    const quint64 before = client.fn->UserCheck->connectionId();
    button(w, "btCancel")->click();
    w = readyLogin(client);
    QVERIFY(w);
    QVERIFY(client.fn->UserCheck->connectionId() > before);
    box(w, "UserName")->setText(id);
    box(w, "PassWord")->setText(u"pw"_qs);
    button(w, "btLogin")->click();
    QVERIFY(QTest::qWaitFor([&] { return client.app->net().LoginPassed; }, kWait));
}

void tst_Login::serverModeTimerIdle() {
    auto server = serverCopy();
    Login *w = server->app->login();
    w->autoConnect()->setInterval(20);
    QTest::qWait(200);
    QCOMPARE(label(w, "MsgShow")->text(), u" 用户登录"_qs);
    QVERIFY(!button(w, "btLogin")->isEnabled());
    QCOMPARE(server->fn->UserCheck->State(), int(Winsock::sckClosed));
}

void tst_Login::connectionLostAroundTheRequest_data() {
    QTest::addColumn<bool>("closedBeforeSending");
    QTest::newRow("closed before the request went out") << true;
    QTest::newRow("closed with the request unanswered") << false;
}

void tst_Login::connectionLostAroundTheRequest() {
    QFETCH(bool, closedBeforeSending);
    Peer peer;
    Copy client(loginTo(peer.port()));
    Login *w = readyLogin(client);
    QVERIFY(w);
    box(w, "UserName")->setText(u"42"_qs);
    box(w, "PassWord")->setText(u"pw"_qs);
    if (closedBeforeSending) {
        // The server drops the connection after the button was enabled, before the next tick.
        w->autoConnect()->stop();
        peer.closeConnection();
        QVERIFY(waitState(client.fn->UserCheck, Winsock::sckClosing));
        QVERIFY(button(w, "btLogin")->isEnabled());
        button(w, "btLogin")->click();
        w->autoConnect()->start();
    } else {
        button(w, "btLogin")->click();
        QVERIFY(peer.waitReceived(5));
        peer.closeConnection();
    }
    QVERIFY(QTest::qWaitFor([&] { return label(w, "MsgShow")->text() == u" 服务器关闭"_qs; }, kWait));
    // The timer connects again and the typed account and password are still there.
    QVERIFY(QTest::qWaitFor([&] { return peer.connections == 2; }, kWait));
    QVERIFY(QTest::qWaitFor([w] { return button(w, "btLogin")->isEnabled(); }, kWait));
    QCOMPARE(box(w, "UserName")->text(), u"42"_qs);
    QCOMPARE(box(w, "PassWord")->text(), u"pw"_qs);
    button(w, "btLogin")->click();
    QVERIFY(QTest::qWaitFor([&] { return peer.received.endsWith("42\0pw"_qba); }, kWait));
}

void tst_Login::registrationAndCancel() {
    Peer peer;
    Copy client(loginTo(peer.port()));
    Login *w = readyLogin(client);
    QVERIFY(w);
    button(w, "btRegNewUser")->click();
    QCOMPARE(client.fn->UserCheck->State(), int(Winsock::sckClosed));
    QVERIFY(!client.app->loginLoaded());
    QVERIFY(client.app->newUserLoaded());
    QVERIFY(client.app->newUser()->isVisible());
    QTest::qWait(100);
    QCOMPARE(client.fn->UserCheck->State(), int(Winsock::sckClosed)); // the timer has stopped

    client.app->closeNewUser();
    Login *again = readyLogin(client);
    QVERIFY(again);
    client.app->index()->hide();
    button(again, "btCancel")->click();
    QVERIFY(!client.app->loginLoaded());
    QVERIFY(client.app->index()->isVisible());
    QCOMPARE(client.fn->UserCheck->State(), int(Winsock::sckConnected)); // left as it was
}

void tst_Login::accountTypingLimit() {
    Copy client(loginTo(closedPort()));
    Login *w = client.app->login();
    typeText(box(w, "UserName"), u"123456789012345678901"_qs);
    QCOMPARE(box(w, "UserName")->text(), u"12345678901234567890"_qs);
    const QString longPassword(200, u'密');
    typeText(box(w, "PassWord"), longPassword);
    QCOMPARE(box(w, "PassWord")->text(), longPassword);
}

void tst_Login::closeBoxBringsTheDiaryBack_data() {
    QTest::addColumn<bool>("registration"); // the registration window, else the login window
    QTest::addColumn<bool>("tray");         // a notification area shows the program's icon
    QTest::newRow("login") << false << false;
    QTest::newRow("registration") << true << false;
    QTest::newRow("login, with a tray") << false << true;
    QTest::newRow("registration, with a tray") << true << true;
}

// Without a notification area nothing else could bring the diary back: closing the login or the
// registration window by its close box shows the main window again. With one, the icon does.
void tst_Login::closeBoxBringsTheDiaryBack() {
    QFETCH(bool, registration);
    QFETCH(bool, tray);
    Copy client(loginTo(closedPort()));
    client.app->setTrayAvailable([tray] { return tray; });
    QWidget *w = registration ? static_cast<QWidget *>(client.app->newUser()) : client.app->login();
    client.app->index()->hide();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(!client.app->index()->isVisible());
    QVERIFY(w->close()); // what the close box sends
    if (tray) {
        QTest::qWait(200);
        QVERIFY(!client.app->index()->isVisible());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(client.app->index()->isVisible(), kWait);
    }
}

QTEST_MAIN(tst_Login)
#include "tst_login.moc"
