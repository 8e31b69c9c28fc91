// The body of an enciphered entry, of any bytes: the reader of sealed records, opening, the
// password check, and the entry in a date file read and removed through the store. Beside "never
// crashes":
//  - a body that parses is exactly the body the writer gives for what was read;
//  - opening gives words only for a body that parses and whose checksum fits (checked here
//    independently), and never words together with a refusal;
//  - the password check agrees with opening: a password that opens is the record's own, and one
//    that is refused as wrong is refused by the check too;
//  - in a date file, reading the entry gives what opening gives; a removal that is refused leaves
//    the file byte for byte; a removal that goes through takes exactly that entry.
// The first byte is a flag: when its low bit is set, a body that parses gets its checksum refitted
// before anything else, so that mutated records reach opening, the password check and removal
// rather than stopping at the checksum. Seeds are that byte and a body sealed for key 4711, title
// 西湖 and password "fuzz", with the cheapest limits.
#include "fuzzsupport.h"

#include "store/cipher/entrycipher.h"
#include "store/diary/diarystore.h"
#include "store/common/codepage.h"

#include <sodium.h>

#include <cstddef>
#include <cstdint>

using fuzzsupport::check;

namespace {

const QString kPassword = QStringLiteral("fuzz");
constexpr qint32 kKey = 4711;
// Key derivations are made for records asking at most this much memory; more is slow, not
// interesting.
constexpr quint32 kMaxMemKiB = 1024;

QByteArray entry(const QByteArray &key, const QByteArray &title, const QByteArray &passwordLine,
                 const QByteArray &body) {
    return "\x7f" + key + "\r\n" + title + "\r\n" + passwordLine + "\r\n" + body + "\r\n \x7f\r\n";
}

QByteArray checksumOf(const cipher::Sealed &s) {
    QByteArray r(1, '\x01');
    for (quint32 v : {s.limits.ops, s.limits.memKiB})
        for (int i = 0; i < 4; ++i)
            r += char(v >> (8 * i));
    r += s.salt + s.nonce + s.check + s.cipher;
    unsigned char sum[16];
    crypto_generichash(sum, sizeof sum, reinterpret_cast<const unsigned char *>(r.constData()), size_t(r.size()),
                       nullptr, 0);
    return QByteArray(reinterpret_cast<const char *>(sum), sizeof sum);
}

bool checksumFits(const cipher::Sealed &s) { return s.checksum == checksumOf(s); }

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    if (!cipher::init()) fuzzsupport::fail("libsodium does not start");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    if (size == 0) return 0;
    QByteArray body(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (data[0] & 1) {
        if (cipher::Parsed p = cipher::parseBody(body); p.sealed) {
            p.sealed->checksum = checksumOf(*p.sealed);
            body = cipher::writeBody(*p.sealed);
            const cipher::Parsed back = cipher::parseBody(body);
            check(back.sealed && checksumFits(*back.sealed), "a refitted body does not read back with its checksum");
        }
    }
    const QByteArray title = cp936::encode(QStringLiteral("西湖"));
    const QByteArray line = cipher::encipheredPasswordLine();
    const cipher::Record record{kKey, title, line, body};

    const cipher::Parsed parsed = cipher::parseBody(body);
    check(parsed.sealed.has_value() == (parsed.offset < 0), "a parse failure without a place, or a place without one");
    if (parsed.sealed) check(cipher::writeBody(*parsed.sealed) == body, "a body read is not the body written for it");
    const bool whole = parsed.sealed && checksumFits(*parsed.sealed);

    const cipher::Opening opened = cipher::open(record, kPassword);
    check(opened.result.ok() || opened.plain.isEmpty(), "words given with a refusal");
    if (!whole) check(opened.result.code == cipher::Code::Damaged, "a damaged body is not called damaged");
    if (!parsed.sealed || parsed.sealed->limits.memKiB > kMaxMemKiB) return 0;

    const cipher::Result checked = cipher::checkPassword(record, kPassword);
    if (opened.result.ok()) check(checked.ok(), "a password that opens fails the check");
    if (opened.result.code == cipher::Code::WrongPassword)
        check(checked.code == cipher::Code::WrongPassword, "a wrong password passes the check",
              [&] { return QString::fromLatin1(store::codeName(checked.code)); });

    // The entry between two others in a date file.
    const QByteArray before = entry("1", "a", "\x07", "{\\rtf1 a}");
    const QByteArray after = entry("2", "b", "\x07" "979899", "{\\rtf1 b}");
    const QByteArray file = before + entry(QByteArray::number(kKey), title, line, body) + after;
    const QString dir = fuzzsupport::scratchDir() + QStringLiteral("/DB");
    const QString path = dir + QStringLiteral("/20040908.KAV");
    const QString temp = dir + QStringLiteral("/temp.tmp");
    fuzzsupport::writeFile(path, file);
    const diary::Content c = diary::readEntry(path, kKey, 0, kPassword);
    check(c.found && c.result.code == opened.result.code && c.PassOK == opened.result.ok(),
          "reading the entry differs from opening its body");
    if (c.PassOK) check(c.body == cp936::decode(opened.plain), "reading the entry gives other words");

    for (const QString &password : {kPassword, QStringLiteral("wrong")}) {
        fuzzsupport::writeFile(path, file);
        const store::Result removed = diary::removeEntry(path, temp, kKey, 0, password);
        const QByteArray now = fuzzsupport::readFile(path);
        if (password == kPassword && checked.ok())
            check(removed.ok(), "an entry with its password proven was not removed");
        if (removed.ok()) {
            check(password == kPassword && checked.ok(), "an entry went without its password");
            check(now == before + after, "a removal took other bytes");
        } else {
            check(now == file, "a refused removal changed the file");
        }
    }
    return 0;
}
