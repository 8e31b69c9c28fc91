#include "ui/find/findwindow.h"

#include "store/find/search.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Draws a snippet with its match in bold on the highlight colour.
class SnippetDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        const int start = index.data(FindWindow::MatchStartRole).toInt();
        const int length = index.data(FindWindow::MatchLengthRole).toInt();
        QTextLayout layout(text, opt.font);
        if (start >= 0 && length > 0) {
            QTextLayout::FormatRange mark;
            mark.start = start;
            mark.length = length;
            mark.format.setFontWeight(QFont::Bold);
            mark.format.setBackground(opt.palette.brush(QPalette::Highlight));
            mark.format.setForeground(opt.palette.brush(QPalette::HighlightedText));
            layout.setFormats({mark});
        }
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e6);
        layout.endLayout();
        const QRect r = opt.rect.adjusted(3, 0, -3, 0);
        painter->save();
        painter->setClipRect(r);
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        layout.draw(painter, QPointF(r.left(), r.top() + (r.height() - line.height()) / 2));
        painter->restore();
    }
};

} // namespace

FindWindow::FindWindow(find::Engine &engine, std::function<void(const find::Hit &)> openHit, QWidget *parent)
    : QWidget(parent), m_openHit(std::move(openHit)), m_search(new find::Search(engine, this)) {
    setWindowTitle(u"查找日记"_qs);
    resize(640, 420);
    tt_words = new QLineEdit(this);
    tt_words->setObjectName(u"tt_words"_qs);
    bt_find = new QPushButton(u"查找"_qs, this);
    bt_find->setObjectName(u"bt_find"_qs);
    lb_count = new QLabel(this);
    lb_count->setObjectName(u"lb_count"_qs);
    lv_hits = new QTreeWidget(this);
    lv_hits->setObjectName(u"lv_hits"_qs);
    tt_words->setAccessibleName(u"查找内容"_qs);
    lv_hits->setAccessibleName(u"查找结果"_qs);
    lv_hits->setHeaderLabels({u"日期"_qs, u"标题"_qs, u"内容"_qs});
    lv_hits->setRootIsDecorated(false);
    lv_hits->setUniformRowHeights(true);
    lv_hits->setItemDelegateForColumn(2, new SnippetDelegate(lv_hits));
    lv_hits->header()->resizeSection(0, 90);
    lv_hits->header()->resizeSection(1, 150);
    tmPause = new QTimer(this);
    tmPause->setObjectName(u"tmPause"_qs);
    tmPause->setSingleShot(true);
    tmPause->setInterval(250);

    auto *top = new QHBoxLayout;
    top->addWidget(tt_words, 1);
    top->addWidget(bt_find);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lv_hits, 1);
    layout->addWidget(lb_count);

    connect(tt_words, &QLineEdit::textEdited, tmPause, qOverload<>(&QTimer::start));
    connect(tt_words, &QLineEdit::returnPressed, this, &FindWindow::startSearch);
    connect(bt_find, &QPushButton::clicked, this, &FindWindow::startSearch);
    connect(tmPause, &QTimer::timeout, this, &FindWindow::startSearch);
    connect(m_search, &find::Search::hitFound, this, &FindWindow::addHit);
    connect(m_search, &find::Search::finished, this, &FindWindow::onFinished);
    connect(lv_hits, &QTreeWidget::itemDoubleClicked, this, &FindWindow::onDoubleClick);
}

FindWindow::~FindWindow() = default;

bool FindWindow::searching() const { return m_search->isRunning(); }

void FindWindow::startSearch() {
    tmPause->stop();
    lv_hits->clear();
    m_hits.clear();
    if (find::queryWords(tt_words->text()).isEmpty()) {
        m_search->cancel();
        lb_count->clear();
        return;
    }
    lb_count->setText(u"正在查找……"_qs);
    m_search->start(tt_words->text());
}

void FindWindow::findWords(const QString &words) {
    tt_words->setText(words);
    startSearch();
}

void FindWindow::addHit(const find::Hit &hit) {
    auto *item = new QTreeWidgetItem(lv_hits, {find::dateText(hit), hit.title, hit.snippet});
    item->setData(0, Qt::UserRole, int(m_hits.size()));
    item->setData(2, MatchStartRole, hit.matchStart);
    item->setData(2, MatchLengthRole, hit.matchLength);
    item->setToolTip(2, hit.snippet);
    m_hits.append(hit);
    lb_count->setText(u"正在查找…… 已找到 %1 篇"_qs.arg(m_hits.size()));
}

void FindWindow::onFinished(int hits) {
    lb_count->setText(hits ? u"找到 %1 篇"_qs.arg(hits) : u"没有找到"_qs);
}

void FindWindow::onDoubleClick(QTreeWidgetItem *item) {
    const int at = item->data(0, Qt::UserRole).toInt();
    if (at >= 0 && at < m_hits.size() && m_openHit) m_openHit(m_hits.at(at));
}
