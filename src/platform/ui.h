#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;
class RichTextBox;

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

// A button that never takes the focus by a click and is never a default button.
QPushButton *button(QWidget *parent, const char *name, const QString &caption, int left, int top,
                    int width, int height);

// A one-line rich-text box: no scroll bars, no wrapping, little margin, no line breaks typed or
// pasted; maxLength 0 means no limit.
RichTextBox *lineBox(QWidget *parent, const char *name, int left, int top, int width, int height,
                     int maxLength = 0);

// The foot of a dialog of our own laid out top to bottom: a word-wrapped state line (lb_state),
// then the action button (named action) and "关闭" (bt_close) at the right.
struct DialogFoot {
    QLabel *state;
    QPushButton *action;
    QPushButton *close;
};
DialogFoot dialogFoot(QWidget *dialog, QVBoxLayout *layout, const char *action, const QString &caption);

} // namespace ui
