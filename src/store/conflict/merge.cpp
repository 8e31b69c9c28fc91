#include "store/conflict/merge.h"

#include "store/common/savefile.h"
#include "store/diary/diarystore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <functional>

namespace conflict {

namespace {

constexpr char kDelByte = 0x7f;
const QByteArray kCrLf("\r\n");

// A date file's entries as whole byte runs, key line to terminator line with its line break.
struct Entries {
    QList<QByteArrayView> items; // into the file's bytes, or into last
    QByteArray last;             // the last entry with the line break its file ends without
    bool ok = true;
};

Entries entriesOf(QByteArrayView data) {
    Entries out;
    bool whole = true;
    const QList<diary::EntryRecord> records = diary::readRecords(data, &whole);
    out.ok = whole;
    for (const diary::EntryRecord &r : records) {
        if (!r.complete) {
            out.ok = false;
            break;
        }
        // The key line is DEL and digits right before the title's line.
        qsizetype start = r.title.data() - data.data();
        if (start > 0 && data[start - 1] == '\n') --start;
        if (start > 0 && data[start - 1] == '\r') --start;
        while (start > 0 && data[start] != kDelByte)
            --start;
        qsizetype end = (r.body.data() - data.data()) + r.body.size();
        // Only an entry closed by its terminator line is whole; one whose terminator was lost
        // cannot be told from the next entry's beginning.
        if (!data.sliced(end).startsWith("\x20\x7f")) {
            out.ok = false;
            break;
        }
        end += 2;
        if (end < data.size() && data[end] == '\r') ++end;
        if (end < data.size() && data[end] == '\n') ++end;
        const QByteArrayView bytes = data.sliced(start, end - start);
        if (bytes.endsWith('\n')) {
            out.items.append(bytes);
            continue;
        }
        out.last = bytes.toByteArray() + (bytes.endsWith('\r') ? "\n" : "\r\n");
        out.items.append(QByteArrayView(out.last));
    }
    return out;
}

// Byte order, as unsigned bytes.
bool bytesBefore(QByteArrayView x, QByteArrayView y) {
    const qsizetype n = std::min(x.size(), y.size());
    const int c = n ? std::memcmp(x.data(), y.data(), size_t(n)) : 0;
    return c != 0 ? c < 0 : x.size() < y.size();
}

// Where two byte runs first differ: the length of the run they begin with.
qsizetype firstDifference(QByteArrayView x, QByteArrayView y) {
    const qsizetype n = std::min(x.size(), y.size());
    constexpr qsizetype kBlock = 4096;
    qsizetype at = 0;
    while (at + kBlock <= n && std::memcmp(x.data() + at, y.data() + at, kBlock) == 0)
        at += kBlock;
    while (at < n && x[at] == y[at])
        ++at;
    return at;
}

using QSpan = QList<QByteArrayView>;

// 1 when a holds every entry of b (as many times), 2 when only b holds every entry of a, 0 when
// neither; of two that hold the same entries, the one whose bytes sort first counts as holding.
int containment(QSpan a, QSpan b) {
    QHash<QByteArrayView, int> count;
    for (const QByteArrayView &e : a)
        ++count[e];
    for (const QByteArrayView &e : b)
        --count[e];
    bool aHolds = true, bHolds = true;
    for (auto it = count.cbegin(); it != count.cend(); ++it) {
        if (it.value() < 0) aHolds = false;
        if (it.value() > 0) bHolds = false;
    }
    if (aHolds && bHolds) return 0; // the same entries: byte order decides
    return aHolds ? 1 : bHolds ? 2 : 0;
}

store::Result readFile(const QString &path, QByteArray *data) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return store::fileError(f);
    *data = f.readAll();
    if (f.error() != QFileDevice::NoError) return store::fileError(f);
    return store::Result::success();
}

bool sameBytes(const QString &a, const QString &b) {
    QByteArray x, y;
    return readFile(a, &x) && readFile(b, &y) && x == y;
}

// Moves the copy at rel into Backup/conflicts/. A copy whose bytes already lie there is removed
// instead (both computers move the same copy, and nothing is lost).
store::Result moveAside(const ProgramFolder &folder, const QString &rel) {
    const QString from = folder.dir + u'/' + rel;
    QString to = asidePath(folder, rel);
    if (!QDir().mkpath(QFileInfo(to).absolutePath()))
        return store::Result::failure(store::Code::IoError, QFileInfo(to).absolutePath());
    for (int n = 2; QFileInfo::exists(to); ++n) {
        if (sameBytes(from, to)) {
            if (!QFile::remove(from)) return store::Result::failure(store::Code::IoError, from);
            return store::Result::success();
        }
        to = asidePath(folder, rel) + u'~' + QString::number(n);
    }
    if (!QFile::rename(from, to)) return store::Result::failure(store::Code::IoError, from);
    store::syncFolderOf(to);
    return store::Result::success();
}

// Writes bytes as a new collection item named after title, or finds them there already.
// The name taken is in *name.
store::Result keepAsItem(const QString &loveDir, const QString &title, const QByteArray &bytes,
                         QString *name) {
    for (int n = 1;; ++n) {
        *name = n == 1 ? title : title + u' ' + QString::number(n);
        const QString path = loveDir + u'/' + *name;
        if (!QFileInfo::exists(path)) return store::saveFile(path, bytes);
        QByteArray there;
        if (readFile(path, &there) && there == bytes) return store::Result::success();
    }
}

enum class Kind { DateFile, Item, Home, Aside };

struct Scan {
    const ProgramFolder &folder;
    const QSet<QString> &busy;
    const QString &homePage;
    Report &report;
    bool progressed = false;

