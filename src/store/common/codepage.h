#pragma once

#include <QByteArray>
#include <QString>

// Code page 936 (GBK), the program's one text encoding for files and the network.
namespace cp936 {

// True when the platform can convert code page 936; checked once at start.
bool available();

// Characters that code page 936 cannot hold become "?" (one per character).
QByteArray encode(QStringView text);

// Bytes that are not valid code page 936 decode to U+FFFD or the platform's private-use mapping.
QString decode(QByteArrayView bytes);

// Code page 936 that loses no character: each character the code page cannot hold (an emoji, a
// rare CJK character such as U+20000) is written as its four-byte GB18030 sequence, whose bytes 1
// and 3 lie in 0x81-0xFE and bytes 2 and 4 in 0x30-0x39, a pattern code-page-936 text never
// holds. Every character of the code page keeps its bytes, so such text reads as before.
QByteArray encodeLossless(QStringView text);
// Reads code page 936 and the four-byte sequences above.
QString decodeLossless(QByteArrayView bytes);

} // namespace cp936
