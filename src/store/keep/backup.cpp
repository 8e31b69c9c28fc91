#include "store/keep/backup.h"

#include "store/common/codepage.h"
#include "store/common/savefile.h"
#include "store/common/textlines.h"
#include "store/settings/config.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStorageInfo>

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

namespace keep {

using store::Code;
using store::Result;

namespace {

const QString kBackupFolder = u"Backup"_qs;
const QString kStamp = u"yyyyMMdd-HHmmss"_qs;

struct ArchiveDeleter {
    void operator()(archive *a) const { archive_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

QString archiveError(archive *a) {
    const char *text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : u"libarchive error"_qs;
}

QString backupFolder(const QString &programDir) {
    return programDir + u'/' + kBackupFolder;
}

// The name as it is in folder: exactly, or else an entry differing only in case.
QString foundName(const QString &folder, const QString &name) {
    if (QFileInfo::exists(folder + u'/' + name)) return name;
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                     QDir::System | QDir::NoDotAndDotDot);
    for (const QString &n : names)
        if (n.compare(name, Qt::CaseInsensitive) == 0) return n;
    return QString();
}

// A member name as stored: relative, "/"-separated, no empty, "." or ".." parts, never inside
// Backup (a restore must not reach into the backups themselves).
bool isSafeMemberName(const QString &name) {
    QString n = name;
    if (n.endsWith(u'/')) n.chop(1);
    if (n.isEmpty() || n.startsWith(u'/') || n.contains(u'\\') || n.contains(QChar(0)))
        return false;
    const QStringList parts = n.split(u'/');
    for (const QString &p : parts)
        if (p.isEmpty() || p == u"." || p == u"..") return false;
    return parts.first().compare(kBackupFolder, Qt::CaseInsensitive) != 0;
}

QString topName(const QString &member) {
    return member.section(u'/', 0, 0);
}

// What a backup writes: these folders with everything in them, these files, and one home page.
const QStringList &keptFolders() {
    static const QStringList names = {u"DB"_qs, u"Love"_qs, u"UserInfo"_qs, u"LogFile"_qs};
    return names;
}
const QStringList &keptFiles() {
    static const QStringList names = {u"Config.ini"_qs, u"Message.txt"_qs};
    return names;
}

bool containsName(const QStringList &names, const QString &name) {
    return names.contains(name, Qt::CaseInsensitive);
}

enum class NameKind { Kept, HomePage, Refused };

// Whether a backup may hold a member of that name: in a kept folder, a kept file, or else a file
// that only the home page can be (the archive's Config.ini decides which). The program's own
// files never are.
NameKind kindOfMember(const QString &name, bool isDir) {
    if (!isSafeMemberName(name) || isDir != name.endsWith(u'/')) return NameKind::Refused;
    QString n = name;
    if (isDir) n.chop(1);
    const QString top = topName(n);
    const bool single = !n.contains(u'/');
    if (containsName(keptFolders(), top))
        return isDir || !single ? NameKind::Kept : NameKind::Refused;
    if (isDir) return NameKind::Refused;
    if (containsName(keptFiles(), top)) return single ? NameKind::Kept : NameKind::Refused;
    static const QStringList program = {u"qingchuang"_qs, u"qingchuang-tool"_qs,
                                        u"qingchuang-rtf"_qs};
    return containsName(program, top) ? NameKind::Refused : NameKind::HomePage;
}

// The home page's name relative to the program folder, as the settings name it; empty when that
// is no name a backup may hold.
QString homePageName(const QString &programDir) {
    Settings s;
    settings::ParseConfig(programDir + u"/Config.ini"_qs, s);
    QString name = s.FirstPage.isEmpty() ? u"index.KAV"_qs : s.FirstPage;
    name.replace(u'\\', u'/');
    return kindOfMember(name, false) == NameKind::Refused ? QString() : name;
}

struct Member {
    QString name;    // relative to the program folder, "/"-separated; directories end in "/"
    QString path;    // on disk
    quint32 crc = 0; // of the data written
    qint64 size = 0;
};

// Every file and folder under the kept names, in a fixed order.
QList<Member> collectMembers(const QString &programDir) {
    QList<Member> members;
    const QDir root(programDir);
    for (const QString &top : keptNames(programDir)) {
        const QString path = programDir + u'/' + top;
        if (!QFileInfo(path).isDir()) {
            members.append({top, path});
            continue;
        }
        members.append({top + u'/', path});
        QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        QList<Member> inside;
        while (it.hasNext()) {
            const QString p = it.next();
            const QFileInfo fi = it.fileInfo();
            if (!fi.isDir() && !fi.isFile()) continue; // broken links, sockets
            QString name = root.relativeFilePath(p);
            if (fi.isDir()) name += u'/';
            inside.append({name, p});
        }
        std::sort(inside.begin(), inside.end(),
                  [](const Member &a, const Member &b) { return a.name < b.name; });
        members += inside;
    }
    return members;
}

quint32 crcOf(QByteArrayView data, quint32 crc = 0) {
    // zlib takes at most 4 GiB at a time; a member is read whole and is far smaller.
    return quint32(
        crc32(uLong(crc), reinterpret_cast<const Bytef *>(data.data()), uInt(data.size())));
}

// A zip archive written member by member into an open file descriptor.
class ZipWriter {
public:
    Result open(int fd) {
        if (archive_write_set_format_zip(m_a.get()) != ARCHIVE_OK ||
            archive_write_set_options(m_a.get(), "zip:hdrcharset=UTF-8,zip:compression=deflate") !=
                ARCHIVE_OK ||
            archive_write_set_bytes_in_last_block(m_a.get(), 1) != ARCHIVE_OK ||
            archive_write_open_fd(m_a.get(), fd) != ARCHIVE_OK)
            return Result::failure(Code::IoError, archiveError(m_a.get()));
        return {};
    }
    // A folder when name ends in "/", else a file holding data.
    Result add(const QString &name, QByteArrayView data, qint64 mtime) {
        std::unique_ptr<archive_entry, void (*)(archive_entry *)> e(archive_entry_new(),
                                                                    archive_entry_free);
        archive_entry_set_pathname_utf8(e.get(), name.toUtf8().constData());
        archive_entry_set_mtime(e.get(), mtime, 0);
        if (name.endsWith(u'/')) {
            archive_entry_set_filetype(e.get(), AE_IFDIR);
            archive_entry_set_perm(e.get(), 0755);
        } else {
            archive_entry_set_filetype(e.get(), AE_IFREG);
            archive_entry_set_perm(e.get(), 0644);
            archive_entry_set_size(e.get(), data.size());
        }
        if (archive_write_header(m_a.get(), e.get()) != ARCHIVE_OK)
            return Result::failure(Code::IoError, archiveError(m_a.get()));
        if (!data.isEmpty() &&
            archive_write_data(m_a.get(), data.data(), size_t(data.size())) != data.size())
            return Result::failure(Code::IoError, archiveError(m_a.get()));
        return {};
    }
    Result close() {
        if (archive_write_close(m_a.get()) != ARCHIVE_OK)
            return Result::failure(Code::IoError, archiveError(m_a.get()));
        return {};
    }

private:
    ArchivePtr m_a{archive_write_new()};
};

// Writes the members into the open file descriptor as a zip archive, filling in their CRCs.
Result writeZip(int fd, QList<Member> &members) {
    ZipWriter zip;
    if (Result r = zip.open(fd); !r.ok()) return r;
    for (Member &m : members) {
        const QFileInfo fi(m.path);
        QByteArray data;
        if (!m.name.endsWith(u'/')) {
            QFile f(m.path);
            if (!f.open(QIODevice::ReadOnly))
                return Result::failure(Code::IoError, m.path + u": "_qs + f.errorString());
            data = f.readAll();
            if (f.error() != QFileDevice::NoError)
                return Result::failure(Code::IoError, m.path + u": "_qs + f.errorString());
        }
        m.crc = crcOf(data);
        m.size = data.size();
        if (Result r = zip.add(m.name, data, fi.lastModified().toSecsSinceEpoch()); !r.ok())
            return r;
    }
    return zip.close();
}

// Reads every member of a zip archive. begin is told each member's name and whether it is a
// folder; data gets its bytes in pieces, then end is called. Any of them may stop the reading by
// returning false. libarchive checks each member's data against its stored CRC as it reads. A
// member a backup never holds, a name given twice, or more than one file that could be the home
// page make the archive damaged; so does passing limits, when given. *homePage gets the name of
// the member that can only be the home page, if any.
Result readZip(const QString &path, const std::function<bool(const QString &, bool)> &begin,
               const std::function<bool(QByteArrayView)> &data, const std::function<bool()> &end,
               const Limits *limits = nullptr, QString *homePage = nullptr) {
    ArchivePtr a(archive_read_new());
    archive_read_support_format_zip(a.get());
    if (archive_read_open_filename(a.get(), QFile::encodeName(path).constData(), 64 * 1024) !=
        ARCHIVE_OK)
        return Result::failure(Code::Damaged, archiveError(a.get()));
    QSet<QString> seen;
    QHash<QString, QString> topSpelling; // a top-level name is spelt one way throughout
    QString home;
    qint64 total = 0;
    for (;;) {
        archive_entry *e = nullptr;
        const int r = archive_read_next_header(a.get(), &e);
        if (r == ARCHIVE_EOF) break;
        if (r != ARCHIVE_OK) return Result::failure(Code::Damaged, archiveError(a.get()));
        const char *utf8 = archive_entry_pathname_utf8(e);
        const QString name = utf8 ? QString::fromUtf8(utf8) : QString();
        const bool isDir = archive_entry_filetype(e) == AE_IFDIR;
        const NameKind kind = kindOfMember(name, isDir);
        if (kind == NameKind::Refused || (!isDir && archive_entry_filetype(e) != AE_IFREG))
            return Result::failure(Code::Damaged, u"member not allowed: "_qs + name);
        if (seen.contains(name)) return Result::failure(Code::Damaged, u"member given twice: "_qs + name);
        seen.insert(name);
        if (limits && seen.size() > limits->members)
            return Result::failure(Code::Damaged, u"too many members"_qs);
        if (kind == NameKind::HomePage) {
            if (!home.isEmpty()) return Result::failure(Code::Damaged, u"member not allowed: "_qs + name);
            home = name;
        }
        const QString top = topName(name);
        if (topSpelling.value(top.toLower(), top) != top)
            return Result::failure(Code::Damaged, u"member given twice: "_qs + name);
        topSpelling.insert(top.toLower(), top);
        if (!begin(name, isDir)) return Result::failure(Code::IoError, name);
        const la_int64_t packedAtStart = archive_filter_bytes(a.get(), -1);
        qint64 size = 0;
        char buffer[64 * 1024];
        for (;;) {
            const la_ssize_t n = archive_read_data(a.get(), buffer, sizeof buffer);
            if (n == 0) break;
            if (n < 0) return Result::failure(Code::Damaged, name + u": "_qs + archiveError(a.get()));
            size += n;
            total += n;
            if (limits) {
                // The packed bytes read so far lag behind by up to one buffer of the reader.
                const qint64 packed = archive_filter_bytes(a.get(), -1) - packedAtStart + 64 * 1024;
                if (size > limits->memberSize || total > limits->totalSize ||
                    (size > (qint64(1) << 20) && size > packed * limits->ratio))
                    return Result::failure(Code::Damaged, name + u": too large"_qs);
            }
            if (!data(QByteArrayView(buffer, n))) return Result::failure(Code::IoError, name);
        }
        if (!end()) return Result::failure(Code::IoError, name);
    }
    if (homePage) *homePage = home;
    return {};
}

// Reads a just written archive back: the same members in the same order, each with the CRC and
// size of what was written.
Result readBack(const QString &path, const QList<Member> &members) {
    qsizetype next = 0;
    quint32 crc = 0;
    qint64 size = 0;
    Result r = readZip(
        path,
        [&](const QString &name, bool) {
            crc = 0;
            size = 0;
            return next < members.size() && members.at(next).name == name;
        },
        [&](QByteArrayView data) {
            crc = crcOf(data, crc);
            size += data.size();
            return true;
        },
        [&] {
            const Member &m = members.at(next++);
            return m.crc == crc && m.size == size;
        });
    if (r.code == Code::IoError) r.code = Code::Damaged; // a mismatch, not a failed write
    if (r.ok() && next != members.size()) r = Result::failure(Code::Damaged, u"members missing"_qs);
    return r;
}

// The time in a backup's name and its number among backups of the same second (1 for the first).
std::optional<std::pair<QDateTime, int>> timeOfName(const QString &fileName) {
    static const QRegularExpression pattern(u"^diary-(\\d{8}-\\d{6})(?:-(\\d{1,6}))?\\.zip$"_qs);
    const QRegularExpressionMatch m = pattern.match(fileName);
    if (!m.hasMatch()) return std::nullopt;
    const QDateTime t = QDateTime::fromString(m.captured(1), kStamp);
    if (!t.isValid()) return std::nullopt;
    return std::pair(t, m.hasCaptured(2) ? m.captured(2).toInt() : 1);
}

// A name in folder that is not taken yet: base + suffix, else base-2 + suffix, …
QString freeName(const QString &folder, const QString &base, const QString &suffix) {
    QString name = base + suffix;
    for (int n = 2;
         QFileInfo::exists(folder + u'/' + name) || QFileInfo(folder + u'/' + name).isSymLink();
         ++n)
        name = base + u'-' + QString::number(n) + suffix;
    return name;
}

// Backups hold every word of the diary: only their owner reads them. A folder made by an older
// copy is closed too.
void ownerOnly(const QString &folder) {
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Opens the temporary file an archive is written into, readable by its owner only from the first
// byte, like the backups themselves.
Result openArchiveTemp(QFile &temp) {
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
    if (!temp.open(QIODevice::WriteOnly | QIODevice::Truncate, owner)) return store::fileError(temp);
    // A file left by an earlier attempt keeps its permissions through open.
    temp.setPermissions(owner);
    return {};
}

// Forces what libarchive wrote into temp to disk (when written is a success) and closes it; the
// first failure is the result.
Result closeArchiveTemp(QFile &temp, Result written) {
    if (written.ok()) written = store::flushToDisk(temp);
    temp.close();
    if (written.ok() && temp.error() != QFileDevice::NoError) written = store::fileError(temp);
    return written;
}

bool renamePath(const QString &from, const QString &to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

Rotation readRotation(const QString &programDir) {
    Rotation rotation;
    QFile f(programDir + u"/Config.ini"_qs);
    if (!f.open(QIODevice::ReadOnly)) return rotation;
    const QString text = cp936::decode(f.readAll());
    const QList<QStringView> lines = splitLines(QStringView(text));
    qsizetype i = lines.indexOf(u"[Backup]");
    if (i < 0) return rotation;
    for (++i; i < lines.size() && !lines.at(i).isEmpty(); ++i) {
        const QStringView line = lines.at(i);
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) continue;
        bool ok = false;
        const int n = line.sliced(eq + 1).trimmed().toInt(&ok);
        if (!ok || n < 0) continue;
        if (line.first(eq) == u"Daily")
            rotation.daily = n;
        else if (line.first(eq) == u"Weekly")
            rotation.weekly = n;
    }
    return rotation;
}

QStringList keptNames(const QString &programDir) {
    QStringList names;
    for (const QString &name : {u"Config.ini"_qs, u"DB"_qs, u"Love"_qs, u"UserInfo"_qs,
                                u"LogFile"_qs, u"Message.txt"_qs}) {
        const QString found = foundName(programDir, name);
        if (!found.isEmpty()) names.append(found);
    }
    const QString home = homePageName(programDir);
    if (!home.isEmpty()) {
        // The home page's folders are matched as the diary matches them, without regard to case.
        QString found;
        QString folder = programDir;
        for (const QString &part : home.split(u'/')) {
            const QString n = foundName(folder, part);
            if (n.isEmpty()) return names;
            found += (found.isEmpty() ? QString() : u"/"_qs) + n;
            folder += u'/' + n;
        }
        if (QFileInfo(folder).isFile() && !names.contains(topName(found))) names.append(found);
    }
    return names;
}

QList<BackupFile> listBackups(const QString &programDir) {
    QList<std::pair<BackupFile, int>> found;
    const QString folder = backupFolder(programDir);
    for (const QFileInfo &fi : QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot)) {
        if (const auto t = timeOfName(fi.fileName()))
            found.append({{fi.filePath(), t->first}, t->second});
    }
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        return a.first.time != b.first.time ? a.first.time > b.first.time : a.second > b.second;
    });
    QList<BackupFile> backups;
    for (const auto &f : found)
        backups.append(f.first);
    return backups;
}

Result verifyArchive(const QString &archivePath, QStringList *members) {
    QStringList names;
    const Result r = readZip(
        archivePath,
        [&](const QString &name, bool) {
            names.append(name);
            return true;
        },
        [](QByteArrayView) { return true; }, [] { return true; });
    if (members) *members = names;
    return r;
}

namespace {

const QString kWritten = u".written-backups"_qs;
const QString kJournal = u".restore-journal"_qs;

QString writtenPath(const QString &programDir) {
    return backupFolder(programDir) + u'/' + kWritten;
}

// The names of the backups this program wrote and read back, oldest first.
QStringList writtenBackups(const QString &programDir) {
    QFile f(writtenPath(programDir));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList names;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QString name = QString::fromUtf8(line);
        if (timeOfName(name) && !names.contains(name)) names.append(name);
    }
    return names;
}

bool writeWrittenBackups(const QString &programDir, const QStringList &names) {
    QByteArray bytes;
    for (const QString &name : names)
        bytes += name.toUtf8() + '\n';
    const QString path = writtenPath(programDir);
    return store::saveFile(path, bytes, {path + u".tmp"_qs}).ok();
}

bool present(const QString &path) {
    const QFileInfo fi(path);
    return fi.exists() || fi.isSymLink();
}

QString systemError(const QString &path) {
    return path + u": "_qs + QString::fromLocal8Bit(std::strerror(errno));
}

// A restore under way, as its journal records it: the folders inside Backup it uses and the
// top-level names it moves.
struct Journal {
    QString staging;     // holds the unpacked files until they are put in place
    QString aside;       // takes the current files
    QStringList moving;  // from the program folder into aside
    QStringList placing; // from staging into the program folder
};

QByteArray journalBytes(const Journal &j) {
    QByteArray bytes = "qingchuang restore 1\n";
    bytes += "staging " + j.staging.toUtf8() + '\n';
    bytes += "aside " + j.aside.toUtf8() + '\n';
    for (const QString &name : j.moving)
        bytes += "move " + name.toUtf8() + '\n';
    for (const QString &name : j.placing)
        bytes += "place " + name.toUtf8() + '\n';
    return bytes + "end\n";
}

// A name of one part: the journal never leads a move outside its folders.
bool isPlainName(const QString &name) {
    return isSafeMemberName(name) && !name.contains(u'/') && !name.endsWith(u'/');
}

std::optional<Journal> readJournal(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    QList<QByteArray> lines = f.readAll().split('\n');
    if (lines.size() < 5 || lines.takeFirst() != "qingchuang restore 1" ||
        lines.takeLast() != QByteArray() || lines.takeLast() != "end")
        return std::nullopt;
    Journal j;
    for (const QByteArray &line : lines) {
        const qsizetype space = line.indexOf(' ');
        const QByteArray key = line.left(space);
        const QString value = QString::fromUtf8(line.mid(space + 1));
        if (space < 0 || !isPlainName(value)) return std::nullopt;
        if (key == "staging")
            j.staging = value;
        else if (key == "aside")
            j.aside = value;
        else if (key == "move")
            j.moving.append(value);
        else if (key == "place")
            j.placing.append(value);
        else
            return std::nullopt;
    }
    if (j.staging.isEmpty() || j.aside.isEmpty()) return std::nullopt;
    return j;
}

// Puts the old files back: what was placed returns to staging, what went aside returns. Works
// from what is on disk, so that it serves a restore stopped at any point. False, with the reason
// in *detail, when something could not be moved back.
bool rollBack(const QString &programDir, const Journal &j, QString *detail) {
    const QString folder = backupFolder(programDir);
    bool ok = true;
    auto move = [&](const QString &from, const QString &to) {
        if (present(to)) {
            ok = false;
            *detail = to + u": in the way"_qs;
        } else if (!renamePath(from, to)) {
            ok = false;
            *detail = systemError(from);
        }
    };
    // Every name to place is in staging until it is placed, and is placed only after the old
    // files went aside.
    for (const QString &name : j.placing) {
        const QString placed = programDir + u'/' + name;
        const QString back = folder + u'/' + j.staging + u'/' + name;
        if (!present(back) && present(placed)) move(placed, back);
    }
    for (const QString &name : j.moving) {
        const QString away = folder + u'/' + j.aside + u'/' + name;
        if (present(away)) move(away, programDir + u'/' + name);
    }
    store::syncFolderOf(programDir + u"/x"_qs);
    return ok;
}

// After the restore came to an end either way: the journal goes, then the unpacking folder, and
// the folder for the old files when it stayed empty.
void closeJournal(const QString &programDir, const Journal &j) {
    const QString folder = backupFolder(programDir);
    store::syncFolderOf(folder + u'/' + j.aside + u"/x"_qs);
    QFile::remove(folder + u'/' + kJournal);
    store::syncFolderOf(folder + u'/' + kJournal);
    QDir(folder + u'/' + j.staging).removeRecursively();
    QDir(folder).rmdir(j.aside);
}

} // namespace

