#include "store/diary/mylove.h"

#include "store/common/codepage.h"
#include "store/common/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mylove {

bool isValidTitle(const QString &title) {
    if (title.isEmpty() || title == u"." || title == u"..") return false;
    for (QChar c : title) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
        if (QStringView(u"\\/:*?\"<>|").contains(c)) return false;
    }
    return true;
}

QStringList itemNames(const QString &folder) {
    QDir dir(folder);
    if (!dir.exists()) QDir().mkpath(folder);
    // Only regular files are items: folders, pipes, sockets and devices are not listed.
    QStringList names;
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted))
        if (info.isFile()) names << info.fileName();
    return names;
}

store::Result writeItem(const QString &path, const QString &richText) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder)) QDir().mkpath(folder);
    // Every file in the folder is an item, so the new file is written in a sub-folder, which the
    // list leaves out, and moved in whole: a crash never leaves a half-written or stray item.
    const QString temporaryFolder = folder + u"/.saving"_qs;
    if (!QFileInfo(temporaryFolder).isDir() && !QDir(folder).mkdir(u".saving"_qs))
        return store::writeTextLineAtomically(path, richText);
    return store::saveFile(path, cp936::encode(richText) + "\r\n",
                           {temporaryFolder + u"/item.tmp"_qs});
}

store::Result removeItem(const QString &path) {
    if (!QFileInfo(path).isFile()) return store::Result::failure(store::Code::NotFound, path);
    QFile file(path);
    if (!file.remove()) return store::fileError(file);
    return store::Result::success();
}

} // namespace mylove
