// The real program in server mode, on its fixed ports 9983, 9980 and 2799, spoken to by raw
// clients and by a client copy of the network service in this process. A lock, shared with
// tst_serverload, keeps the tests on those ports from overlapping across build trees.
#include "ui/netwindows/connectme.h"
#include "ui/netwindows/login.h"
#include "ui/netwindows/newuser.h"
#include "netcopy.h"
#include "ui/net/netservice.h"
#include "store/net/protocol.h"
#include "ui/net/serversession.h"
#include "store/net/userinfo.h"
#include "store/common/codepage.h"
#include "ui/widgets/richtextbox.h"
#include "ui/net/winsock.h"
#include "ui/app/app.h"
#include "store/settings/config.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using namespace netcopy;
constexpr quint16 kMessagePort = 9983, kRegistrationPort = 9980, kLoginPort = 2799;
const QChar NUL(0);

// The account id in a registration confirmation.
QString idOf(const QByteArray &confirmation) {
    const QRegularExpressionMatch m =
        QRegularExpression(u"    账号： (\\d+)\r\n"_qs).match(cp936::decode(confirmation));
    return m.hasMatch() ? m.captured(1) : QString();
}

QByteArray record(const QString &name, const QString &password, const QString &sex) {
    return gbk(protocol::buildRegistrationRecord({name, password, u"-"_qs, u"-"_qs, u"-"_qs, sex}));
}

} // namespace

class tst_FixedPortsServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void messageDownload();
    void registrationAndLoginOnOneConnection();
    void recordInTwoPieces();
    void twentyClientsAtOnce();
    void idleClientsBlockNobody();
    void megabyteOfGarbage();
    void clientCopyExchangesEverything();

private:
    QString register_(const QString &name, const QString &password,
                      QByteArray *confirmation = nullptr);

    std::unique_ptr<QLockFile> m_lock;
    QTemporaryDir m_dir;
    QProcess m_server;
    const QString m_message = u"欢迎使用晴窗。\r\n今天的消息：一切安好！"_qs;
};

void tst_FixedPortsServer::initTestCase() {
    m_lock =
        std::make_unique<QLockFile>(QDir::tempPath() + u"/qingchuang-fixed-ports-test.lock"_qs);
    m_lock->setStaleLockTime(0);
    QVERIFY(m_lock->tryLock(300000));

    // Nothing else may answer on those ports, or the test would speak to it.
    for (quint16 port : {kMessagePort, kRegistrationPort, kLoginPort}) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY2(!probe.waitForConnected(1000), qPrintable(u"port "_qs + QString::number(port) +
                                                           u" is taken by another program"_qs));
    }
    QVERIFY(QFile::copy(testsupport::executable(), m_dir.path() + u"/qingchuang"_qs));
    Options server;
    server.server = true;
    QVERIFY(configText(server).contains(u"[Server]\r\nServer=1\r\n"_qs));
    QVERIFY(testsupport::writeFile(m_dir.path() + u"/Config.ini"_qs, gbk(configText(server))));
    QVERIFY(testsupport::writeFile(m_dir.path() + u"/Message.txt"_qs, gbk(m_message)));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    m_server.setProcessEnvironment(env);
    m_server.setWorkingDirectory(m_dir.path());
    m_server.start(m_dir.path() + u"/qingchuang"_qs, {});
    QVERIFY(m_server.waitForStarted(kWait));
    // Up once all three services answer.
    for (quint16 port : {kMessagePort, kRegistrationPort, kLoginPort}) {
        QVERIFY2(QTest::qWaitFor(
                     [port] {
                         QTcpSocket probe;
                         probe.connectToHost(QHostAddress::LocalHost, port);
                         return probe.waitForConnected(500);
                     },
                     30000),
                 qPrintable(u"port "_qs + QString::number(port)));
    }
    // The account folder comes after the listeners, in the same start-up.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_dir.path() + u"/UserInfo"_qs).isDir(), kWait);
}

void tst_FixedPortsServer::cleanupTestCase() {
    QCOMPARE(m_server.state(), QProcess::Running); // it served all of the abuse and is still up
    m_server.kill();
    m_server.waitForFinished(5000);
}

QString tst_FixedPortsServer::register_(const QString &name, const QString &password,
                                        QByteArray *confirmation) {
    Client c(kRegistrationPort);
    if (!c.connected()) return QString();
    c.send(record(name, password, u"男"_qs));
    if (!c.waitClosed()) return QString();
    if (confirmation) *confirmation = c.received;
    return idOf(c.received);
}

void tst_FixedPortsServer::messageDownload() {
    Client c(kMessagePort);
    QVERIFY(c.waitClosed());
    QCOMPARE(c.received, gbk(u"\r\n  欢迎使用晴窗。\r\n  今天的消息：一切安好！"_qs));
}

