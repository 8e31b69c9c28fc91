#pragma once

#include "store/common/programfolder.h"

#include <QString>

#include <optional>

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
