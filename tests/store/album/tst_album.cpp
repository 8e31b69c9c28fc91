// The album's plain helpers: paths, listing, reading pictures, stepping, texts, drag limits,
// logo place and saving bitmaps.
#include "store/album/album.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace album;

namespace {

QStringList hiddenEntries(const QString &folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// The bits per pixel recorded in a BMP's information header.
int bmpBitCount(const QByteArray &bmp) {
    if (bmp.size() < 30) return -1;
    return quint8(bmp[28]) | (quint8(bmp[29]) << 8);
}

} // namespace

class TestAlbum : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testsupport::dropPrivilegesIfAsked(); }
    void localPath_data();
    void localPath();
    void localPathMatchesCase();
    void listing();
    void readPicture_data();
    void readPicture();
    void stepping_data();
    void stepping();
    void texts();
    void dragLimits_data();
    void dragLimits();
    void logo_data();
    void logo();
    void trailingSeparator_data();
    void trailingSeparator();
    void saveWrites24BitBitmap();
    void saveNeverReplaces();
    void saveFailure();
    void saveIntoReadOnlyFolder();
};

void TestAlbum::localPath_data() {
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("expected"); // "~" home, "@" program directory

    QTest::newRow("drive") << "C:\\Images\\"
                           << "~/Images/";
    QTest::newRow("other drive, lower case") << "d:\\Fotos\\2008"
                                             << "~/Fotos/2008";
    QTest::newRow("drive only") << "C:"
                                << "~/";
    QTest::newRow("drive relative") << "C:PicSave\\"
                                    << "~/PicSave/";
    QTest::newRow("root of the current drive") << "\\PicSave\\"
                                               << "~/PicSave/";
    QTest::newRow("bare separator") << "\\"
                                    << "~/";
    QTest::newRow("relative") << "pics\\sub\\"
                              << "@/pics/sub/";
    QTest::newRow("empty") << ""
                           << "@/";
    QTest::newRow("doubled separator") << "C:\\Images\\\\x"
                                       << "~/Images/x";
    QTest::newRow("this system's own") << "/srv/photos/"
                                       << "/srv/photos/";
    QTest::newRow("own, backslash at the end") << "/srv/photos\\"
                                               << "/srv/photos/";
}

void TestAlbum::localPath() {
    QFETCH(QString, configured);
    QFETCH(QString, expected);
    // Neither folder exists, so no name is matched against the disk.
    const QString home = u"/nonexistent-home/u"_qs;
    const QString program = u"/nonexistent-program"_qs;
    expected.replace(u"~"_qs, home).replace(u"@"_qs, program);
    QCOMPARE(album::localPath(configured, program, home), expected);
}

void TestAlbum::localPathMatchesCase() {
    QTemporaryDir home;
    QVERIFY(QDir(home.path()).mkpath(u"images/Trip"_qs));
    // An existing name is found whatever its case; the missing rest is kept as written.
    QCOMPARE(album::localPath(u"C:\\IMAGES\\trip\\New\\"_qs, u"/x"_qs, home.path()),
             home.path() + u"/images/Trip/New/"_qs);
    QCOMPARE(album::pictureFolder(QString(), home.path(), u"/x"_qs), home.path() + u"/images/"_qs);
    QCOMPARE(album::pictureFolder(u"C:\\Images\\"_qs, u"/x"_qs, home.path()),
             home.path() + u"/images/"_qs);
    // An exact name wins over one that differs in case.
    QVERIFY(QDir(home.path()).mkdir(u"Images"_qs));
    QCOMPARE(album::pictureFolder(QString(), home.path(), u"/x"_qs), home.path() + u"/Images/"_qs);
}

void TestAlbum::listing() {
    QTemporaryDir dir;
    const QString d = dir.path();
    for (const char *name : {"b.PNG", "A.jpg", "notes.txt", "c", ".hidden.png"})
        QVERIFY(testsupport::writeFile(d + u'/' + QLatin1String(name), "x"));
    QVERIFY(QDir(d).mkdir(u"sub"_qs));
    QVERIFY(QDir(d).mkdir(u"sub.jpg"_qs));
    QVERIFY(QFile::link(d + u"/A.jpg"_qs, d + u"/link.jpg"_qs));
    QVERIFY(QFile::link(d + u"/gone"_qs, d + u"/broken.jpg"_qs));
    QCOMPARE(::mkfifo(QFile::encodeName(d + u"/pipe.jpg"_qs).constData(), 0600), 0);

    QCOMPARE(album::listPictures(d),
             (QStringList{u"A.jpg"_qs, u"b.PNG"_qs, u"c"_qs, u"link.jpg"_qs, u"notes.txt"_qs}));
    QCOMPARE(album::listPictures(d + u"/missing"_qs), QStringList());
    // A doubled separator between folder and name does no harm.
    QCOMPARE(album::picturePath(d + u'/', u"A.jpg"_qs), d + u"/A.jpg"_qs);
    QCOMPARE(album::picturePath(d, u"A.jpg"_qs), d + u"/A.jpg"_qs);
}

