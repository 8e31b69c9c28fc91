#include "ui/diary/syncwatcher.h"

#include "store/sync/merge.h"
#include "ui/app/app.h"
#include "ui/diary/index.h"
#include "ui/diary/synctext.h"

#include <QFileInfo>

SyncWatcher::SyncWatcher(App &app, Index &index) : QObject(&index), m_app(app), m_index(index) {
    setObjectName(u"syncWatcher"_qs);
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    m_rescan.setInterval(kRescanMs);
    connect(&m_settle, &QTimer::timeout, this, &SyncWatcher::scan);
    connect(&m_rescan, &QTimer::timeout, this, &SyncWatcher::scan);
    auto settle = [this] { m_settle.start(); };
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, settle);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, settle);
    // Copies of what the edit writes waited for it.
    connect(&index, &Index::editEnded, this, settle);
    watchFolders();
    m_rescan.start();
}

void SyncWatcher::watchFolders() {
    QStringList dirs{m_app.programDir()};
    for (const QString &name : {u"DB"_qs, u"Love"_qs, u"UserInfo"_qs})
        if (QFileInfo(m_app.path(name)).isDir()) dirs << m_app.path(name);
    // A file replaced by a rename drops out of a watch; the folders' watches see the rename.
    const QStringList watched = m_watcher.directories();
    for (const QString &d : dirs)
        if (!watched.contains(d)) m_watcher.addPath(d);
}

void SyncWatcher::scan() {
    QString home = m_app.settings().FirstPage;
    if (home.isEmpty()) home = u"index.KAV"_qs;
    const conflict::Report report = conflict::mergeAll(m_app.folder(), home, m_index.busyFiles());
    if (!report.empty()) m_index.showStatus(syncStatusText(report));
    m_index.diskChanged();
    watchFolders();
}
