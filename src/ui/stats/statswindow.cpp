#include "ui/stats/statswindow.h"

#include "store/stats/collection.h"
#include "ui/stats/heatmap.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

StatsWindow::StatsWindow(find::Engine &engine, std::function<QDate()> today,
                         std::function<bool(const QDate &)> showDate,
                         std::function<void(const QString &)> findTag, QWidget *parent)
    : QWidget(parent), m_today(std::move(today)), m_showDate(std::move(showDate)),
      m_findTag(std::move(findTag)), m_collection(new stats::Collection(engine, this)) {
    setWindowTitle(u"统计"_qs);
    m_year = (m_today ? m_today() : QDate::currentDate()).year();

    bt_lastyear = new QPushButton(u"◀"_qs, this);
    bt_lastyear->setObjectName(u"bt_lastyear"_qs);
    bt_lastyear->setToolTip(u"上一年"_qs);
    lb_year = new QLabel(this);
    lb_year->setObjectName(u"lb_year"_qs);
    lb_year->setAlignment(Qt::AlignCenter);
    bt_nextyear = new QPushButton(u"▶"_qs, this);
    bt_nextyear->setObjectName(u"bt_nextyear"_qs);
    bt_nextyear->setToolTip(u"下一年"_qs);
    heatmap = new HeatMap(this);
    heatmap->setObjectName(u"heatmap"_qs);
    heatmap->setToday(m_today ? m_today() : QDate::currentDate());

    cb_measure = new QComboBox(this);
    cb_measure->setObjectName(u"cb_measure"_qs);
    cb_measure->addItems({u"每月字数"_qs, u"每月篇数"_qs});
    m_thisYear = new QBarSet(QString(), this);
    m_lastYear = new QBarSet(QString(), this);
    auto *series = new QBarSeries(this);
    series->append(m_lastYear);
    series->append(m_thisYear);
    m_chart = new QChart;
    m_chart->addSeries(series);
    auto *axisX = new QBarCategoryAxis(m_chart);
    for (int m = 1; m <= 12; ++m)
        axisX->append(u"%1月"_qs.arg(m));
    m_axisY = new QValueAxis(m_chart);
    m_axisY->setLabelFormat(u"%d"_qs);
    m_chart->addAxis(axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    series->attachAxis(axisX);
    series->attachAxis(m_axisY);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setAnimationOptions(QChart::NoAnimation);
    cv_months = new QChartView(m_chart, this);
    cv_months->setObjectName(u"cv_months"_qs);
    cv_months->setRenderHint(QPainter::Antialiasing);
    cv_months->setMinimumHeight(fontMetrics().height() * 14);

    lb_figures = new QLabel(this);
    lb_figures->setObjectName(u"lb_figures"_qs);
    lb_figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lb_figures->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    auto *tagsLabel = new QLabel(u"话题（单击查找）"_qs, this);
    lv_tags = new QListWidget(this);
    lv_tags->setObjectName(u"lv_tags"_qs);
    lb_state = new QLabel(this);
    lb_state->setObjectName(u"lb_state"_qs);
    lb_state->setWordWrap(true);

    auto *years = new QHBoxLayout;
    years->addStretch();
    years->addWidget(bt_lastyear);
    years->addWidget(lb_year);
    years->addWidget(bt_nextyear);
    years->addStretch();
    auto *chartTop = new QHBoxLayout;
    chartTop->addStretch();
    chartTop->addWidget(cb_measure);
    auto *left = new QVBoxLayout;
    left->addLayout(years);
    left->addWidget(heatmap, 0, Qt::AlignHCenter);
    left->addLayout(chartTop);
    left->addWidget(cv_months, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(lb_figures);
    right->addWidget(tagsLabel);
    right->addWidget(lv_tags, 1);
    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(lb_state);

    connect(bt_lastyear, &QPushButton::clicked, this, [this] { setYear(m_year - 1); });
    connect(bt_nextyear, &QPushButton::clicked, this, [this] { setYear(m_year + 1); });
    connect(heatmap, &HeatMap::dayClicked, this, [this](const QDate &date) {
        if (m_showDate && !m_showDate(date))
            lb_state->setText(
                u"请先保存或取消当前的编辑，再打开 %1。"_qs.arg(stats::dateText(date)));
    });
    connect(cb_measure, &QComboBox::currentIndexChanged, this, &StatsWindow::fillMonths);
    connect(lv_tags, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (m_findTag) m_findTag(item->data(Qt::UserRole).toString());
    });
    connect(m_collection, &stats::Collection::progressed, this,
            [this](const stats::Report &r) { fill(r, false); });
    connect(m_collection, &stats::Collection::finished, this,
            [this](const stats::Report &r) { fill(r, true); });

    styleChart();
    setYear(m_year);
    fill(stats::Report(), false);
}

StatsWindow::~StatsWindow() = default;

bool StatsWindow::collecting() const {
    return m_collection->isRunning();
}

void StatsWindow::showEvent(QShowEvent *event) {
    refresh();
    QWidget::showEvent(event);
}

void StatsWindow::hideEvent(QHideEvent *event) {
    m_collection->cancel();
    QWidget::hideEvent(event);
}

void StatsWindow::changeEvent(QEvent *event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) styleChart();
    QWidget::changeEvent(event);
}

