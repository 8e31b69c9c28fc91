// The client side of the hidden network window: what arrives on Wsk and UserCheck, and errors,
// against a server copy in the same process and against scripted servers.
#include "ui/netwindows/connectme.h"
#include "ui/netwindows/newuser.h"
#include "netcopy.h"
#include "ui/net/netservice.h"
#include "store/net/protocol.h"
#include "store/net/userinfo.h"
#include "store/common/codepage.h"
#include "ui/widgets/richtextbox.h"
#include "ui/net/winsock.h"
#include "ui/app/app.h"
#include "testsupport.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

using namespace netcopy;

Copy *serverCopy(const QByteArray &message = {}) {
    Options o;
    o.server = true;
    o.message = message;
    return new Copy(o);
}

// A server that answers every connection with the same pieces, a pause before each, then closes
// (unless told to stay).
struct Scripted {
    struct Piece {
        int delayMs;
        QByteArray bytes;
    };
    QTcpServer server;
    QList<Piece> pieces;
    bool closeAtEnd = true;

    Scripted(QList<Piece> script, bool close = true)
        : pieces(std::move(script)), closeAtEnd(close) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket *s = server.nextPendingConnection();
            int at = 0;
            for (const Piece &p : pieces) {
                at += p.delayMs;
                QTimer::singleShot(at, s, [s, bytes = p.bytes] {
                    s->write(bytes);
                    s->flush();
                });
            }
            if (closeAtEnd) QTimer::singleShot(at + 50, s, [s] { s->disconnectFromHost(); });
        });
    }
    int port() const { return server.serverPort(); }
};

// A server for one connection that writes each piece only once the client has had the one
// before as an arrival of its own, so that the client meets the reply split exactly so.
struct Stepwise {
    QTcpServer server;
    QTcpSocket *socket = nullptr;

    Stepwise() { server.listen(QHostAddress::LocalHost, 0); }
    int port() const { return server.serverPort(); }
    // False when the client did not connect or a piece did not arrive.
    bool send(const QList<QByteArray> &pieces, const QSignalSpy &arrivals) {
        if (!QTest::qWaitFor([this] { return server.hasPendingConnections(); }, kWait))
            return false;
        socket = server.nextPendingConnection();
        for (const QByteArray &p : pieces) {
            const qsizetype before = arrivals.size();
            socket->write(p);
            socket->flush();
            if (!QTest::qWaitFor([&] { return arrivals.size() > before; }, kWait)) return false;
        }
        return true;
    }
};

bool waitState(Winsock *w, int state) {
    return QTest::qWaitFor([w, state] { return w->State() == state; }, kWait);
}

} // namespace

class tst_ClientSocket : public QObject {
    Q_OBJECT
private slots:
    void messageDownload();
    void replyInPiecesIsShownWhole();
    void piecesJoinAsOneText_data();
    void piecesJoinAsOneText();
    void registrationReplyClosesNewUserAndShowsConnectMe();
    void loginRefusedThenAccepted();
    void loginReplyInPieces_data();
    void loginReplyInPieces();
    void errorIsReported();
    void oversizedReplyIsCut();
};

void tst_ClientSocket::messageDownload() {
    std::unique_ptr<Copy> server(serverCopy(gbk(u"服务器消息\r\n第二行"_qs)));
    Copy client;
    Winsock *wsk = client.fn->Wsk;
    QVERIFY(wsk->Connect(u"127.0.0.1"_qs, server->fn->svr->LocalPort()));
    QVERIFY(waitState(wsk, 8));
    QCOMPARE(client.content(), u"\r\n  服务器消息\r\n  第二行"_qs);
    QCOMPARE(client.cm()->hostIP()->text(), u" 开始接收数据..."_qs);
    QVERIFY(!client.cm()->findChild<QPushButton *>(u"bt_connect"_qs)->isEnabled());
    QVERIFY(client.cm()->findChild<QPushButton *>(u"bt_cancel"_qs)->isEnabled());
    // The first arrival of the run does not bring the window up; it ends FirstRun.
    QVERIFY(!client.cm()->isVisible());
    QVERIFY(!client.fn->FirstRun);

    // The next download replaces the pane and shows the window.
    wsk->Close();
    QVERIFY(wsk->Connect(u"127.0.0.1"_qs, server->fn->svr->LocalPort()));
    QVERIFY(waitState(wsk, 8));
    QCOMPARE(client.content(), u"\r\n  服务器消息\r\n  第二行"_qs);
    QVERIFY(client.cm()->isVisible());
}

