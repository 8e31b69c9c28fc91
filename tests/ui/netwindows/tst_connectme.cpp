// The connection and message window in both modes, against a server copy of the program and
// scripted peers on loopback.
#include "ui/netwindows/connectme.h"
#include "store/net/msgload.h"
#include "ui/netwindows/netwindowtext.h"
#include "netwindows.h"

#include "ui/diary/index.h"
#include "ui/netwindows/newuser.h"
#include "store/net/protocol.h"
#include "ui/widgets/ui.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace netwindows;

namespace {

// Every distinct text the status line shows, in order.
struct StatusLog {
    QStringList texts;
    explicit StatusLog(RichTextBox *status) {
        QObject::connect(status, &QTextEdit::textChanged, status, [this, status] {
            const QString t = status->toPlainText();
            if (texts.isEmpty() || texts.last() != t) texts << t;
        });
    }
};

// True when wanted appear in log in this order, others allowed between them.
bool inOrder(const QStringList &log, const QStringList &wanted) {
    qsizetype at = 0;
    for (const QString &t : log)
        if (at < wanted.size() && t == wanted[at]) ++at;
    return at == wanted.size();
}

} // namespace

class tst_ConnectMe : public QObject {
    Q_OBJECT
private slots:
    void clientLoad_data();
    void clientLoad();
    void serverLoad();
    void download();
    void serverDownEndsDisconnected();
    void cancelAndStates();
    void localPortTakenFallsBackToAnyPort();
    void thanksAndConnectionInfo();
    void registerAndBack();
    void publishThenDownload();
    void failedPublishKeepsOldMessageAndText_data();
    void failedPublishKeepsOldMessageAndText();
    void saveListAppendsToTheDaysFile();
    void saveListFailure();
    void logKeepsTheNewestEntries();
    void serviceReport();
    void growing();
};

void tst_ConnectMe::clientLoad_data() {
    QTest::addColumn<bool>("passme");
    QTest::newRow("login needed") << false;
    QTest::newRow("login switched off") << true;
}

void tst_ConnectMe::clientLoad() {
    QFETCH(bool, passme);
    Options o;
    o.passme = passme;
    Copy c(o);
    ConnectMe *cm = c.cm();
    QCOMPARE(cm->windowTitle(), u" "_qs);
    QCOMPARE(button(cm, "bt_connect")->text(), u"连接"_qs);
    QCOMPARE(action(cm, "m_update")->text(), u"连接信息"_qs);
    QCOMPARE(action(cm, "m_thanks")->text(), u"^-^"_qs);
    QCOMPARE(action(cm, "m_reg")->isVisible(), !passme);
    for (const char *hidden : {"m_issuance", "m_seeList", "m_save"})
        QVERIFY2(!action(cm, hidden)->isVisible(), hidden);
    QVERIFY(button(cm, "bt_save")->isHidden());
    QCOMPARE(c.cm()->hostIP()->text(), u" Welcome You!"_qs);
    QCOMPARE(c.content(), QString());
    QVERIFY(c.cm()->content()->isReadOnly());
    QCOMPARE(c.cm()->content()->backColor(), ui::buttonFace());
    QCOMPARE(c.fn->Wsk->RemotePort(), int(c.app->ports().message));
    QCOMPARE(c.fn->Wsk->RemoteHost(), u"127.0.0.1"_qs);
}

// Grown, the pane takes the room; the status line takes the width; the buttons keep to the
// bottom, the first two at the left, the last two at the right. At its laid-out size everything
// is where the window's table puts it.
void tst_ConnectMe::growing() {
    auto server = serverCopy();
    ConnectMe *cm = server->cm();
    cm->show();
    QVERIFY(QTest::qWaitForWindowExposed(cm));
    QWidget *form = cm->centralWidget();
    QCOMPARE(form->size(), QSize(484, 348));
    const QRect content(4, 4, 476, 276), host(4, 284, 476, 20), connect(4, 312, 73, 25), back(407, 312, 73, 25);
    QCOMPARE(cm->content()->geometry(), content);
    QCOMPARE(cm->hostIP()->geometry(), host);
    QCOMPARE(button(cm, "bt_connect")->geometry(), connect);
    QCOMPARE(button(cm, "bt_back")->geometry(), back);

    cm->resize(cm->size() + QSize(200, 100));
    QVERIFY(testsupport::waitUntil([&] { return form->size() == QSize(684, 448); }, 3000));
    QCOMPARE(cm->content()->geometry(), content.adjusted(0, 0, 200, 100));
    QCOMPARE(cm->hostIP()->geometry(), host.translated(0, 100).adjusted(0, 0, 200, 0));
    QCOMPARE(button(cm, "bt_connect")->geometry(), connect.translated(0, 100));
    QCOMPARE(button(cm, "bt_back")->geometry(), back.translated(200, 100));
}

