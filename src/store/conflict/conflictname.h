#pragma once

#include <QDate>
#include <QString>

#include <optional>

// The names folder-sync tools give the second version of a file that two computers changed
// before they met. The tools never merge; they keep one version under the name and this one
// beside it, and tell nobody.
namespace conflict {

enum class Tool { Syncthing, Nextcloud, OwnCloud, Dropbox };

struct CopyName {
    QString original; // the file name the copy belongs to, in the same folder
    Tool tool = Tool::Syncthing;
    QDate date; // the day the tool made the copy, as the name says
};

// Reads a file name (no folder) as a conflict copy:
//   Syncthing  NAME.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.EXT   (DEVICE: seven characters of the id)
//   Nextcloud  NAME (conflicted copy [USER ]YYYY-MM-DD HHMMSS).EXT
//   ownCloud   NAME_conflict-YYYYMMDD-HHMMSS.EXT
//   Dropbox    NAME (HOST's conflicted copy YYYY-MM-DD[ (N)]).EXT
// where .EXT is the original's extension, if any. A name whose date or time is no real date or
// time, or whose marker is only similar, is no copy.
std::optional<CopyName> parseCopyName(const QString &fileName);

} // namespace conflict
