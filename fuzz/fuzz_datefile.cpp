// A date file of any bytes: listing, opening every listed entry through FOS, and removing entries.
// Beside "never crashes", the properties that keep a diary whole:
//  - the listing shows one item per key line, read as the format says (an independent reading
//    here, which also tells which entries are whole: key, title, password line, body, terminator);
//  - opening a whole entry gives exactly its body, or the locked text when the password is wrong;
//    an entry whose password line is that of an enciphered entry never opens here (no fuzzed body
//    is a record sealed for these passwords) and shows no body;
//  - a removal that does not report success leaves the file byte for byte as it was;
//  - a removal never damages a whole entry other than the one removed, and leaves no temporary
//    file behind;
//  - a reported removal leaves exactly the old lines without that entry's (from its key line
//    through its terminator, or up to the next key line for an entry that lost its terminator),
//    each ending CR LF; or no file, when those lines list whole and hold no entry.
#include "fuzzsupport.h"

#include "store/cipher/entrycipher.h"
#include "store/diary/diarystore.h"
#include "store/diary/fos.h"
#include "store/common/codepage.h"
#include "store/common/textlines.h"

#include <QFile>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <optional>

using fuzzsupport::check;

namespace {

const QByteArray kTerminator("\x20\x7f");
const QByteArray kCrLf("\r\n");
// The passwords tried: none, and one whose code ("979899") seeds carry.
const QString kPasswords[] = {QString(), QStringLiteral("abc")};
constexpr int kMaxOpened = 16;
constexpr int kMaxRemovals = 4;

struct Candidate {
    qsizetype at; // the key line
    qint32 key;
    int occurrence; // among listed entries with the same key
    QByteArray title;
    qsizetype end = -1; // the terminator line of a whole entry, else -1
};

std::optional<qint32> decimalKey(QByteArrayView digits) {
    if (digits.isEmpty() || digits.size() > 10) return std::nullopt;
    qint64 v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v > INT32_MAX) return std::nullopt;
    return qint32(v);
}

// The entries a reader of the format sees: a line beginning with DEL is a key line and the line
// after it the title; reading stops at a key that is no number or a key line with no title (then
// *whole, if given, is false).
QList<Candidate> scan(const QList<QByteArrayView> &lines, bool *whole = nullptr) {
    if (whole) *whole = false;
    QList<Candidate> out;
    QHash<qint32, int> seen;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty() || lines[i].at(0) != '\x7f') continue;
        const std::optional<qint32> key = decimalKey(lines[i].sliced(1));
        if (!key || i + 1 >= lines.size()) return out;
        Candidate c{i, *key, seen[*key]++, lines[i + 1].toByteArray()};
        // Whole: a password line, then body lines none of which is a key line, then a terminator.
        if (i + 2 < lines.size() && lines[i + 2].startsWith('\x07')) {
            for (qsizetype j = i + 3; j < lines.size(); ++j) {
                if (lines[j] == kTerminator) {
                    c.end = j;
                    break;
                }
                if (lines[j].startsWith('\x7f')) break;
            }
        }
        out.append(c);
        ++i;
    }
    if (whole) *whole = true;
    return out;
}

// The lines of a whole entry, from its key line through its terminator.
QByteArray block(const QList<QByteArrayView> &lines, const Candidate &c) {
    QByteArray b;
    for (qsizetype i = c.at; i <= c.end; ++i)
        b.append(lines[i]).append(kCrLf);
    return b;
}

// The file after removing the entry of c, as the format says.
QByteArray without(const QList<QByteArrayView> &lines, const Candidate &c) {
    qsizetype end = c.end;
    if (end < 0) {
        end = c.at + 3;
        while (end < lines.size() && lines[end] != kTerminator && !lines[end].startsWith('\x7f'))
            ++end;
        if (end == lines.size() || lines[end] != kTerminator) --end; // no terminator to drop
    }
    QByteArray out;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (i < c.at || i > end) out.append(lines[i]).append(kCrLf);
    return out;
}

// The whole entries, leaving out the one at index skip.
QList<QByteArray> wholeBlocks(const QList<QByteArrayView> &lines, const QList<Candidate> &cands,
                              qsizetype skip = -1) {
    QList<QByteArray> out;
    for (qsizetype i = 0; i < cands.size(); ++i)
        if (cands[i].end >= 0 && i != skip) out.append(block(lines, cands[i]));
    return out;
}

bool isSubsequence(const QList<QByteArray> &part, const QList<QByteArray> &whole) {
    qsizetype j = 0;
    for (const QByteArray &p : part) {
        while (j < whole.size() && whole[j] != p)
            ++j;
        if (j == whole.size()) return false;
        ++j;
    }
    return true;
}

