#pragma once

#include <QCursor>
#include <QImage>

// The album's own drawings, made once on first use. All have transparent parts.
namespace album {

// The heart: the view's pointer and the stamp, 32 x 32.
QImage heartImage();
// The logo put on saved pictures and on the help page, 128 x 32.
QImage logoImage();
// The diary page drawn over the logo's left end on the help page, 32 x 32.
QImage docIcon();
// The pointer over the picture: 0 the open hand, 1 the hand that holds the picture; 32 x 32.
QImage handImage(int index);

// Pointers made of these images, their hot spot in the middle.
QCursor heartCursor();
QCursor handCursor(int index);

} // namespace album
