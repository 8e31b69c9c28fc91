// An account file, read by the login service's path (UserInfo::getInfo) and by the record reader
// itself, on every input twice: the input as it is, and the input stretched into a record whose
// texts take the lengths its choices give (up to 65,535 bytes each, so up to the longest record
// the format can describe, and past it with bytes after the record). Properties:
//  - both readings agree with each other and with an independent reading of the layout here
//    (two 32-bit little-endian numbers, then seven texts of a 16-bit little-endian byte count and
//    that many bytes; a reading that runs out keeps the fields it read whole, the rest empty);
//  - what the record writes is the layout of its fields, byte for byte, and reads back the same;
//  - the login check accepts the stored password exactly when the file could be read.
#include "fuzzsupport.h"

#include "store/net/accounts.h"
#include "store/net/userinfo.h"
#include "store/common/codepage.h"
#include "store/common/programfolder.h"

#include <cstddef>
#include <cstdint>

using fuzzsupport::check;
using fuzzsupport::Choices;

namespace {

const QString kId = QStringLiteral("4711");
constexpr int kTexts = 7;

QStringList fields(const UserInfo &u) {
    return {QString::number(u.recordMark()),
            QString::number(u.getID()),
            u.getPassword(),
            u.getName(),
            u.getSex(),
            u.getAddress(),
            u.getEmail(),
            u.getAbout(),
            u.getIP()};
}

// The fields as the layout gives them, and whether the bytes held the whole record.
struct Layout {
    QStringList fields = {u"0"_qs, u"0"_qs, {}, {}, {}, {}, {}, {}, {}};
    bool whole = false;
};

Layout readLayout(QByteArrayView b) {
    Layout l;
    qsizetype at = 0;
    auto take = [&](qsizetype n) {
        if (b.size() - at < n) return false;
        at += n;
        return true;
    };
    auto byte = [&](qsizetype i) { return quint32(uchar(b[i])); };
    for (int i = 0; i < 2; ++i) {
        if (!take(4)) return l;
        l.fields[i] = QString::number(qint32(byte(at - 4) | byte(at - 3) << 8 |
                                             byte(at - 2) << 16 | byte(at - 1) << 24));
    }
    for (int i = 0; i < kTexts; ++i) {
        if (!take(2)) return l;
        const qsizetype n = qsizetype(byte(at - 2) | byte(at - 1) << 8);
        if (!take(n)) return l;
        l.fields[2 + i] = cp936::decode(b.sliced(at - n, n));
    }
    l.whole = true;
    return l;
}

QByteArray writeLayout(const UserInfo &u) {
    QByteArray out;
    auto number = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            out.append(char((v >> (8 * i)) & 0xff));
    };
    number(quint32(u.recordMark()));
    number(quint32(u.getID()));
    for (const QString &text : {u.getPassword(), u.getName(), u.getSex(), u.getAddress(),
                                u.getEmail(), u.getAbout(), u.getIP()}) {
        const QByteArray bytes = cp936::encode(text);
        out.append(char(bytes.size() & 0xff)).append(char((bytes.size() >> 8) & 0xff));
        out.append(bytes);
    }
    return out;
}

// The input as a record with long texts: the two numbers, then per text its count and that many
// bytes cycled from the input; then a choice cuts the record short or adds bytes after it.
QByteArray stretched(const uint8_t *data, size_t size) {
    Choices c(data, size);
    QByteArray out;
    for (int i = 0; i < 8; ++i)
        out.append(char(c.byte()));
    const QByteArray fill = size > 0 ? QByteArray(reinterpret_cast<const char *>(data),
                                                  qsizetype(size))
                                     : QByteArray("a");
    for (int i = 0; i < kTexts; ++i) {
        // Mostly short, so that runs stay quick; a count byte 255 asks for a text at most 255
        // bytes short of the longest, and seven of them make a record at the format's limit.
        const uint8_t first = c.byte();
        const quint16 n = first == 255 ? quint16(65535 - c.byte()) : first;
        out.append(char(n & 0xff)).append(char(n >> 8));
        QByteArray text;
        text.reserve(n);
        while (text.size() < n)
            text.append(fill.left(n - text.size()));
        out.append(text);
    }
    const uint8_t end = c.byte();
    if (end % 4 == 1) out.chop(qMin<qsizetype>(out.size(), end / 4));
    if (end % 4 == 2) out.append(QByteArray(end / 4, '\x7f'));
    return out;
}

void checkRecord(const ProgramFolder &folder, const QByteArray &bytes) {
    fuzzsupport::writeFile(folder.dir + u"/UserInfo/"_qs + kId + u".usr"_qs, bytes);

    UserInfo fromFile(folder);
    const bool readFromFile = fromFile.getInfo(kId);
    UserInfo fromMemory(folder);
    const bool readFromMemory = fromMemory.fromBytes(bytes);
    check(readFromFile == readFromMemory && fields(fromFile) == fields(fromMemory),
          "the account file and its bytes read differently");
    const Layout layout = readLayout(bytes);
    check(readFromMemory == layout.whole, "the record is read whole when it is not, or not when it is");
    check(fields(fromMemory) == layout.fields, "the record's fields are not what the layout says",
          [&] {
              return u"read: "_qs + fields(fromMemory).join(u'|') + u"\nlayout: "_qs +
                     layout.fields.join(u'|');
          });

    // What the record writes is its fields in the layout, and reads back the same.
    const QByteArray written = fromMemory.toBytes();
    check(written == writeLayout(fromMemory), "a record writes another layout than its fields");
    check(written.size() <= UserInfo::kMaxRecordBytes,
          "a written record is longer than the format allows");
    UserInfo again(folder);
    check(again.fromBytes(written), "a written record cannot be read");
    check(again.toBytes() == written, "a written record reads back differently");

    // The login service on this account. A password holding NUL cannot travel: the request ends
    // its password field there.
    const QString password = fromMemory.getPassword();
    const bool canLogIn = readFromFile && !password.contains(QChar(0));
    const QString reply = net::checkLogin(folder, kId + QChar(0) + password);
    check(reply == (canLogIn ? u"200"_qs : u"886"_qs),
          "the login check disagrees with the account file", [&] { return reply; });
    check(net::checkLogin(folder, kId) == u"886"_qs, "a login without a password is accepted");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    static const ProgramFolder folder(fuzzsupport::scratchDir());
    checkRecord(folder, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    checkRecord(folder, stretched(data, size));
    return 0;
}
