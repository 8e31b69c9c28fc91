#include "store/diary/diarystore.h"
#include "store/diary/fos.h"
#include "ui/diary/diarytext.h"
#include "ui/diary/index.h"
#include "store/diary/recovery.h"
#include "store/keep/keepjob.h"
#include "ui/album/fmphoto.h"
#include "ui/find/findwindow.h"

#include "ui/netwindows/connectme.h"
#include "ui/netwindows/login.h"
#include "store/common/codepage.h"
#include "ui/widgets/richtextbox.h"
#include "ui/app/app.h"
#include "store/settings/config.h"
#include "ui/app/helpdoc.h"
#include "store/common/localname.h"
#include "testsupport.h"
#include "secrets.h"
#include "store/keep/backup.h"

#include <QAction>
#include <QClipboard>
#include <QApplication>
#include <QInputMethodEvent>
#include <QGuiApplication>
#include <QCheckBox>
#include <QSystemTrayIcon>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QSignalSpy>
#include <QTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray entry(const QByteArray &key, const QString &title, const QByteArray &code, const QByteArray &body) {
    return "\x7f" + key + "\r\n" + cp936::encode(title) + "\r\n\x07" + code + "\r\n" + body + "\r\n \x7f\r\n";
}

const QByteArray kBodyA = "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
                          "\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 first body\\par\r\n}";
const QByteArray kBodyB = "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
                          "\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 secret \\'d6\\'d0\\par\r\nline two\\par\r\n}";

// A diary over a temporary program directory, on a fixed day, driven through its named controls.
struct Diary {
    QTemporaryDir dir;
    std::unique_ptr<App> app;
    Index *w = nullptr;
    QList<double> randoms;

    explicit Diary(const QByteArray &config = QByteArray(), const QDate &today = QDate(2004, 9, 8),
                   const std::optional<recovery::Draft> &draft = std::nullopt) {
        if (!config.isEmpty()) testsupport::writeFile(dir.path() + u"/Config.ini"_qs, config);
        if (draft) recovery::save(dir.path(), *draft);
        app = std::make_unique<App>(dir.path());
        app->setClock([today] { return QDateTime(today, QTime(10, 0)); });
        app->setRandomSource([this] { return randoms.isEmpty() ? 0.25 : randoms.takeFirst(); });
        w = app->index();
        w->show();
    }
    QString path(const QString &rel) const { return dir.path() + u'/' + rel; }
    template <typename T> T *get(const char *name) const {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    RichTextBox *box(const char *name) const { return get<RichTextBox>(name); }
    QString text(const char *name) const { return box(name)->text(); }
    QString status() const { return text("says"); }
    void click(const char *name) {
        QPushButton *b = get<QPushButton>(name);
        QVERIFY2(b->isEnabled(), name);
        b->click();
    }
    void menu(const char *name) {
        QAction *a = get<QAction>(name);
        QVERIFY2(a->isEnabled(), name);
        a->trigger();
    }
    void goTo(const QString &y, const QString &m, const QString &d) {
        box("tt_year")->setText(y);
        box("tt_month")->setText(m);
        box("tt_day")->setText(d);
        click("bt_to");
    }
    QListWidget *list() const { return get<QListWidget>("PicList"); }
    QStringList titles() const {
        QStringList t;
        for (int i = 0; i < list()->count(); ++i)
            t << list()->item(i)->text();
        return t;
    }
    void select(int row) {
        QListWidget *l = list();
        const QRect r = l->visualItemRect(l->item(row));
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, r.center());
    }
    void open(int row) {
        select(row);
        QListWidget *l = list();
        QTest::mouseDClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(row)).center());
    }
    void keyInList(Qt::Key key) { QTest::keyClick(list(), key); }
    // Leaves the list with a current item that is not highlighted, the way a person can.
    void unselect(const QString &how) {
        QListWidget *l = list();
        if (how == u"tab") {
            get<QPushButton>("btReWrite")->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(l->hasFocus());
        } else if (how == u"ctrl click") {
            select(0);
            QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::ControlModifier, l->visualItemRect(l->item(0)).center());
        } else {
            select(0);
            QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, QPoint(5, l->viewport()->height() - 3));
        }
        QVERIFY(l->currentItem());
        QVERIFY(l->selectedItems().isEmpty());
    }
    // The diary's files, name and bytes.
    QMap<QString, QByteArray> files() const {
        QMap<QString, QByteArray> m;
        for (const QString &sub : {u"DB"_qs, u"Love"_qs})
            for (const QString &n : QDir(path(sub)).entryList(QDir::Files | QDir::Hidden))
                m.insert(sub + u'/' + n, testsupport::readFile(path(sub + u'/' + n)));
        return m;
    }
    bool draftWritten() {
        QSignalSpy spy(get<QTimer>("tmDraft"), &QTimer::timeout);
        return spy.wait(6000);
    }
    bool editing() const { return w->IsEditing; }
    // A command of the menu bar, clicked with the mouse.
    void clickBar(const char *name) {
        QAction *a = get<QAction>(name);
        QVERIFY2(a->isEnabled(), name);
        QMenuBar *bar = w->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(a).center());
    }
};

// Types text into a box as a person does: letters as key presses, Chinese as an input method
// commits it.
void typeText(QWidget *box, const QString &text) {
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(box, c.toLatin1());
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(box, &commit);
        }
    }
}

int mode(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

const QByteArray kNoDeletion = "[Deletion]\r\nDiary=0\r\nLove=0\r\n\r\n[PassCheck]\r\nPassme=0\r\n";

} // namespace

class TestIndex : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;

private slots:
    // The album reads C:\\Images\\ as the home folder's Images: keep it in a temporary home.
    void initTestCase() { qputenv("HOME", m_home.path().toLocal8Bit()); }
    void startState();
    void navigation_data();
    void navigation();
    void dateWithEntries();
    void openEntries();
    void passwordOpen();
    void removeEntries();
    void removeRefusedBySetting();
    void unselectedItemsAreNeverTouched_data();
    void unselectedItemsAreNeverTouched();
    void arrowKeysSelectLikeAClick();
    void enterOpensTheHighlightedRow_data();
    void enterOpensTheHighlightedRow();
    void editKeys_data();
    void editKeys();
    void browseKeys();
    void changedEditSurvivesLeaving_data();
    void changedEditSurvivesLeaving();
    void unchangedEditLeaves();
    void draftFollowsTheEdit();
    void lockedEntryKeepsNoDraft();
    void tickTakesTheDraftAway_data();
    void tickTakesTheDraftAway();
    void lockedEntryIsNoHomePage();
    void sealedEntryOpensBesideTheWindow();
    void draftReopens_data();
    void draftReopens();
    void titleOutsideCodePage();
    void oddCollectionNames();
    void ctrlTurnsAboutIntoAlbum();
    void newEntryAndSave();
    void newEntryForAnotherDate();
    void newKeysNeverRepeat();
    void sizeLimits_data();
    void sizeLimits();
    void failedSaveKeepsText();
    void cancelWritesNothing();
    void pasteAtCaret();
    void lockedEntries();
    void passwordControlStates();
    void encipheredEntries();
    void damagedEncipheredEntry();
    void encipherOldEntries();
    void endingStopsEnciphering();
    void stopEnciphering();
    void encipherOldLeavesNothingInClear();
    void homePage();
    void homePageStaysInside();
    void collection();
    void collectionRefusals();
    void helpLines_data();
    void helpLines();
    void helpAndAbout();
    void messageButton();
    void hideAndCloseBox();
    // Last: ending the program stops every event loop that would run after it.
    void unchangedEditExits();
};

void TestIndex::startState() {
    Diary d;
    QVERIFY(QFileInfo(d.path(u"DB"_qs)).isDir());
    QVERIFY(QFileInfo(d.path(u"Love"_qs)).isDir());
    QCOMPARE(cp936::decode(testsupport::readFile(d.path(u"Config.ini"_qs))), settings::defaultConfigText());
    QCOMPARE(d.text("Titles"), u"无标题"_qs);
    QCOMPARE(d.list()->count(), 0);
    QCOMPARE(d.status(), u" 当前记录：2004年9月8日 (星期三)"_qs);
    QCOMPARE(d.text("mmw"), u"\r\n  *  请从列表中选择..."_qs);
    QCOMPARE(d.text("tt_year") + d.text("tt_month") + d.text("tt_day"), u"200498"_qs);
    QVERIFY(!d.editing());
    QVERIFY(!d.get<QPushButton>("bt_save")->isEnabled());
    QVERIFY(!d.get<QCheckBox>("ck_pw")->isEnabled());
    QVERIFY(d.box("mmw")->isReadOnly());
    QVERIFY(d.app->mainShown());
    QVERIFY(d.app->connectMeLoaded() && !d.app->connectMe()->isVisible());
    // Controls sit where the window's table puts them (twips / 15).
    QCOMPARE(d.box("mmw")->geometry(), QRect(2, 27, 452, 316));
    QCOMPARE(d.get<QPushButton>("bt_exit")->geometry(), QRect(517, 349, 40, 20));
    QCOMPARE(d.box("tt_year")->maxLength(), 4);
    QCOMPARE(d.box("tt_day")->maxLength(), 2);
}

void TestIndex::navigation_data() {
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("editor");
    const QString before = u"\r\n  很高兴我的软件在计算机出现之前有人使用。请代我向我先人的问好。"_qs;
    const QString after = u"\r\n  很高兴您能用到现在。请代我向我的后人问好。"_qs;
    const QString wrong = u"\r\n  您的输入错了，您家的日历里有这个日子吗？"_qs;
    QTest::newRow("previous day") << QStringList{u"2004"_qs, u"3"_qs, u"1"_qs} << u"btBefore"_qs << QDate(2004, 2, 29)
                                  << u"\r\n  没有 2004年2月29日 的记录。"_qs;
    QTest::newRow("next day over a year") << QStringList{u"2004"_qs, u"12"_qs, u"31"_qs} << u"btAfter"_qs
                                          << QDate(2005, 1, 1) << u"\r\n  没有 2005年1月1日 的记录。"_qs;
    QTest::newRow("before 1 January 100") << QStringList{u"100"_qs, u"1"_qs, u"1"_qs} << u"btBefore"_qs
                                          << QDate(100, 1, 1) << before;
    QTest::newRow("after 31 December 9999") << QStringList{u"9999"_qs, u"12"_qs, u"31"_qs} << u"btAfter"_qs
                                            << QDate(9999, 12, 31) << after;
    QTest::newRow("30 February") << QStringList{u"2004"_qs, u"2"_qs, u"30"_qs} << QString() << QDate(2004, 9, 8)
                                 << wrong;
    QTest::newRow("month 13") << QStringList{u"2004"_qs, u"13"_qs, u"1"_qs} << QString() << QDate(2004, 9, 8) << wrong;
    QTest::newRow("today") << QStringList{u"1999"_qs, u"1"_qs, u"1"_qs} << u"btReturn"_qs << QDate(2004, 9, 8)
                           << u"\r\n  没有 2004年9月8日 的记录。"_qs;
}

