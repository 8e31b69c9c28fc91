#include "store/common/textfile.h"

#include "store/common/codepage.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

using store::Code;
using store::Result;

namespace {

Result systemError(const QString &path) {
    return Result::failure(Code::IoError, path + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));
}

// Renames from over to, replacing a file there in one step.
bool renameOver(const QString &from, const QString &to) {
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()),
                       reinterpret_cast<const wchar_t *>(to.utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

} // namespace

Result fileError(const QFileDevice &file) {
    return Result::failure(Code::IoError, file.fileName() + u": "_qs + file.errorString());
}

Result writeTextLineAtomically(const QString &path, const QString &text) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return fileError(f);
    const QByteArray bytes = cp936::encode(text) + "\r\n";
    if (f.write(bytes) != bytes.size()) {
        const Result failed = fileError(f);
        f.cancelWriting();
        f.commit();
        return failed;
    }
    return commitWhole(f);
}

Result flushToDisk(QFileDevice &file) {
    if (!file.flush()) return fileError(file);
#ifdef Q_OS_WIN
    if (::_commit(file.handle()) != 0) return systemError(file.fileName());
#else
    if (::fsync(file.handle()) != 0) return systemError(file.fileName());
#endif
    return Result::success();
}

Result commitWhole(QSaveFile &file) {
    if (Result flushed = flushToDisk(file); !flushed) {
        file.cancelWriting();
        file.commit(); // removes the temporary file
        return flushed;
    }
    if (!file.commit()) return fileError(file);
    syncFolderOf(file.fileName());
    return Result::success();
}

Result replaceThroughTemp(const QString &path, const QString &tempPath, const QByteArray &bytes) {
    return replaceThroughTemp(path, tempPath, QList<QByteArrayView>{bytes});
}

Result replaceThroughTemp(const QString &path, const QString &tempPath, const QList<QByteArrayView> &pieces) {
    QFile temp(tempPath);
    Result result;
    bool written = temp.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (qsizetype i = 0; written && i < pieces.size(); ++i)
        written = temp.write(pieces[i].data(), pieces[i].size()) == pieces[i].size();
    if (!written)
        result = fileError(temp);
    else
        result = flushToDisk(temp);
    temp.close();
    if (result && temp.error() != QFileDevice::NoError) result = fileError(temp);
    // The new file keeps the old one's permissions, as QSaveFile does.
    if (result && QFileInfo::exists(path)) QFile::setPermissions(tempPath, QFile::permissions(path));
    if (result && !renameOver(tempPath, path)) result = systemError(path);
    if (!result) {
        QFile::remove(tempPath);
        return result;
    }
    syncFolderOf(path);
    return result;
}

void syncFolderOf(const QString &path) {
#ifdef Q_OS_WIN
    // A rename with MOVEFILE_WRITE_THROUGH is on disk when it returns; Windows cannot sync a folder.
    Q_UNUSED(path);
#else
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
#endif
}