void tst_ClientSocket::replyInPiecesIsShownWhole() {
    const QByteArray zhong = gbk(u"中"_qs);
    Scripted fake(
        {{0, gbk(u"第一段"_qs)}, {200, gbk(u"第二段"_qs) + zhong.left(1)}, {200, zhong.mid(1)}});
    Copy client;
    Winsock *wsk = client.fn->Wsk;
    QVERIFY(wsk->Connect(u"127.0.0.1"_qs, fake.port()));
    QVERIFY(waitState(wsk, 8));
    QCOMPARE(client.content(), u"第一段第二段中"_qs);

    // A new connection starts a new reply.
    wsk->Close();
    QVERIFY(wsk->Connect(u"127.0.0.1"_qs, fake.port()));
    QVERIFY(waitState(wsk, 8));
    QCOMPARE(client.content(), u"第一段第二段中"_qs);
}

void tst_ClientSocket::registrationReplyClosesNewUserAndShowsConnectMe() {
    std::unique_ptr<Copy> server(serverCopy());
    server->app->setRandomSource([] { return 0.0000321; }); // 3210
    Options o;
    o.ports = {quint16(server->fn->svr->LocalPort()), quint16(server->fn->RegSvr->LocalPort()),
               quint16(server->fn->LogSvr->LocalPort())};
    Copy client(o);

    // The registration window connects by itself; the user fills it in and presses 注册.
    NewUser *w = client.app->newUser();
    w->autoConnect()->setInterval(20);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QPushButton *reg = w->findChild<QPushButton *>(u"Reg"_qs);
    QTRY_VERIFY_WITH_TIMEOUT(reg->isEnabled(), kWait);
    w->findChild<RichTextBox *>(u"UserName"_qs)->setText(u"小明"_qs);
    w->findChild<RichTextBox *>(u"PassWord"_qs)->setText(u"pw"_qs);
    QTest::mouseClick(reg, Qt::LeftButton);
    QVERIFY(waitState(client.fn->Wsk, 8));

    // The confirmation as the protocol lays it out, from what was typed and the id drawn; the
    // personal note is the box's own text, left as it was.
    const QString confirmation = u"\r\n  以下是您的注册信息：\r\n\r\n"
                                 u"    账号： 3210\r\n"
                                 u"    姓名： 小明 (不详)\r\n"
                                 u"    密码： pw\r\n"
                                 u"    邮件： -\r\n"
                                 u"    地址： -\r\n\r\n"
                                 u"   用户注册成功，请记住您的账号和密码。\r\n"_qs +
                                 u"-="_qs.repeated(34) + u"-\r\n\r\n正在考虑，说点什么好呢？"_qs;
    QCOMPARE(client.content(), confirmation);
    UserInfo stored(server->app->folder());
    QVERIFY(stored.getInfo(u"3210"_qs));
    QCOMPARE(stored.getName(), u"小明"_qs);
    QCOMPARE(stored.getPassword(), u"pw"_qs);
    QVERIFY(!client.app->newUserLoaded());
    QVERIFY(client.cm()->isVisible());
    QVERIFY(client.app->net().LoginPassed);
}

void tst_ClientSocket::loginRefusedThenAccepted() {
    std::unique_ptr<Copy> server(serverCopy());
    server->app->setRandomSource([] { return 0.00000099; }); // 99
    UserInfo account(server->app->folder());
    account.setID();
    account.setPassword(u"对的"_qs);
    QVERIFY(account.Save());

    Copy client;
    client.app->login();
    QSignalSpy refused(client.fn, &NetService::loginRefused);
    Winsock *check = client.fn->UserCheck;
    QVERIFY(check->Connect(u"127.0.0.1"_qs, server->fn->LogSvr->LocalPort()));
    QVERIFY(waitState(check, 7));

    QVERIFY(check->SendData(protocol::buildLoginRequest(u"99"_qs, u"错的"_qs)));
    QVERIFY(refused.wait(kWait));
    QVERIFY(!client.app->net().LoginPassed);
    QVERIFY(client.app->loginLoaded());
    QVERIFY(!client.cm()->isVisible());

    // Again on the same connection.
    QVERIFY(check->SendData(protocol::buildLoginRequest(u"99"_qs, u"对的"_qs)));
    QVERIFY(QTest::qWaitFor([&] { return client.app->net().LoginPassed; }, kWait));
    QVERIFY(!client.app->loginLoaded());
    QVERIFY(client.cm()->isVisible());
    QCOMPARE(refused.size(), 1);
    QCOMPARE(check->State(), 7);
}

void tst_ClientSocket::loginReplyInPieces_data() {
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("refusals");
    QTest::newRow("200 in two pieces") << QList<QByteArray>{"2", "00"} << true << 0;
    QTest::newRow("886 in three pieces") << QList<QByteArray>{"8", "8", "6"} << false << 1;
    QTest::newRow("two replies in one arrival") << QList<QByteArray>{"200886"} << false << 1;
    QTest::newRow("200 and more") << QList<QByteArray>{"200 OK"} << false << 1;
    QTest::newRow("refusal then acceptance") << QList<QByteArray>{"886", "200"} << true << 1;
}

