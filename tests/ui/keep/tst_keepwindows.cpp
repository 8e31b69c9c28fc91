#include "ui/keep/exportwindow.h"
#include "ui/diary/index.h"
#include "ui/keep/restorewindow.h"
#include "store/keep/backup.h"
#include "store/keep/keepjob.h"
#include "ui/widgets/richtextbox.h"
#include "ui/app/app.h"
#include "testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The diary over a temporary program folder, on a day the test moves.
struct Diary {
    QTemporaryDir dir;
    QDateTime time = QDateTime(QDate(2004, 9, 8), QTime(10, 0));
    std::unique_ptr<App> app;

    Diary() {
        testsupport::writeFile(path(u"DB/20040908.KAV"_qs),
                               "\x7f"
                               "1\r\nold title\r\n\x07\r\n{\\rtf1 old words\\par }\r\n \x7f\r\n");
        app = std::make_unique<App>(dir.path());
        app->setClock([this] { return time; });
        app->index()->show();
    }
    QString path(const QString &rel) const { return dir.path() + u'/' + rel; }
    QString status() const { return app->index()->findChild<RichTextBox *>(u"says"_qs)->text(); }
    QAction *tool(const char *name) const {
        return app->index()->findChild<QAction *>(QString::fromLatin1(name));
    }
    void backupNow() {
        app->startDailyBackup();
        app->keepJob().wait();
    }
    int backups() const { return int(keep::listBackups(dir.path()).size()); }
};

void click(QWidget *w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

void clickItem(QListWidget *list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

} // namespace

class TestKeepWindows : public QObject {
    Q_OBJECT
private slots:
    void dailyBackupOncePerDay();
    void dailyBackupFailureInStatusLine();
    void toolsDisabledWhileEditing();
    void restoreFromTheWindow();
    void exportFromTheWindow();
    void aboutSaysWhereTheDiaryLives();
    void windowsShowTheIcon();
    void iconFollowsTheFirstPaint();
};

void TestKeepWindows::dailyBackupOncePerDay() {
    Diary d;
    d.backupNow();
    QCOMPARE(d.backups(), 1);
    d.time = d.time.addSecs(3600);
    d.backupNow();
    QCOMPARE(d.backups(), 1);
    d.time = QDateTime(QDate(2004, 9, 9), QTime(0, 5));
    d.backupNow();
    QCOMPARE(d.backups(), 2);
    QCOMPARE(d.status(), u" 当前记录：2004年9月8日 (星期三)"_qs); // success says nothing
}

void TestKeepWindows::dailyBackupFailureInStatusLine() {
    Diary d;
    // A file where the folder of backups belongs: the backup cannot be written, even by root.
    testsupport::writeFile(d.path(u"Backup"_qs), "in the way");
    d.backupNow();
    QCOMPARE(d.status(),
             u" 今天的自动备份没有写成（磁盘已满或备份文件夹不能写入）；以前的备份都还在。"_qs);
    QCOMPARE(testsupport::readFile(d.path(u"Backup"_qs)), QByteArray("in the way"));
    QVERIFY(d.app->index()->isVisible());
}

void TestKeepWindows::toolsDisabledWhileEditing() {
    Diary d;
    QVERIFY(d.tool("m_restore")->isEnabled() && d.tool("m_export")->isEnabled());
    QCOMPARE(d.tool("m_restore")->text(), u"恢复备份…"_qs);
    QCOMPARE(d.tool("m_export")->text(), u"导出…"_qs);
    d.app->index()->findChild<QAction *>(u"m_new"_qs)->trigger();
    QVERIFY(!d.app->index()->toolsMenu()->menuAction()->isEnabled());
}

void TestKeepWindows::restoreFromTheWindow() {
    Diary d;
    d.backupNow();
    QCOMPARE(d.backups(), 1);
    // After the backup the entry is lost and a new home page is written.
    QFile::remove(d.path(u"DB/20040908.KAV"_qs));
    testsupport::writeFile(d.path(u"index.KAV"_qs), "{\\rtf1 new home page\\par }\r\n");

    d.tool("m_restore")->trigger();
    RestoreWindow *w = d.app->restoreWindow();
    QVERIFY(w->isVisible());
    auto *list = w->findChild<QListWidget *>(u"lst_backups"_qs);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), u"2004-09-08 10:00:00"_qs);
    auto *restore = w->findChild<QPushButton *>(u"bt_restore"_qs);
    QVERIFY(!restore->isEnabled()); // nothing chosen yet
    clickItem(list, 0);
    QVERIFY(restore->isEnabled());
    d.time = QDateTime(QDate(2004, 9, 8), QTime(11, 30));
    click(restore);
    d.app->keepJob().wait();

    auto *state = w->findChild<QLabel *>(u"lb_state"_qs);
    const QString aside = d.path(u"Backup/before-restore-20040908-113000"_qs);
    QCOMPARE(state->text(), u"已恢复。原来的文件在："_qs + QDir::toNativeSeparators(aside));
    QVERIFY(testsupport::readFile(d.path(u"DB/20040908.KAV"_qs)).contains("old words"));
    QVERIFY(!QFile::exists(d.path(u"index.KAV"_qs)));
    QCOMPARE(testsupport::readFile(aside + u"/index.KAV"_qs),
             QByteArray("{\\rtf1 new home page\\par }\r\n"));
    // The main window reads the restored diary afresh.
    QCOMPARE(d.status(), u" 备份已恢复。"_qs);
    QVERIFY(!d.app->index()->editor()->text().contains(u"new home page"_qs));
}

