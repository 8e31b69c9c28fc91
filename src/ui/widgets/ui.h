#pragma once

#include <QIcon>
#include <QWidget>

#include <functional>
#include <initializer_list>
#include <vector>

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

// Growing windows. A container laid out in twips starts at its laid-out size, which is also its
// least size; beyond it, each anchored control keeps its distance to the edges it is anchored to:
// Left | Top (where it was laid out) stays put, Left | Right takes the extra width, Right alone
// moves with the right edge; likewise Top and Bottom. Controls not anchored stay put.
enum Edge { Left = 1, Top = 2, Right = 4, Bottom = 8 };
Q_DECLARE_FLAGS(Edges, Edge)
Q_DECLARE_OPERATORS_FOR_FLAGS(Edges)

// Gives container its laid-out size (twips) and makes that its least size.
void growable(QWidget *container, int width, int height);
// Anchors a placed control to edges of its parent. The parent's size when its first control is
// anchored is the size the controls were laid out for.
void anchor(QWidget *control, Edges edges);
void anchor(std::initializer_list<QWidget *> controls, Edges edges);

// System colours of button faces and window backgrounds.
QColor buttonFace();
QColor windowBackground();

// The contrast ratio of two colours as WCAG defines it, from 1 (the same) to 21 (black on
// white); text is readable from 4.5 on.
double contrastRatio(const QColor &a, const QColor &b);
// The text colour for a background a program fixes: preferred where it is readable there (the
// desktop's own text colour), otherwise black or white, whichever stands out more.
QColor readableText(const QColor &background, const QColor &preferred);

// A button that never takes the focus by a click and is never a default button.
QPushButton *button(QWidget *parent, const char *name, const QString &caption, int left, int top,
                    int width, int height);

// A one-line rich-text box: no scroll bars, no wrapping, little margin, no line breaks typed or
// pasted, Tab moves to the next control; maxLength 0 means no limit.
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

// An icon whose square pictures of the given sides (ascending) are made only when something asks
// for them, once each: a window system that never shows it costs nothing. A size between two
// sides is the larger picture made smaller; a size beyond the largest is the largest.
QIcon lazyIcon(std::vector<int> sides, std::function<QPixmap(int side)> make);

} // namespace ui
