// The RTF reader: a tokenizer, a stack of groups carrying character and paragraph state, and the
// destinations the diary needs (text, font table, colour table, pictures). The input is parsed
// into a plain list of paragraphs and runs first, so a failure leaves the target untouched and
// the document is built in one edit.
#include "store/rtf/rtf.h"
#include "store/rtf/rtfcodec.h"
#include "store/rtf/rtfdecoder.h"
#include "store/rtf/rtfpicture.h"
#include "store/rtf/rtftokens.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>

#include <optional>
#include <vector>

namespace rtf {

namespace {

// Indents beyond 22 inches (in twips) are cut to it.
constexpr int kMaxIndent = 31680;

struct CharState {
    int font = -1;
    int fs = 24; // half points; RTF's default is 12 points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int fg = 0; // colour table index, 0 = automatic
    int bg = 0;
    bool operator==(const CharState &) const = default;
};

size_t qHash(const CharState &s, size_t seed = 0) {
    return qHashMulti(seed, s.font, s.fs, s.bold, s.italic, s.underline, s.strike, s.hidden, s.fg, s.bg);
}

struct ParaState {
    int align = 0; // 0 left, 1 centre, 2 right, 3 justified
    int li = 0;
    int ri = 0;
    int fi = 0;
    bool inTable = false; // \intbl: a paragraph of a table cell
};

enum class Dest : quint8 { Text, Skip, FontTable, ColorTable, Picture };

struct Group {
    Dest dest = Dest::Text;
    Dest uprOuter = Dest::Text; // the destination a \ud inside \upr returns to
    bool inUpr = false;
    int uc = 1;
    CharState ch;
    ParaState para;
};

struct Run {
    QString text;
    int format;
};

struct Paragraph {
    QTextBlockFormat format;
    int mark = -1; // format of the paragraph mark
    QList<Run> runs;
};

enum Kw : quint8 {
    KwNone,
    // destinations
    KwFonttbl, KwColortbl, KwPict, KwShppict, KwNonshppict, KwUpr, KwUd, KwSkipDest, KwTextDest,
    // document
    KwAnsi, KwMac, KwPc, KwPca, KwAnsicpg, KwDeff, KwFcharset, KwCpg, KwRed, KwGreen, KwBlue, KwUc, KwU,
    // text
    KwPar, KwLine, KwTab, KwCell, KwRow, KwChar, KwIntbl,
    // character formats
    KwPlain, KwB, KwI, KwUl, KwUlnone, KwStrike, KwV, KwF, KwFs, KwCf, KwHighlight,
    // paragraph formats
    KwPard, KwQl, KwQc, KwQr, KwQj, KwLi, KwRi, KwFi,
    // pictures
    KwBlip, KwPicw, KwPich, KwPicwgoal, KwPichgoal, KwPicscalex, KwPicscaley,
};

struct KwInfo {
    Kw kw;
    char16_t ch; // KwChar: the character
};

const QHash<QByteArrayView, KwInfo> &keywords() {
    static const QHash<QByteArrayView, KwInfo> table = [] {
        QHash<QByteArrayView, KwInfo> t;
        auto add = [&t](const char *w, Kw k, char16_t c = 0) { t.insert(QByteArrayView(w), KwInfo{k, c}); };
        add("fonttbl", KwFonttbl);
        add("colortbl", KwColortbl);
        add("pict", KwPict);
        add("shppict", KwShppict);
        add("nonshppict", KwNonshppict);
        add("upr", KwUpr);
        add("ud", KwUd);
        for (const char *w : tokens::kSkippedDestinations)
            add(w, KwSkipDest);
        for (const char *w : tokens::kShownDestinations)
            add(w, KwTextDest);
        add("ansi", KwAnsi);
        add("mac", KwMac);
        add("pc", KwPc);
        add("pca", KwPca);
        add("ansicpg", KwAnsicpg);
        add("deff", KwDeff);
        add("fcharset", KwFcharset);
        add("cpg", KwCpg);
        add("red", KwRed);
        add("green", KwGreen);
        add("blue", KwBlue);
        add("uc", KwUc);
        add("u", KwU);
        add("par", KwPar);
        add("sect", KwPar);
        add("line", KwLine);
        add("tab", KwTab);
        add("cell", KwCell);
        add("nestcell", KwCell);
        add("row", KwRow);
        add("nestrow", KwRow);
        add("intbl", KwIntbl);
        add("emdash", KwChar, 0x2014);
        add("endash", KwChar, 0x2013);
        add("emspace", KwChar, 0x2003);
        add("enspace", KwChar, 0x2002);
        add("qmspace", KwChar, 0x2005);
        add("bullet", KwChar, 0x2022);
        add("lquote", KwChar, 0x2018);
        add("rquote", KwChar, 0x2019);
        add("ldblquote", KwChar, 0x201c);
        add("rdblquote", KwChar, 0x201d);
        add("zwj", KwChar, 0x200d);
        add("zwnj", KwChar, 0x200c);
        add("zwbo", KwChar, 0x200b);
        add("zwnbo", KwChar, 0x2060);
        add("ltrmark", KwChar, 0x200e);
        add("rtlmark", KwChar, 0x200f);
        add("plain", KwPlain);
        add("b", KwB);
        add("i", KwI);
        for (const char *w : {"ul", "ulw", "uld", "uldb", "uldash", "uldashd", "uldashdd", "ulhwave", "ulldash",
                              "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave",
                              "ulwave"})
            add(w, KwUl);
        add("ulnone", KwUlnone);
        add("strike", KwStrike);
        add("striked", KwStrike);
        add("v", KwV);
        add("f", KwF);
        add("fs", KwFs);
        add("cf", KwCf);
        add("highlight", KwHighlight);
        add("cb", KwHighlight);
        add("pard", KwPard);
        add("ql", KwQl);
        add("qc", KwQc);
        add("qr", KwQr);
        add("qj", KwQj);
        add("qd", KwQj);
        add("li", KwLi);
        add("lin", KwLi);
        add("ri", KwRi);
        add("rin", KwRi);
        add("fi", KwFi);
        for (const char *w : {"pngblip", "jpegblip", "emfblip", "wmetafile", "dibitmap", "wbitmap", "macpict",
                              "pmmetafile"})
            add(w, KwBlip);
        add("picw", KwPicw);
        add("pich", KwPich);
        add("picwgoal", KwPicwgoal);
        add("pichgoal", KwPichgoal);
        add("picscalex", KwPicscalex);
        add("picscaley", KwPicscaley);
        return t;
    }();
    return table;
}

// What the parser produces: paragraphs of runs, their formats and the pictures they show.
struct Content {
    QList<QTextCharFormat> formats;
    QList<Paragraph> paragraphs;
    QList<QPair<QUrl, QImage>> images;
};

class Parser {
public:
    explicit Parser(Content &out) : c(out) {}
    bool parse(QByteArrayView data, QString *error);

