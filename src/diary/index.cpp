#include "diary/index.h"

#include "platform/richtextbox.h"
#include "startup/app.h"

Index::Index(App &app, QWidget *parent) : QWidget(parent), m_app(app) {
    mmw = new RichTextBox(this);
    mmw->setObjectName(u"mmw"_qs);
}

void Index::focusEditor() { mmw->setFocus(); }
