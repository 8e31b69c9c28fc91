#pragma once

#include "store/common/programfolder.h"
#include "store/common/storeresult.h"

#include <QString>

// The server's list of connections of a day, kept as \LogFile\YYYYMMDD.txt (the date of the
// folder's clock) in code page 936: the whole list, replacing what the file held.
namespace net {

QString logPath(const ProgramFolder &folder);

// Writes the list; IoError with the system's reason when the folder or the file cannot be
// written, the old file then whole.
store::Result saveConnectionLog(const ProgramFolder &folder, const QString &list);

} // namespace net
