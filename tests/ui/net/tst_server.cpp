// Server mode of the hidden network window, in process, spoken to by raw clients on loopback.
#include "ui/diary/index.h"
#include "ui/netwindows/connectme.h"
#include "store/net/msgload.h"
#include "netcopy.h"
#include "ui/net/netservice.h"
#include "store/net/protocol.h"
#include "store/net/userinfo.h"
#include "store/common/codepage.h"
#include "ui/widgets/richtextbox.h"
#include "ui/net/winsock.h"
#include "ui/app/app.h"
#include "testsupport.h"

#include <QDir>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using protocol::Service;

namespace {

using namespace netcopy;
const QChar NUL(0);
const QDateTime kNow(QDate(2004, 3, 5), QTime(21, 4, 9));

// A copy of the program in server mode on free ports.
struct Server : Copy {
    explicit Server(Ports ports = {0, 0, 0}, const QByteArray *message = nullptr)
        : Copy(options(ports, message)) {}
    static Options options(Ports ports, const QByteArray *message) {
        Options o;
        o.server = true;
        o.ports = ports;
        o.clock = kNow;
        if (message) o.message = *message;
        return o;
    }
    quint16 port(Service s) const {
        Winsock *w = s == Service::Message        ? fn->svr
                     : s == Service::Registration ? fn->RegSvr
                                                  : fn->LogSvr;
        return quint16(w->LocalPort());
    }
    QString userFile(const QString &name) const { return dir.path() + u"/UserInfo/"_qs + name; }
    QStringList accounts() const {
        return QDir(dir.path() + u"/UserInfo"_qs).entryList(QDir::Files);
    }
};

QString record(const QString &name, const QString &password, const QString &email,
               const QString &address, const QString &about, const QString &sex) {
    return protocol::buildRegistrationRecord({name, password, email, address, about, sex});
}

// Sends a login for an account that does not exist: true when the refusal comes back, that is
// when the connection is served.
bool loginRefused(Client &c) {
    c.send(gbk(u"1"_qs + QChar(0) + u"x"_qs));
    return c.waitFor(3) && c.received == "886";
}

// A message near the largest the service sends.
QByteArray largeMessage() {
    QByteArray message;
    for (int i = 0; message.size() < 900 * 1024; ++i)
        message += gbk(u"第"_qs + QString::number(i) + u"行：晴窗的消息，没人读。\r\n"_qs);
    return message;
}

// Gives the connections of the listener on port a small send buffer (an accepted socket takes the
// listener's): the system would otherwise take a whole message of a megabyte or more at once,
// and a download to a reader that takes nothing would never stop.
bool shrinkSendBuffers(quint16 port) {
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        int listening = 0;
        socklen_t flagSize = sizeof listening;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0 ||
            address.sin_family != AF_INET || ntohs(address.sin_port) != port ||
            ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &flagSize) != 0 || !listening)
            continue;
        const int small = 4096;
        return ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small) == 0;
    }
    return false;
}