void tst_ConnectMe::serverLoad() {
    auto server = serverCopy();
    ConnectMe *cm = server->cm();
    QCOMPARE(cm->windowTitle(), u" 服务器模式"_qs);
    for (const char *name : {"bt_connect", "bt_cancel", "bt_save"})
        QVERIFY2(!button(cm, name)->isEnabled(), name);
    QVERIFY(!cm->stateTimer()->isActive());
    QVERIFY(!action(cm, "m_reg")->isVisible());
    QCOMPARE(action(cm, "m_update")->text(), u"刷新消息"_qs);
    for (const char *shown : {"m_thanks", "m_update", "m_issuance", "m_seeList", "m_save"})
        QVERIFY2(action(cm, shown)->isVisible(), shown);
    QCOMPARE(server->content(), QString()); // the log is empty at start
    QCOMPARE(cm->hostIP()->text(), u" Welcome You!"_qs);
}

// The road of a download, as the user sees it.
void tst_ConnectMe::download() {
    // A message long enough to arrive in many pieces.
    QString message;
    for (int i = 0; i < 4000; ++i) message += u"第%1行消息，晴窗。\r\n"_qs.arg(i);
    auto server = serverCopy(gbk(message));
    Copy client(clientOf(*server));
    ConnectMe *cm = client.cm();
    cm->stateTimer()->setInterval(50);
    StatusLog status(cm->hostIP());
    cm->show();

    button(cm, "bt_connect")->click();
    QCOMPARE(client.content(), u"\r\n  正在连接服务器..."_qs);
    QCOMPARE(cm->hostIP()->text(), u" 正在连接服务器..."_qs);
    QCOMPARE(button(cm, "bt_connect")->text(), u"刷新"_qs);
    QVERIFY(!button(cm, "bt_connect")->isEnabled());
    QVERIFY(button(cm, "bt_cancel")->isEnabled());

    QVERIFY(QTest::qWaitFor([&] { return status.texts.last() == u" 连接已断开..."_qs; }, kWait));
    QVERIFY2(inOrder(status.texts, {u" 正在连接服务器..."_qs, u" 开始接收数据..."_qs,
                                    u" 数据传送完毕！"_qs, u" 连接已断开..."_qs}),
             qPrintable(status.texts.join(u'|')));
    QCOMPARE(client.content(), net::messageFromText(message));
    QVERIFY(button(cm, "bt_connect")->isEnabled());
    QVERIFY(!button(cm, "bt_cancel")->isEnabled());
    QCOMPARE(button(cm, "bt_connect")->text(), u"刷新"_qs);
    QCOMPARE(client.fn->Wsk->State(), int(Winsock::sckClosed));
    // The server logged the download.
    QVERIFY(server->cm()->ClientList.endsWith(u"   (ReadMessage)"_qs));
}

void tst_ConnectMe::serverDownEndsDisconnected() {
    Options o;
    o.stateTimer = true;
    o.ports = {closedPort(), 0, 0};
    Copy client(o);
    client.cm()->stateTimer()->setInterval(50);
    button(client.cm(), "bt_connect")->click();
    QVERIFY(QTest::qWaitFor(
        [&] { return client.cm()->hostIP()->text() == u" 连接已断开..."_qs; }, kWait));
    QVERIFY(button(client.cm(), "bt_connect")->isEnabled());
    // The refusal was reported after the connecting text.
    QVERIFY(client.content().startsWith(u"\r\n  正在连接服务器..."_qs));
    QVERIFY(client.content().size() > u"\r\n  正在连接服务器..."_qs.size());
}

