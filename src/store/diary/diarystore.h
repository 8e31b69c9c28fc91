#pragma once

#include "store/cipher/entrycipher.h"
#include "store/common/storeresult.h"

#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// The date files of the diary. An entry is these lines, each ending CR LF, in code page 936:
//   DEL key            the entry key in decimal
//   title              characters outside code page 936 as GB18030 four-byte sequences
//   BEL password-code  BEL alone when the entry has no password; BEL "$q1$" when the body is
//                      enciphered (crypt/entrycipher.h)
//   body lines         the entry's RTF
//   " " DEL            the terminator
// Lines between a terminator and the next key line are ignored by every reader.
namespace diary {

inline constexpr QChar kDel = QChar(0x7f);
inline constexpr QChar kBel = QChar(0x07);

// Year without leading zeros, two-digit month, two-digit day: 20040908, 9990101.
QString DateKey(const QDate &date);

// The characters' code-page-936 codes as signed 16-bit numbers, written one after another:
// "abc" gives 979899, 中 gives -10544; a character outside the code page counts as "?".
QString PasswordCode(const QString &password);

// The title line's bytes and back: code page 936, and a character the code page cannot hold as
// its GB18030 four-byte sequence (see cp936::encodeLossless), so that no title loses a character.
QByteArray encodeTitle(const QString &title);
QString decodeTitle(QByteArrayView line);

// One listed entry. Where an old file holds several entries with the same key, occurrence tells
// which of them (0 for the first) this one is.
struct EntryItem {
    QString title;
    qint32 key = 0;
    int occurrence = 0;
};

struct Listing {
    QList<EntryItem> items; // the entries read, in file order
    // IoError (with the file's errorString()) when the file could not be read, Damaged (with the
    // path) when it is damaged at some point.
    store::Result result;
};

// Lists the entries of a date file. A damaged file yields the entries before the damage.
Listing ListEntries(const QString &path);

// One entry as its bytes stand in a date file, for readers that look into every entry at once.
struct EntryRecord {
    qint32 key = 0;
    int occurrence = 0;
    QByteArrayView title;        // code page 936
    bool complete = false;       // false: the file ends after the title (the entry cannot be opened)
    QByteArrayView passwordLine; // BEL and the password code; BEL alone when the entry has no password
    QByteArrayView body;         // the body lines with their line breaks as written, up to the terminator
};

// The entries of a date file's bytes, in file order, as ListEntries lists them (the same items in
// the same order). *ok is false when the file is damaged at some point; the entries before stay.
QList<EntryRecord> readRecords(QByteArrayView data, bool *ok = nullptr);

// The entry with that key (its occurrence-th one) for the given password.
struct Content {
    bool found = false;  // the key (and occurrence) is in the file and the file could be read
    bool PassOK = false; // the password matched, or the entry has none
    bool locked = false; // the entry has a password (an old code or a sealed record)
    QString body;        // the RTF when PassOK, else empty
    store::Result result; // Ok, WrongPassword, or for an enciphered entry that cannot be opened
                          // Damaged (or Unavailable) with an empty body
};
Content readEntry(const QString &path, qint32 key, int occurrence, const QString &password);

// One new entry, built exactly as it is appended to a date file.
QByteArray entryBytes(qint32 key, const QString &title, const QString &passwordCode, const QString &body);

// A title as one line of a date file: each line break (CR LF, CR or LF) becomes a blank.
QString oneLine(const QString &title);

// How a new entry is locked. An empty password leaves it open. Otherwise its body is enciphered
// under the password, or, with enciphered false, it is locked the old way: the password code
// beside a readable body, for a diary folder shared with older copies.
struct Lock {
    QString password;
    bool enciphered = true;
};

// Appends a new entry to the date file at path, creating it when missing. Its key is drawn with
// drawKey (0 to 999,999) until it is no key of the file; *key receives it. The file is written
// anew beside the old one and renamed over it, so the old entries stay whole whatever happens.
// Damaged when path is there but is no regular file; IoError when it cannot be read or written;
// Unavailable when the body cannot be enciphered (no memory for the key derivation).
store::Result appendEntry(const QString &path, const QString &title, const Lock &lock,
                          const QString &body, const std::function<qint64()> &drawKey,
                          qint32 *key = nullptr);

// Removes the entry (the occurrence-th with that key) when the password is right, through
// tempPath (\DB\temp-HOST.tmp) renamed over the date file, then removes a date file left without
// entries. NotFound: no such file or entry; Damaged: the entry is cut short before its password
// line, or it is enciphered and its password cannot be checked; WrongPassword; IoError: reading
// or replacing failed. The file is untouched on failure.
store::Result removeEntry(const QString &path, const QString &tempPath, qint32 key, int occurrence,
                          const QString &password);

// Where one entry lies in a date file split into lines (splitLines): its key line, then title and
// password line, then body lines up to end, which is its terminator line when terminated, else
// the next key line or the end of the lines (a terminator lost to damage).
struct EntryLines {
    qint32 key = 0;
    qsizetype keyLine = 0;
    qsizetype end = 0;
    bool terminated = false;
};
// The entries that have a password line, in file order, found as the listing finds them.
QList<EntryLines> entryLines(const QList<QByteArrayView> &lines);

} // namespace diary
