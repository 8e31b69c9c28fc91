// The reference for start-up: an empty Qt window, started the way the diary is.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.show();
    return QApplication::exec();
}
