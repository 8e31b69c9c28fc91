#include "store/find/engine.h"

#include "store/diary/diarystore.h"
#include "store/find/fold.h"
#include "store/find/rtftext.h"
#include "store/stats/count.h"
#include "store/common/codepage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <dirent.h>
#include <sys/stat.h>

namespace find {

namespace {

constexpr qsizetype kBefore = 20; // characters of the snippet before the match
constexpr qsizetype kAfter = 40;  // and after its start

// The entry of folder named name, matched without regard to case as the diary's names are.
QString childPath(const QString &folder, const QString &name) {
    const QString exact = folder + QLatin1Char('/') + name;
    if (QFileInfo::exists(exact)) return exact;
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &n : names)
        if (n.compare(name, Qt::CaseInsensitive) == 0) return folder + QLatin1Char('/') + n;
    return exact;
}

// What tells a changed file: size, time of change and the file itself (a rewritten date file is
// a new file renamed over the old one).
struct Stamp {
    qint64 size = -1;
    qint64 modified = 0; // nanoseconds
    quint64 file = 0;    // the inode
    bool ok = false;
    bool operator==(const Stamp &) const = default;
};

Stamp stampOf(const QString &path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, quint64(st.st_ino), true};
}

// A word looked for in many texts: Horspool's search, its shift table keyed by the low byte of
// each UTF-16 unit (units sharing a low byte only make shifts shorter).
class Needle {
public:
    explicit Needle(const QString &word) : m_word(word) {
        const qsizetype m = word.size();
        m_shift.fill(int(m));
        for (qsizetype i = 0; i + 1 < m; ++i)
            m_shift[word[i].unicode() & 0xff] = int(m - 1 - i);
    }
    bool in(QStringView text) const {
        const qsizetype m = m_word.size();
        if (m == 1) return text.contains(m_word.front());
        const char16_t *h = text.utf16();
        const char16_t *w = reinterpret_cast<const char16_t *>(m_word.utf16());
        const char16_t last = w[m - 1];
        for (qsizetype pos = 0; pos + m <= text.size();) {
            const char16_t c = h[pos + m - 1];
            if (c == last && std::equal(w, w + m - 1, h + pos)) return true;
            pos += m_shift[c & 0xff];
        }
        return false;
    }

private:
    QString m_word;
    std::array<int, 256> m_shift;
};

// The names in folder, as the file system lists them.
QStringList namesIn(const QString &folder) {
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) return names;
    while (const dirent *e = ::readdir(dir))
        if (e->d_name[0] != '.' || (e->d_name[1] && (e->d_name[1] != '.' || e->d_name[2])))
            names.append(QFile::decodeName(e->d_name));
    ::closedir(dir);
    return names;
}

struct DateFile {
    QDate date;
    QString path;
};

// The date files of \DB\, newest first.
QList<DateFile> dateFiles(const QString &programDir) {
    const QString db = childPath(programDir, QStringLiteral("DB"));
    QList<DateFile> files;
    for (const QString &name : namesIn(db)) { // a sub-folder fails to load as a file later
        const QDate date = dateOfFileName(name);
        if (date.isValid()) files.append({date, db + QLatin1Char('/') + name});
    }
    // Two names of one date (20040908.KAV and 20040908.kav) keep a fixed order.
    std::sort(files.begin(), files.end(), [](const DateFile &a, const DateFile &b) {
        return a.date != b.date ? a.date > b.date : a.path < b.path;
    });
    return files;
}

// One line of text around the match at [start, end) of text; the match is marked by its place.
void makeSnippet(const QString &text, qsizetype start, qsizetype end, Hit &hit) {
    qsizetype from = qMax<qsizetype>(0, start - kBefore);
    qsizetype to = qMin(text.size(), qMax(end, start + kAfter));
    if (from > 0 && text[from].isLowSurrogate()) --from;
    if (to < text.size() && text[to].isLowSurrogate()) ++to;
    QString s = text.mid(from, to - from);
    for (QChar &c : s)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\t') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
    hit.matchStart = int(start - from);
    hit.matchLength = int(end - start);
    if (from > 0) {
        s.prepend(QChar(0x2026));
        ++hit.matchStart;
    }
    if (to < text.size()) s.append(QChar(0x2026));
    hit.snippet = s;
}

