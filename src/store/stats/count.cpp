#include "store/stats/count.h"

namespace stats {

namespace {

// Counted one by one: Han, kana and hangul, with the marks that belong to them (々 is a Han
// letter, ー and the kana iteration marks are "common" in Unicode but written as kana).
bool countsAlone(char32_t c) {
    if (c < 0x1100) return false;
    switch (QChar::script(c)) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
        break;
    default:
        return c >= 0x3000 && c <= 0x30ff && QChar::category(c) == QChar::Letter_Modifier;
    }
    switch (QChar::category(c)) {
    case QChar::Letter_Other:
    case QChar::Letter_Modifier:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Uppercase:
    case QChar::Letter_Titlecase:
    case QChar::Number_Letter:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

// The punctuation of Chinese text (，。、：“”……【】 and their kin), known without a table look-up.
bool isCommonPunctuation(char32_t c) {
    return (c >= 0x3000 && c <= 0x3004) || (c >= 0x3008 && c <= 0x3020) ||
           (c >= 0x2010 && c <= 0x2027 && c != 0x2019) || (c >= 0xff01 && c <= 0xff0f) ||
           (c >= 0xff1a && c <= 0xff20) || (c >= 0xff3b && c <= 0xff40) ||
           (c >= 0xff5b && c <= 0xff65);
}

bool isLetterOrDigit(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return QChar::isLetterOrNumber(c);
}

bool isDigit(char32_t c) {
    return c < 0x80 ? c >= '0' && c <= '9' : QChar::isDigit(c);
}

bool isMark(char32_t c) {
    return c >= 0x300 && QChar::isMark(c);
}

// The code point at i and its length in UTF-16 units.
char32_t at(QStringView text, qsizetype i, int *length) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        *length = 2;
        return QChar::surrogateToUcs4(c, text[i + 1]);
    }
    *length = 1;
    return c.unicode();
}

char32_t next(QStringView text, qsizetype i) {
    if (i >= text.size()) return 0;
    int length;
    return at(text, i, &length);
}

// Inside a run: the characters that join two letters or two digits.
bool joins(char32_t c, char32_t before, char32_t after) {
    if (c == '\'' || c == 0x2019)
        return QChar::isLetter(before) && QChar::isLetter(after) && !countsAlone(after);
    if (c == '.' || c == ',') return isDigit(before) && isDigit(after);
    return false;
}

} // namespace

qsizetype characterCount(QStringView text) {
    qsizetype count = 0;
    bool inRun = false;
    char32_t previous = 0;
    for (qsizetype i = 0; i < text.size();) {
        int length;
        const char32_t c = at(text, i, &length);
        if (c < 0x80) {
            // Most of a diary's Latin text: no table look-up.
            if (isLetterOrDigit(c)) {
                if (!inRun) ++count;
                inRun = true;
            } else if (!(inRun && joins(c, previous, next(text, i + 1)))) {
                inRun = false;
            }
        } else if ((c >= 0x4e00 && c <= 0x9fff) || (c >= 0x3400 && c <= 0x4dbf)) {
            // The common Han blocks, every one of them a letter: no table look-up.
            ++count;
            inRun = false;
        } else if (isCommonPunctuation(c)) {
            inRun = false;
        } else if (countsAlone(c)) {
            ++count;
            inRun = false;
        } else if (isLetterOrDigit(c)) {
            if (!inRun) ++count;
            inRun = true;
        } else if (isMark(c)) {
            // A mark stays with the letter before it and starts nothing.
        } else if (!(inRun && joins(c, previous, next(text, i + length)))) {
            inRun = false;
        }
        previous = c;
        i += length;
    }
    return count;
}

namespace {

bool isTagCharacter(char32_t c) {
    if (c == '_') return true;
    if (c < 0x80) return isLetterOrDigit(c);
    return QChar::isLetterOrNumber(c) || isMark(c) || QChar::script(c) == QChar::Script_Han;
}

// The characters a web address is written with, none of them a blank.
bool isAddressCharacter(QChar c) {
    return c.unicode() > 0x20 && c.unicode() < 0x7f && c != u'"' && c != u'<' && c != u'>';
}

// Whether the "#" at hash stands inside a web address: the address characters before it hold
// "://" or begin with "www.".
bool inAddress(QStringView text, qsizetype hash) {
    qsizetype start = hash;
    while (start > 0 && isAddressCharacter(text[start - 1]))
        --start;
    const QStringView before = text.sliced(start, hash - start);
    return before.contains(u"://") || before.startsWith(u"www.", Qt::CaseInsensitive);
}

} // namespace

QStringList tagsIn(QStringView text) {
    QStringList tags;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'#' && text[i] != u'＃') continue;
        if (i > 0) {
            const char16_t before = text[i - 1].unicode();
            if (before == '&' || (before < 0x80 && isLetterOrDigit(before))) continue;
            if (text[i] == u'#' && inAddress(text, i)) continue;
        }
        qsizetype end = i + 1;
        while (end < text.size()) {
            int length;
            const char32_t c = at(text, end, &length);
            if (!isTagCharacter(c)) break;
            end += length;
        }
        if (end == i + 1) continue;
        tags.append(u'#' + text.sliced(i + 1, end - i - 1).toString());
        i = end - 1;
    }
    return tags;
}

} // namespace stats
