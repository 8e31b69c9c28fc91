#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// The plain text of an entry's RTF, for search: what the editor shows, without building a
// document for it.
namespace find {

// The text the editor shows for these bytes (a date file's body or a collection item): paragraphs
// and line breaks as "\n", non-breaking spaces as blanks, pictures left out, exactly as
// rtf::plainText of the document rtf::read makes. Bytes that are not RTF, or RTF that cannot be
// read, show as they are, as the editor shows them. The fast path reads the diary's own RTF and
// simple RTF of other programs; anything else goes through the full reader.
QString plainText(QByteArrayView rtf);

// The fast path alone: nothing when the input holds a construct it leaves to the full reader
// (tables, fields, hidden text, Unicode alternatives, words it does not know, ...).
std::optional<QString> fastPlainText(QByteArrayView rtf);

} // namespace find
