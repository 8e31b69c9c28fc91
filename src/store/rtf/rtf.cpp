// The RTF writer: the shape of the classic Windows rich-text control, so that what the diary
// stores stays what it always was. Only changes of format are written.
#include "store/rtf/rtf.h"

#include "store/rtf/rtfcodec.h"
#include "store/rtf/rtfpicture.h"

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QTextList>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace rtf {

namespace {

const char kHeader[] = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl";
const char kDefaultFont[] = "{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}";
const char kParagraph[] = "\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18";
const QString kDefaultFamily = QStringLiteral("宋体");
constexpr int kDefaultCharset = 134;
constexpr int kDefaultSize = 18;
constexpr int kPictureBytesPerLine = 64;

const char kHex[] = "0123456789abcdef";

struct CharState {
    int font = 0;
    int fs = kDefaultSize;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int fg = 0;
    int bg = 0;
    bool operator==(const CharState &) const = default;
};

struct ParaState {
    int align = 0;
    int li = 0;
    int ri = 0;
    int fi = 0;
    bool operator==(const ParaState &) const = default;
};

struct FontKey {
    QString name;
    int charset;
    bool operator==(const FontKey &) const = default;
};

size_t qHash(const FontKey &k, size_t seed = 0) { return qHashMulti(seed, k.name, k.charset); }

class Writer {
public:
    Writer() : m_codec(&Codec::forCodePage(936)) {
        m_fonts.append(FontKey{kDefaultFamily, kDefaultCharset});
        m_fontIndex.insert(m_fonts.first(), 0);
    }

    QByteArray document(const QTextDocument *doc);
    // The body of text in the default format, as the writer writes it.
    void plain(const QString &text);
    QByteArray body() const { return m_out; }

private:
    void word(const char *w) {
        m_out += '\\';
        m_out += w;
        m_delimit = true;
    }
    void word(const char *w, int n) {
        word(w);
        m_out += QByteArray::number(n);
    }
    void lineBreak() {
        m_out += "\r\n";
        m_delimit = false;
    }

    void text(QStringView s);
    void fontName(const FontKey &font);
    void paragraph(const ParaState &p);
    void charState(const CharState &s);
    void picture(const QTextDocument *doc, const QTextImageFormat &f);
    CharState stateOf(const QTextCharFormat &f);
    ParaState paraOf(const QTextBlock &block) const;
    int fontOf(const QTextCharFormat &f);
    int colorOf(const QBrush &brush);
    QByteArray header() const;

    QByteArray m_out;
    bool m_delimit = false;
    Codec *m_codec;
    QList<FontKey> m_fonts;
    QHash<FontKey, int> m_fontIndex;
    QList<QRgb> m_colors;
    QHash<QRgb, int> m_colorIndex;
    QHash<int, CharState> m_stateCache; // by the document's format index
    CharState m_char;
    ParaState m_para;
    bool m_firstParagraph = true;
};

// A font name as the font table can hold it: no ';' (it ends the name) and nothing the writer
// would write as a control word or symbol, so that the name reads back as written.
QString cleanFontName(const QString &name) {
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        switch (c.unicode()) {
        case ';': case 0x7f: case 0x00ad: case 0xfffc: case 0xfdd0: case 0xfdd1: break;
        case 0x00a0: case 0x2028: case 0x2029: case '\t': out += QLatin1Char(' '); break;
        case 0x2011: out += QLatin1Char('-'); break;
        default:
            if (c.unicode() >= 0x20) out += c;
            break;
        }
    }
    return out.trimmed();
}

// The charset a font is written with: its own when its code page is one the writer can encode
// in, else GBK's, so that a reader takes the bytes written for the font in the code page they
// are in (a font with the default charset 1 would be read in the reader's own code page, one
// with the symbol charset 2 as glyph codes).
int writtenCharset(int charset, const QString &name) {
    const int cp = codePageForFont(charset, name);
    return cp && cp != kSymbolCodePage && isSupportedCodePage(cp) ? charset : kDefaultCharset;
}

Codec &codecOf(const FontKey &font) {
    const int cp = codePageForFont(font.charset, font.name);
    return Codec::forCodePage(cp ? cp : 936);
}

// The text goes straight into the output buffer, which has room for the longest form of every
// code unit: three bytes as \'hh escapes.
void Writer::text(QStringView s) {
    constexpr qsizetype kLongest = 12;
    const qsizetype at = m_out.size();
    m_out.resize(at + s.size() * kLongest);
    char *o = m_out.data() + at;
    bool delimit = m_delimit;
    const auto put = [&o](const char *w, qsizetype n) {
        std::memcpy(o, w, size_t(n));
        o += n;
    };
    const auto hex = [&o](unsigned char b) {
        *o++ = '\\';
        *o++ = '\'';
        *o++ = kHex[b >> 4];
        *o++ = kHex[b & 15];
    };
    for (const QChar qc : s) {
        const char16_t c = qc.unicode();
        if (c < 0x80) {
            if (c >= 0x20 && c != 0x7f) {
                if (c == '\\' || c == '{' || c == '}') {
                    *o++ = '\\';
                } else if (delimit) {
                    *o++ = ' ';
                }
                *o++ = char(c);
                delimit = false;
            } else if (c == '\t') {
                put("\\tab", 4);
                delimit = true;
            } else if (c == 0x7f) {
                // Kept out of the text as a byte escape: a line of the date file that starts
                // with DEL would be taken for a key line.
                hex(0x7f);
                delimit = false;
            }
            continue;
        }
        switch (c) {
        case 0x2028: put("\\line", 5); delimit = true; continue;
        case 0x00a0: put("\\~", 2); delimit = false; continue;
        case 0x00ad: put("\\-", 2); delimit = false; continue;
        case 0x2011: put("\\_", 2); delimit = false; continue;
        case 0xfffc: case 0x2029: case 0xfdd0: case 0xfdd1: continue;
        default: break;
        }
        char bytes[4];
        const int n = m_codec->encode(c, bytes);
        for (int i = 0; i < n; ++i)
            hex(static_cast<unsigned char>(bytes[i]));
        if (n == 0) {
            put("\\u", 2);
            o = std::to_chars(o, o + 6, int(qint16(c))).ptr;
            *o++ = '?';
        }
        delimit = false;
    }
    m_out.truncate(o - m_out.constData());
    m_delimit = delimit;
}

void Writer::fontName(const FontKey &font) {
    Codec *saved = m_codec;
    m_codec = &codecOf(font);
    text(font.name);
    m_codec = saved;
}

void Writer::paragraph(const ParaState &p) {
    if (p == m_para) return;
    if (!m_firstParagraph) word("pard"); // the paragraph settings already hold one

    if (p.fi) word("fi", p.fi);
    if (p.li) word("li", p.li);
    if (p.ri) word("ri", p.ri);
    static const char *const aligns[] = {nullptr, "qc", "qr", "qj"};
    if (p.align) word(aligns[p.align]);
    m_para = p;
}

void Writer::charState(const CharState &s) {
    if (s == m_char) return;
    if (s.font != m_char.font) {
        word("f", s.font);
        m_codec = &codecOf(m_fonts.at(s.font));
    }
    if (s.fs != m_char.fs) word("fs", s.fs);
    if (s.fg != m_char.fg) word("cf", s.fg);
    if (s.bg != m_char.bg) word("highlight", s.bg);
    if (s.bold != m_char.bold) word(s.bold ? "b" : "b0");
    if (s.italic != m_char.italic) word(s.italic ? "i" : "i0");
    if (s.underline != m_char.underline) word(s.underline ? "ul" : "ulnone");
    if (s.strike != m_char.strike) word(s.strike ? "strike" : "strike0");
    m_char = s;
}

int Writer::fontOf(const QTextCharFormat &f) {
    QString family;
    const QVariant families = f.property(QTextFormat::FontFamilies);
    if (families.isValid()) family = families.toStringList().value(0);
    if (family.isEmpty()) family = f.stringProperty(QTextFormat::FontFamily);
    family = cleanFontName(family);
    if (family.isEmpty()) return 0;
    int charset = f.hasProperty(FontCharset) ? f.intProperty(FontCharset) : kDefaultCharset;
    if (charset < 0 || charset > 255) charset = kDefaultCharset;
    const FontKey key{family, writtenCharset(charset, family)};
    const auto it = m_fontIndex.constFind(key);
    if (it != m_fontIndex.constEnd()) return *it;
    const int index = int(m_fonts.size());
    m_fonts.append(key);
    m_fontIndex.insert(key, index);
    return index;
}

int Writer::colorOf(const QBrush &brush) {
    if (brush.style() == Qt::NoBrush) return 0;
    const QRgb rgb = brush.color().rgb() | 0xff000000u;
    const auto it = m_colorIndex.constFind(rgb);
    if (it != m_colorIndex.constEnd()) return *it;
    m_colors.append(rgb);
    const int index = int(m_colors.size());
    m_colorIndex.insert(rgb, index);
    return index;
}

CharState Writer::stateOf(const QTextCharFormat &f) {
    CharState s;
    s.font = fontOf(f);
    if (f.hasProperty(QTextFormat::FontPointSize)) s.fs = qRound(f.fontPointSize() * 2);
    else if (f.hasProperty(QTextFormat::FontPixelSize)) s.fs = qRound(f.intProperty(QTextFormat::FontPixelSize) * 1.5);
    if (s.fs <= 0 || s.fs > 3276) s.fs = kDefaultSize;
    s.bold = f.hasProperty(QTextFormat::FontWeight) && f.fontWeight() >= QFont::DemiBold;
    s.italic = f.fontItalic();
    s.underline = f.fontUnderline();
    s.strike = f.fontStrikeOut();
    if (f.hasProperty(QTextFormat::ForegroundBrush)) s.fg = colorOf(f.foreground());
    if (f.hasProperty(QTextFormat::BackgroundBrush)) s.bg = colorOf(f.background());
    return s;
}

ParaState Writer::paraOf(const QTextBlock &block) const {
    const QTextBlockFormat f = block.blockFormat();
    ParaState p;
    const Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignJustify) p.align = 3;
    else if (a & Qt::AlignHCenter) p.align = 1;
    else if (a & Qt::AlignRight) p.align = 2;
    qreal left = f.leftMargin() + f.indent() * block.document()->indentWidth();
    if (const QTextList *list = block.textList()) left += list->format().indent() * block.document()->indentWidth();
    auto twips = [](qreal px) { return qBound(-31680, qRound(px * 15), 31680); };
    p.li = twips(left);
    p.ri = twips(f.rightMargin());
    p.fi = twips(f.textIndent());
    return p;
}

