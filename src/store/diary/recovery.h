#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include "store/common/storeresult.h"

#include <optional>

// The draft of an open edit, kept in Recovery\draft-HOST.rtf in the program folder while the edit holds
// changes, so that a crash, a kill or a power cut costs no more than a few seconds of typing.
// The file is a small header, an empty line and the rich text:
//   QCDRAFT 1
//   kind entry            entry (a new entry of the date), home (the home page) or collection
//   date 2004-09-08       the entry's date (entries only)
//   title %E6%99%B4       the title box, UTF-8, percent-encoded so that it stays one line
//
//   {\rtf1 ...            the editor's rich text, UTF-8, to the end of the file
// An entry that is to be locked by a password is never kept in a draft.
namespace recovery {

enum class Kind { Entry, HomePage, CollectionItem };

struct Draft {
    Kind kind = Kind::Entry;
    QDate date;       // the new entry's date; unused for the other kinds
    QString title;
    QString richText;
    bool operator==(const Draft &) const = default;
};

QByteArray toBytes(const Draft &draft);
// Nothing when the bytes are no draft (another header, a missing or unknown field, a bad date).
std::optional<Draft> fromBytes(QByteArrayView bytes);

// programDir/Recovery/draft-HOST.rtf: each computer that shares the folder keeps its own draft.
// A draft.rtf left by an older copy is still loaded and discarded.
QString draftPath(const QString &programDir);
// Writes the draft atomically and forces it to disk; on failure an older draft, if any, is still
// whole.
store::Result save(const QString &programDir, const Draft &draft);
// The draft left in programDir, if there is a readable one.
std::optional<Draft> load(const QString &programDir);
// Removes the draft; true when none is left.
bool discard(const QString &programDir);

} // namespace recovery