void TestIndex::navigation() {
    QFETCH(QStringList, typed);
    QFETCH(QString, button);
    QFETCH(QDate, date);
    QFETCH(QString, editor);
    Diary d;
    d.goTo(typed[0], typed[1], typed[2]);
    if (!button.isEmpty()) d.click(button.toLatin1().constData());
    QCOMPARE(d.w->CurDate, date);
    QCOMPARE(d.text("mmw"), editor);
    if (editor.contains(u"没有"_qs)) {
        QCOMPARE(d.text("Titles"), u"  ---"_qs);
        QCOMPARE(d.status(), diary::dateStatusText(date));
        QCOMPARE(d.text("tt_year"), QString::number(date.year()));
    }
}

void TestIndex::dateWithEntries() {
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040907.KAV"_qs), entry("1", u"早上"_qs, "", kBodyA) + entry("2", u"晚上"_qs, "", kBodyB));
    d.goTo(u"2004"_qs, u"9"_qs, u"7"_qs);
    QCOMPARE(d.titles(), (QStringList{u"早上"_qs, u"晚上"_qs}));
    QCOMPARE(d.text("mmw"), u"\r\n\r\n  *  请从列表中选择..."_qs);
    QCOMPARE(d.text("Titles"), u"  ---"_qs);
    // A damaged file shows the entries read so far and the damage.
    testsupport::writeFile(d.path(u"DB/20040906.KAV"_qs), entry("1", u"ok"_qs, "", kBodyA) + "\x7f" "bad\r\nx\r\n");
    d.goTo(u"2004"_qs, u"9"_qs, u"6"_qs);
    QCOMPARE(d.titles(), QStringList{u"ok"_qs});
    QCOMPARE(d.text("mmw"), u"\r\n  文件格式错误或文件已被破坏。"_qs);
    // File names are matched without regard to case.
    testsupport::writeFile(d.path(u"DB/20040905.kav"_qs), entry("1", u"lower"_qs, "", kBodyA));
    d.goTo(u"2004"_qs, u"9"_qs, u"5"_qs);
    QCOMPARE(d.titles(), QStringList{u"lower"_qs});
}

void TestIndex::openEntries() {
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs), entry("1", u"a"_qs, "", kBodyA) + entry("2", u"b"_qs, "", kBodyB));
    d.click("btReturn");
    d.select(1);
    QCOMPARE(d.status(), u" 双击加载该记录."_qs);
    d.open(1);
    QCOMPARE(d.text("mmw"), u"secret 中\r\nline two"_qs);
    QCOMPARE(d.text("Titles"), u"b"_qs);
    QCOMPARE(d.status(), u" 加载用时：0:00:00    |("_qs + QString::number(d.box("mmw")->textRTF().size()) + u")"_qs);
    // A key that is no longer in the file.
    testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs), entry("1", u"a"_qs, "", kBodyA));
    d.open(1);
    QCOMPARE(d.text("mmw"), u"\r\n  加载文件出错，可能文件格式有误。"_qs);
}

void TestIndex::passwordOpen() {
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs), entry("2", u"locked"_qs, "979899", kBodyB));
    d.click("m_seeDiary");
    QCOMPARE(d.text("rt_pw"), u"******"_qs);
    d.open(0);
    QCOMPARE(d.text("mmw"), u"\r\n  * 记录已加密，请输入正确的密码。"_qs);
    d.box("rt_pw")->setText(u"abc"_qs);
    d.click("bt_OK");
    QCOMPARE(d.text("mmw"), u"secret 中\r\nline two"_qs);
    QCOMPARE(d.text("Titles"), u"locked"_qs);
    // The file gone meanwhile.
    d.select(0);
    QFile::remove(d.path(u"DB/20040908.KAV"_qs));
    d.click("bt_OK");
    QCOMPARE(d.text("mmw"), u"\r\n  文件不存在！"_qs);
}

void TestIndex::removeEntries() {
    Diary d;
    const QString file = d.path(u"DB/20040908.KAV"_qs);
    testsupport::writeFile(file, entry("1", u"a"_qs, "", kBodyA) + entry("2", u"b"_qs, "979899", kBodyB));
    d.click("btReturn");
    // Wrong password.
    d.select(1);
    d.keyInList(Qt::Key_Delete);
    QCOMPARE(d.text("mmw"), u"\r\n  * 记录已加密！\r\n  * 请输入正确的密码，然后再执行刚才的操作。"_qs);
    QCOMPARE(d.titles().size(), 2);
    d.box("rt_pw")->setText(u"abc"_qs);
    d.select(1);
    d.keyInList(Qt::Key_Delete);
    QCOMPARE(d.text("mmw"), u"\r\n  日记删除成功！"_qs);
    QCOMPARE(d.titles(), QStringList{u"a"_qs});
    QCOMPARE(testsupport::readFile(file), entry("1", u"a"_qs, "", kBodyA));
    // The last entry takes the date file with it.
    d.select(0);
    d.keyInList(Qt::Key_Delete);
    QCOMPARE(d.text("mmw"), u"\r\n  日记删除成功！"_qs);
    QVERIFY(!QFile::exists(file));
    QVERIFY(!QFile::exists(d.path(u"DB/"_qs + localname::dateTempName())));
    d.click("btReturn");
    QCOMPARE(d.text("mmw"), u"\r\n  没有 2004年9月8日 的记录。"_qs);

    // A file whose rest cannot be listed is kept.
    testsupport::writeFile(file, entry("1", u"a"_qs, "", kBodyA) + "\x7f" "zz\r\nq\r\n");
    d.click("btReturn");
    d.select(0);
    d.keyInList(Qt::Key_Delete);
    QVERIFY(QFile::exists(file));
    QCOMPARE(testsupport::readFile(file), QByteArray("\x7f" "zz\r\nq\r\n"));
}

void TestIndex::removeRefusedBySetting() {
    Diary d(kNoDeletion);
    const QString file = d.path(u"DB/20040908.KAV"_qs);
    testsupport::writeFile(file, entry("1", u"a"_qs, "", kBodyA));
    d.click("btReturn");
    d.select(0);
    d.keyInList(Qt::Key_Delete);
    QCOMPARE(d.text("mmw"), u"\r\n  当前设置禁止删除日记！\r\n  请修改安装目录下的Config.ini文件。"_qs);
    QCOMPARE(testsupport::readFile(file), entry("1", u"a"_qs, "", kBodyA));
}

void TestIndex::unselectedItemsAreNeverTouched_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("collection");
    for (const QString &how : {u"tab"_qs, u"ctrl click"_qs, u"blank area"_qs}) {
        QTest::newRow(qPrintable(u"diary, "_qs + how)) << how << false;
        QTest::newRow(qPrintable(u"collection, "_qs + how)) << how << true;
    }
}

void TestIndex::unselectedItemsAreNeverTouched() {
    QFETCH(QString, how);
    QFETCH(bool, collection);
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs), entry("1", u"a"_qs, "", kBodyA) + entry("2", u"b"_qs, "", kBodyB));
    testsupport::writeFile(d.path(u"Love/item"_qs), "{\\rtf1 item\\par\r\n}\r\n");
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.click(collection ? "m_viewlove" : "btReturn");
    const QMap<QString, QByteArray> before = d.files();
    const QString editor = d.text("mmw");
    const QStringList titles = d.titles();

    d.unselect(how);
    d.keyInList(Qt::Key_Delete);
    QCOMPARE(d.files(), before);
    QCOMPARE(d.titles(), titles);
    QCOMPARE(d.text("mmw"), editor);
    if (collection) QCOMPARE(d.status(), u" 删除珍藏"_qs);
    // Enter opens nothing either.
    d.unselect(how);
    d.keyInList(Qt::Key_Return);
    QCOMPARE(d.text("mmw"), editor);

    if (!collection) {
        // "确认密码" with nothing selected empties the editor and the title and opens nothing.
        d.unselect(how);
        QTest::mouseClick(d.get<QPushButton>("bt_OK"), Qt::LeftButton);
        QCOMPARE(d.text("mmw"), QString());
        QCOMPARE(d.text("Titles"), QString());
    }
    QCOMPARE(d.files(), before);
}

void TestIndex::arrowKeysSelectLikeAClick() {
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs), entry("1", u"a"_qs, "", kBodyA) + entry("2", u"b"_qs, "", kBodyB));
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.click("btReturn");
    d.unselect(u"tab"_qs);
    QCOMPARE(d.status(), u" 当前记录：2004年9月8日 (星期三)"_qs);
    d.keyInList(Qt::Key_Down);
    QCOMPARE(d.list()->selectedItems().size(), 1);
    QCOMPARE(d.status(), u" 双击加载该记录."_qs);
    // The item reached by the keys is the one that opens.
    QTest::mouseClick(d.get<QPushButton>("bt_OK"), Qt::LeftButton);
    QCOMPARE(d.text("Titles"), u"b"_qs);
    QCOMPARE(d.text("mmw"), u"secret 中\r\nline two"_qs);
}

void TestIndex::enterOpensTheHighlightedRow_data() {
    QTest::addColumn<bool>("collection");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        const QString name = key == Qt::Key_Return ? u"Return"_qs : u"Enter"_qs;
        QTest::newRow(qPrintable(u"diary, "_qs + name)) << false << key << u"b"_qs << u"secret 中\r\nline two"_qs;
        QTest::newRow(qPrintable(u"collection, "_qs + name)) << true << key << u"item"_qs << u"item"_qs;
    }
}

void TestIndex::enterOpensTheHighlightedRow() {
    QFETCH(bool, collection);
    QFETCH(int, key);
    QFETCH(QString, title);
    QFETCH(QString, text);
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs), entry("1", u"a"_qs, "", kBodyA) + entry("2", u"b"_qs, "", kBodyB));
    testsupport::writeFile(d.path(u"Love/first"_qs), "{\\rtf1 first\\par\r\n}\r\n");
    testsupport::writeFile(d.path(u"Love/item"_qs), "{\\rtf1 item\\par\r\n}\r\n");
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.click(collection ? "m_viewlove" : "btReturn");
    d.select(1);
    d.keyInList(Qt::Key(key));
    QCOMPARE(d.text("Titles"), title);
    QCOMPARE(d.text("mmw"), text);
    QVERIFY(!d.editing());
}

