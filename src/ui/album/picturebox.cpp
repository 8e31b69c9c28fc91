#include "ui/album/picturebox.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr double kTwipsPerPixel = 15;

int buttonNumber(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

} // namespace

PictureBox::PictureBox(QWidget *parent) : QWidget(parent) {
    setMouseTracking(true); // moves count without a button held too
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setImage(const QImage &image) {
    m_image = image;
    resize(image.deviceIndependentSize().toSize());
    update();
}

void PictureBox::paintEvent(QPaintEvent *event) {
    QPainter p(this);
    const QRectF r = event->rect();
    const qreal ratio = m_image.devicePixelRatio();
    p.drawImage(r, m_image, QRectF(r.topLeft() * ratio, r.size() * ratio));
}

void PictureBox::mousePressEvent(QMouseEvent *event) {
    const QPointF at = event->position() * kTwipsPerPixel;
    emit mouseDown(buttonNumber(event->button()), at.x(), at.y());
}

void PictureBox::mouseMoveEvent(QMouseEvent *event) {
    const QPointF at = event->position() * kTwipsPerPixel;
    emit mouseMove(buttonNumber(event->buttons()), at.x(), at.y());
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event) {
    const QPointF at = event->position() * kTwipsPerPixel;
    emit mouseUp(buttonNumber(event->button()), at.x(), at.y());
}
