#include "find/fold.h"

#include <QHash>

namespace find {

namespace {

// Characters that NFKC and case folding leave alone, checked before asking Qt: the CJK
// ideographs and Hangul syllables that make up most of a Chinese diary.
bool isStable(char16_t c) {
    return (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) || (c >= 0xac00 && c <= 0xd7a3);
}

bool isMark(QStringView text, qsizetype i) {
    return i < text.size() && text[i].unicode() >= 0x300 && text[i].isMark();
}

// The folded form of one BMP character without marks, remembered per thread.
const QString &foldOne(char16_t c) {
    thread_local QHash<char16_t, QString> folded;
    auto it = folded.constFind(c);
    if (it == folded.constEnd()) it = folded.insert(c, QString(QChar(c)).normalized(QString::NormalizationForm_KC).toCaseFolded());
    return *it;
}

} // namespace

QString fold(QStringView text, QList<qsizetype> *origin) {
    QString out;
    out.reserve(text.size());
    if (origin) {
        origin->clear();
        origin->reserve(text.size());
    }
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const char16_t c = text[i].unicode();
        const qsizetype start = i;
        const bool marked = isMark(text, i + 1);
        if (c < 0x80 && !marked) {
            out += QChar(c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c);
            ++i;
        } else if (isStable(c) && !marked) {
            out += QChar(c);
            ++i;
        } else if (c >= 0xff01 && c <= 0xff5e && !marked) {
            // Full-width ASCII: its half-width form.
            const char16_t half = char16_t(c - 0xfee0);
            out += QChar(half >= 'A' && half <= 'Z' ? char16_t(half + 32) : half);
            ++i;
        } else if (!QChar::isSurrogate(c) && !marked) {
            out += foldOne(c);
            ++i;
        } else {
            // A character with its combining marks (or a surrogate pair) is folded as a whole.
            i += QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate() ? 2 : 1;
            while (isMark(text, i))
                ++i;
            out += text.sliced(start, i - start).toString().normalized(QString::NormalizationForm_KC).toCaseFolded();
        }
        if (origin)
            while (origin->size() < out.size())
                origin->append(start);
    }
    return out;
}

QString fold(QStringView text) { return fold(text, nullptr); }

} // namespace find