void tst_ConnectMe::cancelAndStates() {
    Peer silent; // accepts and never sends
    Options o;
    o.stateTimer = true;
    o.ports = {silent.port(), 0, 0};
    Copy client(o);
    ConnectMe *cm = client.cm();
    cm->stateTimer()->setInterval(50);
    button(cm, "bt_connect")->click();
    QVERIFY(QTest::qWaitFor([&] { return cm->hostIP()->text() == u" 服务器正常提供服务."_qs; }, kWait));
    QVERIFY(!button(cm, "bt_connect")->isEnabled());

    button(cm, "bt_cancel")->click();
    QCOMPARE(client.content(), u"\r\n  用户中断连接..."_qs);
    QCOMPARE(cm->hostIP()->text(), u" 用户中断连接..."_qs);
    QCOMPARE(button(cm, "bt_connect")->text(), u"连接"_qs);
    QVERIFY(button(cm, "bt_connect")->isEnabled());
    QVERIFY(!button(cm, "bt_cancel")->isEnabled());
    QCOMPARE(client.fn->Wsk->State(), int(Winsock::sckClosed));
    QVERIFY(QTest::qWaitFor([&] { return silent.peerClosed; }, kWait));
    QVERIFY(QTest::qWaitFor([&] { return cm->hostIP()->text() == u" 连接已断开..."_qs; }, kWait));

}

void tst_ConnectMe::localPortTakenFallsBackToAnyPort() {
    auto server = serverCopy(gbk(u"端口"_qs));
    QTcpServer holder; // holds the configured local port
    QVERIFY(holder.listen(QHostAddress::Any, 0));
    Options o = clientOf(*server);
    Copy client(o);
    client.app->settings().LocPort = holder.serverPort();
    client.fn->Wsk->setLocalPort(holder.serverPort());
    ConnectMe *cm = client.cm();
    cm->stateTimer()->setInterval(50);

    button(cm, "bt_connect")->click();
    QCOMPARE(client.app->settings().LocPort, 0);
    QCOMPARE(client.content(), u"\r\n  正在连接服务器..."_qs);
    QCOMPARE(cm->hostIP()->text(), u" Welcome You!"_qs); // the later steps were skipped
    QVERIFY(button(cm, "bt_connect")->isEnabled());

    button(cm, "bt_connect")->click();
    QVERIFY(QTest::qWaitFor([&] { return client.content() == u"\r\n  端口"_qs; }, kWait));
}

void tst_ConnectMe::thanksAndConnectionInfo() {
    Peer silent;
    Options o;
    o.ports = {silent.port(), 0, 0};
    Copy client(o);
    ConnectMe *cm = client.cm();
    action(cm, "m_thanks")->trigger();
    QCOMPARE(client.content(),
             u"\r\n  呵呵，你好。今天心情怎么样？\r\n  如果连接不上服务器，那说明服务器没有开。\r\n"
             u"  毕竟俺的机器不是专业的服务器。\r\n  如果你想替俺做服务器或想要服务器端软件，\r\n"
             u"  记得和我联系，免费奉送了！\r\n  现在不是流行免费吗？^-^\r\n"
             u"  到时候记得把地址告诉我啊！\r\n"_qs);

    button(cm, "bt_connect")->click();
    QVERIFY(waitState(client.fn->Wsk, Winsock::sckConnected));
    action(cm, "m_update")->trigger();
    const QString info = client.content();
    QCOMPARE(info, u"\r\n  服务器：127.0.0.1:**** \r\n  本机IP：127.0.0.1:"_qs +
                       QString::number(silent.socket->peerPort()));
    QVERIFY(!info.contains(QString::number(silent.port())));
}

void tst_ConnectMe::registerAndBack() {
    Copy client;
    ConnectMe *cm = client.cm();
    cm->show();
    action(cm, "m_reg")->trigger();
    QVERIFY(!cm->isVisible());
    QVERIFY(client.app->newUserLoaded());
    QVERIFY(client.app->newUser()->isVisible());

    client.app->closeNewUser();
    cm->show();
    client.app->index()->hide();
    button(cm, "bt_back")->click();
    QVERIFY(!cm->isVisible());
    QVERIFY(client.app->index()->isVisible());
}

