#pragma once

#include "store/stats/stats.h"

#include <QDate>
#include <QWidget>

#include <functional>

class HeatMap;
class QBarSet;
class QBarCategoryAxis;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QValueAxis;

namespace find {
class Engine;
}
namespace stats {
class Collection;
}

// The statistics of the diary: a year as a heat map (arrows choose the year; a click on a day
// shows it through showDate, which refuses during an open edit and returns false), the months of
// that year as bars beside the year before (characters or entries), the figures, and the tags,
// most used first (a click hands the tag to findTag). Gathered in the background each time the
// window is shown, filled in as it comes, cancelled when the window is closed.
class StatsWindow : public QWidget {
    Q_OBJECT
public:
    StatsWindow(find::Engine &engine, std::function<QDate()> today,
                std::function<bool(const QDate &)> showDate,
                std::function<void(const QString &)> findTag, QWidget *parent = nullptr);
    ~StatsWindow() override;

    // Gathers the statistics anew (done each time the window is shown).
    void refresh();
    bool collecting() const;
    void setYear(int year);
    int year() const { return m_year; }
    const stats::Report &report() const { return m_report; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fill(const stats::Report &report, bool finished);
    void fillMonths();
    void styleChart();

    std::function<QDate()> m_today;
    std::function<bool(const QDate &)> m_showDate;
    std::function<void(const QString &)> m_findTag;
    stats::Collection *m_collection = nullptr;
    stats::Report m_report;
    int m_year = 2000;

    QPushButton *bt_lastyear = nullptr;
    QLabel *lb_year = nullptr;
    QPushButton *bt_nextyear = nullptr;
    HeatMap *heatmap = nullptr;
    QComboBox *cb_measure = nullptr;
    QChart *m_chart = nullptr;
    QChartView *cv_months = nullptr;
    QBarSet *m_thisYear = nullptr;
    QBarSet *m_lastYear = nullptr;
    QValueAxis *m_axisY = nullptr;
    QLabel *lb_figures = nullptr;
    QListWidget *lv_tags = nullptr;
    QLabel *lb_state = nullptr;
};
