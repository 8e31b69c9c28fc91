#include "store/rtf/rtfdecoder.h"

#include <vector>

namespace rtf {

namespace {

char16_t *gbkTable() {
    thread_local std::vector<char16_t> table(65536, 0);
    return table.data();
}

} // namespace

TextDecoder::TextDecoder() : m_gbk(gbkTable()) {}

void TextDecoder::setAnsiCodePage(int codePage) {
    m_ansiCodePage = codePage;
    m_codec = nullptr;
}

void TextDecoder::beginFont(int number) {
    finishFontName();
    m_entry = number;
    m_fonts[number] = FontDef{};
    m_codec = nullptr;
}

void TextDecoder::setFontCharset(int charset) {
    if (m_entry < 0) return;
    m_fonts[m_entry].charset = charset;
    m_codec = nullptr;
}

void TextDecoder::setFontCodePage(int codePage) {
    if (m_entry < 0) return;
    m_fonts[m_entry].cpg = codePage;
    m_codec = nullptr;
}

void TextDecoder::fontNameChar(char16_t c) {
    decodeNameBytes();
    m_name.append(QChar(c));
}

// A font's name is read in the font's own code page.
void TextDecoder::decodeNameBytes() {
    if (m_nameBytes.isEmpty() || m_entry < 0) return;
    const FontDef &font = m_fonts[m_entry];
    const int cp = font.cpg ? font.cpg : codePageForCharset(font.charset);
    Codec &codec = Codec::forCodePage(cp ? cp : m_ansiCodePage);
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_nameBytes.constData());
    for (int i = 0; i < m_nameBytes.size();) {
        const int length = qMin(codec.sequenceLength(bytes[i]), int(m_nameBytes.size()) - i);
        codec.decode(bytes + i, length, m_name);
        i += length;
    }
    m_nameBytes.clear();
}

void TextDecoder::finishFontName() {
    if (m_entry < 0) return;
    decodeNameBytes();
    const QString name = m_name.trimmed();
    if (!name.isEmpty()) {
        m_fonts[m_entry].name = name;
        m_codec = nullptr;
    }
    m_name.clear();
}

const FontDef *TextDecoder::font(int number) const {
    const auto it = m_fonts.constFind(number);
    return it == m_fonts.constEnd() ? nullptr : &*it;
}

Codec &TextDecoder::codecOfFont(int font) {
    if (!m_codec || font != m_codecFont) {
        int cp = 0;
        if (const FontDef *f = this->font(font))
            cp = f->cpg ? f->cpg : codePageForFont(f->charset, f->name);
        m_codec = &Codec::forCodePage(cp ? cp : m_ansiCodePage);
        m_codecFont = font;
    }
    return *m_codec;
}

long TextDecoder::unicodeCharacter(long value, int font) {
    if (value < 0xf080 || value > 0xf0ff) return value;
    Codec &codec = codecOfFont(font);
    if (codec.codePage() != kSymbolCodePage) return value;
    const auto b = static_cast<unsigned char>(value & 0xff);
    QString s;
    codec.decode(&b, 1, s);
    return s.at(0).unicode();
}

char16_t TextDecoder::gbkPair(unsigned char lead, unsigned char trail) {
    char16_t &slot = m_gbk[size_t(lead) << 8 | trail];
    if (!slot) {
        QString s;
        const unsigned char bytes[2] = {lead, trail};
        m_seqCodec->decode(bytes, 2, s);
        slot = s.size() == 1 && !s.at(0).isSurrogate() && s.at(0).unicode() != 0xffff
                   ? s.at(0).unicode()
                   : 0xffff;
    }
    return slot;
}

} // namespace rtf