// A raw client of the message service on port that never reads, with a small receive buffer:
// the download to it stops once the buffers are full. -1 when it could not be set up.
int stalledReader(quint16 port) {
    if (!shrinkSendBuffers(port)) return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class tst_Server : public QObject {
    Q_OBJECT
private slots:
    void startUp();
    void clientModeStartsNoService();
    void messageDownload();
    void emptyMessageStillCloses();
    void readerThatStopsSendingGetsTheMessage();
    void stalledDownloadClosesWhenIdle();
    void garbageCutsADownloadOff();
    void twentyClientsAtOnce();
    void registrationInTwoPieces();
    void registrationWithSevenFields();
    void registrationNotStoredGetsNoConfirmation();
    void registrationsAreLimited();
    void loginAcceptedAndRefusedOnOneConnection();
    void everyWholeRequestIsAnswered_data();
    void everyWholeRequestIsAnswered();
    void oversizedMessageIsReported();
    void garbageIsCutOff();
    void idleClientIsClosed();
    void connectionCapDropsTheQuietest();
    void connectionCapSparesAClientMidRequest();
    void connectionCapSparesARequestNotYetRead();
    void connectionCapCountsDownloads();
    void portInUseLeavesThatServiceAbsent();
    void tickWritesCaptionClock();
};

void tst_Server::startUp() {
    Server s;
    QCOMPARE(s.app->index()->editor()->text(), u"\r\n  服务器已运行"_qs);
    ConnectMe *cm = s.cm();
    QCOMPARE(cm->windowTitle(), u" 服务器模式"_qs);
    QVERIFY(!cm->findChild<QPushButton *>(u"bt_connect"_qs)->isEnabled());
    QVERIFY(!cm->findChild<QPushButton *>(u"bt_cancel"_qs)->isEnabled());
    QVERIFY(cm->ClientList.isEmpty());
    QVERIFY(s.fn->FirstRun);
    QVERIFY(s.fn->tm->isActive());
    QCOMPARE(s.fn->tm->interval(), 1000);
    for (Winsock *w : {s.fn->svr, s.fn->RegSvr, s.fn->LogSvr}) {
        QCOMPARE(w->State(), 2);
        QVERIFY(w->LocalPort() > 0);
    }
    QCOMPARE(s.fn->Wsk->State(), 0);
    // The message file is created empty; the account folder exists.
    QVERIFY(QFileInfo::exists(s.dir.path() + u"/Message.txt"_qs));
    QCOMPARE(testsupport::readFile(s.dir.path() + u"/Message.txt"_qs), QByteArray());
    QCOMPARE(s.fn->MessageSended, QString());
    QVERIFY(QFileInfo(s.dir.path() + u"/UserInfo"_qs).isDir());
}

void tst_Server::clientModeStartsNoService() {
    Copy c;
    NetService *fn = c.fn;
    QVERIFY(fn->FirstRun);
    QVERIFY(fn->tm->isActive());
    for (Winsock *w : {fn->svr, fn->RegSvr, fn->LogSvr})
        QCOMPARE(w->State(), 0);
    QVERIFY(c.app->index()->editor()->text() != u"\r\n  服务器已运行"_qs);
    QVERIFY(!QFileInfo::exists(c.path(u"Message.txt"_qs)));
    QVERIFY(!QFileInfo::exists(c.path(u"UserInfo"_qs)));
}

void tst_Server::messageDownload() {
    const QByteArray message = gbk(u"今天天气很好。\r\n\r\n大家好！"_qs);
    Server s({0, 0, 0}, &message);
    QCOMPARE(s.fn->MessageSended, u"\r\n  今天天气很好。\r\n  \r\n  大家好！"_qs);
    Client c(s.port(Service::Message));
    QVERIFY(c.waitClosed());
    QCOMPARE(c.received, gbk(u"\r\n  今天天气很好。\r\n  \r\n  大家好！"_qs));
    QCOMPARE(s.cm()->ClientList,
             protocol::logLine(u"127.0.0.1"_qs, c.localPort, kNow, Service::Message));
    QCOMPARE(s.cm()->ClientList, u"\r\n  >> 127.0.0.1 = "_qs + QString::number(c.localPort) +
                                     u" =  2004-3-5  - 21:04:09   (ReadMessage)"_qs);
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 0, kWait);
}

void tst_Server::emptyMessageStillCloses() {
    Server s;
    Client c(s.port(Service::Message));
    QVERIFY(c.waitClosed());
    QCOMPARE(c.received, QByteArray());
}

void tst_Server::readerThatStopsSendingGetsTheMessage() {
    // A client that closes its sending side at once, before the server has taken the connection.
    const QByteArray message = gbk(u"今天天气很好。"_qs);
    Server s({0, 0, 0}, &message);
    QTcpSocket c;
    c.connectToHost(QHostAddress::LocalHost, s.port(Service::Message));
    QVERIFY(c.waitForConnected(kWait));
    QCOMPARE(::shutdown(int(c.socketDescriptor()), SHUT_WR), 0);
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT(
        (received += c.readAll(), c.state() == QAbstractSocket::UnconnectedState), kWait);
    received += c.readAll();
    QCOMPARE(received, gbk(u"\r\n  今天天气很好。"_qs));
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 0, kWait);
}

