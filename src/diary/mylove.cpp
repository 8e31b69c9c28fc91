#include "diary/mylove.h"

#include "platform/codepage.h"

#include <QDir>
#include <QSaveFile>

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
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = cp936::encode(richText) + "\r\n";
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        f.commit();
        return false;
    }
    return f.commit();
}

} // namespace mylove
