#pragma once

#include "store/common/storeresult.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QFileDevice;
class QSaveFile;

// Durable writes. Every file the program rewrites goes through these: a crash or a full disk at
// any moment leaves the old file or the new one, never half of either. Failures carry the file's
// errorString() (or the system's message) as detail, with code IoError.

// IoError with the file's name and errorString() as detail.
store::Result fileError(const QFileDevice &file);

// Writes text in code page 936 followed by CR LF as the whole new content of the file at path.
// The old content is replaced atomically: it stays whole until the new one is on disk, so a failed
// or interrupted write never leaves half a file.
store::Result writeTextLineAtomically(const QString &path, const QString &text);

// Flushes what file has buffered and forces it to the disk. The one place that asks the system
// for that (fsync, FlushFileBuffers on Windows).
store::Result flushToDisk(QFileDevice &file);

// Finishes a QSaveFile: flushes what is buffered, forces it to disk and only then gives the file
// the target's name. QSaveFile::commit alone still renames when the last buffered write fails at
// close (a full disk), which would put a cut file in place of the old one. On failure the old file
// is untouched and the temporary file gone.
store::Result commitWhole(QSaveFile &file);

// Writes bytes to tempPath, forces them to disk and renames tempPath over path, for writers whose
// temporary file has a fixed place. On failure tempPath is removed and path untouched.
store::Result replaceThroughTemp(const QString &path, const QString &tempPath, const QByteArray &bytes);
// The same for a file written as pieces, one after the other (parts of a file read before).
store::Result replaceThroughTemp(const QString &path, const QString &tempPath,
                                 const QList<QByteArrayView> &pieces);

// Forces the folder holding path to disk, so that a file just renamed into it keeps its new
// content after a power cut. Best effort: not every file system can sync a folder.
void syncFolderOf(const QString &path);
