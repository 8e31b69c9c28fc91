#include "ui/app/singlecopy.h"

#include "store/common/copylock.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

constexpr int kAnswerMs = 2000;

} // namespace

SingleCopy::SingleCopy(const QString &programDir, QObject *parent)
    : QObject(parent), m_name(copylock::name(programDir)), m_lockPath(copylock::path(programDir)),
      m_folderLockPath(copylock::fallbackPath(programDir)) {}

SingleCopy::~SingleCopy() {
    // The files stay: removing one could part a copy starting now from the lock it opened.
    release(m_lock);
    release(m_folderLock);
}

void SingleCopy::release(Held &held) {
#ifdef Q_OS_WIN
    if (held.handle) CloseHandle(held.handle);
    held.handle = nullptr;
#else
    if (held.fd >= 0) ::close(held.fd);
    held.fd = -1;
#endif
}

SingleCopy::Lock SingleCopy::takeLock(const QString &path, Held &held) {
#ifdef Q_OS_WIN
    HANDLE h =
        CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Lock::Unavailable;
    OVERLAPPED whole{};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        held.handle = h;
        return Lock::Taken;
    }
    const bool other = GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(h);
    return other ? Lock::HeldByAnother : Lock::Unavailable;
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return Lock::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        held.fd = fd;
        return Lock::Taken;
    }
    const bool other = errno == EWOULDBLOCK;
    ::close(fd);
    return other ? Lock::HeldByAnother : Lock::Unavailable;
#endif
}

bool SingleCopy::acquire() {
    Lock lock = takeLock(m_lockPath, m_lock);
    if (lock == Lock::HeldByAnother) return false;
    // Copies that share a temporary folder meet there; one that cannot use it meets the others of
    // its kind at a lock in the program folder.
    if (lock == Lock::Unavailable) lock = takeLock(m_folderLockPath, m_folderLock);
    if (lock == Lock::HeldByAnother) return false;
    if (lock == Lock::Taken) {
        // The lock proves that no copy is alive: a socket left by one that crashed can go.
        QLocalServer::removeServer(m_name);
        listen();
        return true;
    }
    // No lock can be taken at all: that is no proof of another copy. One that answers on the
    // socket is one; otherwise this copy runs.
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(kAnswerMs)) return false;
    listen();
    return true;
}

void SingleCopy::listen() {
    m_server = new QLocalServer(this);
    if (!m_server->listen(m_name)) return; // best effort: the copy runs without being called
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            s->disconnectFromServer();
            s->deleteLater();
            emit showRequested();
        }
    });
}

bool SingleCopy::tellRunningCopy() {
    QLocalSocket s;
    s.connectToServer(m_name);
    if (!s.waitForConnected(kAnswerMs)) return false;
    s.write("show\n");
    s.waitForBytesWritten(kAnswerMs);
    s.disconnectFromServer();
    return true;
}
