// Plain text of RTF without a QTextDocument. The scanner walks the same tokens as the RTF reader
// and keeps only what decides the text: groups, destinations, fonts and their code pages, \uc
// skipping, paragraph marks and the characters. It knows a fixed set of control words; any other
// word, and any construct whose text the reader shapes (tables, fields, hidden text, \upr), makes
// it give up, and the full reader is used instead. It never guesses.
#include "store/find/rtftext.h"

#include "store/common/codepage.h"
#include "store/rtf/rtf.h"
#include "store/rtf/rtfcodec.h"
#include "store/rtf/rtftokens.h"

#include <QHash>
#include <QTextDocument>

#include <cstring>
#include <string>
#include <vector>

namespace find {

namespace {

enum class Dest : quint8 { Text, FontTable, ColorTable, Picture, Skip };

enum class Word : quint8 {
    Ignored,    // formatting only: no effect on the text
    GiveUp,     // the full reader decides
    Fonttbl, Colortbl, Pict, SkipDest,
    Ansi, Mac, Pc, Pca, Ansicpg, Deff, Uc, U,
    F, Fcharset, Cpg, Plain,
    Par, Line, Tab, Char,
};

struct WordInfo {
    Word word;
    char16_t ch = 0; // Word::Char
};

const QHash<QByteArrayView, WordInfo> &words() {
    static const QHash<QByteArrayView, WordInfo> table = [] {
        QHash<QByteArrayView, WordInfo> t;
        auto add = [&t](const char *w, Word k, char16_t c = 0) { t.insert(QByteArrayView(w), WordInfo{k, c}); };
        // Destinations whose content is no text. Inside \* any word not listed below skips too.
        for (const char *w : rtf::tokens::kSkippedDestinations)
            add(w, Word::SkipDest);
        add("nonshppict", Word::SkipDest);
        // Destinations and words whose text the reader shapes in ways of its own.
        for (const char *w : rtf::tokens::kShownDestinations)
            add(w, Word::GiveUp);
        for (const char *w : {"shppict", "upr", "ud", "v", "sect", "cell", "nestcell", "row", "nestrow", "bin"})
            add(w, Word::GiveUp);
        add("fonttbl", Word::Fonttbl);
        add("colortbl", Word::Colortbl);
        add("pict", Word::Pict);
        add("ansi", Word::Ansi);
        add("mac", Word::Mac);
        add("pc", Word::Pc);
        add("pca", Word::Pca);
        add("ansicpg", Word::Ansicpg);
        add("deff", Word::Deff);
        add("uc", Word::Uc);
        add("u", Word::U);
        add("f", Word::F);
        add("fcharset", Word::Fcharset);
        add("cpg", Word::Cpg);
        add("plain", Word::Plain);
        add("par", Word::Par);
        add("line", Word::Line);
        add("tab", Word::Tab);
        add("emdash", Word::Char, 0x2014);
        add("endash", Word::Char, 0x2013);
        add("emspace", Word::Char, 0x2003);
        add("enspace", Word::Char, 0x2002);
        add("qmspace", Word::Char, 0x2005);
        add("bullet", Word::Char, 0x2022);
        add("lquote", Word::Char, 0x2018);
        add("rquote", Word::Char, 0x2019);
        add("ldblquote", Word::Char, 0x201c);
        add("rdblquote", Word::Char, 0x201d);
        add("zwj", Word::Char, 0x200d);
        add("zwnj", Word::Char, 0x200c);
        add("zwbo", Word::Char, 0x200b);
        add("zwnbo", Word::Char, 0x2060);
        add("ltrmark", Word::Char, 0x200e);
        add("rtlmark", Word::Char, 0x200f);
        // Character and paragraph formats, picture properties, the words of the diary's header
        // and of simple documents of other programs: none changes the text.
        for (const char *w :
             {"rtf", "deflang", "deflangfe", "deftab", "viewkind", "lang", "langfe", "langnp", "langfenp",
              "nouicompat", "b", "i", "ul", "ulw", "uld", "uldb", "uldash", "uldashd", "uldashdd", "ulhwave",
              "ulldash", "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulwave",
              "ulnone", "strike", "striked", "fs", "cf", "highlight", "cb", "pard", "ql", "qc", "qr", "qj", "qd",
              "li", "lin", "ri", "rin", "fi", "sa", "sb", "sl", "slmult", "nowidctlpar", "widctlpar", "red",
              "green", "blue", "fnil", "froman", "fswiss", "fmodern", "fscript", "fdecor", "ftech", "fbidi",
              "fprq", "pngblip", "jpegblip", "emfblip", "wmetafile", "dibitmap", "wbitmap", "macpict",
              "pmmetafile", "picw", "pich", "picwgoal", "pichgoal", "picscalex", "picscaley"})
            add(w, Word::Ignored);
        return t;
    }();
    return table;
}

struct Group {
    Dest dest = Dest::Text;
    int uc = 1;
    int font = -1;
};

struct Font {
    int charset = -1;
    int cpg = 0;
};

struct GiveUp {};

// The character of a double-byte sequence of code page 936, looked up rather than converted:
// nearly every character of a diary is one. 0xffff: not one UTF-16 unit, convert it.
char16_t *gbkTable() {
    thread_local std::vector<char16_t> table(65536, 0);
    return table.data();
}

char16_t gbkPair(char16_t *table, rtf::Codec &codec, unsigned char lead, unsigned char trail) {
    char16_t &slot = table[size_t(lead) << 8 | trail];
    if (!slot) {
        QString s;
        const unsigned char bytes[2] = {lead, trail};
        codec.decode(bytes, 2, s);
        slot = s.size() == 1 && !s.at(0).isSurrogate() && s.at(0).unicode() != 0xffff ? s.at(0).unicode() : 0xffff;
    }
    return slot;
}

class Scanner {
public:
    QString run(QByteArrayView data);