    void fail(Step step, const store::Result &r) {
        step.outcome = Outcome::Failed;
        step.detail = r.detail;
        report.steps.append(step);
    }

    void finish(Step step) {
        if (store::Result r = moveAside(folder, step.copy); !r) return fail(step, r);
        report.steps.append(step);
        progressed = true;
    }

    void mergeDate(Step step, const QString &target, const QString &copy) {
        QByteArray mine, theirs;
        if (store::Result r = readFile(copy, &theirs); !r) return fail(step, r);
        if (store::Result r = readFile(target, &mine); !r) return fail(step, r);
        const DateMerge m = mergeDateFiles(mine, theirs);
        if (m.secondDamaged) {
            step.outcome = Outcome::Damaged;
            return finish(step);
        }
        if (!m.ok) return fail(step, store::Result::failure(store::Code::Damaged, target));
        if (m.base.data() != mine.constData() || !m.tail.isEmpty()) {
            const QList<QByteArrayView> pieces{m.base, m.tail};
            if (store::Result r = store::saveFile(target, pieces); !r) return fail(step, r);
            report.changed.append(target);
        }
        step.outcome = m.added > 0 ? Outcome::Merged : Outcome::MovedAside;
        step.added = m.added;
        finish(step);
    }

    void mergeItem(Step step, const QString &target, const QString &copy, const QDate &date,
                   bool home) {
        QByteArray mine, theirs;
        if (store::Result r = readFile(copy, &theirs); !r) return fail(step, r);
        if (store::Result r = readFile(target, &mine); !r) return fail(step, r);
        if (mine == theirs) return finish(step);
        QByteArray asItem = theirs;
        QString title = QFileInfo(target).fileName();
        if (home) {
            title = u"首页"_qs;
            // The newer version stays the home page; file times travel with the files in the
            // sync tools, so both computers choose alike. Equal times: the smaller bytes stay.
            const QDateTime a = QFileInfo(target).lastModified(),
                            b = QFileInfo(copy).lastModified();
            if (b > a || (b == a && theirs < mine)) {
                if (store::Result r = store::saveFile(target, theirs); !r) return fail(step, r);
                report.changed.append(target);
                asItem = mine;
                step.outcome = Outcome::HomeReplaced;
            }
        }
        const QString loveDir = folder.path(u"Love"_qs);
        QDir().mkpath(loveDir);
        QString name;
        if (store::Result r = keepAsItem(loveDir, copyTitle(title, date), asItem, &name); !r)
            return fail(step, r);
        report.changed.append(loveDir + u'/' + name);
        if (step.outcome != Outcome::HomeReplaced) step.outcome = Outcome::KeptAsItem;
        step.target = u"Love/"_qs + name;
        finish(step);
    }