void Writer::picture(const QTextDocument *doc, const QTextImageFormat &f) {
    QByteArray data = f.property(PictureData).toByteArray();
    QString kind = f.stringProperty(PictureKind);
    int pw = f.intProperty(PictureWidth);
    int ph = f.intProperty(PictureHeight);
    if (data.isEmpty()) {
        // A picture that came from elsewhere (HTML, a resource): stored as PNG.
        const QVariant resource = doc->resource(QTextDocument::ImageResource, QUrl(f.name()));
        QImage image;
        if (resource.userType() == QMetaType::QImage) image = resource.value<QImage>();
        else if (resource.userType() == QMetaType::QPixmap) image = resource.value<QPixmap>().toImage();
        else if (resource.userType() == QMetaType::QByteArray) image = QImage::fromData(resource.toByteArray());
        if (image.isNull()) return;
        const Picture p = pictureFromImage(image);
        data = p.format.property(PictureData).toByteArray();
        kind = QStringLiteral("pngblip");
        pw = image.width();
        ph = image.height();
    }
    // The kind becomes a control word: letters and digits only.
    QByteArray kindWord = kind.toLatin1();
    if (kindWord.isEmpty() || kindWord.size() > 32 || !std::all_of(kindWord.begin(), kindWord.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        }))
        kindWord = "pngblip";
    const int goalw = f.hasProperty(QTextFormat::ImageWidth) ? qRound(f.width() * 15) : pw * 15;
    const int goalh = f.hasProperty(QTextFormat::ImageHeight) ? qRound(f.height() * 15) : ph * 15;
    m_out += "{\\pict\\";
    m_out += kindWord;
    m_out += "\\picw" + QByteArray::number(pw) + "\\pich" + QByteArray::number(ph);
    m_out += "\\picwgoal" + QByteArray::number(goalw) + "\\pichgoal" + QByteArray::number(goalh);
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    m_out.reserve(m_out.size() + data.size() * 2 + data.size() / kPictureBytesPerLine * 2 + 8);
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i % kPictureBytesPerLine == 0) m_out += "\r\n";
        m_out += kHex[bytes[i] >> 4];
        m_out += kHex[bytes[i] & 15];
    }
    m_out += '}';
    m_delimit = false;
}

