#pragma once

#include <QString>

#include <vector>

class QStringDecoder;
class QStringEncoder;

// Code pages of RTF text: \'hh bytes and the bytes the writer produces, one character at a time.
namespace rtf {

// The code page that a font's \fcharset stands for; 0 when the charset names none (the
// document's \ansicpg applies then).
int codePageForCharset(int charset);

// The code page of a font: that of its charset, and for the Symbol font (charset 2) the Symbol
// encoding, kSymbolCodePage.
constexpr int kSymbolCodePage = 42;
int codePageForFont(int charset, QStringView name);

// True when the Codec of the code page converts with that code page itself rather than with
// the Windows-1252 stand-in.
bool isSupportedCodePage(int codePage);

// Converts single characters between a Windows code page and UTF-16. Conversions are cached,
// so a long document costs table look-ups rather than converter calls. Not shared between
// threads: each thread has its own codecs.
class Codec {
public:
    // The codec of a code page; an unknown or unsupported code page gives Windows-1252. The
    // Symbol code page maps bytes 0x80 and above to the characters the Symbol font draws.
    static Codec &forCodePage(int codePage);

    ~Codec();
    Codec(const Codec &) = delete;
    Codec &operator=(const Codec &) = delete;

    int codePage() const { return m_codePage; }

    // How many bytes make the character that starts with byte b (1 for single-byte code pages).
    int sequenceLength(unsigned char b) const;

    // Appends the characters of one byte sequence of at most four bytes (a whole character, or
    // what is left of one); bytes that are no character give U+FFFD.
    void decode(const unsigned char *bytes, int length, QString &out);

    // The bytes of one UTF-16 code unit in this code page, written to out (room for 4); returns
    // their number, 0 when the code page cannot hold the character exactly.
    int encode(char16_t c, char *out);

private:
    explicit Codec(int codePage);
    void decodeUncached(const unsigned char *bytes, int length, QString &out);

    int m_codePage;
    bool m_utf8 = false;
    QStringDecoder *m_decoder = nullptr;
    QStringEncoder *m_encoder = nullptr;
    // Decoded single bytes and byte pairs: -1 not known yet, -2 not one UTF-16 unit.
    std::vector<int> m_single;
    std::vector<int> m_pairs;
    // Encoded code units: -1 not known yet, 0 not representable, else length << 24 | bytes.
    std::vector<int> m_encoded;
};

} // namespace rtf
