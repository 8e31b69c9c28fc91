#include "platform/textfile.h"

#include "platform/codepage.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

bool writeTextLineAtomically(const QString &path, const QString &text) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = cp936::encode(text) + "\r\n";
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        f.commit();
        return false;
    }
    return commitWhole(f);
}

bool commitWhole(QSaveFile &file) {
    if (!file.flush() || ::fsync(file.handle()) != 0) {
        file.cancelWriting();
        file.commit(); // removes the temporary file
        return false;
    }
    if (!file.commit()) return false;
    syncFolderOf(file.fileName());
    return true;
}

bool replaceThroughTemp(const QString &path, const QString &tempPath, const QByteArray &bytes) {
    QFile temp(tempPath);
    bool ok = temp.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
              temp.write(bytes) == bytes.size() && temp.flush() && ::fsync(temp.handle()) == 0;
    temp.close();
    ok = ok && temp.error() == QFileDevice::NoError;
    // The new file keeps the old one's permissions, as QSaveFile does.
    if (ok && QFileInfo::exists(path)) QFile::setPermissions(tempPath, QFile::permissions(path));
    if (!ok || std::rename(QFile::encodeName(tempPath).constData(),
                           QFile::encodeName(path).constData()) != 0) {
        QFile::remove(tempPath);
        return false;
    }
    syncFolderOf(path);
    return true;
}

void syncFolderOf(const QString &path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
