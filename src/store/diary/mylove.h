#pragma once

#include "store/common/storeresult.h"

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

// Writes rich text and CR LF as one item, replacing an old item of that name atomically, and
// creates the collection's folder when missing. The new file is made in the sub-folder .saving
// (which the list leaves out) and then moved in. IoError when it could not be written.
store::Result writeItem(const QString &path, const QString &richText);

// Removes the item at path. NotFound when there is no such file (nothing is removed: a folder or
// anything else of that name is no item); IoError when it could not be removed.
store::Result removeItem(const QString &path);

} // namespace mylove
