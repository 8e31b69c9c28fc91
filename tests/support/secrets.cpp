#include "secrets.h"

#include "store/common/codepage.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

namespace secrets {

QList<QByteArray> forms(const QString &text) {
    const QByteArray gbk = cp936::encode(text);
    QByteArray escapes;
    for (char c : gbk)
        escapes +=
            c & 0x80 ? QByteArray("\\'") + QByteArray::number(quint8(c), 16).rightJustified(2, '0')
                     : QByteArray(1, c);
    QByteArray utf16;
    for (QChar c : text) {
        utf16 += char(c.unicode() & 0xff);
        utf16 += char(c.unicode() >> 8);
    }
    return {gbk, escapes, text.toUtf8(), utf16};
}

namespace {

void check(const QString &where, const QByteArray &data, const QList<QByteArray> &needles,
           QStringList &found) {
    for (qsizetype i = 0; i < needles.size(); ++i)
        if (data.contains(needles[i])) found << where + u" #"_qs + QString::number(i);
}

} // namespace

QStringList holding(const QString &dir, const QList<QByteArray> &needles) {
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(dir).relativeFilePath(path);
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            found << rel + u" (unreadable)"_qs;
            continue;
        }
        check(rel, f.readAll(), needles, found);
        if (!path.endsWith(u".zip"_qs, Qt::CaseInsensitive) && !path.endsWith(u".part"_qs))
            continue;
        archive *a = archive_read_new();
        archive_read_support_format_zip(a);
        if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 10240) ==
            ARCHIVE_OK) {
            archive_entry *e;
            while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
                QByteArray data;
                char buf[4096];
                for (la_ssize_t n; (n = archive_read_data(a, buf, sizeof buf)) > 0;)
                    data.append(buf, n);
                check(rel + u'!' + QString::fromUtf8(archive_entry_pathname_utf8(e)), data, needles,
                      found);
            }
        }
        archive_read_free(a);
    }
    return found;
}

} // namespace secrets