// Ctrl+S and Esc during each kind of edit: Esc leaves only an edit without changes; Ctrl+S
// writes as "保 存" does.
void TestIndex::editKeys_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("file");
    QTest::newRow("entry") << u"m_new"_qs << u"DB/20040908.KAV"_qs;
    QTest::newRow("home page") << u"m_edit"_qs << u"index.KAV"_qs;
    QTest::newRow("collection item") << u"m_loveme"_qs << u"Love/KAV_1"_qs;
}

void TestIndex::editKeys() {
    QFETCH(QString, start);
    QFETCH(QString, file);
    Diary d;
    // KAV_1 for both collection items; 500000 as the entry's key.
    d.randoms = start == u"m_loveme" ? QList<double>{0.000001, 0.000001} : QList<double>{0.5};
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    auto begin = [&] {
        if (start == u"m_new") QTest::keyClick(d.box("mmw"), Qt::Key_N, Qt::ControlModifier);
        else d.menu(start.toLatin1().constData());
    };
    begin();
    QVERIFY(d.editing());
    QTest::keyClick(d.box("mmw"), Qt::Key_Escape);
    QVERIFY(!d.editing());
    QCOMPARE(d.text("mmw"), u"\r\n  取消操作..."_qs);

    begin();
    QVERIFY(d.editing());
    QTest::keyClicks(d.box("mmw"), u"typed"_qs);
    const QString typed = d.text("mmw");
    const QString title = d.text("Titles");
    const QString status = d.status();
    QVERIFY(typed.contains(u"typed"_qs));
    const QMap<QString, QByteArray> before = d.files();
    for (QWidget *focus : {static_cast<QWidget *>(d.box("mmw")), static_cast<QWidget *>(d.box("Titles"))}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Escape);
        QVERIFY(d.editing());
        QCOMPARE(d.text("mmw"), typed);
        QCOMPARE(d.text("Titles"), title);
        QCOMPARE(d.status(), status);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }
    QCOMPARE(d.files(), before);
    QVERIFY(!QFile::exists(d.path(file)));

    const QString rich = d.box("mmw")->textRTF();
    QTest::keyClick(d.box("mmw"), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!d.editing());
    const QByteArray expected = start == u"m_new" ? entry("500000", u"2004-9-8"_qs, "", cp936::encode(rich))
                                                  : cp936::encode(rich) + "\r\n";
    QCOMPARE(testsupport::readFile(d.path(file)), expected);
    // Outside an edit the keys do nothing.
    const QMap<QString, QByteArray> saved = d.files();
    const QString shown = d.text("mmw");
    QTest::keyClick(d.box("mmw"), Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(d.box("mmw"), Qt::Key_Escape);
    QCOMPARE(d.files(), saved);
    QCOMPARE(d.text("mmw"), shown);
}

