#pragma once

#include "store/common/storeresult.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

// What the album needs that is no window: paths from the settings file, the folder listing,
// the texts it shows, stepping through the list, the drag limits and saving a picture.
namespace album {

// The view and the box work in twips, 15 to a pixel.
constexpr int kTwipsPerPixel = 15;
constexpr int kViewWidth = 10065; // twips
constexpr int kViewHeight = 6315; // twips

// The placeholder at index 0 of the list of pictures.
QString placeholderName();

// A folder or file as the settings file names it, as a path of this system: "\" is the
// separator, a drive prefix ("C:\", "C:") and a bare leading "\" stand for home, a path
// without either is relative to programDir, and a path already in this system's form ("/...")
// is kept. A name that does not exist is matched without regard to case, as Windows would.
// A trailing separator is kept.
QString localPath(const QString &configured, const QString &programDir, const QString &home);

// The picture folder: imagesPath when it is not empty, else programDir's "Images" folder.
QString pictureFolder(const QString &imagesPath, const QString &programDir, const QString &home);

// Names of the files of folder, hidden and system entries and folders left out, in the order
// of their names without regard to case (as Windows lists them). Every other file counts.
QStringList listPictures(const QString &folder);

// The picture of that name in folder.
QString picturePath(const QString &folder, const QString &name);

// Reads a picture; a null image when the file is no picture this program can read (metafiles
// included), is no regular file, or would take more memory than a picture may.
QImage readPicture(const QString &path);

// Stepping through pictures 1 to n. The current index may be 0 (none chosen yet).
enum class Step { Next, Previous, Reload };
int step(Step how, int current, int n);

// The status line and the caption for picture i of n.
QString statusText(const QString &name, int i, int n);
QString captionText(const QString &name);

// One tick of dragging: the box moves by the cursor's movement (pixels) and stays within the
// limits set by the space the view has left beside it (twips; negative when the picture is
// larger than the view).
struct BoxPosition {
    float left;
    qint32 top;
};
BoxPosition dragStep(float left, float top, int dx, int dy, float spareWidth, qint32 spareHeight);

// Where the logo goes on a box of that size (twips), and whether it goes at all.
struct LogoPlace {
    double x;
    qint32 y;
    bool drawn;
};
LogoPlace logoPlace(double boxWidth, double boxHeight, qint16 noLogo);

// The save folder with a separator at its end, as the settings keep it from the first save on.
QString withTrailingSeparator(const QString &saveFolder);

// The name of a saved picture: "sv" + k + ".BMP".
QString savedName(qint64 k);

// Saves image as a 24-bit Windows bitmap into folder (a path of this system) under a name
// drawn by draw() (0 to 999999). A name already taken is drawn again, so no earlier picture is
// ever replaced; the file appears whole or not at all. file is the name tried (the one saved on
// success, also the result's path). BadInput for a null image; IoError, with the file and the
// reason as detail, when writing or renaming failed or every name is taken.
store::Result saveBitmap(const QImage &image, const QString &folder,
                         const std::function<qint64()> &draw, QString *file);

} // namespace album
