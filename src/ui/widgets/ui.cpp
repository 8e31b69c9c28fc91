#include "ui/widgets/ui.h"

#include "ui/widgets/richtextbox.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QIconEngine>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

namespace ui {

namespace {

// Moves and stretches the anchored children of one container whenever it is resized.
class Anchors : public QObject {
public:
    explicit Anchors(QWidget *container) : QObject(container), m_base(container->size()) {
        setObjectName(kName);
        container->installEventFilter(this);
    }
    static Anchors *of(QWidget *container) {
        for (QObject *child : container->children())
            if (child->objectName() == kName)
                if (auto *a = dynamic_cast<Anchors *>(child)) return a;
        return new Anchors(container);
    }
    void add(QWidget *control, Edges edges) {
        m_controls.push_back({control, control->geometry(), edges});
        place(m_controls.back(), static_cast<QWidget *>(parent())->size());
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == parent() && event->type() == QEvent::Resize) {
            const QSize size = static_cast<QWidget *>(watched)->size();
            for (const Control &c : m_controls) place(c, size);
        }
        return false;
    }

private:
    struct Control {
        QPointer<QWidget> widget;
        QRect laidOut;
        Edges edges;
    };

    // One direction: the extra room goes to the size when both edges hold the control, to the
    // position when only the far one does.
    static void follow(int &pos, int &length, int extra, bool nearEdge, bool farEdge) {
        if (!farEdge) return;
        if (nearEdge) length += extra;
        else pos += extra;
    }

    void place(const Control &c, const QSize &size) const {
        if (!c.widget) return;
        // Below the laid-out size nothing shrinks: that size is the least the container takes.
        const int dx = qMax(0, size.width() - m_base.width());
        const int dy = qMax(0, size.height() - m_base.height());
        int x = c.laidOut.x(), y = c.laidOut.y(), w = c.laidOut.width(), h = c.laidOut.height();
        follow(x, w, dx, c.edges.testFlag(Left), c.edges.testFlag(Right));
        follow(y, h, dy, c.edges.testFlag(Top), c.edges.testFlag(Bottom));
        c.widget->setGeometry(x, y, w, h);
    }

    static constexpr QLatin1StringView kName{"ui-anchors"};
    QSize m_base;
    std::vector<Control> m_controls;
};

} // namespace

void growable(QWidget *container, int width, int height) {
    container->setMinimumSize(twips(width), twips(height));
    container->resize(twips(width), twips(height));
}

void anchor(QWidget *control, Edges edges) { Anchors::of(control->parentWidget())->add(control, edges); }

void anchor(std::initializer_list<QWidget *> controls, Edges edges) {
    for (QWidget *c : controls) anchor(c, edges);
}

QColor buttonFace() { return QApplication::palette().color(QPalette::Button); }
QColor windowBackground() { return QApplication::palette().color(QPalette::Base); }

namespace {

double luminance(const QColor &c) {
    auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    const QColor rgb = c.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableText(const QColor &background, const QColor &preferred) {
    if (preferred.isValid() && contrastRatio(background, preferred) >= 4.5) return preferred;
    return contrastRatio(background, Qt::black) >= contrastRatio(background, Qt::white) ? QColor(Qt::black)
                                                                                        : QColor(Qt::white);
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, int left, int top,
                    int width, int height) {
    auto *b = place(new QPushButton(caption, parent), name, left, top, width, height);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

RichTextBox *lineBox(QWidget *parent, const char *name, int left, int top, int width, int height,
                     int maxLength) {
    auto *box = place(new RichTextBox(parent), name, left, top, width, height);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setLineWrapMode(QTextEdit::NoWrap);
    box->document()->setDocumentMargin(1);
    box->setMaxLength(maxLength);
    box->setSingleLine(true);
    // A line holds no tab: Tab goes on to the next control.
    box->setTabChangesFocus(true);
    return box;
}

DialogFoot dialogFoot(QWidget *dialog, QVBoxLayout *layout, const char *action, const QString &caption) {
    auto *state = new QLabel(dialog);
    state->setObjectName(u"lb_state"_qs);
    state->setWordWrap(true);
    layout->addWidget(state);
    auto *buttons = new QHBoxLayout;
    auto *act = new QPushButton(caption, dialog);
    act->setObjectName(QString::fromLatin1(action));
    auto *close = new QPushButton(u"关闭"_qs, dialog);
    close->setObjectName(u"bt_close"_qs);
    buttons->addStretch();
    buttons->addWidget(act);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    return {state, act, close};
}

namespace {

class LazyIconEngine : public QIconEngine {
public:
    // The pictures made so far are shared by the copies Qt takes of the icon.
    struct Pictures {
        std::vector<int> sides;
        std::function<QPixmap(int)> make;
        std::map<int, QPixmap> made;
    };
    explicit LazyIconEngine(std::shared_ptr<Pictures> pictures) : m(std::move(pictures)) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override {
        const QSize fit = actualSize(size, QIcon::Normal, QIcon::Off);
        if (fit.isEmpty()) return {};
        const auto side = std::lower_bound(m->sides.begin(), m->sides.end(), fit.width());
        const int made = side == m->sides.end() ? m->sides.back() : *side;
        auto it = m->made.find(made);
        if (it == m->made.end()) it = m->made.emplace(made, m->make(made)).first;
        const QPixmap &picture = it->second;
        if (picture.isNull() || picture.size() == fit) return picture;
        return picture.scaled(fit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override {
        const int side = std::min({size.width(), size.height(), m->sides.back()});
        return side > 0 ? QSize(side, side) : QSize();
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int side : m->sides)
            sizes << QSize(side, side);
        return sizes;
    }

    QString key() const override { return u"qingchuang-lazy"_qs; }
    QIconEngine *clone() const override { return new LazyIconEngine(m); }

private:
    std::shared_ptr<Pictures> m;
};

} // namespace

QIcon lazyIcon(std::vector<int> sides, std::function<QPixmap(int side)> make) {
    return QIcon(new LazyIconEngine(
        std::make_shared<LazyIconEngine::Pictures>(LazyIconEngine::Pictures{std::move(sides), std::move(make), {}})));
}

} // namespace ui
