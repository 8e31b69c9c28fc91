#include "store/common/localname.h"
#include "store/diary/recovery.h"

#include "store/common/savefile.h"

#include <QDir>
#include <QFile>

namespace recovery {

namespace {

const QByteArray kMagic = "QCDRAFT 1";
// A draft is at most the home page's limit of rich text; a file many times larger is no draft.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

QByteArray kindName(Kind kind) {
    switch (kind) {
    case Kind::Entry: return "entry";
    case Kind::HomePage: return "home";
    case Kind::CollectionItem: return "collection";
    }
    return {};
}

std::optional<Kind> kindFromName(QByteArrayView name) {
    for (Kind k : {Kind::Entry, Kind::HomePage, Kind::CollectionItem})
        if (name == kindName(k)) return k;
    return std::nullopt;
}

} // namespace

QByteArray toBytes(const Draft &draft) {
    QByteArray out = kMagic + "\r\n";
    out += "kind " + kindName(draft.kind) + "\r\n";
    if (draft.kind == Kind::Entry) out += "date " + draft.date.toString(Qt::ISODate).toLatin1() + "\r\n";
    out += "title " + draft.title.toUtf8().toPercentEncoding() + "\r\n";
    out += "\r\n";
    out += draft.richText.toUtf8();
    return out;
}

std::optional<Draft> fromBytes(QByteArrayView bytes) {
    const qsizetype end = QByteArrayView(bytes).indexOf("\r\n\r\n");
    if (end < 0) return std::nullopt;
    const QList<QByteArray> lines = bytes.first(end).toByteArray().split('\n');
    if (lines.isEmpty() || lines.first() != kMagic + "\r") return std::nullopt;
    Draft d;
    std::optional<Kind> kind;
    bool haveTitle = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r')) line.chop(1);
        const qsizetype blank = line.indexOf(' ');
        const QByteArray name = blank < 0 ? line : line.left(blank);
        const QByteArray value = blank < 0 ? QByteArray() : line.mid(blank + 1);
        if (name == "kind") kind = kindFromName(value);
        else if (name == "date") d.date = QDate::fromString(QString::fromLatin1(value), Qt::ISODate);
        else if (name == "title") {
            d.title = QString::fromUtf8(QByteArray::fromPercentEncoding(value));
            haveTitle = true;
        }
    }
    if (!kind || !haveTitle) return std::nullopt;
    d.kind = *kind;
    if (d.kind == Kind::Entry && !d.date.isValid()) return std::nullopt;
    if (d.kind != Kind::Entry) d.date = QDate();
    d.richText = QString::fromUtf8(bytes.sliced(end + 4));
    return d;
}

QString draftPath(const QString &programDir) {
    return programDir + u"/Recovery/"_qs + localname::perHost(u"draft"_qs, u".rtf"_qs);
}

namespace {
// Where drafts were kept before they carried the host name: still read, and removed with the draft.
QString oldDraftPath(const QString &programDir) { return programDir + u"/Recovery/draft.rtf"_qs; }
} // namespace

store::Result save(const QString &programDir, const Draft &draft) {
    if (!QDir(programDir).mkpath(u"Recovery"_qs))
        return store::Result::failure(store::Code::IoError, programDir + u"/Recovery"_qs);
    // A draft holds words not saved yet: its owner's alone.
    QFile::setPermissions(programDir + u"/Recovery"_qs,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return store::saveFile(draftPath(programDir), toBytes(draft),
                           {{}, QFile::ReadOwner | QFile::WriteOwner});
}

std::optional<Draft> load(const QString &programDir) {
    QFile f(QFile::exists(draftPath(programDir)) ? draftPath(programDir) : oldDraftPath(programDir));
    if (f.size() > kMaxFileSize || !f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return std::nullopt;
    return fromBytes(bytes);
}

bool discard(const QString &programDir) {
    bool gone = true;
    for (const QString &path : {draftPath(programDir), oldDraftPath(programDir)}) {
        if (!QFile::exists(path)) continue;
        if (!QFile::remove(path)) {
            gone = false;
            continue;
        }
        // Gone for good, not back after a power cut.
        store::syncFolderOf(path);
    }
    return gone;
}

} // namespace recovery
