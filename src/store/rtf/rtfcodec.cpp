#include "store/rtf/rtfcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <map>
#include <memory>

namespace rtf {

namespace {

// ICU converter names of the Windows code pages RTF files name. The Mac double-byte code pages
// are close enough to their Windows relatives to show the text.
const char *converterName(int codePage) {
    switch (codePage) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 852: return "IBM852";
    case 866: return "IBM866";
    case 874: return "windows-874";
    case 932: case 10001: return "windows-31j";
    case 936: case 10008: return "GBK";
    case 949: case 10003: return "windows-949";
    case 950: case 10002: return "windows-950";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1252: return "windows-1252";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 10000: return "macintosh";
    case 10006: return "x-mac-greek";
    case 10007: return "x-mac-cyrillic";
    case 10029: return "x-mac-centraleurroman";
    case 10081: return "x-mac-turkish";
    case 65001: return "UTF-8";
    default: return nullptr;
    }
}

// The characters of the Symbol font's bytes 0xa0 to 0xff. Its bytes below 0x80 are left as they
// are (word processors keep them as the letters typed), 0x80 to 0x9f draw nothing.
const char16_t kSymbolHigh[96] = {
    0x20ac, 0x03d2, 0x2032, 0x2264, 0x2044, 0x221e, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191,
    0x2192, 0x2193, 0x00b0, 0x00b1, 0x2033, 0x2265, 0x00d7, 0x221d, 0x2202, 0x2022, 0x00f7, 0x2260, 0x2261, 0x2248,
    0x2026, 0x23d0, 0x23af, 0x21b5, 0x2135, 0x2111, 0x211c, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222a, 0x2283,
    0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209, 0x2220, 0x2207, 0x00ae, 0x00a9, 0x2122, 0x220f, 0x221a, 0x22c5,
    0x00ac, 0x2227, 0x2228, 0x21d4, 0x21d0, 0x21d1, 0x21d2, 0x21d3, 0x25ca, 0x2329, 0x00ae, 0x00a9, 0x2122, 0x2211,
    0x239b, 0x239c, 0x239d, 0x23a1, 0x23a2, 0x23a3, 0x23a7, 0x23a8, 0x23a9, 0x23aa, 0xfffd, 0x232a, 0x222b, 0x2320,
    0x23ae, 0x2321, 0x239e, 0x239f, 0x23a0, 0x23a4, 0x23a5, 0x23a6, 0x23ab, 0x23ac, 0x23ad, 0xfffd,
};

bool isDoubleByte(int codePage) {
    switch (codePage) {
    case 932: case 936: case 949: case 950:
    case 10001: case 10002: case 10003: case 10008:
        return true;
    default:
        return false;
    }
}

} // namespace

int codePageForCharset(int charset) {
    switch (charset) {
    case 0: return 1252;
    case 77: return 10000;
    case 78: return 10001;
    case 79: return 10003;
    case 80: return 10008;
    case 81: return 10002;
    case 83: return 10005;
    case 84: return 10004;
    case 85: return 10006;
    case 86: return 10081;
    case 87: return 10021;
    case 88: return 10029;
    case 89: return 10007;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0; // 1 (default), 2 (symbol) and unknown charsets follow \ansicpg
    }
}

int codePageForFont(int charset, QStringView name) {
    if (charset == 2 && name.compare(u"Symbol", Qt::CaseInsensitive) == 0) return kSymbolCodePage;
    return codePageForCharset(charset);
}

bool isSupportedCodePage(int codePage) { return codePage == kSymbolCodePage || converterName(codePage); }

Codec &Codec::forCodePage(int codePage) {
    thread_local std::map<int, std::unique_ptr<Codec>> codecs;
    if (!isSupportedCodePage(codePage)) codePage = 1252;
    auto it = codecs.find(codePage);
    if (it == codecs.end()) it = codecs.emplace(codePage, std::unique_ptr<Codec>(new Codec(codePage))).first;
    return *it->second;
}

