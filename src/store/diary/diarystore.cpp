#include "store/diary/diarystore.h"

#include "store/common/codepage.h"
#include "store/common/savefile.h"
#include "store/common/textlines.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QSet>

#include <cstring>

namespace diary {

namespace {

constexpr char kDelByte = 0x7f;
constexpr char kBelByte = 0x07;
const QByteArray kTerminator("\x20\x7f");
const QByteArray kCrLf("\r\n");

store::Result readAll(const QString &path, QByteArray *data) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (!f.exists()) return store::Result::failure(store::Code::NotFound, path);
        return store::fileError(f);
    }
    *data = f.readAll();
    if (f.error() != QFileDevice::NoError) return store::fileError(f);
    return store::Result::success();
}

// The number of a key line (DEL and decimal digits), or nothing when it is not a number.
std::optional<qint32> parseKey(QByteArrayView line) {
    const QByteArrayView digits = line.sliced(1);
    if (digits.isEmpty() || digits.size() > 10) return std::nullopt;
    qint64 value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > INT32_MAX) return std::nullopt;
    return qint32(value);
}

bool isKeyLine(QByteArrayView line) { return !line.isEmpty() && line.at(0) == kDelByte; }

// A body runs to its terminator; a key line before it means the terminator was lost and the
// next entry begins there (bodies are RTF, whose lines never begin with DEL).
bool endsEntry(QByteArrayView bodyLine) {
    return bodyLine == kTerminator || isKeyLine(bodyLine);
}

// Index of the line that starts the occurrence-th entry with that key, or -1. Entries are found
// as the listing finds them: the line after a key line is its title, even one beginning with DEL.
qsizetype findKeyLine(const QList<QByteArrayView> &lines, qint32 key, int occurrence) {
    int seen = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!isKeyLine(lines[i])) continue;
        if (parseKey(lines[i]) == key && seen++ == occurrence) return i;
        ++i; // the title
    }
    return -1;
}

// The line that starts at start: where its text ends (before CR) and where the next line starts.
// A line ends at CR or at CR LF, as splitLines has it, without cutting the file into lines: a date
// file is mostly body, and only the lines that begin with DEL matter to the listing.
struct Line {
    qsizetype end;
    qsizetype next;
};

Line lineAt(QByteArrayView data, qsizetype start) {
    const char *p = data.data();
    const qsizetype n = data.size();
    const void *cr = start < n ? std::memchr(p + start, '\r', size_t(n - start)) : nullptr;
    if (!cr) return {n, n};
    const qsizetype end = static_cast<const char *>(cr) - p;
    return {end, end + 1 < n && p[end + 1] == '\n' ? end + 2 : end + 1};
}

bool isLineStart(QByteArrayView data, qsizetype at) {
    if (at == 0) return true;
    const char before = data[at - 1];
    return before == '\r' || (before == '\n' && at >= 2 && data[at - 2] == '\r');
}

// The start of the first key line at or after from, or -1. DEL is rare in a date file (key and
// terminator lines), so looking for it skips the bodies at the speed of memchr.
qsizetype nextKeyLine(QByteArrayView data, qsizetype from) {
    const char *p = data.data();
    const qsizetype n = data.size();
    while (from < n) {
        const void *del = std::memchr(p + from, kDelByte, size_t(n - from));
        if (!del) return -1;
        const qsizetype at = static_cast<const char *>(del) - p;
        if (isLineStart(data, at)) return at;
        from = at + 1;
    }
    return -1;
}

// Whether the line at start ends an entry's body: a terminator or a key line.
bool endsEntryAt(QByteArrayView data, qsizetype start) {
    const Line line = lineAt(data, start);
    return endsEntry(data.sliced(start, line.end - start));
}

// Where the body that starts at start ends: the start of its terminator or of the next key line,
// or the end of the file. Only lines that hold DEL can end it.
qsizetype bodyEnd(QByteArrayView data, qsizetype start) {
    const char *p = data.data();
    const qsizetype n = data.size();
    qsizetype from = start;
    while (from < n) {
        const void *del = std::memchr(p + from, kDelByte, size_t(n - from));
        if (!del) return n;
        const qsizetype at = static_cast<const char *>(del) - p;
        for (const qsizetype lineStart : {at, at - 1})
            if (lineStart >= start && isLineStart(data, lineStart) && endsEntryAt(data, lineStart)) return lineStart;
        from = at + 1;
    }
    return n;
}

