#include "startup/proload.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    return Main(QCoreApplication::applicationDirPath());
}