    // What the token walker hands over (platform/rtftokens.h).
    bool openGroup();
    bool closeGroup(); // true when the document's own group closed
    bool inGroup() const { return !stack.empty(); }
    int &skipCount() { return skip; }
    void literal(unsigned char ch);
    void byte(unsigned char b);
    void controlSymbol(unsigned char d);
    qsizetype binary(int, QByteArrayView) { throw GiveUp{}; } // pictures in binary: the full reader
    void controlWord(QByteArrayView word, bool hasParam, int param, bool afterStar);

private:
    Group &top() { return stack.back(); }
    void textByte(unsigned char b);
    void textByteSlow(unsigned char b);
    void putChar(char16_t ch);
    void flushPending();
    void newParagraph();
    void finishPicture();
    rtf::Codec &codecOfFont(int font);

    std::vector<Group> stack;
    std::u16string out;
    bool paragraphHasText = false;
    bool severalParagraphs = false;
    int ansiCodePage = 1252;
    int defaultFont = -1;
    QHash<int, Font> fonts;
    int fontEntry = -1;
    rtf::Codec *codec = nullptr; // of codecFont
    int codecFont = INT_MIN;
    int skip = 0; // tokens still to be skipped after a \uN
    unsigned char seq[4] = {};
    int seqLength = 0;
    int seqNeed = 0;
    bool seqGbk = false; // the open sequence is a pair of code page 936, its lead byte in seq[0]
    char16_t *gbk = gbkTable(); // this thread's memo of those pairs (gbkPair)
    rtf::Codec *seqCodec = nullptr;
    QString decoded;
    size_t pictDepth = 0; // the depth of the open picture's group, 0 when none
};

rtf::Codec &Scanner::codecOfFont(int font) {
    if (!codec || font != codecFont) {
        int cp = 0;
        const auto it = fonts.constFind(font);
        if (it != fonts.constEnd()) cp = it->cpg ? it->cpg : rtf::codePageForCharset(it->charset);
        codec = &rtf::Codec::forCodePage(cp ? cp : ansiCodePage);
        codecFont = font;
    }
    return *codec;
}

// A character of the text as the document would hold it and rtf::plainText would give it.
void Scanner::putChar(char16_t ch) {
    if (QChar::isSurrogate(ch)) throw GiveUp{};
    if ((ch < 0x20 && ch != '\t') || ch == 0x2029 || ch == 0xfdd0 || ch == 0xfdd1 || ch == 0xfffc) return;
    paragraphHasText = true;
    if (ch == 0x2028) ch = '\n';
    else if (ch == 0x00a0) ch = ' ';
    out.push_back(ch);
}

void Scanner::flushPending() {
    if (seqNeed) {
        seqGbk = false;
        seqNeed = 0;
        seqLength = 0;
        putChar(QChar::ReplacementCharacter);
    }
}

// Nearly every character of a Chinese diary is a pair of code page 936: both its bytes take
// the short way, the second through the memo of pairs already met.
inline void Scanner::textByte(unsigned char b) {
    if (seqGbk) {
        if (const char16_t c = gbk[size_t(seq[0]) << 8 | b]; c && c != 0xffff) {
            seqGbk = false;
            seqNeed = 0;
            seqLength = 0;
            putChar(c);
            return;
        }
    } else if (!seqNeed && b >= 0x81 && b <= 0xfe) {
        rtf::Codec &c = codecOfFont(top().font);
        if (c.codePage() == 936) {
            seq[0] = b;
            seqLength = 1;
            seqNeed = 2;
            seqCodec = &c;
            seqGbk = true;
            return;
        }
    }
    textByteSlow(b);
}

void Scanner::textByteSlow(unsigned char b) {
    seqGbk = false;
    if (seqNeed) {
        if (seqCodec->codePage() == 65001) throw GiveUp{};
        if (seqNeed == 2 && seqCodec->codePage() == 936) {
            const char16_t c = gbkPair(gbk, *seqCodec, seq[0], b);
            if (c != 0xffff) {
                seqNeed = 0;
                seqLength = 0;
                putChar(c);
                return;
            }
        }
        seq[seqLength++] = b;
        if (seqLength == seqNeed) {
            decoded.clear();
            seqCodec->decode(seq, seqLength, decoded);
            seqNeed = 0;
            seqLength = 0;
            for (QChar ch : std::as_const(decoded))
                putChar(ch.unicode());
        }
        return;
    }
    if (b < 0x80) {
        putChar(b);
        return;
    }
    rtf::Codec &c = codecOfFont(top().font);
    if (c.codePage() == 65001) throw GiveUp{};
    const int length = c.sequenceLength(b);
    if (length == 1) {
        decoded.clear();
        c.decode(&b, 1, decoded);
        for (QChar ch : std::as_const(decoded))
            putChar(ch.unicode());
        return;
    }
    seq[0] = b;
    seqLength = 1;
    seqNeed = length;
    seqCodec = &c;
}

void Scanner::newParagraph() {
    flushPending();
    out.push_back(u'\n');
    paragraphHasText = false;
    severalParagraphs = true;
}

// A picture shows as an object character, which the plain text leaves out; its paragraph is
// no longer empty.
void Scanner::finishPicture() {
    pictDepth = 0;
    flushPending();
    paragraphHasText = true;
}

bool Scanner::openGroup() {
    if (stack.size() >= size_t(rtf::tokens::kMaxDepth)) throw GiveUp{};
    stack.push_back(stack.empty() ? Group{} : top());
    return true;
}

bool Scanner::closeGroup() {
    if (stack.size() == 1) return true; // the document's own group: the end
    if (pictDepth && stack.size() == pictDepth) finishPicture();
    if (top().dest == Dest::FontTable && stack[stack.size() - 2].dest != Dest::FontTable) codec = nullptr;
    stack.pop_back();
    return false;
}

void Scanner::byte(unsigned char b) {
    if (top().dest == Dest::Text) textByte(b);
}

void Scanner::literal(unsigned char ch) {
    if (ch == '\t') {
        controlSymbol('\t'); // a tab typed into the file is the tab character
        return;
    }
    if (top().dest != Dest::Text) return;
    if (seqNeed || ch >= 0x80) textByte(ch);
    else putChar(ch);
}

void Scanner::controlSymbol(unsigned char d) {
    Group &g = top();
    switch (d) {
    case '\\': case '{': case '}':
        literal(d);
        return;
    default:
        break;
    }
    if (g.dest != Dest::Text) return;
    if (d == '\r' || d == '\n') {
        newParagraph();
    } else if (const char16_t c = rtf::tokens::symbolCharacter(d)) {
        flushPending();
        putChar(c);
    }
}

void Scanner::controlWord(QByteArrayView word, bool hasParam, int param, bool afterStar) {
    const auto found = words().constFind(word);
    Group &g = top();
    if (g.dest == Dest::Skip) return;
    if (found == words().constEnd()) {
        // A word of no meaning to the reader inside \* skips the group; in the text it may be one
        // the reader has learnt since.
        if (afterStar || g.dest == Dest::Text) {
            if (!afterStar) throw GiveUp{};
            g.dest = Dest::Skip;
        }
        return;
    }
    const WordInfo info = *found;
    if (afterStar) {
        if (info.word == Word::GiveUp) throw GiveUp{};
        g.dest = Dest::Skip;
        return;
    }
    switch (info.word) {
    case Word::GiveUp:
        throw GiveUp{};
    case Word::U: {
        if (!hasParam) return;
        if (g.dest == Dest::Text) {
            if (seqNeed) flushPending();
            long v = param;
            if (v < 0) v += 65536;
            // Beyond the plane, and noncharacters the document keeps its own way: the full reader.
            if (v > 0xffff || v >= 0xfffe || (v >= 0xfdd2 && v <= 0xfdef)) throw GiveUp{};
            putChar(char16_t(v));
        }
        skip = g.uc;
        return;
    }
    case Word::Fonttbl:
        if (g.dest == Dest::Picture) throw GiveUp{};
        g.dest = Dest::FontTable;
        fontEntry = -1;
        return;
    case Word::Colortbl:
        if (g.dest == Dest::Picture) throw GiveUp{};
        g.dest = Dest::ColorTable;
        return;
    case Word::Pict:
        if (g.dest == Dest::Text) {
            g.dest = Dest::Picture;
            pictDepth = stack.size();
        } else if (g.dest != Dest::Picture) {
            g.dest = Dest::Skip;
        }
        return;
    case Word::SkipDest:
        g.dest = Dest::Skip;
        return;
    case Word::Ansi: ansiCodePage = 1252; codec = nullptr; return;
    case Word::Mac: ansiCodePage = 10000; codec = nullptr; return;
    case Word::Pc: ansiCodePage = 437; codec = nullptr; return;
    case Word::Pca: ansiCodePage = 850; codec = nullptr; return;
    case Word::Ansicpg:
        if (hasParam && param > 0) ansiCodePage = param;
        codec = nullptr;
        return;
    case Word::Deff:
        if (hasParam) {
            defaultFont = param;
            if (g.font < 0) g.font = param;
        }
        return;
    case Word::Uc:
        if (hasParam) g.uc = qBound(0, param, 10);
        return;
    default:
        break;
    }
    if (g.dest == Dest::FontTable) {
        if (info.word == Word::F) {
            fontEntry = hasParam ? param : 0;
            fonts[fontEntry] = Font{};
        } else if (info.word == Word::Fcharset && fontEntry >= 0 && hasParam) {
            fonts[fontEntry].charset = param;
        } else if (info.word == Word::Cpg && fontEntry >= 0 && hasParam) {
            fonts[fontEntry].cpg = param;
        }
        return;
    }
    if (g.dest != Dest::Text) return;
    switch (info.word) {
    case Word::Par: newParagraph(); break;
    case Word::Line: flushPending(); putChar(0x2028); break;
    case Word::Tab: flushPending(); putChar('\t'); break;
    case Word::Char: flushPending(); putChar(info.ch); break;
    case Word::Plain: g.font = defaultFont; break;
    case Word::F: g.font = hasParam ? param : 0; break;
    default: break;
    }
}

QString Scanner::run(QByteArrayView data) {
    out.reserve(size_t(data.size() / 4));
    rtf::tokens::walk(data, *this);
    if (stack.empty()) throw GiveUp{}; // not RTF
    if (pictDepth) finishPicture();
    flushPending();
    // The reader drops an empty last paragraph: RichEdit ends every document with a mark.
    if (severalParagraphs && !paragraphHasText) out.pop_back();
    return QString::fromUtf16(out.data(), qsizetype(out.size()));
}

bool hasHighBytes(QByteArrayView bytes) {
    // Eight bytes at a time: the diary's own RTF is ASCII and is read to its end.
    const char *p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ULL) return true;
    }
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80) return true;
    return false;
}

} // namespace

