#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

class App;
class Index;

// Keeps the main window in step with a diary folder that a sync tool shares with other computers:
// merges the conflict copies the tool leaves (store/sync/merge.h) at start, whenever a file of
// DB/, Love/ or the program folder appears or changes, and on a slow rescan (watchers miss events
// on some file systems and in sync folders), and has the window list what is on disk now.
class SyncWatcher : public QObject {
    Q_OBJECT
public:
    SyncWatcher(App &app, Index &index);

    // Time a burst of changes is given to settle before one merge runs.
    static constexpr int kSettleMs = 300;
    // The slow rescan.
    static constexpr int kRescanMs = 60 * 1000;

    // Merges now, and says in the status line what was merged.
    void scan();

private:
    void watchFolders();

    App &m_app;
    Index &m_index;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QTimer m_rescan;
};
