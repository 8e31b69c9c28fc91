#include "netclient/newuser.h"

#include "startup/app.h"

NewUser::NewUser(App &app, QWidget *parent) : QWidget(parent), m_app(app) {}

