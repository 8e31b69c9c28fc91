// The references for start-up, started the way the diary is:
//   (no argument)  an empty Qt window;
//   chinese        an empty window showing one line of Chinese text in the diary's font (what any
//                  Chinese window pays for its font and glyphs);
//   controls       the diary's main window as a picture of controls alone: its menus, frames,
//                  buttons, rich-text boxes and list at their places, with the texts a start
//                  shows, and no program behind them. What any program showing that window pays.
#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <vector>

namespace {

enum class Kind { Frame, FlatFrame, Label, Button, Check, Line, Editor, List };

struct Control {
    Kind kind;
    int parent; // index of the frame it lies in; -1: the window's form
    const char *text;
    int left, top, width, height; // twips
};

// The main window's controls as it lays them out (twips, 15 to a pixel).
constexpr Control kControls[] = {
    {Kind::FlatFrame, -1, "", 0, -90, 8520, 5265},
    {Kind::Label, 0, "标题", 120, 240, 360, 180},
    {Kind::Button, 0, "查看日记", 7185, 615, 945, 300},
    {Kind::Button, 0, "查看珍藏", 7185, 1005, 945, 300},
    {Kind::Line, -1, "无标题", 585, 90, 2160, 285},
    {Kind::Check, -1, "加密", 3285, 120, 705, 225},
    {Kind::Line, -1, "******", 4065, 75, 1740, 300},
    {Kind::Button, -1, "确认密码", 5850, 75, 930, 315},
    {Kind::Button, -1, "消 息", 7035, 75, 630, 315},
    {Kind::Button, -1, "关于", 7845, 75, 540, 315},
    {Kind::Editor, -1, "\r\n  *  请从列表中选择...", 30, 405, 6780, 4740},
    {Kind::Frame, -1, "选择日期", 6885, 1380, 1590, 1440},
    {Kind::Line, 11, "2026", 345, 240, 630, 300},
    {Kind::Label, 11, "年", 1020, 300, 165, 195},
    {Kind::Line, 11, "12", 210, 615, 330, 300},
    {Kind::Label, 11, "月", 555, 675, 165, 195},
    {Kind::Line, 11, "10", 825, 630, 330, 300},
    {Kind::Label, 11, "日", 1185, 675, 165, 195},
    {Kind::Button, 11, "转到", 165, 1020, 600, 315},
    {Kind::Button, 11, "添加", 825, 1020, 600, 315},
    {Kind::Frame, -1, "列表", 6885, 3000, 1590, 2085},
    {Kind::List, -1, "", 6930, 3225, 1455, 1320},
    {Kind::Button, -1, "<=", 6975, 4650, 330, 315},
    {Kind::Button, -1, "=>", 7425, 4650, 330, 315},
    {Kind::Button, -1, "==", 8040, 4650, 330, 315},
    {Kind::Line, -1, " 当前记录：2026年12月10日 (星期四)", 15, 5250, 3585, 300},
    {Kind::Button, -1, "粘 贴", 3915, 5235, 750, 300},
    {Kind::Button, -1, "保 存", 5010, 5235, 750, 300},
    {Kind::Button, -1, "取 消", 5895, 5235, 750, 300},
    {Kind::Button, -1, "隐藏", 7020, 5235, 600, 300},
    {Kind::Button, -1, "退出", 7755, 5235, 600, 300},
};

QWidget *make(const Control &c, QWidget *parent) {
    const QString text = QString::fromUtf8(c.text);
    switch (c.kind) {
    case Kind::Frame: return new QGroupBox(text, parent);
    case Kind::FlatFrame: {
        auto *frame = new QGroupBox(text, parent);
        frame->setFlat(true);
        return frame;
    }
    case Kind::Label: return new QLabel(text, parent);
    case Kind::Button: return new QPushButton(text, parent);
    case Kind::Check: return new QCheckBox(text, parent);
    case Kind::List: return new QListWidget(parent);
    case Kind::Line:
    case Kind::Editor: break;
    }
    auto *box = new QTextEdit(parent);
    QFont f = box->font();
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
    f.setPointSizeF(9);
    box->setFont(f);
    if (c.kind == Kind::Line) {
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box->setLineWrapMode(QTextEdit::NoWrap);
        box->document()->setDocumentMargin(1);
    }
    box->setText(text);
    return box;
}

void buildControls(QMainWindow &window) {
    QMenuBar *bar = window.menuBar();
    for (const char *name : {"新建日记", "设置首页", "新建珍藏", "帮助"})
        bar->addAction(QString::fromUtf8(name));
    QMenu *tools = bar->addMenu(QStringLiteral("工具"));
    for (const char *name : {"加密旧日记", "查找日记", "日历", "恢复备份…", "导出…"})
        tools->addAction(QString::fromUtf8(name));
    auto *form = new QWidget(&window);
    form->setMinimumSize(8520 / 15, 5565 / 15);
    window.setCentralWidget(form);
    std::vector<QWidget *> made;
    for (const Control &c : kControls) {
        QWidget *w = make(c, c.parent < 0 ? form : made[size_t(c.parent)]);
        w->setGeometry(c.left / 15, c.top / 15, c.width / 15, c.height / 15);
        made.push_back(w);
    }
    window.setWindowTitle(QStringLiteral(" "));
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication application(argc, argv);
    const QByteArrayView what = argc > 1 ? QByteArrayView(argv[1]) : QByteArrayView();
    if (!what.isEmpty()) QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    if (what == "controls") {
        QMainWindow window;
        buildControls(window);
        window.show();
        return QApplication::exec();
    }
    QWidget window;
    if (what == "chinese") {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(new QLabel(QStringLiteral("晴窗：今天天气很好，我们去西湖散步。"), &window));
    }
    window.show();
    return QApplication::exec();
}
