// Windows built alone, without an App: each is handed its folder, settings and service, shown,
// and driven by a real click; what the user asked for comes out of its signals.
#include "store/common/programfolder.h"
#include "store/settings/settings.h"
#include "ui/diary/index.h"
#include "store/keep/keepjob.h"
#include "ui/album/fmphoto.h"
#include "ui/net/netservice.h"
#include "ui/net/winsock.h"
#include "ui/netwindows/connectme.h"
#include "ui/netwindows/login.h"
#include "ui/netwindows/newuser.h"
#include "ui/widgets/richtextbox.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QApplication>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Clicks a control of w by its object name: a button at its centre, a menu-bar command on its
// place in the bar.
void clickControl(QWidget *w, const QString &name) {
    if (auto *button = w->findChild<QPushButton *>(name)) {
        QTest::mouseClick(button, Qt::LeftButton);
        return;
    }
    auto *action = w->findChild<QAction *>(name);
    QVERIFY2(action, qPrintable(name));
    auto *bar = w->findChild<QMenuBar *>();
    QVERIFY(bar);
    const QRect place = bar->actionGeometry(action);
    QVERIFY2(place.isValid(), qPrintable(name));
    QTest::mouseClick(bar, Qt::LeftButton, {}, place.center());
}

// A folder of its own with the settings, clock and service a network window is handed; nothing
// listens or connects until a window asks.
struct NetFixture {
    QTemporaryDir dir;
    ProgramFolder folder{dir.path()};
    Settings settings;
    std::unique_ptr<NetService> service;

    explicit NetFixture(bool server) {
        settings.IsServer = server;
        settings.ConnectIP = u"127.0.0.1"_qs;
        folder.clock = [] { return QDateTime(QDate(2024, 3, 5), QTime(9, 8, 7)); };
        service = std::make_unique<NetService>(folder, settings, Ports{0, 0, 0});
    }
};

} // namespace

class TestStandalone : public QObject {
    Q_OBJECT

    struct IndexAlone {
        QTemporaryDir dir;
        ProgramFolder folder;
        Settings settings;
        keep::Job job;
        std::unique_ptr<Index> w;

        IndexAlone() : folder(dir.path()) {
            folder.clock = [] { return QDateTime(QDate(2004, 9, 8), QTime(10, 0)); };
            w = std::make_unique<Index>(folder, settings, job);
        }
        template <typename T> T *get(const char *name) const {
            T *c = w->findChild<T *>(QString::fromLatin1(name));
            if (!c) qFatal("no control %s", name);
            return c;
        }
    };

private slots:
    void index();
    void indexAsks_data();
    void indexAsks();
    void connectMe_data();
    void connectMe();
    void connectMeClosed();
    void connectMeShowsService();
    void loginAndRegistration_data();
    void loginAndRegistration();
    void photo_data();
    void photo();
};

void TestStandalone::connectMe_data() {
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("signal");

    QTest::newRow("client back") << false << u"bt_back"_qs << QByteArray(SIGNAL(backRequested()));
    QTest::newRow("server back") << true << u"bt_back"_qs << QByteArray(SIGNAL(backRequested()));
    QTest::newRow("client register")
        << false << u"m_reg"_qs << QByteArray(SIGNAL(registrationRequested()));
}

// Each way out hides the window and asks for exactly one thing.
void TestStandalone::connectMe() {
    QFETCH(bool, server);
    QFETCH(QString, control);
    QFETCH(QByteArray, signal);

    NetFixture net(server);
    ConnectMe w(*net.service, net.settings, net.folder);
    w.load();
    w.stateTimer()->stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    QSignalSpy asked(&w, signal.constData());
    QSignalSpy back(&w, &ConnectMe::backRequested);
    QSignalSpy registration(&w, &ConnectMe::registrationRequested);
    QSignalSpy closed(&w, &ConnectMe::closed);
    clickControl(&w, control);
    QCOMPARE(asked.count(), 1);
    QCOMPARE(back.count() + registration.count() + closed.count(), 1);
    QVERIFY(!w.isVisible());
}

void TestStandalone::connectMeClosed() {
    NetFixture net(false);
    ConnectMe w(*net.service, net.settings, net.folder);
    w.load();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QSignalSpy back(&w, &ConnectMe::backRequested);
    QSignalSpy closed(&w, &ConnectMe::closed);
    QVERIFY(w.close());
    QCOMPARE(closed.count(), 1);
    QCOMPARE(back.count(), 0);
    QVERIFY(!w.isVisible());
}

// The window drives the service it is handed: 连接 on a client aims the message socket at the
// configured server on the service's message port, 取消 closes it again.
void TestStandalone::connectMeShowsService() {
    NetFixture net(false);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    net.service = std::make_unique<NetService>(net.folder, net.settings,
                                               Ports{server.serverPort(), 0, 0});
    ConnectMe w(*net.service, net.settings, net.folder);
    w.load();
    w.stateTimer()->stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    Winsock *wsk = net.service->Wsk;
    QCOMPARE(wsk->RemotePort(), int(server.serverPort()));
    clickControl(&w, u"bt_connect"_qs);
    QCOMPARE(w.content()->text(), u"\r\n  正在连接服务器..."_qs);
    QVERIFY(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 15000));
    QTRY_COMPARE_WITH_TIMEOUT(wsk->State(), int(Winsock::sckConnected), 15000);

    clickControl(&w, u"bt_cancel"_qs);
    QCOMPARE(wsk->State(), int(Winsock::sckClosed));
    QCOMPARE(w.hostIP()->text(), u" 用户中断连接..."_qs);
}

