#include "ui/album/fmphoto.h"

#include "store/album/album.h"
#include "ui/album/albumimages.h"
#include "ui/album/albumtext.h"
#include "ui/album/picturebox.h"
#include "store/common/programfolder.h"
#include "store/settings/settings.h"
#include "ui/widgets/ui.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

using album::kTwipsPerPixel;
using album::kViewHeight;
using album::kViewWidth;

constexpr int kClientWidth = 10065; // twips
constexpr int kClientHeight = 6765; // twips
const QColor kHelpBackground(0x90, 0x90, 0x90);
const QColor kHelpForeground(0x27, 0x27, 0x27);
const QColor kViewBackground(0x4a, 0x4a, 0x4a);

// Twips to pixels, to the nearest pixel.
int px(double twips) {
    return int(std::nearbyint(twips / kTwipsPerPixel));
}

QString fontFamily() {
    return QStringLiteral("WenQuanYi Micro Hei");
}

// Prints lines of text on an image the way a picture box does: from a current position, each
// line ending moves the position to the left edge of the next line.
class Printer {
public:
    Printer(QImage &image, const QFont &font) : m_painter(&image), m_font(font) {
        m_painter.setRenderHint(QPainter::TextAntialiasing);
    }
    void moveTo(double xTwips, double yTwips) {
        m_x = xTwips / kTwipsPerPixel;
        m_y = yTwips / kTwipsPerPixel;
    }
    void setY(double yTwips) { m_y = yTwips / kTwipsPerPixel; }
    void setColor(const QColor &color) { m_color = color; }
    void setBold(bool bold) { m_font.setBold(bold); }
    void printLine(const QString &text) {
        m_painter.setFont(m_font);
        m_painter.setPen(m_color);
        const QFontMetrics metrics(m_font);
        if (!text.isEmpty())
            m_painter.drawText(QPointF(std::round(m_x), std::round(m_y) + metrics.ascent()), text);
        m_x = 0;
        m_y += metrics.height();
    }
    QPainter &painter() { return m_painter; }

private:
    QPainter m_painter;
    QFont m_font;
    QColor m_color = Qt::black;
    double m_x = 0;
    double m_y = 0;
};

} // namespace