Result makeBackup(const QString &programDir, const QDateTime &now, const Rotation &rotation) {
    const QString folder = backupFolder(programDir);
    if (!QFileInfo(folder).isDir() && !QDir(programDir).mkdir(kBackupFolder))
        return Result::failure(Code::IoError, folder + u": cannot create the folder"_qs);
    ownerOnly(folder);
    for (const BackupFile &b : listBackups(programDir))
        QFile::setPermissions(b.path, QFile::ReadOwner | QFile::WriteOwner);
    QList<Member> members = collectMembers(programDir);
    const QString finalName = freeName(folder, u"diary-"_qs + now.toString(kStamp), u".zip"_qs);
    const QString finalPath = folder + u'/' + finalName;
    const QString tempPath = folder + u"/."_qs + finalName + u".part"_qs;

    QFile temp(tempPath);
    Result r = openArchiveTemp(temp);
    if (r.ok()) r = writeZip(temp.handle(), members);
    r = closeArchiveTemp(temp, r);
    if (r.ok()) r = readBack(tempPath, members);
    if (!r.ok()) {
        QFile::remove(tempPath);
        return r;
    }
    if (r = store::putInPlace(tempPath, finalPath); !r.ok()) return r;
    // Listed as written and read back; a backup left off the list (the list could not be written)
    // is merely never rotated out.
    QStringList written = writtenBackups(programDir);
    written.append(finalName);
    writeWrittenBackups(programDir, written);
    rotate(programDir, rotation, finalPath);
    r.path = finalPath;
    return r;
}

