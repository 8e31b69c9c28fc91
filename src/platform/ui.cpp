#include "platform/ui.h"

#include "platform/richtextbox.h"

#include <QApplication>
#include <QPalette>
#include <QPushButton>

namespace ui {

QColor buttonFace() { return QApplication::palette().color(QPalette::Button); }
QColor windowBackground() { return QApplication::palette().color(QPalette::Base); }

QPushButton *button(QWidget *parent, const char *name, const QString &caption, int left, int top,
                    int width, int height) {
    auto *b = place(new QPushButton(caption, parent), name, left, top, width, height);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

RichTextBox *lineBox(QWidget *parent, const char *name, int left, int top, int width, int height,
                     int maxLength) {
    auto *box = place(new RichTextBox(parent), name, left, top, width, height);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setLineWrapMode(QTextEdit::NoWrap);
    box->document()->setDocumentMargin(1);
    box->setMaxLength(maxLength);
    box->setSingleLine(true);
    return box;
}

} // namespace ui