fmPhoto::fmPhoto(const ProgramFolder &folder, Settings &settings, QWidget *parent)
    : QWidget(parent), m_programFolder(folder), m_settings(settings) {
    QFont windowFont(fontFamily());
    windowFont.setPixelSize(12);
    setFont(windowFont);
    m_boxFont = windowFont;
    setWindowTitle(QStringLiteral("图片浏览"));

    auto *menu = new QMenuBar(this);
    menu->setNativeMenuBar(false);
    auto addCommand = [&](const char *name, const QString &text, void (fmPhoto::*handler)()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    mSave = addCommand("mSave", QStringLiteral("保存图片"), &fmPhoto::onSave);
    mReload = addCommand("mReload", QStringLiteral("重载图片"), &fmPhoto::onReload);
    mClear = addCommand("mClear", QStringLiteral("清空图片"), &fmPhoto::onClear);
    mAbout = addCommand("mAbout", QStringLiteral("帮助"), &fmPhoto::onAbout);

    auto *client = new QWidget(this);
    ui::growable(client, kClientWidth, kClientHeight);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menu);
    layout->addWidget(client);

    // The band first, so the status line lies on it.
    labUnder = ui::place(new QLabel(client), "labUnder", 30, 6390, 6135, 330);
    labUnder->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    labShow =
        ui::place(new QLabel(QStringLiteral("Label1"), client), "labShow", 180, 6465, 5835, 195);
    btFront = ui::place(new QPushButton(QStringLiteral("上一张 "), client), "btFront", 6285, 6405,
                        735, 315);
    btLoad = ui::place(new QPushButton(QStringLiteral("下一张"), client), "btLoad", 7110, 6405, 735,
                       315);
    btHidden = ui::place(new QPushButton(QStringLiteral("隐藏"), client), "btHidden", 8625, 6390,
                         585, 315);
    btBack =
        ui::place(new QPushButton(QStringLiteral("返回"), client), "btBack", 9300, 6390, 585, 315);
    for (QPushButton *button : {btFront, btLoad, btHidden, btBack})
        button->setStyleSheet(QStringLiteral("padding: 0px;"));
    connect(btFront, &QPushButton::clicked, this, &fmPhoto::onFront);
    connect(btLoad, &QPushButton::clicked, this, &fmPhoto::onLoad);
    connect(btHidden, &QPushButton::clicked, this, &fmPhoto::onHidden);
    connect(btBack, &QPushButton::clicked, this, &fmPhoto::onBack);

    picMeimei = ui::place(new QWidget(client), "picMeimei", 0, 0, kViewWidth, kViewHeight);
    picMeimei->setAutoFillBackground(true);
    QPalette viewPalette = picMeimei->palette();
    viewPalette.setColor(QPalette::Window, kViewBackground);
    viewPalette.setColor(QPalette::WindowText, Qt::white);
    picMeimei->setPalette(viewPalette);
    picMeimei->setCursor(album::heartCursor(picMeimei->devicePixelRatioF()));
    picMeimei->installEventFilter(this);
    m_viewSize = picMeimei->size();
    // Grown, the view takes the room; the status line takes the width, the buttons keep to the
    // lower right corner.
    using ui::Bottom, ui::Left, ui::Right, ui::Top;
    ui::anchor(picMeimei, Left | Top | Right | Bottom);
    ui::anchor({labUnder, labShow}, Left | Right | Bottom);
    ui::anchor({btFront, btLoad, btHidden, btBack}, Right | Bottom);

    PicLoad = ui::place(new PictureBox(picMeimei), "PicLoad", 2280, 1830, 4680, 2475);
    PicLoad->setAccessibleName(QStringLiteral("图片"));
    m_left = 2280;
    m_top = 1830;
    connect(PicLoad, &PictureBox::mouseDown, this, &fmPhoto::onPicLoadMouseDown);
    connect(PicLoad, &PictureBox::mouseMove, this, &fmPhoto::onPicLoadMouseMove);
    connect(PicLoad, &PictureBox::mouseUp, this, &fmPhoto::onPicLoadMouseUp);

    tmMove = new QTimer(this);
    tmMove->setObjectName(QStringLiteral("tmMove"));
    tmMove->setInterval(10);
    connect(tmMove, &QTimer::timeout, this, &fmPhoto::onMoveTimer);

    load();
}

fmPhoto::~fmPhoto() = default;

void fmPhoto::load() {
    Mode = 1;
    CurrentIndex = 0;
    m_backColor = Qt::white;
    QImage blank(PicLoad->size(), QImage::Format_RGB32);
    blank.fill(m_backColor);
    PicLoad->setImage(blank);

    m_folder =
        album::pictureFolder(m_settings.ImagesPath, m_programFolder.dir, QDir::homePath());
    tmMove->stop();
    if (!QFileInfo(m_folder).isDir()) QDir().mkdir(m_folder); // one level, as asked
    Pictures = QStringList{album::placeholderName()} + album::listPictures(m_folder);

    PicLoad->setCursor(album::handCursor(0, ratio()));
    ShowHelpPage();
    updateSpare();
}

double fmPhoto::boxWidth() const {
    return double(PicLoad->width()) * kTwipsPerPixel;
}
double fmPhoto::boxHeight() const {
    return double(PicLoad->height()) * kTwipsPerPixel;
}

void fmPhoto::placeBox(float left, float top) {
    m_left = left;
    m_top = top;
    PicLoad->move(px(left), px(top));
}

void fmPhoto::blankBox() {
    // Drawn on at the screen's own pixels, so that the help page is sharp on any screen.
    QImage blank(picMeimei->size() * ratio(), QImage::Format_RGB32);
    blank.setDevicePixelRatio(ratio());
    blank.fill(m_backColor);
    PicLoad->setImage(blank);
    placeBox(0, 0);
    m_helpShown = false;
}

void fmPhoto::updateSpare() {
    SpareWidth = float(viewWidth() - boxWidth());
    SpareHeight = qint32(std::nearbyint(viewHeight() - boxHeight()));
}

double fmPhoto::viewWidth() const {
    return double(picMeimei->width()) * kTwipsPerPixel;
}
double fmPhoto::viewHeight() const {
    return double(picMeimei->height()) * kTwipsPerPixel;
}
qreal fmPhoto::ratio() const {
    return picMeimei->devicePixelRatioF();
}