void TestAlbum::readPicture_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("data"); // empty: made by QImage::save in the named format
    QTest::addColumn<QSize>("size");      // 0 x 0: the picture cannot be read

    QTest::newRow("bmp") << "p.bmp" << QByteArray() << QSize(7, 5);
    QTest::newRow("png") << "p.png" << QByteArray() << QSize(7, 5);
    QTest::newRow("jpeg") << "p.jpg" << QByteArray() << QSize(7, 5);
    QTest::newRow("ico") << "p.ico" << QByteArray() << QSize(7, 5);
    QTest::newRow("cur") << "p.cur" << QByteArray() << QSize(7, 5);
    // One black pixel: header, two-colour table, image descriptor, LZW data, trailer.
    QTest::newRow("gif") << "p.gif"
                         << QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                                       ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x4c\x01\x00;",
                                       35)
                         << QSize(1, 1);
    QTest::newRow("extension lies") << "photo.dat" << QByteArray() << QSize(7, 5);
    QTest::newRow("metafile") << "p.wmf"
                              << QByteArray("\xd7\xcd\xc6\x9a\x00\x00\x00\x00\x00\x00\x10\x00\x10"
                                            "\x00\xa0\x05\x00\x00\x00\x00\x00\x00\x01\x00\x09\x00",
                                            26)
                              << QSize(0, 0);
    QTest::newRow("text") << "readme.txt" << QByteArray("不是图片\r\n") << QSize(0, 0);
    QTest::newRow("empty") << "empty.png" << QByteArray("") << QSize(0, 0);
    QTest::newRow("truncated png")
        << "cut.png" << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10) << QSize(0, 0);
}

void TestAlbum::readPicture() {
    QFETCH(QString, name);
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    const QString path = dir.path() + u'/' + name;
    if (data.isNull()) {
        QImage picture(7, 5, QImage::Format_RGB32);
        picture.fill(QColor(200, 30, 40));
        const QByteArray format =
            name.endsWith(u".dat"_qs) ? "png" : QFileInfo(name).suffix().toLatin1();
        QVERIFY(picture.save(path, format.constData()));
    } else {
        QVERIFY(testsupport::writeFile(path, data));
    }
    const QImage image = album::readPicture(path);
    QCOMPARE(image.size(), size);
    if (name == u"p.gif"_qs) QCOMPARE(image.pixel(0, 0), qRgb(0, 0, 0));
    if (name == u"p.bmp"_qs) QCOMPARE(image.pixel(6, 4), qRgb(200, 30, 40));
}

void TestAlbum::stepping_data() {
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("expected");

    const int next = int(Step::Next), previous = int(Step::Previous), reload = int(Step::Reload);
    QTest::newRow("next from the start") << next << 0 << 5 << 1;
    QTest::newRow("next") << next << 1 << 5 << 2;
    QTest::newRow("next wraps after n") << next << 5 << 5 << 1;
    QTest::newRow("previous from the start") << previous << 0 << 5 << 5;
    QTest::newRow("previous") << previous << 3 << 5 << 2;
    QTest::newRow("previous wraps before 1") << previous << 1 << 5 << 5;
    QTest::newRow("reload at 0") << reload << 0 << 5 << 0;
    QTest::newRow("reload in range") << reload << 4 << 5 << 4;
    QTest::newRow("reload at n") << reload << 5 << 5 << 5;
    QTest::newRow("reload above n") << reload << 7 << 5 << 1;
    QTest::newRow("one picture, next") << next << 1 << 1 << 1;
    QTest::newRow("one picture, previous") << previous << 1 << 1 << 1;
    QTest::newRow("empty folder, next") << next << 0 << 0 << 0;
    QTest::newRow("empty folder, previous") << previous << 0 << 0 << 0;
    QTest::newRow("empty folder, reload") << reload << 0 << 0 << 0;
}

void TestAlbum::stepping() {
    QFETCH(int, how);
    QFETCH(int, current);
    QFETCH(int, n);
    QFETCH(int, expected);
    QCOMPARE(album::step(Step(how), current, n), expected);
}

