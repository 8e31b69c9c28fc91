#pragma once

#include "store/common/storeresult.h"

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
// Backup, restore and export return a store::Result: IoError when a file or folder could not be
// read or written, Damaged when an archive does not read back whole or holds a member it must
// not, BadInput for wrong use (a missing archive), NotDue when a backup of the day exists
// already; detail says what failed (a file's errorString(), libarchive's message, a member's
// name) and path what was made (the archive, the folder the old files went to).
namespace keep {

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
store::Result makeBackup(const QString &programDir, const QDateTime &now, const Rotation &rotation);

// The start-of-day backup: NotDue when a backup of now's date exists; otherwise makeBackup with
// the counts of Config.ini.
store::Result backupIfDue(const QString &programDir, const QDateTime &now);

// Removes the backups that rotation does not keep. Only backups this program wrote and read back
// count (their names are listed in Backup/.written-backups); a file that merely looks like one is
// never removed and never takes a place. The newest listed backup and justMade are always kept.
// Returns the paths removed.
QStringList rotate(const QString &programDir, const Rotation &rotation,
                   const QString &justMade = QString());

// Bounds on what unpacking an archive may cost, so that a hostile or broken archive (a zip bomb)
// stops before it fills the disk or the memory. Sizes are of the unpacked data.
struct Limits {
    qint64 memberSize = qint64(512) << 20;
    qint64 totalSize = qint64(2) << 30;
    // Unpacked to packed, for members above a mebibyte: text and pictures pack far less tightly.
    int ratio = 200;
    int members = 200000;
    // Left free on the disk after unpacking.
    qint64 reserve = qint64(64) << 20;
};

// Checks that the archive reads back whole: every member's data matches its CRC, every name is
// one a backup writes (Config.ini, Message.txt, the folders DB, Love, UserInfo and LogFile, one
// home page), each once, regular files and folders only. Returns the member names.
store::Result verifyArchive(const QString &archivePath, QStringList *members = nullptr);

// Restores a backup: the archive is checked and unpacked into a folder of its own inside Backup;
// then the current kept files move into Backup/before-restore-yyyyMMdd-HHmmss (result.path) and
// the unpacked ones take their places. Nothing is deleted. The moves are journaled (the journal
// lies in Backup before the first move): a failure rolls them back, and if the process dies part
// way, recoverRestore at the next start finishes or rolls back, so that the program folder holds
// either all the old files or all the restored ones.
store::Result restoreBackup(const QString &programDir, const QString &archivePath, const QDateTime &now,
                     const Limits &limits = {});

// What recoverRestore found.
struct Recovery {
    enum What {
        Nothing,    // no restore was under way
        Finished,   // every restored file was in place; the restore is complete
        RolledBack, // the old files are back in place
        Failed,     // a file could not be moved back; the journal stays for the next start
    };
    What what = Nothing;
    QString detail;
};

// Completes a restore that a killed process left half done: finishes it when every restored file
// had been put in place, otherwise moves the old files back. Removes what an unfinished restore
// or backup left in Backup (unpacking folders, temporary files). Run at every start before
// anything reads or creates the diary's files, and only by the one running copy.
Recovery recoverRestore(const QString &programDir);

// Told each file member's name and bytes; returns the bytes that take their place, or nothing to
// keep them.
using MemberChange =
    std::function<std::optional<QByteArray>(const QString &name, const QByteArray &data)>;

// Rewrites an archive with the members that change gives new bytes: the new archive is written
// under a temporary name beside it, read back whole, forced to disk and renamed over it, as a
// backup is written. An archive with nothing to change, or that fails (it is then named in the
// result), stays as it was. changed gets how many members changed.
store::Result rewriteArchive(const QString &archivePath, const MemberChange &change,
                      int *changed = nullptr);

} // namespace keep