void tst_ClientSocket::loginReplyInPieces() {
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(bool, accepted);
    QFETCH(int, refusals);
    Stepwise fake;
    Copy client;
    QSignalSpy refused(client.fn, &NetService::loginRefused);
    // Connected after the window's own handler: each arrival is counted once it has been read.
    QSignalSpy arrivals(client.fn->UserCheck, &Winsock::DataArrival);
    QVERIFY(client.fn->UserCheck->Connect(u"127.0.0.1"_qs, fake.port()));
    QVERIFY(fake.send(pieces, arrivals));
    // Each piece came as an arrival of its own, whole.
    QCOMPARE(arrivals.size(), pieces.size());
    for (qsizetype i = 0; i < pieces.size(); ++i)
        QCOMPARE(arrivals.at(i).at(0).toLongLong(), qint64(pieces.at(i).size()));
    QCOMPARE(client.app->net().LoginPassed, accepted);
    QCOMPARE(refused.size(), refusals);
}

void tst_ClientSocket::errorIsReported() {
    quint16 deadPort;
    {
        QTcpServer s;
        QVERIFY(s.listen(QHostAddress::LocalHost, 0));
        deadPort = s.serverPort();
    }
    Copy client;
    Winsock *wsk = client.fn->Wsk;
    QSignalSpy errors(wsk, &Winsock::Error);
    QVERIFY(wsk->Connect(u"127.0.0.1"_qs, deadPort));
    QVERIFY(errors.wait(kWait));
    // The handler closed the socket and wrote the report into the pane of a hidden window.
    QCOMPARE(wsk->State(), 0);
    QVERIFY(client.app->connectMeLoaded());
    QVERIFY(!client.cm()->isVisible());
    QCOMPARE(client.content(), protocol::errorReport(10061, errors.first().at(1).toString()));
    QVERIFY(client.content().startsWith(u"\r\n\r\n  错误编号：10061\r\n  说    明："_qs));

    // A second error adds to the pane.
    QVERIFY(wsk->Connect(u"127.0.0.1"_qs, deadPort));
    QVERIFY(errors.wait(kWait));
    QCOMPARE(client.content().count(u"错误编号：10061"_qs), 2);
}

void tst_ClientSocket::piecesJoinAsOneText_data() {
    // Each piece is added to the pane as it comes; the pane then reads as the whole reply would.
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QString>("shown");
    const QByteArray zhong = gbk(u"中"_qs);
    QTest::newRow("CR LF cut between pieces") << QList<QByteArray>{"\r\n  a\r", "\n  b"}
                                              << u"\r\n  a\r\n  b"_qs;
    QTest::newRow("CR alone at the end of a piece") << QList<QByteArray>{"a\r", "b"} << u"a\r\nb"_qs;
    QTest::newRow("CR alone at the end of the reply") << QList<QByteArray>{"a", "b\r"} << u"ab\r\n"_qs;
    QTest::newRow("character and CR LF cut") << QList<QByteArray>{"x" + zhong.left(1), zhong.mid(1) + "\r", "\ny"}
                                             << u"x中\r\ny"_qs;
    QTest::newRow("many pieces") << QList<QByteArray>(40, "ab\r\n") << u"ab\r\n"_qs.repeated(40);
}

void tst_ClientSocket::piecesJoinAsOneText() {
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, shown);
    Stepwise fake;
    Copy client;
    Winsock *wsk = client.fn->Wsk;
    QSignalSpy arrivals(wsk, &Winsock::DataArrival);
    QVERIFY(wsk->Connect(u"127.0.0.1"_qs, fake.port()));
    QVERIFY(fake.send(pieces, arrivals));
    fake.socket->disconnectFromHost();
    QVERIFY(waitState(wsk, 8));
    // Each piece came as an arrival of its own, so the pane was written piece by piece.
    QCOMPARE(arrivals.size(), pieces.size());
    QCOMPARE(client.content(), shown);
}

void tst_ClientSocket::oversizedReplyIsCut() {
    Scripted fake({{0, QByteArray(600, 'a')}, {100, QByteArray(600, 'b')}}, false);
    Copy client;
    client.fn->setMaxReplyBytes(1000);
    Winsock *wsk = client.fn->Wsk;
    QVERIFY(wsk->Connect(u"127.0.0.1"_qs, fake.port()));
    QVERIFY(QTest::qWaitFor([&] { return client.content().size() == 1000; }, kWait));
    QCOMPARE(client.content(), QString(600, u'a') + QString(400, u'b'));
    QCOMPARE(wsk->State(), 0);
}

QTEST_MAIN(tst_ClientSocket)
#include "tst_clientsocket.moc"
