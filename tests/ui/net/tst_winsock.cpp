// The socket control on loopback: states, events, text in code page 936, and a listener that
// outlives a shortage of file descriptors.
#include "store/common/codepage.h"
#include "ui/net/winsock.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

namespace {

constexpr int kWait = 5000;

// A listener on a free port whose every request is accepted onto a new Winsock.
struct Listener {
    Winsock listener;
    QList<Winsock *> accepted;

    Listener() {
        listener.setLocalPort(0);
        QObject::connect(&listener, &Winsock::ConnectionRequest, &listener, [this](int id) {
            auto *peer = new Winsock(&listener);
            if (peer->Accept(listener, id)) accepted.append(peer);
        });
    }
    bool listen() { return listener.Listen(); }
    int port() const { return listener.LocalPort(); }
};

int openDescriptors() {
    return int(QDir(u"/proc/self/fd"_qs).entryList(QDir::Files | QDir::System).size());
}

} // namespace

class tst_Winsock : public QObject {
    Q_OBJECT
private slots:
    void listenerStateAndPort();
    void connectSendReceiveAndClose();
    void peerCloseDeliversDataFirstAndStaysState8();
    void refusedConnectionIsState9UntilClose();
    void wrongStateAndBadValuesAreRefused();
    void localPortInUseFailsConnect();
    void unacceptedRequestIsDropped();
    void emptySendCompletes();
    void listenerSurvivesDescriptorShortage();
};

void tst_Winsock::listenerStateAndPort() {
    Listener l;
    QCOMPARE(l.listener.State(), 0);
    QVERIFY(l.listen());
    QCOMPARE(l.listener.State(), 2);
    QVERIFY(l.port() > 0);
    QVERIFY(!l.listener.Listen()); // already listening

    // A second listener on the same port cannot listen and stays closed.
    Winsock other;
    other.setLocalPort(l.port());
    QVERIFY(!other.Listen());
    QCOMPARE(other.State(), 0);

    l.listener.Close();
    QCOMPARE(l.listener.State(), 0);
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, quint16(l.port()));
    QVERIFY(!probe.waitForConnected(kWait) || probe.waitForDisconnected(kWait));
}

