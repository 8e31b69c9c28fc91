#pragma once

#include <QCursor>
#include <QImage>

// The album's own drawings, made once for each ratio of device pixels to logical ones that asks
// for them. All have transparent parts. Sizes are logical pixels: an image for ratio 2 has twice
// the pixels each way, drawn, not scaled, and paints at the same size, only sharper.
namespace album {

// The heart: the view's pointer and the stamp, 32 x 32.
QImage heartImage(qreal ratio = 1);
// The logo put on saved pictures and on the help page, 128 x 32.
QImage logoImage(qreal ratio = 1);
// The diary page drawn over the logo's left end on the help page, 32 x 32.
QImage docIcon(qreal ratio = 1);
// The pointer over the picture: 0 the open hand, 1 the hand that holds the picture; 32 x 32.
QImage handImage(int index, qreal ratio = 1);

// Pointers made of these images, their hot spot in the middle.
QCursor heartCursor(qreal ratio = 1);
QCursor handCursor(int index, qreal ratio = 1);

} // namespace album
