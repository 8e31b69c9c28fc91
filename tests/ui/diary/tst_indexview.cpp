// The main window as a person sizes and reads it: growing from its laid-out size, zooming the
// editor, and coming back the next day as it was left. On a real X screen (Xvfb) when there is
// one, so that windows are placed, activated and sized as on a desktop.
#include "ui/diary/index.h"

#include "ui/widgets/richtextbox.h"
#include "ui/app/app.h"
#include "ui/app/windowkeeper.h"
#include "store/settings/windowstate.h"
#include "testsupport.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace {

// The laid-out size of the window's client area below the menu bar.
const QSize kLaidOut(8520 / 15, 5565 / 15);

// A diary over a program folder, on a fixed day; a second one over the same folder is the next
// start of the program.
struct Diary {
    std::unique_ptr<App> app;
    Index *w = nullptr;

    explicit Diary(const QString &dir) {
        app = std::make_unique<App>(dir);
        app->setClock([] { return QDateTime(QDate(2004, 9, 8), QTime(10, 0)); });
        app->setRandomSource([] { return 0.25; });
        w = app->index();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    template <typename T> T *get(const char *name) const {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        if (!c) qFatal("no control %s", name);
        return c;
    }
    RichTextBox *box(const char *name) const { return get<RichTextBox>(name); }
    QWidget *form() const { return w->centralWidget(); }
    // A control's rectangle in the client area, wherever its frame is.
    QRect inForm(const char *name) const {
        QWidget *c = get<QWidget>(name);
        return QRect(c->mapTo(form(), QPoint(0, 0)), c->size());
    }
    void activate() {
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    // Makes the window's client area that size; the menu bar keeps its height.
    void growFormTo(const QSize &size) {
        w->resize(size + (w->size() - form()->size()));
        QVERIFY(testsupport::waitUntil([&] { return form()->size() == size; }, 3000));
    }
};

void wheel(QWidget *over, int angle, Qt::KeyboardModifiers modifiers) {
    const QPointF at(over->width() / 2.0, over->height() / 2.0);
    QWheelEvent e(at, over->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, modifiers,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &e);
}

double documentHeight(RichTextBox *box) { return box->document()->documentLayout()->documentSize().height(); }

} // namespace

class TestIndexView : public QObject {
    Q_OBJECT
public:
    bool haveDesktop = false;

private slots:
    void initTestCase() { qputenv("HOME", m_home.path().toLocal8Bit()); }
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup() { QDir(m_dir.path()).removeRecursively(); QDir().mkpath(m_dir.path()); }
    void growing_data();
    void growing();
    void leastSize();
    void zoomKeysAndWheel();
    void zoomLeavesSavedText();
    void rememberedNextStart();
    void rememberedMaximised();
    void nothingWrittenWhenNothingChanged();
    void rememberedPlaceOffScreen_data();
    void rememberedPlaceOffScreen();

private:
    QTemporaryDir m_home;
    QTemporaryDir m_dir;
};

// How a control follows the window as it grows.
enum Follow { Stays, MovesRight, MovesDown, MovesToCorner, TakesWidth, TakesHeight, TakesBoth };
Q_DECLARE_METATYPE(Follow)

void TestIndexView::growing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips"); // in its frame, as laid out
    QTest::addColumn<Follow>("follow");
    auto row = [](const char *name, QRect twips, Follow follow) {
        QTest::newRow(name) << QString::fromLatin1(name) << twips << follow;
    };
    row("mmw", {30, 405, 6780, 4740}, TakesBoth);
    row("Fms", {0, -90, 8520, 5265}, TakesBoth);
    row("Titles", {585, 90, 2160, 285}, Stays);
    row("lb_tit", {120, 240, 360, 180}, Stays);
    row("rt_pw", {4065, 75, 1740, 300}, Stays);
    row("bt_OK", {5850, 75, 930, 315}, Stays);
    row("bt_love", {7035, 75, 630, 315}, MovesRight);
    row("bt_about", {7845, 75, 540, 315}, MovesRight);
    row("m_seeDiary", {7185, 615, 945, 300}, MovesRight);
    row("m_viewlove", {7185, 1005, 945, 300}, MovesRight);
    row("fmDate", {6885, 1380, 1590, 1440}, MovesRight);
    row("tt_year", {345, 240, 630, 300}, MovesRight);
    row("btReWrite", {825, 1020, 600, 315}, MovesRight);
    row("fm_list", {6885, 3000, 1590, 2085}, TakesHeight);
    row("PicList", {6930, 3225, 1455, 1320}, TakesHeight);
    row("btBefore", {6975, 4650, 330, 315}, MovesToCorner);
    row("btReturn", {8040, 4650, 330, 315}, MovesToCorner);
    row("says", {15, 5250, 3585, 300}, TakesWidth);
    row("bt_v", {3915, 5235, 750, 300}, MovesToCorner);
    row("bt_save", {5010, 5235, 750, 300}, MovesToCorner);
    row("bt_cancel", {5895, 5235, 750, 300}, MovesToCorner);
    row("bt_hidden", {7020, 5235, 600, 300}, MovesToCorner);
    row("bt_exit", {7755, 5235, 600, 300}, MovesToCorner);
}

