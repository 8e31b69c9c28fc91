#include "ui/app/proload.h"

#include "ui/diary/index.h"
#include "store/common/codepage.h"
#include "ui/app/app.h"
#include "ui/app/chinese.h"
#include "ui/app/singlecopy.h"

#include <QApplication>
#include <QMessageBox>

int Main(const QString &programDir, const QString &aboutNote) {
    // Before the first window, the second copy's message box included.
    chinese::install();
    SingleCopy single(programDir);
    if (!single.acquire()) {
        // The running copy shows its window; the message box says why this one does not.
        single.tellRunningCopy();
        QMessageBox box(QMessageBox::NoIcon, u" 日记本"_qs, u"程序已经在运行中了！"_qs, QMessageBox::Ok);
        box.exec();
        return 0;
    }
    if (!cp936::available()) qWarning("code page 936 is not available; text files cannot be read");

    App app(programDir);
    Settings &s = app.settings();
    s.ImagesPath.clear();
    s.noLogo = 0;
    QObject::connect(&single, &SingleCopy::showRequested, &app, &App::raiseMainWindow);
    app.paintBeforeHomePage();
    app.setAboutNote(aboutNote);
    app.index()->show();
    app.startDailyBackup();
    // Hidden windows must not end the program; only the exit button does.
    QApplication::setQuitOnLastWindowClosed(false);
    return QApplication::exec();
}