void tst_Server::stalledDownloadClosesWhenIdle() {
    const QByteArray message = largeMessage();
    Server s({0, 0, 0}, &message);
    const qsizetype whole = gbk(s.fn->MessageSended).size();
    ServerLimits limits;
    limits.idleMs = 300;
    s.fn->setLimits(limits);
    const int fd = stalledReader(s.port(Service::Message));
    QVERIFY(fd >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 1, kWait); // taken, still sending
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 0, kWait); // given up once idle
    // The reader finds part of the message, then the end of the connection.
    QByteArray got(whole, '\0');
    qsizetype total = 0;
    for (ssize_t n; (n = ::recv(fd, got.data() + total, size_t(whole - total), 0)) > 0;)
        total += n;
    ::close(fd);
    QVERIFY2(total < whole, QByteArray::number(total).constData());
    QVERIFY2(!s.content().contains(u"错误编号"_qs), qPrintable(s.content())); // not an error
}

void tst_Server::garbageCutsADownloadOff() {
    const QByteArray message = largeMessage();
    Server s({0, 0, 0}, &message);
    const int fd = stalledReader(s.port(Service::Message));
    QVERIFY(fd >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 1, kWait);
    // What the reader sends is read and dropped; past the bound the download is cut off.
    const QByteArray garbage(64 * 1024, 'x');
    qint64 sent = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        (sent += std::max<ssize_t>(
             ::send(fd, garbage.constData(), size_t(garbage.size()), MSG_DONTWAIT | MSG_NOSIGNAL),
             0),
         s.fn->sessionCount() == 0),
        kWait);
    QVERIFY2(sent > ServerLimits().maxInputBytes, QByteArray::number(sent).constData());
    ::close(fd);
}

void tst_Server::twentyClientsAtOnce() {
    // Large enough that the transfers overlap.
    QByteArray message;
    for (int i = 0; i < 2000; ++i)
        message += gbk(u"第"_qs + QString::number(i) + u"行：晴窗的消息。\r\n"_qs);
    Server s({0, 0, 0}, &message);
    const QByteArray expected = gbk(s.fn->MessageSended);
    UserInfo account(s.app->folder());
    s.app->setRandomSource([] { return 0.00001234; });
    account.setID();
    account.setPassword(u"pw"_qs);
    QVERIFY(account.Save());

    std::vector<std::unique_ptr<Client>> readers, logins;
    for (int i = 0; i < 10; ++i) {
        readers.push_back(std::make_unique<Client>(s.port(Service::Message)));
        logins.push_back(std::make_unique<Client>(s.port(Service::Login)));
    }
    for (auto &c : logins) {
        QVERIFY(c->connected());
        c->send(gbk(u"1234"_qs + NUL + u"pw"_qs));
    }
    for (auto &c : readers) {
        QVERIFY(c->waitClosed());
        QCOMPARE(c->received.size(), expected.size());
        QCOMPARE(c->received, expected);
    }
    for (auto &c : logins) {
        QVERIFY(c->waitFor(3));
        QCOMPARE(c->received, QByteArray("200"));
        QVERIFY(!c->closed);
    }
    QCOMPARE(s.cm()->ClientList.count(u"(ReadMessage)"_qs), 10);
    QCOMPARE(s.cm()->ClientList.count(u"(Login)"_qs), 10);
}

