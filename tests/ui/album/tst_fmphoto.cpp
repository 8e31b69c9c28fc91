// The album window driven through its controls, offscreen, over temporary folders.
#include "store/album/album.h"
#include "store/common/programfolder.h"
#include "store/settings/settings.h"
#include "ui/album/albumimages.h"
#include "ui/album/fmphoto.h"
#include "ui/album/picturebox.h"
#include "ui/diary/index.h"
#include "ui/app/app.h"
#include "testsupport.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kHelpGrey = qRgb(0x90, 0x90, 0x90);

QImage solid(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QImage asRgb32(const QImage &image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage argb(const QImage &image) {
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Pixels within rect that differ from background.
int inkIn(const QImage &image, const QRect &rect, QRgb background) {
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.pixel(x, y) != background) ++ink;
    return ink;
}

// Pixels within rect of color, give or take tolerance in each channel (text is smoothed).
int countColor(const QImage &image, const QRect &rect, QRgb color, int tolerance = 0) {
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAbs(qRed(p) - qRed(color)) <= tolerance &&
                qAbs(qGreen(p) - qGreen(color)) <= tolerance &&
                qAbs(qBlue(p) - qBlue(color)) <= tolerance)
                ++count;
        }
    }
    return count;
}

// Near-white pixels of smoothed white text on the grey page.
int whiteText(const QImage &image, const QRect &rect) {
    return countColor(image, rect, qRgb(255, 255, 255), 0x30);
}

} // namespace

class TestFmPhoto : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void loadState();
    void missingFolderIsCreated();
    void configuredFolderUnderHome();
    void images_data();
    void images();
    void imagesAreDistinct();
    void helpPagePixels();
    void navigation_data();
    void navigation();
    void emptyFolder();
    void centring();
    void loadFailure();
    void clear();
    void heartStamp();
    void pointers();
    void modeTexts();
    void drag();
    void dragEndsWithItsButton();
    void save_data();
    void save();
    void saveFolders_data();
    void saveFolders();
    void saveFailureIsReported();
    void hideAndBack();
    void standsAlone();
    void growing();
    void drawnAtPixelRatio();

private:
    // A fresh album over a picture folder holding the given pictures.
    fmPhoto *open(const QList<QPair<QString, QImage>> &pictures = {});
    QString picturesDir() const { return m_dir->path() + u"/pics"_qs; }
    QString saveDir() const { return m_dir->path() + u"/save"_qs; }
    PictureBox *box() const { return m_window->findChild<PictureBox *>(u"PicLoad"_qs); }
    QString status() const { return m_window->findChild<QLabel *>(u"labShow"_qs)->text(); }
    void click(const char *button) {
        QTest::mouseClick(m_window->findChild<QPushButton *>(QLatin1String(button)),
                          Qt::LeftButton);
    }
    void trigger(const char *action) {
        m_window->findChild<QAction *>(QLatin1String(action))->trigger();
    }

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<App> m_app;
    fmPhoto *m_window = nullptr;
    QPoint m_cursor;
};

void TestFmPhoto::initTestCase() {
    // The settings file's folders lie under home: never the real one.
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
}

void TestFmPhoto::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_app = std::make_unique<App>(m_dir->path() + u"/program"_qs);
    QVERIFY(QDir().mkpath(m_app->programDir()));
    m_app->settings().ImagesPath = picturesDir();
    m_app->settings().oPicSavePath = saveDir() + u'/';
    m_app->setRandomSource([] { return 0.25; }); // 249999.75: "sv250000.BMP"
    m_window = nullptr;
}

void TestFmPhoto::cleanup() {
    m_app.reset();
    m_dir.reset();
}

fmPhoto *TestFmPhoto::open(const QList<QPair<QString, QImage>> &pictures) {
    QDir().mkpath(picturesDir());
    for (const auto &[name, image] : pictures) {
        if (image.isNull())
            testsupport::writeFile(picturesDir() + u'/' + name, "no picture");
        else
            image.save(picturesDir() + u'/' + name, "PNG");
    }
    m_window = m_app->photo();
    m_window->setCursorSource([this] { return m_cursor; });
    m_window->show();
    return m_window;
}

void TestFmPhoto::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("text");

    QTest::newRow("picMeimei") << "picMeimei" << QRect(0, 0, 10065, 6315) << "";
    QTest::newRow("labShow") << "labShow" << QRect(180, 6465, 5835, 195) << "Label1";
    QTest::newRow("labUnder") << "labUnder" << QRect(30, 6390, 6135, 330) << "";
    QTest::newRow("btFront") << "btFront" << QRect(6285, 6405, 735, 315) << "上一张 ";
    QTest::newRow("btLoad") << "btLoad" << QRect(7110, 6405, 735, 315) << "下一张";
    QTest::newRow("btHidden") << "btHidden" << QRect(8625, 6390, 585, 315) << "隐藏";
    QTest::newRow("btBack") << "btBack" << QRect(9300, 6390, 585, 315) << "返回";
}

