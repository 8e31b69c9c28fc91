#include "store/rtf/rtfpicture.h"

#include "store/rtf/rtf.h"

#include <QBuffer>
#include <QPainter>

#include <atomic>

namespace rtf {

namespace {

// A picture is shown at most this large (pixels) whatever its file claims.
constexpr qreal kMaxShown = 16000;

quint32 le32(const QByteArray &b, int at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 | quint32(quint8(b[at + 2])) << 16 |
           quint32(quint8(b[at + 3])) << 24;
}
quint16 le16(const QByteArray &b, int at) { return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8); }

void putLe32(QByteArray &b, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

QByteArray encodePng(const QImage &image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// What is shown for a picture that cannot be drawn (a metafile): a grey box of its size.
QImage placeholder(qreal width, qreal height) {
    QImage image(qBound(2, qRound(width), 256), qBound(2, qRound(height), 256), QImage::Format_RGB32);
    image.fill(QColor(0xe8, 0xe8, 0xe8));
    QPainter painter(&image);
    painter.setPen(QColor(0x90, 0x90, 0x90));
    painter.drawRect(0, 0, image.width() - 1, image.height() - 1);
    return image;
}

qreal shown(int twips, int scale) {
    if (scale <= 0) scale = 100;
    return qBound<qreal>(1, qreal(twips) * scale / 100 / 15, kMaxShown);
}

// The size a picture asks for, in twips: its goal, else its own size. Bitmaps measure \picw in
// pixels, metafiles in hundredths of a millimetre; a size from a file may be any number.
int goalTwips(int goal, int size, bool bitmap) {
    if (goal > 0) return goal;
    const qint64 twips = bitmap ? qint64(size) * 15 : qint64(size) * 1440 / 2540;
    return int(qBound(qint64(0), twips, qint64(INT_MAX)));
}

} // namespace

QByteArray bmpFromDib(const QByteArray &dib) {
    if (dib.size() < 12) return {};
    const quint32 headerSize = le32(dib, 0);
    if (headerSize < 12 || headerSize > quint32(dib.size())) return {};
    quint32 palette = 0;
    if (headerSize == 12) {
        const quint16 bits = le16(dib, 10);
        palette = bits <= 8 ? (1u << bits) * 3 : 0;
    } else {
        if (headerSize < 40) return {};
        const quint16 bits = le16(dib, 14);
        const quint32 compression = le32(dib, 16);
        quint32 colors = le32(dib, 32);
        if (colors == 0 && bits <= 8) colors = 1u << bits;
        if (colors > 65536) return {};
        palette = colors * 4;
        if (headerSize == 40 && (compression == 3 || compression == 6)) palette += compression == 3 ? 12 : 16;
    }
    QByteArray bmp("BM");
    putLe32(bmp, quint32(14 + dib.size()));
    putLe32(bmp, 0);
    putLe32(bmp, 14 + headerSize + palette);
    bmp += dib;
    return bmp;
}

QUrl newPictureName() {
    static std::atomic<quint64> counter{0};
    return QUrl(QStringLiteral("qcpict:%1").arg(++counter));
}

Picture makePicture(const PictureSource &source) {
    QByteArray kind = source.kind;
    QByteArray data = source.data;
    if (kind.isEmpty()) {
        if (data.startsWith("\x89PNG")) kind = "pngblip";
        else if (data.startsWith("\xff\xd8")) kind = "jpegblip";
    }
    QImage image;
    bool bitmap = false;
    if (kind == "pngblip" || kind == "jpegblip") {
        image = QImage::fromData(data, kind == "pngblip" ? "PNG" : "JPEG");
        bitmap = true;
    } else if (kind.startsWith("dibitmap")) {
        image = QImage::fromData(bmpFromDib(data), "BMP");
        if (!image.isNull()) {
            data = encodePng(image);
            kind = "pngblip";
        }
        bitmap = true;
    } else if (kind.startsWith("wbitmap")) {
        bitmap = true;
    }
    if (kind.isEmpty()) kind = "wmetafile8";
    int pw = source.picw;
    int ph = source.pich;
    if (!image.isNull()) {
        pw = image.width();
        ph = image.height();
    }
    int goalw = goalTwips(source.goalw, pw, bitmap);
    int goalh = goalTwips(source.goalh, ph, bitmap);
    if (goalw <= 0) goalw = 32 * 15;
    if (goalh <= 0) goalh = 32 * 15;
    const qreal width = shown(goalw, source.scalex);
    const qreal height = shown(goalh, source.scaley);
    if (image.isNull()) image = placeholder(width, height);

    Picture picture;
    picture.image = image;
    picture.format.setWidth(width);
    picture.format.setHeight(height);
    picture.format.setProperty(PictureData, data);
    picture.format.setProperty(PictureKind, QString::fromLatin1(kind));
    picture.format.setProperty(PictureWidth, pw);
    picture.format.setProperty(PictureHeight, ph);
    return picture;
}

Picture pictureFromImage(const QImage &image) {
    Picture picture;
    picture.image = image;
    picture.format.setWidth(qMin<qreal>(image.width(), kMaxShown));
    picture.format.setHeight(qMin<qreal>(image.height(), kMaxShown));
    picture.format.setProperty(PictureData, encodePng(image));
    picture.format.setProperty(PictureKind, QStringLiteral("pngblip"));
    picture.format.setProperty(PictureWidth, image.width());
    picture.format.setProperty(PictureHeight, image.height());
    return picture;
}

} // namespace rtf