    // What the token walker hands over (platform/rtftokens.h).
    bool openGroup();
    bool closeGroup(); // true when the document's own group closed
    bool inGroup() const { return !stack.empty(); }
    int &skipCount() { return skip; }
    void literal(unsigned char ch);
    void byte(unsigned char b);
    void controlSymbol(unsigned char d);
    qsizetype binary(int count, QByteArrayView rest);
    void controlWord(QByteArrayView word, bool hasParam, int param, bool starred);

private:
    Group &top() { return stack.back(); }

    void textByte(unsigned char b);
    void putChar(char16_t ch);
    void append(char16_t ch);
    void flushBreak();
    void flushPending();
    void newParagraph();
    void paragraphMark();
    void finishLastParagraph();
    int currentFormat();
    QTextBlockFormat blockFormat(const ParaState &p) const;
    void finishPicture();

    Content &c;
    std::vector<Group> stack;
    TextDecoder decoder;
    int defaultFont = -1;
    QList<QColor> colors;
    int red = 0, green = 0, blue = 0;
    bool colorSet = false;

    QHash<CharState, int> formatIndex;
    int format = -1;
    bool formatDirty = true;
    Run *openRun = nullptr;
    bool provisional = false; // the last paragraph's format was taken when a group closed
    // Ends of table cells and a paragraph mark inside a cell, shown only when text follows in
    // the same row: the last cell of a row and the last paragraph of a cell end with the row.
    qsizetype pendingCells = 0;
    bool pendingParagraph = false;

    int skip = 0; // tokens still to be skipped after a \uN
    bool tooDeep = false;
    char16_t highSurrogate = 0;