// Alt+Left / Alt+Right are "<=" / "=>", Ctrl+N is "新建日记": off wherever those are.
void TestIndex::browseKeys() {
    Diary d;
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    QCOMPARE(d.get<QAction>("m_new")->shortcut(), QKeySequence(u"Ctrl+N"_qs));
    d.click("btReturn");
    RichTextBox *editor = d.box("mmw");
    QTest::keyClick(editor, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(d.w->CurDate, QDate(2004, 9, 7));
    QCOMPARE(d.text("tt_day"), u"7"_qs);
    QTest::keyClick(d.list(), Qt::Key_Right, Qt::AltModifier);
    QTest::keyClick(editor, Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(d.w->CurDate, QDate(2004, 9, 9));
    QCOMPARE(d.status(), u" 当前记录：2004年9月9日 (星期四)"_qs);

    // Ctrl+F still opens the search beside them.
    QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(d.app->findWindow()->isVisible());
    d.app->findWindow()->hide();
    d.w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(d.w));

    // The collection has no days to step through.
    d.click("m_viewlove");
    QTest::keyClick(editor, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(d.w->CurDate, QDate(2004, 9, 9));
    QCOMPARE(d.text("mmw"), u"\r\n  请在列表中选择珍藏..."_qs);

    // During an edit none of them does anything.
    d.menu("m_edit");
    QTest::keyClicks(editor, u"home"_qs);
    const QString typed = d.text("mmw");
    const QString status = d.status();
    QTest::keyClick(editor, Qt::Key_Left, Qt::AltModifier);
    QTest::keyClick(editor, Qt::Key_Right, Qt::AltModifier);
    QTest::keyClick(editor, Qt::Key_N, Qt::ControlModifier);
    QVERIFY(d.editing());
    QCOMPARE(d.w->view(), Index::View::HomePage);
    QCOMPARE(d.w->CurDate, QDate(2004, 9, 9));
    QCOMPARE(d.text("mmw"), typed);
    QCOMPARE(d.status(), status);
}

void TestIndex::changedEditSurvivesLeaving_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("command");
    for (const QString &start : {u"m_new"_qs, u"m_edit"_qs, u"m_loveme"_qs})
        for (const QString &command : {u"m_help"_qs, u"bt_about"_qs, u"bt_exit"_qs})
            QTest::newRow(qPrintable(start + u", "_qs + command)) << start << command;
}

void TestIndex::changedEditSurvivesLeaving() {
    QFETCH(QString, start);
    QFETCH(QString, command);
    Diary d;
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.menu(start.toLatin1().constData());
    QTest::keyClicks(d.box("mmw"), u"typed"_qs);
    const QString typed = d.text("mmw");
    const QString title = d.text("Titles");
    QVERIFY(typed.contains(u"typed"_qs));
    if (command.startsWith(u"m_")) d.menu(command.toLatin1().constData());
    else d.click(command.toLatin1().constData());
    QVERIFY(d.editing());
    QVERIFY(d.w->isVisible());
    QCOMPARE(d.text("mmw"), typed);
    QCOMPARE(d.text("Titles"), title);
    QCOMPARE(d.status(), u" 请先保存或取消当前的编辑。"_qs);
}

void TestIndex::unchangedEditLeaves() {
    Diary d;
    d.menu("m_new");
    d.menu("m_help");
    QVERIFY(!d.editing());
    QCOMPARE(d.text("mmw"), BuildHelpText());
    d.menu("m_loveme");
    d.click("bt_about");
    QVERIFY(!d.editing());
    QCOMPARE(d.text("Titles"), u"关于晴窗"_qs);
}

void TestIndex::draftFollowsTheEdit() {
    Diary d;
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.menu("m_new");
    QTest::keyClicks(d.box("mmw"), u"abc"_qs);
    QVERIFY(d.draftWritten());
    std::optional<recovery::Draft> draft = recovery::load(d.dir.path());
    QVERIFY(draft);
    QCOMPARE(draft->kind, recovery::Kind::Entry);
    QCOMPARE(draft->date, QDate(2004, 9, 8));
    QCOMPARE(draft->title, u"2004-9-8"_qs);
    QCOMPARE(draft->richText, d.box("mmw")->textRTF());
    // Saving ends it.
    d.click("bt_save");
    QVERIFY(!QFile::exists(recovery::draftPath(d.dir.path())));
    // So does cancelling; a collection item keeps its title.
    d.menu("m_loveme");
    d.box("Titles")->setText(u"我的珍藏"_qs);
    QVERIFY(d.draftWritten());
    draft = recovery::load(d.dir.path());
    QVERIFY(draft && draft->kind == recovery::Kind::CollectionItem && draft->title == u"我的珍藏"_qs);
    d.click("bt_cancel");
    QVERIFY(!QFile::exists(recovery::draftPath(d.dir.path())));
}

void TestIndex::lockedEntryKeepsNoDraft() {
    Diary d;
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.menu("m_new");
    QTest::keyClicks(d.box("mmw"), u"secret"_qs);
    QVERIFY(d.draftWritten());
    QVERIFY(QFile::exists(recovery::draftPath(d.dir.path())));
    // Ticking "加密" takes the draft away at once, and no other comes while it stays ticked.
    d.get<QCheckBox>("ck_pw")->click();
    QVERIFY(!QFile::exists(recovery::draftPath(d.dir.path())));
    QTest::keyClicks(d.box("mmw"), u" more"_qs);
    QVERIFY(d.draftWritten());
    QVERIFY(!QFile::exists(recovery::draftPath(d.dir.path())));
}

void TestIndex::tickTakesTheDraftAway_data() {
    QTest::addColumn<bool>("mouse"); // the box ticked with the mouse, else with the space key
    QTest::newRow("mouse") << true;
    QTest::newRow("space key") << false;
}

// Typed first, then ticked "加密": the draft of the words goes at the tick, and no other comes
// while the box stays ticked; untick it and the draft is back, readable by its owner alone.
void TestIndex::tickTakesTheDraftAway() {
    QFETCH(bool, mouse);
    Diary d;
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.clickBar("m_new");
    QVERIFY(d.editing());
    RichTextBox *editor = d.box("mmw");
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    typeText(editor, u"小雪生日 birthday"_qs);
    QVERIFY(d.draftWritten());
    const QString recovery = d.path(u"Recovery"_qs);
    QList<QByteArray> words = secrets::forms(u"小雪生日"_qs) + secrets::forms(u"birthday"_qs);
    QVERIFY(!secrets::holding(recovery, words).isEmpty());
    QCOMPARE(mode(recovery), 0700);
    QCOMPARE(mode(recovery::draftPath(d.dir.path())), 0600);

    QCheckBox *ck = d.get<QCheckBox>("ck_pw");
    auto toggle = [&] {
        if (mouse) {
            QTest::mouseClick(ck, Qt::LeftButton, {}, QPoint(8, ck->height() / 2));
        } else {
            ck->setFocus();
            QTest::keyClick(ck, Qt::Key_Space);
        }
    };
    toggle();
    QVERIFY(ck->isChecked());
    QCOMPARE(QDir(recovery).entryList(QDir::Files | QDir::Hidden), QStringList());
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    typeText(editor, u" 雪人暗号"_qs);
    QVERIFY(d.draftWritten());
    words += secrets::forms(u"雪人暗号"_qs);
    QVERIFY2(secrets::holding(d.dir.path(), words).isEmpty(),
             qPrintable(secrets::holding(d.dir.path(), words).join(u' ')));
    QCOMPARE(QDir(recovery).entryList(QDir::Files | QDir::Hidden), QStringList());

    toggle();
    QVERIFY(!ck->isChecked());
    QVERIFY(d.draftWritten());
    QVERIFY(!secrets::holding(recovery, secrets::forms(u"雪人暗号"_qs)).isEmpty());
    QCOMPARE(mode(recovery::draftPath(d.dir.path())), 0600);
}

// An entry opened with its password is shown in clear; it never becomes the home page, which is
// kept in clear, nor its draft. Another entry shown after it can.
void TestIndex::lockedEntryIsNoHomePage() {
    Diary d;
    const QString file = d.path(u"DB/20040908.KAV"_qs);
    QVERIFY(
        diary::appendEntry(file, u"open"_qs, {}, QString::fromLatin1(kBodyA), [] { return 1; }));
    const QString rich =
        u"{\\rtf1\\ansi\\ansicpg936 \\'d0\\'a1\\'d1\\'a9\\'c9\\'fa\\'c8\\'d5 birthday\\par\r\n}"_qs;
    QVERIFY(diary::appendEntry(file, u"locked"_qs, {u"pw"_qs, true}, rich, [] { return 2; }));
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.click("btReturn");
    QCOMPARE(d.titles(), (QStringList{u"open"_qs, u"locked"_qs}));
    RichTextBox *pw = d.box("rt_pw");
    QTest::mouseClick(pw->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::keyClick(pw, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(pw, u"pw"_qs);
    d.open(1);
    QCOMPARE(d.text("mmw"), u"小雪生日 birthday"_qs);

    d.clickBar("m_edit");
    QCOMPARE(d.status(), u" 加锁的日记不能设为首页。"_qs);
    QVERIFY(!d.editing());
    QTest::mouseClick(d.box("mmw")->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::keyClicks(d.box("mmw"), u" more"_qs);
    QVERIFY(!d.draftWritten());
    QList<QByteArray> words = secrets::forms(u"小雪生日"_qs) + secrets::forms(u"birthday"_qs);
    QVERIFY2(secrets::holding(d.dir.path(), words).isEmpty(),
             qPrintable(secrets::holding(d.dir.path(), words).join(u' ')));
    QVERIFY(!QFile::exists(d.path(u"index.KAV"_qs)));

    // The open entry of the same day can be the home page.
    d.open(0);
    QCOMPARE(d.text("mmw"), u"first body"_qs);
    d.clickBar("m_edit");
    QVERIFY(d.editing());
    QCOMPARE(d.status(), u" 点击 [保存] 当前信息将被设置为首页."_qs);
}

// The key of a sealed entry (the cost new entries get) is derived beside the window: its timers
// go on ticking while the entry opens, and the entry opens all the same.
void TestIndex::sealedEntryOpensBesideTheWindow() {
    Diary d;
    QVERIFY(diary::appendEntry(d.path(u"DB/20040908.KAV"_qs), u"sealed"_qs, {u"pw"_qs, true},
                               QString::fromLatin1(kBodyA), [] { return 3; }));
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.click("btReturn");
    d.box("rt_pw")->setText(u"pw"_qs);
    int ticks = 0;
    QTimer ticking;
    connect(&ticking, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticking.start(5);
    d.open(0);
    const int during = ticks;
    ticking.stop();
    QCOMPARE(d.text("mmw"), u"first body"_qs);
    QVERIFY2(during >= 3, qPrintable(QString::number(during)));
}

void TestIndex::draftReopens_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("status");
    QTest::newRow("entry") << int(recovery::Kind::Entry) << u" 已恢复上次未保存的编辑，请保存或取消。"_qs;
    QTest::newRow("home page") << int(recovery::Kind::HomePage) << u" 已恢复上次未保存的编辑，请保存或取消。"_qs;
    QTest::newRow("collection item") << int(recovery::Kind::CollectionItem)
                                     << u" 已恢复上次未保存的编辑，请保存或取消。"_qs;
}

void TestIndex::draftReopens() {
    QFETCH(int, kind);
    QFETCH(QString, status);
    recovery::Draft draft;
    draft.kind = recovery::Kind(kind);
    if (draft.kind == recovery::Kind::Entry) draft.date = QDate(2001, 2, 3);
    draft.title = u"找回的标题"_qs;
    draft.richText = QString::fromLatin1(kBodyB);
    Diary d(QByteArray(), QDate(2004, 9, 8), draft);
    QVERIFY(d.editing());
    QCOMPARE(d.w->view(), draft.kind == recovery::Kind::CollectionItem ? Index::View::Collection
                          : draft.kind == recovery::Kind::Entry        ? Index::View::Diary
                                                                       : Index::View::HomePage);
    QCOMPARE(d.text("Titles"), draft.title);
    QCOMPARE(d.text("mmw"), u"secret 中\r\nline two"_qs);
    QCOMPARE(d.status(), status);
    // Nothing written until saved; the edit is a changed one.
    QCOMPARE(d.files(), (QMap<QString, QByteArray>()));
    QVERIFY(!QFile::exists(d.path(u"index.KAV"_qs)));
    d.menu("m_help");
    QVERIFY(d.editing());
    d.click("bt_save");
    QVERIFY(!d.editing());
    QVERIFY(!QFile::exists(recovery::draftPath(d.dir.path())));
    const QString saved = draft.kind == recovery::Kind::Entry ? u"DB/20010203.KAV"_qs
                          : draft.kind == recovery::Kind::HomePage ? u"index.KAV"_qs
                                                                   : u"Love/找回的标题"_qs;
    QVERIFY(QFile::exists(d.path(saved)));
}

void TestIndex::titleOutsideCodePage() {
    Diary d;
    d.menu("m_new");
    d.box("Titles")->setText(u"晴😀"_qs);
    d.click("bt_save");
    QVERIFY(testsupport::readFile(d.path(u"DB/20040908.KAV"_qs)).contains("\r\n\xc7\xe7\x94\x39\xfc\x36\r\n"));
    d.click("btReturn");
    QCOMPARE(d.titles(), QStringList{u"晴😀"_qs});
}

void TestIndex::oddCollectionNames() {
    Diary d;
    // Names a new title could not have still open and go; what is no regular file is not listed.
    testsupport::writeFile(d.path(u"Love/a:b"_qs), "{\\rtf1 colon\\par\r\n}\r\n");
    testsupport::writeFile(d.path(u"Love/x\\y"_qs), "{\\rtf1 backslash\\par\r\n}\r\n");
    QVERIFY(QDir().mkpath(d.path(u"Love/folder"_qs)));
    QCOMPARE(::mkfifo(QFile::encodeName(d.path(u"Love/pipe"_qs)).constData(), 0600), 0);
    d.click("m_viewlove");
    QStringList names = d.titles();
    names.sort();
    QCOMPARE(names, (QStringList{u"a:b"_qs, u"x\\y"_qs}));
    for (const QString &name : {u"a:b"_qs, u"x\\y"_qs}) {
        d.open(d.titles().indexOf(name));
        QCOMPARE(d.text("mmw"), name == u"a:b" ? u"colon"_qs : u"backslash"_qs);
        d.select(d.titles().indexOf(name));
        d.keyInList(Qt::Key_Delete);
        QCOMPARE(d.text("mmw"), u"\r\n 珍藏删除成功！"_qs);
        QVERIFY(!QFile::exists(d.path(u"Love/"_qs + name)));
    }
    QVERIFY(QFileInfo(d.path(u"Love/pipe"_qs)).exists());
}

void TestIndex::ctrlTurnsAboutIntoAlbum() {
    Diary d;
    QPushButton *about = d.get<QPushButton>("bt_about");
    QTest::keyPress(d.list(), Qt::Key_Control);
    QCOMPARE(about->text(), u"相册"_qs);
    QCOMPARE(about->property("tag").toString(), u"1"_qs);
    QTest::keyRelease(d.list(), Qt::Key_Control);
    QCOMPARE(about->text(), u"关于"_qs);
    QCOMPARE(about->property("tag").toString(), u"0"_qs);
    // Held while clicking: the album opens and the diary hides.
    QTest::keyPress(d.list(), Qt::Key_Control);
    d.click("bt_about");
    QVERIFY(d.app->photoLoaded());
    QVERIFY(!d.w->isVisible());
    QCOMPARE(about->text(), u"关于"_qs);
}

void TestIndex::newEntryAndSave() {
    Diary d;
    d.randoms = {0.5}; // 499999.5 rounds to the even 500000
    d.menu("m_new");
    QVERIFY(d.editing());
    QCOMPARE(d.text("Titles"), u"2004-9-8"_qs);
    QCOMPARE(d.status(), u" 新建日记"_qs);
    QCOMPARE(d.text("mmw"), diary::entryTemplate(QDate(2004, 9, 8)));
    QVERIFY(!d.box("mmw")->isReadOnly());
    QVERIFY(!d.list()->isEnabled() && !d.get<QAction>("m_new")->isEnabled());
    QVERIFY(!d.box("rt_pw")->isEnabled());
    d.box("mmw")->setText(u"今天晴。\r\nsecond line"_qs);
    d.box("Titles")->setText(u"晴天\r\n下午"_qs);
    const QString rich = d.box("mmw")->textRTF();
    d.click("bt_save");
    QVERIFY(!d.editing());
    QCOMPARE(d.titles(), QStringList{u"晴天 下午"_qs});
    QCOMPARE(d.status(), u" 当前记录：2004年9月8日 (星期三)"_qs);
    QCOMPARE(d.text("mmw"), u"今天晴。\r\nsecond line"_qs);
    const QByteArray bytes = testsupport::readFile(d.path(u"DB/20040908.KAV"_qs));
    QCOMPARE(bytes, entry("500000", u"晴天 下午"_qs, "", cp936::encode(rich)));
    // A second entry is appended after the first.
    d.menu("m_new");
    d.box("Titles")->setText(u"second"_qs);
    d.click("bt_save");
    QCOMPARE(d.titles(), (QStringList{u"晴天 下午"_qs, u"second"_qs}));
    QVERIFY(testsupport::readFile(d.path(u"DB/20040908.KAV"_qs)).startsWith(bytes));
    d.open(0);
    QCOMPARE(d.text("mmw"), u"今天晴。\r\nsecond line"_qs);
}

void TestIndex::newEntryForAnotherDate() {
    Diary d;
    d.box("tt_year")->setText(u"2004"_qs);
    d.box("tt_month")->setText(u"13"_qs);
    d.box("tt_day")->setText(u"1"_qs);
    d.click("btReWrite");
    QCOMPARE(d.text("mmw"), u"\r\n  您的输入错了，您家的日历里有这个日子吗？"_qs);
    QVERIFY(!d.editing());
    d.box("tt_month")->setText(u"2"_qs);
    d.box("tt_day")->setText(u"29"_qs);
    d.click("btReWrite");
    QVERIFY(d.editing());
    QCOMPARE(d.text("Titles"), u"2004-2-29"_qs);
    QCOMPARE(d.text("mmw"), diary::entryTemplate(QDate(2004, 2, 29)));
    d.click("bt_save");
    QVERIFY(QFile::exists(d.path(u"DB/20040229.KAV"_qs)));
}

void TestIndex::newKeysNeverRepeat() {
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs), entry("250000", u"old"_qs, "", kBodyA));
    d.randoms = {0.25, 0.25, 0.5}; // 249999.75 rounds to 250000, which the file holds
    d.menu("m_new");
    d.click("bt_save");
    const diary::Listing l = diary::ListEntries(d.path(u"DB/20040908.KAV"_qs));
    QCOMPARE(l.items.size(), 2);
    QCOMPARE(l.items[1].key, 500000);
}

void TestIndex::sizeLimits_data() {
    QTest::addColumn<bool>("homePage");
    QTest::addColumn<int>("extra");
    QTest::addColumn<bool>("saved");
    QTest::newRow("entry of 400000") << false << 0 << true;
    QTest::newRow("entry of 400001") << false << 1 << false;
    QTest::newRow("home page of 800000") << true << 0 << true;
    QTest::newRow("home page of 800001") << true << 1 << false;
}

void TestIndex::sizeLimits() {
    QFETCH(bool, homePage);
    QFETCH(int, extra);
    QFETCH(bool, saved);
    Diary d;
    const int limit = homePage ? 800000 : 400000;
    if (homePage) d.menu("m_edit");
    else d.menu("m_new");
    // Words in lines, as a long entry is; a letter is one character of RTF, so whole lines and
    // then letters of the last line are dropped to bring the RTF to the limit exactly.
    const QString line = u"aaaaaaaaa "_qs.repeated(10);
    QStringList lines;
    for (int n = 0; n * line.size() < limit; ++n)
        lines << line;
    d.box("mmw")->setText(lines.join(u"\r\n"_qs));
    const qsizetype perLine = (d.box("mmw")->textRTF().size() - line.size()) / lines.size();
    qsizetype over = d.box("mmw")->textRTF().size() - (limit + extra);
    while (over >= line.size()) {
        lines.removeLast();
        over -= perLine;
    }
    d.box("mmw")->setText(lines.join(u"\r\n"_qs));
    over = d.box("mmw")->textRTF().size() - (limit + extra);
    QVERIFY(over >= 0 && over < line.size());
    lines.last().chop(over);
    const QString body = lines.join(u"\r\n"_qs);
    d.box("mmw")->setText(body);
    QCOMPARE(d.box("mmw")->textRTF().size(), limit + extra);
    d.click("bt_save");
    const QString file = homePage ? d.path(u"index.KAV"_qs) : d.path(u"DB/20040908.KAV"_qs);
    QCOMPARE(QFile::exists(file), saved);
    QCOMPARE(d.editing(), !saved);
    if (!saved) {
        QCOMPARE(d.status(), u" 文件太大了，无法保存！"_qs);
        QCOMPARE(d.text("mmw"), body);
    }
}

void TestIndex::failedSaveKeepsText() {
    Diary d;
    // The date file's name is taken by a folder: it cannot be opened for appending.
    QVERIFY(QDir().mkpath(d.path(u"DB/20040908.KAV"_qs)));
    d.menu("m_new");
    d.box("mmw")->setText(u"do not lose me"_qs);
    d.box("Titles")->setText(u"kept title"_qs);
    d.click("bt_save");
    QVERIFY(d.editing());
    QCOMPARE(d.status(), u" 文件没有保存."_qs);
    QCOMPARE(d.text("mmw"), u"do not lose me"_qs);
    QCOMPARE(d.text("Titles"), u"kept title"_qs);
    // The home page in a folder that is gone.
    Diary h("[index]\r\npath=missing\\index.KAV\r\n");
    h.menu("m_edit");
    h.box("mmw")->setText(u"home"_qs);
    h.click("bt_save");
    QVERIFY(h.editing());
    QCOMPARE(h.status(), u" 文件没有保存."_qs);
    QCOMPARE(h.text("mmw"), u"home"_qs);
}

void TestIndex::cancelWritesNothing() {
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs), entry("1", u"a"_qs, "", kBodyA));
    d.menu("m_new");
    d.box("mmw")->setText(u"typed"_qs);
    d.click("bt_cancel");
    QVERIFY(!d.editing());
    QCOMPARE(d.text("mmw"), u"\r\n  取消操作..."_qs);
    QCOMPARE(d.titles(), QStringList{u"a"_qs});
    QCOMPARE(testsupport::readFile(d.path(u"DB/20040908.KAV"_qs)), entry("1", u"a"_qs, "", kBodyA));
}

