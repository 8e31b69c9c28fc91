#include "netclient/msgload.h"

#include "netservice/fornull.h"
#include "platform/codepage.h"
#include "startup/app.h"

#include <QFile>

QString messageFromText(QStringView text) {
    QString out;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype cr = text.indexOf(QLatin1Char('\r'), pos);
        if (cr < 0) cr = text.size();
        out += u"\r\n  "_qs;
        out += text.sliced(pos, cr - pos);
        pos = cr + 1;
        if (pos < text.size() && text.at(pos) == QLatin1Char('\n')) ++pos;
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
