#include "ui/app/trayicons.h"

#include "ui/widgets/ui.h"

#include <QPainter>
#include <QPainterPath>

namespace trayicons {

namespace {

// A sunny window: a frame with four panes and the sun behind it, drawn on a square of 32.
QPixmap window(const QColor &frame, const QColor &sky, bool withTower, int size, qreal ratio) {
    QPixmap pm(QSize(size, size) * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(3, 3, 26, 26), 3, 3);
    p.setBrush(QColor(255, 200, 40));
    p.drawEllipse(QPointF(20, 12), 6, 6);
    p.setPen(QPen(frame, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(3, 3, 26, 26), 3, 3);
    p.drawLine(QPointF(16, 4), QPointF(16, 28));
    p.drawLine(QPointF(4, 16), QPointF(28, 16));
    if (withTower) {
        // The server: a small mast sending waves.
        p.setPen(QPen(QColor(200, 30, 30), 2));
        p.drawLine(QPointF(8, 29), QPointF(8, 20));
        p.drawArc(QRectF(4, 16, 8, 8), 30 * 16, 120 * 16);
    }
    return pm;
}

} // namespace

QPixmap serverPicture(int size, qreal ratio) {
    return window(QColor(90, 60, 30), QColor(150, 200, 255), true, size, ratio);
}
QPixmap clientPicture(int size, qreal ratio) {
    return window(QColor(40, 90, 160), QColor(180, 225, 255), false, size, ratio);
}

QIcon icon(bool server) {
    return ui::lazyIcon({16, 22, 24, 32, 48, 64, 128},
                        [server](int side) { return server ? serverPicture(side) : clientPicture(side); });
}

} // namespace trayicons
