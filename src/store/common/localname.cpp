#include "store/common/localname.h"

#include <QSysInfo>

namespace localname {

QString host() {
    QString out;
    for (const QChar c : QSysInfo::machineHostName())
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
            c == u'-' || c == u'_')
            out += c;
    return out.isEmpty() ? u"host"_qs : out.left(64);
}

QString perHost(const QString &stem, const QString &ext) {
    return stem + u'-' + host() + ext;
}

// One per computer is enough: one copy of the program runs per program folder and computer.
QString dateTempName() {
    return perHost(u"temp"_qs, u".tmp"_qs);
}

} // namespace localname
