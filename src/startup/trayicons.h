#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures for the notification area: the server picture (the login window's
// picture) and the client picture (PLogo of the hidden network window).
namespace trayicons {

QPixmap serverPicture();
QPixmap clientPicture();

} // namespace trayicons
