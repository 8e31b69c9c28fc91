#pragma once

#include "store/common/work.h"
#include "store/cipher/entrycipher.h"
#include "store/keep/backup.h"

#include <QString>
#include <QStringList>

#include <functional>

// After the diary's old locked entries are enciphered, the copies of their date files that
// backups and restores keep in Backup still hold the old password code (which gives the password
// away) and the words: they are enciphered the same way.
namespace keep {

struct Resealing {
    store::Result result;      // the first failure (its detail names the archive or file); the rest go on
    int archives = 0;   // backups rewritten
    int folders = 0;    // folders of set-aside files (a restore's) with date files rewritten
    int enciphered = 0; // entries enciphered in all of them
    int removed = 0;    // unfinished temporary backups removed
    QStringList otherLocks; // entries left locked with another password: "where: title"
};

// Told before each backup or folder how many are done and how many there are; false stops there.
using ResealProgress = work::Progress;

// Enciphers under password every entry locked with its old code in the date files ("DB/" and
// digits ".KAV") of every backup in Backup, and of every folder inside Backup that holds a DB
// folder (what a restore set aside). Each archive is rewritten as rewriteArchive does, each date
// file as the diary's own are; a backup's members otherwise stay byte for byte. Unfinished
// temporary backups ("." name ".part") hold the words in clear and are removed.
Resealing encipherLegacyCopies(const QString &programDir, const QString &password,
                               cipher::Limits limits = cipher::standardLimits(),
                               const ResealProgress &progress = {});

} // namespace keep
