#include "store/stats/stats.h"

#include "store/find/engine.h"

#include <algorithm>
#include <cmath>

namespace stats {

Figures Report::figures(const QDate &today) const {
    Figures f;
    int daysWithKnown = 0;
    int run = 0;
    QDate previous;
    for (auto it = days.constBegin(); it != days.constEnd(); ++it) {
        const Day &d = it.value();
        f.entries += d.entries;
        f.lockedEntries += d.locked;
        f.characters += d.characters;
        if (it.key().year() == today.year()) {
            f.charactersThisYear += d.characters;
            if (it.key().month() == today.month()) f.charactersThisMonth += d.characters;
        }
        if (d.entries > d.locked) ++daysWithKnown;
        run = previous.isValid() && previous.daysTo(it.key()) == 1 ? run + 1 : 1;
        f.longestStreak = std::max(f.longestStreak, run);
        previous = it.key();
    }
    f.writtenDays = int(days.size());
    if (!days.isEmpty()) f.firstEntry = days.firstKey();
    if (daysWithKnown > 0)
        f.averagePerWrittenDay = std::llround(double(f.characters) / daysWithKnown);
    QDate day = days.contains(today) ? today : today.addDays(-1);
    while (days.contains(day)) {
        ++f.currentStreak;
        day = day.addDays(-1);
    }
    return f;
}

std::array<Month, 12> Report::months(int year) const {
    std::array<Month, 12> m{};
    for (auto it = days.lowerBound(QDate(year, 1, 1));
         it != days.constEnd() && it.key().year() == year; ++it) {
        Month &month = m[it.key().month() - 1];
        month.entries += it.value().entries;
        month.characters += it.value().characters;
    }
    return m;
}

QList<Tag> Report::tagList() const {
    QList<Tag> list;
    for (auto it = tags.constBegin(); it != tags.constEnd(); ++it)
        list.append({it.key(), it.value()});
    // Ties keep the map's order of their text.
    std::stable_sort(list.begin(), list.end(),
                     [](const Tag &a, const Tag &b) { return a.count > b.count; });
    return list;
}

Report collect(find::Engine &engine, const std::function<bool()> &cancelled,
               const std::function<void(const Report &)> &progress) {
    Report report;
    bool stopped = false;
    engine.visitDateFiles(
        [&](const find::DateFileFacts &file) {
            if (!file.read) report.unreadable.append(file.path);
            if (!file.entries.isEmpty()) {
                Day &day = report.days[file.date];
                for (const find::EntryFacts &e : file.entries) {
                    ++day.entries;
                    if (e.locked)
                        ++day.locked;
                    else
                        day.characters += e.characters;
                    for (const QString &tag : e.tags)
                        ++report.tags[tag];
                }
            }
            if (progress) progress(report);
        },
        [&] {
            stopped = cancelled && cancelled();
            return stopped;
        });
    report.complete = !stopped;
    return report;
}

QString dateText(const QDate &date) {
    return QStringLiteral("%1-%2-%3")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'));
}

QList<std::pair<QString, QString>> figureRows(const Figures &f) {
    QString entries = QString::number(f.entries);
    if (f.lockedEntries > 0)
        entries += QStringLiteral("（加锁 %1 篇，字数未知）").arg(f.lockedEntries);
    return {
        {QStringLiteral("日记篇数"), entries},
        {QStringLiteral("写日记的天数"), QString::number(f.writtenDays)},
        {QStringLiteral("总字数"), QString::number(f.characters)},
        {QStringLiteral("今年字数"), QString::number(f.charactersThisYear)},
        {QStringLiteral("本月字数"), QString::number(f.charactersThisMonth)},
        {QStringLiteral("平均每天字数"), QString::number(f.averagePerWrittenDay)},
        {QStringLiteral("当前连续天数"), QString::number(f.currentStreak)},
        {QStringLiteral("最长连续天数"), QString::number(f.longestStreak)},
        {QStringLiteral("第一篇日记"),
         f.firstEntry.isValid() ? dateText(f.firstEntry) : QStringLiteral("无")},
    };
}

} // namespace stats
