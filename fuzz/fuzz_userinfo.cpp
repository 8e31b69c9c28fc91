// An account file of any bytes, read by the login service's path (UserInfo::getInfo) and by the
// record reader itself. Properties: both readings agree; a record that was read, written back
// and read again is the same record, byte for byte (what the server stores it can read); and the
// login check accepts the stored password exactly when the file could be read.
#include "fuzzsupport.h"

#include "netservice/accounts.h"
#include "netservice/protocol.h"
#include "netservice/userinfo.h"
#include "platform/programfolder.h"

#include <cstddef>
#include <cstdint>

using fuzzsupport::check;

namespace {

const QString kId = QStringLiteral("4711");

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

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    static const ProgramFolder folder(fuzzsupport::scratchDir());
    fuzzsupport::writeFile(folder.dir + u"/UserInfo/"_qs + kId + u".usr"_qs, bytes);

    UserInfo fromFile(folder);
    const bool readFromFile = fromFile.getInfo(kId);
    UserInfo fromMemory(folder);
    const bool readFromMemory = fromMemory.fromBytes(bytes);
    check(readFromFile == readFromMemory && fields(fromFile) == fields(fromMemory),
          "the account file and its bytes read differently");

    // Once normalised by one reading, a record goes through writing and reading unchanged.
    const QByteArray written = fromMemory.toBytes();
    UserInfo again(folder);
    check(again.fromBytes(written), "a written record cannot be read");
    check(again.toBytes() == written, "a written record reads back differently");
    check(written.size() <= UserInfo::kMaxRecordBytes,
          "a written record is longer than the format allows");

    // The login service on this account. A password holding NUL cannot travel: the request ends
    // its password field there.
    const QString password = fromMemory.getPassword();
    const bool canLogIn = readFromFile && !password.contains(QChar(0));
    const QString reply = checkLogin(folder, protocol::buildLoginRequest(kId, password));
    check(reply == (canLogIn ? protocol::loginAccepted() : protocol::loginRefused()),
          "the login check disagrees with the account file", [&] { return reply; });
    check(checkLogin(folder, kId) == protocol::loginRefused(),
          "a login without a password is accepted");
    return 0;
}
