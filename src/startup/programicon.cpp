#include "startup/programicon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <map>

static void initIcons() {
    Q_INIT_RESOURCE(icons);
}

namespace {

constexpr std::array kSides{16, 32, 48, 128, 256};

// The program's pictures, read only when a window system asks for one: a desktop that never
// shows the icon (and every start before its first window is painted) reads none.
class ProgramIconEngine : public QIconEngine {
public:
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override {
        const QSize fit = actualSize(size, QIcon::Normal, QIcon::Off);
        if (fit.isEmpty()) return {};
        const QPixmap &picture = read(pictureFor(fit));
        if (picture.isNull() || picture.size() == fit) return picture;
        return picture.scaled(fit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    // As large as asked, square, never larger than the largest picture.
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override {
        const int side = std::min({size.width(), size.height(), kSides.back()});
        return side > 0 ? QSize(side, side) : QSize();
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int side : kSides)
            sizes << QSize(side, side);
        return sizes;
    }

    QString key() const override { return u"qingchuang-program"_qs; }
    QIconEngine *clone() const override { return new ProgramIconEngine(*this); }

private:
    // The smallest picture that is at least as large, so that a picture is only ever made smaller.
    static int pictureFor(const QSize &size) {
        for (int side : kSides)
            if (side >= size.width()) return side;
        return kSides.back();
    }

    const QPixmap &read(int side) {
        QPixmap &picture = m_read[side];
        if (picture.isNull()) picture.load(u":/icons/"_qs + QString::number(side) + u".png"_qs, "PNG");
        return picture;
    }

    std::map<int, QPixmap> m_read;
};

} // namespace

QIcon programIcon() {
    // The pictures live in the static library; naming its resource keeps them linked in.
    initIcons();
    return QIcon(new ProgramIconEngine);
}
