#pragma once

#include <QByteArray>
#include <QString>

class QSaveFile;

// Writes text in code page 936 followed by CR LF as the whole new content of the file at path.
// The old content is replaced atomically: it stays whole until the new one is on disk, so a failed
// or interrupted write never leaves half a file.
bool writeTextLineAtomically(const QString &path, const QString &text);

// Finishes a QSaveFile: flushes what is buffered, forces it to disk and only then gives the file
// the target's name. QSaveFile::commit alone still renames when the last buffered write fails at
// close (a full disk), which would put a cut file in place of the old one. False when anything
// failed; the old file is then untouched and the temporary file gone.
bool commitWhole(QSaveFile &file);

// Writes bytes to tempPath, forces them to disk and renames tempPath over path, for writers whose
// temporary file has a fixed place. False (and tempPath removed) when anything failed; path is then
// untouched.
bool replaceThroughTemp(const QString &path, const QString &tempPath, const QByteArray &bytes);

// Forces the folder holding path to disk, so that a file just renamed into it keeps its new
// content after a power cut. Best effort: not every file system can sync a folder.
void syncFolderOf(const QString &path);
