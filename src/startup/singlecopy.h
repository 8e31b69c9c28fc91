#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

// One running copy of the diary per program folder. The first copy holds a lock for its whole
// life and listens on a local socket named from the program folder; a second start asks it
// through that socket to show its main window, then refuses to run.
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
    void listen();

    QString m_name;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
