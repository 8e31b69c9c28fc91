// The statistics window as a person uses it, over the hand-made diary of statsdiary.h: the
// figures, months, heat map and tags it fills in; a click on a day of the heat map opens that day
// in the main window (refused during an open edit); a click on a tag searches for it; the count
// of the entry being written in the main window's status line, and the tool agreeing with both.
#include "ui/diary/index.h"
#include "ui/find/findwindow.h"
#include "ui/stats/heatmap.h"
#include "ui/stats/statswindow.h"

#include "statsdiary.h"
#include "testsupport.h"
#include "ui/app/app.h"
#include "ui/widgets/richtextbox.h"

#include <QAction>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

// Types text as a person does: Latin letters by keys, Chinese through the input method.
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

const QString kFigures = u"日记篇数：10（加锁 1 篇，字数未知）\n"
                         u"写日记的天数：8\n"
                         u"总字数：37\n"
                         u"今年字数：27\n"
                         u"本月字数：12\n"
                         u"平均每天字数：5\n"
                         u"当前连续天数：5\n"
                         u"最长连续天数：5\n"
                         u"第一篇日记：2023-12-30"_qs;

struct Diary {
    QTemporaryDir dir;
    std::unique_ptr<App> app;
    Index *w = nullptr;

    Diary() {
        statsdiary::write(dir.path());
        app = std::make_unique<App>(dir.path());
        app->setClock([] { return QDateTime(statsdiary::today(), QTime(10, 0)); });
        w = app->index();
        w->show();
    }
    template <typename T> T *get(QObject *in, const char *name) const {
        T *c = in->findChild<T *>(QString::fromLatin1(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    QString status() const { return get<RichTextBox>(w, "says")->text(); }
    // The statistics through the menu, gathered to the end.
    StatsWindow *openStats() {
        get<QAction>(w, "m_stats")->trigger();
        StatsWindow *s = app->statsWindow();
        if (!testsupport::waitUntil([s] { return !s->collecting(); }, 10000))
            qFatal("statistics never finished");
        return s;
    }
    // The bars of the month chart whose legend says label ("2024 年"), left to right.
    QList<qreal> bars(StatsWindow *s, const QString &label) const {
        const QList<QAbstractSeries *> series = get<QChartView>(s, "cv_months")->chart()->series();
        if (series.size() != 1) qFatal("the month chart holds %d series", int(series.size()));
        const QList<QBarSet *> sets = static_cast<QBarSeries *>(series.first())->barSets();
        for (QBarSet *set : sets) {
            if (set->label() != label) continue;
            QList<qreal> values;
            for (int i = 0; i < set->count(); ++i)
                values << set->at(i);
            return values;
        }
        qFatal("no bars labelled %s", qPrintable(label));
    }
    QStringList rows(QListWidget *list) const {
        QStringList r;
        for (int i = 0; i < list->count(); ++i)
            r << list->item(i)->text();
        return r;
    }
};

} // namespace

class TestStatsWindow : public QObject {
    Q_OBJECT
private slots:
    void fillsIn();
    void heatMapLevels_data();
    void heatMapLevels();
    void clickOnDayOpensIt();
    void clickOnTagSearches();
    void liveCountAgreesWithWindowAndTool();
};

void TestStatsWindow::fillsIn() {
    Diary d;
    StatsWindow *s = d.openStats();
    QVERIFY(s->isVisible());
    QCOMPARE(d.get<QLabel>(s, "lb_figures")->text(), kFigures);
    QCOMPARE(d.rows(d.get<QListWidget>(s, "lv_tags")),
             (QStringList{u"#旅行  2"_qs, u"#新年快乐  1"_qs, u"#秘密  1"_qs}));
    QCOMPARE(d.get<QLabel>(s, "lb_state")->text(),
             u"有 1 个日期文件读不出，没有计入："_qs + d.dir.path() + u"/DB/20240110.KAV"_qs);
    QCOMPARE(d.get<QLabel>(s, "lb_year")->text(), u"2024 年"_qs);
    // Characters per month, the year before beside; then entries.
    QCOMPARE(d.bars(s, u"2024 年"_qs), (QList<qreal>{6, 9, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(d.bars(s, u"2023 年"_qs), (QList<qreal>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10}));
    QComboBox *measure = d.get<QComboBox>(s, "cb_measure");
    measure->setCurrentIndex(1);
    QCOMPARE(d.bars(s, u"2024 年"_qs), (QList<qreal>{1, 4, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(d.bars(s, u"2023 年"_qs), (QList<qreal>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3}));
    // The arrow goes back a year: the months of 2023 beside 2022's.
    QTest::mouseClick(d.get<QPushButton>(s, "bt_lastyear"), Qt::LeftButton);
    QCOMPARE(d.get<QLabel>(s, "lb_year")->text(), u"2023 年"_qs);
    QCOMPARE(d.get<HeatMap>(s, "heatmap")->year(), 2023);
    QCOMPARE(d.bars(s, u"2023 年"_qs), (QList<qreal>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3}));
    QCOMPARE(d.bars(s, u"2022 年"_qs), (QList<qreal>(12, 0)));
}

void TestStatsWindow::heatMapLevels_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("tip");
    // 2024's most written day has 10 characters: four shades up to it.
    QTest::newRow("most written") << QDate(2024, 3, 1) << 4 << u"2024-03-01  1 篇  10 字"_qs;
    QTest::newRow("six of ten") << QDate(2024, 1, 1) << 3 << u"2024-01-01  1 篇  6 字"_qs;
    QTest::newRow("four of ten") << QDate(2024, 2, 27) << 2 << u"2024-02-27  1 篇  4 字"_qs;
    QTest::newRow("with a locked entry")
        << QDate(2024, 2, 29) << 1 << u"2024-02-29  2 篇  1 字（加锁 1 篇，字数未知）"_qs;
    QTest::newRow("empty date file") << QDate(2024, 1, 15) << 0 << u"2024-01-15  0 篇  0 字"_qs;
    QTest::newRow("unreadable") << QDate(2024, 1, 10) << 0 << u"2024-01-10  0 篇  0 字"_qs;
}

void TestStatsWindow::heatMapLevels() {
    QFETCH(QDate, day);
    QFETCH(int, level);
    QFETCH(QString, tip);
    Diary d;
    StatsWindow *s = d.openStats();
    HeatMap *map = d.get<HeatMap>(s, "heatmap");
    QCOMPARE(map->level(day), level);
    QCOMPARE(HeatMap::dayText(day, s->report().days.value(day)), tip);
    // Each day has a square of its own, found again from a point inside it.
    const QRect r = map->cellRect(day);
    QVERIFY(map->rect().contains(r));
    QCOMPARE(map->dayAt(r.center()), day);
    QCOMPARE(map->dayAt(r.topLeft()), day);
    QCOMPARE(map->dayAt(r.bottomRight()), day);
}

void TestStatsWindow::clickOnDayOpensIt() {
    Diary d;
    StatsWindow *s = d.openStats();
    s->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s));
    HeatMap *map = d.get<HeatMap>(s, "heatmap");
    QTest::mouseClick(map, Qt::LeftButton, {}, map->cellRect(QDate(2024, 2, 29)).center());
    QCOMPARE(d.w->CurDate, QDate(2024, 2, 29));
    QCOMPARE(d.get<QListWidget>(d.w, "PicList")->count(), 2);
    QVERIFY(d.w->isActiveWindow() || QTest::qWaitForWindowActive(d.w));

    // The year before, by its arrow: the last day of 2023 (two date files, one day).
    s->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s));
    QTest::mouseClick(d.get<QPushButton>(s, "bt_lastyear"), Qt::LeftButton);
    QTest::mouseClick(map, Qt::LeftButton, {}, map->cellRect(QDate(2023, 12, 31)).center());
    QCOMPARE(d.w->CurDate, QDate(2023, 12, 31));

