#include "startup/proload.h"

#include "diary/index.h"
#include "platform/codepage.h"
#include "startup/app.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QMessageBox>

namespace {

// One lock per program directory, held for the life of the process.
QString lockPath(const QString &programDir) {
    const QByteArray id = QCryptographicHash::hash(QDir(programDir).canonicalPath().toUtf8(),
                                                   QCryptographicHash::Sha1).toHex().left(16);
    return QDir::tempPath() + u"/qingchuang-"_qs + QString::fromLatin1(id) + u".lock"_qs;
}

} // namespace

int Main(const QString &programDir, const QString &aboutNote) {
    QLockFile lock(lockPath(programDir));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        QMessageBox box(QMessageBox::NoIcon, u" 日记本"_qs, u"程序已经在运行中了！"_qs, QMessageBox::Ok);
        box.exec();
        return 0;
    }
    if (!cp936::available()) qWarning("code page 936 is not available; text files cannot be read");

    App app(programDir);
    Settings &s = app.settings();
    s.LoginPassed = false;
    s.ImagesPath.clear();
    s.noLogo = 0;
    app.setAboutNote(aboutNote);
    app.index()->show();
    app.startDailyBackup();
    // Hidden windows must not end the program; only the exit button does.
    QApplication::setQuitOnLastWindowClosed(false);
    return QApplication::exec();
}
