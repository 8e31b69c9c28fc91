#include "store/cipher/entrycipher.h"

#include "store/rtf/rtf.h"

#include <sodium.h>

#include <array>

namespace cipher {

namespace {

constexpr char kBel = 0x07;
constexpr char kMarker[] = "$q1$";
constexpr quint8 kFormat = 1;
constexpr qsizetype kLineLength = 76;
constexpr qsizetype kSaltSize = crypto_pwhash_SALTBYTES;
constexpr qsizetype kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr qsizetype kKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr qsizetype kCheckSize = 16;
constexpr qsizetype kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr qsizetype kChecksumSize = 16;
constexpr qsizetype kHeaderSize = 1 + 4 + 4 + kSaltSize + kNonceSize + kCheckSize;
static_assert(kSaltSize == 16 && kNonceSize == 24 && kKeySize == 32 && kTagSize == 16);

// What comes after and before the base64 lines of a body: the editor's own document around them.
const QByteArray kBodyTail = "\\par\r\n}";
QByteArray bodyHead() {
    static const QByteArray head =
        rtf::documentWithBody(QStringLiteral("A")).toLatin1().chopped(1 + kBodyTail.size());
    return head;
}

void putNumber(QByteArray &out, quint32 v) {
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
}

quint32 number(QByteArrayView bytes, qsizetype at) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(bytes[at + i])) << (8 * i);
    return v;
}

// A record names its own cost, and whoever can change the file can name any: no more than the
// cost we write is paid, so a record cannot make opening an entry take seconds and a gigabyte.
bool limitsInRange(Limits l) {
    return l.ops >= crypto_pwhash_OPSLIMIT_MIN && l.ops <= crypto_pwhash_OPSLIMIT_INTERACTIVE &&
           quint64(l.memKiB) * 1024 >= crypto_pwhash_MEMLIMIT_MIN &&
           quint64(l.memKiB) * 1024 <= crypto_pwhash_MEMLIMIT_INTERACTIVE;
}

QByteArray additionalData(qint32 key, QByteArrayView title) {
    return QByteArray::number(key) + '\n' + title.toByteArray();
}

QByteArray checksumOf(QByteArrayView bytes) {
    QByteArray sum(kChecksumSize, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char *>(sum.data()), size_t(sum.size()),
                       reinterpret_cast<const unsigned char *>(bytes.data()), size_t(bytes.size()),
                       nullptr, 0);
    return sum;
}

// Everything the checksum covers.
QByteArray recordBeforeChecksum(const Sealed &s) {
    QByteArray out;
    out.reserve(kHeaderSize + s.cipher.size());
    out.append(char(kFormat));
    putNumber(out, s.limits.ops);
    putNumber(out, s.limits.memKiB);
    out += s.salt + s.nonce + s.check + s.cipher;
    return out;
}

bool checksumFits(const Sealed &s) { return checksumOf(recordBeforeChecksum(s)) == s.checksum; }

// Key and check, derived from the password with the record's salt and limits; wiped on the way
// out.
class Derived {
public:
    ~Derived() { sodium_memzero(m_bytes.data(), m_bytes.size()); }

    Result derive(const QString &password, const QByteArray &salt, Limits limits) {
        QByteArray pw = password.toUtf8();
        const int rc = crypto_pwhash(m_bytes.data(), m_bytes.size(), pw.constData(),
                                     quint64(pw.size()),
                                     reinterpret_cast<const unsigned char *>(salt.constData()),
                                     limits.ops, size_t(limits.memKiB) * 1024,
                                     crypto_pwhash_ALG_ARGON2ID13);
        wipe(pw);
        if (rc != 0) return {Code::Unavailable, QStringLiteral("no memory for the key derivation")};
        return {};
    }
    const unsigned char *key() const { return m_bytes.data(); }
    bool checkFits(const QByteArray &check) const {
        return sodium_memcmp(m_bytes.data() + kKeySize, check.constData(), kCheckSize) == 0;
    }
    QByteArray check() const {
        return QByteArray(reinterpret_cast<const char *>(m_bytes.data() + kKeySize), kCheckSize);
    }

private:
    std::array<unsigned char, kKeySize + kCheckSize> m_bytes{};
};