void TestKeepWindows::exportFromTheWindow() {
    Diary d;
    QTemporaryDir out;
    d.tool("m_export")->trigger();
    ExportWindow *w = d.app->exportWindow();
    QVERIFY(w->isVisible());
    auto *format = w->findChild<QComboBox *>(u"cb_format"_qs);
    format->setFocus();
    QTest::keyClick(format, Qt::Key_Down);
    QTest::keyClick(format, Qt::Key_Down);
    QCOMPARE(format->currentText(), u"纯文本"_qs);
    auto *folder = w->findChild<QLineEdit *>(u"tt_out"_qs);
    folder->selectAll();
    QTest::keyClicks(folder, d.path(u"DB"_qs));
    auto *state = w->findChild<QLabel *>(u"lb_state"_qs);
    auto *exporting = w->findChild<QPushButton *>(u"bt_export"_qs);
    click(exporting);
    d.app->keepJob().wait();
    QCOMPARE(state->text(), u"不能导出到日记自己的文件夹里，请另选一个文件夹。"_qs);

    folder->selectAll();
    QTest::keyClicks(folder, out.path());
    click(exporting);
    d.app->keepJob().wait();
    QCOMPARE(state->text(), u"已导出到："_qs + QDir::toNativeSeparators(out.path()));
    QVERIFY(QString::fromUtf8(testsupport::readFile(out.path() + u"/diary.txt"_qs))
                .contains(u"old words"_qs));
}

void TestKeepWindows::aboutSaysWhereTheDiaryLives() {
    Diary d;
    auto *about = d.app->index()->findChild<QPushButton *>(u"bt_about"_qs);
    click(about);
    const QString plain = d.app->index()->editor()->text();
    QVERIFY(!plain.contains(u"日记保存在"_qs));
    d.app->setAboutNote(u"  日记保存在："_qs + d.dir.path());
    click(about);
    QVERIFY(d.app->index()->editor()->text().endsWith(u"\r\n  日记保存在："_qs + d.dir.path()));
}

void TestKeepWindows::windowsShowTheIcon() {
    Diary d;
    const QList<QWidget *> windows = {d.app->index(), d.app->restoreWindow(),
                                      d.app->exportWindow()};
    for (QWidget *w : windows) {
        const QList<QSize> sizes = w->windowIcon().availableSizes();
        for (int n : {16, 32, 48, 128, 256})
            QVERIFY2(sizes.contains(QSize(n, n)), qPrintable(w->objectName() + QString::number(n)));
    }
    // The pictures are read when asked for: each size is there with ink in it, a size between
    // two is made from the larger, and a size beyond the largest is the largest.
    const QIcon icon = d.app->index()->windowIcon();
    for (const auto &[asked, given] : {std::pair{16, 16}, {24, 24}, {48, 48}, {200, 200}, {256, 256}, {512, 256}}) {
        const QImage picture = icon.pixmap(QSize(asked, asked)).toImage();
        QCOMPARE(picture.size(), QSize(given, given));
        int inked = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                inked += qAlpha(picture.pixel(x, y)) > 0;
        QVERIFY2(inked > given * given / 4, qPrintable(QString::number(asked)));
    }
}

void TestKeepWindows::iconFollowsTheFirstPaint() {
    // At the program's start the window system gets the icon's pictures once the main window has
    // painted, not while it is being made.
    {
        QTemporaryDir dir;
        App app(dir.path());
        app.paintBeforeHomePage();
        Index *w = app.index();
        QSignalSpy painted(w, &Index::firstPainted);
        QVERIFY(QGuiApplication::windowIcon().isNull());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTRY_COMPARE(painted.count(), 1);
        QVERIFY(!QGuiApplication::windowIcon().isNull());
        QVERIFY(w->windowIcon().availableSizes().contains(QSize(256, 256)));
        QCOMPARE(w->windowIcon().pixmap(QSize(48, 48)).size(), QSize(48, 48));
    }

    // A main window that is not painted (the desktop started it minimised) gets it all the same.
    QTemporaryDir other;
    App unpainted(other.path());
    unpainted.paintBeforeHomePage();
    unpainted.index();
    QVERIFY(QGuiApplication::windowIcon().isNull());
    QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::windowIcon().isNull(), 10000);
}

QTEST_MAIN(TestKeepWindows)
#include "tst_keepwindows.moc"