void tst_Server::registrationInTwoPieces() {
    Server s;
    ServerLimits limits;
    limits.incompleteQuietMs = 2000;
    s.fn->setLimits(limits);
    s.app->setRandomSource([] { return 0.12345678; }); // 12345678
    Client c(s.port(Service::Registration));
    QVERIFY(c.connected());
    const QByteArray rec =
        gbk(record(u"张三"_qs, u"密码 1"_qs, u"-"_qs, u"北京"_qs, u"说明"_qs, u"男"_qs));
    const qsizetype cut = rec.indexOf('\0', rec.indexOf('\0') + 1) + 1; // after two separators
    c.send(rec.left(cut));
    QTest::qWait(400); // within the quiet time: the record is not whole yet
    QCOMPARE(c.received, QByteArray());
    QVERIFY(s.accounts().isEmpty());
    c.send(rec.mid(cut));
    QVERIFY(c.waitClosed());

    UserInfo stored(s.app->folder());
    QVERIFY(stored.getInfo(u"12345678"_qs));
    QCOMPARE(c.received, gbk(protocol::registrationConfirmation(stored)));
    QVERIFY(c.received.contains(gbk(u"    账号： 12345678\r\n    姓名： 张三 (男)\r\n"_qs)));
    const QByteArray file = stored.toBytes();
    QCOMPARE(testsupport::readFile(s.userFile(u"12345678.usr"_qs)), file);
    QCOMPARE(stored.getIP(), u"127.0.0.1"_qs);
    QCOMPARE(stored.getPassword(), u"密码 1"_qs);
    QCOMPARE(stored.getAddress(), u"北京"_qs);
    QCOMPARE(stored.getAbout(), u"说明"_qs);
    QCOMPARE(stored.getEmail(), u"-"_qs);
    QVERIFY(s.cm()->ClientList.endsWith(u"   (Register)"_qs));
}

void tst_Server::registrationWithSevenFields() {
    Server s;
    s.app->setRandomSource([] { return 0.00000042; });
    Client c(s.port(Service::Registration));
    QVERIFY(c.connected());
    c.send(
        gbk(record(u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs, u"女"_qs) + NUL + u"seventh"_qs));
    QVERIFY(c.waitClosed());
    UserInfo stored(s.app->folder());
    QVERIFY(stored.getInfo(u"42"_qs));
    QCOMPARE(stored.getSex(), u"女"_qs);
    QCOMPARE(stored.getName(), u"a"_qs);
    QCOMPARE(s.accounts(), QStringList{u"42.usr"_qs});
}

void tst_Server::registrationNotStoredGetsNoConfirmation() {
    Server s;
    QVERIFY(QDir(s.dir.path() + u"/UserInfo"_qs).removeRecursively());
    Client c(s.port(Service::Registration));
    QVERIFY(c.connected());
    c.send(gbk(record(u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs, u"男"_qs)));
    QVERIFY(c.waitClosed());
    QCOMPARE(c.received, QByteArray());
}

// A client cannot fill the server's disk with accounts: past the limit of its address it is told so
// and nothing is stored.
void tst_Server::registrationsAreLimited() {
    Server s;
    s.fn->setRegistrationLimits({2, 20, 100, false});
    double next = 0.0;
    s.app->setRandomSource([&next] { return next += 0.01; });
    for (int i = 0; i < 3; ++i) {
        Client c(s.port(Service::Registration));
        QVERIFY(c.connected());
        c.send(gbk(record(u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs, u"男"_qs)));
        QVERIFY(c.waitClosed());
        if (i < 2)
            QVERIFY(c.received.contains(gbk(u"用户注册成功"_qs)));
        else
            QCOMPARE(c.received, gbk(u"\r\n  这个地址今天注册的账号已经太多，请明天再试。\r\n"_qs));
    }
    QCOMPARE(s.accounts().size(), 2);
}

