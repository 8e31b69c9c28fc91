#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy of the diary per program folder. The first copy holds a lock for its whole
// life and listens on a local socket named from the program folder; a second start asks it
// through that socket to show its main window, then refuses to run.
//
// The lock is the system's own lock on a file in the temporary folder (copylock); a copy that
// cannot use its temporary folder takes one in the program folder instead, where another such
// copy meets it. Such a lock ends with the process however the process ends, so a
// copy that crashed leaves nothing that keeps the next start out.
class SingleCopy : public QObject {
    Q_OBJECT
public:
    explicit SingleCopy(const QString &programDir, QObject *parent = nullptr);
    ~SingleCopy() override;

    // True when this process may run: it took the lock, or no lock can be taken at all (a temporary
    // folder without write access) and no other copy answers on the socket. False only when
    // another copy of this program folder is running.
    bool acquire();
    // Asks the running copy to show its main window; false when none answered.
    bool tellRunningCopy();

signals:
    // A second start asked this copy to show its main window.
    void showRequested();

private:
    enum class Lock { Taken, HeldByAnother, Unavailable };
    struct Held {
#ifdef Q_OS_WIN
        void *handle = nullptr;
#else
        int fd = -1;
#endif
    };
    static Lock takeLock(const QString &path, Held &held);
    static void release(Held &held);
    void listen();

    QString m_name;
    QString m_lockPath;       // in the temporary folder
    QString m_folderLockPath; // in the program folder, when the temporary folder cannot be used
    Held m_lock;
    Held m_folderLock;
    QLocalServer *m_server = nullptr;
};
