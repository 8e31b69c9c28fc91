#pragma once

#include <QWidget>

// Windows are laid out from control tables in twips; 15 twips make one pixel.
namespace ui {

constexpr int twips(int t) { return t / 15; }

// Names the control and places it at left, top, width, height given in twips.
template <typename W> W *place(W *widget, const char *name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(twips(left), twips(top), twips(width), twips(height));
    return widget;
}

// System colours of button faces and window backgrounds.
QColor buttonFace();
QColor windowBackground();

} // namespace ui
