#pragma once

#include "store/common/work.h"
#include "store/cipher/entrycipher.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// Enciphering the entries that an older copy of the program locked with a password code.
namespace cipher {

struct Converted {
    Result result;
    QByteArray file;    // the date file with those entries enciphered, every other byte as it was
    int enciphered = 0; // how many
    QStringList otherLocks; // titles of the entries left locked the old way, with another password
};
// Enciphers, in the bytes of a date file, every entry whose password line is BEL and the password
// code of password (diary::PasswordCode), under that password: BEL "$q1$" and the sealed body take
// the place of the password line and the body lines. Entries without password, already
// enciphered or locked with another code stay as they are. An empty password enciphers nothing.
Converted encipherLegacyEntries(QByteArrayView file, const QString &password,
                                Limits limits = standardLimits());

struct Conversion {
    Result result;      // the first failure (its detail names the file); the other files are done
    int enciphered = 0; // entries enciphered in all files
    int files = 0;      // date files rewritten
    bool stopped = false; // asked to stop before the last date file
    // The entries left locked the old way, with another password: "file name: title".
    QStringList otherLocks;
};
// Told before each date file how many are done and how many there are in all; false stops the
// conversion there, the files not reached yet staying as they are.
using Progress = work::Progress;
// Does it for every date file (decimal digits and ".KAV" in any case) in the folder dbFolder. A
// file with something to encipher is written whole to tempPath, forced to disk and renamed over
// the date file, as a removal does: a crash leaves each date file old or new, never half of it.
Conversion encipherLegacyDiary(const QString &dbFolder, const QString &tempPath,
                               const QString &password, Limits limits = standardLimits(),
                               const Progress &progress = {});

} // namespace cipher