void tst_FixedPortsServer::registrationAndLoginOnOneConnection() {
    QByteArray confirmation;
    const QString id = register_(u"测试用户"_qs, u"Pass 密码"_qs, &confirmation);
    QVERIFY(!id.isEmpty());
    const QString file = m_dir.path() + u"/UserInfo/"_qs + id + u".usr"_qs;
    QVERIFY(QFileInfo::exists(file));

    // The stored file and the confirmation agree, byte for byte.
    QTemporaryDir scratch;
    const ProgramFolder reader(scratch.path());
    QVERIFY(QDir(scratch.path()).mkdir(u"UserInfo"_qs));
    QVERIFY(QFile::copy(file, scratch.path() + u"/UserInfo/"_qs + id + u".usr"_qs));
    UserInfo stored(reader);
    QVERIFY(stored.getInfo(id));
    QCOMPARE(confirmation, gbk(protocol::registrationConfirmation(stored)));
    QCOMPARE(testsupport::readFile(file), stored.toBytes());
    QCOMPARE(stored.recordMark(), 998083);
    QCOMPARE(stored.getName(), u"测试用户"_qs);
    QCOMPARE(stored.getSex(), u"男"_qs);
    QCOMPARE(stored.getEmail(), u"-"_qs);
    QCOMPARE(stored.getIP(), u"127.0.0.1"_qs);

    // What "../<id>" would reach if ids became paths.
    QVERIFY(QFile::copy(file, m_dir.path() + u"/"_qs + id + u".usr"_qs));

    Client c(kLoginPort);
    QVERIFY(c.connected());
    const QList<QPair<QString, QByteArray>> steps{
        {id + NUL + u"Pass 密码"_qs, "200"},
        {id + NUL + u"pass 密码"_qs, "886"},
        {u"../"_qs + id + NUL + u"Pass 密码"_qs, "886"},
        {u"..\\"_qs + id + NUL + u"Pass 密码"_qs, "886"},
        {id + u"x"_qs + NUL + u"Pass 密码"_qs, "886"},
        {id + NUL, "886"},
        {id + NUL + u"Pass 密码"_qs, "200"},
    };
    for (const auto &[request, reply] : steps) {
        const qsizetype before = c.received.size();
        c.send(gbk(request));
        QVERIFY(c.waitFor(before + 3));
        QCOMPARE(c.received.mid(before), reply);
    }
    QVERIFY(!c.closed);
}

void tst_FixedPortsServer::recordInTwoPieces() {
    Client c(kRegistrationPort);
    QVERIFY(c.connected());
    const QByteArray rec = record(u"分两段"_qs, u"pw"_qs, u"女"_qs);
    c.send(rec.left(rec.indexOf('\0') + 1));
    QTest::qWait(150); // past the quiet time of a whole record, within that of one cut short
    QCOMPARE(c.received, QByteArray());
    c.send(rec.mid(rec.indexOf('\0') + 1));
    QVERIFY(c.waitClosed());
    const QString id = idOf(c.received);
    QVERIFY(!id.isEmpty());
    QVERIFY(c.received.contains(gbk(u"    姓名： 分两段 (女)\r\n"_qs)));
    QVERIFY(QFileInfo::exists(m_dir.path() + u"/UserInfo/"_qs + id + u".usr"_qs));
}

void tst_FixedPortsServer::twentyClientsAtOnce() {
    const QString id = register_(u"并发"_qs, u"pw"_qs);
    QVERIFY(!id.isEmpty());
    std::vector<std::unique_ptr<Client>> readers, registrations, logins;
    for (int i = 0; i < 20; ++i) {
        readers.push_back(std::make_unique<Client>(kMessagePort));
        registrations.push_back(std::make_unique<Client>(kRegistrationPort));
        logins.push_back(std::make_unique<Client>(kLoginPort));
    }
    for (int i = 0; i < 20; ++i) {
        QVERIFY(registrations[i]->connected());
        registrations[i]->send(record(u"用户"_qs + QString::number(i), u"pw"_qs, u"不详"_qs));
        QVERIFY(logins[i]->connected());
        logins[i]->send(gbk(id + NUL + (i % 2 ? u"pw"_qs : u"no"_qs)));
    }
    QSet<QString> ids;
    for (int i = 0; i < 20; ++i) {
        QVERIFY(readers[i]->waitClosed());
        QCOMPARE(readers[i]->received, gbk(u"\r\n  欢迎使用晴窗。\r\n  今天的消息：一切安好！"_qs));
        QVERIFY(registrations[i]->waitClosed());
        QVERIFY(registrations[i]->received.contains(
            gbk(u"    姓名： 用户"_qs + QString::number(i) + u" (不详)\r\n"_qs)));
        QVERIFY(registrations[i]->received.endsWith(gbk(u"-\r\n\r\n-"_qs)));
        ids.insert(idOf(registrations[i]->received));
        QVERIFY(logins[i]->waitFor(3));
        QCOMPARE(logins[i]->received, QByteArray(i % 2 ? "200" : "886"));
    }
    QCOMPARE(ids.size(), 20); // twenty different accounts, none overwritten
    for (const QString &newId : ids)
        QVERIFY(QFileInfo::exists(m_dir.path() + u"/UserInfo/"_qs + newId + u".usr"_qs));
}