void TestIndex::pasteAtCaret() {
    Diary d;
    d.menu("m_new");
    d.box("mmw")->setText(u"ab"_qs);
    QTextCursor c = d.box("mmw")->textCursor();
    c.setPosition(1);
    d.box("mmw")->setTextCursor(c);
    QGuiApplication::clipboard()->setText(u"粘贴的"_qs);
    // The focus is elsewhere when the button is pressed; pasting brings it back to the editor.
    d.box("Titles")->setFocus();
    QCOMPARE(d.w->focusWidget(), d.box("Titles"));
    d.click("bt_v");
    QCOMPARE(d.text("mmw"), u"a粘贴的b"_qs);
    QCOMPARE(d.w->focusWidget(), d.box("mmw"));
}

// With [Security] Encrypt=0 a locked entry keeps the old lock, for a folder shared with older copies.
void TestIndex::lockedEntries() {
    Diary d("[Security]\r\nEncrypt=0\r\n\r\n");
    d.menu("m_new");
    d.get<QCheckBox>("ck_pw")->click();
    QVERIFY(d.box("rt_pw")->isEnabled());
    QCOMPARE(d.text("rt_pw"), QString());
    d.box("rt_pw")->setText(u"中a"_qs);
    d.box("mmw")->setText(u"locked body"_qs);
    d.box("Titles")->setText(u"lock"_qs);
    d.click("bt_save");
    QVERIFY(testsupport::readFile(d.path(u"DB/20040908.KAV"_qs)).contains("\r\n\x07-1054497\r\n"));
    // The box still holds the password: the entry opens at once.
    d.open(0);
    QCOMPARE(d.text("mmw"), u"locked body"_qs);
    d.box("rt_pw")->setText(u"x"_qs);
    d.open(0);
    QCOMPARE(d.text("mmw"), u"\r\n  * 记录已加密，请输入正确的密码。"_qs);
    // Ticked with an empty box: no password.
    d.menu("m_new");
    QVERIFY(d.get<QCheckBox>("ck_pw")->isChecked());
    d.box("Titles")->setText(u"open"_qs);
    d.click("bt_save");
    QVERIFY(testsupport::readFile(d.path(u"DB/20040908.KAV"_qs)).contains("open\r\n\x07\r\n"));
}

// By default a locked entry is enciphered: neither its words nor its password can be read from the
// disk, and it opens and goes only with the password.
void TestIndex::encipheredEntries() {
    Diary d;
    const QString file = d.path(u"DB/20040908.KAV"_qs);
    const QString words = u"今天和小雪去西湖散步 secret words"_qs;
    const QString password = u"密码pw"_qs;
    d.menu("m_new");
    d.get<QCheckBox>("ck_pw")->click();
    d.box("rt_pw")->setText(password);
    d.box("Titles")->setText(u"西湖"_qs);
    d.box("mmw")->setText(words);
    d.click("bt_save");
    QVERIFY(!d.editing());
    QCOMPARE(d.titles(), QStringList{u"西湖"_qs});
    const QByteArray bytes = testsupport::readFile(file);
    const diary::Listing l = diary::ListEntries(file);
    QCOMPARE(l.items.size(), 1);
    QVERIFY(bytes.startsWith("\x7f" + QByteArray::number(l.items[0].key) + "\r\n" + cp936::encode(u"西湖"_qs) +
                             "\r\n\x07$q1$\r\n{\\rtf1\\ansi\\ansicpg936"));
    QVERIFY(bytes.endsWith("\\par\r\n}\r\n \x7f\r\n"));
    const QStringList secrets = {u"小雪"_qs, u"西湖散步"_qs, u"secret words"_qs, password, u"密码"_qs};
    for (const QString &secret : secrets) {
        const QByteArray gbk = cp936::encode(secret);
        QString escapes; // as RTF writes code page 936: \'d0\'a1
        for (char c : gbk)
            escapes += c & 0x80 ? u"\\'%1"_qs.arg(quint8(c), 2, 16, QLatin1Char('0')) : QString(QLatin1Char(c));
        const QByteArray utf16(reinterpret_cast<const char *>(secret.utf16()), secret.size() * 2);
        for (const QByteArray &form : {gbk, escapes.toLatin1(), secret.toUtf8(), utf16})
            QVERIFY2(!bytes.contains(form), qPrintable(secret));
    }
    QVERIFY(!bytes.contains(cp936::encode(diary::PasswordCode(password))));
    QVERIFY(!bytes.contains(cp936::encode(diary::PasswordCode(u"pw"_qs))));
    QVERIFY(!QFile::exists(d.path(u"DB/"_qs + localname::dateTempName())));

    // The box still holds the password: the entry opens at once; another password shows the lock.
    d.open(0);
    QCOMPARE(d.text("mmw"), words);
    d.box("rt_pw")->setText(u"密码pX"_qs);
    d.open(0);
    QCOMPARE(d.text("mmw"), u"\r\n  * 记录已加密，请输入正确的密码。"_qs);
    d.box("rt_pw")->setText(password);
    d.click("bt_OK");
    QCOMPARE(d.text("mmw"), words);
    // Delete with a wrong password changes nothing; with the right one the entry goes.
    d.box("rt_pw")->setText(u"******"_qs);
    d.select(0);
    d.keyInList(Qt::Key_Delete);
    QCOMPARE(d.text("mmw"), u"\r\n  * 记录已加密！\r\n  * 请输入正确的密码，然后再执行刚才的操作。"_qs);
    QCOMPARE(testsupport::readFile(file), bytes);
    d.box("rt_pw")->setText(password);
    d.select(0);
    d.keyInList(Qt::Key_Delete);
    QCOMPARE(d.text("mmw"), u"\r\n  日记删除成功！"_qs);
    QVERIFY(!QFile::exists(file));
}