void TestIndexView::growing() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(Follow, follow);
    Diary d(m_dir.path());
    const QByteArray n = name.toLatin1();
    QCOMPARE(d.form()->size(), kLaidOut);
    QCOMPARE(d.get<QWidget>(n)->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    const QRect laidOut = d.inForm(n);

    d.growFormTo({1200, 800});
    const int dx = 1200 - kLaidOut.width(), dy = 800 - kLaidOut.height();
    QRect grown = laidOut;
    switch (follow) {
    case Stays: break;
    case MovesRight: grown.translate(dx, 0); break;
    case MovesDown: grown.translate(0, dy); break;
    case MovesToCorner: grown.translate(dx, dy); break;
    case TakesWidth: grown.translate(0, dy); grown.setWidth(laidOut.width() + dx); break;
    case TakesHeight: grown.translate(dx, 0); grown.setHeight(laidOut.height() + dy); break;
    case TakesBoth: grown.setSize(laidOut.size() + QSize(dx, dy)); break;
    }
    QCOMPARE(d.inForm(n), grown);

    // Back to the laid-out size, everything is where it was.
    d.growFormTo(kLaidOut);
    QCOMPARE(d.inForm(n), laidOut);
}

void TestIndexView::leastSize() {
    Diary d(m_dir.path());
    const QSize window = d.w->size();
    d.w->resize(300, 200);
    QTest::qWait(50);
    QCOMPARE(d.form()->size(), kLaidOut);
    QCOMPARE(d.w->size(), window);
    QCOMPARE(d.box("mmw")->geometry(), QRect(2, 27, 452, 316));
}