void TestAlbum::texts() {
    QCOMPARE(album::placeholderName(), u"最爱莓莓"_qs);
    QCOMPARE(album::statusText(u"b.png"_qs, 2, 5), u"b.png  ( 2/5 )"_qs);
    QCOMPARE(album::statusText(u"最爱莓莓"_qs, 0, 12), u"最爱莓莓  ( 0/12 )"_qs);
    QCOMPARE(album::captionText(u"b.png"_qs), u"  b.png"_qs);
    QCOMPARE(album::savedName(0), u"sv0.BMP"_qs);
    QCOMPARE(album::savedName(999999), u"sv999999.BMP"_qs);
}

void TestAlbum::dragLimits_data() {
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<float>("spareWidth");
    QTest::addColumn<int>("spareHeight");
    QTest::addColumn<float>("newLeft");
    QTest::addColumn<int>("newTop");

    // A 100 x 50 pixel picture in the 10065 x 6315 twip view: spare 8565 x 5565.
    QTest::newRow("smaller, free move")
        << 4282.5f << 2782.5f << 3 << -2 << 8565.f << 5565 << 4327.5f << 2752;
    QTest::newRow("smaller, stops at left and top")
        << 4282.5f << 2782.5f << -400 << -400 << 8565.f << 5565 << 0.f << 0;
    QTest::newRow("smaller, stops at right and bottom")
        << 4282.5f << 2782.5f << 400 << 400 << 8565.f << 5565 << 8565.f << 5565;
    // A 1000 x 600 picture: spare -4935 x -2685.
    QTest::newRow("larger, free move")
        << -2467.5f << -1342.5f << -10 << 10 << -4935.f << -2685 << -2617.5f << -1192;
    QTest::newRow("larger, right edge meets view")
        << -2467.5f << -1342.5f << -1000 << -1000 << -4935.f << -2685 << -4935.f << -2685;
    QTest::newRow("larger, left edge meets view")
        << -2467.5f << -1342.5f << 1000 << 1000 << -4935.f << -2685 << 0.f << 0;
    // A 671 x 421 picture fills the view exactly.
    QTest::newRow("equal, cannot move") << 0.f << 0.f << 25 << -25 << 0.f << 0 << 0.f << 0;
    QTest::newRow("equal width, taller") << 0.f << -100.f << 25 << 3 << 0.f << -300 << 0.f << -55;
    QTest::newRow("wider, equal height") << -10.f << 0.f << -1 << 9 << -300.f << 0 << -25.f << 0;
    QTest::newRow("half twip rounds to even") << 0.f << 2.5f << 0 << 0 << 0.f << 100 << 0.f << 2;
    QTest::newRow("cursor far away")
        << 0.f << 0.f << 2000000000 << -2000000000 << 500.f << 500 << 500.f << 0;
}

void TestAlbum::dragLimits() {
    QFETCH(float, left);
    QFETCH(float, top);
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(float, spareWidth);
    QFETCH(int, spareHeight);
    QFETCH(float, newLeft);
    QFETCH(int, newTop);
    const BoxPosition to = album::dragStep(left, top, dx, dy, spareWidth, spareHeight);
    QCOMPARE(to.left, newLeft);
    QCOMPARE(to.top, newTop);
}

void TestAlbum::logo_data() {
    QTest::addColumn<int>("width");  // pixels
    QTest::addColumn<int>("height"); // pixels
    QTest::addColumn<int>("noLogo");
    QTest::addColumn<bool>("drawn");

    QTest::newRow("room for it") << 300 << 200 << 0 << true;
    QTest::newRow("132 wide") << 132 << 200 << 0 << false;
    QTest::newRow("133 wide") << 133 << 200 << 0 << true;
    QTest::newRow("40 high") << 300 << 40 << 0 << false;
    QTest::newRow("41 high") << 300 << 41 << 0 << true;
    QTest::newRow("noLogo 1") << 300 << 200 << 1 << false;
    QTest::newRow("noLogo -1") << 300 << 200 << -1 << false;
}

void TestAlbum::logo() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, noLogo);
    QFETCH(bool, drawn);
    const LogoPlace place = album::logoPlace(width * 15.0, height * 15.0, qint16(noLogo));
    QCOMPARE(place.x, width * 15.0 - 1983);
    QCOMPARE(place.y, height * 15 - 600);
    QCOMPARE(place.drawn, drawn);
}

void TestAlbum::trailingSeparator_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("kept") << "C:\\PicSave\\"
                          << "C:\\PicSave\\";
    QTest::newRow("added") << "C:\\PicSave"
                           << "C:\\PicSave\\";
    QTest::newRow("empty") << ""
                           << "\\";
    QTest::newRow("own form") << "/srv/save/"
                              << "/srv/save/";
    QTest::newRow("own form, added") << "/srv/save"
                                     << "/srv/save\\";
}