    // Every conflict copy in the folder rel ("" for the program folder) whose original kind
    // says how to merge it.
    void folderPass(const QString &rel,
                    const std::function<std::optional<Kind>(const QString &)> &kindOf) {
        const QString dir = rel.isEmpty() ? folder.dir : folder.path(rel);
        QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        // Longer names first: a copy of a copy is merged into the copy it belongs to before that
        // copy is merged and moved aside.
        std::stable_sort(names.begin(), names.end(),
                         [](const QString &x, const QString &y) { return x.size() > y.size(); });
        for (const QString &name : names) {
            const std::optional<CopyName> c = parseCopyName(name);
            if (!c) continue;
            const QString target = dir + u'/' + c->original;
            if (!QFileInfo(target).isFile()) continue;
            // A copy of a copy merges as the file the first copy belongs to.
            QString root = c->original;
            while (const std::optional<CopyName> up = parseCopyName(root))
                root = up->original;
            const std::optional<Kind> kind = kindOf(root);
            if (!kind) continue;
            if (busy.contains(QDir::cleanPath(target))) continue;
            Step step;
            step.copy = rel.isEmpty() ? name : rel + u'/' + name;
            step.target = rel.isEmpty() ? c->original : rel + u'/' + c->original;
            const QString copy = dir + u'/' + name;
            switch (*kind) {
            case Kind::DateFile:
                mergeDate(step, target, copy);
                break;
            case Kind::Item:
                mergeItem(step, target, copy, c->date, false);
                break;
            case Kind::Home:
                mergeItem(step, target, copy, c->date, true);
                break;
            case Kind::Aside:
                finish(step);
                break;
            }
        }
    }

    void pass() {
        static const QRegularExpression dateFile(u"^\\d{5,8}\\.KAV$"_qs,
                                                 QRegularExpression::CaseInsensitiveOption);
        folderPass(u"DB"_qs, [](const QString &n) -> std::optional<Kind> {
            if (dateFile.match(n).hasMatch()) return Kind::DateFile;
            return std::nullopt;
        });
        folderPass(u"Love"_qs, [](const QString &) -> std::optional<Kind> { return Kind::Item; });
        folderPass(u"UserInfo"_qs,
                   [](const QString &) -> std::optional<Kind> { return Kind::Aside; });
        const QString home = QDir::cleanPath(QString(homePage).replace(u'\\', u'/'));
        const QString homeDir =
            QFileInfo(home).path() == u"."_qs ? QString() : QFileInfo(home).path();
        const QString homeName = QFileInfo(home).fileName();
        if (homeDir.isEmpty() || homeDir.compare(u"DB"_qs, Qt::CaseInsensitive) != 0) {
            folderPass(homeDir, [&](const QString &n) -> std::optional<Kind> {
                if (n.compare(homeName, Qt::CaseInsensitive) == 0) return Kind::Home;
                if (homeDir.isEmpty() && (n.compare(u"Config.ini"_qs, Qt::CaseInsensitive) == 0 ||
                                          n.compare(u"Message.txt"_qs, Qt::CaseInsensitive) == 0))
                    return Kind::Aside;
                return std::nullopt;
            });
        }
        if (!homeDir.isEmpty()) {
            folderPass(QString(), [](const QString &n) -> std::optional<Kind> {
                if (n.compare(u"Config.ini"_qs, Qt::CaseInsensitive) == 0 ||
                    n.compare(u"Message.txt"_qs, Qt::CaseInsensitive) == 0)
                    return Kind::Aside;
                return std::nullopt;
            });
        }
    }
};

} // namespace

