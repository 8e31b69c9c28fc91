// The tray icon's left and right presses, driven through sequences of clicks.
#include "ui/album/fmphoto.h"
#include "ui/diary/index.h"
#include "ui/netwindows/connectme.h"
#include "ui/netwindows/login.h"
#include "ui/netwindows/newuser.h"
#include "ui/app/app.h"
#include "ui/app/tips.h"
#include "ui/app/trayicons.h"
#include "testsupport.h"

#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestTrayWindowProc : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;

private slots:
    // The album reads C:\\Images\\ as the home folder's Images: keep it in a temporary home.
    void initTestCase() { qputenv("HOME", m_home.path().toLocal8Bit()); }
    void sequences_data();
    void sequences();
    void iconDrawnAtTheSizeAsked();
    void picturePixels_data();
    void picturePixels();
};

void TestTrayWindowProc::sequences_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("mainVisible");
    QTest::addColumn<bool>("mainShown");
    QTest::addColumn<bool>("albumOpen");
    // Steps: L and R are the icon's presses; the others act on the windows.
    QTest::newRow("left") << QStringList{u"L"_qs} << true << true << false;
    QTest::newRow("right hides") << QStringList{u"R"_qs} << false << false << false;
    QTest::newRow("right twice shows again") << QStringList{u"R"_qs, u"R"_qs} << true << true << false;
    QTest::newRow("after hide, first right changes nothing visible")
        << QStringList{u"hide"_qs, u"R"_qs} << false << false << false;
    QTest::newRow("after hide, second right shows") << QStringList{u"hide"_qs, u"R"_qs, u"R"_qs} << true << true << false;
    QTest::newRow("after hide, left shows") << QStringList{u"hide"_qs, u"L"_qs} << true << true << false;
    QTest::newRow("album open, left closes it") << QStringList{u"album"_qs, u"L"_qs} << true << true << false;
    QTest::newRow("album open, right closes it, main stays hidden")
        << QStringList{u"album"_qs, u"R"_qs} << false << false << false;
    QTest::newRow("login open, left closes it") << QStringList{u"login"_qs, u"L"_qs} << true << true << false;
    QTest::newRow("message window, left hides it") << QStringList{u"message"_qs, u"L"_qs} << true << true << false;
    QTest::newRow("other events do nothing") << QStringList{u"hide"_qs, u"other"_qs} << false << true << false;
    QTest::newRow("album stays without clicks") << QStringList{u"album"_qs} << false << true << true;
}

void TestTrayWindowProc::sequences() {
    QFETCH(QStringList, steps);
    QFETCH(bool, mainVisible);
    QFETCH(bool, mainShown);
    QFETCH(bool, albumOpen);
    QTemporaryDir dir;
    // Passme=0: the message button leads to the login window.
    testsupport::writeFile(dir.path() + u"/Config.ini"_qs, "[PassCheck]\r\nPassme=0\r\n");
    App app(dir.path());
    app.setTrayAvailable([] { return true; }); // the icon's clicks come from a notification area
    Index *w = app.index();
    w->show();
    for (const QString &step : steps) {
        if (step == u"L") app.TrayWindowProc(Tips::LeftButtonDown);
        else if (step == u"R") app.TrayWindowProc(Tips::RightButtonDown);
        else if (step == u"other") app.TrayWindowProc(0x202);
        else if (step == u"hide") w->findChild<QPushButton *>(u"bt_hidden"_qs)->click();
        else if (step == u"album") {
            QTest::keyPress(w->findChild<QListWidget *>(u"PicList"_qs), Qt::Key_Control);
            w->findChild<QPushButton *>(u"bt_about"_qs)->click();
            QVERIFY(app.photoLoaded() && app.photo()->isVisible());
        } else if (step == u"login") {
            w->findChild<QPushButton *>(u"bt_love"_qs)->click();
            QVERIFY(app.loginLoaded());
            app.newUser()->show();
        } else if (step == u"message") {
            w->hide();
            app.connectMe()->show();
        }
        QCoreApplication::processEvents();
    }
    QCOMPARE(w->isVisible(), mainVisible);
    QCOMPARE(app.mainShown(), mainShown);
    QCOMPARE(app.photoLoaded(), albumOpen);
    if (steps.contains(u"L"_qs) || steps.contains(u"R"_qs)) {
        QVERIFY(!app.loginLoaded() && !app.newUserLoaded());
        QVERIFY(!app.connectMe()->isVisible());
    }
}

void TestTrayWindowProc::picturePixels_data() {
    QTest::addColumn<bool>("server");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QRgb>("colour");
    // At 32 pixels: the sun, a pane of sky, the frame's bar, the corner outside, the mast.
    QTest::newRow("server sun") << true << QPoint(20, 12) << qRgba(255, 200, 40, 255);
    QTest::newRow("server sky") << true << QPoint(8, 8) << qRgba(150, 200, 255, 255);
    QTest::newRow("server frame") << true << QPoint(16, 22) << qRgba(90, 60, 30, 255);
    QTest::newRow("server corner") << true << QPoint(0, 0) << qRgba(0, 0, 0, 0);
    QTest::newRow("server mast") << true << QPoint(7, 25) << qRgba(200, 30, 30, 255);
    QTest::newRow("client sun") << false << QPoint(20, 12) << qRgba(255, 200, 40, 255);
    QTest::newRow("client sky") << false << QPoint(8, 8) << qRgba(180, 225, 255, 255);
    QTest::newRow("client frame") << false << QPoint(16, 22) << qRgba(40, 90, 160, 255);
    QTest::newRow("client corner") << false << QPoint(0, 0) << qRgba(0, 0, 0, 0);
    QTest::newRow("client, no mast") << false << QPoint(7, 25) << qRgba(180, 225, 255, 255);
}

// The pictures the notification area shows, pixel by pixel where they are of one colour.
void TestTrayWindowProc::picturePixels() {
    QFETCH(bool, server);
    QFETCH(QPoint, at);
    QFETCH(QRgb, colour);
    const QImage image = trayicons::icon(server)
                             .pixmap(QSize(32, 32))
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(32, 32));
    QCOMPARE(QColor::fromRgba(image.pixel(at)), QColor::fromRgba(colour));
}

// The tray's icon is drawn when the desktop asks for a size: at that size, or a listed size made
// smaller, never larger than its largest.
void TestTrayWindowProc::iconDrawnAtTheSizeAsked() {
    const QIcon server = trayicons::icon(true);
    const QIcon client = trayicons::icon(false);
    QCOMPARE(server.availableSizes().size(), 7);
    QCOMPARE(server.pixmap(QSize(22, 22)).toImage(), trayicons::serverPicture(22).toImage());
    QCOMPARE(client.pixmap(QSize(48, 48)).toImage(), trayicons::clientPicture(48).toImage());
    QCOMPARE(client.pixmap(QSize(20, 20)).size(), QSize(20, 20));
    QCOMPARE(client.pixmap(QSize(300, 300)).size(), QSize(128, 128));
    QVERIFY(server.pixmap(QSize(22, 22)).toImage() != client.pixmap(QSize(22, 22)).toImage());
}

QTEST_MAIN(TestTrayWindowProc)
#include "tst_traywindowproc.moc"
