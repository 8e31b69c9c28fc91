#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <array>
#include <climits>

// The tokens of RTF, walked one way by both readers of the program: the one that builds a
// document and the scanner that keeps only the plain text (find/rtftext). What a token means is
// theirs; where one token ends and the next begins is decided here alone.
namespace rtf::tokens {

constexpr int kMaxDepth = 1000; // groups nested deeper are refused

inline bool isAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// The value of a hex digit, -1 for any other byte; a table, as nearly every character of a
// Chinese diary is written \'hh\'hh.
inline constexpr auto kHexValues = [] {
    std::array<signed char, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[size_t(c)] = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    return t;
}();
inline int hexValue(unsigned char c) { return kHexValues[c]; }

// Destinations whose content is no text of the document: their groups are passed over.
inline constexpr const char *kSkippedDestinations[] = {
    "stylesheet", "info", "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr",
    "footerf", "footnote", "annotation", "fldinst", "listtable", "listoverridetable", "revtbl", "rsidtbl",
    "generator", "themedata", "colorschememapping", "datastore", "latentstyles", "xmlnstbl", "pgptbl",
    "pn", "pntxta", "pntxtb", "objdata", "objclass", "objname", "txe", "xe", "tc", "rxe", "bkmkstart",
    "bkmkend", "template", "docvar", "userprops", "comment", "atnid", "atnauthor", "atrfstart", "atrfend",
    "atndate", "atnref", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn", "fchars", "lchars",
    "sp", "sn", "sv", "shpinst", "nonesttables", "filetbl", "listpicture", "protusertbl", "falt", "panose",
    "fname", "blipuid", "picprop", "mmathPr", "title", "subject", "author", "operator", "keywords",
    "doccomm", "company", "passwordhash", "pgdsctbl", "formfield", "datafield", "xform", "wgrffmtfilter",
    "background", "do", "list", "listoverride", "listlevel", "leveltext", "levelnumbers", "listname",
    "levelmarker", "pnseclvl", "fontemb", "fontfile", "oldcprops", "oldpprops", "oldsprops", "oldtprops",
    "nesttableprops", "defchp", "defpap", "lsdlockedexcept",
};

// Destinations whose content is shown as text: field results, list bullets, objects' results.
inline constexpr const char *kShownDestinations[] = {"fldrslt", "field", "pntext", "listtext", "result",
                                                     "object", "shprslt"};

// The character a control symbol stands for in the text: \~ \- \_ and a backslash before a tab;
// 0 for the others.
inline char16_t symbolCharacter(unsigned char d) {
    switch (d) {
    case '~': return 0x00a0;
    case '-': return 0x00ad;
    case '_': return 0x2011;
    case '\t': return '\t';
    default: return 0;
    }
}

// Walks data from its first group to the end of that group (white space before it is passed
// over), handing each token to the handler, which keeps the groups:
//
//   bool openGroup()           a "{"; false ends the walk (nested too deep, say)
//   bool closeGroup()          a "}"; true when that was the document's own group: the walk ends
//   bool inGroup()             whether a group is open; a token outside every group ends the walk
//   int &skipCount()           tokens still to be skipped after a \uN (each token counts one)
//   void literal(uchar)        a character as it stands in the file, a tab included
//   void byte(uchar)           a byte written \'hh
//   void controlSymbol(uchar)  a control symbol other than \* (\\, \{, \~, a backslash-newline ...)
//   qsizetype binary(int count, QByteArrayView rest)
//                              \binN: how many bytes of rest (what follows it) are its data
//   void controlWord(QByteArrayView word, bool hasParam, int param, bool afterStar)
//                              a control word (at most 32 letters) and its parameter; afterStar
//                              when a \* came right before it as the first thing in its group
//
// Line ends between tokens are no text. Characters, bytes, symbols and words are skipped while
// skipCount() is above 0; a group's brace sets it back to 0.
template <class Handler>
void walk(QByteArrayView data, Handler &h) {
    const auto *p = reinterpret_cast<const unsigned char *>(data.data());
    const qsizetype n = data.size();
    qsizetype i = 0;
    while (i < n && (p[i] == ' ' || p[i] == '\t' || p[i] == '\r' || p[i] == '\n'))
        ++i;
    int &skip = h.skipCount();
    // \* counts only as the first thing in a group, and only for the control word right after it.
    bool groupStart = false;
    bool starred = false;
    while (i < n) {
        const unsigned char ch = p[i];
        if (ch == '{') {
            ++i;
            if (!h.openGroup()) return;
            skip = 0;
            groupStart = true;
            starred = false;
            continue;
        }
        if (!h.inGroup()) return; // text before the first group: no RTF
        if (ch == '}') {
            ++i;
            groupStart = starred = false;
            skip = 0;
            if (h.closeGroup()) return;
            continue;
        }
        if (ch == '\r' || ch == '\n') {
            ++i;
            continue;
        }
        const bool atGroupStart = groupStart;
        const bool afterStar = starred;
        groupStart = starred = false;
        if (ch != '\\') {
            ++i;
            if (skip > 0) --skip;
            else h.literal(ch);
            continue;
        }
        ++i;
        if (i >= n) return;
        const unsigned char d = p[i];
        if (d == '\'') {
            ++i;
            if (i + 1 < n && hexValue(p[i]) >= 0 && hexValue(p[i + 1]) >= 0) {
                const unsigned char b = static_cast<unsigned char>(hexValue(p[i]) << 4 | hexValue(p[i + 1]));
                i += 2;
                if (skip > 0) --skip;
                else h.byte(b);
            }
            continue;
        }
        if (!isAlpha(d)) {
            ++i;
            if (skip > 0) --skip;
            else if (d == '*') starred = atGroupStart;
            else h.controlSymbol(d);
            continue;
        }
        const qsizetype start = i;
        while (i < n && isAlpha(p[i]))
            ++i;
        const QByteArrayView word(p + start, qMin<qsizetype>(i - start, 32));
        bool negative = false;
        if (i + 1 < n && p[i] == '-' && isDigit(p[i + 1])) {
            negative = true;
            ++i;
        }
        bool hasParam = false;
        qint64 value = 0;
        while (i < n && isDigit(p[i])) {
            if (value < 100000000000LL) value = value * 10 + (p[i] - '0');
            hasParam = true;
            ++i;
        }
        if (i < n && p[i] == ' ') ++i;
        if (negative) value = -value;
        const int param = int(qBound(qint64(INT_MIN), value, qint64(INT_MAX)));
        if (word == "bin") {
            // Raw bytes, skipped whole whatever the skip count says.
            i += qBound(qsizetype(0), h.binary(hasParam ? param : 0, QByteArrayView(p + i, n - i)), n - i);
            continue;
        }
        if (skip > 0) {
            --skip;
            continue;
        }
        h.controlWord(word, hasParam, param, afterStar);
    }
}

} // namespace rtf::tokens