void TestIndexView::zoomKeysAndWheel() {
    Diary d(m_dir.path());
    d.activate();
    RichTextBox *mmw = d.box("mmw");
    RichTextBox *title = d.box("Titles");
    mmw->setText(QString(u"晴窗 zoom\r\n"_qs).repeated(40));
    mmw->setFocus();
    const double height = documentHeight(mmw);
    QSignalSpy changes(d.w, &Index::zoomChanged);

    QTest::keyClick(mmw, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 110);
    QCOMPARE(mmw->zoom(), 110);
    QCOMPARE(title->zoom(), 110);
    QTest::keyClick(mmw, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 125);
    QTest::keyClick(mmw, Qt::Key_Equal, Qt::ControlModifier);
    QTest::keyClick(mmw, Qt::Key_Equal, Qt::ControlModifier);
    QTest::keyClick(mmw, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 200);
    // The title box keeps its height: its letters grow only as far as they fit (12 pixels at
    // 100 % in 17).
    QCOMPARE(title->zoom(), 125);
    // The view is twice as large: the same lines take twice the height.
    QVERIFY2(qAbs(documentHeight(mmw) / height - 2) < 0.15, qPrintable(QString::number(documentHeight(mmw) / height)));

    // Over the editor or the title, forward zooms in and back zooms out, a step a notch; fine
    // wheels count once their parts make a notch; without Ctrl the wheel only scrolls.
    wheel(mmw->viewport(), 120, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 250);
    wheel(title->viewport(), -240, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 175);
    wheel(mmw->viewport(), 60, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 175);
    wheel(mmw->viewport(), 60, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 200);
    wheel(mmw->viewport(), -120, Qt::NoModifier);
    QCOMPARE(d.w->zoom(), 200);
    QCOMPARE(mmw->font().pointSizeF(), 9.0); // never the text edit's own font zoom

    QTest::keyClick(mmw, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 100);
    QCOMPARE(documentHeight(mmw), height);
    for (int i = 0; i < 10; ++i) QTest::keyClick(mmw, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 50);
    QCOMPARE(title->zoom(), 50);
    QCOMPARE(changes.count(), 14); // each change once; none at the bounds

    // In edit mode the keys zoom as well and type nothing, wherever the focus is in the window.
    QTest::keyClick(mmw, Qt::Key_0, Qt::ControlModifier);
    d.get<QAction>("m_new")->trigger();
    QVERIFY(d.w->IsEditing);
    const QString typed = mmw->text();
    QTest::keyClick(mmw, Qt::Key_Equal, Qt::ControlModifier);
    QTest::keyClick(d.box("rt_pw"), Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(d.w->zoom(), 125);
    QCOMPARE(mmw->text(), typed);
}

void TestIndexView::zoomLeavesSavedText() {
    // The same entry written at 100 % and at 300 %: the date files are the same bytes.
    QByteArray saved[2];
    for (int zoomed = 0; zoomed < 2; ++zoomed) {
        QTemporaryDir dir;
        Diary d(dir.path());
        d.activate();
        RichTextBox *mmw = d.box("mmw");
        for (int i = 0; zoomed && i < 7; ++i) QTest::keyClick(mmw, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(d.w->zoom(), zoomed ? 300 : 100);
        d.get<QAction>("m_new")->trigger();
        mmw->setTextRTF(u"{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
                        u"\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 small \\fs36 large\\fs18\\par\r\n}"_qs);
        mmw->setFocus();
        mmw->moveCursor(QTextCursor::End);
        QTest::keyClicks(mmw, u"typed"_qs);
        d.box("Titles")->setText(u"title"_qs);
        d.get<QPushButton>("bt_save")->click();
        saved[zoomed] = testsupport::readFile(dir.path() + u"/DB/20040908.KAV"_qs);
        QVERIFY(saved[zoomed].contains("\\fs36 large"));
        QVERIFY(saved[zoomed].contains("typed"));
    }
    QCOMPARE(saved[1], saved[0]);
}

void TestIndexView::rememberedNextStart() {
    QVERIFY2(haveDesktop, "needs Xvfb (xvfb)");
    const QString file = m_dir.path() + u'/' + windowstate::fileName();
    {
        Diary d(m_dir.path());
        d.activate();
        d.w->setGeometry(140, 90, 1200, 800);
        QTest::keyClick(d.box("mmw"), Qt::Key_Equal, Qt::ControlModifier);
        QTest::keyClick(d.box("mmw"), Qt::Key_Equal, Qt::ControlModifier);
        // Written a moment after the change, without waiting for the end of the program.
        QVERIFY(testsupport::waitUntil([&] { return windowstate::read(file).zoom == 125; }, 3000));
        QCOMPARE(windowstate::read(file).geometry, QRect(140, 90, 1200, 800));
        d.w->resize(1000, 700); // the last change, just before the program ends
    }
    const windowstate::State kept = windowstate::read(file);
    QCOMPARE(kept.geometry, QRect(140, 90, 1000, 700));
    QVERIFY(kept.positioned && !kept.maximized);

    Diary next(m_dir.path());
    QCOMPARE(next.w->geometry(), QRect(140, 90, 1000, 700));
    QCOMPARE(next.w->zoom(), 125);
    QCOMPARE(next.box("mmw")->zoom(), 125);
}

void TestIndexView::rememberedMaximised() {
    QVERIFY2(haveDesktop, "needs Xvfb (xvfb)");
    const QString file = m_dir.path() + u'/' + windowstate::fileName();
    {
        Diary d(m_dir.path());
        d.w->setGeometry(100, 100, 900, 600);
        d.w->showMaximized();
        QVERIFY(testsupport::waitUntil([&] { return windowstate::read(file).maximized; }, 3000));
    }
    // The size it comes back to is the one it had before it was maximised.
    QCOMPARE(windowstate::read(file).geometry, QRect(100, 100, 900, 600));
    Diary next(m_dir.path());
    QVERIFY(next.w->isMaximized());
    next.w->showNormal();
    QVERIFY(testsupport::waitUntil([&] { return next.w->geometry() == QRect(100, 100, 900, 600); }, 3000));
}

void TestIndexView::nothingWrittenWhenNothingChanged() {
    {
        Diary d(m_dir.path());
        d.w->hide();
        d.w->show();
        QTest::qWait(2 * WindowKeeper::kWriteDelayMs);
    }
    QVERIFY(!QFile::exists(m_dir.path() + u'/' + windowstate::fileName()));
}

void TestIndexView::rememberedPlaceOffScreen_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("placed");
    QTest::addColumn<QSize>("size");
    QTest::newRow("on the screen") << QByteArray("Left=300\r\nTop=200\r\nWidth=900\r\nHeight=600\r\n") << true << QSize(900, 600);
    QTest::newRow("off every screen") << QByteArray("Left=5000\r\nTop=5000\r\nWidth=900\r\nHeight=600\r\n") << false
                                      << QSize(900, 600);
    QTest::newRow("larger than the screen") << QByteArray("Left=0\r\nTop=0\r\nWidth=5000\r\nHeight=4000\r\n") << true
                                            << QSize(1920, 1080);
    QTest::newRow("smaller than laid out") << QByteArray("Width=100\r\nHeight=100\r\n") << false << QSize();
}

void TestIndexView::rememberedPlaceOffScreen() {
    QVERIFY2(haveDesktop, "needs Xvfb (xvfb)");
    QFETCH(QByteArray, file);
    QFETCH(bool, placed);
    QFETCH(QSize, size);
    QVERIFY(testsupport::writeFile(m_dir.path() + u'/' + windowstate::fileName(), file));
    Diary d(m_dir.path());
    const windowstate::State s = windowstate::parse(file);
    if (size.isValid()) QCOMPARE(d.w->size(), size);
    else QCOMPARE(d.form()->size(), kLaidOut);
    if (s.positioned) QCOMPARE(d.w->pos() == s.geometry.topLeft(), placed);
    QVERIFY(d.w->screen()->geometry().intersects(d.w->geometry()));
}

int main(int argc, char *argv[]) {
    const bool desktop = testsupport::startDesktop(QStringLiteral("1920x1080x24"));
    QApplication application(argc, argv);
    TestIndexView test;
    test.haveDesktop = desktop;
    const int result = QTest::qExec(&test, argc, argv);
    testsupport::stopDesktop();
    return result;
}

#include "tst_indexview.moc"
