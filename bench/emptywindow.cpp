// The references for start-up, started the way the diary is: an empty Qt window, or with the
// argument "chinese" an empty window showing one line of Chinese text in the diary's font (what
// any Chinese window pays for its font and glyphs).
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    if (argc > 1 && QByteArrayView(argv[1]) == "chinese") {
        QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(new QLabel(QStringLiteral("晴窗：今天天气很好，我们去西湖散步。"), &window));
    }
    window.show();
    return QApplication::exec();
}
