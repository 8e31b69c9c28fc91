#include "platform/ui.h"

#include <QApplication>
#include <QPalette>

namespace ui {

QColor buttonFace() { return QApplication::palette().color(QPalette::Button); }
QColor windowBackground() { return QApplication::palette().color(QPalette::Base); }

} // namespace ui
