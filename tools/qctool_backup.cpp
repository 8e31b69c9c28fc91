// qingchuang-tool backup PROGRAMDIR: a backup now, whatever the day; prints its path.
#include "tools/qctool.h"

#include "store/keep/backup.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace qctool {

int backup(const QStringList &args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: qingchuang-tool backup PROGRAMDIR\n");
        return 2;
    }
    const QString programDir = QFileInfo(args.first()).absoluteFilePath();
    if (!QFileInfo(programDir).isDir()) {
        std::fprintf(stderr, "qingchuang-tool: no such folder: %s\n", qPrintable(programDir));
        return 1;
    }
    const store::Result r =
        keep::makeBackup(programDir, QDateTime::currentDateTime(), keep::readRotation(programDir));
    if (r.code == store::Code::Damaged) {
        std::fprintf(stderr,
                     "qingchuang-tool: backup failed: the archive did not read back whole; "
                     "earlier backups are kept: %s\n",
                     qPrintable(r.detail));
        return 1;
    }
    if (!r.ok()) {
        std::fprintf(stderr, "qingchuang-tool: backup failed: %s\n", qPrintable(r.detail));
        return 1;
    }
    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(r.path)));
    return 0;
}

} // namespace qctool
