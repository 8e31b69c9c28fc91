#pragma once

#include "store/common/programfolder.h"
#include "store/settings/settings.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>

// Keeps the main window in step with a diary folder that a sync tool shares with other computers:
// merges the conflict copies the tool leaves (store/conflict/merge.h) at start, whenever a file of
// DB/, Love/ or the program folder appears or changes, and on a slow rescan (watchers miss events
// on some file systems and in sync folders), and says so, so that the window lists what is on
// disk now. busyFiles names the files an open edit will write: their copies wait for it.
class SyncWatcher : public QObject {
    Q_OBJECT
public:
    SyncWatcher(const ProgramFolder &folder, const Settings &settings,
                std::function<QSet<QString>()> busyFiles, QObject *parent = nullptr);

    // Time a burst of changes is given to settle before one merge runs.
    static constexpr int kSettleMs = 300;
    // The slow rescan.
    static constexpr int kRescanMs = 60 * 1000;

    // Merges now, and says what was merged.
    void scan();
    // Something changed (an edit ended, whose files' copies waited): a merge runs once it settles.
    void settle() { m_settle.start(); }

signals:
    // What the merge did, for the status line.
    void merged(const QString &status);
    // A merge ran: the files on disk may differ from what the window lists.
    void diskChanged();

private:
    void watchFolders();

    const ProgramFolder &m_folder;
    const Settings &m_settings;
    std::function<QSet<QString>()> m_busyFiles;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QTimer m_rescan;
};
