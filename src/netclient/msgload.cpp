#include "netclient/msgload.h"

#include "netservice/fornull.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "platform/textlines.h"
#include "startup/app.h"

#include <QFile>

QString messageFromText(QStringView text) {
    QString out;
    for (QStringView line : splitLines(text)) {
        out += u"\r\n  "_qs;
        out += line;
    }
    return out;
}

bool LoadMessage(App &app) {
    QString &message = app.forNull()->MessageSended;
    message.clear();
    const QString path = app.path(u"\\Message.txt"_qs);
    QFile file(path);
    if (!file.exists()) {
        QFile created(path);
        if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
        created.close();
    }
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (file.size() > kMaxMessageFileBytes) return false;
    const QByteArray bytes = file.read(kMaxMessageFileBytes + 1);
    if (bytes.size() > kMaxMessageFileBytes) return false;
    message = messageFromText(cp936::decode(bytes));
    return true;
}

bool SaveMessage(App &app, const QString &text) {
    // A message too large to be read back would leave nothing to send.
    if (cp936::encode(text).size() + 2 > kMaxMessageFileBytes) return false;
    if (!writeTextLineAtomically(app.path(u"\\Message.txt"_qs), text)) return false;
    return LoadMessage(app);
}
