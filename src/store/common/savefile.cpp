#include "store/common/savefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif
#ifdef Q_OS_UNIX
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace store {

namespace {

Result systemError(const QString &path) {
    return Result::failure(Code::IoError,
                           path + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));
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

// Writes every piece into file; false at the first that does not go whole.
bool writePieces(QFileDevice &file, const QList<QByteArrayView> &pieces) {
    for (const QByteArrayView piece : pieces)
        if (file.write(piece.data(), piece.size()) != piece.size()) return false;
    return true;
}

Result saveThroughFixedTemp(const QString &path, const QList<QByteArrayView> &pieces,
                            const SaveOptions &options) {
    const QString &tempPath = options.tempPath;
    QFile temp(tempPath);
    Result result;
    if (!temp.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        result = fileError(temp);
    } else {
        // The permissions come before the bytes: a secret is never readable by others, not even
        // for a moment. Without options, the new file keeps the old one's, as QSaveFile does.
        if (options.permissions)
            temp.setPermissions(*options.permissions);
        else if (QFileInfo::exists(path))
            temp.setPermissions(QFile::permissions(path));
        if (!writePieces(temp, pieces))
            result = fileError(temp);
        else
            result = flushToDisk(temp);
        temp.close();
        if (result && temp.error() != QFileDevice::NoError) result = fileError(temp);
    }
    if (!result) {
        QFile::remove(tempPath);
        return result;
    }
    return putInPlace(tempPath, path);
}

} // namespace

Result saveFile(const QString &path, QByteArrayView bytes, const SaveOptions &options) {
    return saveFile(path, QList<QByteArrayView>{bytes}, options);
}

Result saveFile(const QString &path, const QList<QByteArrayView> &pieces,
                const SaveOptions &options) {
    if (!options.tempPath.isEmpty()) return saveThroughFixedTemp(path, pieces, options);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return fileError(f);
    if (options.permissions) f.setPermissions(*options.permissions);
    if (!writePieces(f, pieces)) {
        const Result failed = fileError(f);
        f.cancelWriting();
        f.commit(); // removes the temporary file
        return failed;
    }
    return commitSaveFile(f);
}

Result fileError(const QFileDevice &file) {
    return Result::failure(Code::IoError, file.fileName() + u": "_qs + file.errorString());
}

Result flushToDisk(QFileDevice &file) {
    if (!file.flush()) return fileError(file);
#ifdef Q_OS_WIN
    if (::_commit(file.handle()) != 0) return systemError(file.fileName());
#endif
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) return systemError(file.fileName());
#endif
    return Result::success();
}

Result commitSaveFile(QSaveFile &file) {
    if (Result flushed = flushToDisk(file); !flushed) {
        file.cancelWriting();
        file.commit(); // removes the temporary file
        return flushed;
    }
    if (!file.commit()) return fileError(file);
    syncFolderOf(file.fileName());
    return Result::success();
}

Result putInPlace(const QString &tempPath, const QString &path) {
    if (!renameOver(tempPath, path)) {
        const Result failed = systemError(path);
        QFile::remove(tempPath);
        return failed;
    }
    syncFolderOf(path);
    return Result::success();
}

void syncFolderOf(const QString &path) {
#ifdef Q_OS_UNIX
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
#else
    // A rename with MOVEFILE_WRITE_THROUGH is on disk when it returns; Windows cannot sync a
    // folder.
    Q_UNUSED(path);
#endif
}

} // namespace store
