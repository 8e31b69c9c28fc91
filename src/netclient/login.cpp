#include "netclient/login.h"

#include "startup/app.h"

Login::Login(App &app, QWidget *parent) : QWidget(parent), m_app(app) {}