void TestFmPhoto::controls() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(QString, text);
    open();
    const QWidget *control = m_window->findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    if (auto *label = qobject_cast<const QLabel *>(control)) QCOMPARE(label->text(), text);
    if (auto *button = qobject_cast<const QPushButton *>(control)) QCOMPARE(button->text(), text);
    // The client area below the menu bar is 10065 x 6765 twips.
    QCOMPARE(control->parentWidget()->size(), QSize(671, 451));
}

void TestFmPhoto::loadState() {
    open({{u"a.png"_qs, solid(10, 10, Qt::red)}});
    QCOMPARE(m_window->windowTitle(), u"图片浏览"_qs);
    QCOMPARE(status(), u"Label1"_qs);
    QCOMPARE(m_window->mode(), 1);
    QCOMPARE(m_window->currentIndex(), 0);
    QCOMPARE(m_window->pictures(), (QStringList{u"最爱莓莓"_qs, u"a.png"_qs}));

    // The menu bar holds the four commands itself, in order.
    QStringList menu;
    for (QAction *action : m_window->findChild<QMenuBar *>()->actions())
        menu << action->objectName() + u'=' + action->text();
    QCOMPARE(menu, (QStringList{u"mSave=保存图片"_qs, u"mReload=重载图片"_qs, u"mClear=清空图片"_qs,
                                u"mAbout=帮助"_qs}));
    for (QAction *action : m_window->findChild<QMenuBar *>()->actions())
        QVERIFY(!action->menu());

    const QTimer *timer = m_window->findChild<QTimer *>(u"tmMove"_qs);
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 10);
    QVERIFY(!timer->isActive());
    // The help page fills the view.
    QCOMPARE(box()->geometry(), QRect(0, 0, 671, 421));
    QCOMPARE(m_window->spareWidth(), 0.f);
    QCOMPARE(m_window->spareHeight(), 0);
}

void TestFmPhoto::missingFolderIsCreated() {
    m_app->settings().ImagesPath.clear();
    open();
    const QString folder = m_app->programDir() + u"/Images/"_qs;
    QCOMPARE(m_window->pictureFolder(), folder);
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(m_window->pictures(), QStringList{u"最爱莓莓"_qs});
}

void TestFmPhoto::configuredFolderUnderHome() {
    const QByteArray oldHome = qgetenv("HOME");
    const QString home = m_dir->path() + u"/home"_qs;
    QVERIFY(QDir().mkpath(home + u"/images"_qs));
    QVERIFY(solid(3, 3, Qt::blue).save(home + u"/images/x.png"_qs));
    qputenv("HOME", QFile::encodeName(home));
    m_app->settings().ImagesPath = u"C:\\Images\\"_qs; // the default of the settings file
    m_window = m_app->photo();
    qputenv("HOME", oldHome);
    QCOMPARE(m_window->pictureFolder(), home + u"/images/"_qs);
    QCOMPARE(m_window->pictures(), (QStringList{u"最爱莓莓"_qs, u"x.png"_qs}));
}

// The drawings that the pixel tests below paint with: each has its size, ink where its figure is
// and nothing around it, so that a blank or a swapped image cannot pass those tests.
void TestFmPhoto::images_data() {
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<QPoint>>("ink");
    QTest::addColumn<QList<QPoint>>("clear");
    QTest::newRow("heart") << album::heartImage() << QSize(32, 32)
                           << QList<QPoint>{{16, 16}, {8, 8}, {24, 8}, {16, 27}}
                           << QList<QPoint>{{0, 0}, {31, 0}, {0, 31}, {31, 31}, {16, 1}};
    QTest::newRow("logo") << album::logoImage() << QSize(128, 32)
                          << QList<QPoint>{{3, 16}, {64, 16}, {124, 16}, {13, 20}}
                          << QList<QPoint>{{0, 0}, {127, 0}, {0, 31}, {127, 31}};
    QTest::newRow("diary page") << album::docIcon() << QSize(32, 32)
                                << QList<QPoint>{{7, 5}, {7, 27}, {25, 27}, {16, 20}}
                                << QList<QPoint>{{1, 1}, {30, 1}, {1, 31}, {30, 31}};
    QTest::newRow("open hand") << album::handImage(0) << QSize(32, 32)
                               << QList<QPoint>{{16, 22}, {14, 6}}
                               << QList<QPoint>{{0, 0}, {31, 0}, {31, 31}, {28, 6}};
    QTest::newRow("holding hand") << album::handImage(1) << QSize(32, 32)
                                  << QList<QPoint>{{16, 22}, {14, 14}}
                                  << QList<QPoint>{{0, 0}, {31, 0}, {31, 31}, {14, 6}};
}

