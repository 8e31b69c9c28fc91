#include "startup/proload.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    // The interface is Chinese; a CJK font keeps it readable wherever the desktop's default is not.
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    return Main(QCoreApplication::applicationDirPath());
}
