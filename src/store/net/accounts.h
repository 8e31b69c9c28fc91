#pragma once

#include "store/common/programfolder.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace net {

// The two services of the server that use the account store, in folder's \UserInfo\. Both take a
// request that has arrived whole, as text.

// The login check: "200" when field 1 names an account (1 to 8 digits, file present and read)
// and field 2 equals its password exactly; "886" otherwise.
QString checkLogin(const ProgramFolder &folder, const QString &request);

// Registers the record's first six fields as a new account with a fresh id that no account file
// holds yet, recorded as coming from peerIP, and returns the confirmation to send. Nothing (and
// no account) when no free id was drawn or the file could not be written.
std::optional<QString> RegNewUser(const ProgramFolder &folder, const QString &record, const QString &peerIP);

// How many ids RegNewUser draws before it gives up.
constexpr int kIdDraws = 1000;

// How many accounts a server makes, so that no client can fill its disk: from one address within
// a day, from all addresses within a minute, and in all (the account files in UserInfo).
struct RegistrationLimits {
    int perAddressPerDay = 5;
    int perMinute = 20;
    int total = 10000;
    // This computer's own users (a loopback address) could fill its disk anyway: only the total
    // holds for them.
    bool loopbackExempt = true;
};

// The registrations a server made, by address and time; says whether one more may be made.
class RegistrationGate {
public:
    explicit RegistrationGate(const RegistrationLimits &limits = {}) : m_limits(limits) {}
    void setLimits(const RegistrationLimits &limits) { m_limits = limits; }
    // Nothing when a registration from ip at now may go ahead; else the refusal to send.
    std::optional<QString> refusal(const ProgramFolder &folder, const QString &ip,
                                   const QDateTime &now);
    // Counts a registration made.
    void made(const QString &ip, const QDateTime &now);

private:
    RegistrationLimits m_limits;
    QList<std::pair<QDateTime, QString>> m_made; // within the last day, oldest first
};

} // namespace net
