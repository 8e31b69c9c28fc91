#include "ui/keep/exportwindow.h"
#include "ui/diary/index.h"
#include "ui/keep/restorewindow.h"
#include "store/keep/backup.h"
#include "store/keep/keepjob.h"
#include "ui/widgets/richtextbox.h"
#include "ui/app/app.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

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
    // The program ends and starts again over the same folder.
    void restart() {
        app.reset();
        app = std::make_unique<App>(dir.path());
        app->setClock([this] { return time; });
        app->index()->show();
    }
    void backupNow() {
        app->startDailyBackup();
        app->keepJob().wait();
    }
    int backups() const { return int(keep::listBackups(dir.path()).size()); }
};

// Config.ini as the program writes it, with the home page and the server's address given.
QByteArray config(const QString &homePage, const QString &host) {
    return QByteArray("[index]\r\npath=") + homePage.toLatin1() +
           "\r\n\r\n[Host]\r\nhost=" + host.toLatin1() + "\r\n\r\n";
}

// A copy of the archive from with one more file of that name.
bool addMember(const QString &from, const QString &to, const QString &name) {
    archive *in = archive_read_new();
    archive_read_support_format_zip(in);
    archive *out = archive_write_new();
    archive_write_set_format_zip(out);
    bool ok =
        archive_read_open_filename(in, QFile::encodeName(from).constData(), 10240) == ARCHIVE_OK &&
        archive_write_open_filename(out, QFile::encodeName(to).constData()) == ARCHIVE_OK;
    archive_entry *e = nullptr;
    while (ok && archive_read_next_header(in, &e) == ARCHIVE_OK) {
        ok = archive_write_header(out, e) == ARCHIVE_OK;
        char buf[4096];
        for (la_ssize_t n; ok && (n = archive_read_data(in, buf, sizeof buf)) > 0;)
            ok = archive_write_data(out, buf, size_t(n)) == n;
    }
    archive_entry *extra = archive_entry_new();
    archive_entry_set_pathname(extra, name.toUtf8().constData());
    archive_entry_set_filetype(extra, AE_IFREG);
    archive_entry_set_perm(extra, 0755);
    archive_entry_set_size(extra, 4);
    ok = ok && archive_write_header(out, extra) == ARCHIVE_OK &&
         archive_write_data(out, "evil", 4) == 4;
    archive_entry_free(extra);
    ok = archive_write_close(out) == ARCHIVE_OK && ok;
    archive_write_free(out);
    archive_read_free(in);
    return ok;
}

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
    void restoreWindowSaysWhatFailed_data();
    void restoreWindowSaysWhatFailed();
    void exportFromTheWindow();
    void exportRangeFromTheWindow();
    void exportRefusesAFolderOfOtherFiles();
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
    testsupport::writeFile(d.path(u"Config.ini"_qs), config(u"index.KAV"_qs, u"10.0.0.1"_qs));
    testsupport::writeFile(d.path(u"index.KAV"_qs), "{\\rtf1 old home page}\r\n");
    d.backupNow();
    QCOMPARE(d.backups(), 1);
    // After the backup the entry is lost, another home page is named and written, the server's
    // address changes; the program starts again and shows all that.
    QFile::remove(d.path(u"DB/20040908.KAV"_qs));
    testsupport::writeFile(d.path(u"Config.ini"_qs), config(u"other.KAV"_qs, u"192.168.1.9"_qs));
    testsupport::writeFile(d.path(u"other.KAV"_qs), "{\\rtf1 new home page}\r\n");
    d.restart();
    QCOMPARE(d.app->index()->editor()->text(), u"new home page"_qs);
    QCOMPARE(d.app->settings().ConnectIP, u"192.168.1.9"_qs);

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
    QVERIFY(!QFile::exists(d.path(u"other.KAV"_qs)));
    QCOMPARE(testsupport::readFile(aside + u"/other.KAV"_qs),
             QByteArray("{\\rtf1 new home page}\r\n"));
    // The main window reads the restored diary afresh: its home page and its settings.
    QCOMPARE(d.status(), u" 备份已恢复。"_qs);
    QCOMPARE(d.app->index()->editor()->text(), u"old home page"_qs);
    QCOMPARE(d.app->settings().ConnectIP, u"10.0.0.1"_qs);
    QCOMPARE(d.app->settings().FirstPage, u"index.KAV"_qs);
}

void TestKeepWindows::restoreWindowSaysWhatFailed_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("shown");
    QTest::newRow("cut short") << u"cut short"_qs << u"这个备份已损坏，日记没有改动。"_qs;
    QTest::newRow("a name no backup holds")
        << u"foreign name"_qs << u"这个备份已损坏，日记没有改动。"_qs;
    QTest::newRow("gone since it was listed") << u"gone"_qs << u"找不到这个备份。"_qs;
    QTest::newRow("an earlier restore unfinished")
        << u"journal"_qs << u"恢复没有完成，日记没有改动："_qs;
}

