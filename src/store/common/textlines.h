#pragma once

#include <QByteArrayView>
#include <QList>
#include <QStringView>

// Lines of a text file as the program reads them: a line ends at CR or at CR LF; a line feed
// alone belongs to the line. A final line without CR is still a line; a file that ends with a
// line break has no empty line after it. Works on decoded text and on code-page-936 bytes alike
// (no double-byte character contains a CR).
template <typename View> QList<View> splitLines(View text) {
    QList<View> lines;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        const qsizetype cr = text.indexOf('\r', pos);
        if (cr < 0) {
            lines.append(text.sliced(pos));
            break;
        }
        lines.append(text.sliced(pos, cr - pos));
        pos = cr + 1;
        if (pos < n && text.at(pos) == '\n') ++pos;
    }
    return lines;
}