void tst_ConnectMe::publishThenDownload() {
    auto server = serverCopy(gbk(u"旧消息"_qs));
    ConnectMe *cm = server->cm();
    RichTextBox *pane = cm->content();
    cm->show();
    action(cm, "m_issuance")->trigger();
    QCOMPARE(pane->text(), QString());
    QVERIFY(!pane->isReadOnly());
    QCOMPARE(pane->backColor(), ui::windowBackground());
    QVERIFY(button(cm, "bt_save")->isEnabled());
    typeText(pane, u"新的消息"_qs);
    QTest::keyClick(pane, Qt::Key_Return);
    typeText(pane, u"第二行"_qs);

    button(cm, "bt_save")->click();
    QCOMPARE(testsupport::readFile(server->path(u"Message.txt"_qs)),
             gbk(u"新的消息\r\n第二行\r\n"_qs));
    QCOMPARE(server->fn->MessageSended, u"\r\n  新的消息\r\n  第二行"_qs);
    QVERIFY(!button(cm, "bt_save")->isEnabled());
    QVERIFY(!pane->isReadOnly()); // still editable, but not savable until 消息发布 again
    QCOMPARE(pane->backColor(), ui::buttonFace());

    // The next client receives the new text at once.
    Copy client(clientOf(*server));
    button(client.cm(), "bt_connect")->click();
    QVERIFY(QTest::qWaitFor(
        [&] { return client.content() == u"\r\n  新的消息\r\n  第二行"_qs; }, kWait));
}

void tst_ConnectMe::failedPublishKeepsOldMessageAndText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fileBecomesFolder");
    QTest::newRow("larger than a message may be")
        << QString(net::kMaxMessageFileBytes / 2 + 1, u'字') << false;
    QTest::newRow("the file cannot be replaced") << u"新的消息"_qs << true;
}

void tst_ConnectMe::failedPublishKeepsOldMessageAndText() {
    QFETCH(QString, text);
    QFETCH(bool, fileBecomesFolder);
    auto server = serverCopy(gbk(u"旧消息"_qs));
    const QString file = server->path(u"Message.txt"_qs);
    if (fileBecomesFolder) {
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkpath(file + u"/inside"_qs));
    }
    const QString sentBefore = server->fn->MessageSended;
    ConnectMe *cm = server->cm();
    action(cm, "m_issuance")->trigger();
    cm->content()->setText(text);
    button(cm, "bt_save")->click();

    QCOMPARE(cm->hostIP()->text(), u"  有错误发生。"_qs);
    QCOMPARE(cm->content()->text(), text);
    QVERIFY(button(cm, "bt_save")->isEnabled());
    QCOMPARE(server->fn->MessageSended, sentBefore);
    if (!fileBecomesFolder) QCOMPARE(testsupport::readFile(file), gbk(u"旧消息"_qs));
}

void tst_ConnectMe::saveListAppendsToTheDaysFile() {
    Options o;
    o.server = true;
    o.clock = QDateTime(QDate(2004, 3, 5), QTime(9, 8, 7));
    Copy server(o);
    ConnectMe *cm = server.cm();
    const QString logFile = server.path(u"LogFile/20040305.txt"_qs);

    // An empty log still makes the folder and the day's file.
    action(cm, "m_save")->trigger();
    QCOMPARE(testsupport::readFile(logFile), QByteArray("\r\n"));

    for (int i = 0; i < 2; ++i) {
        Copy client(clientOf(server));
        button(client.cm(), "bt_connect")->click();
        QVERIFY(QTest::qWaitFor(
            [&] { return cm->ClientList.count(u"   (ReadMessage)"_qs) == i + 1; }, kWait));
    }
    const QString list = cm->ClientList;
    QCOMPARE(list.count(u"   (ReadMessage)"_qs), 2);
    QVERIFY(list.startsWith(u"\r\n  >> 127.0.0.1 = "_qs));
    QVERIFY(list.contains(u" =  2004-3-5  - 9:08:07   (ReadMessage)"_qs));
    action(cm, "m_seeList")->trigger();
    QCOMPARE(server.content(), list);

    action(cm, "m_thanks")->trigger();
    const QString pane = server.content();
    action(cm, "m_save")->trigger();
    action(cm, "m_save")->trigger();
    QCOMPARE(testsupport::readFile(logFile), "\r\n" + gbk(list) + "\r\n" + gbk(list) + "\r\n");
    QCOMPARE(server.content(), pane); // saving says nothing
    QCOMPARE(cm->ClientList, list);
}

