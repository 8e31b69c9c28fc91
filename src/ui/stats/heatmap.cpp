#include "ui/stats/heatmap.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {
constexpr int kGap = 2;
}

HeatMap::HeatMap(QWidget *parent) : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void HeatMap::setYear(int year) {
    m_year = year;
    setDays(m_days);
}

void HeatMap::setToday(const QDate &today) {
    m_today = today;
    update();
}

void HeatMap::setDays(const QMap<QDate, stats::Day> &days) {
    m_days = days;
    m_max = 0;
    for (auto it = m_days.lowerBound(QDate(m_year, 1, 1));
         it != m_days.constEnd() && it.key().year() == m_year; ++it)
        m_max = std::max(m_max, it.value().characters);
    update();
}

int HeatMap::cell() const {
    return std::max(10, fontMetrics().height() * 3 / 4);
}
int HeatMap::left() const {
    return fontMetrics().horizontalAdvance(u"五"_qs) + 2 * kGap;
}
int HeatMap::top() const {
    return fontMetrics().height() + kGap;
}

QPoint HeatMap::place(const QDate &date) const {
    const int offset = QDate(m_year, 1, 1).dayOfWeek() - 1;
    const int n = date.dayOfYear() - 1 + offset;
    return {n / 7, date.dayOfWeek() - 1};
}

QRect HeatMap::cellRect(const QDate &date) const {
    if (!date.isValid() || date.year() != m_year) return {};
    const QPoint p = place(date);
    const int step = cell() + kGap;
    return {left() + p.x() * step, top() + p.y() * step, cell(), cell()};
}

QDate HeatMap::dayAt(const QPoint &pos) const {
    const int step = cell() + kGap;
    if (pos.x() < left() || pos.y() < top()) return {};
    const int column = (pos.x() - left()) / step;
    const int row = (pos.y() - top()) / step;
    if (row > 6 || (pos.x() - left()) % step >= cell() || (pos.y() - top()) % step >= cell())
        return {};
    const QDate first(m_year, 1, 1);
    const QDate date = first.addDays(column * 7 + row - (first.dayOfWeek() - 1));
    return date.year() == m_year ? date : QDate();
}

int HeatMap::level(const QDate &date) const {
    const auto it = m_days.constFind(date);
    if (it == m_days.constEnd() || it->entries == 0) return 0;
    if (it->characters <= 0 || m_max <= 0) return 1;
    return int(std::clamp<qint64>((it->characters * 4 + m_max - 1) / m_max, 1, 4));
}

QSize HeatMap::sizeHint() const {
    const int step = cell() + kGap;
    return {left() + 54 * step, top() + 7 * step};
}

QString HeatMap::dayText(const QDate &date, const stats::Day &day) {
    QString s = stats::dateText(date) + u"  %1 篇  %2 字"_qs.arg(day.entries).arg(day.characters);
    if (day.locked > 0) s += u"（加锁 %1 篇，字数未知）"_qs.arg(day.locked);
    return s;
}

void HeatMap::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const QColor base = pal.color(QPalette::Base);
    const bool dark = base.lightness() < 128;
    // From the empty square's colour to a deep green (a bright one on a dark palette).
    const QColor empty = dark ? base.lighter(180) : base.darker(112);
    const QColor full = dark ? QColor(0x57, 0xd3, 0x64) : QColor(0x21, 0x6e, 0x39);
    auto shade = [&](int level) {
        if (level == 0) return empty;
        const double t = 0.25 + 0.75 * (level - 1) / 3.0;
        return QColor::fromRgbF(empty.redF() + (full.redF() - empty.redF()) * t,
                                empty.greenF() + (full.greenF() - empty.greenF()) * t,
                                empty.blueF() + (full.blueF() - empty.blueF()) * t);
    };
    p.setPen(pal.color(QPalette::WindowText));
    const int step = cell() + kGap;
    const QStringList weekdays{u"一"_qs, u"三"_qs, u"五"_qs};
    for (int i = 0; i < 3; ++i)
        p.drawText(QRect(0, top() + 2 * i * step, left() - kGap, cell()),
                   Qt::AlignRight | Qt::AlignVCenter, weekdays[i]);
    for (int m = 1; m <= 12; ++m) {
        const QRect r = cellRect(QDate(m_year, m, 1));
        p.drawText(QPoint(r.left(), fontMetrics().ascent()), u"%1月"_qs.arg(m));
    }
    const QColor mark = pal.color(QPalette::WindowText);
    for (QDate d(m_year, 1, 1); d.isValid() && d.year() == m_year; d = d.addDays(1)) {
        const QRect r = cellRect(d);
        p.setPen(Qt::NoPen);
        p.setBrush(shade(level(d)));
        p.drawRoundedRect(r, 2, 2);
        const auto it = m_days.constFind(d);
        if (it != m_days.constEnd() && it->locked > 0) {
            // A locked entry: a dot in the square's middle, in the text's colour.
            p.setBrush(mark);
            const qreal radius = cell() / 5.0;
            p.drawEllipse(QRectF(r).center(), radius, radius);
        }
        if (d == m_today) {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(pal.color(QPalette::Highlight), 2));
            p.drawRoundedRect(QRectF(r).adjusted(-1, -1, 1, 1), 2, 2);
        }
    }
}

void HeatMap::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) {
        const QDate date = dayAt(event->position().toPoint());
        if (date.isValid()) emit dayClicked(date);
    }
    QWidget::mouseReleaseEvent(event);
}

bool HeatMap::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QDate date = dayAt(help->pos());
        if (date.isValid())
            QToolTip::showText(help->globalPos(), dayText(date, m_days.value(date)), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void HeatMap::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}