bool opens(QByteArrayView passwordLine, const QString &password) {
    if (cipher::isSealedLine(passwordLine)) return false;
    return passwordLine == "\x07" ||
           passwordLine == "\x07" + cp936::encode(diary::PasswordCode(password));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    const QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString dir = fuzzsupport::scratchDir() + QStringLiteral("/DB");
    const QString path = dir + QStringLiteral("/20040908.KAV");
    const QString temp = dir + QStringLiteral("/temp.tmp");
    fuzzsupport::writeFile(path, file);

    const QList<QByteArrayView> lines = splitLines(QByteArrayView(file));
    const QList<Candidate> cands = scan(lines);

    // Listing.
    const diary::Listing listing = diary::ListEntries(path);
    check(listing.items.size() == cands.size(), "the listing shows another number of entries");
    for (qsizetype i = 0; i < cands.size(); ++i) {
        const diary::EntryItem &item = listing.items[i];
        check(item.key == cands[i].key && item.occurrence == cands[i].occurrence &&
                  item.title == diary::decodeTitle(cands[i].title),
              "a listed entry is not the one its key line starts");
    }

    // Opening: every whole entry gives its own body.
    FOS fos;
    for (qsizetype i = 0; i < cands.size() && i < kMaxOpened; ++i) {
        const Candidate &c = cands[i];
        if (c.end < 0) continue;
        QByteArray body;
        for (qsizetype j = c.at + 3; j < c.end; ++j) {
            if (j > c.at + 3) body += kCrLf;
            body += lines[j];
        }
        for (const QString &password : kPasswords) {
            fos.fr(path);
            const std::optional<QString> got =
                fos.getContent(QString::number(c.key), password, c.occurrence);
            fos.closeAll();
            const bool ok = opens(lines[c.at + 2], password);
            check(got.has_value(), "a whole listed entry is not found");
            check(fos.PassOK == ok, "the password check differs from the password line");
            const bool damaged = fos.LastResult.code == cipher::Code::Damaged;
            check(!damaged || cipher::isSealedLine(lines[c.at + 2]), "an entry not enciphered is called damaged");
            check(*got == (ok ? cp936::decode(body) : QString()),
                  "opening an entry gives another body");
        }
    }

    // Removing: a few of the listed entries, each from the original file.
    QList<qsizetype> chosen;
    if (!cands.isEmpty()) {
        for (qsizetype i : {qsizetype(0), cands.size() - 1, cands.size() / 2,
                            qsizetype(qHash(file) % cands.size())})
            if (!chosen.contains(i) && chosen.size() < kMaxRemovals) chosen.append(i);
    }
    for (qsizetype i : chosen) {
        const Candidate &c = cands[i];
        fuzzsupport::writeFile(path, file);
        const QString password = kPasswords[i % 2];
        const store::Result removed = diary::removeEntry(path, temp, c.key, c.occurrence, password);
        const QByteArray after = fuzzsupport::readFile(path);
        using store::Code;
        check(!QFile::exists(temp), "the temporary file is left behind");
        check(removed.ok() || removed.code == Code::WrongPassword || removed.code == Code::NotFound ||
                  removed.code == Code::Damaged || removed.code == Code::IoError ||
                  removed.code == Code::Unavailable,
              "a removal says something else", [&] { return QString::fromLatin1(store::codeName(removed.code)); });
        if (c.end >= 0 && cipher::isSealedLine(lines[c.at + 2])) {
            check(!removed.ok(), "an enciphered entry went without its password");
        } else if (c.end >= 0) {
            const bool ok = opens(lines[c.at + 2], password);
            check(removed.code == (ok ? Code::Ok : Code::WrongPassword),
                  "a whole entry is not removed as its password line says");
        }
        if (!removed.ok()) {
            check(after == file, "a refused removal changed the file");
            continue;
        }
        // A file that lists whole with no entry left goes.
        const QByteArray rest = without(lines, c);
        bool restWhole = false;
        const bool restEmpty = scan(splitLines(QByteArrayView(rest)), &restWhole).isEmpty();
        if (restWhole && restEmpty) {
            check(!QFile::exists(path), "a removal that left no entry kept the date file");
        } else {
            check(after == rest, "a removal left another file than the old one without the entry",
                  [&] { return u"-- after --\n"_qs + fuzzsupport::escaped(after); });
        }
        // Every whole entry but the one removed is still there, byte for byte and in order.
        const QList<QByteArray> others = wholeBlocks(lines, cands, i);
        const QList<QByteArrayView> afterLines = splitLines(QByteArrayView(after));
        check(isSubsequence(others, wholeBlocks(afterLines, scan(afterLines))),
              "removing an entry damaged another entry",
              [&] { return u"-- after --\n"_qs + fuzzsupport::escaped(after); });
    }
    return 0;
}
