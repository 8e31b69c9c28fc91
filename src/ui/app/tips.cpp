#include "ui/app/tips.h"

#include <QSystemTrayIcon>

Tips::Tips(QObject *parent) : QObject(parent) {}

Tips::~Tips() { RemoveTrayIcon(); }

// The icon counts as present only while a notification area holds it: when the area goes away
// (the desktop shell restarts) the next add puts it back.
bool Tips::present() const {
    return m_icon && m_icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

bool Tips::AddTrayIcon(const QIcon &icon) {
    if (present() || !QSystemTrayIcon::isSystemTrayAvailable()) return false;
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::Trigger) emit mouseEvent(LeftButtonDown);
            else if (r == QSystemTrayIcon::Context) emit mouseEvent(RightButtonDown);
        });
    }
    m_icon->setIcon(icon);
    m_icon->hide();
    m_icon->show();
    return m_icon->isVisible();
}

bool Tips::RemoveTrayIcon() {
    if (!present()) return false;
    m_icon->hide();
    return true;
}
