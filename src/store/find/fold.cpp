#include "store/find/fold.h"

#include <QHash>

#include <algorithm>

namespace find {

namespace {

// Characters that NFKC and case folding leave alone, checked before asking Qt: the CJK
// ideographs and Hangul syllables that make up most of a Chinese diary.
bool isStable(char16_t c) {
    return (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) || (c >= 0xac00 && c <= 0xd7a3);
}

bool isMark(QStringView text, qsizetype i) {
    if (i >= text.size()) return false;
    const char16_t c = text[i].unicode();
    return c >= 0x300 && !isStable(c) && QChar::isMark(c);
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
    // Written through a pointer: most characters fold to one, so the text's own length is room
    // enough until a character expands.
    QString out(text.size(), Qt::Uninitialized);
    qsizetype used = 0;
    auto put = [&](QStringView s) {
        if (used + s.size() > out.size()) out.resize(qMax(out.size() * 2, used + s.size()));
        std::copy(s.begin(), s.end(), out.data() + used);
        used += s.size();
    };
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
            const QChar f(c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c);
            put(QStringView(&f, 1));
            ++i;
        } else if (isStable(c) && !marked) {
            put(text.sliced(i, 1));
            ++i;
        } else if (c >= 0xff01 && c <= 0xff5e && !marked) {
            // Full-width ASCII: its half-width form.
            const char16_t half = char16_t(c - 0xfee0);
            const QChar f(half >= 'A' && half <= 'Z' ? char16_t(half + 32) : half);
            put(QStringView(&f, 1));
            ++i;
        } else if (!QChar::isSurrogate(c) && !marked) {
            put(foldOne(c));
            ++i;
        } else {
            // A character with its combining marks (or a surrogate pair) is folded as a whole.
            i += QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate() ? 2 : 1;
            while (isMark(text, i))
                ++i;
            put(text.sliced(start, i - start).toString().normalized(QString::NormalizationForm_KC).toCaseFolded());
        }
        if (origin)
            while (origin->size() < used)
                origin->append(start);
    }
    out.resize(used);
    return out;
}

QString fold(QStringView text) { return fold(text, nullptr); }

} // namespace find