void TestFmPhoto::images() {
    QFETCH(QImage, image);
    QFETCH(QSize, size);
    QFETCH(QList<QPoint>, ink);
    QFETCH(QList<QPoint>, clear);
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    const QImage a = argb(image);
    for (const QPoint &p : ink)
        QVERIFY2(qAlpha(a.pixel(p)) > 128, qPrintable(u"no ink at %1,%2"_qs.arg(p.x()).arg(p.y())));
    for (const QPoint &p : clear)
        QVERIFY2(qAlpha(a.pixel(p)) == 0, qPrintable(u"ink at %1,%2"_qs.arg(p.x()).arg(p.y())));
}

void TestFmPhoto::imagesAreDistinct() {
    const QList<QImage> images = {argb(album::heartImage()), argb(album::docIcon()),
                                  argb(album::handImage(0)), argb(album::handImage(1))};
    for (qsizetype i = 0; i < images.size(); ++i)
        for (qsizetype j = i + 1; j < images.size(); ++j)
            QVERIFY2(images[i] != images[j], qPrintable(u"%1 and %2"_qs.arg(i).arg(j)));
    // The heart is red, the hands white, the logo's lettering rose on a pale band.
    const QRgb heart = argb(album::heartImage()).pixel(16, 16);
    QVERIFY(qRed(heart) > 2 * qGreen(heart) && qRed(heart) > 2 * qBlue(heart));
    QCOMPARE(argb(album::handImage(0)).pixel(16, 22), qRgb(255, 255, 255));
    const QImage logo = argb(album::logoImage());
    QVERIFY(countColor(logo, QRect(30, 4, 96, 24), qRgb(170, 30, 70), 40) > 40);
}

void TestFmPhoto::helpPagePixels() {
    open();
    const QImage page = box()->image();
    QCOMPARE(page.size(), QSize(671, 421));

    // Grey where nothing is drawn.
    QCOMPARE(inkIn(page, QRect(620, 90, 50, 260), kHelpGrey), 0);
    // The two rules, white, from 100 twips to the box width less 150.
    for (int y : {54, 400}) {
        QCOMPARE(countColor(page, QRect(7, y, 655, 1), kWhite), 655);
        QCOMPARE(page.pixel(5, y), kHelpGrey);
        QCOMPARE(page.pixel(663, y), kHelpGrey);
    }
    // Logo at (805, 150), the diary page over its left end at (729, 150), the heart at (7500,
    // 5550).
    QImage expected = solid(671, 421, QColor(kHelpGrey));
    {
        QPainter p(&expected);
        p.drawImage(54, 10, album::logoImage());
        p.drawImage(49, 10, album::docIcon());
        p.drawImage(500, 370, album::heartImage());
    }
    QCOMPARE(page.copy(40, 5, 150, 45), expected.copy(40, 5, 150, 45));
    QCOMPARE(page.copy(495, 365, 36, 35), expected.copy(495, 365, 36, 35));

    // The bold title at (6600, 450) and the signature at (8000, 5700), white.
    QVERIFY(whiteText(page, QRect(440, 30, 160, 16)) > 40);
    QCOMPARE(inkIn(page, QRect(300, 30, 130, 16), kHelpGrey), 0);
    QVERIFY(whiteText(page, QRect(533, 380, 70, 16)) > 20);

    // Text lines 14 pixels apart from 900 twips after an empty line: line 1 "= 说明 =" at 74,
    // line 3 at 102, lines 5 to 7 at 130 to 158, line 20 at 340; all indented by 20 blanks.
    QVERIFY(whiteText(page, QRect(60, 74, 60, 14)) > 10);
    QCOMPARE(inkIn(page, QRect(0, 88, 671, 14), kHelpGrey), 0); // line 2 is empty
    QVERIFY(whiteText(page, QRect(60, 102, 200, 14)) > 40);
    QCOMPARE(inkIn(page, QRect(0, 116, 671, 14), kHelpGrey), 0); // line 4
    QVERIFY(whiteText(page, QRect(60, 158, 200, 14)) > 40);
    QCOMPARE(inkIn(page, QRect(0, 312, 671, 28), kHelpGrey), 0); // lines 18 and 19
    QVERIFY(whiteText(page, QRect(60, 340, 200, 14)) > 40);
    QCOMPARE(inkIn(page, QRect(0, 60, 58, 296), kHelpGrey), 0); // the indent
}

