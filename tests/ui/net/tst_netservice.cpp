// The network service on its own, without an App or any window: what it does is told by its
// signals, over real loopback sockets.
#include "store/common/codepage.h"
#include "store/common/programfolder.h"
#include "store/net/protocol.h"
#include "store/settings/settings.h"
#include "ui/net/netservice.h"
#include "ui/net/winsock.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWait = 15000;
const QDateTime kNow(QDate(2004, 3, 5), QTime(21, 4, 9));

struct Fixture {
    QTemporaryDir dir;
    ProgramFolder folder{dir.path()};
    Settings settings;
    std::unique_ptr<NetService> service;

    explicit Fixture(bool server, Ports ports = {0, 0, 0}) {
        settings.IsServer = server;
        folder.clock = [] { return kNow; };
        service = std::make_unique<NetService>(folder, settings, ports);
    }
};

// A peer that answers each connection with bytes and closes.
struct Answering {
    QTcpServer server;
    explicit Answering(const QByteArray &answer) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, answer] {
            QTcpSocket *s = server.nextPendingConnection();
            s->write(answer);
            s->flush();
            s->disconnectFromHost();
        });
    }
};

} // namespace

class TestNetService : public QObject {
    Q_OBJECT

private slots:
    void serverStartsOnce();
    void clientStartsNoServer();
    void messageServedAndLogged();
    void loginReply_data();
    void loginReply();
    void replyPieces();
    void loginPassedBySettings();
};

void TestNetService::serverStartsOnce() {
    Fixture f(true);
    testsupport::writeFile(f.dir.path() + u"/Message.txt"_qs, cp936::encode(u"你好"_qs));
    QSignalSpy started(f.service.get(), &NetService::serverStarted);
    QSignalSpy notServed(f.service.get(), &NetService::messageNotServed);
    QVERIFY(!f.service->started());
    f.service->start();
    f.service->start();
    QCOMPARE(started.count(), 1);
    QCOMPARE(notServed.count(), 0);
    QVERIFY(f.service->started());
    QVERIFY(f.service->FirstRun);
    for (Winsock *w : {f.service->svr, f.service->RegSvr, f.service->LogSvr})
        QCOMPARE(w->State(), int(Winsock::sckListening));
    QCOMPARE(f.service->MessageSended, u"\r\n  你好"_qs);
    QVERIFY(QFileInfo(f.dir.path() + u"/UserInfo"_qs).isDir());

    // The tick carries the clock's time.
    QSignalSpy ticked(f.service.get(), &NetService::ticked);
    QVERIFY(ticked.wait(kWait));
    QCOMPARE(ticked.first().first().value<QTime>(), QTime(21, 4, 9));
}

void TestNetService::clientStartsNoServer() {
    Fixture f(false);
    QSignalSpy started(f.service.get(), &NetService::serverStarted);
    f.service->start();
    QCOMPARE(started.count(), 0);
    QVERIFY(f.service->tm->isActive());
    for (Winsock *w : {f.service->svr, f.service->RegSvr, f.service->LogSvr})
        QCOMPARE(w->State(), int(Winsock::sckClosed));
    QVERIFY(!QFileInfo::exists(f.dir.path() + u"/UserInfo"_qs));
}

// A client of the message service gets the message; the connection is announced with its log
// line, the clock's time in it.
void TestNetService::messageServedAndLogged() {
    Fixture f(true);
    testsupport::writeFile(f.dir.path() + u"/Message.txt"_qs, cp936::encode(u"消息"_qs));
    QSignalSpy logged(f.service.get(), &NetService::connectionLogged);
    f.service->start();

    QTcpSocket client;
    QByteArray received;
    connect(&client, &QIODevice::readyRead, &client, [&] { received += client.readAll(); });
    client.connectToHost(QHostAddress::LocalHost, quint16(f.service->svr->LocalPort()));
    QVERIFY(client.waitForConnected(kWait));
    const quint16 port = client.localPort();
    QTRY_COMPARE_WITH_TIMEOUT(received, cp936::encode(u"\r\n  消息"_qs), kWait);
    QCOMPARE(logged.count(), 1);
    QCOMPARE(logged.first().first().toString(),
             u"\r\n  >> 127.0.0.1 = "_qs + QString::number(port) +
                 u" =  2004-3-5  - 21:04:09   (ReadMessage)"_qs);
}

void TestNetService::loginReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("200") << QByteArray("200") << true;
    QTest::newRow("refused") << QByteArray("404") << false;
}

// The answer of the login service comes out as acceptance or refusal; only acceptance counts as
// logged in.
void TestNetService::loginReply() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    Answering peer(reply);
    Fixture f(false, {0, 0, peer.server.serverPort()});
    f.service->start();
    QSignalSpy yes(f.service.get(), &NetService::loginAccepted);
    QSignalSpy no(f.service.get(), &NetService::loginRefused);
    QVERIFY(f.service->UserCheck->Connect(u"127.0.0.1"_qs, f.service->ports().login));
    QTRY_COMPARE_WITH_TIMEOUT(yes.count() + no.count(), 1, kWait);
    QCOMPARE(yes.count(), accepted ? 1 : 0);
    QCOMPARE(f.service->LoginPassed, accepted);
    QCOMPARE(f.service->loginPassed(), accepted);
}

// The reply on Wsk: each piece decoded and announced; the connection window is not to show for
// the first arrival since start, and is from then on.
void TestNetService::replyPieces() {
    Answering peer(cp936::encode(u"第一段\r\n"_qs));
    Fixture f(false, {peer.server.serverPort(), 0, 0});
    f.service->start();
    QSignalSpy pieces(f.service.get(), &NetService::replyReceived);
    QSignalSpy arrived(f.service.get(), &NetService::replyArrived);
    for (int round = 0; round < 2; ++round) {
        f.service->Wsk->Close();
        QVERIFY(f.service->Wsk->Connect(u"127.0.0.1"_qs, f.service->ports().message));
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), round + 1, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(f.service->Wsk->State(), int(Winsock::sckClosing), kWait);
    }
    QString text;
    for (const QList<QVariant> &piece : std::as_const(pieces)) text += piece.first().toString();
    QCOMPARE(text, u"第一段\r\n第一段\r\n"_qs);
    QCOMPARE(arrived.at(0).first().toBool(), false);
    QCOMPARE(arrived.at(1).first().toBool(), true);
    QVERIFY(!f.service->FirstRun);
}

// The settings file's pass counts as logged in, without a login in this run.
void TestNetService::loginPassedBySettings() {
    Fixture f(false);
    QVERIFY(!f.service->loginPassed());
    f.settings.Passme = true;
    QVERIFY(f.service->loginPassed());
    QVERIFY(!f.service->LoginPassed);
}

QTEST_MAIN(TestNetService)
#include "tst_netservice.moc"