Result backupIfDue(const QString &programDir, const QDateTime &now) {
    for (const BackupFile &b : listBackups(programDir))
        if (b.time.date() == now.date()) return {Code::NotDue, QString(), b.path};
    return makeBackup(programDir, now, readRotation(programDir));
}

QStringList rotate(const QString &programDir, const Rotation &rotation, const QString &justMade) {
    const QStringList written = writtenBackups(programDir);
    QList<BackupFile> backups; // newest first
    for (const BackupFile &b : listBackups(programDir))
        if (written.contains(QFileInfo(b.path).fileName())) backups.append(b);
    QSet<QString> keep;
    QSet<QDate> days;
    QSet<qint64> weeks;
    for (const BackupFile &b : backups) {
        const QDate d = b.time.date();
        if (!days.contains(d) && days.size() < rotation.daily) {
            days.insert(d);
            keep.insert(b.path);
        }
        const qint64 week = d.addDays(1 - d.dayOfWeek()).toJulianDay(); // its Monday
        if (!weeks.contains(week) && weeks.size() < rotation.weekly) {
            weeks.insert(week);
            keep.insert(b.path);
        }
    }
    if (!backups.isEmpty()) keep.insert(backups.first().path);
    const QString kept = QFileInfo(justMade).fileName();
    QStringList removed;
    for (const BackupFile &b : backups)
        if (!keep.contains(b.path) && QFileInfo(b.path).fileName() != kept && QFile::remove(b.path))
            removed.append(b.path);
    QStringList still;
    for (const QString &name : written)
        if (present(backupFolder(programDir) + u'/' + name)) still.append(name);
    if (still != written) writeWrittenBackups(programDir, still);
    return removed;
}

