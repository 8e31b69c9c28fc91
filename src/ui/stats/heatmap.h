#pragma once

#include "store/stats/stats.h"

#include <QDate>
#include <QWidget>

// A year as squares, one a day: weeks (Monday first) as columns, January on the left, each square
// shaded by the characters written that day (four shades, from the year's most written day down).
// Today's square is framed; a day with a locked entry bears a dot. A click on a day of the year
// says which (dayClicked); hovering tells the day's figures.
class HeatMap : public QWidget {
    Q_OBJECT
public:
    explicit HeatMap(QWidget *parent = nullptr);

    void setYear(int year);
    int year() const { return m_year; }
    void setToday(const QDate &today);
    void setDays(const QMap<QDate, stats::Day> &days);

    // The square of date (in this widget's coordinates); empty for a day of another year.
    QRect cellRect(const QDate &date) const;
    // The day whose square holds pos; invalid for none.
    QDate dayAt(const QPoint &pos) const;
    // The shade of a day: 0 for none written, 1 to 4 as the characters grow. A day whose entries
    // are all locked takes the lightest written shade: written, characters unknown.
    int level(const QDate &date) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // What hovering shows for a day: "2024-02-29  2 篇  1 字（加锁 1 篇，字数未知）".
    static QString dayText(const QDate &date, const stats::Day &day);

signals:
    void dayClicked(const QDate &date);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int cell() const; // side of a square, from the font, so that it grows with it
    int left() const; // room for the weekdays' names
    int top() const;  // room for the months' names
    QPoint place(const QDate &date) const; // column and row

    int m_year = 2000;
    QDate m_today;
    QMap<QDate, stats::Day> m_days;
    qint64 m_max = 0; // the year's most characters in a day
};
