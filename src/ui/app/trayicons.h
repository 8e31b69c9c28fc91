#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures for the notification area: the server picture (the login window's
// picture) and the client picture (PLogo of the hidden network window). They are drawn, not
// scaled: a picture of size logical pixels at ratio device pixels each is sharp on any screen.
namespace trayicons {

QPixmap serverPicture(int size = 32, qreal ratio = 1);
QPixmap clientPicture(int size = 32, qreal ratio = 1);

// The icon for the notification area, each picture drawn when a desktop asks for its size.
QIcon icon(bool server);

} // namespace trayicons