void tst_Server::loginAcceptedAndRefusedOnOneConnection() {
    Server s;
    s.app->setRandomSource([] { return 0.00000777; }); // 777
    UserInfo account(s.app->folder());
    account.setID();
    account.setPassword(u"Secret 密"_qs);
    QVERIFY(account.Save());
    // What "../777" would reach if ids became paths unchecked.
    QVERIFY(QFile::copy(s.userFile(u"777.usr"_qs), s.dir.path() + u"/777.usr"_qs));

    Client c(s.port(Service::Login));
    QVERIFY(c.connected());
    struct Step {
        QByteArray request;
        QByteArray reply;
    };
    const QList<Step> steps{
        {gbk(u"777"_qs + NUL + u"Secret 密"_qs), "200"},
        {gbk(u"777"_qs + NUL + u"secret 密"_qs), "886"},
        {gbk(u"778"_qs + NUL + u"Secret 密"_qs), "886"},
        {gbk(u"../777"_qs + NUL + u"Secret 密"_qs), "886"},
        {gbk(u"777"_qs + NUL), "886"},
        {gbk(u"777"_qs + NUL + u"Secret 密"_qs), "200"},
    };
    for (const Step &step : steps) {
        const qsizetype before = c.received.size();
        c.send(step.request);
        QVERIFY(c.waitFor(before + 3));
        QCOMPARE(c.received.mid(before), step.reply);
    }
    // A request in two pieces, the first with no separator yet, the second within the quiet time.
    ServerLimits slow;
    slow.incompleteQuietMs = 2000;
    s.fn->setLimits(slow);
    Client c2(s.port(Service::Login));
    QVERIFY(c2.connected());
    c2.send("77");
    QTest::qWait(400);
    QCOMPARE(c2.received, QByteArray());
    c2.send(gbk(u"7"_qs + NUL + u"Secret 密"_qs));
    QVERIFY(c2.waitFor(3));
    QCOMPARE(c2.received, QByteArray("200"));
    // The first client was not disturbed by that one.
    const qsizetype before = c.received.size();
    c.send(gbk(u"777"_qs + NUL + u"Secret 密"_qs));
    QVERIFY(c.waitFor(before + 3));
    QCOMPARE(c.received.mid(before), QByteArray("200"));
    QVERIFY(!c.closed);
    QCOMPARE(s.fn->sessionCount(), 2);

    // A second login client does not disturb the first.
    Client other(s.port(Service::Login));
    QVERIFY(other.connected());
    other.send(gbk(u"777"_qs + NUL + u"x"_qs));
    QVERIFY(other.waitFor(3));
    QCOMPARE(other.received, QByteArray("886"));
    c.send(gbk(u"777"_qs + NUL + u"Secret 密"_qs));
    QVERIFY(c.waitFor(before + 6));
    QCOMPARE(c.received.right(3), QByteArray("200"));
}

void tst_Server::everyWholeRequestIsAnswered_data() {
    QTest::addColumn<int>("service");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("halfClose");
    QTest::addColumn<QByteArray>("reply");
    const auto login = int(Service::Login), registration = int(Service::Registration);
    const QByteArray pw = gbk(u"Secret 密"_qs);
    // Account 777 with that password exists.
    QTest::newRow("login without NUL") << login << QByteArray("58115400") << false << QByteArray("886");
    QTest::newRow("known id without NUL") << login << QByteArray("777") << false << QByteArray("886");
    QTest::newRow("login, half-close") << login << "777" + QByteArray(1, '\0') + pw << true
                                       << QByteArray("200");
    QTest::newRow("login without NUL, half-close") << login << QByteArray("777") << true
                                                   << QByteArray("886");
    // The confirmation rows hold only the start of what is expected: the whole text is compared
    // with the stored account below.
    QTest::newRow("registration of two fields") << registration << QByteArray("a\0b", 3) << false
                                                << QByteArray("\r\n");
    QTest::newRow("registration of one field") << registration << QByteArray("solo") << false
                                               << QByteArray("\r\n");
    QTest::newRow("registration, half-close")
        << registration << gbk(record(u"张"_qs, u"p"_qs, u"-"_qs, u"-"_qs, u"-"_qs, u"女"_qs)) << true
        << QByteArray("\r\n");
    QTest::newRow("registration of two fields, half-close")
        << registration << QByteArray("a\0b", 3) << true << QByteArray("\r\n");
}

// A request that has come whole -- nothing follows within the quiet time, or the peer has shut
// down its sending side -- is answered, whatever fields it holds.
void tst_Server::everyWholeRequestIsAnswered() {
    QFETCH(int, service);
    QFETCH(QByteArray, request);
    QFETCH(bool, halfClose);
    QFETCH(QByteArray, reply);
    Server s;
    s.app->setRandomSource([] { return 0.00000777; }); // 777
    UserInfo known(s.app->folder());
    known.setID();
    known.setPassword(u"Secret 密"_qs);
    QVERIFY(known.Save());
    s.app->setRandomSource([] { return 0.00000042; }); // 42 for a registration

    Client c(s.port(Service(service)));
    QVERIFY(c.connected());
    c.send(request);
    if (halfClose) {
        QVERIFY(c.socket.waitForBytesWritten(kWait) || c.socket.bytesToWrite() == 0);
        QCOMPARE(::shutdown(int(c.socket.socketDescriptor()), SHUT_WR), 0); // still reads
    }
    if (service == int(Service::Login) && !halfClose) {
        QVERIFY(c.waitFor(3));
        QCOMPARE(c.received, reply);
        QVERIFY(!c.closed); // a login connection stays for more requests
        return;
    }
    // The server answers, then closes.
    QVERIFY(c.waitClosed());
    QVERIFY2(c.received.startsWith(reply), c.received.constData());
    if (service == int(Service::Registration)) {
        const protocol::RegistrationRecord fields = protocol::parseRegistrationRecord(cp936::decode(request));
        UserInfo stored(s.app->folder());
        QVERIFY(stored.getInfo(u"42"_qs));
        QCOMPARE(stored.getName(), fields.name);
        QCOMPARE(stored.getPassword(), fields.password);
        QCOMPARE(stored.getSex(), fields.sex);
        QCOMPARE(c.received, gbk(protocol::registrationConfirmation(stored)));
    }
}

