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
    : QObject(parent), m_name(copylock::name(programDir)), m_lockPath(copylock::path(programDir)) {}

SingleCopy::~SingleCopy() {
    // The file stays: removing it could part a copy starting now from the lock it opened.
#ifdef Q_OS_WIN
    if (m_lockHandle) CloseHandle(m_lockHandle);
#else
    if (m_lockFd >= 0) ::close(m_lockFd);
#endif
}

SingleCopy::Lock SingleCopy::takeLock() {
#ifdef Q_OS_WIN
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(m_lockPath.utf16()), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Lock::Unavailable;
    OVERLAPPED whole{};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        m_lockHandle = h;
        return Lock::Taken;
    }
    const bool held = GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(h);
    return held ? Lock::HeldByAnother : Lock::Unavailable;
#else
    const int fd = ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return Lock::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_lockFd = fd;
        return Lock::Taken;
    }
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held ? Lock::HeldByAnother : Lock::Unavailable;
#endif
}

bool SingleCopy::acquire() {
    const Lock lock = takeLock();
    if (lock == Lock::Taken) {
        // The lock proves that no copy is alive: a socket left by one that crashed can go.
        QLocalServer::removeServer(m_name);
        listen();
        return true;
    }
    if (lock == Lock::HeldByAnother) return false;
    // The lock cannot be taken at all: that is no proof of another copy. One that answers on
    // the socket is one; otherwise this copy runs.
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
