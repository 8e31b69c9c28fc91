#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Looking for words that must not be on disk in clear.
namespace secrets {

// The forms a text takes in the program's files: code page 936, RTF escapes of it (\'d6\'d0),
// UTF-8 and UTF-16 (little-endian).
QList<QByteArray> forms(const QString &text);

// Every file under dir, and every file member of each zip archive under it, whose bytes hold one of
// needles: "relative/path" or "relative/archive.zip!member", each with the needle's index.
QStringList holding(const QString &dir, const QList<QByteArray> &needles);

} // namespace secrets
