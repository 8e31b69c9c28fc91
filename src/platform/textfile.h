#pragma once

#include <QString>

// Writes text in code page 936 followed by CR LF as the whole new content of the file at path.
// The old content is replaced atomically: it stays whole until the new one is on disk, so a failed
// or interrupted write never leaves half a file.
bool writeTextLineAtomically(const QString &path, const QString &text);
