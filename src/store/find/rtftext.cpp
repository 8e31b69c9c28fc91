// Plain text of RTF without a QTextDocument. The scanner walks the same tokens as the RTF reader
// and keeps only what decides the text: groups, destinations, fonts and their code pages, \uc
// skipping, paragraph marks and the characters. It knows a fixed set of control words; any other
// word, and any construct whose text the reader shapes (tables, fields, hidden text, \upr), makes
// it give up, and the full reader is used instead. It never guesses.
#include "store/find/rtftext.h"

#include "store/common/codepage.h"
#include "store/rtf/rtf.h"
#include "store/rtf/rtfdecoder.h"
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

struct GiveUp {};

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
    void putChar(char16_t ch);
    void flushPending();
    void newParagraph();
    void finishPicture();

    std::vector<Group> stack;
    std::u16string out;
    bool paragraphHasText = false;
    bool severalParagraphs = false;
    rtf::TextDecoder decoder;
    int defaultFont = -1;
    int skip = 0; // tokens still to be skipped after a \uN
    size_t pictDepth = 0; // the depth of the open picture's group, 0 when none
};

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
    decoder.flush([this](char16_t ch) { putChar(ch); });
}

inline void Scanner::textByte(unsigned char b) {
    decoder.byte(b, top().font, [this](char16_t ch) { putChar(ch); });
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
    if (top().dest == Dest::FontTable) decoder.finishFontName();
    stack.pop_back();
    return false;
}

void Scanner::byte(unsigned char b) {
    if (top().dest == Dest::Text) textByte(b);
    else if (top().dest == Dest::FontTable) decoder.fontNameByte(b);
}

void Scanner::literal(unsigned char ch) {
    if (ch == '\t' && top().dest == Dest::Text) {
        controlSymbol('\t'); // a tab typed into the file is the tab character
        return;
    }
    if (top().dest == Dest::FontTable) {
        if (ch == ';') decoder.finishFontName();
        else decoder.fontNameByte(ch);
        return;
    }
    if (top().dest != Dest::Text) return;
    if (decoder.pending() || ch >= 0x80) textByte(ch);
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
        long v = param;
        if (v < 0) v += 65536;
        if (g.dest == Dest::Text) {
            if (decoder.pending()) flushPending();
            v = decoder.unicodeCharacter(v, g.font);
            // Beyond the plane, and noncharacters the document keeps its own way: the full reader.
            if (v > 0xffff || v >= 0xfffe || (v >= 0xfdd2 && v <= 0xfdef)) throw GiveUp{};
            putChar(char16_t(v));
        } else if (g.dest == Dest::FontTable && v <= 0xffff) {
            decoder.fontNameChar(char16_t(v));
        }
        skip = g.uc;
        return;
    }
    case Word::Fonttbl:
        if (g.dest == Dest::Picture) throw GiveUp{};
        g.dest = Dest::FontTable;
        decoder.startFontTable();
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
    case Word::Ansi: decoder.setAnsiCodePage(1252); return;
    case Word::Mac: decoder.setAnsiCodePage(10000); return;
    case Word::Pc: decoder.setAnsiCodePage(437); return;
    case Word::Pca: decoder.setAnsiCodePage(850); return;
    case Word::Ansicpg:
        if (hasParam && param > 0) decoder.setAnsiCodePage(param);
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
        if (info.word == Word::F) decoder.beginFont(hasParam ? param : 0);
        else if (info.word == Word::Fcharset && hasParam) decoder.setFontCharset(param);
        else if (info.word == Word::Cpg && hasParam) decoder.setFontCodePage(param);
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