void StatsWindow::refresh() {
    const QDate today = m_today ? m_today() : QDate::currentDate();
    heatmap->setToday(today);
    lb_state->setText(u"正在统计……"_qs);
    m_collection->start();
}

void StatsWindow::setYear(int year) {
    m_year = std::clamp(year, 101, 9999);
    bt_lastyear->setEnabled(m_year > 101);
    bt_nextyear->setEnabled(m_year < 9999);
    lb_year->setText(u"%1 年"_qs.arg(m_year));
    heatmap->setYear(m_year);
    fillMonths();
}

void StatsWindow::fill(const stats::Report &report, bool finished) {
    m_report = report;
    heatmap->setDays(report.days);
    fillMonths();
    const QDate today = m_today ? m_today() : QDate::currentDate();
    QStringList lines;
    for (const auto &[label, value] : stats::figureRows(report.figures(today)))
        lines << label + QChar(u'：') + value;
    lb_figures->setText(lines.join(u'\n'));
    lv_tags->clear();
    for (const stats::Tag &tag : report.tagList()) {
        auto *item = new QListWidgetItem(tag.text + u"  "_qs + QString::number(tag.count), lv_tags);
        item->setData(Qt::UserRole, tag.text);
    }
    if (!finished) return;
    if (report.unreadable.isEmpty()) {
        lb_state->setText(u"统计完成。"_qs);
    } else {
        QStringList names;
        for (const QString &path : report.unreadable)
            names << QDir::toNativeSeparators(path);
        lb_state->setText(u"有 %1 个日期文件读不出，没有计入：%2"_qs.arg(report.unreadable.size())
                              .arg(names.join(u"，"_qs)));
    }
}

void StatsWindow::fillMonths() {
    const bool entries = cb_measure->currentIndex() == 1;
    const auto now = m_report.months(m_year);
    const auto before = m_report.months(m_year - 1);
    m_thisYear->remove(0, m_thisYear->count());
    m_lastYear->remove(0, m_lastYear->count());
    qreal top = 0;
    for (int i = 0; i < 12; ++i) {
        const qreal a = entries ? now[i].entries : qreal(now[i].characters);
        const qreal b = entries ? before[i].entries : qreal(before[i].characters);
        m_thisYear->append(a);
        m_lastYear->append(b);
        top = std::max({top, a, b});
    }
    m_thisYear->setLabel(u"%1 年"_qs.arg(m_year));
    m_lastYear->setLabel(u"%1 年"_qs.arg(m_year - 1));
    m_axisY->setRange(0, std::max<qreal>(top, 1));
    m_axisY->applyNiceNumbers();
}

// The chart follows the window's palette and font: dark on a dark palette, its words as large
// as the window's.
void StatsWindow::styleChart() {
    const QPalette &pal = palette();
    const bool dark = pal.color(QPalette::Window).lightness() < 128;
    m_chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    m_chart->setBackgroundBrush(pal.brush(QPalette::Window));
    m_chart->setBackgroundRoundness(0);
    const QColor text = pal.color(QPalette::WindowText);
    for (QAbstractAxis *axis : m_chart->axes()) {
        axis->setLabelsFont(font());
        axis->setLabelsColor(text);
    }
    m_chart->legend()->setFont(font());
    m_chart->legend()->setLabelColor(text);
    m_lastYear->setColor(dark ? QColor(0x6b, 0x7b, 0x8c) : QColor(0xa8, 0xb8, 0xc8));
    m_thisYear->setColor(dark ? QColor(0x57, 0xd3, 0x64) : QColor(0x21, 0x6e, 0x39));
    m_lastYear->setBorderColor(Qt::transparent);
    m_thisYear->setBorderColor(Qt::transparent);
}
