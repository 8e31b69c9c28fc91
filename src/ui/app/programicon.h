#pragma once

#include <QIcon>

// The program's icon, drawn at 16, 32, 48, 128 and 256 pixels: every window shows it, and the
// installed launcher names the same picture in the icon theme.
QIcon programIcon();