void TestAlbum::trailingSeparator() {
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(album::withTrailingSeparator(folder), expected);
}

void TestAlbum::saveWrites24BitBitmap() {
    QTemporaryDir dir;
    QImage image(5, 3, QImage::Format_RGB32);
    image.fill(QColor(1, 2, 3));
    image.setPixel(4, 2, qRgb(250, 128, 7));
    QString file;
    QVERIFY(album::saveBitmap(
        image, dir.path(), [] { return qint64(42); }, &file));
    QCOMPARE(file, dir.path() + u"/sv42.BMP"_qs);

    const QByteArray bmp = testsupport::readFile(file);
    QCOMPARE(bmp.left(2), QByteArray("BM"));
    QCOMPARE(bmpBitCount(bmp), 24);
    const QImage back(file);
    QCOMPARE(back.size(), QSize(5, 3));
    QCOMPARE(back.pixel(0, 0), qRgb(1, 2, 3));
    QCOMPARE(back.pixel(4, 2), qRgb(250, 128, 7));
    QCOMPARE(hiddenEntries(dir.path()), QStringList{u"sv42.BMP"_qs}); // no temporary file left
}

void TestAlbum::saveNeverReplaces() {
    QTemporaryDir dir;
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(testsupport::writeFile(dir.path() + u"/sv5.BMP"_qs, "earlier picture"));
    QVERIFY(QFile::link(dir.path() + u"/nowhere"_qs, dir.path() + u"/sv6.BMP"_qs));

    // Taken names are drawn again.
    QList<qint64> draws{5, 6, 5, 7};
    QString file;
    QVERIFY(album::saveBitmap(
        image, dir.path(), [&] { return draws.takeFirst(); }, &file));
    QCOMPARE(file, dir.path() + u"/sv7.BMP"_qs);
    QVERIFY(draws.isEmpty());
    QCOMPARE(testsupport::readFile(dir.path() + u"/sv5.BMP"_qs), QByteArray("earlier picture"));
    QVERIFY(QFileInfo(dir.path() + u"/sv6.BMP"_qs).isSymLink());

    // A generator that keeps drawing a taken name: the next free name in order is used.
    int calls = 0;
    QVERIFY(album::saveBitmap(
        image, dir.path(),
        [&] {
            ++calls;
            return qint64(5);
        },
        &file));
    QCOMPARE(file, dir.path() + u"/sv8.BMP"_qs);
    QCOMPARE(calls, 100);
    QCOMPARE(testsupport::readFile(dir.path() + u"/sv5.BMP"_qs), QByteArray("earlier picture"));

    // The count wraps from the last name to the first.
    QVERIFY(testsupport::writeFile(dir.path() + u"/sv999999.BMP"_qs, "last"));
    QVERIFY(album::saveBitmap(
        image, dir.path(), [] { return qint64(999999); }, &file));
    QCOMPARE(file, dir.path() + u"/sv0.BMP"_qs);
    QCOMPARE(testsupport::readFile(dir.path() + u"/sv999999.BMP"_qs), QByteArray("last"));
}

void TestAlbum::saveFailure() {
    QTemporaryDir dir;
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QString file;
    const store::Result r = album::saveBitmap(
        image, dir.path() + u"/missing"_qs, [] { return qint64(3); }, &file);
    QCOMPARE(r.code, store::Code::IoError);
    QVERIFY2(r.detail.startsWith(dir.path() + u"/missing/"_qs), qPrintable(r.detail));
    QCOMPARE(file, dir.path() + u"/missing/sv3.BMP"_qs);
    QVERIFY(!QFileInfo::exists(file));
    // Nothing to save is refused before any file is made.
    QCOMPARE(album::saveBitmap(QImage(), dir.path(), [] { return qint64(3); }, &file).code,
             store::Code::BadInput);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

// A folder that cannot be written leaves nothing behind.
void TestAlbum::saveIntoReadOnlyFolder() {
    if (::geteuid() == 0) {
        const QString failure = testsupport::runUnprivileged(u"saveIntoReadOnlyFolder"_qs);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        return;
    }
    QTemporaryDir dir;
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QString file;
    const QString locked = dir.path() + u"/locked"_qs;
    QVERIFY(QDir().mkdir(locked));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(!testsupport::writeFile(locked + u"/probe"_qs, "x"));
    QCOMPARE(album::saveBitmap(image, locked, [] { return qint64(3); }, &file).code,
             store::Code::IoError);
    QCOMPARE(hiddenEntries(locked), QStringList());
}

QTEST_MAIN(TestAlbum)
#include "tst_album.moc"