void TestFmPhoto::navigation_data() {
    QTest::addColumn<QString>("commands");
    QTest::addColumn<int>("index");

    QTest::newRow("next from the start") << "next" << 1;
    QTest::newRow("previous from the start") << "previous" << 5;
    QTest::newRow("second") << "next next" << 2;
    QTest::newRow("next after n") << "next next next next next next" << 1;
    QTest::newRow("previous before 1") << "next previous" << 5;
    QTest::newRow("back down") << "previous previous previous" << 3;
    QTest::newRow("reload at 0") << "reload" << 0;
    QTest::newRow("reload keeps") << "next next next reload" << 3;
}

void TestFmPhoto::navigation() {
    QFETCH(QString, commands);
    QFETCH(int, index);
    // Listed by name without regard to case; the folder and the hidden file are not.
    open({{u"c.txt"_qs, QImage()},
          {u"a.png"_qs, solid(20, 10, Qt::red)},
          {u"B.png"_qs, solid(30, 10, Qt::green)},
          {u"e.png"_qs, solid(50, 10, Qt::yellow)},
          {u"d.png"_qs, solid(40, 10, Qt::blue)},
          {u".hidden.png"_qs, solid(5, 5, Qt::red)}});
    QDir(picturesDir()).mkdir(u"sub"_qs);
    const QStringList names{u"最爱莓莓"_qs, u"a.png"_qs, u"B.png"_qs,
                            u"c.txt"_qs,    u"d.png"_qs, u"e.png"_qs};
    QCOMPARE(m_window->pictures(), names);

    for (const QString &command : commands.split(u' ')) {
        if (command == u"next"_qs) click("btLoad");
        if (command == u"previous"_qs) click("btFront");
        if (command == u"reload"_qs) trigger("mReload");
    }
    QCOMPARE(m_window->currentIndex(), index);
    QCOMPARE(status(), names[index] + u"  ( "_qs + QString::number(index) + u"/5 )"_qs);
    QCOMPARE(m_window->windowTitle(), u"  "_qs + names[index]);
    // Pictures 1, 2, 4 and 5 are 20, 30, 40 and 50 pixels wide; the others fill the view.
    const int widths[] = {671, 20, 30, 671, 40, 50};
    QCOMPARE(box()->width(), widths[index]);
    QCOMPARE(m_window->spareWidth(), float(10065 - widths[index] * 15));
}

void TestFmPhoto::emptyFolder() {
    open();
    const QImage help = box()->image();
    click("btLoad");
    click("btFront");
    trigger("mReload");
    QCOMPARE(m_window->currentIndex(), 0);
    QCOMPARE(status(), u"Label1"_qs);
    QCOMPARE(m_window->windowTitle(), u"图片浏览"_qs);
    QCOMPARE(box()->image(), help);
}

void TestFmPhoto::centring() {
    // A transparent corner shows the white background.
    QImage picture = solid(100, 50, Qt::blue).convertToFormat(QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(0, 0, 0, 0));
    open({{u"p.png"_qs, picture}});
    click("btLoad");
    QCOMPARE(m_window->picLeft(), 10065 / 2.0f - 750);
    QCOMPARE(m_window->picTop(), 6315 / 2.0f - 375);
    QCOMPARE(box()->geometry(), QRect(286, 186, 100, 50)); // 285.5 and 185.5 to even pixels
    QCOMPARE(m_window->spareWidth(), 8565.f);
    QCOMPARE(m_window->spareHeight(), 5565);
    QCOMPARE(box()->image().pixel(0, 0), kWhite);
    QCOMPARE(box()->image().pixel(1, 0), qRgb(0, 0, 255));
    QCOMPARE(m_window->focusWidget(), box());
}

void TestFmPhoto::loadFailure() {
    open({{u"a.png"_qs, solid(20, 10, Qt::red)}, {u"b.txt"_qs, QImage()}});
    click("btLoad");
    click("btLoad");
    QCOMPARE(status(), u"b.txt  ( 2/2 )"_qs);
    QCOMPARE(m_window->windowTitle(), u"  b.txt"_qs);
    QCOMPARE(box()->geometry(), QRect(0, 0, 671, 421));
    QCOMPARE(m_window->picLeft(), 0.f);
    QCOMPARE(m_window->picTop(), 0.f);
    QCOMPARE(m_window->spareWidth(), 0.f);
    QCOMPARE(m_window->spareHeight(), 0);
    const QImage image = box()->image();
    // White, with the message in dark grey on the second line, after two blanks.
    QCOMPARE(inkIn(image, QRect(0, 0, 671, 14), kWhite), 0);
    QVERIFY(inkIn(image, QRect(6, 14, 200, 14), kWhite) > 40);
    QVERIFY(countColor(image, QRect(6, 14, 200, 14), qRgb(0x27, 0x27, 0x27), 0x20) > 20);
    QCOMPARE(inkIn(image, QRect(0, 14, 5, 14), kWhite), 0);
    QCOMPARE(inkIn(image, QRect(0, 30, 671, 391), kWhite), 0);

    // The placeholder fails the same way and keeps its position 0.
    m_app->closePhoto();
    open();
    trigger("mReload");
    QCOMPARE(status(), u"最爱莓莓  ( 0/2 )"_qs);
    QVERIFY(inkIn(box()->image(), QRect(6, 14, 200, 14), kWhite) > 40);
}

