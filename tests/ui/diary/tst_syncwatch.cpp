// The main window and a diary folder shared by a sync tool: entries written on another computer
// show in the list of the date on screen, and an open edit is never disturbed by a merge.
#include "store/diary/diarystore.h"
#include "testsupport.h"
#include "ui/app/app.h"
#include "ui/diary/index.h"
#include "ui/diary/syncwatcher.h"
#include "ui/widgets/richtextbox.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using testsupport::readFile;
using testsupport::waitUntil;
using testsupport::writeFile;

namespace {

QByteArray entry(const char *key, const char *title, const char *body) {
    return QByteArray("\x7f") + key + "\r\n" + title + "\r\n\x07\r\n{\\rtf1 " + body +
           "}\r\n \x7f\r\n";
}
const QByteArray kA = entry("11", "a", "one");
const QByteArray kB = entry("22", "b", "two");

struct Diary {
    QTemporaryDir dir;
    std::unique_ptr<App> app;
    Index *w = nullptr;

    Diary() {
        app = std::make_unique<App>(dir.path());
        app->setClock([] { return QDateTime(QDate(2004, 9, 8), QTime(10, 0)); });
        app->setRandomSource([] { return 0.25; });
        w = app->index();
        w->show();
    }
    QString path(const QString &rel) const { return dir.path() + u'/' + rel; }
    template <typename T> T *get(const char *name) const {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    QListWidget *list() const { return get<QListWidget>("PicList"); }
    QStringList titles() const {
        QStringList t;
        for (int i = 0; i < list()->count(); ++i)
            t << list()->item(i)->text();
        return t;
    }
    void click(const char *name) { QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton); }
    void goTo(int day) {
        get<RichTextBox>("tt_year")->setText(u"2004"_qs);
        get<RichTextBox>("tt_month")->setText(u"9"_qs);
        get<RichTextBox>("tt_day")->setText(QString::number(day));
        click("bt_to");
    }
    // Puts bytes in place the way a sync tool does: written beside, then renamed over.
    bool arrive(const QString &rel, const QByteArray &bytes) const {
        const QString temp = path(u".syncing.tmp"_qs);
        return writeFile(temp, bytes) && (!QFile::exists(path(rel)) || QFile::remove(path(rel))) &&
               QFile::rename(temp, path(rel));
    }
};

} // namespace

class TestSyncWatch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("HOME", m_home.path().toLocal8Bit()); }
    void changedOnDisk();
    void editOpenDuringMerge();
    void copyAtStart();

private:
    QTemporaryDir m_home;
};

void TestSyncWatch::changedOnDisk() {
    Diary d;
    QVERIFY(writeFile(d.path(u"DB/20040908.KAV"_qs), kA));
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.goTo(8);
    QCOMPARE(d.titles(), QStringList{u"a"_qs});
    QTest::mouseClick(d.list()->viewport(), Qt::LeftButton, {},
                      d.list()->visualItemRect(d.list()->item(0)).center());
    QVERIFY(d.arrive(u"DB/20040908.KAV"_qs, kB + kA));
    QVERIFY(waitUntil([&] { return d.titles() == QStringList({u"b"_qs, u"a"_qs}); }, 10000));
    // The entry selected stays selected where it is listed now.
    QCOMPARE(d.list()->currentRow(), 1);
    QCOMPARE(d.list()->selectedItems().size(), 1);

    // A date that had no entry gets one.
    d.goTo(9);
    QVERIFY(d.titles().isEmpty());
    QVERIFY(d.arrive(u"DB/20040909.KAV"_qs, kB));
    QVERIFY(waitUntil([&] { return d.titles() == QStringList{u"b"_qs}; }, 10000));
}

void TestSyncWatch::editOpenDuringMerge() {
    Diary d;
    const QString file = d.path(u"DB/20040908.KAV"_qs);
    const QString copy = d.path(u"DB/20040908.sync-conflict-20040908-101010-ABCDEFG.KAV"_qs);
    QVERIFY(writeFile(file, kA));
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.goTo(8);
    d.get<QAction>("m_new")->trigger();
    QVERIFY(d.w->IsEditing);
    RichTextBox *editor = d.get<RichTextBox>("mmw");
    QTest::keyClicks(editor, u"mine"_qs);
    const QString typed = editor->text();
    QVERIFY(typed.startsWith(u"mine"_qs));
    QVERIFY(d.arrive(u"DB/20040908.sync-conflict-20040908-101010-ABCDEFG.KAV"_qs, kA + kB));
    d.w->findChild<SyncWatcher *>(u"syncWatcher"_qs)->scan();
    QTest::qWait(SyncWatcher::kSettleMs * 3); // and whatever the watcher saw
    QVERIFY(d.w->IsEditing);
    QCOMPARE(editor->text(), typed);
    QCOMPARE(readFile(file), kA);
    QVERIFY(QFile::exists(copy));

    // Saving appends to the file as it is; then the copy is merged and the list shows all.
    d.click("bt_save");
    QVERIFY(!d.w->IsEditing);
    QVERIFY(waitUntil([&] { return !QFile::exists(copy); }, 10000));
    QVERIFY(QFile::exists(
        d.path(u"Backup/conflicts/DB/20040908.sync-conflict-20040908-101010-ABCDEFG.KAV"_qs)));
    const diary::Listing listing = diary::ListEntries(file);
    QStringList onDisk;
    for (const diary::EntryItem &e : listing.items)
        onDisk << e.title;
    onDisk.sort();
    QCOMPARE(onDisk, QStringList({u"2004-9-8"_qs, u"a"_qs, u"b"_qs}));
    QVERIFY(waitUntil([&] { return d.titles().size() == 3; }, 10000));
    QVERIFY(d.w->findChild<RichTextBox *>(u"says"_qs)->text().contains(u"同步冲突"_qs));
}

// A copy left while the program was closed is merged when it starts.
void TestSyncWatch::copyAtStart() {
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.path() + u"/DB/20040908.KAV"_qs, kA));
    QVERIFY(writeFile(dir.path() + u"/DB/20040908 (conflicted copy 2004-09-08 101010).KAV"_qs, kB));
    App app(dir.path());
    app.index();
    QCOMPARE(readFile(dir.path() + u"/DB/20040908.KAV"_qs), kA + kB);
    QCOMPARE(QDir(dir.path() + u"/DB"_qs).entryList(QDir::Files), QStringList{u"20040908.KAV"_qs});
}

QTEST_MAIN(TestSyncWatch)
#include "tst_syncwatch.moc"
