#include "diary/mylove.h"

#include "platform/textfile.h"

#include <QDir>

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
    return dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
}

bool writeItem(const QString &path, const QString &richText) {
    return writeTextLineAtomically(path, richText);
}

} // namespace mylove