void tst_FixedPortsServer::idleClientsBlockNobody() {
    Client idleLogin(kLoginPort), idleReg(kRegistrationPort), idleMsg(kMessagePort);
    QVERIFY(idleLogin.connected() && idleReg.connected());
    idleReg.send(QByteArray("half\0a record", 13));
    QVERIFY(idleMsg.waitClosed()); // a message client that never reads still gets its text
    QVERIFY(!idleMsg.received.isEmpty());

    const QString id = register_(u"后来者"_qs, u"pw"_qs);
    QVERIFY(!id.isEmpty());
    Client login(kLoginPort);
    QVERIFY(login.connected());
    login.send(gbk(id + NUL + u"pw"_qs));
    QVERIFY(login.waitFor(3));
    QCOMPARE(login.received, QByteArray("200"));
    QVERIFY(!idleLogin.closed);
    // The half record, quiet since, was taken as it stood: registered with the fields it has.
    QVERIFY(idleReg.waitClosed());
    QVERIFY2(idleReg.received.contains(gbk(u"    姓名： half ()\r\n"_qs)), idleReg.received.constData());
}

void tst_FixedPortsServer::megabyteOfGarbage() {
    const int before = int(QDir(m_dir.path() + u"/UserInfo"_qs).entryList(QDir::Files).size());
    Client reg(kRegistrationPort), login(kLoginPort);
    QVERIFY(reg.connected() && login.connected());
    QByteArray garbage(1 << 20, '\x01');
    garbage += QByteArray(4096, '\0');
    reg.send(garbage);
    login.send(garbage);
    QVERIFY(reg.waitClosed());
    QVERIFY(login.waitClosed());
    QCOMPARE(reg.received, QByteArray());
    QCOMPARE(login.received, QByteArray());
    QCOMPARE(int(QDir(m_dir.path() + u"/UserInfo"_qs).entryList(QDir::Files).size()), before);

    Client after(kMessagePort);
    QVERIFY(after.waitClosed());
    QVERIFY(!after.received.isEmpty());
}

void tst_FixedPortsServer::clientCopyExchangesEverything() {
    // A client copy on the product's ports, used through its windows: registration, login and
    // the message.
    Options o;
    o.ports = {kMessagePort, kRegistrationPort, kLoginPort};
    o.stateTimer = true;
    Copy copy(o);
    App &client = *copy.app;

    NewUser *form = client.newUser();
    form->autoConnect()->setInterval(20);
    form->show();
    QPushButton *reg = form->findChild<QPushButton *>(u"Reg"_qs);
    QTRY_VERIFY_WITH_TIMEOUT(reg->isEnabled(), kWait);
    form->findChild<RichTextBox *>(u"UserName"_qs)->setText(u"客户"_qs);
    form->findChild<RichTextBox *>(u"PassWord"_qs)->setText(u"口令"_qs);
    form->findChild<RichTextBox *>(u"Email"_qs)->setText(u"a@b.c"_qs);
    QTest::mouseClick(form->findChild<QRadioButton *>(u"SexGirl"_qs), Qt::LeftButton);
    QTest::mouseClick(reg, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!client.newUserLoaded(), kWait);
    QVERIFY(client.connectMe()->isVisible());
    const QString confirmation = client.connectMe()->content()->text();
    const QString id = idOf(gbk(confirmation));
    QVERIFY2(!id.isEmpty(), qPrintable(confirmation));
    QVERIFY2(confirmation.startsWith(u"\r\n  以下是您的注册信息：\r\n\r\n    账号： "_qs + id +
                                     u"\r\n    姓名： 客户 (女)\r\n    密码： 口令\r\n"
                                     u"    邮件： a@b.c\r\n    地址： -\r\n\r\n"_qs),
             qPrintable(confirmation));

    // The login window with that account.
    client.net().LoginPassed = false;
    client.connectMe()->hide();
    Login *login = client.login();
    login->autoConnect()->setInterval(20);
    login->show();
    QPushButton *btLogin = login->findChild<QPushButton *>(u"btLogin"_qs);
    QTRY_VERIFY_WITH_TIMEOUT(btLogin->isEnabled(), kWait);
    login->findChild<RichTextBox *>(u"UserName"_qs)->setText(id);
    login->findChild<RichTextBox *>(u"PassWord"_qs)->setText(u"口令"_qs);
    QTest::mouseClick(btLogin, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(client.net().LoginPassed, kWait);
    QVERIFY(!client.loginLoaded());
    QVERIFY(client.connectMe()->isVisible());

    // The message, with the connection window's button once it can be pressed (the window's
    // timer frees it when the registration's connection has ended).
    QPushButton *connectButton = client.connectMe()->findChild<QPushButton *>(u"bt_connect"_qs);
    QTRY_VERIFY_WITH_TIMEOUT(connectButton->isEnabled(), kWait);
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(client.connectMe()->content()->text(),
                              u"\r\n  欢迎使用晴窗。\r\n  今天的消息：一切安好！"_qs, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(client.connectMe()->hostIP()->text(), u" 连接已断开..."_qs, kWait);
}

QTEST_MAIN(tst_FixedPortsServer)
#include "tst_fixedports_server.moc"
