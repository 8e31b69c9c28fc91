#pragma once

#include <QString>

// Names of the files that belong to one computer. A diary folder shared by a sync tool holds
// the same files on every computer; what one computer keeps for itself (the window's state, the
// draft of an open edit, temporary files) carries its host name so that it never meets another
// computer's file of the same kind.
namespace localname {

// The host name as a part of a file name: letters, digits, '-' and '_' only; "host" for none.
QString host();
// "stem-HOST.ext" (ext with its dot).
QString perHost(const QString &stem, const QString &ext);
// The temporary file of the date-file rewrites, in DB/: "temp-HOST.tmp".
QString dateTempName();

} // namespace localname
