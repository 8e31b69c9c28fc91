#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy of the diary per program folder. The first copy holds a lock for its whole
// life and listens on a local socket named from the program folder; a second start asks it
// through that socket to show its main window, then refuses to run.
//
// The lock is the system's own lock on a file in the temporary folder: it ends with the process
// however the process ends, so a copy that crashed leaves nothing that keeps the next start out,
// and taking it writes nothing to the disk.
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
    Lock takeLock();
    void listen();

    QString m_name;
    QString m_lockPath;
#ifdef Q_OS_WIN
    void *m_lockHandle = nullptr;
#else
    int m_lockFd = -1;
#endif
    QLocalServer *m_server = nullptr;
};