Result damaged(const QString &detail) { return {Code::Damaged, detail}; }

// The sealed parts of a record of our format, or why there are none.
std::optional<Sealed> sealedOf(const Record &r, Result *error) {
    if (r.passwordLine != encipheredPasswordLine()) {
        *error = damaged(QStringLiteral("a password line of another format"));
        return std::nullopt;
    }
    Parsed p = parseBody(r.body);
    if (!p.sealed) *error = damaged(p.error + QStringLiteral(" at byte ") + QString::number(p.offset));
    return std::move(p.sealed);
}

} // namespace

Limits standardLimits() {
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, quint32(crypto_pwhash_MEMLIMIT_INTERACTIVE / 1024)};
}

bool init() {
    static const bool ok = sodium_init() >= 0;
    return ok;
}

QByteArray encipheredPasswordLine() { return kBel + QByteArray(kMarker); }

bool isSealedLine(QByteArrayView passwordLine) {
    return passwordLine.size() >= 2 && passwordLine[0] == kBel && passwordLine[1] == '$';
}

Parsed parseBody(QByteArrayView body) {
    Parsed p;
    auto fail = [&p](qsizetype offset, const char *what) {
        p.offset = offset;
        p.error = QString::fromLatin1(what);
        return p;
    };
    const QByteArray head = bodyHead();
    if (!body.startsWith(head)) return fail(0, "not the RTF of a sealed record");
    if (!body.endsWith(kBodyTail)) return fail(body.size(), "the RTF does not end as written");
    const qsizetype end = body.size() - kBodyTail.size();
    if (end < head.size()) return fail(head.size(), "no record in the RTF");
    // Lines of exactly 76 characters, the last one 1 to 76.
    QByteArray text;
    text.reserve(end - head.size());
    for (qsizetype at = head.size(); at < end;) {
        const qsizetype n = qMin(kLineLength, end - at);
        const QByteArrayView line = body.sliced(at, n);
        if (line.contains('\r') || line.contains('\n')) return fail(at, "a line of another length");
        text += line;
        at += n;
        if (at < end) {
            if (body.sliced(at).startsWith("\r\n") && at + 2 < end) at += 2;
            else return fail(at, "a line of another length");
        }
    }
    const auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    // Only the one base64 spelling that the writer gives is read.
    if (!decoded || decoded.decoded.toBase64() != text) return fail(head.size(), "not base64");
    const QByteArray &r = decoded.decoded;
    if (r.size() < kHeaderSize + kTagSize + kChecksumSize) return fail(head.size(), "a record too short");
    if (quint8(r[0]) != kFormat) return fail(head.size(), "a record of another format");
    Sealed s;
    s.limits = {number(r, 1), number(r, 5)};
    if (!limitsInRange(s.limits)) return fail(head.size(), "key derivation limits out of range");
    qsizetype at = 9;
    auto take = [&r, &at](qsizetype n) {
        const QByteArray part = r.mid(at, n);
        at += n;
        return part;
    };
    s.salt = take(kSaltSize);
    s.nonce = take(kNonceSize);
    s.check = take(kCheckSize);
    s.cipher = take(r.size() - at - kChecksumSize);
    s.checksum = take(kChecksumSize);
    p.sealed = std::move(s);
    return p;
}

QByteArray writeBody(const Sealed &sealed) {
    const QByteArray text = (recordBeforeChecksum(sealed) + sealed.checksum).toBase64();
    QByteArray out = bodyHead();
    out.reserve(out.size() + text.size() + text.size() / kLineLength * 2 + kBodyTail.size());
    for (qsizetype at = 0; at < text.size(); at += kLineLength) {
        if (at > 0) out += "\r\n";
        out += QByteArrayView(text).sliced(at, qMin(kLineLength, text.size() - at));
    }
    return out + kBodyTail;
}

