#pragma once

#include "store/keep/backup.h"

#include <QDate>
#include <QString>

#include <optional>

// Export of the diary for reading outside the program: every entry of a date range in date order
// under its date, weekday and title, then the collection.
//   html      index.html, pictures as files in images/ beside it
//   markdown  one file per year (2004.md …) and collection.md, pictures in images/
//   text      diary.txt, plain UTF-8, pictures left out
// A locked entry (any password line but BEL alone) gives its title and lockedBodyText(), never
// its body.
namespace keep {

enum class Format { Html, Markdown, Text };

// "html", "markdown" or "text".
std::optional<Format> formatNamed(const QString &name);

struct ExportOptions {
    Format format = Format::Html;
    QString outDir;
    QDate from; // null: from the first entry
    QDate to;   // null: to the last entry
};

// The file an export leaves in its folder to say that the folder is an export's.
QString exportMarkName();

// The line that stands for a locked entry's body.
QString lockedBodyText();

// Writes the export into options.outDir (created when missing; files of an earlier export there
// are replaced). BadInput, and nothing written, when the folder is the program folder or lies
// inside one of its data folders; NotEmpty, and nothing written, when it holds anything but an
// earlier export (which leaves exportMarkName() in it), so that no one's index.html, diary.txt
// or images are overwritten.
store::Result exportDiary(const QString &programDir, const ExportOptions &options);

} // namespace keep