void tst_Server::oversizedMessageIsReported() {
    // The operator learns at start that the message is not served, and why.
    const QByteArray big(net::kMaxMessageFileBytes + 1, 'x');
    Server s(Ports{0, 0, 0}, &big);
    QVERIFY2(s.content().contains(u"Message.txt 超过 1 MB"_qs), qPrintable(s.content()));
    QCOMPARE(s.fn->MessageSended, QString());
    // A message that fits says nothing of the kind.
    const QByteArray fits("hello\r\n");
    Server t(Ports{0, 0, 0}, &fits);
    QVERIFY(!t.content().contains(u"Message.txt"_qs));
}

void tst_Server::garbageIsCutOff() {
    Server s;
    Client reg(s.port(Service::Registration));
    Client login(s.port(Service::Login));
    Client msg(s.port(Service::Message));
    QVERIFY(reg.connected() && login.connected());
    const QByteArray garbage(ServerLimits().maxInputBytes + 1, 'x');
    reg.send(garbage);
    login.send(garbage);
    QVERIFY(reg.waitClosed());
    QVERIFY(login.waitClosed());
    QVERIFY(msg.waitClosed());
    QCOMPARE(reg.received, QByteArray());
    QCOMPARE(login.received, QByteArray());
    QVERIFY(s.accounts().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 0, kWait);

    // Still serving.
    Client after(s.port(Service::Login));
    QVERIFY(after.connected());
    QVERIFY(loginRefused(after));
}

void tst_Server::idleClientIsClosed() {
    Server s;
    ServerLimits limits;
    limits.idleMs = 300;
    limits.incompleteQuietMs = 5000; // the half record is not taken as whole before the idle time
    s.fn->setLimits(limits);
    Client idle(s.port(Service::Login));
    Client halfRecord(s.port(Service::Registration));
    QVERIFY(idle.connected() && halfRecord.connected());
    halfRecord.send(QByteArray("name\0pw", 7));
    QVERIFY(idle.waitClosed());
    QVERIFY(halfRecord.waitClosed());
    QCOMPARE(halfRecord.received, QByteArray());
    QVERIFY(s.accounts().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 0, kWait);
}

void tst_Server::connectionCapDropsTheQuietest() {
    Server s;
    ServerLimits limits;
    limits.maxConnections = 2;
    s.fn->setLimits(limits);
    Client first(s.port(Service::Login));
    QVERIFY(first.connected());
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 1, kWait);
    QTest::qWait(50);
    Client second(s.port(Service::Login));
    QVERIFY(second.connected());
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 2, kWait);
    Client third(s.port(Service::Login));
    QVERIFY(third.connected());
    QVERIFY(first.waitClosed());
    QCOMPARE(s.fn->sessionCount(), 2);
    QVERIFY(!second.closed);
    QVERIFY(loginRefused(third));
    QCOMPARE(s.cm()->ClientList.count(u"(Login)"_qs), 3);
}