    std::optional<PictureSource> pict;
    size_t pictDepth = 0;
    int pictNibble = -1;
};

bool Parser::openGroup() {
    if (stack.size() >= size_t(tokens::kMaxDepth)) {
        tooDeep = true;
        return false;
    }
    if (stack.empty()) stack.emplace_back();
    else stack.push_back(top());
    return true;
}

bool Parser::closeGroup() {
    Group &g = top();
    if (pict && stack.size() == pictDepth) finishPicture();
    if (g.dest == Dest::FontTable) decoder.finishFontName();
    // The paragraph format in force when a group of its text closes; the document's own group
    // closing does not override what an inner group set.
    if (g.dest == Dest::Text && !c.paragraphs.last().runs.isEmpty() && (stack.size() > 1 || !provisional)) {
        c.paragraphs.last().format = blockFormat(g.para);
        provisional = true;
    }
    if (stack.size() == 1) return true;
    stack.pop_back();
    formatDirty = true;
    return false;
}

qsizetype Parser::binary(int count, QByteArrayView rest) {
    // Raw bytes: data of a picture, skipped anywhere else.
    const qsizetype length = qBound(qsizetype(0), qsizetype(count), rest.size());
    if (pict && top().dest == Dest::Picture) pict->data.append(rest.first(length));
    return length;
}

int Parser::currentFormat() {
    if (!formatDirty) return format;
    const CharState &s = top().ch;
    const auto it = formatIndex.constFind(s);
    if (it != formatIndex.constEnd()) {
        format = *it;
    } else {
        QTextCharFormat f;
        const FontDef *font = decoder.font(s.font);
        if (font && !font->name.isEmpty()) {
            f.setFontFamilies(QStringList{font->name});
            f.setProperty(FontCharset, font->charset < 0 ? 1 : font->charset);
        }
        f.setFontPointSize(s.fs / 2.0);
        if (s.bold) f.setFontWeight(QFont::Bold);
        if (s.italic) f.setFontItalic(true);
        if (s.underline) f.setFontUnderline(true);
        if (s.strike) f.setFontStrikeOut(true);
        if (s.fg > 0 && s.fg < colors.size() && colors.at(s.fg).isValid()) f.setForeground(colors.at(s.fg));
        if (s.bg > 0 && s.bg < colors.size() && colors.at(s.bg).isValid()) f.setBackground(colors.at(s.bg));
        format = int(c.formats.size());
        c.formats.append(f);
        formatIndex.insert(s, format);
    }
    formatDirty = false;
    return format;
}

QTextBlockFormat Parser::blockFormat(const ParaState &p) const {
    QTextBlockFormat f;
    switch (p.align) {
    case 1: f.setAlignment(Qt::AlignHCenter); break;
    case 2: f.setAlignment(Qt::AlignRight); break;
    case 3: f.setAlignment(Qt::AlignJustify); break;
    default: break;
    }
    if (p.li) f.setLeftMargin(p.li / 15.0);
    if (p.ri) f.setRightMargin(p.ri / 15.0);
    if (p.fi) f.setTextIndent(p.fi / 15.0);
    return f;
}

// Shows a cell end as a tab and a paragraph mark inside a cell as a line break, now that more
// text of the row follows.
void Parser::flushBreak() {
    const qsizetype cells = pendingCells;
    const bool paragraph = pendingParagraph;
    pendingCells = 0;
    pendingParagraph = false;
    for (qsizetype i = 0; i < cells; ++i)
        append('\t');
    if (!paragraph) return;
    if (top().para.inTable) append(0x2028);
    else newParagraph(); // the table ended without its row mark
}

// Appends one character of the document's text, in the current format.
void Parser::append(char16_t ch) {
    if (pendingCells || pendingParagraph) flushBreak();
    const int f = currentFormat();
    if (!openRun || openRun->format != f) {
        QList<Run> &runs = c.paragraphs.last().runs;
        runs.append(Run{QString(), f});
        openRun = &runs.last();
    }
    openRun->text.append(QChar(ch));
}

// A decoded character: surrogates are paired, characters that would break the document's
// structure are dropped.
void Parser::putChar(char16_t ch) {
    if (highSurrogate) {
        const char16_t high = highSurrogate;
        highSurrogate = 0;
        if (QChar::isLowSurrogate(ch)) {
            append(high);
            append(ch);
            return;
        }
        append(QChar::ReplacementCharacter);
    }
    if (QChar::isHighSurrogate(ch)) {
        highSurrogate = ch;
        return;
    }
    if (QChar::isLowSurrogate(ch)) ch = QChar::ReplacementCharacter;
    if ((ch < 0x20 && ch != '\t') || ch == 0x2029 || ch == 0xfdd0 || ch == 0xfdd1 || ch == 0xfffc) return;
    append(ch);
}

// Ends a character left half way: a lead byte without its trail, a high surrogate alone.
void Parser::flushPending() {
    decoder.flush([this](char16_t ch) { putChar(ch); });
    if (highSurrogate) {
        highSurrogate = 0;
        append(QChar::ReplacementCharacter);
    }
}

void Parser::textByte(unsigned char b) {
    decoder.byte(b, top().ch.font, [this](char16_t ch) { putChar(ch); });
}

void Parser::newParagraph() {
    flushPending();
    pendingCells = 0;
    pendingParagraph = false;
    Paragraph &p = c.paragraphs.last();
    p.format = blockFormat(top().para);
    p.mark = currentFormat();
    c.paragraphs.append(Paragraph{});
    openRun = nullptr;
    provisional = false;
}

// \par: a new paragraph, or inside a table cell a break shown once more text of the row follows.
void Parser::paragraphMark() {
    if (!top().para.inTable) newParagraph();
    else pendingParagraph = true;
}

// RichEdit ends every document with a paragraph mark that is not an empty last paragraph.
void Parser::finishLastParagraph() {
    flushPending();
    pendingCells = 0;
    pendingParagraph = false;
    if (c.paragraphs.size() > 1 && c.paragraphs.last().runs.isEmpty()) {
        c.paragraphs.removeLast();
        return;
    }
    Paragraph &p = c.paragraphs.last();
    if (!provisional && !stack.empty()) p.format = blockFormat(top().para);
    if (!stack.empty()) p.mark = currentFormat();
}

void Parser::finishPicture() {
    Picture picture = makePicture(*pict);
    pict.reset();
    QTextImageFormat f = picture.format;
    const QUrl url = newPictureName();
    f.setName(url.toString());
    c.images.append({url, picture.image});
    flushPending();
    if (pendingCells || pendingParagraph) flushBreak();
    const int index = int(c.formats.size());
    c.formats.append(f);
    c.paragraphs.last().runs.append(Run{QString(QChar::ObjectReplacementCharacter), index});
    openRun = nullptr;
}

void Parser::byte(unsigned char b) {
    switch (top().dest) {
    case Dest::Text:
        if (!top().ch.hidden) textByte(b);
        break;
    case Dest::FontTable:
        decoder.fontNameByte(b);
        break;
    case Dest::Picture:
        // Hex digits of the picture; bytes that are no hex digits are noise between them.
        if (const int v = tokens::hexValue(b); v >= 0) {
            if (pictNibble < 0) {
                pictNibble = v;
            } else {
                pict->data.append(char(pictNibble << 4 | v));
                pictNibble = -1;
            }
        }
        break;
    default:
        break;
    }
}

void Parser::literal(unsigned char ch) {
    if (ch == '\t' && top().dest == Dest::Text) {
        controlSymbol('\t'); // a tab typed into the file is the tab character
        return;
    }
    switch (top().dest) {
    case Dest::Text:
        if (top().ch.hidden) return;
        if (decoder.pending() || ch >= 0x80) textByte(ch);
        else putChar(ch);
        return;
    case Dest::FontTable:
        if (ch == ';') decoder.finishFontName();
        else decoder.fontNameByte(ch);
        return;
    case Dest::ColorTable:
        if (ch == ';') {
            colors.append(colorSet ? QColor(red, green, blue) : QColor());
            red = green = blue = 0;
            colorSet = false;
        }
        return;
    default:
        byte(ch);
        return;
    }
}

void Parser::controlSymbol(unsigned char d) {
    Group &g = top();
    switch (d) {
    case '\\': case '{': case '}':
        literal(d);
        return;
    default:
        break;
    }
    if (g.dest != Dest::Text || g.ch.hidden) return;
    if (d == '\r' || d == '\n') {
        paragraphMark();
    } else if (const char16_t c = tokens::symbolCharacter(d)) {
        flushPending();
        putChar(c);
    }
}

void Parser::controlWord(QByteArrayView word, bool hasParam, int param, bool starred) {
    const auto found = keywords().constFind(word);
    const KwInfo info = found == keywords().constEnd() ? KwInfo{KwNone, 0} : *found;
    Group &g = top();
    // A destination this reader does not know, marked by \* first thing in its group.
    if (starred) {
        if (info.kw != KwShppict && info.kw != KwUd && info.kw != KwTextDest && info.kw != KwUpr) {
            g.dest = Dest::Skip;
            return;
        }
    }
    // Fallback characters of \u are skipped in every destination.
    if (info.kw == KwU) {
        if (!hasParam) return;
        long v = param;
        if (v < 0) v += 65536;
        if (g.dest == Dest::Text && !g.ch.hidden) {
            if (decoder.pending()) flushPending();
            v = decoder.unicodeCharacter(v, g.ch.font);
            if (v <= 0xffff) {
                putChar(char16_t(v));
            } else if (v <= 0x10ffff) {
                putChar(QChar::highSurrogate(char32_t(v)));
                putChar(QChar::lowSurrogate(char32_t(v)));
            } else {
                putChar(QChar::ReplacementCharacter);
            }
        } else if (g.dest == Dest::FontTable && v <= 0xffff) {
            decoder.fontNameChar(char16_t(v));
        }
        skip = g.uc;
        return;
    }
    if (info.kw == KwUd) {
        if (g.inUpr) g.dest = g.uprOuter;
        return;
    }
    if (g.dest == Dest::Skip) return;

    switch (info.kw) {
    case KwFonttbl:
        g.dest = Dest::FontTable;
        decoder.startFontTable();
        return;
    case KwColortbl:
        g.dest = Dest::ColorTable;
        colors.clear();
        red = green = blue = 0;
        colorSet = false;
        formatIndex.clear();
        formatDirty = true;
        return;
    case KwPict:
        if (g.dest == Dest::Text && !pict) {
            g.dest = Dest::Picture;
            pict.emplace();
            pictDepth = stack.size();
            pictNibble = -1;
        } else if (g.dest != Dest::Picture) {
            g.dest = Dest::Skip;
        }
        return;
    case KwNonshppict:
    case KwSkipDest:
        g.dest = Dest::Skip;
        return;
    case KwUpr:
        g.uprOuter = g.dest;
        g.inUpr = true;
        g.dest = Dest::Skip;
        return;
    case KwAnsi: decoder.setAnsiCodePage(1252); return;
    case KwMac: decoder.setAnsiCodePage(10000); return;
    case KwPc: decoder.setAnsiCodePage(437); return;
    case KwPca: decoder.setAnsiCodePage(850); return;
    case KwAnsicpg:
        if (hasParam && param > 0) decoder.setAnsiCodePage(param);
        return;
    case KwDeff:
        if (hasParam) {
            defaultFont = param;
            if (g.ch.font < 0) g.ch.font = param;
            formatDirty = true;
        }
        return;
    case KwUc:
        if (hasParam) g.uc = qBound(0, param, 10);
        return;
    default:
        break;
    }

    if (g.dest == Dest::FontTable) {
        switch (info.kw) {
        case KwF:
            decoder.beginFont(hasParam ? param : 0);
            formatIndex.clear();
            formatDirty = true;
            break;
        case KwFcharset:
            if (hasParam) decoder.setFontCharset(param);
            break;
        case KwCpg:
            if (hasParam) decoder.setFontCodePage(param);
            break;
        default:
            break;
        }
        return;
    }
    if (g.dest == Dest::ColorTable) {
        const int v = qBound(0, param, 255);
        switch (info.kw) {
        case KwRed: red = v; colorSet = true; break;
        case KwGreen: green = v; colorSet = true; break;
        case KwBlue: blue = v; colorSet = true; break;
        default: break;
        }
        return;
    }
    if (g.dest == Dest::Picture) {
        switch (info.kw) {
        case KwBlip: pict->kind = word.toByteArray() + (hasParam ? QByteArray::number(param) : QByteArray()); break;
        case KwPicw: pict->picw = param; break;
        case KwPich: pict->pich = param; break;
        case KwPicwgoal: pict->goalw = param; break;
        case KwPichgoal: pict->goalh = param; break;
        case KwPicscalex: pict->scalex = param; break;
        case KwPicscaley: pict->scaley = param; break;
        default: break;
        }
        return;
    }
    if (g.dest != Dest::Text) return;

    CharState &ch = g.ch;
    ParaState &para = g.para;
    const bool on = !hasParam || param != 0;
    switch (info.kw) {
    case KwPar:
        if (!ch.hidden) paragraphMark();
        break;
    case KwRow:
        if (!ch.hidden) newParagraph();
        break;
    case KwCell:
        if (!ch.hidden) {
            flushPending();
            pendingParagraph = false;
            ++pendingCells;
        }
        break;
    case KwIntbl: para.inTable = true; break;
    case KwLine:
        if (!ch.hidden) { flushPending(); putChar(0x2028); }
        break;
    case KwTab:
        if (!ch.hidden) { flushPending(); putChar('\t'); }
        break;
    case KwChar:
        if (!ch.hidden) { flushPending(); putChar(info.ch); }
        break;
    case KwPlain:
        ch = CharState{};
        ch.font = defaultFont;
        formatDirty = true;
        break;
    case KwB: ch.bold = on; formatDirty = true; break;
    case KwI: ch.italic = on; formatDirty = true; break;
    case KwUl: ch.underline = on; formatDirty = true; break;
    case KwUlnone: ch.underline = false; formatDirty = true; break;
    case KwStrike: ch.strike = on; formatDirty = true; break;
    case KwV: ch.hidden = on; formatDirty = true; break;
    case KwF:
        ch.font = hasParam ? param : 0;
        formatDirty = true;
        break;
    case KwFs:
        ch.fs = hasParam && param > 0 ? qMin(param, 3276) : 24;
        formatDirty = true;
        break;
    case KwCf: ch.fg = qMax(0, param); formatDirty = true; break;
    case KwHighlight: ch.bg = qMax(0, param); formatDirty = true; break;
    case KwPard: para = ParaState{}; break;
    case KwQl: para.align = 0; break;
    case KwQc: para.align = 1; break;
    case KwQr: para.align = 2; break;
    case KwQj: para.align = 3; break;
    case KwLi: para.li = qBound(-kMaxIndent, param, kMaxIndent); break;
    case KwRi: para.ri = qBound(-kMaxIndent, param, kMaxIndent); break;
    case KwFi: para.fi = qBound(-kMaxIndent, param, kMaxIndent); break;
    default: break;
    }
}

bool Parser::parse(QByteArrayView data, QString *error) {
    c.paragraphs.append(Paragraph{});
    tokens::walk(data, *this);
    if (tooDeep) {
        if (error) *error = QStringLiteral("groups nested too deep");
        return false;
    }
    if (stack.empty()) {
        if (error) *error = QStringLiteral("not RTF");
        return false;
    }
    if (pict) finishPicture();
    finishLastParagraph();
    return true;
}

void apply(const Content &content, QTextCursor &cursor, bool replace) {
    QTextDocument *doc = cursor.document();
    for (const auto &[url, image] : content.images)
        doc->addResource(QTextDocument::ImageResource, url, image);
    for (qsizetype i = 0; i < content.paragraphs.size(); ++i) {
        const Paragraph &p = content.paragraphs.at(i);
        const QTextCharFormat mark = p.mark >= 0 ? content.formats.at(p.mark) : QTextCharFormat();
        if (i > 0) cursor.insertBlock(p.format, mark);
        for (const Run &run : p.runs)
            cursor.insertText(run.text, content.formats.at(run.format));
    }
    // The first paragraph's formats are set last: a document that changed by insertions alone
    // is laid out lazily, one that first changed a format is laid out whole at once.
    if (replace) {
        QTextCursor first(doc);
        first.setBlockFormat(content.paragraphs.first().format);
        const int mark = content.paragraphs.first().mark;
        first.setBlockCharFormat(mark >= 0 ? content.formats.at(mark) : QTextCharFormat());
    }
}

bool parse(QByteArrayView data, Content &content, QString *error) {
    if (!looksLikeRtf(data)) {
        if (error) *error = QStringLiteral("not RTF");
        return false;
    }
    Parser parser(content);
    return parser.parse(data, error);
}

} // namespace

bool read(QByteArrayView data, QTextDocument *doc, QString *error) {
    if (load(data, doc, error)) return true;
    doc->clear();
    return false;
}

bool load(QByteArrayView data, QTextDocument *doc, QString *error) {
    Content content;
    if (!parse(data, content, error)) return false;
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    doc->clear(); // inside the edit: the layout hears of one change, the new document
    apply(content, cursor, true);
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undo);
    return true;
}

bool insert(QByteArrayView data, QTextCursor &cursor, QString *error) {
    Content content;
    if (!parse(data, content, error)) return false;
    cursor.beginEditBlock();
    if (cursor.hasSelection()) cursor.removeSelectedText();
    apply(content, cursor, false);
    cursor.endEditBlock();
    return true;
}

} // namespace rtf