Result restoreBackup(const QString &programDir, const QString &archivePath, const QDateTime &now,
                     const Limits &limits) {
    if (!QFileInfo(archivePath).isFile()) return Result::failure(Code::BadInput, archivePath);
    const QString folder = backupFolder(programDir);
    const QString journalPath = folder + u'/' + kJournal;
    if (present(journalPath))
        return Result::failure(Code::IoError, journalPath + u": an earlier restore is not finished"_qs);
    const QString stamp = now.toString(kStamp);
    const QString staging = folder + u'/' + freeName(folder, u".restore-"_qs + stamp, QString());
    const QString aside =
        folder + u'/' + freeName(folder, u"before-restore-"_qs + stamp, QString());
    if (!QDir().mkpath(staging))
        return Result::failure(Code::IoError, staging + u": cannot create the folder"_qs);
    auto dropStaging = [&] { QDir(staging).removeRecursively(); };

    // Unpack whole into the staging folder first: a damaged archive or a full disk stops here,
    // before anything of the diary has moved. The disk keeps some room whatever the archive says.
    qint64 room = limits.totalSize;
    const QStorageInfo disk(staging);
    if (disk.isValid()) room = std::min(room, disk.bytesAvailable() - limits.reserve);
    qint64 written = 0;
    QStringList tops;
    QString home;
    QFile out;
    Result r = readZip(
        archivePath,
        [&](const QString &name, bool isDir) {
            if (!tops.contains(topName(name))) tops.append(topName(name));
            const QString path = staging + u'/' + name;
            if (isDir) return QDir().mkpath(path);
            out.setFileName(path);
            return QDir().mkpath(QFileInfo(path).absolutePath()) && out.open(QIODevice::WriteOnly);
        },
        [&](QByteArrayView data) {
            written += data.size();
            return written <= room && out.write(data.data(), data.size()) == data.size();
        },
        [&] {
            if (!out.isOpen()) return true;
            const bool ok = store::flushToDisk(out).ok();
            out.close();
            return ok && out.error() == QFileDevice::NoError;
        },
        &limits, &home);
    if (out.isOpen()) out.close();
    if (r.code == Code::IoError && written > room)
        r.detail += u": not enough room on the disk"_qs;
    // A file outside the kept folders is only allowed as the home page the archive's settings name.
    if (r.ok() && !home.isEmpty() && home.compare(homePageName(staging), Qt::CaseInsensitive) != 0)
        r = Result::failure(Code::Damaged, u"member not allowed: "_qs + home);
    if (!r.ok()) {
        dropStaging();
        return r;
    }

    // The current files go aside: everything a backup keeps, and whatever the archive brings back.
    Journal j{QFileInfo(staging).fileName(), QFileInfo(aside).fileName(), {}, tops};
    for (const QString &name : keptNames(programDir) + tops) {
        const QString found = foundName(programDir, topName(name));
        if (!found.isEmpty() && !j.moving.contains(found)) j.moving.append(found);
    }
    if (!QDir().mkpath(aside)) {
        dropStaging();
        return Result::failure(Code::IoError, aside + u": cannot create the folder"_qs);
    }
    // The journal is on disk before the first move: whatever happens next, the next start knows
    // which files to put back.
    if (const Result saved =
            store::saveFile(journalPath, journalBytes(j), {journalPath + u".tmp"_qs});
        !saved) {
        dropStaging();
        QDir(folder).rmdir(j.aside);
        return Result::failure(Code::IoError, saved.detail);
    }
    auto fail = [&](const QString &detail) {
        QString more;
        if (!rollBack(programDir, j, &more))
            return Result::failure(Code::IoError, detail + u"; "_qs + more); // the journal stays
        closeJournal(programDir, j);
        return Result::failure(Code::IoError, detail);
    };
    for (const QString &name : j.moving)
        if (!renamePath(programDir + u'/' + name, aside + u'/' + name))
            return fail(systemError(programDir + u'/' + name));
    for (const QString &name : j.placing)
        if (!renamePath(staging + u'/' + name, programDir + u'/' + name))
            return fail(systemError(programDir + u'/' + name));
    store::syncFolderOf(programDir + u"/x"_qs);
    closeJournal(programDir, j);
    r.path = aside;
    return r;
}