void tst_Server::connectionCapSparesAClientMidRequest() {
    Server s;
    ServerLimits limits;
    limits.maxConnections = 2;
    s.fn->setLimits(limits);
    Client speaking(s.port(Service::Login));
    QVERIFY(speaking.connected());
    speaking.send("1");
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 1, kWait);
    QTest::qWait(50);
    // Quiet for less time than the first, but it has said nothing.
    Client silent(s.port(Service::Login));
    QVERIFY(silent.connected());
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 2, kWait);
    Client third(s.port(Service::Login));
    QVERIFY(third.connected());
    QVERIFY(silent.waitClosed());
    QCOMPARE(s.fn->sessionCount(), 2);
    QVERIFY(!speaking.closed);
    speaking.send(gbk(NUL + u"x"_qs));
    QVERIFY(speaking.waitFor(3));
    QCOMPARE(speaking.received, QByteArray("886"));
}

void tst_Server::connectionCapSparesARequestNotYetRead() {
    Server s;
    ServerLimits limits;
    limits.maxConnections = 2;
    s.fn->setLimits(limits);
    // All of it is with the system before the server takes any: a request, then two clients
    // that say nothing. The server takes the three at one go.
    const quint16 port = s.port(Service::Login);
    QTcpSocket speaking, silent, later;
    speaking.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(speaking.waitForConnected(kWait));
    speaking.write(gbk(u"1"_qs + NUL + u"x"_qs));
    QVERIFY(speaking.waitForBytesWritten(kWait));
    for (QTcpSocket *c : {&silent, &later}) {
        c->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(c->waitForConnected(kWait));
    }
    QByteArray reply;
    QTRY_VERIFY_WITH_TIMEOUT((reply += speaking.readAll()).size() >= 3 ||
                                 speaking.state() != QAbstractSocket::ConnectedState,
                             kWait);
    QCOMPARE(reply, QByteArray("886"));
    QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QAbstractSocket::UnconnectedState, kWait);
    QCOMPARE(later.state(), QAbstractSocket::ConnectedState);
}

void tst_Server::connectionCapCountsDownloads() {
    // A download on its way counts as a connection, and one being served: a client that has said
    // nothing makes room before it.
    const QByteArray message = largeMessage();
    Server s({0, 0, 0}, &message);
    ServerLimits limits;
    limits.maxConnections = 2;
    s.fn->setLimits(limits);
    const int fd = stalledReader(s.port(Service::Message));
    QVERIFY(fd >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 1, kWait);
    Client silent(s.port(Service::Login));
    QVERIFY(silent.connected());
    QTRY_COMPARE_WITH_TIMEOUT(s.fn->sessionCount(), 2, kWait);
    Client third(s.port(Service::Login));
    QVERIFY(third.connected());
    QVERIFY(silent.waitClosed());
    QCOMPARE(s.fn->sessionCount(), 2);
    QVERIFY(loginRefused(third));
    QCOMPARE(s.fn->sessionCount(), 2); // the download is still there
    ::close(fd);
}

void tst_Server::portInUseLeavesThatServiceAbsent() {
    QTcpServer occupier;
    QVERIFY(occupier.listen(QHostAddress::AnyIPv4, 0));
    Server s({occupier.serverPort(), 0, 0});
    QCOMPARE(s.fn->svr->State(), 0);
    QCOMPARE(s.fn->RegSvr->State(), 2);
    QCOMPARE(s.fn->LogSvr->State(), 2);
    QCOMPARE(s.app->index()->editor()->text(), u"\r\n  服务器已运行"_qs);
    QVERIFY(QFileInfo(s.dir.path() + u"/UserInfo"_qs).isDir());

    s.app->setRandomSource([] { return 0.00000005; });
    Client c(s.port(Service::Registration));
    QVERIFY(c.connected());
    c.send(gbk(record(u"a"_qs, u"b"_qs, u"-"_qs, u"-"_qs, u"-"_qs, u"不详"_qs)));
    QVERIFY(c.waitClosed());
    QVERIFY(c.received.contains(gbk(u"    账号： 5\r\n"_qs)));
    QCOMPARE(s.accounts(), QStringList{u"5.usr"_qs});
}

void tst_Server::tickWritesCaptionClock() {
    Server s;
    QTRY_COMPARE_WITH_TIMEOUT(s.app->index()->windowTitle(), u" 21:04:09"_qs, 3000);
}

QTEST_MAIN(tst_Server)
#include "tst_server.moc"
