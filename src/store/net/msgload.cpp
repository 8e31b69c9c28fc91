#include "store/net/msgload.h"

#include "store/common/codepage.h"
#include "store/common/textfile.h"
#include "store/common/textlines.h"

#include <QFile>

namespace net {

using store::Code;
using store::Result;

QString messageFromText(QStringView text) {
    QString out;
    for (QStringView line : splitLines(text)) {
        out += u"\r\n  "_qs;
        out += line;
    }
    return out;
}

LoadedMessage LoadMessage(const ProgramFolder &folder) {
    const QString path = folder.path(u"\\Message.txt"_qs);
    QFile file(path);
    if (!file.exists()) {
        QFile created(path);
        if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return {store::fileError(created), {}};
        created.close();
    }
    if (!file.open(QIODevice::ReadOnly)) return {store::fileError(file), {}};
    const Result tooLarge = Result::failure(Code::TooLarge, path);
    if (file.size() > kMaxMessageFileBytes) return {tooLarge, {}};
    const QByteArray bytes = file.read(kMaxMessageFileBytes + 1);
    if (file.error() != QFileDevice::NoError) return {store::fileError(file), {}};
    if (bytes.size() > kMaxMessageFileBytes) return {tooLarge, {}};
    return {Result::success(), messageFromText(cp936::decode(bytes))};
}

Result SaveMessage(const ProgramFolder &folder, const QString &text) {
    const QString path = folder.path(u"\\Message.txt"_qs);
    // A message too large to be read back would leave nothing to send.
    if (cp936::encode(text).size() + 2 > kMaxMessageFileBytes) return Result::failure(Code::TooLarge, path);
    return store::writeTextLineAtomically(path, text);
}

} // namespace net
