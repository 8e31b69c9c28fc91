#include "store/net/accounts.h"

#include "store/net/protocol.h"
#include "store/net/userinfo.h"

#include <QDir>
#include <QFileInfo>

namespace net {

QString checkLogin(const ProgramFolder &folder, const QString &request) {
    const protocol::LoginRequest r = protocol::parseLoginRequest(request);
    UserInfo account(folder);
    if (!account.getInfo(r.id)) return protocol::loginRefused();
    if (!r.hasPassword || r.password != account.getPassword()) return protocol::loginRefused();
    return protocol::loginAccepted();
}

std::optional<QString> RegNewUser(const ProgramFolder &folder, const QString &record, const QString &peerIP) {
    const protocol::RegistrationRecord fields = protocol::parseRegistrationRecord(record);
    UserInfo account(folder);
    // A drawn id that is taken is drawn again: no registration overwrites another account.
    bool free = false;
    for (int i = 0; i < kIdDraws && !free; ++i) {
        account.setID();
        free = !QFileInfo::exists(account.filePath(account.getID()));
    }
    if (!free) return std::nullopt;
    account.setIP(peerIP);
    account.setName(fields.name);
    account.setPassword(fields.password);
    account.setEmail(fields.email);
    account.setAddress(fields.address);
    account.setAbout(fields.about);
    account.setSex(fields.sex);
    // A confirmation for an account that was not stored would hand out an id that never logs in.
    if (!account.Save()) return std::nullopt;
    return protocol::registrationConfirmation(account);
}

std::optional<QString> RegistrationGate::refusal(const ProgramFolder &folder, const QString &ip,
                                                 const QDateTime &now) {
    while (!m_made.isEmpty() && m_made.first().first.secsTo(now) >= 24 * 3600)
        m_made.removeFirst();
    const bool loopback = ip.startsWith(u"127."_qs) || ip == u"::1"_qs || ip.startsWith(u"::ffff:127."_qs);
    int fromIp = 0;
    int lastMinute = 0;
    for (const auto &[time, from] : std::as_const(m_made)) {
        if (from == ip) ++fromIp;
        if (time.secsTo(now) < 60) ++lastMinute;
    }
    if (loopback && m_limits.loopbackExempt) fromIp = lastMinute = 0;
    if (fromIp >= m_limits.perAddressPerDay)
        return protocol::registrationRefused(protocol::Refusal::Address);
    if (lastMinute >= m_limits.perMinute)
        return protocol::registrationRefused(protocol::Refusal::Busy);
    const qsizetype accounts =
        QDir(folder.path(u"UserInfo"_qs)).entryList({u"*.usr"_qs}, QDir::Files).size();
    if (accounts >= m_limits.total) return protocol::registrationRefused(protocol::Refusal::Full);
    return std::nullopt;
}

void RegistrationGate::made(const QString &ip, const QDateTime &now) {
    m_made.append({now, ip});
}

} // namespace net
