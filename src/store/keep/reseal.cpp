#include "store/keep/reseal.h"

#include "store/cipher/convert.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace keep {

using store::Result;

namespace {

// A member holding a date file of the diary: "DB/20040908.KAV", the folder in any case.
bool isDateMember(const QString &name) {
    static const QRegularExpression pattern(u"^db/[0-9]+\\.kav$"_qs,
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(name).hasMatch();
}

QString dbFolderIn(const QString &folder) {
    for (const QString &n :
         QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
        if (n.compare(u"DB"_qs, Qt::CaseInsensitive) == 0) return folder + u'/' + n;
    return QString();
}

} // namespace

Resealing encipherLegacyCopies(const QString &programDir, const QString &password,
                               cipher::Limits limits, const ResealProgress &progress) {
    Resealing out;
    auto failed = [&out](const Result &r) {
        if (out.result.ok()) out.result = r;
    };
    const QString folder = programDir + u"/Backup"_qs;
    const QDir dir(folder);
    if (!dir.exists() || password.isEmpty()) return out;

    // A backup cut short by a crash is no backup, only the words in clear.
    static const QRegularExpression unfinished(u"^\\..*\\.zip\\.part$"_qs);
    for (const QString &n : dir.entryList(QDir::Files | QDir::Hidden))
        if (unfinished.match(n).hasMatch() && QFile::remove(dir.filePath(n))) ++out.removed;

    QStringList archives;
    for (const BackupFile &b : listBackups(programDir))
        archives.append(b.path);
    QStringList folders;
    for (const QString &n : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString db = dbFolderIn(dir.filePath(n));
        if (!db.isEmpty()) folders.append(db);
    }
    const int total = int(archives.size() + folders.size());
    int done = 0;
    for (const QString &archive : std::as_const(archives)) {
        if (progress && !progress(done, total)) return out;
        ++done;
        // Every backup is its owner's alone, those of older copies too.
        QFile::setPermissions(archive, QFile::ReadOwner | QFile::WriteOwner);
        const QString where = QFileInfo(archive).fileName() + u' ';
        Result sealing;
        int entries = 0;
        QStringList others;
        int changed = 0;
        const Result r = rewriteArchive(
            archive,
            [&](const QString &name, const QByteArray &data) -> std::optional<QByteArray> {
                if (!isDateMember(name)) return std::nullopt;
                cipher::Converted c = cipher::encipherLegacyEntries(data, password, limits);
                for (const QString &title : std::as_const(c.otherLocks))
                    others.append(where + name + u": "_qs + title);
                if (!c.result.ok()) {
                    if (sealing.ok())
                        sealing = {store::Code::IoError, name + u": "_qs + c.result.detail, {}};
                    return std::nullopt;
                }
                if (c.enciphered == 0) return std::nullopt;
                entries += c.enciphered;
                return c.file;
            },
            &changed);
        out.otherLocks += others;
        if (!r.ok()) {
            failed({r.code, archive + u": "_qs + r.detail, {}});
            continue;
        }
        if (!sealing.ok()) failed({sealing.code, archive + u": "_qs + sealing.detail, {}});
        if (changed > 0) {
            ++out.archives;
            out.enciphered += entries;
        }
    }
    for (const QString &db : std::as_const(folders)) {
        if (progress && !progress(done, total)) return out;
        ++done;
        const cipher::Conversion c =
            cipher::encipherLegacyDiary(db, db + u"/temp.tmp"_qs, password, limits);
        const QString where = QDir(programDir).relativeFilePath(db) + u'/';
        for (const QString &other : c.otherLocks)
            out.otherLocks.append(where + other);
        if (!c.result.ok()) failed({store::Code::IoError, where + c.result.detail, {}});
        if (c.files > 0) {
            ++out.folders;
            out.enciphered += c.enciphered;
        }
    }
    return out;
}

} // namespace keep