void TestFmPhoto::clear() {
    open({{u"a.png"_qs, solid(20, 10, Qt::red)}});
    trigger("mClear"); // after the help page: grey
    QCOMPARE(box()->image(), solid(671, 421, QColor(kHelpGrey)));
    QCOMPARE(box()->geometry(), QRect(0, 0, 671, 421));
    click("btLoad");
    trigger("mClear"); // after a picture: white
    QCOMPARE(box()->image(), solid(671, 421, Qt::white));
    QCOMPARE(box()->geometry(), QRect(0, 0, 671, 421));
    QCOMPARE(m_window->spareWidth(), 0.f);
    QCOMPARE(m_window->spareHeight(), 0);
    QCOMPARE(m_window->currentIndex(), 1);
    QCOMPARE(status(), u"a.png  ( 1/1 )"_qs);
    QCOMPARE(m_window->windowTitle(), u"  a.png"_qs);
    trigger("mAbout");
    QCOMPARE(box()->image().pixel(300, 54), kWhite);
    QCOMPARE(m_window->currentIndex(), 1);
}

void TestFmPhoto::heartStamp() {
    open({{u"a.png"_qs, solid(200, 100, Qt::blue)}});
    click("btLoad");
    QTest::mouseClick(box(), Qt::RightButton, {}, QPoint(5, 5));
    QCOMPARE(m_window->mode(), 0);
    QTest::mouseClick(box(), Qt::LeftButton, {}, QPoint(50, 40));
    QTest::mouseClick(box(), Qt::LeftButton, {}, QPoint(2, 95)); // cut off at the edge

    QImage expected = solid(200, 100, Qt::blue);
    {
        QPainter p(&expected);
        p.drawImage(34, 24, album::heartImage());
        p.drawImage(-14, 79, album::heartImage());
    }
    QCOMPARE(box()->image(), expected);
    QVERIFY(box()->image().pixel(50, 40) != qRgb(0, 0, 255)); // the heart's middle
    QCOMPARE(box()->image().pixel(34, 24), qRgb(0, 0, 255));  // its transparent corner

    // A new picture takes the stamps away.
    trigger("mReload");
    QCOMPARE(box()->image(), solid(200, 100, Qt::blue));
}

void TestFmPhoto::pointers() {
    open({{u"a.png"_qs, solid(200, 100, Qt::blue)}});
    click("btLoad");
    const QImage heart = argb(album::heartImage());
    const QImage idle = argb(album::handImage(0));
    const QImage holding = argb(album::handImage(1));
    auto pointer = [&] { return argb(box()->cursor().pixmap().toImage()); };
    QCOMPARE(argb(m_window->findChild<QWidget *>(u"picMeimei"_qs)->cursor().pixmap().toImage()),
             heart);
    QCOMPARE(pointer(), idle);

    const QPoint at(20, 20);
    QTest::mousePress(box(), Qt::LeftButton, {}, at);
    QCOMPARE(pointer(), holding);
    QTest::mouseRelease(box(), Qt::LeftButton, {}, at);
    QCOMPARE(pointer(), idle);
    // The pointer changes at the release after a switch, not at the switch.
    QTest::mousePress(box(), Qt::RightButton, {}, at);
    QCOMPARE(pointer(), idle);
    QTest::mouseRelease(box(), Qt::RightButton, {}, at);
    QCOMPARE(pointer(), heart);
    QTest::mouseClick(box(), Qt::LeftButton, {}, at);
    QCOMPARE(pointer(), heart);
    QTest::mouseClick(box(), Qt::RightButton, {}, at);
    QCOMPARE(m_window->mode(), 1);
    QCOMPARE(pointer(), idle);
    QTest::mouseClick(box(), Qt::MiddleButton, {}, at);
    QCOMPARE(m_window->mode(), 1);
}