// The beginning of text, when the words matched the title only.
QString openingLine(const QString &text) {
    QString s = text.left(kBefore + kAfter).simplified();
    if (text.size() > kBefore + kAfter) s.append(QChar(0x2026));
    return s;
}

} // namespace

struct Engine::Entry {
    QString title;
    QString foldedTitle;
    bool locked = false;
    QString text;       // the plain text; empty when locked
    QString foldedText;
    qsizetype characters = 0; // the text's 字数
    QStringList tags;         // the title's and text's #话题 tags
};

struct Engine::CachedFile {
    Stamp stamp;
    QList<Entry> entries;
};

QString dateText(const Hit &hit) {
    if (hit.collection()) return QStringLiteral("珍藏");
    return QStringLiteral("%1-%2-%3")
        .arg(hit.date.year(), 4, 10, QLatin1Char('0'))
        .arg(hit.date.month(), 2, 10, QLatin1Char('0'))
        .arg(hit.date.day(), 2, 10, QLatin1Char('0'));
}

QStringList queryWords(const QString &query) {
    QStringList words;
    for (const QString &w : query.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        const QString f = fold(w).trimmed();
        if (!f.isEmpty()) words.append(f);
    }
    return words;
}

QDate dateOfFileName(const QString &name) {
    // Year without leading zeros (3 or 4 digits), month, day, ".KAV" in any case.
    const qsizetype digits = name.size() - 4;
    if (digits < 7 || digits > 8 || name.sliced(digits).compare(u".kav", Qt::CaseInsensitive) != 0) return {};
    int value[3] = {0, 0, 0};
    for (qsizetype i = 0; i < digits; ++i) {
        const char16_t c = name[i].unicode();
        if (c < '0' || c > '9' || (i == 0 && c == '0')) return {};
        value[i < digits - 4 ? 0 : i < digits - 2 ? 1 : 2] = value[i < digits - 4 ? 0 : i < digits - 2 ? 1 : 2] * 10 + (c - '0');
    }
    const QDate date(value[0], value[1], value[2]);
    return date.isValid() ? date : QDate();
}

Engine::Engine(const QString &programDir) : m_programDir(programDir) {}

Engine::~Engine() = default;

bool Engine::readable() const {
    const QFileInfo info(m_programDir);
    return info.isDir() && info.isReadable() && QDir(m_programDir).isReadable();
}

std::shared_ptr<const Engine::CachedFile> Engine::load(const QString &path, const QDate &date) {
    const Stamp stamp = stampOf(path);
    if (!stamp.ok) return nullptr;
    {
        QMutexLocker lock(&m_mutex);
        const auto it = m_cache.constFind(path);
        if (it != m_cache.constEnd() && (*it)->stamp == stamp)
            return *it;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return nullptr;
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError) return nullptr;
    auto file = std::make_shared<CachedFile>();
    file->stamp = stamp;
    if (date.isValid()) {
        for (const diary::EntryRecord &r : diary::readRecords(data)) {
            Entry e;
            e.title = diary::decodeTitle(r.title);
            e.foldedTitle = fold(e.title);
            // Only an entry without password has its body read.
            e.locked = r.passwordLine != QByteArrayView("\x07");
            if (!e.locked && r.complete) e.text = plainText(r.body);
            e.foldedText = fold(e.text);
            e.characters = stats::characterCount(e.text);
            e.tags = stats::tagsIn(e.title) + stats::tagsIn(e.text);
            file->entries.append(std::move(e));
        }
    } else {
        Entry e;
        e.title = QFileInfo(path).fileName();
        e.foldedTitle = fold(e.title);
        e.text = plainText(data);
        e.foldedText = fold(e.text);
        file->entries.append(std::move(e));
    }
    QMutexLocker lock(&m_mutex);
    m_cache.insert(path, file);
    return file;
}

