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

} // namespace cp936
