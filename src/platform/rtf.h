#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

// Reading and writing RTF in the shape of the classic Windows rich-text control.
namespace rtf {

// The empty document of the diary's editor: 宋体, 9 points, one empty paragraph.
QString emptyDocument();

// Wraps text (already escaped for RTF) in the header and paragraph settings of the empty document.
QString documentWithBody(const QString &escapedBody);

// Escapes plain text for an RTF body: ASCII literally with { } \ escaped, everything else as
// code-page-936 bytes written \'hh.
QString escapeText(const QString &text);

// True when data looks like RTF (optional white space, then "{\rtf").
bool looksLikeRtf(QByteArrayView data);

// Replaces doc's content with the document data holds. False (doc left empty) with a reason in
// *error when data is not RTF or cannot be read.
bool read(QByteArrayView data, QTextDocument *doc, QString *error = nullptr);

// The document as RTF. Pure ASCII.
QByteArray write(const QTextDocument *doc);

} // namespace rtf