QByteArray Writer::header() const {
    QByteArray h(kHeader);
    h += kDefaultFont;
    for (qsizetype i = 1; i < m_fonts.size(); ++i) {
        Writer names;
        names.fontName(m_fonts.at(i));
        h += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset" + QByteArray::number(m_fonts.at(i).charset) + ' ' +
             names.m_out + ";}";
    }
    h += '}';
    if (!m_colors.isEmpty()) {
        h += "\r\n{\\colortbl ;";
        for (QRgb c : m_colors)
            h += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) + "\\blue" +
                 QByteArray::number(qBlue(c)) + ';';
        h += '}';
    }
    h += "\r\n";
    h += kParagraph;
    return h;
}

QByteArray Writer::document(const QTextDocument *doc) {
    // The body is written into a buffer kept from one document to the next: large documents
    // then cost no fresh memory from the system each time they are saved.
    thread_local QByteArray scratch;
    m_out.swap(scratch);
    m_out.resize(0);
    m_out.reserve(doc->characterCount() * 6 + 64);
    m_delimit = true; // the paragraph settings end in a control word
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        paragraph(paraOf(block));
        if (const QTextList *list = block.textList()) {
            // Lists are written as the text they show, so that they read back the same.
            QString marker = list->itemText(block);
            if (marker.isEmpty()) marker = QString(QChar(0x2022));
            text(marker);
            word("tab");
        }
        m_firstParagraph = false;
        bool empty = true;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            empty = false;
            const QTextCharFormat format = fragment.charFormat();
            const QString s = fragment.text();
            if (format.isImageFormat()) {
                const QTextImageFormat image = format.toImageFormat();
                qsizetype from = 0;
                for (qsizetype i = 0; i <= s.size(); ++i) {
                    if (i < s.size() && s.at(i) != QChar::ObjectReplacementCharacter) continue;
                    if (i > from) {
                        charState(stateOf(format));
                        text(QStringView(s).sliced(from, i - from));
                    }
                    if (i < s.size()) picture(doc, image);
                    from = i + 1;
                }
                continue;
            }
            const int index = fragment.charFormatIndex();
            auto cached = m_stateCache.constFind(index);
            if (cached == m_stateCache.constEnd()) cached = m_stateCache.insert(index, stateOf(format));
            charState(*cached);
            text(s);
        }
        if (empty) charState(stateOf(block.charFormat()));
        m_out += "\\par\r\n";
        m_delimit = false;
    }
    m_out += '}';
    // The header names the fonts and colours the body used.
    QByteArray out = header();
    out.reserve(out.size() + m_out.size());
    out += m_out;
    m_out.swap(scratch); // kept for the next document
    return out;
}

