#pragma once

#include <QString>
#include <QStringList>

// The words of the photo window: the status line, the help page and the messages after loading
// and saving a picture.
namespace albumtext {

// The status line while the mouse moves over the picture; mode 0 stamps hearts, 1 moves.
QString modeText(int mode);

// The message the box shows when a picture cannot be loaded (after an empty first line).
QString loadFailureText(const QString &name);

// The twenty lines of the help page below its title rule.
QStringList helpLines(const QString &folder, int n, const QString &saveFolder,
                      const QString &configFile);

// The status line after saving.
QString saveStatusText(const QString &file, bool saved);

} // namespace albumtext
