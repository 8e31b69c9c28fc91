#include "store/keep/backup.h"

#include "store/common/codepage.h"
#include "store/common/textfile.h"
#include "store/common/textlines.h"
#include "store/settings/config.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

namespace keep {

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

Result failure(Result::Code code, const QString &detail) {
    return {code, detail, QString()};
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

// The home page's name relative to the program folder, as the settings name it.
QString homePageName(const QString &programDir) {
    Settings s;
    ParseConfig(programDir + u"/Config.ini"_qs, s);
    QString name = s.FirstPage.isEmpty() ? u"index.KAV"_qs : s.FirstPage;
    name.replace(u'\\', u'/');
    return isSafeMemberName(name) ? name : QString();
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
            return failure(Result::IoError, archiveError(m_a.get()));
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
            return failure(Result::IoError, archiveError(m_a.get()));
        if (!data.isEmpty() &&
            archive_write_data(m_a.get(), data.data(), size_t(data.size())) != data.size())
            return failure(Result::IoError, archiveError(m_a.get()));
        return {};
    }
    Result close() {
        if (archive_write_close(m_a.get()) != ARCHIVE_OK)
            return failure(Result::IoError, archiveError(m_a.get()));
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
                return failure(Result::IoError, m.path + u": "_qs + f.errorString());
            data = f.readAll();
            if (f.error() != QFileDevice::NoError)
                return failure(Result::IoError, m.path + u": "_qs + f.errorString());
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
// returning false. libarchive checks each member's data against its stored CRC as it reads.
Result readZip(const QString &path, const std::function<bool(const QString &, bool)> &begin,
               const std::function<bool(QByteArrayView)> &data, const std::function<bool()> &end) {
    ArchivePtr a(archive_read_new());
    archive_read_support_format_zip(a.get());
    if (archive_read_open_filename(a.get(), QFile::encodeName(path).constData(), 64 * 1024) !=
        ARCHIVE_OK)
        return failure(Result::Damaged, archiveError(a.get()));
    for (;;) {
        archive_entry *e = nullptr;
        const int r = archive_read_next_header(a.get(), &e);
        if (r == ARCHIVE_EOF) break;
        if (r != ARCHIVE_OK) return failure(Result::Damaged, archiveError(a.get()));
        const char *utf8 = archive_entry_pathname_utf8(e);
        const QString name = utf8 ? QString::fromUtf8(utf8) : QString();
        const bool isDir = archive_entry_filetype(e) == AE_IFDIR;
        if (!isSafeMemberName(name) || (!isDir && archive_entry_filetype(e) != AE_IFREG))
            return failure(Result::Damaged, u"member not allowed: "_qs + name);
        if (!begin(name, isDir)) return failure(Result::IoError, name);
        char buffer[64 * 1024];
        for (;;) {
            const la_ssize_t n = archive_read_data(a.get(), buffer, sizeof buffer);
            if (n == 0) break;
            if (n < 0) return failure(Result::Damaged, name + u": "_qs + archiveError(a.get()));
            if (!data(QByteArrayView(buffer, n))) return failure(Result::IoError, name);
        }
        if (!end()) return failure(Result::IoError, name);
    }
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
    if (r.code == Result::IoError) r.code = Result::Damaged; // a mismatch, not a failed write
    if (r.ok() && next != members.size()) r = failure(Result::Damaged, u"members missing"_qs);
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

Result makeBackup(const QString &programDir, const QDateTime &now, const Rotation &rotation) {
    const QString folder = backupFolder(programDir);
    if (!QFileInfo(folder).isDir() && !QDir(programDir).mkdir(kBackupFolder))
        return failure(Result::IoError, folder + u": cannot create the folder"_qs);
    ownerOnly(folder);
    for (const BackupFile &b : listBackups(programDir))
        QFile::setPermissions(b.path, QFile::ReadOwner | QFile::WriteOwner);
    QList<Member> members = collectMembers(programDir);
    const QString finalName = freeName(folder, u"diary-"_qs + now.toString(kStamp), u".zip"_qs);
    const QString finalPath = folder + u'/' + finalName;
    const QString tempPath = folder + u"/."_qs + finalName + u".part"_qs;

    const int fd = ::open(QFile::encodeName(tempPath).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return failure(Result::IoError,
                       tempPath + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));
    Result r = writeZip(fd, members);
    if (r.ok() && ::fsync(fd) != 0)
        r = failure(Result::IoError,
                    tempPath + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));
    if (::close(fd) != 0 && r.ok())
        r = failure(Result::IoError,
                    tempPath + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));

    if (r.ok()) r = readBack(tempPath, members);
    if (r.ok() && !renamePath(tempPath, finalPath))
        r = failure(Result::IoError,
                    finalPath + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));
    if (!r.ok()) {
        QFile::remove(tempPath);
        return r;
    }
    syncFolderOf(finalPath);
    rotate(programDir, rotation);
    r.path = finalPath;
    return r;
}

Result backupIfDue(const QString &programDir, const QDateTime &now) {
    for (const BackupFile &b : listBackups(programDir))
        if (b.time.date() == now.date()) return {Result::NotDue, QString(), b.path};
    return makeBackup(programDir, now, readRotation(programDir));
}

QStringList rotate(const QString &programDir, const Rotation &rotation) {
    const QList<BackupFile> backups = listBackups(programDir); // newest first
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
    QStringList removed;
    for (const BackupFile &b : backups)
        if (!keep.contains(b.path) && QFile::remove(b.path)) removed.append(b.path);
    return removed;
}

Result restoreBackup(const QString &programDir, const QString &archivePath, const QDateTime &now) {
    if (!QFileInfo(archivePath).isFile()) return failure(Result::BadInput, archivePath);
    const QString folder = backupFolder(programDir);
    const QString stamp = now.toString(kStamp);
    const QString staging = folder + u'/' + freeName(folder, u".restore-"_qs + stamp, QString());
    const QString aside =
        folder + u'/' + freeName(folder, u"before-restore-"_qs + stamp, QString());
    if (!QDir().mkpath(staging))
        return failure(Result::IoError, staging + u": cannot create the folder"_qs);
    auto dropStaging = [&] { QDir(staging).removeRecursively(); };

    // Unpack whole into the staging folder first: a damaged archive or a full disk stops here,
    // before anything of the diary has moved.
    QStringList tops;
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
        [&](QByteArrayView data) { return out.write(data.data(), data.size()) == data.size(); },
        [&] {
            if (!out.isOpen()) return true;
            const bool ok = out.flush() && ::fsync(out.handle()) == 0;
            out.close();
            return ok && out.error() == QFileDevice::NoError;
        });
    if (out.isOpen()) out.close();
    if (!r.ok()) {
        dropStaging();
        return r;
    }

