#pragma once

#include <QByteArray>
#include <QString>
#include <QTextFormat>

class QImage;
class QTextCursor;
class QTextDocument;

// Reading and writing RTF in the shape of the classic Windows rich-text control.
namespace rtf {

// The empty document of the diary's editor: 宋体, 9 points, one empty paragraph.
QString emptyDocument();

// Wraps text (already escaped for RTF) in the header and paragraph settings of the empty document.
QString documentWithBody(const QString &escapedBody);

// Escapes plain text for an RTF body as the writer writes it in the default font: ASCII
// literally with { } \ escaped, everything else as code-page-936 bytes written \'hh (\uN? for
// characters outside code page 936), tabs as \tab, line breaks as \par.
QString escapeText(const QString &text);

// True when data looks like RTF (optional white space, then "{\rtf").
bool looksLikeRtf(QByteArrayView data);

// Replaces doc's content with the document data holds. False (doc left empty) with a reason in
// *error when data is not RTF or cannot be read. Loading is not an undoable step.
bool read(QByteArrayView data, QTextDocument *doc, QString *error = nullptr);

// As read(), but a document that cannot be read leaves doc as it was.
bool load(QByteArrayView data, QTextDocument *doc, QString *error = nullptr);

// Inserts the document data holds at the cursor, as a paste does; pictures become resources of
// the cursor's document. False (nothing inserted) with a reason in *error when data is not RTF
// or cannot be read.
bool insert(QByteArrayView data, QTextCursor &cursor, QString *error = nullptr);

// The document as RTF. Pure printable ASCII with CR LF line breaks.
QByteArray write(const QTextDocument *doc);

// The text as the box shows it: paragraphs and line breaks as "\n", pictures left out.
QString plainText(const QTextDocument *doc);

// Inserts a picture at the cursor, stored as PNG (how it is written back).
void insertImage(QTextCursor &cursor, const QImage &image);

// Properties the reader leaves on formats for the writer.
enum Property {
    // int: the \fcharset of the character format's font.
    FontCharset = QTextFormat::UserProperty + 0x5254,
    // QByteArray: the picture's bytes as the document holds them (PNG, JPEG or a metafile).
    PictureData,
    // QString: the control word naming the picture's kind ("pngblip", "jpegblip", "emfblip",
    // "wmetafile8", ...).
    PictureKind,
    // int: \picw and \pich of the picture (pixels for bitmaps, the metafile's own units else).
    PictureWidth,
    PictureHeight,
};

} // namespace rtf