// A changed byte in an enciphered entry: the editor says so, and shows nothing of the body.
void TestIndex::damagedEncipheredEntry() {
    Diary d;
    const QString file = d.path(u"DB/20040908.KAV"_qs);
    d.menu("m_new");
    d.get<QCheckBox>("ck_pw")->click();
    d.box("rt_pw")->setText(u"abc"_qs);
    d.box("mmw")->setText(u"words"_qs);
    d.click("bt_save");
    QByteArray bytes = testsupport::readFile(file);
    const qsizetype at = bytes.indexOf("\\fs18 ") + 20; // inside the record's base64
    bytes[at] = bytes[at] == 'A' ? 'B' : 'A';
    QVERIFY(testsupport::writeFile(file, bytes));
    const QString damaged = u"\r\n  * 加密记录已损坏或被改动，无法打开。"_qs;
    d.open(0);
    QCOMPARE(d.text("mmw"), damaged);
    d.click("bt_OK");
    QCOMPARE(d.text("mmw"), damaged);
}

// "加密旧日记" enciphers the old locks of the password in the box, in every date file, and says
// how many; they then open with that password as before.
void TestIndex::encipherOldEntries() {
    Diary d;
    const QString today = d.path(u"DB/20040908.KAV"_qs);
    const QString other = d.path(u"DB/20040101.KAV"_qs);
    const QByteArray open = entry("1", u"open"_qs, "", kBodyA);
    const QByteArray otherLock = entry("3", u"other"_qs, "-10544", kBodyA);
    QVERIFY(testsupport::writeFile(today, open + entry("2", u"old"_qs, "979899", kBodyB) + otherLock));
    QVERIFY(testsupport::writeFile(other, entry("9", u"older"_qs, "979899", kBodyB)));
    QAction *encipher = d.get<QAction>("m_encipherOld");
    QCOMPARE(encipher->text(), u"加密旧日记"_qs);
    QCOMPARE(d.get<QMenu>("m_tools")->actions().count(encipher), 1);
    d.box("rt_pw")->setText(QString());
    d.menu("m_encipherOld");
    QCOMPARE(d.text("mmw"), u"\r\n  请在密码框中输入旧日记的密码，然后再执行刚才的操作。"_qs);
    d.box("rt_pw")->setText(u"abc"_qs);
    // While other background work (a backup) runs, nothing is started.
    QVERIFY(d.app->keepJob().start([] {
        QThread::msleep(300);
        return store::Result{};
    }));
    d.menu("m_encipherOld");
    QCOMPARE(d.text("says"), u" 正在备份、恢复或导出，请稍后再加密旧日记。"_qs);
    d.app->keepJob().wait();
    QVERIFY(testsupport::readFile(other).contains(kBodyB));
    // The work runs in the background; meanwhile the window takes no commands.
    d.menu("m_encipherOld");
    QVERIFY(d.text("says").startsWith(u" 正在加密旧日记..."_qs));
    QVERIFY(!d.get<QWidget>("form")->isEnabled() && !d.w->menuBar()->isEnabled());
    const QString otherLeft =
        u"\r\n  以下日记用另一个密码加锁，仍是旧格式（用它的密码再加密一次）：\r\n    20040908.KAV: other"_qs;
    QTRY_COMPARE_WITH_TIMEOUT(d.text("mmw"), u"\r\n  已加密 2 篇旧日记。"_qs + otherLeft, 30000);
    QVERIFY(d.get<QWidget>("form")->isEnabled() && d.w->menuBar()->isEnabled());
    QCOMPARE(d.text("says"), u" 旧日记已加密，之前备份中的副本也已加密。"_qs);
    const QByteArray now = testsupport::readFile(today);
    QVERIFY(now.startsWith(open + "\x7f" "2\r\nold\r\n\x07$q1$\r\n"));
    QVERIFY(now.endsWith(otherLock));
    QVERIFY(!now.contains(kBodyB) && !testsupport::readFile(other).contains(kBodyB));
    d.click("btReturn");
    d.open(1);
    QCOMPARE(d.text("mmw"), u"secret 中\r\nline two"_qs);
    // Nothing is left to do; in edit mode the command is not offered.
    d.menu("m_encipherOld");
    QTRY_COMPARE_WITH_TIMEOUT(d.text("mmw"), u"\r\n  已加密 0 篇旧日记。"_qs + otherLeft, 30000);
    d.menu("m_new");
    QVERIFY(!encipher->isEnabled() || !d.get<QMenu>("m_tools")->menuAction()->isEnabled());
}

// The program ending while old entries are enciphered stops after the date file being written:
// it neither waits for all of them nor leaves one half written.
void TestIndex::endingStopsEnciphering() {
    Diary d;
    const QByteArray old = entry("2", u"old"_qs, "979899", kBodyB);
    QStringList names;
    for (int day = 1; day <= 12; ++day) {
        names << d.path(u"DB/200401%1.KAV"_qs.arg(day, 2, 10, QLatin1Char('0')));
        QVERIFY(testsupport::writeFile(names.last(), old));
    }
    d.box("rt_pw")->setText(u"abc"_qs);
    d.menu("m_encipherOld");
    QVERIFY(d.text("says").startsWith(u" 正在加密旧日记..."_qs));
    d.app.reset();
    int enciphered = 0;
    for (const QString &name : std::as_const(names)) {
        const QByteArray now = testsupport::readFile(name);
        if (now == old) continue;
        QVERIFY(now.startsWith("\x7f" "2\r\nold\r\n\x07$q1$\r\n"));
        ++enciphered;
    }
    QVERIFY2(enciphered < names.size(), qPrintable(QString::number(enciphered)));
}

// "停止" under the progress of "加密旧日记", clicked mid-way, stops after the date file being
// written: each date file is either as it was or converted whole (and opens with the password),
// and the status line says how many were done.
void TestIndex::stopEnciphering() {
    Diary d;
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    const QByteArray old = entry("2", u"old"_qs, "979899", kBodyB);
    QStringList names;
    for (int day = 1; day <= 20; ++day) {
        names << d.path(u"DB/200401%1.KAV"_qs.arg(day, 2, 10, QLatin1Char('0')));
        QVERIFY(testsupport::writeFile(names.last(), old));
    }
    QProgressBar *progress = d.get<QProgressBar>("pb_work");
    QPushButton *stop = d.get<QPushButton>("bt_stopWork");
    QVERIFY(!stop->isVisible() && !progress->isVisible());
    d.box("rt_pw")->setText(u"abc"_qs);
    QMenu *tools = d.get<QMenu>("m_tools");
    QMenuBar *bar = d.w->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(tools->menuAction()).center());
    QVERIFY(QTest::qWaitForWindowExposed(tools));
    QTest::mouseClick(tools, Qt::LeftButton, {}, tools->actionGeometry(d.get<QAction>("m_encipherOld")).center());
    QVERIFY(stop->isVisible() && stop->isEnabled() && progress->isVisible());
    // The rest of the window waits; the stop button does not.
    QVERIFY(!d.get<QWidget>("form")->isEnabled() && !d.w->menuBar()->isEnabled());
    // Once the first date file is done.
    QTRY_VERIFY_WITH_TIMEOUT(progress->value() >= 1, 30000);
    QCOMPARE(progress->maximum(), 20);
    QCOMPARE(d.status(), u" 正在加密旧日记... %1 / 20"_qs.arg(progress->value()));
    QTest::mouseClick(stop, Qt::LeftButton, {}, stop->rect().center());
    QVERIFY(!stop->isEnabled());
    QCOMPARE(d.status(), u" 正在停止，写完当前的日记文件后停下..."_qs);
    QTRY_VERIFY_WITH_TIMEOUT(d.get<QWidget>("form")->isEnabled(), 30000);
    QVERIFY(d.w->menuBar()->isEnabled() && !stop->isVisible() && !progress->isVisible());
    int converted = 0;
    for (const QString &name : std::as_const(names)) {
        const QByteArray now = testsupport::readFile(name);
        if (now == old) continue;
        QVERIFY2(now.startsWith("\x7f" "2\r\nold\r\n\x07$q1$\r\n"), qPrintable(name));
        FOS fos;
        fos.fr(name);
        QCOMPARE(fos.getContent(u"2"_qs, u"abc"_qs), std::optional<QString>(QString::fromLatin1(kBodyB)));
        ++converted;
    }
    QVERIFY2(converted >= 1 && converted < names.size(), qPrintable(QString::number(converted)));
    QCOMPARE(d.status(), u" 已停止加密旧日记：已加密 %1 篇（%1 个日记文件），其余的仍是旧格式。"_qs.arg(converted));
    QCOMPARE(d.text("mmw"), u"\r\n  已加密 %1 篇旧日记。"_qs.arg(converted));
    QVERIFY(!QFile::exists(d.path(u"DB/"_qs + localname::dateTempName())));
    // The files left old are converted by the next run, to the end.
    d.menu("m_encipherOld");
    QTRY_COMPARE_WITH_TIMEOUT(d.status(), u" 旧日记已加密，之前备份中的副本也已加密。"_qs, 60000);
    QCOMPARE(d.text("mmw"), u"\r\n  已加密 %1 篇旧日记。"_qs.arg(names.size() - converted));
}