Recovery recoverRestore(const QString &programDir) {
    const QString folder = backupFolder(programDir);
    const QString journalPath = folder + u'/' + kJournal;
    Recovery recovery;
    QFile::remove(journalPath + u".tmp"_qs);
    if (present(journalPath)) {
        const std::optional<Journal> j = readJournal(journalPath);
        if (!j) return {Recovery::Failed, journalPath + u": not a journal this program wrote"_qs};
        // Names are placed only once every old file went aside: all placed means all moved.
        bool placed = !j->placing.isEmpty();
        for (const QString &name : j->placing)
            placed = placed && !present(folder + u'/' + j->staging + u'/' + name);
        if (placed) {
            recovery.what = Recovery::Finished;
        } else if (rollBack(programDir, *j, &recovery.detail)) {
            recovery.what = Recovery::RolledBack;
        } else {
            recovery.what = Recovery::Failed;
            return recovery;
        }
        closeJournal(programDir, *j);
        recovery.detail = folder + u'/' + j->aside;
    }
    // What an unpacking or a backup left that never got as far as the journal or its name.
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo &fi : entries) {
        const QString name = fi.fileName();
        if (fi.isSymLink()) continue;
        if (fi.isDir() && name.startsWith(u".restore-"))
            QDir(fi.filePath()).removeRecursively();
        else if (fi.isDir() && name.startsWith(u"before-restore-"))
            QDir(folder).rmdir(name); // only when empty: a restore stopped before its first move
        else if (fi.isFile() && ((name.startsWith(u".diary-") && name.endsWith(u".zip.part")) ||
                                 name == kWritten + u".tmp"_qs))
            QFile::remove(fi.filePath());
    }
    return recovery;
}