std::optional<QString> fastPlainText(QByteArrayView data) {
    if (!rtf::looksLikeRtf(data)) return std::nullopt;
    try {
        Scanner s;
        return s.run(data);
    } catch (const GiveUp &) {
        return std::nullopt;
    }
}

QString plainText(QByteArrayView bytes) {
    // The editor is given the body as decoded from code page 936 and encoded again; RTF written
    // by the diary is ASCII and stays as it is.
    QByteArray converted;
    if (hasHighBytes(bytes)) converted = cp936::encode(cp936::decode(bytes));
    const QByteArrayView data = converted.isNull() ? bytes : QByteArrayView(converted);
    if (std::optional<QString> text = fastPlainText(data)) return *text;
    if (rtf::looksLikeRtf(data)) {
        QTextDocument doc;
        if (rtf::read(data, &doc)) return rtf::plainText(&doc);
    }
    // Shown as plain text, its line breaks as paragraphs.
    QString text = cp936::decode(data);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : std::as_const(text)) {
        switch (c.unicode()) {
        case 0x2028: case 0x2029: shown += QLatin1Char('\n'); break;
        case 0x00a0: shown += QLatin1Char(' '); break;
        case 0xfffc: case 0xfdd0: case 0xfdd1: break;
        default: shown += c; break;
        }
    }
    return shown;
}

} // namespace find
