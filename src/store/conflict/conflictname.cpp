#include "store/conflict/conflictname.h"

#include <QRegularExpression>
#include <QTime>

namespace conflict {

namespace {

// The extension of a file name as the tools take it: from its last dot, unless that dot starts
// the name. Every tool puts its marker between the stem and this extension.
const QString kExt = u"((?:\\.[^./]*)?)"_qs;

std::optional<QDate> dayOf(const QString &yyyymmdd, const QString &format) {
    const QDate d = QDate::fromString(yyyymmdd, format);
    if (!d.isValid()) return std::nullopt;
    return d;
}

bool validTime(const QString &hhmmss) {
    return QTime::fromString(hhmmss, u"HHmmss"_qs).isValid();
}

struct Pattern {
    Tool tool;
    QRegularExpression re;
    QString dateFormat;
};

const QList<Pattern> &patterns() {
    static const QList<Pattern> list{
        {Tool::Syncthing,
         QRegularExpression(u"^(.+)\\.sync-conflict-(\\d{8})-(\\d{6})-[A-Z0-9]{7}"_qs + kExt +
                            u"$"_qs),
         u"yyyyMMdd"_qs},
        {Tool::Nextcloud,
         QRegularExpression(
             u"^(.+) \\(conflicted copy (?:[^()]+ )?(\\d{4}-\\d{2}-\\d{2}) (\\d{6})\\)"_qs + kExt +
             u"$"_qs),
         u"yyyy-MM-dd"_qs},
        {Tool::OwnCloud,
         QRegularExpression(u"^(.+)_conflict-(\\d{8})-(\\d{6})"_qs + kExt + u"$"_qs),
         u"yyyyMMdd"_qs},
        {Tool::Dropbox,
         QRegularExpression(
             u"^(.+) \\([^()]+['\u2019]s conflicted copy (\\d{4}-\\d{2}-\\d{2})()(?: \\([1-9]\\d*\\))?\\)"_qs +
             kExt + u"$"_qs),
         u"yyyy-MM-dd"_qs},
    };
    return list;
}

} // namespace

std::optional<CopyName> parseCopyName(const QString &fileName) {
    for (const Pattern &p : patterns()) {
        const QRegularExpressionMatch m = p.re.match(fileName);
        if (!m.hasMatch()) continue;
        const std::optional<QDate> day = dayOf(m.captured(2), p.dateFormat);
        if (!day) continue;
        if (!m.captured(3).isEmpty() && !validTime(m.captured(3))) continue;
        return CopyName{m.captured(1) + m.captured(4), p.tool, *day};
    }
    return std::nullopt;
}

} // namespace conflict