void TestFmPhoto::modeTexts() {
    open({{u"a.png"_qs, solid(200, 100, Qt::blue)}});
    click("btLoad");
    QCOMPARE(status(), u"a.png  ( 1/1 )"_qs);
    auto move = [&] {
        QMouseEvent event(QEvent::MouseMove, QPointF(30, 30), box()->mapToGlobal(QPointF(30, 30)),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(box(), &event);
    };
    move();
    QCOMPARE(status(), u"移图模式：按住左键可移动图片，右键切换到贴心模式"_qs);
    QTest::mouseClick(box(), Qt::RightButton, {}, QPoint(30, 30));
    move();
    QCOMPARE(status(), u"贴心模式：左键在图片上贴出一个心形图样，右键切换到移图模式"_qs);
}

void TestFmPhoto::drag() {
    open({{u"big.png"_qs, solid(1000, 600, Qt::blue)}, {u"small.png"_qs, solid(100, 50, Qt::red)}});
    QTimer *timer = m_window->findChild<QTimer *>(u"tmMove"_qs);

    // Larger than the view: scrolled until an edge meets the view's edge. The window's own
    // 10 ms timer follows the pointer.
    click("btLoad");
    QCOMPARE(m_window->picLeft(), -2467.5f);
    QCOMPARE(m_window->spareWidth(), -4935.f);
    QCOMPARE(m_window->spareHeight(), -2685);
    m_cursor = QPoint(500, 500);
    QTest::mousePress(box(), Qt::LeftButton, {}, QPoint(400, 300));
    QVERIFY(timer->isActive());
    m_cursor = QPoint(490, 510);
    QTRY_COMPARE(box()->pos(), QPoint(-174, -79));
    QCOMPARE(m_window->picLeft(), -2617.5f);
    QCOMPARE(m_window->picTop(), -1192.f);
    m_cursor = QPoint(-2000, -2000);
    QTRY_COMPARE(box()->pos(), QPoint(671 - 1000, 421 - 600));
    QCOMPARE(m_window->picLeft(), -4935.f);
    QCOMPARE(m_window->picTop(), -2685.f);
    m_cursor = QPoint(3000, 3000);
    QTRY_COMPARE(box()->pos(), QPoint(0, 0));
    QTest::mouseRelease(box(), Qt::LeftButton, {}, QPoint(400, 300));
    QVERIFY(!timer->isActive());

    // Smaller: anywhere inside the view, not past its edges.
    click("btLoad");
    QTest::mousePress(box(), Qt::LeftButton, {}, QPoint(10, 10));
    m_cursor += QPoint(10000, -10000);
    QTRY_COMPARE(box()->geometry(), QRect(571, 0, 100, 50));
    m_cursor += QPoint(-10000, 10000);
    QTRY_COMPARE(box()->geometry(), QRect(0, 371, 100, 50));
    QTest::mouseRelease(box(), Qt::LeftButton, {}, QPoint(10, 10));
}

void TestFmPhoto::dragEndsWithItsButton() {
    open({{u"big.png"_qs, solid(1000, 600, Qt::blue)}});
    click("btLoad");
    QTimer *timer = m_window->findChild<QTimer *>(u"tmMove"_qs);
    QTest::mousePress(box(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mousePress(box(), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    QCOMPARE(m_window->mode(), 0);
    QTest::mouseRelease(box(), Qt::RightButton, {}, QPoint(10, 10));
    QVERIFY(timer->isActive()); // the left button still holds the picture
    QTest::mouseRelease(box(), Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!timer->isActive());
}

void TestFmPhoto::save_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("noLogo");
    QTest::addColumn<bool>("logo");

    QTest::newRow("logo") << QSize(300, 200) << 0 << true;
    QTest::newRow("133 x 41, logo") << QSize(133, 41) << 0 << true;
    QTest::newRow("132 wide, none") << QSize(132, 200) << 0 << false;
    QTest::newRow("40 high, none") << QSize(300, 40) << 0 << false;
    QTest::newRow("noLogo") << QSize(300, 200) << 1 << false;
}

void TestFmPhoto::save() {
    QFETCH(QSize, size);
    QFETCH(int, noLogo);
    QFETCH(bool, logo);
    m_app->settings().noLogo = qint16(noLogo);
    const QColor color(10, 120, 200);
    open({{u"a.png"_qs, solid(size.width(), size.height(), color)}});
    click("btLoad");
    trigger("mSave");

    const QString file = saveDir() + u"/sv250000.BMP"_qs;
    QCOMPARE(status(), u" 保存文件到 "_qs + file);
    QVERIFY(QFileInfo(saveDir()).isDir());
    const QByteArray bmp = testsupport::readFile(file);
    QVERIFY(bmp.size() > 54);
    QCOMPARE(bmp.left(2), QByteArray("BM"));
    QCOMPARE(int(quint8(bmp[28])), 24);

    // The logo's corner at (width - 1983, height - 600) twips: 132 and 40 pixels in.
    QImage expected = solid(size.width(), size.height(), color);
    if (logo)
        QPainter(&expected).drawImage(size.width() - 132, size.height() - 40, album::logoImage());
    const QImage saved = asRgb32(QImage(file));
    QCOMPARE(saved.size(), size);
    QCOMPARE(saved, expected);
    if (logo) QVERIFY(saved != solid(size.width(), size.height(), color));
    // The logo stays on the box.
    QCOMPARE(box()->image(), expected);
}

void TestFmPhoto::saveFolders_data() {
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("kept");   // oPicSavePath after saving
    QTest::addColumn<QString>("folder"); // relative to home

    QTest::newRow("drive, no separator") << "C:\\PicSave"
                                         << "C:\\PicSave\\"
                                         << "/PicSave";
    QTest::newRow("drive") << "C:\\PicSave\\"
                           << "C:\\PicSave\\"
                           << "/PicSave";
    QTest::newRow("empty: root of the current drive") << ""
                                                      << "\\"
                                                      << "";
}

void TestFmPhoto::saveFolders() {
    QFETCH(QString, configured);
    QFETCH(QString, kept);
    QFETCH(QString, folder);
    const QString home = m_dir->path() + u"/home"_qs;
    QVERIFY(QDir().mkpath(home));
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home));
    m_app->settings().oPicSavePath = configured;
    open({{u"a.png"_qs, solid(10, 10, Qt::red)}});
    click("btLoad");
    trigger("mSave");
    trigger("mSave"); // the same name drawn again: the earlier file stays
    qputenv("HOME", oldHome);
    QCOMPARE(m_app->settings().oPicSavePath, kept);
    QCOMPARE(status(), u" 保存文件到 "_qs + home + folder + u"/sv250001.BMP"_qs);
    QVERIFY(QFileInfo::exists(home + folder + u"/sv250000.BMP"_qs));
    QVERIFY(QFileInfo::exists(home + folder + u"/sv250001.BMP"_qs));
}

void TestFmPhoto::saveFailureIsReported() {
    // Only one level of folder is made; a deeper missing one cannot be written into.
    m_app->settings().oPicSavePath = saveDir() + u"/deeper/"_qs;
    open({{u"a.png"_qs, solid(10, 10, Qt::red)}});
    click("btLoad");
    trigger("mSave");
    QCOMPARE(status(), u" 无法保存文件到 "_qs + saveDir() + u"/deeper/sv250000.BMP"_qs);
    QVERIFY(!QFileInfo::exists(saveDir()));
}

void TestFmPhoto::hideAndBack() {
    open();
    click("btHidden");
    QVERIFY(!m_app->photoLoaded());
    QVERIFY(!m_app->index()->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The main window has read the settings file meanwhile.
    m_app->settings().ImagesPath = picturesDir();

    // Opened afresh: everything but the save folder is rebuilt.
    m_app->settings().oPicSavePath = u"C:\\Elsewhere"_qs;
    open({{u"a.png"_qs, solid(10, 10, Qt::red)}});
    click("btLoad");
    QCOMPARE(m_window->currentIndex(), 1);
    click("btBack");
    QVERIFY(!m_app->photoLoaded());
    QVERIFY(m_app->index()->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    open();
    QCOMPARE(m_window->currentIndex(), 0);
    QCOMPARE(status(), u"Label1"_qs);
    QCOMPARE(m_app->settings().oPicSavePath, u"C:\\Elsewhere"_qs);

    // The title bar's close unloads it too.
    m_window->close();
    QVERIFY(!m_app->photoLoaded());
}

// The album needs no App: handed a folder and the settings it reads, it shows its pictures, saves
// where the settings say, and says by its signals where the user goes.
void TestFmPhoto::standsAlone() {
    ProgramFolder folder(m_dir->path() + u"/alone"_qs);
    folder.randomSource = [] { return 0.5; }; // 499999.5: "sv500000.BMP"
    QVERIFY(QDir().mkpath(folder.dir));
    Settings settings;
    settings.ImagesPath = picturesDir();
    settings.oPicSavePath = saveDir() + u"/alone"_qs; // the album makes the last folder only
    QVERIFY(QDir().mkpath(saveDir()));
    QVERIFY(QDir().mkpath(picturesDir()));
    QVERIFY(solid(40, 20, Qt::blue).save(picturesDir() + u"/b.png"_qs, "PNG"));

    fmPhoto window(folder, settings);
    QSignalSpy hidden(&window, &fmPhoto::hideRequested);
    QSignalSpy back(&window, &fmPhoto::backRequested);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.findChild<QPushButton *>(u"btLoad"_qs), Qt::LeftButton);
    QCOMPARE(window.currentIndex(), 1);
    window.findChild<QAction *>(u"mSave"_qs)->trigger();
    QVERIFY(QFileInfo::exists(saveDir() + u"/alone/sv500000.BMP"_qs));
    QCOMPARE(settings.oPicSavePath, saveDir() + u"/alone\\"_qs); // kept as the settings file writes it

    QTest::mouseClick(window.findChild<QPushButton *>(u"btBack"_qs), Qt::LeftButton);
    QCOMPARE(back.count(), 1);
    QCOMPARE(hidden.count(), 0);
    QTest::mouseClick(window.findChild<QPushButton *>(u"btHidden"_qs), Qt::LeftButton);
    QCOMPARE(hidden.count(), 1);
    window.close();
    QCOMPARE(hidden.count(), 2);
    QCOMPARE(back.count(), 1);
}

void TestFmPhoto::growing() {
    open({{u"small.png"_qs, solid(100, 50, Qt::red)}});
    auto *view = m_window->findChild<QWidget *>(u"picMeimei"_qs);
    QWidget *client = view->parentWidget();
    auto grow = [&](QSize by) {
        const QSize to = client->size() + by;
        m_window->resize(m_window->size() + by);
        QVERIFY(testsupport::waitUntil([&] { return client->size() == to; }, 3000));
    };
    const QRect back = m_window->findChild<QPushButton *>(u"btBack"_qs)->geometry();
    const QRect status = m_window->findChild<QLabel *>(u"labShow"_qs)->geometry();

    // The help page fills the grown view anew; the buttons keep to the lower right corner and
    // the status line takes the width.
    grow({300, 200});
    QCOMPARE(view->size(), QSize(971, 621));
    QCOMPARE(box()->geometry(), QRect(0, 0, 971, 621));
    QCOMPARE(m_window->spareWidth(), 0.f);
    QCOMPARE(m_window->findChild<QPushButton *>(u"btBack"_qs)->geometry(), back.translated(300, 200));
    QCOMPARE(m_window->findChild<QLabel *>(u"labShow"_qs)->geometry(),
             QRect(status.topLeft() + QPoint(0, 200), status.size() + QSize(300, 0)));
    // The lower rule ends 150 twips (10 pixels) short of the box's right edge.
    const QImage page = box()->image();
    QCOMPARE(page.pixel(950, 400), kWhite);
    QCOMPARE(page.pixel(965, 400), kHelpGrey);

    // A picture is centred in the grown view, keeps its place to the centre as the view grows
    // again, and can be dragged to the grown view's edges.
    click("btLoad");
    QCOMPARE(box()->geometry(), QRect(436, 286, 100, 50)); // 435.5 and 285.5 to even pixels
    grow({100, 40});
    QCOMPARE(box()->geometry(), QRect(486, 306, 100, 50));
    QCOMPARE(m_window->spareWidth(), float((1071 - 100) * 15));
    QCOMPARE(m_window->spareHeight(), (661 - 50) * 15);
    QTest::mousePress(box(), Qt::LeftButton, {}, QPoint(10, 10));
    m_cursor += QPoint(10000, 10000);
    m_window->onMoveTimer();
    QCOMPARE(box()->geometry(), QRect(971, 611, 100, 50));
    QTest::mouseRelease(box(), Qt::LeftButton, {}, QPoint(10, 10));

    // No smaller than laid out.
    m_window->resize(200, 100);
    QTest::qWait(50);
    QCOMPARE(client->size(), QSize(671, 451));
}

void TestFmPhoto::drawnAtPixelRatio() {
    // The album's drawings at twice the pixels: the same logical size.
    for (const QImage &image : {album::heartImage(2), album::docIcon(2), album::handImage(0, 2), album::handImage(1, 2)}) {
        QCOMPARE(image.size(), QSize(64, 64));
        QCOMPARE(image.deviceIndependentSize(), QSizeF(32, 32));
    }
    QCOMPARE(album::logoImage(2).size(), QSize(256, 64));

    // A box given an image of ratio 2 takes its logical size and shows all of it: its lower
    // right quarter lands in the lower right quarter of the box.
    PictureBox picture;
    QImage image = solid(200, 100, Qt::blue);
    for (int y = 50; y < 100; ++y)
        for (int x = 100; x < 200; ++x) image.setPixel(x, y, qRgb(255, 0, 0));
    image.setDevicePixelRatio(2);
    picture.setImage(image);
    QCOMPARE(picture.size(), QSize(100, 50));
    const QImage shown = picture.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage shownAt1 = shown.scaled(100, 50);
    QCOMPARE(shownAt1.pixel(10, 10), qRgb(0, 0, 255));
    QCOMPARE(shownAt1.pixel(90, 40), qRgb(255, 0, 0));
    QCOMPARE(shownAt1.pixel(40, 40), qRgb(0, 0, 255));
}

QTEST_MAIN(TestFmPhoto)
#include "tst_fmphoto.moc"
