#pragma once

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <utility>

namespace find {
class Engine;
}

// Statistics of the diary: what was written on which day, how much, the streaks and the #话题 tags.
// Only the entries of the date files of \DB\ count; the collection is no diary day. A locked entry
// counts as an entry; its body is never read, so its characters are unknown, never guessed.
namespace stats {

// One written day: its entries and the 字数 of those that are not locked.
struct Day {
    int entries = 0;
    int locked = 0;        // of entries, those with a password (characters unknown)
    qint64 characters = 0; // of the entries without a password
    bool operator==(const Day &) const = default;
};

struct Tag {
    QString text; // with its "#": #旅行
    int count = 0;
    bool operator==(const Tag &) const = default;
};

struct Month {
    int entries = 0;
    qint64 characters = 0;
    bool operator==(const Month &) const = default;
};

// The figures as of a day (today).
struct Figures {
    int entries = 0;
    int lockedEntries = 0;
    int writtenDays = 0;
    qint64 characters = 0;          // of every entry without a password
    qint64 charactersThisYear = 0;  // of today's year
    qint64 charactersThisMonth = 0; // of today's month
    // characters over the written days that hold an entry without a password, rounded; 0 for none.
    qint64 averagePerWrittenDay = 0;
    // The consecutive written days up to today, or up to yesterday while today is not yet written.
    int currentStreak = 0;
    int longestStreak = 0;
    QDate firstEntry; // the first written day; invalid for an empty diary
    bool operator==(const Figures &) const = default;
};

struct Report {
    QMap<QDate, Day> days;   // the written days: each has at least one entry
    QMap<QString, int> tags; // every tag with the times it stands in titles and bodies
    QStringList unreadable;  // date files that could not be read (their paths)
    bool complete = false;   // every date file was looked at (not cancelled)

    Figures figures(const QDate &today) const;
    // The months of year, January first.
    std::array<Month, 12> months(int year) const;
    // The tags, most used first, then in the order of their text.
    QList<Tag> tagList() const;
};

// Reads every date file, oldest first, through the search engine and its cache: a second
// collection over unchanged files reads none of them again. progress is handed the report so far
// after each file; cancelled is asked before each file and ends early (complete stays false).
Report collect(find::Engine &engine, const std::function<bool()> &cancelled = {},
               const std::function<void(const Report &)> &progress = {});

// 2004-09-08, as dates are shown beside the figures.
QString dateText(const QDate &date);

// The figures as the window and qingchuang-tool show them, one (label, value) pair a line:
// ("日记篇数", "10（加锁 1 篇，字数未知）"), ("总字数", "37"), ...
QList<std::pair<QString, QString>> figureRows(const Figures &figures);

} // namespace stats
