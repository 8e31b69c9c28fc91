#pragma once

#include <QByteArray>
#include <QImage>
#include <QTextImageFormat>
#include <QUrl>

// Pictures of RTF documents: what a \pict group holds, and how it is shown and kept.
namespace rtf {

// A \pict group as read: its kind (the control word naming it, with its parameter), sizes in
// its own units and its bytes.
struct PictureSource {
    QByteArray kind;
    int picw = 0;
    int pich = 0;
    int goalw = 0; // twips
    int goalh = 0;
    int scalex = 100; // per cent
    int scaley = 100;
    QByteArray data;
};

// A picture ready for a document: the image shown (a placeholder for what cannot be drawn) and
// the image format carrying the size shown and, for the writer, the bytes kept. The format has
// no name yet.
struct Picture {
    QTextImageFormat format;
    QImage image;
};

Picture makePicture(const PictureSource &source);
Picture pictureFromImage(const QImage &image);

// A resource name no other picture of the process has.
QUrl newPictureName();

// A device-independent bitmap as a BMP file (the file header RTF leaves out); empty when the
// bitmap header is not valid.
QByteArray bmpFromDib(const QByteArray &dib);

} // namespace rtf
