#pragma once

#include "store/common/storeresult.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// Enciphering of locked diary entries, with libsodium.
//
// A locked entry keeps the lines of every date-file record (key, title, password line, body,
// terminator), so every reader still lists it, but:
//   password line  BEL "$q1$"   no password code can look like it (codes are digits and "-")
//   body           one RTF document in the editor's header and paragraph settings whose text is
//                  the sealed record in base64, in lines of 76 characters:
//                    {\rtf1\ansi\ansicpg936...}
//                    \viewkind4\uc1\pard\lang2052\f0\fs18 AQIAAABAAAA...
//                    ...\par
//                    }
// The sealed record, before base64 (numbers little-endian):
//   offset  size
//   0       1     format, 1
//   1       4     Argon2id operations
//   5       4     Argon2id memory in KiB
//   9       16    salt, random per entry
//   25      24    nonce, random per entry
//   49      16    password check: the last 16 of the 48 bytes Argon2id derives, the first 32 being
//                 the key; it tells a wrong password from a damaged record
//   65      n+16  the plaintext sealed with XChaCha20-Poly1305 (IETF); additional data: the entry
//                 key in decimal, LF, and the title line's bytes, so that a body moved into another
//                 record does not open
//   81+n    16    BLAKE2b-128 of everything before it: damage (a flipped byte in the salt as much as
//                 in the ciphertext) shows without the password
// The plaintext is the entry's rich text in code page 936, as an unlocked entry's body holds it.
namespace cipher {

// Results are the store's: Ok, WrongPassword (the record is whole and the password is not its own),
// Damaged (the record is not one we wrote, or was changed since; the detail says what and where),
// Unavailable (libsodium cannot start, or has not the memory Argon2id needs).
using Result = store::Result;
using Code = store::Code;

// Argon2id cost. standardLimits() is what new entries get: libsodium's interactive limits (2
// passes over 64 MiB), about a quarter of a second here, which keeps opening an entry well under
// half a second while costing a guesser as much per try. Records carry their own limits, read
// from libsodium's minimum up to these (a record asking more is damaged).
struct Limits {
    quint32 ops = 0;
    quint32 memKiB = 0;
};
Limits standardLimits();

// Starts libsodium once for the process; false when it cannot run.
bool init();

// BEL and the marker: the password line of an enciphered entry.
QByteArray encipheredPasswordLine();
// True for a password line of a sealed record of any format: BEL then "$". Only "$q1$" is read;
// any other such line is a damaged record (no legacy code begins with "$").
bool isSealedLine(QByteArrayView passwordLine);

// The parts of a sealed body, as read before any key is derived.
struct Sealed {
    Limits limits;
    QByteArray salt, nonce, check, cipher, checksum;
};

struct Parsed {
    std::optional<Sealed> sealed;
    qsizetype offset = -1; // where the body stopped being a sealed record, when it is not one
    QString error;
};

// Reads a body (its lines joined by CR LF, as the date file holds them). Checks the form and
// bounds of everything, not the checksum.
Parsed parseBody(QByteArrayView body);
// The body of a sealed record: the inverse of parseBody.
QByteArray writeBody(const Sealed &sealed);

struct Sealing {
    Result result;
    QByteArray body; // the body lines, joined by CR LF
};
// Seals plain for the entry with that key and title (the title line's bytes) under password.
Sealing seal(QByteArrayView plain, qint32 key, QByteArrayView title, const QString &password,
             Limits limits = standardLimits());

// An enciphered entry as a date file holds it.
struct Record {
    qint32 key = 0;
    QByteArrayView title;        // the title line's bytes
    QByteArrayView passwordLine; // BEL "$q1$"; another sealed line is a format we cannot read
    QByteArrayView body;         // the body lines joined by CR LF
};

struct Opening {
    Result result;
    QByteArray plain; // when ok; the caller wipes it once used
};
// Damaged without deriving a key when the record is not of our format or its checksum is off;
// WrongPassword when the check differs; Damaged when the check fits but the seal does not open
// (the body, its key or its title changed).
Opening open(const Record &record, const QString &password);

// Whether password is the record's own, proven by the check alone: a record whose ciphertext is
// damaged can still be removed by its owner. Damaged when the check cannot be made, or differs
// while the checksum is off too.
Result checkPassword(const Record &record, const QString &password);

// Overwrites the bytes of a buffer or string that held a password or plaintext (a string shared
// with another is copied first: only this copy is wiped).
void wipe(QByteArray &bytes);
void wipe(QString &text);

} // namespace cipher