bool fmPhoto::eventFilter(QObject *watched, QEvent *event) {
    if (watched == picMeimei && event->type() == QEvent::Resize) viewResized();
    return QWidget::eventFilter(watched, event);
}

// The help page fills the view anew, as long as nothing has been drawn on it; anything else the
// box shows keeps its place to the view's centre, and the drag limits follow the view.
void fmPhoto::viewResized() {
    const QSize grown = picMeimei->size() - m_viewSize;
    m_viewSize = picMeimei->size();
    if (grown.isNull()) return;
    if (m_helpShown) {
        ShowHelpPage();
        return;
    }
    placeBox(float(m_left + grown.width() * kTwipsPerPixel / 2.0),
             float(m_top + grown.height() * kTwipsPerPixel / 2.0));
    updateSpare();
}

QPoint fmPhoto::screenCursor() const {
    return m_cursorSource ? m_cursorSource() : QCursor::pos();
}

void fmPhoto::ShowPicture(int &index) {
    const QString name = Pictures.value(index);
    m_backColor = Qt::white;
    const QImage picture = album::readPicture(album::picturePath(m_folder, name));
    if (picture.isNull()) {
        blankBox();
        PicLoad->draw([&](QImage &image) {
            Printer printer(image, m_boxFont);
            printer.setColor(m_foreColor);
            printer.printLine(QString());
            printer.printLine(albumtext::loadFailureText(Pictures.value(CurrentIndex)));
        });
        PicLoad->setFocus();
        return;
    }
    // Transparent parts of the picture show the white background.
    QImage box(picture.size(), QImage::Format_RGB32);
    box.fill(m_backColor);
    QPainter(&box).drawImage(0, 0, picture);
    PicLoad->setImage(box);
    placeBox(float(viewWidth() / 2.0 - boxWidth() / 2), float(viewHeight() / 2.0 - boxHeight() / 2));
    m_helpShown = false;
    PicLoad->setFocus();
}

void fmPhoto::ShowHelpPage() {
    const int n = int(Pictures.size()) - 1;
    const QString folder = QDir::toNativeSeparators(m_folder);
    const QString saveFolder = QDir::toNativeSeparators(
        album::localPath(album::withTrailingSeparator(m_settings.oPicSavePath), m_programFolder.dir,
                         QDir::homePath()));
    const QString configFile = QDir::toNativeSeparators(m_programFolder.path(QStringLiteral("Config.ini")));

    m_backColor = kHelpBackground;
    blankBox();
    updateSpare();
    PicLoad->draw([&](QImage &image) {
        Printer printer(image, m_boxFont);
        QPainter &p = printer.painter();
        p.drawImage(px(805), px(150), album::logoImage(ratio()));
        p.drawImage(px(729), px(150), album::docIcon(ratio()));

        printer.moveTo(6600, 450);
        printer.setBold(true);
        printer.setColor(Qt::white);
        printer.printLine(QStringLiteral("专业铸造品质  精心成就经典"));
        printer.setBold(false);

        // The rules take the text colour in force, white.
        p.setPen(QPen(Qt::white, 1));
        const int ruleEnd = px(boxWidth() - 150);
        p.drawLine(px(100), px(805), ruleEnd, px(805));

        printer.setY(900);
        printer.printLine(QString());
        for (const QString &line : albumtext::helpLines(folder, n, saveFolder, configFile))
            printer.printLine(line);

        p.drawImage(px(7500), px(5550), album::heartImage(ratio()));
        printer.moveTo(8000, 5700);
        printer.setBold(true);
        printer.printLine(QStringLiteral("晴窗 - 相册"));
        printer.setBold(false);
        p.setPen(QPen(Qt::white, 1));
        p.drawLine(px(100), px(6000), ruleEnd, px(6000));
    });
    m_foreColor = kHelpForeground;
    m_helpShown = true;
}

void fmPhoto::stepTo(int how) {
    const int n = int(Pictures.size()) - 1;
    if (n == 0) return;
    CurrentIndex = album::step(album::Step(how), CurrentIndex, n);
    ShowPicture(CurrentIndex);
    updateSpare();
    labShow->setText(album::statusText(Pictures.value(CurrentIndex), CurrentIndex, n));
    setWindowTitle(album::captionText(Pictures.value(CurrentIndex)));
}