void tst_ConnectMe::saveListFailure() {
    auto server = serverCopy();
    ConnectMe *cm = server->cm();
    // \LogFile cannot be made: a file has its name.
    QVERIFY(testsupport::writeFile(server->path(u"LogFile"_qs), "x"));
    cm->ClientList = u"\r\n  >> 1.2.3.4 = 5 =  2004-3-5  - 9:08:07   (Login)"_qs;
    action(cm, "m_save")->trigger();
    QCOMPARE(server->content(), u"\r\n  有错误发生。"_qs);
    QCOMPARE(cm->ClientList, u"\r\n  >> 1.2.3.4 = 5 =  2004-3-5  - 9:08:07   (Login)"_qs);

    // A message being written is not overwritten by the report.
    action(cm, "m_issuance")->trigger();
    cm->content()->setText(u"写了一半的消息"_qs);
    action(cm, "m_save")->trigger();
    QCOMPARE(server->content(), u"写了一半的消息"_qs);
    QCOMPARE(cm->hostIP()->text(), u"  有错误发生。"_qs);
}

void tst_ConnectMe::logKeepsTheNewestEntries() {
    auto server = serverCopy();
    ConnectMe *cm = server->cm();
    const QDateTime when(QDate(2004, 3, 5), QTime(9, 8, 7));
    QString entry;
    int n = 0;
    while (cm->ClientList.size() + 100 < ConnectMe::kMaxClientList) {
        entry = protocol::logLine(u"10.0.0.1"_qs, n++, when, protocol::Service::Login);
        cm->logConnection(entry);
    }
    const QString full = cm->ClientList;
    for (int i = 0; i < 10; ++i)
        cm->logConnection(protocol::logLine(u"10.0.0.2"_qs, i, when, protocol::Service::Message));
    const QString &list = cm->ClientList;
    QVERIFY(list.size() <= ConnectMe::kMaxClientList);
    QVERIFY(list.size() >= ConnectMe::kMaxClientList / 2);
    // Whole entries, the oldest gone, the newest all there.
    QVERIFY(list.startsWith(u"\r\n  >> 10.0.0.1 = "_qs));
    const qsizetype firstNew = list.indexOf(u"\r\n  >> 10.0.0.2"_qs);
    QVERIFY(firstNew > 0);
    QVERIFY(full.endsWith(list.left(firstNew)));
    QVERIFY(!list.contains(u"\r\n  >> 10.0.0.1 = 0 = "_qs));
    for (int i = 0; i < 10; ++i)
        QVERIFY(list.contains(u"10.0.0.2 = "_qs + QString::number(i) + u" = "_qs));
    QVERIFY(list.endsWith(u"10.0.0.2 = 9 =  2004-3-5  - 9:08:07   (ReadMessage)"_qs));
}

void tst_ConnectMe::serviceReport() {
    QCOMPARE(netwindow::serviceReport(u"\r\n  消息"_qs, {u"10.0.0.1"_qs, 9983},
                                      {u"10.0.0.1"_qs, 9980}, {u"10.0.0.1"_qs, 2799}),
             u"\r\n  消息\r\n"
             u" +-----------------------------------+\r\n"
             u"    10.0.0.1 - 9983  (MsgSvr)\r\n"
             u"    10.0.0.1 - 9980  (RegSvr)\r\n"
             u"    10.0.0.1 - 2799  (LogSvr)\r\n"
             u" +-----------------------------------+"_qs);

    auto server = serverCopy(gbk(u"消息"_qs));
    action(server->cm(), "m_update")->trigger();
    const QString report = server->content();
    QVERIFY(report.startsWith(u"\r\n  消息\r\n +---"_qs));
    for (const auto &[w, tag] : {std::pair{server->fn->svr, u"MsgSvr"_qs},
                                 std::pair{server->fn->RegSvr, u"RegSvr"_qs},
                                 std::pair{server->fn->LogSvr, u"LogSvr"_qs}})
        QVERIFY2(report.contains(u" - "_qs + QString::number(w->LocalPort()) + u"  ("_qs + tag + u")"_qs),
                 qPrintable(report));
}

QTEST_MAIN(tst_ConnectMe)
#include "tst_connectme.moc"
