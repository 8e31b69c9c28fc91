// The restore's archive reader, on any bytes and on zips built from the input's choices (member
// names, kinds, sizes, compression), over a diary that holds one date file:
//  - a restore that fails leaves the diary as it was: the date file, the settings, nothing new
//    beside them, no journal and no unpacked folder left in Backup;
//  - a restore that succeeds puts every file member in place and the old date file aside;
//  - a built zip with a name a backup never writes, a name twice, a member over the size cap or
//    members over the total cap never restores; one of only plain kept names within the caps does.
// Memory stays bounded: the caps are small and every size is declared by the zip, not trusted.
#include "fuzzsupport.h"

#include "store/keep/backup.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>

#include <cstddef>
#include <cstdint>
#include <memory>

using fuzzsupport::check;
using fuzzsupport::Choices;

namespace {

constexpr qint64 kMemberCap = 96 * 1024;
constexpr qint64 kTotalCap = 160 * 1024;

struct NameChoice {
    const char *name;
    enum Kind { Kept, Refused, Maybe } kind; // Maybe: a home page, kept only as Config.ini names it
};

// Names a backup writes, names it never does, and names only the home page may have. The zip
// reader reads a backslash as a folder's slash, so "DB\x.KAV" may come back as a date file.
const NameChoice kNames[] = {
    {"Config.ini", NameChoice::Kept},      {"Message.txt", NameChoice::Kept},
    {"DB/20040908.KAV", NameChoice::Kept}, {"DB/20040909.KAV", NameChoice::Kept},
    {"Love/item", NameChoice::Kept},       {"UserInfo/someone", NameChoice::Kept},
    {"LogFile/log.txt", NameChoice::Kept}, {"DB/", NameChoice::Kept},
    {"Love/", NameChoice::Kept},           {"index.KAV", NameChoice::Maybe},
    {"EVIL/x.txt", NameChoice::Maybe},     {"qingchuang", NameChoice::Refused},
    {"../x", NameChoice::Refused},         {"/abs", NameChoice::Refused},
    {"Backup/x.zip", NameChoice::Refused}, {"DB", NameChoice::Refused},
    {"db/other.KAV", NameChoice::Maybe}, {"DB\\x.KAV", NameChoice::Maybe},
    {"DB/./x.KAV", NameChoice::Refused},   {"Config.ini/", NameChoice::Refused},
};

struct Built {
    QByteArray zip;
    bool mustFail = false;
    bool mustRestore = true;
    QList<std::pair<QString, QByteArray>> files; // file members and their bytes
};

using WritePtr = std::unique_ptr<archive, decltype(&archive_write_free)>;
using EntryPtr = std::unique_ptr<archive_entry, decltype(&archive_entry_free)>;

Built build(Choices &c) {
    Built b;
    WritePtr a(archive_write_new(), archive_write_free);
    archive_write_set_format_zip(a.get());
    if (c.below(2)) archive_write_zip_set_compression_store(a.get());
    else archive_write_zip_set_compression_deflate(a.get());
    QByteArray out(2 * kTotalCap + 64 * 1024, '\0');
    size_t used = 0;
    archive_write_open_memory(a.get(), out.data(), size_t(out.size()), &used);
    QSet<QString> names;
    qint64 total = 0;
    const unsigned members = c.below(7);
    for (unsigned i = 0; i < members; ++i) {
        const NameChoice &n = kNames[c.below(std::size(kNames))];
        const QString name = QString::fromUtf8(n.name);
        // A file, a folder or a link, whatever the name says.
        const unsigned type = c.below(8);
        const bool dir = name.endsWith(u'/') ? type != 7 : type == 6;
        const bool link = type == 7;
        QByteArray bytes;
        if (!dir && !link) {
            const unsigned sizeChoice = c.below(4);
            const qint64 size = sizeChoice == 3 ? kMemberCap - 64 + c.below(128)
                                                : qint64(c.below(64)) * (sizeChoice + 1);
            bytes.resize(size);
            quint32 x = c.byte() | 1u;
            for (char &ch : bytes) {
                x ^= x << 13, x ^= x >> 17, x ^= x << 5;
                ch = char(c.below(2) ? 'a' : char(x));
            }
        }
        EntryPtr e(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname_utf8(e.get(), n.name);
        archive_entry_set_filetype(e.get(), dir ? AE_IFDIR : link ? AE_IFLNK : AE_IFREG);
        archive_entry_set_perm(e.get(), 0644);
        if (link) archive_entry_set_symlink(e.get(), "/etc/passwd");
        archive_entry_set_size(e.get(), bytes.size());
        if (archive_write_header(a.get(), e.get()) != ARCHIVE_OK) {
            b.zip.clear();
            return b;
        }
        if (!bytes.isEmpty()) archive_write_data(a.get(), bytes.constData(), size_t(bytes.size()));

        // A folder under a name without its slash may be written with one, and a link under a
        // name with it is read as a folder.
        const bool spelling = (dir && !name.endsWith(u'/')) || (link && name.endsWith(u'/'));
        const bool refused = (n.kind == NameChoice::Refused || link) && !spelling;
        const bool twice = names.contains(name);
        names.insert(name);
        total += bytes.size();
        if (refused || twice || bytes.size() > kMemberCap || total > kTotalCap) b.mustFail = true;
        if (n.kind == NameChoice::Maybe || spelling) b.mustRestore = false;
        if (!dir && !link) b.files.append({name, bytes});
    }
    archive_write_close(a.get());
    b.zip = out.left(qsizetype(used));
    b.mustRestore = b.mustRestore && !b.mustFail;
    return b;
}

// What lies in the program folder, Backup left out: names and bytes.
QMap<QString, QByteArray> diaryFiles(const QString &dir) {
    QMap<QString, QByteArray> files;
    QDir top(dir);
    const QStringList all = [&] {
        QStringList names;
        for (const QFileInfo &fi : top.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                     QDir::Hidden | QDir::System)) {
            if (fi.fileName() == u"Backup") continue;
            if (fi.isDir()) {
                names << fi.fileName() + u'/';
                for (const QFileInfo &in : QDir(fi.filePath())
                                               .entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                              QDir::NoDotAndDotDot))
                    names << fi.fileName() + u'/' + in.fileName();
            } else {
                names << fi.fileName();
            }
        }
        return names;
    }();
    for (const QString &n : all)
        files.insert(n, n.endsWith(u'/') ? QByteArray() : fuzzsupport::readFile(dir + u'/' + n));
    return files;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzzsupport::init(argc, argv, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::begin(data, size);
    if (size == 0) return 0;
    Choices c(data + 1, size - 1);
    const bool raw = data[0] & 1;
    Built built;
    if (raw) {
        built.zip = QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
        built.mustRestore = false;
    } else {
        built = build(c);
        if (built.zip.isEmpty()) return 0;
    }

    const QString dir = fuzzsupport::scratchDir() + u"/diary"_qs;
    QDir(dir).removeRecursively();
    fuzzsupport::writeFile(dir + u"/DB/20010101.KAV"_qs, "\x7f" "1\r\nold\r\n\x07\r\n{\\rtf1 old}\r\n \x7f\r\n");
    fuzzsupport::writeFile(dir + u"/Config.ini"_qs, "[Setting]\r\nServer=0\r\n");
    const QString zipPath = fuzzsupport::scratchDir() + u"/backup.zip"_qs;
    fuzzsupport::writeFile(zipPath, built.zip);
    const QMap<QString, QByteArray> before = diaryFiles(dir);

    keep::Limits limits;
    limits.memberSize = kMemberCap;
    limits.totalSize = kTotalCap;
    limits.members = 64;
    limits.reserve = 0;
    const auto r = keep::restoreBackup(dir, zipPath, QDateTime(QDate(2004, 9, 8), QTime(10, 0)), limits);

    const QStringList inBackup =
        QDir(dir + u"/Backup"_qs).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    check(!inBackup.contains(u".restore-journal"_qs), "a journal was left after the restore");
    for (const QString &n : inBackup)
        check(!n.startsWith(u".restore-"_qs), "an unpacked folder was left in Backup",
              [&] { return n; });
    if (!r.ok()) {
        check(diaryFiles(dir) == before, "a failed restore changed the diary",
              [&] { return diaryFiles(dir).keys().join(u' '); });
        check(!built.mustRestore, "a zip of kept names within the caps did not restore",
              [&] { return r.detail; });
        return 0;
    }
    check(!built.mustFail, "a zip with a refused name, a name twice or over a cap was restored");
    const QMap<QString, QByteArray> after = diaryFiles(dir);
    for (const auto &file : std::as_const(built.files))
        check(after.value(QString(file.first).replace(u'\\', u'/')) == file.second,
              "a restored file does not hold its member's bytes", [&] { return file.first; });
    check(fuzzsupport::readFile(r.path + u"/DB/20010101.KAV"_qs) == before.value(u"DB/20010101.KAV"_qs),
          "the old date file is not kept aside");
    return 0;
}
