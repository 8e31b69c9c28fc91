#include "ui/diary/syncwatcher.h"

#include "store/conflict/merge.h"
#include "ui/diary/synctext.h"

#include <QFileInfo>

SyncWatcher::SyncWatcher(const ProgramFolder &folder, const Settings &settings,
                         std::function<QSet<QString>()> busyFiles, QObject *parent)
    : QObject(parent), m_folder(folder), m_settings(settings), m_busyFiles(std::move(busyFiles)) {
    setObjectName(u"syncWatcher"_qs);
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    m_rescan.setInterval(kRescanMs);
    connect(&m_settle, &QTimer::timeout, this, &SyncWatcher::scan);
    connect(&m_rescan, &QTimer::timeout, this, &SyncWatcher::scan);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SyncWatcher::settle);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &SyncWatcher::settle);
    watchFolders();
    m_rescan.start();
}

void SyncWatcher::watchFolders() {
    QStringList dirs{m_folder.dir};
    for (const QString &name : {u"DB"_qs, u"Love"_qs, u"UserInfo"_qs})
        if (QFileInfo(m_folder.path(name)).isDir()) dirs << m_folder.path(name);
    // A file replaced by a rename drops out of a watch; the folders' watches see the rename.
    const QStringList watched = m_watcher.directories();
    for (const QString &d : dirs)
        if (!watched.contains(d)) m_watcher.addPath(d);
}

void SyncWatcher::scan() {
    QString home = m_settings.FirstPage;
    if (home.isEmpty()) home = u"index.KAV"_qs;
    const conflict::Report report =
        conflict::mergeAll(m_folder, home, m_busyFiles ? m_busyFiles() : QSet<QString>());
    if (!report.empty()) emit merged(syncStatusText(report));
    emit diskChanged();
    watchFolders();
}