    // The current files go aside: everything a backup keeps, and whatever the archive brings back.
    QStringList moving;
    for (const QString &name : keptNames(programDir) + tops) {
        const QString found = foundName(programDir, topName(name));
        if (!found.isEmpty() && !moving.contains(found)) moving.append(found);
    }
    if (!QDir().mkpath(aside)) {
        dropStaging();
        return failure(Result::IoError, aside + u": cannot create the folder"_qs);
    }
    QStringList movedAside;
    QStringList placed;
    auto undo = [&](const QString &detail) {
        for (const QString &name : placed)
            renamePath(programDir + u'/' + name, staging + u'/' + name);
        for (const QString &name : movedAside)
            renamePath(aside + u'/' + name, programDir + u'/' + name);
        dropStaging();
        QDir(folder).rmdir(QFileInfo(aside).fileName());
        return failure(Result::IoError, detail);
    };
    for (const QString &name : moving) {
        if (!renamePath(programDir + u'/' + name, aside + u'/' + name))
            return undo(programDir + u'/' + name + u": "_qs +
                        QString::fromLocal8Bit(std::strerror(errno)));
        movedAside.append(name);
    }
    for (const QString &name : tops) {
        if (!renamePath(staging + u'/' + name, programDir + u'/' + name))
            return undo(programDir + u'/' + name + u": "_qs +
                        QString::fromLocal8Bit(std::strerror(errno)));
        placed.append(name);
    }
    QDir(folder).rmdir(QFileInfo(staging).fileName());
    syncFolderOf(programDir + u"/x"_qs);
    r.path = aside;
    return r;
}

Result rewriteArchive(const QString &archivePath, const MemberChange &change, int *changed) {
    if (changed) *changed = 0;
    const QFileInfo info(archivePath);
    const QString tempPath = info.absolutePath() + u"/."_qs + info.fileName() + u".part"_qs;
    const qint64 mtime = info.lastModified().toSecsSinceEpoch();
    const int fd = ::open(QFile::encodeName(tempPath).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return failure(Result::IoError,
                       tempPath + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));
    // Member by member: each is read whole, changed or not, and written into the new archive.
    QList<Member> members;
    int count = 0;
    Result r;
    {
        // Freed before the descriptor is closed: libarchive may still write to it.
        ZipWriter zip;
        Result written = zip.open(fd);
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
    if (r.ok() && ::fsync(fd) != 0)
        r = failure(Result::IoError,
                    tempPath + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));
    if (::close(fd) != 0 && r.ok())
        r = failure(Result::IoError,
                    tempPath + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));
    // Nothing to change: the archive stays as it is.
    if (r.ok() && count == 0) {
        QFile::remove(tempPath);
        return r;
    }
    if (r.ok()) r = readBack(tempPath, members);
    if (r.ok() && !renamePath(tempPath, archivePath))
        r = failure(Result::IoError,
                    archivePath + u": "_qs + QString::fromLocal8Bit(std::strerror(errno)));
    if (!r.ok()) {
        QFile::remove(tempPath);
        return r;
    }
    syncFolderOf(archivePath);
    if (changed) *changed = count;
    r.path = archivePath;
    return r;
}

} // namespace keep
