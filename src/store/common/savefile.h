#pragma once

#include "store/common/storeresult.h"

#include <QByteArrayView>
#include <QFileDevice>
#include <QList>
#include <QString>

#include <optional>

class QSaveFile;

// Durable writes. Every file the program rewrites goes through saveFile (or, for writers that
// stream into their own temporary file, through flushToDisk and putInPlace): the bytes go to a
// temporary file, are flushed and forced to disk, the temporary file is renamed over the old one
// and the folder is forced to disk, so a crash or a full disk at any moment leaves the old file
// or the new one, never half of either. Failures have code IoError and "NAME: REASON" as detail,
// the reason being the file's errorString() or the system's message.
namespace store {

struct SaveOptions {
    // A fixed temporary file, in the target's folder or one on the same disk, for writers whose
    // temporary names are agreed on (DB/temp.HOST.tmp, shared by copies on several computers).
    // Empty: a fresh name beside the target, never used by anything else.
    QString tempPath;
    // The new file's permissions, set before any byte is written (ReadOwner | WriteOwner for
    // files that hold secrets). Unset: a replaced file keeps its own, a new one gets the default.
    std::optional<QFileDevice::Permissions> permissions = std::nullopt;
};

// Makes bytes the whole content of the file at path. On failure the old file is untouched and
// no temporary file is left.
//   saveFile(dir + "/Config.ini", bytes)                               a fresh temporary name
//   saveFile(dir + "/DB/20040908.KAV", bytes, {dir + "/DB/temp.pc.tmp"}) a fixed one
Result saveFile(const QString &path, QByteArrayView bytes, const SaveOptions &options = {});
// The same for a file written as pieces one after the other (runs of a file read before).
Result saveFile(const QString &path, const QList<QByteArrayView> &pieces,
                const SaveOptions &options = {});

// IoError with the file's name and errorString() as detail.
Result fileError(const QFileDevice &file);

// Flushes what file has buffered and forces it to the disk. The one place that asks the system
// for that (fsync, _commit on Windows).
Result flushToDisk(QFileDevice &file);

// Finishes a QSaveFile that a writer filled piece by piece: flushes it, forces it to disk and only
// then gives it the target's name. (QSaveFile::commit alone still renames when the last buffered
// write fails at close, on a full disk, which would put a cut file in place of the old one.) On
// failure the old file is untouched and the temporary file gone.
Result commitSaveFile(QSaveFile &file);

// Renames a temporary file that is written whole and forced to disk over path, in one step, and
// forces the folder to disk. On failure the temporary file is removed and path untouched.
Result putInPlace(const QString &tempPath, const QString &path);

// Forces the folder holding path to disk, so that a file just renamed into it (or removed from
// it) stays so after a power cut. Best effort: not every file system can sync a folder.
void syncFolderOf(const QString &path);

} // namespace store