void tst_Winsock::connectSendReceiveAndClose() {
    Listener l;
    QVERIFY(l.listen());
    QSignalSpy requests(&l.listener, &Winsock::ConnectionRequest);

    Winsock client;
    client.setRemoteHost(u"127.0.0.1"_qs);
    QVERIFY(client.setRemotePort(l.port()));
    QVERIFY(client.setLocalPort(0));
    QVERIFY(client.Connect());
    QVERIFY(client.State() == 4 || client.State() == 6);
    QTRY_COMPARE_WITH_TIMEOUT(client.State(), 7, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(l.accepted.size(), 1, kWait);
    Winsock *server = l.accepted.first();
    QCOMPARE(server->State(), 7);
    QCOMPARE(server->RemoteHostIP(), u"127.0.0.1"_qs);
    QCOMPARE(server->RemotePort(), client.LocalPort());
    QCOMPARE(client.RemotePort(), l.port());
    QCOMPARE(client.LocalIP(), u"127.0.0.1"_qs);

    // Text travels as code page 936 and comes back as text.
    const QString text = u"你好，晴窗\r\n第二行"_qs;
    QSignalSpy arrivals(server, &Winsock::DataArrival);
    QSignalSpy sent(&client, &Winsock::SendComplete);
    QVERIFY(client.SendData(text));
    QTRY_VERIFY_WITH_TIMEOUT(server->BytesReceived() >= cp936::encode(text).size(), kWait);
    QVERIFY(!arrivals.isEmpty());
    QCOMPARE(arrivals.last().at(0).toLongLong(), cp936::encode(text).size());
    QTRY_COMPARE_WITH_TIMEOUT(sent.size(), 1, kWait);
    QCOMPARE(server->GetData(), text);
    QCOMPARE(server->BytesReceived(), 0);

    QVERIFY(server->SendData(QByteArray("\xc4\xe3\x00z", 4)));
    QTRY_COMPARE_WITH_TIMEOUT(client.BytesReceived(), 4, kWait);
    QCOMPARE(client.GetBytes(), QByteArray("\xc4\xe3\x00z", 4));

    client.Close();
    QCOMPARE(client.State(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(server->State(), 8, kWait);
}

void tst_Winsock::peerCloseDeliversDataFirstAndStaysState8() {
    Listener l;
    QVERIFY(l.listen());
    // The server sends and closes at once, as the message service does.
    QObject::connect(&l.listener, &Winsock::ConnectionRequest, &l.listener, [&l](int) {
        Winsock *peer = l.accepted.last();
        peer->SendData(u"消息"_qs);
        QObject::connect(peer, &Winsock::SendComplete, peer, [peer] { peer->Close(); });
    });

    Winsock client;
    QStringList events;
    QObject::connect(&client, &Winsock::DataArrival, &client,
                     [&] { events << u"data:"_qs + client.GetData(); });
    QObject::connect(&client, &Winsock::Closed, &client, [&] { events << u"closed"_qs; });
    QVERIFY(client.Connect(u"127.0.0.1"_qs, l.port()));
    QTRY_COMPARE_WITH_TIMEOUT(client.State(), 8, kWait);
    QCOMPARE(events, (QStringList{u"data:消息"_qs, u"closed"_qs}));
    QTest::qWait(50);
    QCOMPARE(client.State(), 8);
    QVERIFY(!client.SendData(u"x"_qs));
    client.Close();
    QCOMPARE(client.State(), 0);
}

void tst_Winsock::refusedConnectionIsState9UntilClose() {
    // A port nobody listens on: take a free one and let it go.
    quint16 port;
    {
        QTcpServer s;
        QVERIFY(s.listen(QHostAddress::LocalHost, 0));
        port = s.serverPort();
    }
    Winsock client;
    QSignalSpy errors(&client, &Winsock::Error);
    QVERIFY(client.Connect(u"127.0.0.1"_qs, port));
    QTRY_COMPARE_WITH_TIMEOUT(client.State(), 9, kWait);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.first().at(0).toInt(), 10061);
    QVERIFY(!errors.first().at(1).toString().isEmpty());
    QTest::qWait(50);
    QCOMPARE(client.State(), 9);
    QVERIFY(!client.Connect()); // only Close leaves state 9
    client.Close();
    QCOMPARE(client.State(), 0);
}

void tst_Winsock::wrongStateAndBadValuesAreRefused() {
    Winsock s;
    QVERIFY(!s.SendData(u"x"_qs));
    QVERIFY(!s.setLocalPort(70000));
    QVERIFY(!s.setLocalPort(-1));
    QVERIFY(!s.setRemotePort(65536));
    QVERIFY(s.setRemotePort(2799));
    QCOMPARE(s.RemotePort(), 2799);
    QVERIFY(s.setLocalPort(9233));
    QCOMPARE(s.LocalPort(), 9233);
    QVERIFY(s.setLocalPort(0));

    Listener l;
    QVERIFY(l.listen());
    QVERIFY(!l.listener.Connect(u"127.0.0.1"_qs, l.port())); // a listener cannot connect
    Winsock other;
    QVERIFY(!other.Accept(l.listener, 12345)); // no such request
    QCOMPARE(other.State(), 0);

    QVERIFY(s.Connect(u"127.0.0.1"_qs, l.port()));
    QVERIFY(!s.Connect()); // already connecting
    QVERIFY(!s.Listen());
}

void tst_Winsock::localPortInUseFailsConnect() {
    Listener l;
    QVERIFY(l.listen());
    QTcpServer occupier;
    QVERIFY(occupier.listen(QHostAddress::AnyIPv4, 0));

    Winsock client;
    client.setRemoteHost(u"127.0.0.1"_qs);
    client.setRemotePort(l.port());
    client.setLocalPort(occupier.serverPort());
    QVERIFY(!client.Connect());
    QCOMPARE(client.State(), 0);

    // A free local port is bound as asked.
    quint16 free;
    {
        QTcpServer s;
        QVERIFY(s.listen(QHostAddress::AnyIPv4, 0));
        free = s.serverPort();
    }
    client.setLocalPort(free);
    QVERIFY(client.Connect());
    QTRY_COMPARE_WITH_TIMEOUT(client.State(), 7, kWait);
    QCOMPARE(client.LocalPort(), int(free));
    QTRY_COMPARE_WITH_TIMEOUT(l.accepted.size(), 1, kWait);
    QCOMPARE(l.accepted.first()->RemotePort(), int(free));
}

void tst_Winsock::unacceptedRequestIsDropped() {
    Winsock listener;
    listener.setLocalPort(0);
    QVERIFY(listener.Listen());
    QSignalSpy requests(&listener, &Winsock::ConnectionRequest);
    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, quint16(listener.LocalPort()));
    QVERIFY(raw.waitForConnected(kWait));
    QTRY_COMPARE_WITH_TIMEOUT(requests.size(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(raw.state(), QAbstractSocket::UnconnectedState, kWait);
    // The request is gone: it cannot be accepted later.
    Winsock late;
    QVERIFY(!late.Accept(listener, requests.first().at(0).toInt()));
}

void tst_Winsock::emptySendCompletes() {
    Listener l;
    QVERIFY(l.listen());
    Winsock client;
    QVERIFY(client.Connect(u"127.0.0.1"_qs, l.port()));
    QTRY_COMPARE_WITH_TIMEOUT(l.accepted.size(), 1, kWait);
    QSignalSpy sent(l.accepted.first(), &Winsock::SendComplete);
    QVERIFY(l.accepted.first()->SendData(QString()));
    QTRY_COMPARE_WITH_TIMEOUT(sent.size(), 1, kWait);
}

void tst_Winsock::listenerSurvivesDescriptorShortage() {
    Listener l;
    QVERIFY(l.listen());
    // One request taken first: the listener has emptied its queue once before the shortage.
    QTcpSocket early;
    early.connectToHost(QHostAddress::LocalHost, quint16(l.port()));
    QTRY_COMPARE_WITH_TIMEOUT(l.accepted.size(), 1, kWait);

    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_NOFILE, &saved) == 0);
    constexpr int kClients = 4;
    // Room for the clients' own descriptors and nothing more: the accepts fail.
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(openDescriptors() + kClients);
    QVERIFY(setrlimit(RLIMIT_NOFILE, &tight) == 0);
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, quint16(l.port()));
    }
    const auto connected = [&clients] {
        return std::all_of(clients.cbegin(), clients.cend(), [](const auto &c) {
            return c->state() == QAbstractSocket::ConnectedState;
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(connected(), kWait);
    // Waiting for room, the listener sleeps between tries: a retry that found no room at once,
    // again and again, would wake the event loop tens of thousands of times a second.
    int wakeups = 0;
    const QMetaObject::Connection counter =
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                [&wakeups] { ++wakeups; });
    QDeadlineTimer deadline(500);
    QTimer::singleShot(500, [] {});
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    disconnect(counter);
    const qsizetype acceptedWhileShort = l.accepted.size();
    QVERIFY(setrlimit(RLIMIT_NOFILE, &saved) == 0);
    QVERIFY(acceptedWhileShort < 1 + kClients);
    QVERIFY2(wakeups < 200, qPrintable(QString::number(wakeups) + u" wakeups in 500 ms"_qs));

    // Descriptors are back: every waiting client is accepted, and new ones too.
    QTRY_COMPARE_WITH_TIMEOUT(l.accepted.size(), 1 + kClients, kWait);
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, quint16(l.port()));
    QTRY_COMPARE_WITH_TIMEOUT(l.accepted.size(), 2 + kClients, kWait);
}

QTEST_GUILESS_MAIN(tst_Winsock)
#include "tst_winsock.moc"
