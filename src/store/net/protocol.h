#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringView>

class UserInfo;

// The texts that travel between copies of the program: message service (9983), registration
// service (9980), login service (2799). Fields are separated by one NUL; there is no length and
// no terminator. On the wire every text is code page 936 (Winsock::SendData converts).
namespace protocol {

enum class Service { Message, Registration, Login };

// The service tag of a connection-log line: "   (ReadMessage)", "   (Register)", "   (Login)".
QString serviceTag(Service service);
// The name of the service in the server's report: "MsgSvr", "RegSvr", "LogSvr".
QString displayTag(Service service);

// One connection-log line: CR LF, "  >> ", ip, " = ", port, " =  ", date, "  - ", time, tag.
// Date as yyyy-M-d, time as H:mm:ss.
QString logLine(const QString &ip, int port, const QDateTime &when, Service service);

// ---- Registration ----

// The six fields of a registration record, in wire order.
struct RegistrationRecord {
    QString name;
    QString password;
    QString email;   // "-" when the box is empty
    QString address; // "-" when empty
    QString about;   // "-" when empty
    QString sex;     // "男", "女" or "不详"
};

// What the registration window sends for an optional box: its text, or "-" when it is empty.
QString optionalField(const QString &boxText);
// The sex field for the two option buttons: "男", "女", or "不详" when neither is chosen.
QString sexField(bool boyChosen, bool girlChosen);
// name NUL password NUL email NUL address NUL about NUL sex.
QString buildRegistrationRecord(const RegistrationRecord &record);
// Splits at NUL; missing fields are empty, fields after the sixth are ignored.
RegistrationRecord parseRegistrationRecord(QStringView text);
// A record holds all its fields once it has its five separators.
constexpr int kRecordSeparators = 5;

// The server's answer to a registration, from the account as stored.
QString registrationConfirmation(const UserInfo &account);
// Why the server makes no more accounts for now: too many from the client's address today, too
// many from everyone in the last minute, or as many as it keeps.
enum class Refusal { Address, Busy, Full };
// Its answer then, shown by the client as a confirmation is; the connection closes after it.
QString registrationRefused(Refusal why);

// ---- Login ----

// account NUL password, exactly as typed.
QString buildLoginRequest(const QString &account, const QString &password);
struct LoginRequest {
    QString id;
    QString password;
    bool hasPassword = false; // false when no NUL came
};
LoginRequest parseLoginRequest(QStringView text);
constexpr int kLoginSeparators = 1;

inline QString loginAccepted() {
    return QStringLiteral("200");
}
inline QString loginRefused() {
    return QStringLiteral("886");
}

// How a client reads what has arrived on the login connection so far: a beginning of "200" or
// "886" waits for the rest; exactly "200" is acceptance; anything else is refusal.
enum class LoginReply { Incomplete, Accepted, Refused };
LoginReply classifyLoginReply(QByteArrayView received);

// True for an account id the store can hold: 1 to 8 decimal digits.
bool isAccountId(QStringView id);

// The number of field separators (NUL bytes) in received bytes. Code page 936 never uses byte 0
// inside a character, so counting bytes is exact.
int separatorCount(QByteArrayView bytes);

// ---- Errors ----

// The report a socket error adds to the connection window's pane:
// CR LF, CR LF, "  错误编号：", number, CR LF, "  说    明：", description, CR LF.
QString errorReport(int number, const QString &description);

} // namespace protocol
