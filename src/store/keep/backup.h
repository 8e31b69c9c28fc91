#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Backups of everything the diary keeps, as zip archives in the folder Backup of the program
// folder, and their restore. Members are named relative to the program folder ("DB/20040908.KAV",
// "Config.ini"), so any unzip tool run in the program folder puts them back.
namespace keep {

// What a backup, restore or export came to. The window picks the words from the code; detail
// says what failed (a file's errorString(), libarchive's message, a member's name).
struct Result {
    enum Code {
        Ok,
        NotDue,   // a backup of that day exists already; nothing was written
        IoError,  // a file or folder could not be read or written (full disk, no permission)
        Damaged,  // an archive does not read back whole or holds a member it must not
        BadInput, // wrong use: an output folder inside the diary's data, a missing archive
    };
    Code code = Ok;
    QString detail;
    QString path; // the archive written, the folder the old files went to, the export folder

    bool ok() const { return code == Ok; }
};

// How many backups rotation keeps: the newest of each of the last `daily` days that have one,
// and the newest of each of the last `weekly` weeks (Monday to Sunday) that have one.
struct Rotation {
    int daily = 7;
    int weekly = 8;
};

// The counts of section [Backup] of Config.ini (keys Daily and Weekly, whole numbers from 0);
// a missing file, section, key or a value that is no such number keeps the default.
Rotation readRotation(const QString &programDir);

// The top-level names a backup holds, as found in programDir (DB and Love matched without regard
// to case, the home page as Config.ini names it); only those that exist.
QStringList keptNames(const QString &programDir);

struct BackupFile {
    QString path;
    QDateTime time; // from the name: diary-yyyyMMdd-HHmmss.zip
};

// The finished backups in Backup, newest first. Temporary files and other names are left out.
QList<BackupFile> listBackups(const QString &programDir);

// Writes a backup named by `now` into Backup: under a temporary name, read back with every
// member's CRC and name compared with what was written, forced to disk, renamed; only then are
// old backups rotated out. A failure removes the temporary file and leaves every earlier backup.
Result makeBackup(const QString &programDir, const QDateTime &now, const Rotation &rotation);

// The start-of-day backup: NotDue when a backup of now's date exists; otherwise makeBackup with
// the counts of Config.ini.
Result backupIfDue(const QString &programDir, const QDateTime &now);

// Removes the backups that rotation does not keep; the newest is always kept. Returns the paths
// removed.
QStringList rotate(const QString &programDir, const Rotation &rotation);

// Checks that the archive reads back whole: every member's data matches its CRC, every name is
// a relative path of the kept names (no "..", no absolute path). Returns the member names.
Result verifyArchive(const QString &archivePath, QStringList *members = nullptr);

// Restores a backup: the archive is checked and unpacked into a folder of its own inside Backup;
// then the current kept files move into Backup/before-restore-yyyyMMdd-HHmmss (result.path) and
// the unpacked ones take their places. Nothing is deleted; a failure before the move leaves the
// diary as it was, and a failure after it moves the old files back.
Result restoreBackup(const QString &programDir, const QString &archivePath, const QDateTime &now);

// Told each file member's name and bytes; returns the bytes that take their place, or nothing to
// keep them.
using MemberChange =
    std::function<std::optional<QByteArray>(const QString &name, const QByteArray &data)>;

// Rewrites an archive with the members that change gives new bytes: the new archive is written
// under a temporary name beside it, read back whole, forced to disk and renamed over it, as a
// backup is written. An archive with nothing to change, or that fails (it is then named in the
// result), stays as it was. changed gets how many members changed.
Result rewriteArchive(const QString &archivePath, const MemberChange &change,
                      int *changed = nullptr);

} // namespace keep
