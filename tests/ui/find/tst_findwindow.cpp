// The search window and the calendar as a person uses them: words typed into the box, hits
// double-clicked, the main window then showing the right entry (also the second of two sharing a
// key, a locked one, a collection item); the calendar's bold days, its navigation, a click on a
// day, and 那年今日.
#include "ui/diary/calendarwindow.h"
#include "ui/find/findwindow.h"
#include "ui/diary/index.h"

#include "finddiary.h"
#include "ui/widgets/richtextbox.h"
#include "ui/app/app.h"
#include "testsupport.h"

#include <QAction>
#include <QCalendarWidget>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>
#include <QTreeWidget>

namespace {

// Types text into a box as a person does: Latin letters by keys, Chinese through the input
// method, which commits the characters it composed.
void type(QWidget *box, const QString &text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClicks(box, QString(c));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QCoreApplication::sendEvent(box, &commit);
        }
    }
}

struct Diary {
    QTemporaryDir dir;
    std::unique_ptr<App> app;
    Index *w = nullptr;

    Diary() {
        finddiary::write(dir.path());
        app = std::make_unique<App>(dir.path());
        app->setClock([] { return QDateTime(QDate(2006, 9, 8), QTime(10, 0)); });
        w = app->index();
        w->show();
    }
    template <typename T> T *get(QWidget *in, const char *name) const {
        T *c = in->findChild<T *>(QString::fromLatin1(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    QString text(const char *name) const { return get<RichTextBox>(w, name)->text(); }
    QListWidget *list() const { return get<QListWidget>(w, "PicList"); }

    FindWindow *openFind() {
        QAction *a = get<QAction>(w, "m_find");
        if (!a->isEnabled()) return nullptr;
        a->trigger();
        return app->findWindow();
    }
    // Types the words and waits for the whole answer; the rows as "date title snippet".
    QStringList search(FindWindow *f, const QString &words) {
        QLineEdit *box = get<QLineEdit>(f, "tt_words");
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        type(box, words);
        QTest::keyClick(box, Qt::Key_Return);
        testsupport::waitUntil([f] { return !f->searching(); }, 5000);
        QTreeWidget *hits = get<QTreeWidget>(f, "lv_hits");
        QStringList rows;
        for (int i = 0; i < hits->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = hits->topLevelItem(i);
            rows << item->text(0) + u' ' + item->text(1) + u' ' + item->text(2);
        }
        return rows;
    }
    void openRow(FindWindow *f, int row) {
        QTreeWidget *hits = get<QTreeWidget>(f, "lv_hits");
        const QRect r = hits->visualItemRect(hits->topLevelItem(row));
        QTest::mouseClick(hits->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(hits->viewport(), Qt::LeftButton, {}, r.center());
    }
};

} // namespace

class TestFindWindow : public QObject {
    Q_OBJECT
private slots:
    void searchAndOpen();
    void openRefusedWhileEditing();
    void closedWhileSearching();
    void calendar();
};

void TestFindWindow::searchAndOpen() {
    Diary d;
    FindWindow *f = d.openFind();
    QVERIFY(f && f->isVisible());

    // Typing alone starts the search after a pause.
    type(d.get<QLineEdit>(f, "tt_words"), u"文搜"_qs);
    QVERIFY(testsupport::waitUntil([&] { return d.get<QLabel>(f, "lb_count")->text() == u"找到 1 篇"; }, 5000));

    QCOMPARE(d.search(f, u"abc"_qs), QStringList{u"2004-09-08 第二篇 今天写了ＡＢＣ１２３"_qs});
    QTreeWidgetItem *first = d.get<QTreeWidget>(f, "lv_hits")->topLevelItem(0);
    QCOMPARE(first->data(2, FindWindow::MatchStartRole).toInt(), 4);
    QCOMPARE(first->data(2, FindWindow::MatchLengthRole).toInt(), 3);
    // The second of two entries sharing a key.
    d.openRow(f, 0);
    QCOMPARE(d.w->CurDate, QDate(2004, 9, 8));
    QCOMPARE(d.list()->currentRow(), 1);
    QCOMPARE(d.text("Titles"), u"第二篇"_qs);
    QCOMPARE(d.text("mmw"), u"今天写了ＡＢＣ１２３"_qs);

    QCOMPARE(d.search(f, u"晴窗"_qs),
             (QStringList{u"2004-09-08 混合 晴窗"_qs, u"2004-09-08 旅行 今天去了全文搜索的地方，晴窗明几净"_qs}));
    d.openRow(f, 1);
    QCOMPARE(d.list()->currentRow(), 0);
    QCOMPARE(d.text("mmw"), u"今天去了全文搜索的地方，晴窗明几净"_qs);
    QCOMPARE(d.get<QLabel>(f, "lb_count")->text(), u"找到 2 篇"_qs);

    // A locked entry: found by its title, no snippet; opened with the password box as it is.
    QCOMPARE(d.search(f, u"秘密"_qs), QStringList{u"2004-09-08 秘密日记 "_qs});
    d.openRow(f, 0);
    QCOMPARE(d.list()->currentRow(), 2);
    QCOMPARE(d.text("mmw"), u"\r\n  * 记录已加密，请输入正确的密码。"_qs);

    // A collection item opens in collection mode.
    QCOMPARE(d.search(f, u"收藏"_qs), QStringList{u"珍藏 珍藏一 收藏的全文"_qs});
    d.openRow(f, 0);
    QCOMPARE(d.w->view(), Index::View::Collection);
    QCOMPARE(d.list()->currentItem()->text(), u"珍藏一"_qs);
    QCOMPARE(d.text("Titles"), u"珍藏一"_qs);
    QCOMPARE(d.text("mmw"), u"收藏的全文"_qs);

    // From the collection back to a date.
    QCOMPARE(d.search(f, u"字"_qs), QStringList{u"2003-09-08 那年 …orld, one character 字"_qs});
    d.openRow(f, 0);
    QCOMPARE(d.w->view(), Index::View::Diary);
    QCOMPARE(d.w->CurDate, QDate(2003, 9, 8));
    QCOMPARE(d.text("tt_year"), u"2003"_qs);
    QCOMPARE(d.text("mmw"), u"Hello World, one character 字"_qs);

    QCOMPARE(d.search(f, u"没有的词"_qs), QStringList{});
    QCOMPARE(d.get<QLabel>(f, "lb_count")->text(), u"没有找到"_qs);
}

// Several searches typed one after another and the program closed at once: the superseded ones
// are waited for too, before the engine they read goes. (Under AddressSanitizer a worker left
// running reads freed memory.)
void TestFindWindow::closedWhileSearching() {
    Diary d;
    // Long entries: a worker that is told to stop still finishes the file it reads.
    finddiary::writeLong(d.dir.path(), 40, 100000);
    FindWindow *f = d.openFind();
    QVERIFY(f);
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f));
    QLineEdit *box = d.get<QLineEdit>(f, "tt_words");
    for (const QString &words : {u"全文"_qs, u"晴窗"_qs, u"一天"_qs}) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        type(box, words);
        QTest::keyClick(box, Qt::Key_Return);
    }
    QVERIFY(f->searching());
    d.app.reset();
    // Every worker has ended with the program's objects.
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5));
}

