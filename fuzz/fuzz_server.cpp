// The server's two services that take requests, as functions from the bytes that arrived to the
// reply, over a program directory with a few accounts. The first byte chooses the service (even:
// login, odd: registration); the rest is what the peer sent.
// Login: "200" exactly for a known id followed by NUL and its password, "886" for everything else.
// Registration: always answered while ids are free; the confirmation describes the account as
// stored, on the wire byte for byte; the new account logs in with the password it shows; no other
// account is touched.
// Beside them, the protocol's own parsers: the byte count of separators matches the decoded text,
// a parsed record rebuilt parses the same, a login reply is accepted only when it is "200".
#include "fuzzsupport.h"

#include "netservice/accounts.h"
#include "netservice/protocol.h"
#include "netservice/userinfo.h"
#include "platform/codepage.h"
#include "platform/programfolder.h"

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

ProgramFolder &store() {
    static ProgramFolder *a = [] {
        auto *created = new ProgramFolder(fuzzsupport::scratchDir());
        QDir().mkpath(created->path(u"\\UserInfo"_qs));
        return created;
    }();
    return *a;
}

QString userDir() {
    return store().path(u"\\UserInfo"_qs);
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
    const QString reply = checkLogin(store(), text);
    check(reply == (isKnownLogin(text) ? protocol::loginAccepted() : protocol::loginRefused()),
          "the login check answers wrongly", [&] { return reply; });
}

void registration(const QString &text, uint seed) {
    QList<QByteArray> before;
    for (const Account &a : accounts())
        before.append(accountBytes(a));

    // Ids drawn from the input, so that a run repeats; the store's own ids come up too.
    quint64 n = seed;
    store().randomSource = [&n] {
        ++n;
        return n % 7 == 0 ? 4711.0 / double(UserInfo::kIdBound)
                          : std::fmod(double(n) * 0.6180339887498949, 1.0);
    };
    const QStringList namesBefore = QDir(userDir()).entryList(QDir::Files);
    const std::optional<QString> reply = RegNewUser(store(), text, u"10.0.0.5"_qs);
    check(reply.has_value(), "a registration is not answered");

    QStringList added = QDir(userDir()).entryList(QDir::Files);
    for (const QString &name : namesBefore)
        added.removeOne(name);
    check(added.size() == 1, "a registration did not add exactly one account file");
    for (qsizetype i = 0; i < accounts().size(); ++i)
        check(accountBytes(accounts()[i]) == before[i], "a registration changed another account");

    const QString id = added.first().chopped(4);
    UserInfo account(store());
    check(account.getInfo(id), "the registered account cannot be read", [&] { return id; });
    check(QString::number(account.getID()) == id && account.recordMark() == UserInfo::kRecordMark,
          "the account file holds another id");
    const protocol::RegistrationRecord r = protocol::parseRegistrationRecord(text);
    check(account.getName() == stored(r.name) && account.getPassword() == stored(r.password) &&
              account.getEmail() == stored(r.email) && account.getAddress() == stored(r.address) &&
              account.getAbout() == stored(r.about) && account.getSex() == stored(r.sex) &&
              account.getIP() == u"10.0.0.5"_qs,
          "the account stores other fields than were sent");
    check(cp936::encode(*reply) == cp936::encode(protocol::registrationConfirmation(account)),
          "the confirmation differs from the stored account");
    check(checkLogin(store(), protocol::buildLoginRequest(id, account.getPassword())) ==
              protocol::loginAccepted(),
          "a registered account does not log in with its password");
    store().randomSource = {};
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
        UserInfo u(store());
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
