#include "store/common/codepage.h"

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

QStringEncoder &gb18030Encoder() {
    thread_local QStringEncoder e("GB18030");
    return e;
}

QStringDecoder &gb18030Decoder() {
    thread_local QStringDecoder d("GB18030");
    return d;
}

bool isLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x81 && static_cast<unsigned char>(c) <= 0xfe; }
bool isDigitByte(char c) { return c >= 0x30 && c <= 0x39; }

bool isFourByte(QByteArrayView b, qsizetype at) {
    return at + 3 < b.size() && isLeadByte(b[at]) && isDigitByte(b[at + 1]) && isLeadByte(b[at + 2]) &&
           isDigitByte(b[at + 3]);
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

QByteArray encodeLossless(QStringView text) {
    if (isAscii(text)) return text.toLatin1();
    QByteArray out;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const QStringView ch = text.sliced(i, len);
        if (ch[0].unicode() >= 0x80 && (len == 2 || encode(ch) == "?")) {
            QStringEncoder &e = gb18030Encoder();
            e.resetState();
            const QByteArray four = e.encode(ch);
            e.resetState();
            // Only a four-byte sequence is unmistakable; a character GB18030 puts into the
            // two-byte area (where code page 936 reads something else) stays a "?".
            if (four.size() == 4 && isFourByte(four, 0)) {
                out += encode(text.sliced(runStart, i - runStart));
                out += four;
                runStart = i + len;
            }
        }
        i += len;
    }
    out += encode(text.sliced(runStart));
    return out;
}

QString decodeLossless(QByteArrayView bytes) {
    if (isAscii(bytes)) return QString::fromLatin1(bytes);
    QString out;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
        } else if (isFourByte(bytes, i)) {
            out += decode(bytes.sliced(runStart, i - runStart));
            QStringDecoder &d = gb18030Decoder();
            d.resetState();
            out += d.decode(bytes.sliced(i, 4));
            d.resetState();
            i += 4;
            runStart = i;
        } else {
            i += 2; // a lead byte and its trail byte
        }
    }
    out += decode(bytes.sliced(runStart));
    return out;
}

} // namespace cp936
