#include "album/fmphoto.h"

#include "startup/app.h"

fmPhoto::fmPhoto(App &app, QWidget *parent) : QWidget(parent), m_app(app) {}

