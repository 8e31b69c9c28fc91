// qingchuang-tool stats PROGRAMDIR [--year YYYY] [--json] [--today YYYY-MM-DD]: the figures of the
// statistics window, the months of a year and the tags, as text for people or as JSON (keys in
// README). A date file that cannot be read is named on stderr and the status is 1.
#include "tools/qctool.h"

#include "store/find/engine.h"
#include "store/stats/stats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace qctool {

namespace {

int usageStats() {
    std::fprintf(
        stderr,
        "usage: qingchuang-tool stats PROGRAMDIR [--year YYYY] [--json] [--today YYYY-MM-DD]\n");
    return 2;
}

QByteArray json(const stats::Report &r, const QDate &today, int year) {
    const stats::Figures f = r.figures(today);
    QJsonObject o;
    o[u"today"_qs] = stats::dateText(today);
    o[u"entries"_qs] = f.entries;
    o[u"lockedEntries"_qs] = f.lockedEntries;
    o[u"writtenDays"_qs] = f.writtenDays;
    o[u"characters"_qs] = f.characters;
    o[u"charactersThisYear"_qs] = f.charactersThisYear;
    o[u"charactersThisMonth"_qs] = f.charactersThisMonth;
    o[u"averagePerWrittenDay"_qs] = f.averagePerWrittenDay;
    o[u"currentStreak"_qs] = f.currentStreak;
    o[u"longestStreak"_qs] = f.longestStreak;
    o[u"firstEntry"_qs] =
        f.firstEntry.isValid() ? QJsonValue(stats::dateText(f.firstEntry)) : QJsonValue();
    o[u"year"_qs] = year;
    QJsonArray months;
    const auto m = r.months(year);
    for (int i = 0; i < 12; ++i)
        months.append(QJsonObject{{u"month"_qs, i + 1},
                                  {u"entries"_qs, m[i].entries},
                                  {u"characters"_qs, m[i].characters}});
    o[u"months"_qs] = months;
    QJsonArray tags;
    for (const stats::Tag &t : r.tagList())
        tags.append(QJsonObject{{u"tag"_qs, t.text}, {u"count"_qs, t.count}});
    o[u"tags"_qs] = tags;
    o[u"unreadable"_qs] = QJsonArray::fromStringList(r.unreadable);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QString text(const stats::Report &r, const QDate &today, int year) {
    QString out;
    for (const auto &[label, value] : stats::figureRows(r.figures(today)))
        out += label + QChar(u'：') + value + u'\n';
    out += u"\n%1 年各月：\n"_qs.arg(year);
    const auto m = r.months(year);
    for (int i = 0; i < 12; ++i)
        out += u"%1 月\t%2 篇\t%3 字\n"_qs.arg(i + 1).arg(m[i].entries).arg(m[i].characters);
    out += u"\n话题：\n"_qs;
    const QList<stats::Tag> tags = r.tagList();
    if (tags.isEmpty()) out += u"无\n"_qs;
    for (const stats::Tag &t : tags)
        out += t.text + u'\t' + QString::number(t.count) + u'\n';
    return out;
}

} // namespace

int stats(const QStringList &args) {
    if (args.isEmpty() || args.first().startsWith(u"--"_qs)) return usageStats();
    QDate today = QDate::currentDate();
    int year = 0;
    bool asJson = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == u"--json"_qs) {
            asJson = true;
        } else if (a == u"--year"_qs && i + 1 < args.size()) {
            bool ok = false;
            year = args.at(++i).toInt(&ok);
            if (!ok || year < 100 || year > 9999) return usageStats();
        } else if (a == u"--today"_qs && i + 1 < args.size()) {
            today = QDate::fromString(args.at(++i), Qt::ISODate);
            if (!today.isValid()) return usageStats();
        } else {
            return usageStats();
        }
    }
    if (year == 0) year = today.year();
    find::Engine engine(args.first());
    if (!engine.readable()) {
        std::fprintf(stderr, "qingchuang-tool stats: cannot read %s\n", qPrintable(args.first()));
        return 1;
    }
    const stats::Report report = stats::collect(engine);
    if (asJson)
        std::fputs(json(report, today, year).constData(), stdout);
    else
        std::fputs(text(report, today, year).toLocal8Bit().constData(), stdout);
    for (const QString &path : report.unreadable)
        std::fprintf(stderr, "qingchuang-tool stats: cannot read %s\n", qPrintable(path));
    if (std::fflush(stdout) != 0) return 1;
    return report.unreadable.isEmpty() ? 0 : 1;
}

} // namespace qctool