void Writer::plain(const QString &s) {
    qsizetype from = 0;
    for (qsizetype i = 0; i <= s.size(); ++i) {
        if (i < s.size() && s.at(i) != QLatin1Char('\r') && s.at(i) != QLatin1Char('\n')) continue;
        text(QStringView(s).sliced(from, i - from));
        if (i < s.size()) {
            if (s.at(i) == QLatin1Char('\r') && i + 1 < s.size() && s.at(i + 1) == QLatin1Char('\n')) ++i;
            m_out += "\\par\r\n";
            m_delimit = false;
        }
        from = i + 1;
    }
}

} // namespace

QString emptyDocument() { return documentWithBody(QString()); }

QString documentWithBody(const QString &escapedBody) {
    QString head = QLatin1String(kHeader) + QLatin1String(kDefaultFont) + QLatin1String("}\r\n") +
                   QLatin1String(kParagraph);
    // The paragraph settings end in a control word: text that starts with a plain character
    // needs the space that ends it.
    if (!escapedBody.isEmpty()) {
        const QChar first = escapedBody.at(0);
        if (first != QLatin1Char('\\') && first != QLatin1Char('{') && first != QLatin1Char('}') &&
            first != QLatin1Char('\r') && first != QLatin1Char('\n'))
            head += QLatin1Char(' ');
    }
    return head + escapedBody + QLatin1String("\\par\r\n}");
}

QString escapeText(const QString &text) {
    Writer w;
    w.plain(text);
    return QString::fromLatin1(w.body());
}

bool looksLikeRtf(QByteArrayView data) {
    qsizetype i = 0;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\r' || data[i] == '\n' || data[i] == '\t'))
        ++i;
    return data.sliced(i).startsWith("{\\rtf");
}

QByteArray write(const QTextDocument *doc) {
    Writer w;
    return w.document(doc);
}

QString plainText(const QTextDocument *doc) {
    QString out;
    out.reserve(doc->characterCount());
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        if (block != doc->begin()) out += QLatin1Char('\n');
        const QString s = block.text();
        for (const QChar c : s) {
            switch (c.unicode()) {
            case 0x2028: out += QLatin1Char('\n'); break;
            case 0x00a0: out += QLatin1Char(' '); break;
            case 0xfffc: case 0xfdd0: case 0xfdd1: break;
            default: out += c; break;
            }
        }
    }
    return out;
}

void insertImage(QTextCursor &cursor, const QImage &image) {
    if (image.isNull()) return;
    Picture picture = pictureFromImage(image);
    const QUrl name = newPictureName();
    picture.format.setName(name.toString());
    cursor.document()->addResource(QTextDocument::ImageResource, name, picture.image);
    cursor.insertImage(picture.format);
}

} // namespace rtf