// The body lines from start to end (a line start) joined by CR LF, as they were written.
QByteArray joinedBody(QByteArrayView data, qsizetype start, qsizetype end) {
    QByteArray body;
    for (qsizetype at = start; at < end;) {
        const Line line = lineAt(data, at);
        if (at > start) body += kCrLf;
        body += data.sliced(at, qMin(line.end, end) - at);
        at = line.next;
    }
    return body;
}

// Visits the entries as the listing finds them: f(key, titleStart, titleLine) until f returns
// false. The line after a key line is its title, even one that begins with DEL. False when the
// file is damaged (a key that is no number, a key line without a title): the listing stops there;
// a reader looking for one key (pastDamage) goes on over a key that is no number.
template <typename F> bool forEachEntry(QByteArrayView data, F f, bool pastDamage = false) {
    bool whole = true;
    for (qsizetype at = nextKeyLine(data, 0); at >= 0;) {
        const Line keyLine = lineAt(data, at);
        const std::optional<qint32> key = parseKey(data.sliced(at, keyLine.end - at));
        if (!key || keyLine.next >= data.size()) {
            whole = false;
            if (!pastDamage || keyLine.next >= data.size()) break;
        }
        const Line title = lineAt(data, keyLine.next);
        if (key && !f(*key, keyLine.next, title)) break;
        at = nextKeyLine(data, title.next);
    }
    return whole;
}

bool passwordMatches(QByteArrayView passwordLine, const QString &password) {
    if (passwordLine == QByteArrayView(&kBelByte, 1)) return true;
    return passwordLine == QByteArray(1, kBelByte) + cp936::encode(PasswordCode(password));
}

// The body lines of the entry whose key line is at, joined by CR LF as they were written.
QByteArray bodyOf(const QList<QByteArrayView> &lines, qsizetype at) {
    QByteArray body;
    for (qsizetype i = at + 3; i < lines.size() && !endsEntry(lines[i]); ++i) {
        if (i > at + 3) body += kCrLf;
        body += lines[i];
    }
    return body;
}

// The lines of one record, each ending CR LF.
QByteArray recordBytes(qint32 key, QByteArrayView title, QByteArrayView passwordLine, QByteArrayView body) {
    QByteArray out;
    out += kDelByte + QByteArray::number(key) + kCrLf;
    out.append(title).append(kCrLf);
    out.append(passwordLine).append(kCrLf);
    out.append(body).append(kCrLf);
    out += kTerminator + kCrLf;
    return out;
}

} // namespace

QString DateKey(const QDate &date) {
    return QString::number(date.year()) + QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0')) +
           QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'));
}

QByteArray encodeTitle(const QString &title) { return cp936::encodeLossless(title); }

QString decodeTitle(QByteArrayView line) { return cp936::decodeLossless(line); }

QString PasswordCode(const QString &password) {
    QString code;
    for (qsizetype i = 0; i < password.size(); ++i) {
        qsizetype len = 1;
        if (password.at(i).isHighSurrogate() && i + 1 < password.size() && password.at(i + 1).isLowSurrogate())
            len = 2;
        const QStringView ch = QStringView(password).sliced(i, len);
        i += len - 1;
        const QByteArray bytes = cp936::encode(ch);
        int value = '?';
        if (bytes.size() == 1) {
            value = static_cast<unsigned char>(bytes[0]);
        } else if (bytes.size() == 2) {
            value = static_cast<unsigned char>(bytes[0]) * 256 + static_cast<unsigned char>(bytes[1]) - 65536;
        }
        code += QString::number(value);
    }
    return code;
}

namespace {

Listing listBytes(QByteArrayView data, const QString &path = {}) {
    Listing listing;
    QHash<qint32, int> seen;
    const bool whole = forEachEntry(data, [&](qint32 key, qsizetype titleStart, Line title) {
        listing.items.append({decodeTitle(data.sliced(titleStart, title.end - titleStart)), key, seen[key]++});
        return true;
    });
    if (!whole) listing.result = store::Result::failure(store::Code::Damaged, path);
    return listing;
}

} // namespace