// A restore that cannot go through says why in the window and changes nothing.
void TestKeepWindows::restoreWindowSaysWhatFailed() {
    QFETCH(QString, fault);
    QFETCH(QString, shown);
    Diary d;
    d.backupNow();
    const QString archive = keep::listBackups(d.dir.path()).value(0).path;
    if (fault == u"cut short") {
        QByteArray zip = testsupport::readFile(archive);
        zip.chop(zip.size() / 3);
        QVERIFY(testsupport::writeFile(archive, zip));
    } else if (fault == u"foreign name") {
        // The backup with one more member, named like the program.
        QVERIFY(QFile::rename(archive, archive + u".old"_qs));
        QVERIFY(addMember(archive + u".old"_qs, archive, u"qingchuang"_qs));
    }
    d.tool("m_restore")->trigger();
    RestoreWindow *w = d.app->restoreWindow();
    auto *list = w->findChild<QListWidget *>(u"lst_backups"_qs);
    QCOMPARE(list->count(), 1);
    clickItem(list, 0);
    if (fault == u"gone") QVERIFY(QFile::remove(archive));
    if (fault == u"journal")
        QVERIFY(testsupport::writeFile(d.path(u"Backup/.restore-journal"_qs), "left by a crash"));
    const QByteArray before = testsupport::readFile(d.path(u"DB/20040908.KAV"_qs));
    click(w->findChild<QPushButton *>(u"bt_restore"_qs));
    d.app->keepJob().wait();
    const QString text = w->findChild<QLabel *>(u"lb_state"_qs)->text();
    if (fault == u"journal")
        QVERIFY2(text.startsWith(shown) && text.size() > shown.size(), qPrintable(text));
    else
        QCOMPARE(text, shown);
    QCOMPARE(testsupport::readFile(d.path(u"DB/20040908.KAV"_qs)), before);
    QCOMPARE(QDir(d.path(u"Backup"_qs)).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QCOMPARE(d.status(), u" 当前记录：2004年9月8日 (星期三)"_qs);
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

namespace {

// A date file of one entry.
QByteArray dayFile(const QByteArray &words) {
    return "\x7f"
           "1\r\ntitle\r\n\x07\r\n{\\rtf1 " +
           words + "\\par }\r\n \x7f\r\n";
}

// Replaces what a box holds by typing, as a person does: click, select all, type.
void retype(QWidget *box, const QString &text) {
    click(box);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
}

// Types a date into a date box: click, the year selected from the start, then the digits, each
// part moving on to the next once it is full.
void typeDate(QDateEdit *box, const QDate &date) {
    click(box);
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClicks(box, date.toString(u"yyyyMMdd"_qs));
}

// The export window shown and active, text chosen, the folder typed.
ExportWindow *openExport(Diary &d, const QString &folder) {
    d.tool("m_export")->trigger();
    ExportWindow *w = d.app->exportWindow();
    if (!QTest::qWaitForWindowActive(w)) return nullptr;
    auto *format = w->findChild<QComboBox *>(u"cb_format"_qs);
    format->setFocus();
    QTest::keyClick(format, Qt::Key_Down);
    QTest::keyClick(format, Qt::Key_Down);
    retype(w->findChild<QLineEdit *>(u"tt_out"_qs), folder);
    return w;
}

} // namespace

// The range boxes, ticked and typed into: entries on the first and the last day are exported,
// those a day outside are not.
void TestKeepWindows::exportRangeFromTheWindow() {
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040907.KAV"_qs), dayFile("the day before"));
    testsupport::writeFile(d.path(u"DB/20040909.KAV"_qs), dayFile("the day after"));
    testsupport::writeFile(d.path(u"DB/20040910.KAV"_qs), dayFile("two days after"));
    QTemporaryDir out;
    ExportWindow *w = openExport(d, out.path() + u"/one"_qs);
    QVERIFY(w);
    auto *range = w->findChild<QCheckBox *>(u"ck_range"_qs);
    auto *from = w->findChild<QDateEdit *>(u"dt_from"_qs);
    auto *to = w->findChild<QDateEdit *>(u"dt_to"_qs);
    QVERIFY(!from->isEnabled());
    click(range);
    QVERIFY(range->isChecked() && from->isEnabled() && to->isEnabled());
    typeDate(from, QDate(2004, 9, 8));
    typeDate(to, QDate(2004, 9, 9));
    QCOMPARE(from->date(), QDate(2004, 9, 8));
    QCOMPARE(to->date(), QDate(2004, 9, 9));
    auto *state = w->findChild<QLabel *>(u"lb_state"_qs);
    click(w->findChild<QPushButton *>(u"bt_export"_qs));
    d.app->keepJob().wait();
    QCOMPARE(state->text(), u"已导出到："_qs + QDir::toNativeSeparators(out.path() + u"/one"_qs));
    QString text = QString::fromUtf8(testsupport::readFile(out.path() + u"/one/diary.txt"_qs));
    QVERIFY(text.contains(u"old words"_qs) && text.contains(u"the day after"_qs));
    QVERIFY(!text.contains(u"the day before"_qs) && !text.contains(u"two days after"_qs));

    // The range unticked: everything.
    click(range);
    retype(w->findChild<QLineEdit *>(u"tt_out"_qs), out.path() + u"/all"_qs);
    click(w->findChild<QPushButton *>(u"bt_export"_qs));
    d.app->keepJob().wait();
    text = QString::fromUtf8(testsupport::readFile(out.path() + u"/all/diary.txt"_qs));
    for (const QString &words :
         {u"the day before"_qs, u"old words"_qs, u"the day after"_qs, u"two days after"_qs})
        QVERIFY2(text.contains(words), qPrintable(words));
}

// A folder holding someone else's files is refused and stays as it was.
void TestKeepWindows::exportRefusesAFolderOfOtherFiles() {
    Diary d;
    QTemporaryDir out;
    QVERIFY(testsupport::writeFile(out.path() + u"/diary.txt"_qs, "my own notes"));
    ExportWindow *w = openExport(d, out.path());
    QVERIFY(w);
    click(w->findChild<QPushButton *>(u"bt_export"_qs));
    d.app->keepJob().wait();
    QCOMPARE(w->findChild<QLabel *>(u"lb_state"_qs)->text(),
             u"这个文件夹里有别的文件，请选一个空文件夹或以前导出过的文件夹。"_qs);
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"diary.txt"_qs});
    QCOMPARE(testsupport::readFile(out.path() + u"/diary.txt"_qs), QByteArray("my own notes"));
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