// After "加密旧日记" no file under the program folder, and no member of a backup, holds the old
// password line or the words of a converted entry; the entry of another password is named. The
// window says what it does before and after.
void TestIndex::encipherOldLeavesNothingInClear() {
    Diary d;
    const QByteArray secret =
        "{\\rtf1\\ansi\\ansicpg936 \\'d0\\'a1\\'d1\\'a9\\'c9\\'fa\\'c8\\'d5 birthday\\par\r\n}";
    QVERIFY(testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs),
                                   entry("2", u"old"_qs, "979899", secret) +
                                       entry("3", u"别的锁"_qs, "-10544", kBodyA)));
    QVERIFY(testsupport::writeFile(d.path(u"DB/20040101.KAV"_qs),
                                   entry("9", u"older"_qs, "979899", secret)));
    d.app->keepJob().wait();
    QVERIFY(keep::makeBackup(d.dir.path(), QDateTime(QDate(2004, 9, 7), QTime(9, 0)), {}).ok());
    const QList<QByteArray> words = QList<QByteArray>{"\x07"
                                                      "979899"} +
                                    secrets::forms(u"小雪生日"_qs) + secrets::forms(u"birthday"_qs);
    QVERIFY(!secrets::holding(d.dir.path(), words).isEmpty());

    QStringList said;
    connect(d.box("says"), &QTextEdit::textChanged, this, [&] {
        if (!d.status().isEmpty() && (said.isEmpty() || said.last() != d.status()))
            said << d.status();
    });
    d.box("rt_pw")->setText(u"abc"_qs);
    d.menu("m_encipherOld");
    QCOMPARE(d.text("mmw"), u"\r\n  正在加密旧日记；之前的备份中这些日记的副本也将一并加密。"_qs);
    const QString done = u" 旧日记已加密，之前备份中的副本也已加密。"_qs;
    QTRY_VERIFY_WITH_TIMEOUT(!said.isEmpty() && said.last() == done, 30000);
    QCOMPARE(said, (QStringList{u" 正在加密旧日记..."_qs, u" 正在加密旧日记... 0 / 2"_qs,
                                u" 正在加密旧日记... 1 / 2"_qs,
                                u" 正在加密备份中的旧日记... 0 / 1"_qs, done}));
    QCOMPARE(d.text("mmw"), u"\r\n  已加密 2 篇旧日记。"
                            "\r\n  备份中另加密了 2 篇的副本。"
                            "\r\n  以下日记用另一个密码加锁，仍是旧格式（用它的密码再加密一次）："
                            "\r\n    20040908.KAV: 别的锁"
                            "\r\n    diary-20040907-090000.zip DB/20040908.KAV: 别的锁"_qs);
    QVERIFY2(secrets::holding(d.dir.path(), words).isEmpty(),
             qPrintable(secrets::holding(d.dir.path(), words).join(u' ')));
    QVERIFY(!QFile::exists(d.path(u"DB/temp.tmp"_qs)));
    // The converted entries open with the password to their old bodies.
    d.click("btReturn");
    d.box("rt_pw")->setText(u"abc"_qs);
    d.open(0);
    QCOMPARE(d.text("mmw"), u"小雪生日 birthday"_qs);
}

void TestIndex::passwordControlStates() {
    Diary d;
    QCheckBox *ck = d.get<QCheckBox>("ck_pw");
    RichTextBox *pw = d.box("rt_pw");
    QVERIFY(!ck->isEnabled() && pw->isEnabled());
    d.menu("m_new");
    QVERIFY(ck->isEnabled() && !pw->isEnabled());
    ck->click();
    QVERIFY(pw->isEnabled());
    pw->setText(u"x"_qs);
    ck->click();
    QVERIFY(!pw->isEnabled());
    QCOMPARE(pw->text(), QString());
    d.click("bt_cancel");
    QVERIFY(!ck->isEnabled() && pw->isEnabled());
    d.menu("m_edit");
    QVERIFY(!ck->isEnabled() && !pw->isEnabled());
    d.click("bt_cancel");
    d.click("m_viewlove");
    QVERIFY(!ck->isEnabled() && !pw->isEnabled());
    d.click("btReturn");
    QVERIFY(pw->isEnabled());
    d.click("m_seeDiary");
    QCOMPARE(pw->text(), u"******"_qs);
}

void TestIndex::homePage() {
    Diary d;
    testsupport::writeFile(d.path(u"DB/20040908.KAV"_qs), entry("1", u"a"_qs, "", kBodyA));
    d.click("btReturn");
    d.open(0);
    d.menu("m_edit");
    QVERIFY(d.editing());
    QCOMPARE(d.status(), u" 点击 [保存] 当前信息将被设置为首页."_qs);
    const QString rich = d.box("mmw")->textRTF();
    d.click("bt_save");
    QVERIFY(!d.editing());
    QCOMPARE(testsupport::readFile(d.path(u"index.KAV"_qs)), cp936::encode(rich) + "\r\n");
    QCOMPARE(d.list()->count(), 0);
    QCOMPARE(d.text("mmw"), u"first body"_qs);
    // Dates with entries now show it above their lists; dates without do not.
    d.click("btReturn");
    QCOMPARE(d.text("mmw"), u"first body"_qs);
    QCOMPARE(d.titles(), QStringList{u"a"_qs});
    d.click("btAfter");
    QCOMPARE(d.text("mmw"), u"\r\n  没有 2004年9月9日 的记录。"_qs);
    // And the next start shows it at once.
    App again(d.dir.path());
    QCOMPARE(again.index()->editor()->text(), u"first body"_qs);
}

// A settings file (a restored one, say) naming a home page out of the program folder: "设置首页" →
// "保存" writes the home page inside it, and nothing outside.
void TestIndex::homePageStaysInside() {
    QTemporaryDir outer;
    const QString outside = outer.path() + u"/outside.KAV"_qs;
    // Enough ".." to reach the root from any folder, then down to outside.
    QString up = u"..\\"_qs.repeated(40) + outside.mid(1);
    up.replace(u'/', u'\\');
    Diary d("[index]\r\npath=" + up.toLocal8Bit() + "\r\n");
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.clickBar("m_edit");
    QVERIFY(d.editing());
    QTest::mouseClick(d.box("mmw")->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::keyClicks(d.box("mmw"), u"home"_qs);
    d.click("bt_save");
    QVERIFY(!d.editing());
    QVERIFY(!QFile::exists(outside));
    QVERIFY(testsupport::readFile(d.path(u"index.KAV"_qs)).contains("home"));
}

void TestIndex::collection() {
    Diary d;
    d.randoms = {0.000001}; // 0.999999 rounds to 1
    d.menu("m_loveme");
    QVERIFY(d.editing() && d.w->view() == Index::View::Collection);
    QCOMPARE(d.status(), u" 新建珍藏"_qs);
    QCOMPARE(d.text("Titles"), u"KAV_1"_qs);
    QCOMPARE(d.get<QPushButton>("bt_OK")->text(), u"编辑珍藏"_qs);
    d.box("mmw")->setText(u"珍藏一"_qs);
    const QString rich = d.box("mmw")->textRTF();
    d.click("bt_save");
    QVERIFY(!d.editing());
    QCOMPARE(testsupport::readFile(d.path(u"Love/KAV_1"_qs)), cp936::encode(rich) + "\r\n");
    QCOMPARE(d.titles(), QStringList{u"KAV_1"_qs});
    QVERIFY(!d.get<QPushButton>("btBefore")->isEnabled() && !d.get<QPushButton>("bt_to")->isEnabled());
    // A sub-folder is never listed.
    QDir().mkpath(d.path(u"Love/folder"_qs));
    d.click("m_viewlove");
    QCOMPARE(d.text("mmw"), u"\r\n  请在列表中选择珍藏..."_qs);
    QCOMPARE(d.titles(), QStringList{u"KAV_1"_qs});
    d.open(0);
    QCOMPARE(d.text("mmw"), u"珍藏一"_qs);
    QCOMPARE(d.text("Titles"), u"KAV_1"_qs);
    // Edit, save under another title: a new item, the old one stays.
    d.click("bt_OK");
    QVERIFY(d.editing());
    d.box("Titles")->setText(u"我的珍藏"_qs);
    d.box("mmw")->setText(u"changed"_qs);
    d.click("bt_save");
    QVERIFY(QFile::exists(d.path(u"Love/KAV_1"_qs)));
    QVERIFY(QFile::exists(d.path(u"Love/我的珍藏"_qs)));
    QCOMPARE(d.titles().size(), 2);
    // Saving over an existing title replaces it.
    d.open(d.titles().indexOf(u"KAV_1"_qs));
    d.click("bt_OK");
    d.box("Titles")->setText(u"我的珍藏"_qs);
    d.click("bt_save");
    QCOMPARE(testsupport::readFile(d.path(u"Love/我的珍藏"_qs)), cp936::encode(rich) + "\r\n");
    // Empty title saves as Null.
    d.menu("m_loveme");
    d.box("Titles")->setText(QString());
    d.click("bt_save");
    QVERIFY(QFile::exists(d.path(u"Love/Null"_qs)));
    // Delete.
    d.select(d.titles().indexOf(u"Null"_qs));
    d.keyInList(Qt::Key_Delete);
    QCOMPARE(d.text("mmw"), u"\r\n 珍藏删除成功！"_qs);
    QCOMPARE(d.status(), u" 删除珍藏"_qs);
    QVERIFY(!QFile::exists(d.path(u"Love/Null"_qs)));
    QVERIFY(!d.titles().contains(u"Null"_qs));
    // Cancel in collection mode.
    d.menu("m_loveme");
    d.click("bt_cancel");
    QCOMPARE(d.text("mmw"), u"\r\n  取消操作..."_qs);
    QVERIFY(!d.get<QPushButton>("btAfter")->isEnabled());
    // "==" leads back to the diary.
    d.click("btReturn");
    QCOMPARE(d.w->view(), Index::View::Diary);
    QCOMPARE(d.get<QPushButton>("bt_OK")->text(), u"确认密码"_qs);
}

void TestIndex::collectionRefusals() {
    Diary d(kNoDeletion);
    QDir().mkpath(d.path(u"Love"_qs));
    testsupport::writeFile(d.path(u"Love/item"_qs), "{\\rtf1 x\\par\r\n}\r\n");
    const QStringList illegal = {u"a/b"_qs, u"a\\b"_qs, u"a:b"_qs, u"a*b"_qs, u"a?b"_qs, u"a\"b"_qs,
                                 u"a<b"_qs, u"a>b"_qs, u"a|b"_qs, u"."_qs,   u".."_qs,  u"a\tb"_qs};
    for (const QString &title : illegal) {
        d.menu("m_loveme");
        d.box("mmw")->setText(u"keep this"_qs);
        d.box("Titles")->setText(title);
        d.click("bt_save");
        QVERIFY2(d.editing(), qPrintable(title));
        QCOMPARE(d.status(), u" 标题命名错误，有非法字符。"_qs);
        QCOMPARE(d.text("mmw"), u"keep this"_qs);
        d.click("bt_cancel");
    }
    QCOMPARE(QDir(d.path(u"Love"_qs)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"item"_qs});
    d.click("m_viewlove");
    d.select(0);
    d.keyInList(Qt::Key_Delete);
    QCOMPARE(d.text("mmw"), u"\r\n  当前设置禁止删除珍藏！\r\n  请修改安装目录下的Config.ini文件。"_qs);
    QVERIFY(QFile::exists(d.path(u"Love/item"_qs)));
    // A file that is not RTF does not load.
    testsupport::writeFile(d.path(u"Love/plain"_qs), "just text");
    d.click("m_viewlove");
    d.open(d.titles().indexOf(u"plain"_qs));
    QCOMPARE(d.text("mmw"), u"\r\n  加载文件出错，可能文件格式有误。"_qs);
}

void TestIndex::helpLines_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("line");
    QTest::newRow("1") << 1 << u"  = 日记 ="_qs;
    QTest::newRow("2") << 2 << u"  1.新建日记"_qs;
    QTest::newRow("3") << 3 << u"    [保存] 保存日记"_qs;
    QTest::newRow("4") << 4 << u"    [取消] 不保存日记。"_qs;
    QTest::newRow("5") << 5 << u"    [粘贴] 将剪切板的内容粘贴到编辑窗口（可以是图片）"_qs;
    QTest::newRow("6") << 6 << u"    日记超出容量将有提示，不保存当前日记，并且退出编辑状态。"_qs;
    QTest::newRow("7") << 7 << u"    加密日记，请选中 [加密]，并输入密码。"_qs;
    QTest::newRow("8") << 8 << u"  2.查看日记"_qs;
    QTest::newRow("9") << 9 << u"    [==] 返回今天的日记，或退出查看珍藏状态，进入日记查看状态。"_qs;
    QTest::newRow("10") << 10 << u"    [<=] 当前日期前一天的日记"_qs;
    QTest::newRow("11") << 11 << u"    [=>] 当前日期后一天的日记"_qs;
    QTest::newRow("12") << 12 << u"    [转到] 转到与所输入日期对应的日记。"_qs;
    QTest::newRow("13") << 13 << u"    在列表框里，双击记录加载选择的记录。"_qs;
    QTest::newRow("14") << 14 << u"    当日记有密码时，输入正确的密码才能查看。"_qs;
    QTest::newRow("15") << 15 << u"  3.补写日记"_qs;
    QTest::newRow("16") << 16 << u"    在 [选择日期] 里输入要补写的日期，点击 [添加]。"_qs;
    QTest::newRow("17") << 17 << u"  4.删除日记"_qs;
    QTest::newRow("18") << 18 << u"    在列表框里单击记录，按键盘上的 [Delete] 删除选中的日记。"_qs;
    QTest::newRow("19") << 19 << u"    注意：是单击！"_qs;
    QTest::newRow("20") << 20 << u"    提醒：如果有密码，请先输入密码，再执行删除操作。"_qs;
    QTest::newRow("21") << 21 << u"    "_qs;
    QTest::newRow("22") << 22 << u"  = 首页 ="_qs;
    QTest::newRow("23") << 23 << u"  1.关于首页"_qs;
    QTest::newRow("24") << 24 << u"    首页是在未加载日记前显示的画面。"_qs;
    QTest::newRow("25") << 25 << u"  2.首页的编辑"_qs;
    QTest::newRow("26") << 26 << u"    您可以在查看日记时点击 [设置首页] 可进入首页编辑模式，"_qs;
    QTest::newRow("27") << 27 << u"    将当前日记设置为首页。"_qs;
    QTest::newRow("28") << 28 << u"    具体操作方法请参考日记的编辑。"_qs;
    QTest::newRow("29") << 29 << u"  "_qs;
    QTest::newRow("30") << 30 << u"  = 珍藏 ="_qs;
    QTest::newRow("31") << 31 << u"  1.新建珍藏"_qs;
    QTest::newRow("32") << 32 << u"    编辑方法请参考日记的编辑。"_qs;
    QTest::newRow("33") << 33 << u"  2.查看珍藏"_qs;
    QTest::newRow("34") << 34 << u"    点击 [查看珍藏] ，然后在 [列表] 中选择珍藏双击。"_qs;
    QTest::newRow("35") << 35 << u"  3.删除珍藏"_qs;
    QTest::newRow("36") << 36 << u"    在列表框里单击记录，按键盘上的 [Delete] 删除选中的记录。"_qs;
    QTest::newRow("37") << 37 << u"  "_qs;
    QTest::newRow("38") << 38 << u"  = 消息 ="_qs;
    QTest::newRow("39") << 39 << u"  1.关于消息"_qs;
    QTest::newRow("40") << 40 << u"    本功能基于网络，从网络下载最新软件消息。"_qs;
    QTest::newRow("41") << 41 << u"    如果服务器关闭，不会影响其它功能的使用。"_qs;
    QTest::newRow("42") << 42 << u"  2.特别声明"_qs;
    QTest::newRow("43") << 43 << u"    本软件为免费软件，不需要注册，没有任何功能限制。"_qs;
    QTest::newRow("44") << 44 << u"  "_qs;
    QTest::newRow("45") << 45 << u"  "_qs;
    QTest::newRow("46") << 46 << u"  * 在 [ 列表 ] 框里点一下鼠标左键，按住键盘上的 [ Ctrl ] ..."_qs;
    QTest::newRow("47") << 47 << u"    看看会有什么发生啊 ^-^ "_qs;
    QTest::newRow("48") << 48 << u"  "_qs;
    QTest::newRow("49") << 49 << u"  "_qs;
    QTest::newRow("50") << 50 << u"  谢谢您的使用！"_qs;
    QTest::newRow("51") << 51 << u"  如有问题，请与我们联系。"_qs;
    QTest::newRow("52") << 52 << u"  有您的支持，我们才能做得更好！"_qs;
    QTest::newRow("53") << 53 << u"  "_qs;
    QTest::newRow("54") << 54 << u"  "_qs;
}

