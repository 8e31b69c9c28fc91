#include "platform/ui.h"

#include "platform/richtextbox.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
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

DialogFoot dialogFoot(QWidget *dialog, QVBoxLayout *layout, const char *action, const QString &caption) {
    auto *state = new QLabel(dialog);
    state->setObjectName(u"lb_state"_qs);
    state->setWordWrap(true);
    layout->addWidget(state);
    auto *buttons = new QHBoxLayout;
    auto *act = new QPushButton(caption, dialog);
    act->setObjectName(QString::fromLatin1(action));
    auto *close = new QPushButton(u"关闭"_qs, dialog);
    close->setObjectName(u"bt_close"_qs);
    buttons->addStretch();
    buttons->addWidget(act);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    return {state, act, close};
}

} // namespace ui
