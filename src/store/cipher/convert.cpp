#include "store/cipher/convert.h"

#include "store/diary/diarystore.h"
#include "store/common/codepage.h"
#include "store/common/savefile.h"
#include "store/common/textlines.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace cipher {

Converted encipherLegacyEntries(QByteArrayView file, const QString &password, Limits limits) {
    Converted out;
    out.file = file.toByteArray();
    if (password.isEmpty()) return out;
    const QByteArray legacyLine = '\x07' + cp936::encode(diary::PasswordCode(password));
    const QList<QByteArrayView> lines = splitLines(file);
    // Where a line starts in file; the end of the lines is the end of the file.
    auto offsetOf = [&](qsizetype line) {
        return line < lines.size() ? lines[line].data() - file.data() : file.size();
    };
    QByteArray result;
    qsizetype copied = 0;
    for (const diary::EntryLines &e : diary::entryLines(lines)) {
        const QByteArrayView passwordLine = lines[e.keyLine + 2];
        if (passwordLine != legacyLine) {
            // Still readable by anyone who knows the old code: the owner is told of it.
            if (passwordLine.size() > 1 && !isSealedLine(passwordLine))
                out.otherLocks.append(cp936::decode(lines[e.keyLine + 1]));
            continue;
        }
        QByteArray body;
        for (qsizetype i = e.keyLine + 3; i < e.end; ++i) {
            if (i > e.keyLine + 3) body += "\r\n";
            body += lines[i];
        }
        Sealing s = seal(body, e.key, lines[e.keyLine + 1], password, limits);
        wipe(body);
        if (!s.result.ok()) {
            wipe(result);
            out.result = s.result;
            out.file = file.toByteArray();
            out.enciphered = 0;
            out.otherLocks.clear();
            return out;
        }
        // The password line through the last body line give way to the new ones.
        const qsizetype from = offsetOf(e.keyLine + 2);
        result += file.sliced(copied, from - copied);
        result += encipheredPasswordLine() + "\r\n" + s.body + "\r\n";
        copied = offsetOf(e.end);
        ++out.enciphered;
    }
    if (out.enciphered == 0) return out;
    result += file.sliced(copied);
    out.file = result;
    return out;
}

Conversion encipherLegacyDiary(const QString &dbFolder, const QString &tempPath,
                               const QString &password, Limits limits, const Progress &progress) {
    Conversion out;
    static const QRegularExpression dateFile(QStringLiteral("^[0-9]+\\.kav$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QDir dir(dbFolder);
    QStringList names = dir.entryList(QDir::Files, QDir::Name);
    names.removeIf([](const QString &name) { return !dateFile.match(name).hasMatch(); });
    for (qsizetype done = 0; done < names.size(); ++done) {
        if (progress && !progress(int(done), int(names.size()))) {
            out.stopped = true;
            break;
        }
        const QString &name = names.at(done);
        const QString path = dir.filePath(name);
        auto failed = [&out, &name](Result r) {
            if (out.result.ok()) out.result = {r.code, name + QStringLiteral(": ") + r.detail};
        };
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            failed(store::fileError(f));
            continue;
        }
        QByteArray data = f.readAll();
        if (f.error() != QFileDevice::NoError) {
            failed(store::fileError(f));
            continue;
        }
        f.close();
        Converted c = encipherLegacyEntries(data, password, limits);
        for (const QString &title : std::as_const(c.otherLocks))
            out.otherLocks.append(name + QStringLiteral(": ") + title);
        if (!c.result.ok()) {
            failed(c.result);
        } else if (c.enciphered > 0) {
            const Result replaced = store::saveFile(path, c.file, {tempPath});
            if (replaced) {
                out.enciphered += c.enciphered;
                ++out.files;
            } else {
                failed(replaced);
            }
        }
        // The old bodies held the words in clear.
        wipe(data);
        wipe(c.file);
    }
    return out;
}

} // namespace cipher