void fmPhoto::onLoad() {
    stepTo(int(album::Step::Next));
}
void fmPhoto::onFront() {
    stepTo(int(album::Step::Previous));
}
void fmPhoto::onReload() {
    stepTo(int(album::Step::Reload));
}

void fmPhoto::onClear() {
    blankBox();
    updateSpare();
}

void fmPhoto::onAbout() {
    ShowHelpPage();
}

void fmPhoto::onHidden() { emit hideRequested(); }

void fmPhoto::onBack() { emit backRequested(); }

void fmPhoto::closeEvent(QCloseEvent *event) {
    // Closed from the title bar: unloaded like by "隐藏".
    event->accept();
    emit hideRequested();
}

void fmPhoto::onPicLoadMouseDown(int button, double x, double y) {
    if (button == 1 && Mode == 0) {
        PicLoad->setCursor(album::heartCursor(ratio()));
        // Centred on the click: the heart is 480 twips square.
        const QPoint at(px(x - 240), px(y - 240));
        PicLoad->draw([&](QImage &image) {
            QPainter(&image).drawImage(at, album::heartImage(image.devicePixelRatio()));
        });
        m_helpShown = false;
    } else if (button == 1) {
        PicLoad->setCursor(album::handCursor(1, ratio()));
        CursorNow = screenCursor();
        CursorLast = CursorNow;
        tmMove->start();
    } else if (button == 2) {
        Mode = qint16(1 - Mode);
    }
}

void fmPhoto::onPicLoadMouseMove(int, double, double) {
    labShow->setText(albumtext::modeText(Mode));
}

void fmPhoto::onPicLoadMouseUp(int button, double, double) {
    if (Mode == 0) {
        PicLoad->setCursor(album::heartCursor(ratio()));
    } else {
        PicLoad->setCursor(album::handCursor(0, ratio()));
        tmMove->stop();
    }
    // A drag ends with the button that began it, even when the mode was switched meanwhile;
    // otherwise the picture would go on following a cursor that holds no button.
    if (button == 1) tmMove->stop();
}

void fmPhoto::onMoveTimer() {
    CursorNow = screenCursor();
    const int dx = CursorNow.x() - CursorLast.x();
    CursorLast.setX(CursorNow.x());
    const int dy = CursorNow.y() - CursorLast.y();
    CursorLast.setY(CursorNow.y());
    const album::BoxPosition to = album::dragStep(m_left, m_top, dx, dy, SpareWidth, SpareHeight);
    placeBox(to.left, float(to.top));
}

void fmPhoto::onSave() {
    Settings &settings = m_settings;
    const QString home = QDir::homePath();
    // The folder the file goes to, whether or not the separator is there yet.
    const QString folder = album::localPath(album::withTrailingSeparator(settings.oPicSavePath),
                                            m_programFolder.dir, home);
    if (!QFileInfo(folder).isDir()) QDir().mkdir(folder);

    const album::LogoPlace logo = album::logoPlace(boxWidth(), boxHeight(), settings.noLogo);
    if (logo.drawn) {
        PicLoad->draw([&](QImage &image) {
            QPainter(&image).drawImage(px(logo.x), px(logo.y), album::logoImage(image.devicePixelRatio()));
        });
        m_helpShown = false;
    }

    settings.oPicSavePath = album::withTrailingSeparator(settings.oPicSavePath);
    QString file;
    // The file is the same on any screen: what is drawn at the screen's own pixels is saved at
    // the box's size.
    QImage image = PicLoad->image();
    if (image.devicePixelRatio() != 1) {
        image = image.scaled(image.deviceIndependentSize().toSize(), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
        image.setDevicePixelRatio(1);
    }
    const store::Result saved = album::saveBitmap(
        image, album::localPath(settings.oPicSavePath, m_programFolder.dir, home),
        [this] { return m_programFolder.random(999999); }, &file);
    if (!saved)
        qWarning("saving the picture: %s %s", store::codeName(saved.code), qPrintable(saved.detail));
    labShow->setText(albumtext::saveStatusText(file, saved.ok()));
}