Codec::Codec(int codePage) : m_codePage(codePage), m_utf8(codePage == 65001) {
    const char *name = codePage == kSymbolCodePage ? "windows-1252" : converterName(codePage);
    m_decoder = new QStringDecoder(name, QStringConverter::Flag::Stateless);
    m_encoder = new QStringEncoder(name, QStringConverter::Flag::Stateless);
    if (!m_decoder->isValid() || !m_encoder->isValid()) {
        delete m_decoder;
        delete m_encoder;
        m_decoder = new QStringDecoder("windows-1252", QStringConverter::Flag::Stateless);
        m_encoder = new QStringEncoder("windows-1252", QStringConverter::Flag::Stateless);
    }
    m_single.assign(256, -1);
    if (isDoubleByte(codePage)) m_pairs.assign(65536, -1);
    m_encoded.assign(65536, -1);
    if (codePage == kSymbolCodePage) {
        // Filled in full: the stand-in converter never answers for these bytes. Nothing is
        // encoded in this code page (the writer gives such fonts another charset).
        for (int b = 0x80; b < 0x100; ++b)
            m_single[b] = b >= 0xa0 ? kSymbolHigh[b - 0xa0] : 0xfffd;
        std::fill(m_encoded.begin() + 0x80, m_encoded.end(), 0);
    }
}

Codec::~Codec() {
    delete m_decoder;
    delete m_encoder;
}

int Codec::sequenceLength(unsigned char b) const {
    if (b < 0x80) return 1;
    if (m_utf8) {
        if (b >= 0xf0 && b <= 0xf4) return 4;
        if (b >= 0xe0) return b <= 0xef ? 3 : 1;
        if (b >= 0xc2) return 2;
        return 1;
    }
    if (m_pairs.empty()) return 1;
    if (m_codePage == 932 || m_codePage == 10001)
        return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc) ? 2 : 1;
    return b >= 0x81 && b <= 0xfe ? 2 : 1;
}

void Codec::decodeUncached(const unsigned char *bytes, int length, QString &out) {
    m_decoder->resetState();
    QString s = m_decoder->decode(QByteArrayView(reinterpret_cast<const char *>(bytes), length));
    m_decoder->resetState();
    // A lead byte without its trail gives nothing from the converter; it is still one character.
    if (s.isEmpty()) s = QChar(QChar::ReplacementCharacter);
    out += s;
}

void Codec::decode(const unsigned char *bytes, int length, QString &out) {
    if (length <= 0) return;
    if (length == 1) {
        if (bytes[0] < 0x80) {
            out += QChar(bytes[0]);
            return;
        }
        int &slot = m_single[bytes[0]];
        if (slot == -1) {
            if (sequenceLength(bytes[0]) > 1) {
                slot = QChar::ReplacementCharacter; // a lead byte alone
            } else {
                QString s;
                decodeUncached(bytes, 1, s);
                slot = s.size() == 1 ? s.at(0).unicode() : -2;
            }
        }
        if (slot >= 0) out += QChar(char16_t(slot));
        else decodeUncached(bytes, 1, out);
        return;
    }
    if (length == 2 && !m_pairs.empty()) {
        int &slot = m_pairs[bytes[0] << 8 | bytes[1]];
        if (slot == -1) {
            QString s;
            decodeUncached(bytes, 2, s);
            slot = s.size() == 1 ? s.at(0).unicode() : -2;
        }
        if (slot >= 0) {
            out += QChar(char16_t(slot));
            return;
        }
    }
    decodeUncached(bytes, length, out);
}

int Codec::encode(char16_t c, char *out) {
    int &slot = m_encoded[c];
    if (slot == -1) {
        slot = 0;
        if (!QChar::isSurrogate(c)) {
            const QChar ch(c);
            m_encoder->resetState();
            const QByteArray bytes = m_encoder->encode(QStringView(&ch, 1));
            m_encoder->resetState();
            // Only exact mappings count: a best-fit or substitute byte would change the text.
            if (!bytes.isEmpty() && bytes.size() <= 3) {
                QString back;
                decode(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), back);
                if (back.size() == 1 && back.at(0) == ch) {
                    int packed = 0;
                    for (char b : bytes)
                        packed = packed << 8 | static_cast<unsigned char>(b);
                    slot = int(bytes.size()) << 24 | packed;
                }
            }
        }
    }
    if (slot == 0) return 0;
    const int length = slot >> 24;
    for (int i = 0; i < length; ++i)
        out[i] = char((slot >> (8 * (length - 1 - i))) & 0xff);
    return length;
}

} // namespace rtf
