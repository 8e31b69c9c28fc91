#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Search over the diary: every entry of the date files in \DB\ and every collection item in
// \Love\, matched by substrings of their title and plain text. Reads files only.
namespace find {

struct Hit {
    QDate date;      // the entry's date; invalid for a collection item
    QString title;   // the entry's title, or the collection item's name
    int index = 0;   // the entry's place in its date's listing (0 for the first listed)
    QString snippet; // one line of text around the first match; empty for a locked entry
    int matchStart = -1; // where the match stands in the snippet; -1 when the words matched the title
    int matchLength = 0;
    bool collection() const { return !date.isValid(); }
    bool operator==(const Hit &) const = default;
};

// A hit's date as the windows and the command line show it: 2004-09-08, or 珍藏 for a collection item.
QString dateText(const Hit &hit);

// The words of a query, folded: blank-separated; an entry must hold every one of them.
QStringList queryWords(const QString &query);

// One entry of a date file as the statistics see it.
struct EntryFacts {
    bool locked = false;      // it has a password: its body is never read
    qsizetype characters = 0; // the body's 字数 (stats::characterCount); 0 when locked
    QStringList tags;         // the #话题 tags of its title and body (of its title alone when locked)
};

// A date file of \DB\ and its entries, in file order; read is false when it could not be read.
struct DateFileFacts {
    QDate date;
    QString path;
    bool read = false;
    QList<EntryFacts> entries;
};

// The date of a date file's name (date key and ".KAV", in any case), or an invalid date.
QDate dateOfFileName(const QString &name);

class Engine {
public:
    explicit Engine(const QString &programDir);
    ~Engine();

    QString programDir() const { return m_programDir; }
    // False when the program folder cannot be read.
    bool readable() const;

    // The entries and collection items that hold every word of query in their title or text,
    // newest date first (within a date the entry saved last first), then the collection by name.
    // A locked entry (one with a password) is matched by its title alone; its body is never
    // read. onHit is told of each hit as it is found; cancelled is asked before each file and
    // ends the search early. The plain text of each file is kept in memory for the next search,
    // as long as the file's size and time of change stay the same.
    QList<Hit> search(const QString &query, const std::function<bool()> &cancelled = {},
                      const std::function<void(const Hit &)> &onHit = {});

    // Every date file of \DB\, oldest first, read as search reads it and from the same cache, so
    // that a second pass over unchanged files reads nothing. cancelled is asked before each file.
    void visitDateFiles(const std::function<void(const DateFileFacts &)> &visit,
                        const std::function<bool()> &cancelled = {});

    // The days of a month that have a date file with at least one entry.
    QList<QDate> writtenDays(int year, int month) const;

    // The entries of today's month and day in earlier years, newest first (no snippets).
    QList<Hit> onThisDay(const QDate &today) const;

private:
    struct Entry;
    struct CachedFile;
    // The entries of a date file (date valid) or a collection item, from the cache when unchanged.
    std::shared_ptr<const CachedFile> load(const QString &path, const QDate &date);

    QString m_programDir;
    QMutex m_mutex; // guards m_cache: searches run on worker threads
    QHash<QString, std::shared_ptr<const CachedFile>> m_cache;
};

} // namespace find