Sealing seal(QByteArrayView plain, qint32 key, QByteArrayView title, const QString &password,
             Limits limits) {
    Sealing out;
    if (!init()) {
        out.result = {Code::Unavailable, QStringLiteral("libsodium cannot start")};
        return out;
    }
    if (!limitsInRange(limits)) {
        out.result = {Code::Unavailable, QStringLiteral("key derivation limits out of range")};
        return out;
    }
    Sealed s;
    s.limits = limits;
    s.salt = QByteArray(kSaltSize, Qt::Uninitialized);
    s.nonce = QByteArray(kNonceSize, Qt::Uninitialized);
    randombytes_buf(s.salt.data(), size_t(s.salt.size()));
    randombytes_buf(s.nonce.data(), size_t(s.nonce.size()));
    Derived d;
    out.result = d.derive(password, s.salt, limits);
    if (!out.result.ok()) return out;
    s.check = d.check();
    s.cipher = QByteArray(plain.size() + kTagSize, Qt::Uninitialized);
    const QByteArray ad = additionalData(key, title);
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        reinterpret_cast<unsigned char *>(s.cipher.data()), &written,
        reinterpret_cast<const unsigned char *>(plain.data()), quint64(plain.size()),
        reinterpret_cast<const unsigned char *>(ad.constData()), quint64(ad.size()), nullptr,
        reinterpret_cast<const unsigned char *>(s.nonce.constData()), d.key());
    s.checksum = checksumOf(recordBeforeChecksum(s));
    out.body = writeBody(s);
    return out;
}

Opening open(const Record &record, const QString &password) {
    Opening out;
    if (!init()) {
        out.result = {Code::Unavailable, QStringLiteral("libsodium cannot start")};
        return out;
    }
    const std::optional<Sealed> sealed = sealedOf(record, &out.result);
    if (!sealed) return out;
    const Sealed &s = *sealed;
    if (!checksumFits(s)) {
        out.result = damaged(QStringLiteral("checksum"));
        return out;
    }
    Derived d;
    out.result = d.derive(password, s.salt, s.limits);
    if (!out.result.ok()) return out;
    if (!d.checkFits(s.check)) {
        out.result = {Code::WrongPassword, {}};
        return out;
    }
    const QByteArray ad = additionalData(record.key, record.title);
    out.plain = QByteArray(s.cipher.size() - kTagSize, Qt::Uninitialized);
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            reinterpret_cast<unsigned char *>(out.plain.data()), &written, nullptr,
            reinterpret_cast<const unsigned char *>(s.cipher.constData()), quint64(s.cipher.size()),
            reinterpret_cast<const unsigned char *>(ad.constData()), quint64(ad.size()),
            reinterpret_cast<const unsigned char *>(s.nonce.constData()), d.key()) != 0) {
        wipe(out.plain);
        out.plain.clear();
        out.result = damaged(QStringLiteral("the seal does not open: the body, key or title changed"));
    }
    return out;
}

Result checkPassword(const Record &record, const QString &password) {
    if (!init()) return {Code::Unavailable, QStringLiteral("libsodium cannot start")};
    Result error;
    const std::optional<Sealed> sealed = sealedOf(record, &error);
    if (!sealed) return error;
    const Sealed &s = *sealed;
    Derived d;
    const Result derived = d.derive(password, s.salt, s.limits);
    if (!derived.ok()) return derived;
    if (d.checkFits(s.check)) return {};
    if (!checksumFits(s)) return damaged(QStringLiteral("checksum"));
    return {Code::WrongPassword, {}};
}

void wipe(QByteArray &bytes) {
    if (!bytes.isEmpty()) sodium_memzero(bytes.data(), size_t(bytes.size()));
}

void wipe(QString &text) {
    if (!text.isEmpty()) sodium_memzero(text.data(), size_t(text.size()) * sizeof(QChar));
}

} // namespace cipher