    // During an open edit the day is refused: the edit stays, both windows say why.
    d.get<QAction>(d.w, "m_new")->trigger();
    QVERIFY(d.w->IsEditing);
    s->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s));
    QTest::mouseClick(map, Qt::LeftButton, {}, map->cellRect(QDate(2023, 12, 30)).center());
    QVERIFY(d.w->IsEditing);
    QCOMPARE(d.w->CurDate, statsdiary::today());
    QCOMPARE(d.status(), u" 请先保存或取消当前的编辑。"_qs);
    QCOMPARE(d.get<QLabel>(s, "lb_state")->text(),
             u"请先保存或取消当前的编辑，再打开 2023-12-30。"_qs);
    // A click between the squares (the gap left of the first column) opens nothing.
    QTest::mouseClick(map, Qt::LeftButton, {},
                      map->cellRect(QDate(2023, 1, 2)).topLeft() - QPoint(1, 0));
    QCOMPARE(d.w->CurDate, statsdiary::today());
}

void TestStatsWindow::clickOnTagSearches() {
    Diary d;
    StatsWindow *s = d.openStats();
    s->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s));
    QListWidget *tags = d.get<QListWidget>(s, "lv_tags");
    QTest::mouseClick(tags->viewport(), Qt::LeftButton, {},
                      tags->visualItemRect(tags->item(0)).center());
    FindWindow *f = d.app->findWindow();
    QVERIFY(f->isVisible());
    QCOMPARE(d.get<QLineEdit>(f, "tt_words")->text(), u"#旅行"_qs);
    QVERIFY(testsupport::waitUntil([f] { return !f->searching(); }, 5000));
    QTreeWidget *hits = d.get<QTreeWidget>(f, "lv_hits");
    QStringList rows;
    for (int i = 0; i < hits->topLevelItemCount(); ++i)
        rows << hits->topLevelItem(i)->text(0) + u' ' + hits->topLevelItem(i)->text(1);
    // The search finds the collection item too; only the days count as the tag's uses.
    QCOMPARE(rows, (QStringList{u"2024-03-01 九"_qs, u"2024-02-27 五"_qs, u"珍藏 笔记"_qs}));
}

