#pragma once

#include <QString>
#include <QStringList>

// The collection: one file per item under \Love\, named by its title, no extension.
namespace mylove {

// A title that a file name on any system the diary is copied to can hold: not "." or "..", no
// \ / : * ? " < > | and no control characters. (An empty title is saved as "Null" before this.)
bool isValidTitle(const QString &title);

// The item names in folder, in the order the file system gives them; only regular files are
// items (sub-folders, pipes and the like are left out). A name that a new title could not have
// (copied in by hand, such as a:b) is still an item.
// The folder is created when missing.
QStringList itemNames(const QString &folder);

// Writes rich text and CR LF as one item, replacing an old item of that name atomically. The new
// file is made in the sub-folder .saving (which the list leaves out) and then moved in.
bool writeItem(const QString &path, const QString &richText);

} // namespace mylove
