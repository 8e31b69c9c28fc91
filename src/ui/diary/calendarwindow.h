#pragma once

#include "store/find/engine.h"

#include <QDate>
#include <QWidget>

#include <functional>

class QCalendarWidget;
class QListWidget;
class QListWidgetItem;

// The calendar: a month in which the days written on are bold, a click on a day shows it in the
// main window (showDate); beside it 那年今日, the entries of today's month and day in earlier
// years, opened by a double click (openHit).
class CalendarWindow : public QWidget {
    Q_OBJECT
public:
    CalendarWindow(find::Engine &engine, std::function<QDate()> today, std::function<void(const QDate &)> showDate,
                   std::function<void(const find::Hit &)> openHit, QWidget *parent = nullptr);

    // Reads the marks of the month shown and 那年今日 anew (done each time the window is shown).
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void markMonth(int year, int month);

    find::Engine &m_engine;
    std::function<QDate()> m_today;
    std::function<void(const QDate &)> m_showDate;
    std::function<void(const find::Hit &)> m_openHit;
    QList<find::Hit> m_thatDay;
    QCalendarWidget *cal_days = nullptr;
    QListWidget *lv_thatday = nullptr;
};
