#include "ui/album/albumimages.h"

#include <QFont>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

#include <functional>

namespace album {

namespace {

// An image of width x height logical pixels at ratio, for drawing in logical pixels.
QImage transparentImage(int width, int height, qreal ratio) {
    QImage image(QSize(width, height) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

// Each drawing once per ratio.
QImage cached(QHash<qreal, QImage> &cache, qreal ratio, const std::function<QImage(qreal)> &draw) {
    auto it = cache.find(ratio);
    if (it == cache.end()) it = cache.insert(ratio, draw(ratio));
    return *it;
}

// A heart filling a 32 x 32 square, its point at the bottom.
QPainterPath heartPath() {
    QPainterPath p;
    p.moveTo(16, 29);
    p.cubicTo(5, 21.5, 1.5, 15, 2, 9.5);
    p.cubicTo(2.5, 4.5, 7, 2, 11, 2.8);
    p.cubicTo(13.5, 3.3, 15.2, 5.2, 16, 7.8);
    p.cubicTo(16.8, 5.2, 18.5, 3.3, 21, 2.8);
    p.cubicTo(25, 2, 29.5, 4.5, 30, 9.5);
    p.cubicTo(30.5, 15, 27, 21.5, 16, 29);
    p.closeSubpath();
    return p;
}

void drawHeart(QPainter &p, const QTransform &where) {
    p.save();
    p.setTransform(where, true);
    QRadialGradient fill(QPointF(11, 9), 22);
    fill.setColorAt(0, QColor(255, 140, 165));
    fill.setColorAt(0.45, QColor(235, 45, 85));
    fill.setColorAt(1, QColor(170, 10, 45));
    p.setBrush(fill);
    p.setPen(QPen(QColor(120, 0, 30), 1.2));
    p.drawPath(heartPath());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(QPointF(9.5, 9), 3, 2.2);
    p.restore();
}

QPainterPath roundedRect(const QRectF &r, qreal radius) {
    QPainterPath p;
    p.addRoundedRect(r, radius, radius);
    return p;
}

// A hand seen from its back, the fingers up: open, or curled round the picture it holds.
QImage drawHand(bool holding, qreal ratio) {
    QImage image = transparentImage(32, 32, ratio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal fingerX[4] = {9.0, 13.0, 17.0, 21.0};
    const qreal openTops[4] = {7.0, 4.5, 5.0, 7.5};
    const qreal heldTops[4] = {13.0, 12.0, 12.0, 13.0};
    QPainterPath hand = roundedRect(QRectF(8.5, 14, 16.5, 14), 5);
    for (int i = 0; i < 4; ++i) {
        const qreal top = holding ? heldTops[i] : openTops[i];
        hand = hand.united(roundedRect(QRectF(fingerX[i], top, 3.4, 18 - top), 1.7));
    }
    QTransform thumbTurn;
    if (holding) {
        hand = hand.united(roundedRect(QRectF(5.5, 17, 9, 3.6), 1.8));
    } else {
        thumbTurn.translate(10, 23);
        thumbTurn.rotate(-40);
        hand = hand.united(thumbTurn.map(roundedRect(QRectF(-9, -1.8, 10, 3.6), 1.8)));
    }
    p.setBrush(Qt::white);
    p.setPen(QPen(Qt::black, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(hand);

    // The gaps between the fingers down to the palm.
    p.setPen(QPen(Qt::black, 1.0, Qt::SolidLine, Qt::RoundCap));
    for (int i = 1; i < 4; ++i) {
        const qreal x = fingerX[i] - 0.3;
        const qreal top = holding ? 14.0 : std::max(openTops[i - 1], openTops[i]) + 3;
        p.drawLine(QPointF(x, top), QPointF(x, holding ? 16.5 : 18.0));
    }
    if (holding) p.drawLine(QPointF(9.5, 17), QPointF(23.5, 17)); // the knuckles' fold
    return image;
}

} // namespace

QImage heartImage(qreal ratio) {
    static QHash<qreal, QImage> cache;
    return cached(cache, ratio, [](qreal ratio) {
        QImage image = transparentImage(32, 32, ratio);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawHeart(p, QTransform());
        return image;
    });
}

QImage logoImage(qreal ratio) {
    static QHash<qreal, QImage> cache;
    return cached(cache, ratio, [](qreal ratio) {
        QImage image = transparentImage(128, 32, ratio);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);

        // A pale band with a rose border.
        QLinearGradient band(0, 0, 0, 32);
        band.setColorAt(0, QColor(255, 255, 255, 225));
        band.setColorAt(1, QColor(255, 232, 238, 225));
        p.setBrush(band);
        p.setPen(QPen(QColor(205, 80, 110), 1.2));
        p.drawRoundedRect(QRectF(0.8, 0.8, 126.4, 30.4), 7, 7);

        // A window in the sun at the left end.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 190, 60));
        p.drawEllipse(QPointF(22, 9.5), 6, 6);
        p.setPen(QPen(QColor(110, 70, 40), 1.6));
        p.setBrush(QColor(190, 225, 255, 170));
        p.drawRect(QRectF(5, 11, 17, 15));
        p.drawLine(QPointF(13.5, 11), QPointF(13.5, 26));
        p.drawLine(QPointF(5, 18.5), QPointF(22, 18.5));

        QFont font(QStringLiteral("WenQuanYi Micro Hei"));
        font.setPixelSize(17);
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(170, 30, 70));
        p.drawText(QRectF(30, 0, 96, 32), Qt::AlignCenter, QStringLiteral("晴窗·相册"));
        return image;
    });
}

QImage docIcon(qreal ratio) {
    static QHash<qreal, QImage> cache;
    return cached(cache, ratio, [](qreal ratio) {
        QImage image = transparentImage(32, 32, ratio);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);

        // A page with its upper right corner folded.
        QPainterPath page;
        page.moveTo(5.5, 2.5);
        page.lineTo(20.5, 2.5);
        page.lineTo(27.5, 9.5);
        page.lineTo(27.5, 29.5);
        page.lineTo(5.5, 29.5);
        page.closeSubpath();
        p.setBrush(QColor(255, 252, 240));
        p.setPen(QPen(QColor(90, 80, 70), 1.2));
        p.drawPath(page);
        QPainterPath fold;
        fold.moveTo(20.5, 2.5);
        fold.lineTo(20.5, 9.5);
        fold.lineTo(27.5, 9.5);
        fold.closeSubpath();
        p.setBrush(QColor(225, 215, 195));
        p.drawPath(fold);

        // Ruled lines, the last ones short to make room for the heart.
        p.setPen(QPen(QColor(110, 150, 210), 1.0));
        p.drawLine(QPointF(9, 8.5), QPointF(18, 8.5));
        for (int y = 13; y <= 19; y += 3)
            p.drawLine(QPointF(9, y + 0.5), QPointF(24, y + 0.5));
        p.drawLine(QPointF(9, 22.5), QPointF(15, 22.5));
        p.drawLine(QPointF(9, 25.5), QPointF(15, 25.5));

        QTransform small;
        small.translate(16.5, 19.5);
        small.scale(0.34, 0.34);
        drawHeart(p, small);
        return image;
    });
}

QImage handImage(int index, qreal ratio) {
    static QHash<qreal, QImage> open, holding;
    return index == 1 ? cached(holding, ratio, [](qreal r) { return drawHand(true, r); })
                      : cached(open, ratio, [](qreal r) { return drawHand(false, r); });
}

// The hot spot is in logical pixels, as the pointer's size.
QCursor heartCursor(qreal ratio) {
    return QCursor(QPixmap::fromImage(heartImage(ratio)), 16, 16);
}

QCursor handCursor(int index, qreal ratio) {
    return QCursor(QPixmap::fromImage(handImage(index, ratio)), 16, 16);
}

} // namespace album