void TestStandalone::loginAndRegistration_data() {
    QTest::addColumn<bool>("login");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("signal");

    QTest::newRow("login cancel") << true << u"btCancel"_qs << QByteArray(SIGNAL(backRequested()));
    QTest::newRow("login register")
        << true << u"btRegNewUser"_qs << QByteArray(SIGNAL(registrationRequested()));
    QTest::newRow("login close box") << true << QString() << QByteArray(SIGNAL(closed()));
    QTest::newRow("registration cancel")
        << false << u"bt_cancel"_qs << QByteArray(SIGNAL(backRequested()));
    QTest::newRow("registration close box") << false << QString() << QByteArray(SIGNAL(closed()));
}

// The login and registration windows ask for exactly one thing at each way out.
void TestStandalone::loginAndRegistration() {
    QFETCH(bool, login);
    QFETCH(QString, control);
    QFETCH(QByteArray, signal);

    NetFixture net(false);
    std::unique_ptr<QWidget> w;
    if (login) {
        auto *l = new Login(*net.service, net.settings);
        l->load();
        w.reset(l);
    } else {
        auto *n = new NewUser(*net.service, net.settings);
        n->load();
        w.reset(n);
    }
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));

    QSignalSpy asked(w.get(), signal.constData());
    QSignalSpy back(w.get(), SIGNAL(backRequested()));
    QSignalSpy closed(w.get(), SIGNAL(closed()));
    std::unique_ptr<QSignalSpy> registration;
    if (login) registration = std::make_unique<QSignalSpy>(w.get(), SIGNAL(registrationRequested()));
    if (control.isEmpty())
        QVERIFY(w->close());
    else
        clickControl(w.get(), control);
    QCOMPARE(asked.count(), 1);
    QCOMPARE(back.count() + closed.count() + (registration ? registration->count() : 0), 1);
}

void TestStandalone::photo_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("signal");

    QTest::newRow("hide") << u"btHidden"_qs << QByteArray(SIGNAL(hideRequested()));
    QTest::newRow("back") << u"btBack"_qs << QByteArray(SIGNAL(backRequested()));
    QTest::newRow("close box") << QString() << QByteArray(SIGNAL(hideRequested()));
}

void TestStandalone::photo() {
    QFETCH(QString, control);
    QFETCH(QByteArray, signal);

    QTemporaryDir dir;
    const ProgramFolder folder(dir.path());
    Settings settings;
    fmPhoto w(folder, settings);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    // With no folder set, the album's folder is made in the program folder it was handed.
    QVERIFY(QFileInfo(dir.path() + u"/Images"_qs).isDir());
    QCOMPARE(QFileInfo(w.pictureFolder()).canonicalFilePath(),
             QFileInfo(dir.path() + u"/Images"_qs).canonicalFilePath());

    QSignalSpy asked(&w, signal.constData());
    QSignalSpy hide(&w, &fmPhoto::hideRequested);
    QSignalSpy back(&w, &fmPhoto::backRequested);
    if (control.isEmpty())
        QVERIFY(w.close());
    else
        clickControl(&w, control);
    QCOMPARE(asked.count(), 1);
    QCOMPARE(hide.count() + back.count(), 1);
}

void TestStandalone::index() {
    IndexAlone a;
    QSignalSpy loaded(a.w.get(), &Index::loaded);
    a.w->LoadSequence();
    QCOMPARE(loaded.count(), 1);
    QVERIFY(QFileInfo(a.dir.path() + u"/DB"_qs).isDir());
    QVERIFY(QFileInfo(a.dir.path() + u"/Love"_qs).isDir());
    QCOMPARE(a.w->CurDate, QDate(2004, 9, 8));
    QCOMPARE(a.w->view(), Index::View::Diary);
    // The settings handed in are the ones the load sequence fills.
    QCOMPARE(a.settings.FirstPage, u"index.KAV"_qs);
    QCOMPARE(a.get<RichTextBox>("tt_year")->text(), u"2004"_qs);
}

void TestStandalone::indexAsks_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("signal");
    QTest::addColumn<bool>("staysShown");
    QTest::newRow("退出") << u"bt_exit"_qs << QByteArray(SIGNAL(exitRequested())) << true;
    QTest::newRow("隐藏") << u"bt_hidden"_qs << QByteArray(SIGNAL(hideRequested())) << true;
    QTest::newRow("消 息") << u"bt_love"_qs << QByteArray(SIGNAL(messageRequested())) << false;
    QTest::newRow("Ctrl+F") << u"Ctrl+F"_qs << QByteArray(SIGNAL(findRequested())) << true;
    QTest::newRow("close box") << u"close"_qs << QByteArray(SIGNAL(exitRequested())) << false;
}

void TestStandalone::indexAsks() {
    QFETCH(QString, how);
    QFETCH(QByteArray, signal);
    QFETCH(bool, staysShown);
    IndexAlone a;
    a.w->LoadSequence();
    a.w->show();
    QVERIFY(QTest::qWaitForWindowActive(a.w.get()));
    QSignalSpy asked(a.w.get(), signal.constData());
    QSignalSpy exiting(a.w.get(), &Index::exitRequested);
    if (how == u"Ctrl+F") {
        QTest::keyClick(a.get<RichTextBox>("mmw"), Qt::Key_F, Qt::ControlModifier);
    } else if (how == u"close") {
        a.w->close();
    } else {
        QPushButton *b = a.get<QPushButton>(how.toLatin1().constData());
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    }
    QCOMPARE(asked.count(), 1);
    // Leaving the program is the application's to do: the window only asks.
    if (signal != QByteArray(SIGNAL(exitRequested()))) QCOMPARE(exiting.count(), 0);
    QCOMPARE(a.w->isVisible(), staysShown);
}

QTEST_MAIN(TestStandalone)
#include "tst_standalone.moc"
