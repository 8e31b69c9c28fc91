// The tray icon on a real X desktop: Xvfb with trayer as the notification area.
#include "ui/diary/index.h"
#include "ui/app/app.h"
#include "ui/app/tips.h"
#include "testsupport.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The window tree of the desktop, as xwininfo prints it.
QString windowTree() {
    QProcess p;
    p.start(u"xwininfo"_qs, {u"-root"_qs, u"-tree"_qs});
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// True when the tray (trayer's "panel" window) holds a window of ours.
bool iconDocked() {
    const QStringList lines = windowTree().split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines[i].contains(u"\"panel\""_qs)) continue;
        const qsizetype panel = lines[i].indexOf(u"0x"_qs);
        for (int j = i + 1; j < lines.size(); ++j) {
            const qsizetype at = lines[j].indexOf(u"0x"_qs);
            if (at >= 0 && at <= panel) break; // past the panel's own children
            if (lines[j].contains(u"(\"tst_traydesktop\""_qs)) return true;
        }
    }
    return false;
}


} // namespace

class TestTrayDesktop : public QObject {
    Q_OBJECT
public:
    bool haveDesktop = false;

private slots:
    void iconAppearsComesBackAndLeavesOnExit();

private:
    void startTray(QProcess &trayer) {
        trayer.start(u"trayer"_qs, {u"--edge"_qs, u"top"_qs, u"--align"_qs, u"right"_qs, u"--widthtype"_qs,
                                     u"pixel"_qs, u"--width"_qs, u"100"_qs, u"--height"_qs, u"24"_qs});
        QVERIFY(trayer.waitForStarted(5000));
        QVERIFY(testsupport::waitUntil([] { return windowTree().contains(u"\"panel\""_qs); }, 5000));
    }
};

void TestTrayDesktop::iconAppearsComesBackAndLeavesOnExit() {
    // scripts/deps.sh installs them; without them the test fails rather than pass unseen.
    QVERIFY2(haveDesktop && !QStandardPaths::findExecutable(u"trayer"_qs).isEmpty() &&
                 !QStandardPaths::findExecutable(u"xwininfo"_qs).isEmpty(),
             "needs Xvfb, trayer and xwininfo (x11-utils)");
    QProcess trayer;
    startTray(trayer);
    QTemporaryDir dir;
    App app(dir.path());
    app.index()->show();
    QVERIFY(testsupport::waitUntil(iconDocked, 30000));

    // The desktop's tray restarts: the icon comes back by itself (the one-second timer adds it
    // again). How soon is not this test's business; the wait only bounds a hang.
    trayer.kill();
    trayer.waitForFinished();
    QVERIFY(testsupport::waitUntil([] { return !iconDocked(); }, 30000));
    QProcess again;
    startTray(again);
    QVERIFY(testsupport::waitUntil(iconDocked, 30000));

    // "退出" takes the icon away.
    app.index()->findChild<QPushButton *>(u"bt_exit"_qs)->click();
    QVERIFY(testsupport::waitUntil([] { return !iconDocked(); }, 30000));
    again.kill();
    again.waitForFinished();
}

int main(int argc, char *argv[]) {
    const bool desktop = testsupport::startDesktop();
    QApplication application(argc, argv);
    TestTrayDesktop test;
    test.haveDesktop = desktop;
    const int result = QTest::qExec(&test, argc, argv);
    testsupport::stopDesktop();
    return result;
}

#include "tst_traydesktop.moc"
