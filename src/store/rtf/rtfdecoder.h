#pragma once

#include "store/rtf/rtfcodec.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace rtf {

struct FontDef {
    QString name;
    int charset = -1;
    int cpg = 0;
};

// The characters of the bytes of an RTF document's text: \'hh escapes and bytes written as they
// are. A byte is read in the code page of the font in force (its \cpg, else its \fcharset, the
// Symbol font in its own encoding), else in the document's \ansicpg; a character of several bytes
// may be split across groups and escapes and waits for its last byte. The RTF reader and search's
// plain-text scanner both read through this one decoder, so that search finds what the editor
// shows. For example, with {\f1\fcharset2 Symbol;} the bytes \f1\'b7\f0 x are "•x", never a
// pair of code page 936.
class TextDecoder {
public:
    TextDecoder();

    // The document's code page: \ansi, \mac, \pc, \pca, \ansicpgN.
    void setAnsiCodePage(int codePage);

    // The font table. \fonttbl opens it, \fN starts an entry, \fcharsetN and \cpgN set the entry;
    // its name comes as bytes, read in the entry's own code page, and \uN characters, and ends at
    // ';' or when a group of the table closes.
    void startFontTable() { m_entry = -1; }
    void beginFont(int number);
    void setFontCharset(int charset);
    void setFontCodePage(int codePage);
    void fontNameByte(unsigned char b) { m_nameBytes.append(char(b)); }
    void fontNameChar(char16_t c);
    void finishFontName();
    const FontDef *font(int number) const;

    Codec &codecOfFont(int font);

    // The character a \uN stands for in the font: Word names the Symbol font's characters by the
    // private-use code of their byte (U+F0B7 for \'b7).
    long unicodeCharacter(long value, int font);

    // One byte of text in the font: each character it completes is handed to put(char16_t).
    template <typename Put> void byte(unsigned char b, int font, Put &&put);
    // Ends a character left half way (by a paragraph mark, a \uN, the end) as U+FFFD.
    template <typename Put> void flush(Put &&put) {
        if (!m_need) return;
        m_need = 0;
        m_length = 0;
        m_gbkPair = false;
        put(char16_t(QChar::ReplacementCharacter));
    }
    bool pending() const { return m_need != 0; }

private:
    template <typename Put> void byteSlow(unsigned char b, int font, Put &&put);
    template <typename Put> void finishSequence(Put &&put);
    void decodeNameBytes();
    char16_t gbkPair(unsigned char lead, unsigned char trail);

    int m_ansiCodePage = 1252;
    QHash<int, FontDef> m_fonts;
    int m_entry = -1;
    QByteArray m_nameBytes;
    QString m_name;

    Codec *m_codec = nullptr; // of m_codecFont; null after any change of fonts or code page
    int m_codecFont = 0;

    unsigned char m_seq[4] = {};
    int m_length = 0;
    int m_need = 0;
    bool m_gbkPair = false; // the open sequence is a pair of code page 936, its lead in m_seq[0]
    Codec *m_seqCodec = nullptr;
    char16_t *m_gbk; // this thread's memo of code page 936 pairs (gbkPair)
    QString m_decoded;
};

// Nearly every character of a Chinese diary is a pair of code page 936: both its bytes take the
// short way, the second through the memo of pairs already met.
template <typename Put> inline void TextDecoder::byte(unsigned char b, int font, Put &&put) {
    if (m_gbkPair) {
        if (const char16_t c = m_gbk[size_t(m_seq[0]) << 8 | b]; c && c != 0xffff) {
            m_gbkPair = false;
            m_need = 0;
            m_length = 0;
            put(c);
            return;
        }
    } else if (!m_need && b >= 0x81 && b <= 0xfe) {
        Codec &c = codecOfFont(font);
        if (c.codePage() == 936) {
            m_seq[0] = b;
            m_length = 1;
            m_need = 2;
            m_seqCodec = &c;
            m_gbkPair = true;
            return;
        }
    }
    byteSlow(b, font, put);
}

template <typename Put> void TextDecoder::byteSlow(unsigned char b, int font, Put &&put) {
    m_gbkPair = false;
    if (m_need) {
        // A byte that cannot continue a UTF-8 sequence ends it and starts afresh.
        if (m_seqCodec->codePage() == 65001 && (b & 0xc0) != 0x80) {
            flush(put);
        } else {
            if (m_need == 2 && m_seqCodec->codePage() == 936) {
                if (const char16_t c = gbkPair(m_seq[0], b); c != 0xffff) {
                    m_need = 0;
                    m_length = 0;
                    put(c);
                    return;
                }
            }
            m_seq[m_length++] = b;
            if (m_length == m_need) finishSequence(put);
            return;
        }
    }
    if (b < 0x80) {
        put(char16_t(b));
        return;
    }
    Codec &c = codecOfFont(font);
    m_seq[0] = b;
    m_length = 1;
    m_need = c.sequenceLength(b);
    m_seqCodec = &c;
    if (m_need == 1) finishSequence(put);
}

template <typename Put> void TextDecoder::finishSequence(Put &&put) {
    m_decoded.clear();
    m_seqCodec->decode(m_seq, m_length, m_decoded);
    m_need = 0;
    m_length = 0;
    for (const QChar ch : std::as_const(m_decoded))
        put(ch.unicode());
}

} // namespace rtf