void TestStatsWindow::liveCountAgreesWithWindowAndTool() {
    Diary d;
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    d.get<QAction>(d.w, "m_new")->trigger();
    // The new entry's first line: "2024年3月2日   星期六   天气：" counts 2024 年 3 月 2 日 星期六
    // 天气.
    QVERIFY(testsupport::waitUntil([&] { return d.status() == u" 新建日记 字数 11"_qs; }, 3000));
    RichTextBox *editor = d.get<RichTextBox>(d.w, "mmw");
    editor->moveCursor(QTextCursor::End);
    type(editor, u"我用Qt写了2篇日记。"_qs);
    QVERIFY2(testsupport::waitUntil([&] { return d.status() == u" 新建日记 字数 20"_qs; }, 3000),
             qPrintable(d.status()));
    QTest::keyClick(editor, Qt::Key_Backspace); // the full stop: no character
    QTest::keyClick(editor, Qt::Key_Backspace);
    QVERIFY2(testsupport::waitUntil([&] { return d.status() == u" 新建日记 字数 19"_qs; }, 3000),
             qPrintable(d.status()));
    QTest::mouseClick(d.get<QPushButton>(d.w, "bt_save"), Qt::LeftButton);
    QVERIFY(!d.w->IsEditing);
    QVERIFY(!d.status().contains(u"字数"_qs));

    // Today's 2 characters and the new 19: 37 + 19 in the window and in the tool.
    StatsWindow *s = d.openStats();
    QVERIFY(d.get<QLabel>(s, "lb_figures")
                ->text()
                .contains(u"\n总字数：56\n今年字数：46\n本月字数：31\n"_qs));
    QCOMPARE(s->report().days.value(statsdiary::today()), (stats::Day{2, 0, 21}));
    QProcess tool;
    tool.start(qEnvironmentVariable("QC_TOOL_EXE"),
               {u"stats"_qs, d.dir.path(), u"--json"_qs, u"--today"_qs, u"2024-03-02"_qs});
    QVERIFY2(tool.waitForFinished(30000), "QC_TOOL_EXE did not run");
    const QJsonObject o = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    QCOMPARE(o.value(u"characters"_qs).toInt(), 56);
    QCOMPARE(o.value(u"entries"_qs).toInt(), 11);
}

QTEST_MAIN(TestStatsWindow)
#include "tst_statswindow.moc"
