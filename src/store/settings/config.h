#pragma once

#include "store/settings/settings.h"

#include <QByteArray>
#include <QString>

namespace settings {

// Config.ini: the default file, its reader and the loader that ties them together.

// The text of the missing-file default: 42 lines, each ending CR LF.
QString defaultConfigText();

// Reads Config.ini's bytes into settings. Returns false after an error, which sets
// ConfigUnreadable, empties AboutText and keeps the other values applied before it.
bool parseConfigData(QByteArrayView data, Settings &settings);

// Reads the file at path; a file that cannot be opened is an error like any other.
bool ParseConfig(const QString &path, Settings &settings);

// Writes the default file into programDir when it is missing, then reads it. A default file that
// cannot be written stops it before any reading; settings keep their values.
void LoadConfig(const QString &programDir, Settings &settings);

// NewMessage := CR LF, two blanks and the message.
void SetNewMessage(Settings &settings, const QString &message);

} // namespace settings
