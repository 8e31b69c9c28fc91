#pragma once

#include <QString>

// The lock that keeps one copy of the program per program folder on one computer. It lives in
// the computer's temporary folder, never in the (perhaps shared) program folder: two computers
// that share a diary through a sync tool may each run a copy.
namespace copylock {

// The name of the lock and of the running copy's local socket: from the folder's canonical path.
QString name(const QString &programDir);
// The lock file: the temporary folder and name() + ".lock".
QString path(const QString &programDir);
// Where a copy that cannot use its temporary folder takes the lock instead: ".qingchuang.lock" in
// the program folder (only then, so that computers sharing the folder do not meet there).
QString fallbackPath(const QString &programDir);
// True when a running copy holds the lock of programDir, in either place (the system's lock on
// the file, which ends with the process however it ends).
bool held(const QString &programDir);

} // namespace copylock
