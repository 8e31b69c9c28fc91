#include "store/album/album.h"

#include "store/common/savefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <limits>


namespace album {

namespace {

// Decoded pictures may take this many megabytes; larger ones fail to load like any bad file.
constexpr int kPictureMegabytes = 256;
// Random names drawn before the free names are searched in order.
constexpr int kRandomDraws = 100;
constexpr qint64 kNameCount = 1000000; // "sv0" to "sv999999"

QString joinPath(const QString &dir, const QString &name) {
    if (dir.isEmpty()) return name;
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

// Windows finds "images" when asked for "Images"; so does this, one component at a time, as
// long as the path exists so far.
QString matchCase(const QString &path) {
    const bool absolute = path.startsWith(QLatin1Char('/'));
    const bool trailing = path.endsWith(QLatin1Char('/'));
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = absolute ? QStringLiteral("/") : QString();
    bool searching = true;
    for (const QString &part : parts) {
        QString next = joinPath(current, part);
        if (searching && part != u"."_qs && part != u".."_qs && !QFileInfo(next).exists() &&
            !QFileInfo(next).isSymLink()) {
            const QDir dir(current.isEmpty() ? QStringLiteral(".") : current);
            const QStringList names = dir.entryList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
            const auto found = std::find_if(names.begin(), names.end(), [&](const QString &name) {
                return name.compare(part, Qt::CaseInsensitive) == 0;
            });
            if (found != names.end())
                next = joinPath(current, *found);
            else
                searching = false; // nothing further down can exist
        }
        current = next;
    }
    if (trailing && !current.endsWith(QLatin1Char('/'))) current += QLatin1Char('/');
    return current;
}

bool isDriveLetter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

} // namespace

QString placeholderName() {
    return QStringLiteral("最爱莓莓");
}

QString localPath(const QString &configured, const QString &programDir, const QString &home) {
    QString s = configured;
    s.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (configured.startsWith(QLatin1Char('/'))) return matchCase(s); // already this system's
    QString base;
    if (s.size() >= 2 && isDriveLetter(s[0]) && s[1] == u':') {
        base = home;
        s.remove(0, 2);
    } else if (s.startsWith(QLatin1Char('/'))) {
        base = home; // the root of the current drive
    } else {
        base = programDir;
    }
    while (s.startsWith(QLatin1Char('/')))
        s.remove(0, 1);
    QString joined = base;
    if (!joined.endsWith(QLatin1Char('/'))) joined += QLatin1Char('/');
    return matchCase(joined + s);
}

QString pictureFolder(const QString &imagesPath, const QString &programDir, const QString &home) {
    if (!imagesPath.isEmpty()) return localPath(imagesPath, programDir, home);
    return localPath(QStringLiteral("Images\\"), programDir, home);
}

QStringList listPictures(const QString &folder) {
    const QDir dir(folder);
    // Without QDir::Hidden and QDir::System, hidden files, sockets, pipes, devices and broken
    // links stay out; folders are not asked for.
    return dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
}

QString picturePath(const QString &folder, const QString &name) {
    return joinPath(folder, name);
}

QImage readPicture(const QString &path) {
    // Only regular files: reading a pipe put in the folder would never end.
    if (!QFileInfo(path).isFile()) return {};
    QImageReader reader(path);
    reader.setAllocationLimit(kPictureMegabytes);
    reader.setAutoTransform(true);
    return reader.read();
}

int step(Step how, int current, int n) {
    if (n <= 0) return current;
    switch (how) {
    case Step::Next:
        return current + 1 > n ? 1 : current + 1;
    case Step::Previous:
        return current - 1 < 1 ? n : current - 1;
    case Step::Reload:
        return current > n ? 1 : current;
    }
    return current;
}

QString statusText(const QString &name, int i, int n) {
    return name + u"  ( "_qs + QString::number(i) + u'/' + QString::number(n) + u" )"_qs;
}

QString captionText(const QString &name) {
    return u"  "_qs + name;
}

BoxPosition dragStep(float left, float top, int dx, int dy, float spareWidth, qint32 spareHeight) {
    float newLeft = float(double(left) + double(kTwipsPerPixel) * dx);
    const double topTwips = std::nearbyint(double(top) + double(kTwipsPerPixel) * dy);
    // The limits below lie within 32 bits; clamping first keeps the conversion defined.
    qint64 newTop = qint64(std::clamp(topTwips, double(std::numeric_limits<qint32>::min()),
                                      double(std::numeric_limits<qint32>::max())));
    if (spareWidth < 0) {
        newLeft = std::min(std::max(newLeft, spareWidth), 0.0f);
    } else {
        newLeft = std::max(std::min(newLeft, spareWidth), 0.0f);
    }
    if (spareHeight <= 0) {
        newTop = std::min<qint64>(std::max<qint64>(newTop, spareHeight), 0);
    } else {
        newTop = std::max<qint64>(std::min<qint64>(newTop, spareHeight), 0);
    }
    return {newLeft, qint32(newTop)};
}

LogoPlace logoPlace(double boxWidth, double boxHeight, qint16 noLogo) {
    const double x = boxWidth - 1983;
    const qint32 y = qint32(std::nearbyint(boxHeight - 600));
    return {x, y, x > 0 && y > 0 && noLogo == 0};
}

QString withTrailingSeparator(const QString &saveFolder) {
    // A folder written in this system's own form ends in "/" and needs nothing more.
    if (saveFolder.endsWith(QLatin1Char('\\')) || saveFolder.endsWith(QLatin1Char('/')))
        return saveFolder;
    return saveFolder + QLatin1Char('\\');
}

QString savedName(qint64 k) {
    return u"sv"_qs + QString::number(k) + u".BMP"_qs;
}

store::Result saveBitmap(const QImage &image, const QString &folder,
                         const std::function<qint64()> &draw, QString *file) {
    qint64 k = draw();
    *file = joinPath(folder, savedName(k));

    // The whole bitmap goes to a hidden temporary file beside its final name first and is then
    // renamed to a name nobody holds (and the folder forced to disk): a failure leaves nothing half
    // written, and rename never replaces an existing file.
    if (image.isNull()) return store::Result::failure(store::Code::BadInput, u"no picture"_qs);
    QTemporaryFile temporary(joinPath(folder, QStringLiteral(".svXXXXXX.tmp")));
    // An unopened temporary file has no name yet: the detail names the picture's.
    if (!temporary.open())
        return store::Result::failure(store::Code::IoError, *file + u": "_qs + temporary.errorString());
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    if (!rgb.save(&temporary, "BMP")) return store::fileError(temporary);
    if (store::Result flushed = store::flushToDisk(temporary); !flushed) return flushed;
    const QString temporaryName = temporary.fileName();
    temporary.close();

    for (qint64 attempt = 0; attempt < kRandomDraws + kNameCount; ++attempt) {
        if (attempt > 0) {
            // Past the random draws, the names are tried in order from the last one drawn.
            k = attempt < kRandomDraws ? draw() : (k + 1) % kNameCount;
            *file = joinPath(folder, savedName(k));
        }
        const QFileInfo target(*file);
        if (target.exists() || target.isSymLink()) continue;
        if (QFile::rename(temporaryName, *file)) {
            temporary.setAutoRemove(false);
            store::syncFolderOf(*file);
            return store::Result::success(*file);
        }
        const QFileInfo after(*file);
        if (!after.exists() && !after.isSymLink()) // not a taken name: give up
            return store::Result::failure(store::Code::IoError, *file + u": cannot be renamed into"_qs);
    }
    return store::Result::failure(store::Code::IoError, folder + u": no free name"_qs);
}

} // namespace album
