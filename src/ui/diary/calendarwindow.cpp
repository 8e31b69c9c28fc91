#include "ui/diary/calendarwindow.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QTextCharFormat>
#include <QVBoxLayout>

CalendarWindow::CalendarWindow(find::Engine &engine, std::function<QDate()> today,
                               std::function<void(const QDate &)> showDate,
                               std::function<void(const find::Hit &)> openHit, QWidget *parent)
    : QWidget(parent), m_engine(engine), m_today(std::move(today)), m_showDate(std::move(showDate)),
      m_openHit(std::move(openHit)) {
    setWindowTitle(u"日历"_qs);
    cal_days = new QCalendarWidget(this);
    cal_days->setObjectName(u"cal_days"_qs);
    cal_days->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));
    // Weeks start on Monday, as Chinese calendars print them; the locale's narrowest weekday
    // names: "一", "二", ….
    cal_days->setFirstDayOfWeek(Qt::Monday);
    cal_days->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    cal_days->setSelectedDate(m_today ? m_today() : QDate::currentDate());
    auto *label = new QLabel(u"那年今日"_qs, this);
    label->setObjectName(u"lb_thatday"_qs);
    lv_thatday = new QListWidget(this);
    lv_thatday->setObjectName(u"lv_thatday"_qs);
    cal_days->setAccessibleName(u"日历"_qs);
    // The calendar hands its focus to its table of days, and the box in which a year is typed has
    // no name of its own.
    if (auto *days = cal_days->findChild<QWidget *>(u"qt_calendar_calendarview"_qs)) days->setAccessibleName(u"日期"_qs);
    if (auto *year = cal_days->findChild<QWidget *>(u"qt_calendar_yearedit"_qs)) year->setAccessibleName(u"年"_qs);
    lv_thatday->setAccessibleName(u"那年今日"_qs);

    auto *side = new QVBoxLayout;
    side->addWidget(label);
    side->addWidget(lv_thatday, 1);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(cal_days);
    layout->addLayout(side);

    connect(cal_days, &QCalendarWidget::currentPageChanged, this, &CalendarWindow::markMonth);
    connect(cal_days, &QCalendarWidget::clicked, this, [this](QDate date) {
        if (m_showDate) m_showDate(date);
    });
    connect(lv_thatday, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        const int at = lv_thatday->row(item);
        if (at >= 0 && at < m_thatDay.size() && m_openHit) m_openHit(m_thatDay.at(at));
    });
}

void CalendarWindow::showEvent(QShowEvent *event) {
    refresh();
    QWidget::showEvent(event);
}

void CalendarWindow::refresh() {
    markMonth(cal_days->yearShown(), cal_days->monthShown());
    const QDate today = m_today ? m_today() : QDate::currentDate();
    m_thatDay = m_engine.onThisDay(today);
    lv_thatday->clear();
    for (const find::Hit &hit : std::as_const(m_thatDay))
        lv_thatday->addItem(find::dateText(hit) + u"  "_qs + hit.title);
}

void CalendarWindow::markMonth(int year, int month) {
    cal_days->setDateTextFormat(QDate(), QTextCharFormat()); // clears every mark
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (const QDate &day : m_engine.writtenDays(year, month))
        cal_days->setDateTextFormat(day, bold);
}