void TestFindWindow::openRefusedWhileEditing() {
    Diary d;
    FindWindow *f = d.openFind();
    QCOMPARE(d.search(f, u"字"_qs).size(), 1);
    d.get<QAction>(d.w, "m_new")->trigger();
    QVERIFY(d.w->IsEditing);
    QVERIFY(!d.get<QAction>(d.w, "m_find")->isEnabled()); // the menu is off in edit mode
    d.get<RichTextBox>(d.w, "mmw")->setText(u"正在写的字"_qs);
    d.openRow(f, 0);
    QVERIFY(d.w->IsEditing);
    QCOMPARE(d.w->CurDate, QDate(2006, 9, 8));
    QCOMPARE(d.text("mmw"), u"正在写的字"_qs);
    QCOMPARE(d.text("says"), u" 请先保存或取消当前的编辑。"_qs);
}

void TestFindWindow::calendar() {
    Diary d;
    d.get<QAction>(d.w, "m_calendar")->trigger();
    CalendarWindow *c = d.app->calendarWindow();
    QVERIFY(c->isVisible());
    QCalendarWidget *cal = d.get<QCalendarWidget>(c, "cal_days");
    auto boldDays = [cal] {
        QList<QDate> days;
        const QDate first(cal->yearShown(), cal->monthShown(), 1);
        for (QDate day = first; day.month() == first.month(); day = day.addDays(1))
            if (cal->dateTextFormat(day).fontWeight() == QFont::Bold) days << day;
        return days;
    };
    QCOMPARE(cal->monthShown(), 9);
    QCOMPARE(cal->yearShown(), 2006);
    QCOMPARE(boldDays(), QList<QDate>{});

    // Back two years by the navigation buttons: 8 September is bold, the 10th (a file without
    // entries) is not.
    for (int i = 0; i < 24; ++i)
        QTest::mouseClick(d.get<QToolButton>(cal, "qt_calendar_prevmonth"), Qt::LeftButton);
    QCOMPARE(cal->yearShown(), 2004);
    QCOMPARE(boldDays(), QList<QDate>{QDate(2004, 9, 8)});
    QTest::mouseClick(d.get<QToolButton>(cal, "qt_calendar_prevmonth"), Qt::LeftButton);
    QCOMPARE(boldDays(), QList<QDate>{});

    // A click on the 8th of September 2004 shows it in the main window.
    QTest::mouseClick(d.get<QToolButton>(cal, "qt_calendar_nextmonth"), Qt::LeftButton);
    QTableView *view = d.get<QTableView>(cal, "qt_calendar_calendarview");
    bool clicked = false;
    for (int row = 0; row < view->model()->rowCount() && !clicked; ++row)
        for (int col = 0; col < view->model()->columnCount() && !clicked; ++col) {
            const QModelIndex index = view->model()->index(row, col);
            if (index.data().toString() != u"8" || row == 0) continue;
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
            clicked = cal->selectedDate() == QDate(2004, 9, 8);
        }
    QVERIFY(clicked);
    QCOMPARE(d.w->CurDate, QDate(2004, 9, 8));
    QCOMPARE(d.list()->count(), 5);

    // 那年今日: the entries of 8 September before 2006, newest first; a double click opens one.
    QListWidget *thatDay = d.get<QListWidget>(c, "lv_thatday");
    QStringList rows;
    for (int i = 0; i < thatDay->count(); ++i)
        rows << thatDay->item(i)->text();
    QCOMPARE(rows, (QStringList{u"2004-09-08  混合"_qs, u"2004-09-08  加密的"_qs, u"2004-09-08  秘密日记"_qs,
                                u"2004-09-08  第二篇"_qs, u"2004-09-08  旅行"_qs, u"2003-09-08  那年"_qs}));
    const QRect r = thatDay->visualItemRect(thatDay->item(3));
    QTest::mouseClick(thatDay->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(thatDay->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(d.list()->currentRow(), 1);
    QCOMPARE(d.text("mmw"), u"今天写了ＡＢＣ１２３"_qs);
}

QTEST_MAIN(TestFindWindow)
#include "tst_findwindow.moc"
