#include "store/net/protocol.h"

#include "store/net/userinfo.h"

#include <QList>

namespace protocol {

namespace {

const QChar kSeparator(0);
const QString kCrLf = QStringLiteral("\r\n");

} // namespace

QString serviceTag(Service service) {
    switch (service) {
    case Service::Message:
        return QStringLiteral("   (ReadMessage)");
    case Service::Registration:
        return QStringLiteral("   (Register)");
    case Service::Login:
        return QStringLiteral("   (Login)");
    }
    return QString();
}

QString displayTag(Service service) {
    switch (service) {
    case Service::Message:
        return QStringLiteral("MsgSvr");
    case Service::Registration:
        return QStringLiteral("RegSvr");
    case Service::Login:
        return QStringLiteral("LogSvr");
    }
    return QString();
}

QString logLine(const QString &ip, int port, const QDateTime &when, Service service) {
    // Written out by hand: the server logs every connection, and date format strings, or a
    // string for every number, would cost more than the rest of serving a message. The same as
    // "yyyy-M-d" and "H:mm:ss".
    const QDate date = when.date();
    const QTime time = when.time();
    QString line;
    line.reserve(ip.size() + 56);
    const auto number = [&line](int n, int width) {
        if (n < 0) line += u'-';
        char16_t digits[12];
        int first = 12;
        for (unsigned v = n < 0 ? 0u - unsigned(n) : unsigned(n); v > 0 || 12 - first < width;
             v /= 10)
            digits[--first] = char16_t(u'0' + v % 10);
        line += QStringView(digits + first, 12 - first);
    };
    line += u"\r\n  >> ";
    line += ip;
    line += u" = ";
    number(port, 1);
    line += u" =  ";
    number(date.year(), 4);
    line += u'-';
    number(date.month(), 1);
    line += u'-';
    number(date.day(), 1);
    line += u"  - ";
    number(time.hour(), 1);
    line += u':';
    number(time.minute(), 2);
    line += u':';
    number(time.second(), 2);
    line += serviceTag(service);
    return line;
}

QString optionalField(const QString &boxText) {
    return boxText.isEmpty() ? u"-"_qs : boxText;
}

QString sexField(bool boyChosen, bool girlChosen) {
    if (boyChosen) return u"男"_qs;
    if (girlChosen) return u"女"_qs;
    return u"不详"_qs;
}

QString buildRegistrationRecord(const RegistrationRecord &r) {
    return r.name + kSeparator + r.password + kSeparator + r.email + kSeparator + r.address +
           kSeparator + r.about + kSeparator + r.sex;
}

RegistrationRecord parseRegistrationRecord(QStringView text) {
    const QList<QStringView> f = text.split(kSeparator);
    auto field = [&f](int i) { return i < f.size() ? f.at(i).toString() : QString(); };
    return {field(0), field(1), field(2), field(3), field(4), field(5)};
}

QString registrationConfirmation(const UserInfo &a) {
    // One line of the layout per line here.
    // clang-format off
    return kCrLf +
           u"  以下是您的注册信息："_qs + kCrLf + kCrLf +
           u"    账号： "_qs + QString::number(a.getID()) + kCrLf +
           u"    姓名： "_qs + a.getName() + u" ("_qs + a.getSex() + u")"_qs + kCrLf +
           u"    密码： "_qs + a.getPassword() + kCrLf +
           u"    邮件： "_qs + a.getEmail() + kCrLf +
           u"    地址： "_qs + a.getAddress() + kCrLf + kCrLf +
           u"   用户注册成功，请记住您的账号和密码。"_qs + kCrLf +
           u"-="_qs.repeated(34) + u"-"_qs + kCrLf + kCrLf +
           a.getAbout();
    // clang-format on
}

QString registrationRefused(Refusal why) {
    switch (why) {
    case Refusal::Address:
        return kCrLf + u"  这个地址今天注册的账号已经太多，请明天再试。"_qs + kCrLf;
    case Refusal::Busy:
        return kCrLf + u"  现在注册的人太多，请过一分钟再试。"_qs + kCrLf;
    case Refusal::Full:
        return kCrLf + u"  服务器的账号已满，不再接受新的注册。"_qs + kCrLf;
    }
    return QString();
}

QString buildLoginRequest(const QString &account, const QString &password) {
    return account + kSeparator + password;
}

LoginRequest parseLoginRequest(QStringView text) {
    LoginRequest r;
    const qsizetype nul = text.indexOf(kSeparator);
    if (nul < 0) {
        r.id = text.toString();
        return r;
    }
    r.id = text.left(nul).toString();
    // The password is field 2: up to a further separator, if one came.
    QStringView rest = text.mid(nul + 1);
    const qsizetype next = rest.indexOf(kSeparator);
    r.password = (next < 0 ? rest : rest.left(next)).toString();
    r.hasPassword = true;
    return r;
}

LoginReply classifyLoginReply(QByteArrayView received) {
    if (received == "200") return LoginReply::Accepted;
    if (received.size() < 3 &&
        (QByteArrayView("200").startsWith(received) || QByteArrayView("886").startsWith(received)))
        return LoginReply::Incomplete;
    return LoginReply::Refused;
}

bool isAccountId(QStringView id) {
    if (id.isEmpty() || id.size() > 8) return false;
    for (QChar c : id)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

int separatorCount(QByteArrayView bytes) {
    return int(bytes.count('\0'));
}

QString errorReport(int number, const QString &description) {
    return kCrLf + kCrLf + u"  错误编号："_qs + QString::number(number) + kCrLf +
           u"  说    明："_qs + description + kCrLf;
}

} // namespace protocol