QList<Hit> Engine::search(const QString &query, const std::function<bool()> &cancelled,
                          const std::function<void(const Hit &)> &onHit) {
    QList<Hit> hits;
    const QStringList words = queryWords(query);
    if (words.isEmpty()) return hits;
    std::vector<Needle> needles;
    for (const QString &w : words)
        needles.emplace_back(w);

    QList<DateFile> files = dateFiles(m_programDir);
    const QString love = childPath(m_programDir, QStringLiteral("Love"));
    QStringList items = QDir(love).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : items)
        files.append({QDate(), love + QLatin1Char('/') + name});

    for (const DateFile &df : std::as_const(files)) {
        if (cancelled && cancelled()) break;
        const std::shared_ptr<const CachedFile> file = load(df.path, df.date);
        if (!file) continue;
        // Newest first: within a date the entry saved last comes first.
        for (qsizetype i = file->entries.size() - 1; i >= 0; --i) {
            const Entry &e = file->entries.at(i);
            bool all = true;
            for (const Needle &w : needles)
                if (!w.in(e.foldedTitle) && !w.in(e.foldedText)) {
                    all = false;
                    break;
                }
            if (!all) continue;
            Hit hit;
            hit.date = df.date;
            hit.title = e.title;
            hit.index = int(i);
            if (!e.locked) {
                const qsizetype at = e.foldedText.indexOf(words.first());
                if (at >= 0) {
                    // The match in the text itself: the folded text is mapped back.
                    QList<qsizetype> origin;
                    fold(e.text, &origin);
                    const qsizetype last = at + words.first().size() - 1;
                    qsizetype end = e.text.size();
                    for (qsizetype k = last + 1; k < origin.size(); ++k)
                        if (origin[k] > origin[last]) {
                            end = origin[k];
                            break;
                        }
                    makeSnippet(e.text, origin[at], end, hit);
                } else {
                    hit.snippet = openingLine(e.text);
                }
            }
            hits.append(hit);
            if (onHit) onHit(hit);
        }
    }
    return hits;
}

void Engine::visitDateFiles(const std::function<void(const DateFileFacts &)> &visit,
                            const std::function<bool()> &cancelled) {
    QList<DateFile> files = dateFiles(m_programDir);
    std::reverse(files.begin(), files.end());
    for (const DateFile &df : std::as_const(files)) {
        if (cancelled && cancelled()) break;
        DateFileFacts facts;
        facts.date = df.date;
        facts.path = df.path;
        const std::shared_ptr<const CachedFile> file = load(df.path, df.date);
        facts.read = file != nullptr;
        if (file)
            for (const Entry &e : file->entries)
                facts.entries.append({e.locked, e.characters, e.tags});
        visit(facts);
    }
}

QList<QDate> Engine::writtenDays(int year, int month) const {
    QList<QDate> days;
    for (const DateFile &df : dateFiles(m_programDir)) {
        if (df.date.year() != year || df.date.month() != month || days.contains(df.date)) continue;
        if (!diary::ListEntries(df.path).items.isEmpty()) days.append(df.date);
    }
    std::sort(days.begin(), days.end());
    return days;
}

QList<Hit> Engine::onThisDay(const QDate &today) const {
    QList<Hit> hits;
    for (const DateFile &df : dateFiles(m_programDir)) {
        if (df.date.month() != today.month() || df.date.day() != today.day() || df.date.year() >= today.year())
            continue;
        const QList<diary::EntryItem> items = diary::ListEntries(df.path).items;
        for (qsizetype i = items.size() - 1; i >= 0; --i) {
            Hit hit;
            hit.date = df.date;
            hit.title = items.at(i).title;
            hit.index = int(i);
            hits.append(hit);
        }
    }
    return hits;
}

} // namespace find