DateMerge mergeDateFiles(QByteArrayView first, QByteArrayView second) {
    DateMerge m;
    // Two versions of a day mostly begin alike: the entries that lie whole in the bytes both
    // begin with are read once, from the first, and only the second's rest is read on its own.
    const Entries a = entriesOf(first);
    if (!a.ok) {
        m.ok = false;
        m.secondDamaged = !entriesOf(second).ok;
        return m;
    }
    const qsizetype same = firstDifference(first, second);
    qsizetype shared = 0, sharedEnd = 0;
    for (const QByteArrayView &e : a.items) {
        const qsizetype end = e.data() + e.size() - first.data();
        // Not the last entry copied with a line break added, and ending in CR LF, so that the
        // second's rest begins at a line start there as well.
        if (e.data() == a.last.data() || end > same || !e.endsWith(kCrLf)) break;
        ++shared;
        sharedEnd = end;
    }
    Entries b = entriesOf(second.sliced(sharedEnd));
    if (!b.ok) {
        m.ok = false;
        m.secondDamaged = true;
        return m;
    }
    b.items = a.items.first(shared) + b.items;

    // The base is chosen from the two versions alone, never from which one is ours: a version
    // that holds every entry of the other; else the one with fewer entries; else the one whose
    // bytes sort first. A merge with a version it already holds so changes nothing.
    // Entries both begin with are in both: only what follows them is compared and hashed.
    while (shared < a.items.size() && shared < b.items.size() && a.items[shared] == b.items[shared])
        ++shared;
    const int contains = containment(a.items.sliced(shared), b.items.sliced(shared));
    bool firstIsBase;
    if (contains == 1)
        firstIsBase = true;
    else if (contains == 2)
        firstIsBase = false;
    else if (a.items.size() != b.items.size())
        firstIsBase = a.items.size() < b.items.size();
    else
        firstIsBase = !bytesBefore(second, first);
    m.base = firstIsBase ? first : second;
    const Entries &base = firstIsBase ? a : b;
    const Entries &other = firstIsBase ? b : a;

    QHash<QByteArrayView, int> held;
    for (qsizetype i = shared; i < base.items.size(); ++i)
        ++held[base.items[i]];
    if (!m.base.isEmpty() && !m.base.endsWith('\n'))
        m.tail = m.base.endsWith('\r') ? QByteArray("\n") : kCrLf;
    qsizetype total = base.items.size();
    for (qsizetype i = shared; i < other.items.size(); ++i) {
        int &n = held[other.items[i]];
        if (n > 0) {
            --n;
            continue;
        }
        m.tail.append(other.items[i]);
        ++total;
    }
    // Nothing to add: the base stays byte for byte, with no line break added.
    if (total == base.items.size()) m.tail.clear();
    m.added = total - int(a.items.size());
    return m;
}

QString copyTitle(const QString &title, const QDate &date) {
    return title + u"（冲突副本 "_qs + date.toString(u"yyyy-MM-dd"_qs) + u"）"_qs;
}

QString asidePath(const ProgramFolder &folder, const QString &relativeCopy) {
    return folder.dir + u"/Backup/conflicts/"_qs + relativeCopy;
}

Report mergeAll(const ProgramFolder &folder, const QString &homePage, const QSet<QString> &busy) {
    Report report;
    QSet<QString> cleanBusy;
    for (const QString &b : busy)
        cleanBusy.insert(QDir::cleanPath(b));
    Scan scan{folder, cleanBusy, homePage, report};
    // A copy of a copy is merged into its copy first, then that one into the file.
    for (int i = 0; i < 4; ++i) {
        scan.progressed = false;
        scan.pass();
        if (!scan.progressed) break;
    }
    report.changed.removeDuplicates();
    return report;
}

} // namespace conflict