Listing ListEntries(const QString &path) {
    QByteArray data;
    if (store::Result read = readAll(path, &data); !read) {
        Listing failed;
        failed.result = read;
        return failed;
    }
    return listBytes(data, path);
}

QList<EntryRecord> readRecords(QByteArrayView data, bool *ok) {
    QList<EntryRecord> records;
    QHash<qint32, int> seen;
    const bool whole = forEachEntry(data, [&](qint32 key, qsizetype titleStart, Line title) {
        EntryRecord r;
        r.key = key;
        r.occurrence = seen[key]++;
        r.title = data.sliced(titleStart, title.end - titleStart);
        if (title.next < data.size()) {
            const Line password = lineAt(data, title.next);
            r.complete = true;
            r.passwordLine = data.sliced(title.next, password.end - title.next);
            const qsizetype end = bodyEnd(data, password.next);
            r.body = data.sliced(password.next, end - password.next);
        }
        records.append(r);
        return true;
    });
    if (ok) *ok = whole;
    return records;
}

Content readEntry(const QString &path, qint32 key, int occurrence, const QString &password) {
    Content c;
    QByteArray data;
    if (!readAll(path, &data)) return c;
    const QByteArrayView view(data);
    int seen = 0;
    forEachEntry(view, [&](qint32 k, qsizetype titleStart, Line title) {
        if (k != key || seen++ != occurrence) return true;
        if (title.next >= view.size()) return false; // the password line is missing
        const Line passwordLine = lineAt(view, title.next);
        const QByteArrayView passwordBytes = view.sliced(title.next, passwordLine.end - title.next);
        const QByteArray body = joinedBody(view, passwordLine.next, bodyEnd(view, passwordLine.next));
        c.found = true;
        c.locked = passwordBytes.size() > 1;
        if (cipher::isSealedLine(passwordBytes)) {
            cipher::Opening o =
                cipher::open({key, view.sliced(titleStart, title.end - titleStart), passwordBytes, body}, password);
            c.result = o.result;
            c.PassOK = o.result.ok();
            if (c.PassOK) c.body = cp936::decode(o.plain);
            cipher::wipe(o.plain);
            return false;
        }
        c.PassOK = passwordMatches(passwordBytes, password);
        if (!c.PassOK) {
            c.result = store::Result::failure(store::Code::WrongPassword, path);
            return false;
        }
        c.body = cp936::decode(body);
        return false;
    }, true);
    return c;
}

QByteArray entryBytes(qint32 key, const QString &title, const QString &passwordCode, const QString &body) {
    return recordBytes(key, encodeTitle(title), kBelByte + cp936::encode(passwordCode), cp936::encode(body));
}

QString oneLine(const QString &title) {
    QString t = title;
    t.replace(u"\r\n"_qs, u" "_qs);
    t.replace(QLatin1Char('\r'), QLatin1Char(' '));
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t;
}

store::Result appendEntry(const QString &path, const QString &title, const Lock &lock,
                          const QString &body, const std::function<qint64()> &drawKey, qint32 *key) {
    // The file is written anew, its old bytes first: appending in place could leave half an entry
    // behind a crash, and the next entry would be glued to it.
    QByteArray old;
    if (const QFileInfo info(path); info.exists() || info.isSymLink()) {
        if (!info.isFile()) return store::Result::failure(store::Code::Damaged, path);
        if (store::Result read = readAll(path, &old); !read) return read;
    }
    QSet<qint32> used;
    for (const EntryItem &e : listBytes(old).items)
        used.insert(e.key);
    qint32 fresh = qint32(drawKey());
    for (int tries = 0; used.contains(fresh) && tries < 1000000; ++tries)
        fresh = qint32(drawKey());
    if (key) *key = fresh;

    // An enciphered body is sealed for its key and title: its words never reach the disk.
    const QByteArray titleLine = encodeTitle(oneLine(title));
    QByteArray passwordLine = kBelByte + cp936::encode(PasswordCode(lock.password));
    QByteArray stored = cp936::encode(body);
    if (!lock.password.isEmpty() && lock.enciphered) {
        const cipher::Sealing sealed = cipher::seal(stored, fresh, titleLine, lock.password);
        cipher::wipe(stored);
        if (!sealed.result) return sealed.result;
        passwordLine = cipher::encipheredPasswordLine();
        stored = sealed.body;
    }

    return store::saveFile(path, old + recordBytes(fresh, titleLine, passwordLine, stored));
}

