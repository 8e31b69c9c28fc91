#include "netservice/fornull.h"

#include "startup/app.h"

ForNull::ForNull(App &app, QWidget *parent) : QWidget(parent), m_app(app) {}

QIcon ForNull::trayIcon() const { return QIcon(); }

