#include "ui/netwindows/fornull.h"

#include "store/settings/settings.h"
#include "ui/app/trayicons.h"

ForNull::ForNull(NetService &service, const Settings &settings, QWidget *parent)
    : QWidget(parent), m_service(service), m_settings(settings) {
    setObjectName(u"ForNull"_qs);
}

QIcon ForNull::trayIcon() const {
    return trayicons::icon(m_settings.IsServer);
}