Result rewriteArchive(const QString &archivePath, const MemberChange &change, int *changed) {
    if (changed) *changed = 0;
    const QFileInfo info(archivePath);
    const QString tempPath = info.absolutePath() + u"/."_qs + info.fileName() + u".part"_qs;
    const qint64 mtime = info.lastModified().toSecsSinceEpoch();
    QFile temp(tempPath);
    if (Result opened = openArchiveTemp(temp); !opened.ok()) return opened;
    // Member by member: each is read whole, changed or not, and written into the new archive.
    QList<Member> members;
    int count = 0;
    Result r;
    {
        // Freed before the descriptor is closed: libarchive may still write to it.
        ZipWriter zip;
        Result written = zip.open(temp.handle());
        QByteArray data;
        if (written.ok())
            r = readZip(
                archivePath,
                [&](const QString &name, bool isDir) {
                    members.append({isDir && !name.endsWith(u'/') ? name + u'/' : name, QString()});
                    data.clear();
                    return true;
                },
                [&](QByteArrayView piece) {
                    data += piece;
                    return true;
                },
                [&] {
                    Member &m = members.last();
                    if (!m.name.endsWith(u'/')) {
                        if (std::optional<QByteArray> now = change(m.name, data)) {
                            data = *now;
                            ++count;
                        }
                    }
                    m.crc = crcOf(data);
                    m.size = data.size();
                    written = zip.add(m.name, data, mtime);
                    return written.ok();
                });
        if (!written.ok()) r = written; // the new archive failed, not the old one
        if (r.ok()) r = zip.close();
    }
    r = closeArchiveTemp(temp, r);
    // Nothing to change: the archive stays as it is.
    if (r.ok() && count == 0) {
        QFile::remove(tempPath);
        return r;
    }
    if (r.ok()) r = readBack(tempPath, members);
    if (!r.ok()) {
        QFile::remove(tempPath);
        return r;
    }
    if (r = store::putInPlace(tempPath, archivePath); !r.ok()) return r;
    if (changed) *changed = count;
    r.path = archivePath;
    return r;
}

} // namespace keep