namespace {

// Adds lines[from, to) of data to pieces, each followed by CR LF as a date file is written. Runs
// of lines that data already holds so are one piece each. *keyLine is set when one of them begins
// with DEL.
void addLines(QList<QByteArrayView> &pieces, QByteArrayView data, const QList<QByteArrayView> &lines,
              qsizetype from, qsizetype to, bool *keyLine) {
    const char *const end = data.data() + data.size();
    for (qsizetype i = from; i < to;) {
        const char *const runStart = lines[i].data();
        const char *runEnd = runStart;
        for (; i < to; ++i) {
            if (isKeyLine(lines[i])) *keyLine = true;
            const char *after = lines[i].data() + lines[i].size();
            if (end - after < 2 || after[0] != '\r' || after[1] != '\n') break;
            runEnd = after + 2;
        }
        if (runEnd != runStart) pieces.append(QByteArrayView(runStart, runEnd - runStart));
        if (i < to) pieces << lines[i++] << QByteArrayView(kCrLf);
    }
}

} // namespace

store::Result removeEntry(const QString &path, const QString &tempPath, qint32 key, int occurrence,
                          const QString &password) {
    QByteArray data;
    if (store::Result read = readAll(path, &data); !read) return read;
    const QList<QByteArrayView> lines = splitLines(QByteArrayView(data));
    const qsizetype at = findKeyLine(lines, key, occurrence);
    if (at < 0) return store::Result::failure(store::Code::NotFound, path);
    if (at + 2 >= lines.size()) return store::Result::failure(store::Code::Damaged, path);
    if (cipher::isSealedLine(lines[at + 2])) {
        const QByteArray body = bodyOf(lines, at);
        store::Result checked = cipher::checkPassword({key, lines[at + 1], lines[at + 2], body}, password);
        if (!checked) return checked;
    } else if (!passwordMatches(lines[at + 2], password)) {
        return store::Result::failure(store::Code::WrongPassword, path);
    }

    // Everything but that entry, from its key line through its terminator (or up to the next
    // entry, when a damaged entry has lost its terminator).
    qsizetype i = at + 3; // title and password line belong to the entry whatever they hold
    while (i < lines.size() && !endsEntry(lines[i]))
        ++i;
    if (i < lines.size() && lines[i] == kTerminator) ++i;
    QList<QByteArrayView> kept;
    bool keyLineLeft = false;
    addLines(kept, data, lines, 0, at, &keyLineLeft);
    addLines(kept, data, lines, i, lines.size(), &keyLineLeft);

    // The date file is replaced in one rename: there is never a moment without a whole file.
    if (store::Result replaced = store::saveFile(path, kept, {tempPath}); !replaced) return replaced;
    // A date file goes when no entry is left in it; one whose rest cannot be read stays. The
    // listing looks for entries at the lines that begin with DEL: with none left, it is empty.
    if (!keyLineLeft) QFile::remove(path);
    return store::Result::success();
}

QList<EntryLines> entryLines(const QList<QByteArrayView> &lines) {
    QList<EntryLines> out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!isKeyLine(lines[i])) continue;
        const std::optional<qint32> key = parseKey(lines[i]);
        if (!key || i + 2 >= lines.size()) break; // no number, or no password line before the end
        if (isKeyLine(lines[i + 2])) { // no password line: the next entry begins there
            ++i;
            continue;
        }
        EntryLines e{*key, i, i + 3, false};
        while (e.end < lines.size() && !endsEntry(lines[e.end]))
            ++e.end;
        e.terminated = e.end < lines.size() && lines[e.end] == kTerminator;
        out.append(e);
        i = e.terminated ? e.end : e.end - 1;
    }
    return out;
}


} // namespace diary
