#include "netclient/connectme.h"

#include "startup/app.h"

ConnectMe::ConnectMe(App &app, QWidget *parent) : QWidget(parent), m_app(app) {}

