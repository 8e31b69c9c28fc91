#include "platform/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace cp936 {

namespace {

bool isAscii(QStringView text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80) return false;
    return true;
}

bool isAscii(QByteArrayView bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Opening an ICU converter costs far more than converting a line, so each thread keeps one.
QStringEncoder &encoder() {
    thread_local QStringEncoder e("GBK");
    return e;
}

QStringDecoder &decoder() {
    thread_local QStringDecoder d("GBK");
    return d;
}

} // namespace

bool available() { return encoder().isValid() && decoder().isValid(); }

QByteArray encode(QStringView text) {
    if (isAscii(text)) return text.toLatin1();
    QStringEncoder &e = encoder();
    e.resetState();
    QByteArray out = e.encode(text);
    e.resetState();
    return out;
}

QString decode(QByteArrayView bytes) {
    if (isAscii(bytes)) return QString::fromLatin1(bytes);
    QStringDecoder &d = decoder();
    d.resetState();
    QString out = d.decode(bytes);
    d.resetState();
    return out;
}

} // namespace cp936
