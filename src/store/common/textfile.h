#pragma once

#include "store/common/savefile.h"

#include <QString>

namespace store {

// Writes text in code page 936 followed by CR LF as the whole new content of the file at path,
// through saveFile: the old content stays whole until the new one is on disk.
store::Result writeTextLineAtomically(const QString &path, const QString &text);

} // namespace store
