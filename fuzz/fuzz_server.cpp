// The server's two services that take requests, as functions from the bytes that arrived to the
// reply, over a program directory with a few accounts. The first byte chooses the service (even:
// login, odd: registration); the rest is what the peer sent.
// Login: "200" exactly for a known id followed by NUL and its password, "886" for everything else.
// Registration: always answered while ids are free; the account file and the confirmation are
// what the record's fields give, laid out here as the formats say (not by the server's own
// helpers), byte for byte; the new account logs in with its password; no other account is touched.
// Beside them, the protocol's own parsers: the byte count of separators matches the decoded text,
// a parsed record rebuilt parses the same, a login reply is accepted only when it is "200".
#include "fuzzsupport.h"

#include "store/net/accounts.h"
#include "store/net/protocol.h"
#include "store/net/userinfo.h"
#include "store/common/codepage.h"
#include "store/common/programfolder.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstddef>
#include <cstdint>

using fuzzsupport::check;

namespace {

struct Account {
    qint32 id;
    QString password;
};

// Ids at both ends of the range, an empty password and a double-byte one.
const QList<Account> &accounts() {
    static const QList<Account> list = {
        {4711, QStringLiteral("abc")},
        {0, QStringLiteral("中文密码")},
        {99999999, QString()},
        {12345, QStringLiteral("a b\tc")},
    };
    return list;
}

ProgramFolder &folder() {
    static ProgramFolder *a = [] {
        auto *created = new ProgramFolder(fuzzsupport::scratchDir());
        QDir().mkpath(created->path(u"\\UserInfo"_qs));
        return created;
    }();
    return *a;
}

QString userDir() {
    return folder().path(u"\\UserInfo"_qs);
}

QByteArray accountBytes(const Account &a) {
    return fuzzsupport::readFile(userDir() + u"/"_qs + UserInfo::fileName(a.id));
}

// The store as the fixed accounts left it: anything a registration added is removed.
void resetStore() {
    QDir dir(userDir());
    for (const QString &name : dir.entryList(QDir::Files)) {
        bool fixed = false;
        for (const Account &a : accounts())
            fixed = fixed || name == UserInfo::fileName(a.id);
        if (!fixed) dir.remove(name);
    }
}

bool isKnownLogin(const QString &text) {
    for (const Account &a : accounts()) {
        const QString exact = QString::number(a.id) + QChar(0) + a.password;
        if (text == exact || text.startsWith(exact + QChar(0))) return true;
    }
    return false;
}

// What a text becomes once stored: cut to the format's length, in code page 936.
QString stored(const QString &text) {
    return cp936::decode(cp936::encode(UserInfo::fitText(text)));
}

void login(const QString &text) {
    const QString reply = net::checkLogin(folder(), text);
    check(reply == (isKnownLogin(text) ? u"200"_qs : u"886"_qs),
          "the login check answers wrongly", [&] { return reply; });
}

void registration(const QString &text, uint seed) {
    QList<QByteArray> before;
    for (const Account &a : accounts())
        before.append(accountBytes(a));

    // Ids drawn from the input, so that a run repeats; the store's own ids come up too.
    quint64 n = seed;
    folder().randomSource = [&n] {
        ++n;
        return n % 7 == 0 ? 4711.0 / double(UserInfo::kIdBound)
                          : std::fmod(double(n) * 0.6180339887498949, 1.0);
    };
    const QStringList namesBefore = QDir(userDir()).entryList(QDir::Files);
    const std::optional<QString> reply = net::RegNewUser(folder(), text, u"10.0.0.5"_qs);
    check(reply.has_value(), "a registration is not answered");

    QStringList added = QDir(userDir()).entryList(QDir::Files);
    for (const QString &name : namesBefore)
        added.removeOne(name);
    check(added.size() == 1, "a registration did not add exactly one account file");
    for (qsizetype i = 0; i < accounts().size(); ++i)
        check(accountBytes(accounts()[i]) == before[i], "a registration changed another account");

    const QString id = added.first().chopped(4);
    UserInfo account(folder());
    check(account.getInfo(id), "the registered account cannot be read", [&] { return id; });
    check(QString::number(account.getID()) == id && account.recordMark() == UserInfo::kRecordMark,
          "the account file holds another id");

    // The record's fields in order (name, password, e-mail, address, about, sex; missing ones
    // empty, later ones ignored), as the file stores them.
    const QStringList sent = text.split(QChar(0));
    auto field = [&](int i) { return stored(sent.value(i)); };
    check(account.getName() == field(0) && account.getPassword() == field(1) &&
              account.getEmail() == field(2) && account.getAddress() == field(3) &&
              account.getAbout() == field(4) && account.getSex() == field(5) &&
              account.getIP() == u"10.0.0.5"_qs,
          "the account stores other fields than were sent");
    // The file: mark 998083 and the id as 32-bit little-endian numbers, then each text as a
    // 16-bit little-endian byte count and its bytes.
    QByteArray file;
    for (quint32 v : {998083u, id.toUInt()})
        for (int i = 0; i < 4; ++i)
            file.append(char((v >> (8 * i)) & 0xff));
    for (int i : {1, 0, 5, 3, 2, 4}) {
        const QByteArray bytes = cp936::encode(field(i));
        file.append(char(bytes.size() & 0xff)).append(char(bytes.size() >> 8)).append(bytes);
    }
    file.append('\x08').append('\0').append("10.0.0.5");
    check(fuzzsupport::readFile(userDir() + u"/"_qs + added.first()) == file,
          "the account file is not the record's layout");
    // The confirmation as the protocol lays it out, from the stored values.
    const QString confirmation = u"\r\n  以下是您的注册信息：\r\n\r\n    账号： "_qs + id +
                                 u"\r\n    姓名： "_qs + field(0) + u" ("_qs + field(5) +
                                 u")\r\n    密码： "_qs + field(1) + u"\r\n    邮件： "_qs + field(2) +
                                 u"\r\n    地址： "_qs + field(3) +
                                 u"\r\n\r\n   用户注册成功，请记住您的账号和密码。\r\n"_qs +
                                 u"-="_qs.repeated(34) + u"-\r\n\r\n"_qs + field(4);
    check(cp936::encode(*reply) == cp936::encode(confirmation),
          "the confirmation differs from the stored account",
          [&] { return *reply + u"\n-- expected --\n"_qs + confirmation; });
    check(net::checkLogin(folder(), id + QChar(0) + field(1)) == u"200"_qs,
          "a registered account does not log in with its password");
    folder().randomSource = {};
}

void parsers(QByteArrayView bytes, const QString &text) {
    check(protocol::separatorCount(bytes) == text.count(QChar(0)),
          "separators counted in bytes differ from the decoded text");
    const protocol::RegistrationRecord r = protocol::parseRegistrationRecord(text);
    const protocol::RegistrationRecord again =
        protocol::parseRegistrationRecord(protocol::buildRegistrationRecord(r));
    check(again.name == r.name && again.password == r.password && again.email == r.email &&
              again.address == r.address && again.about == r.about && again.sex == r.sex,
          "a rebuilt registration record parses differently");
    const protocol::LoginRequest l = protocol::parseLoginRequest(text);
    check(!l.id.contains(QChar(0)) && !l.password.contains(QChar(0)),
          "a login field holds a separator");
    check(l.hasPassword == text.contains(QChar(0)), "a login request's password field is misread");
    const protocol::LoginReply reply = protocol::classifyLoginReply(bytes);
    check((reply == protocol::LoginReply::Accepted) == (bytes == "200"),
          "a login reply is misread");
    if (reply == protocol::LoginReply::Incomplete)
        check(bytes.size() < 3, "a whole login reply is taken for a part");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    for (const Account &a : accounts()) {
        UserInfo u(folder());
        u.setID();
        u.setPassword(a.password);
        u.setName(u"fixed"_qs);
        u.setSex(u"不详"_qs);
        // setID drew a random id; the fixed ones are written under their own numbers.
        QByteArray bytes = u.toBytes();
        for (int i = 0; i < 4; ++i)
            bytes[4 + i] = char((quint32(a.id) >> (8 * i)) & 0xff);
        fuzzsupport::writeFile(userDir() + u"/"_qs + UserInfo::fileName(a.id), bytes);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    if (size == 0) return 0;
    const QByteArrayView bytes(data + 1, qsizetype(size - 1));
    // The server decodes what arrived as one text.
    const QString text = cp936::decode(bytes);
    parsers(bytes, text);
    if (data[0] % 2 == 0) {
        login(text);
    } else {
        registration(text, qHash(bytes));
        resetStore();
    }
    return 0;
}