void TestIndex::helpLines() {
    QFETCH(int, number);
    QFETCH(QString, line);
    // The help view as the menu command shows it, read once for every row.
    static const QStringList shown = [] {
        Diary d;
        d.menu("m_help");
        return d.text("mmw").split(u"\r\n"_qs);
    }();
    // Each line follows CR LF: an empty start, then the 54 lines, no line break at the end.
    QCOMPARE(shown.size(), 55);
    QCOMPARE(shown.first(), QString());
    QCOMPARE(shown.at(number), line);
}

void TestIndex::helpAndAbout() {
    Diary d;
    d.click("m_viewlove");
    d.menu("m_help");
    QCOMPARE(d.text("mmw"), BuildHelpText());
    QCOMPARE(d.text("Titles"), u"帮助"_qs);
    QVERIFY(!d.get<QPushButton>("btBefore")->isEnabled() && !d.get<QPushButton>("bt_to")->isEnabled());
    QVERIFY(d.get<QPushButton>("btReturn")->isEnabled());

    // The about view rereads the settings file and comes back to today.
    d.click("btReturn");
    d.goTo(u"2000"_qs, u"1"_qs, u"1"_qs);
    QFile::remove(d.path(u"Config.ini"_qs));
    testsupport::writeFile(d.path(u"Config.ini"_qs), cp936::encode(u"[About]\r\nNick= 新的\r\n\r\n"_qs));
    d.click("bt_about");
    QCOMPARE(d.w->CurDate, QDate(2004, 9, 8));
    QCOMPARE(d.list()->count(), 0);
    // The header's labels and blanks are fixed; the maker's details between them are ours.
    static const QRegularExpression header(u"^\\r\\n"
                                           u"  程序编写：\\S+  （(\\S+)）\\r\\n"
                                           u"  个人主页：\\S+   \\S+\\r\\n"
                                           u"  电子邮箱：\\S+\\r\\n"
                                           u"  通信地址：\\S+\\r\\n"
                                           u"  邮政编码：\\S+         电话：\\S+\\r\\n"
                                           u"  \\r\\n"
                                           u"  欢迎您提出宝贵意见，也渴望志同道合的朋友来和我交流。\\r\\n\\r\\n"_qs);
    const QString about = d.text("mmw");
    const QRegularExpressionMatch m = header.match(about);
    QVERIFY2(m.hasMatch(), qPrintable(about));
    QCOMPARE(about.mid(m.capturedLength()), u"\r\n\r\n  = 关于自己 =\r\n  Nick:  新的\r\n"_qs);
    // The title is "关于" and the nickname of the header, as RTF in the classic control's shape.
    const QString nick = m.captured(1);
    QCOMPARE(d.text("Titles"), u"关于"_qs + nick);
    QByteArray escapes;
    const QByteArray gbk = QStringEncoder("GBK").encode(nick);
    for (const char byte : gbk)
        escapes += "\\'" + QByteArray::number(uchar(byte), 16).rightJustified(2, '0');
    QCOMPARE(diary::aboutTitleRtf().toLatin1(),
             "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"
             "\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18\\'b9\\'d8\\'d3\\'da" +
                 escapes + "\\par }");
    // A bad settings file shows its error text there.
    testsupport::writeFile(d.path(u"Config.ini"_qs), "[About]\r\nno equals\r\n\r\n");
    d.click("bt_about");
    QCOMPARE(d.text("mmw"), about.left(m.capturedLength()) +
                                u"  配置文件出错，请将安装目录下的 Config.ini 删除，系统将重建配置文件。"_qs);
}

void TestIndex::messageButton() {
    {
        Diary d;
        d.click("bt_love");
        QCOMPARE(d.text("mmw"), u"\r\n    I LOVE YOU! Forever ..."_qs);
        QVERIFY(!d.w->isVisible());
        QVERIFY(d.app->connectMe()->isVisible());
        QVERIFY(!d.app->loginLoaded());
    }
    {
        Diary d(kNoDeletion);
        d.click("bt_love");
        QVERIFY(d.app->loginLoaded() && d.app->login()->isVisible());
        QVERIFY(!d.app->connectMe()->isVisible());
    }
}

void TestIndex::hideAndCloseBox() {
    Diary d;
    // Without a notification area "隐藏" minimises: no icon could bring a hidden window back.
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    d.click("bt_hidden");
    QVERIFY(d.w->isVisible() && d.w->isMinimized());
    QVERIFY(d.app->mainShown());
    // Leaving the album or the message window by a way that shows nothing brings the diary back.
    d.w->showNormal();
    QTest::keyPress(d.list(), Qt::Key_Control);
    d.click("bt_about");
    QVERIFY(d.app->photoLoaded() && !d.w->isVisible());
    d.app->photo()->findChild<QPushButton *>(u"btHidden"_qs)->click();
    QVERIFY(testsupport::waitUntil([&] { return d.w->isVisible(); }, 2000));
    d.click("bt_love");
    QVERIFY(!d.w->isVisible());
    d.app->connectMe()->close();
    QVERIFY(testsupport::waitUntil([&] { return d.w->isVisible(); }, 2000));
    // The close box never drops an open edit.
    d.menu("m_new");
    d.box("mmw")->setText(u"unsaved"_qs);
    QVERIFY(!d.w->close());
    QCOMPARE(d.text("mmw"), u"unsaved"_qs);
}

void TestIndex::unchangedEditExits() {
    Diary d;
    d.menu("m_edit");
    d.click("bt_exit");
    QVERIFY(!d.w->isVisible());
}

QTEST_MAIN(TestIndex)
#include "tst_index.moc"
