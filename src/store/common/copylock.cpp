#include "store/common/copylock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace copylock {

QString name(const QString &programDir) {
    const QByteArray id = QCryptographicHash::hash(QDir(programDir).canonicalPath().toUtf8(),
                                                   QCryptographicHash::Sha1)
                              .toHex()
                              .left(16);
    return u"qingchuang-"_qs + QString::fromLatin1(id);
}

QString path(const QString &programDir) {
    return QDir::tempPath() + u'/' + name(programDir) + u".lock"_qs;
}

QString fallbackPath(const QString &programDir) {
    return programDir + u"/.qingchuang.lock"_qs;
}

namespace {

bool heldAt(const QString &lock) {
    if (!QFile::exists(lock)) return false;
#ifdef Q_OS_WIN
    HANDLE h =
        CreateFileW(reinterpret_cast<const wchar_t *>(lock.utf16()), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    OVERLAPPED whole{};
    const bool taken =
        LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole);
    const bool isHeld = !taken && GetLastError() == ERROR_LOCK_VIOLATION;
    if (taken) UnlockFileEx(h, 0, 1, 0, &whole);
    CloseHandle(h);
    return isHeld;
#else
    const int fd = ::open(QFile::encodeName(lock).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool isHeld = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // closing lets go of a lock taken here
    return isHeld;
#endif
}

} // namespace

bool held(const QString &programDir) {
    return heldAt(path(programDir)) || heldAt(fallbackPath(programDir));
}

} // namespace copylock
