#include "ui/app/proload.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QStandardPaths>

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    // The interface is Chinese; a CJK font keeps it readable wherever the desktop's default is not.
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
#ifdef QC_INSTALLED_LAYOUT
    // An installed program lies where users must not write: the diary lives in the user's data
    // folder (~/.local/share/qingchuang) instead of beside the executable.
    QCoreApplication::setApplicationName(QStringLiteral("qingchuang"));
    const QString programDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(programDir);
    // The diary is its owner's alone.
    QFile::setPermissions(programDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return Main(programDir, QStringLiteral("  日记保存在：") + QDir::toNativeSeparators(programDir));
#else
    return Main(QCoreApplication::applicationDirPath());
#endif
}
