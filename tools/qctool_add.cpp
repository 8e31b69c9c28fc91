// qingchuang-tool add PROGRAMDIR [--date YYYY-MM-DD] --title TITLE: appends the UTF-8 text on
// standard input to the date's file as a new entry, in RTF as the editor writes it.
#include "tools/qctool.h"

#include "store/common/copylock.h"
#include "store/common/programfolder.h"
#include "store/diary/diarystore.h"
#include "store/rtf/rtf.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>

namespace qctool {

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: qingchuang-tool add PROGRAMDIR [--date YYYY-MM-DD] --title TITLE\n");
    return 2;
}

// The text as the editor holds it after it is typed into an empty entry, written as it saves it.
QString entryRtf(const QString &text) {
    QTextDocument doc;
    rtf::read(rtf::emptyDocument().toLatin1(), &doc);
    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    return QString::fromLatin1(rtf::write(&doc));
}

} // namespace

int add(const QStringList &args) {
    if (args.isEmpty()) return usage();
    const QString programDir = QFileInfo(args.first()).absoluteFilePath();
    QDate date = QDate::currentDate();
    std::optional<QString> title;
    for (qsizetype i = 1; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return usage();
        if (args[i] == u"--date") {
            date = QDate::fromString(args[i + 1], u"yyyy-MM-dd"_qs);
            if (!date.isValid()) {
                std::fprintf(stderr, "qingchuang-tool: no such date: %s\n",
                             qPrintable(args[i + 1]));
                return 2;
            }
        } else if (args[i] == u"--title") {
            title = args[i + 1];
        } else {
            return usage();
        }
    }
    if (!title) return usage();
    if (!QFileInfo(programDir).isDir()) {
        std::fprintf(stderr, "qingchuang-tool: no such folder: %s\n", qPrintable(programDir));
        return 1;
    }
    // The running program writes the same date files; two writers could lose an entry.
    if (copylock::held(programDir)) {
        std::fprintf(stderr,
                     "qingchuang-tool: the diary is open in this folder; write the entry there\n");
        return 1;
    }
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) return 1;
    const QByteArray bytes = in.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        std::fprintf(stderr, "qingchuang-tool: the text is not UTF-8\n");
        return 2;
    }
    text.replace(u"\r\n"_qs, u"\n"_qs).replace(u'\r', u'\n');
    const QString rich = entryRtf(text);
    // The window's limit on a new entry, and its words.
    if (rich.size() > 400000) {
        std::fprintf(stderr, "qingchuang-tool:%s\n", qPrintable(u" 文件太大了，无法保存！"_qs));
        return 1;
    }
    const ProgramFolder folder(programDir);
    if (!QDir(programDir).mkpath(u"DB"_qs)) return 1;
    const QString path = folder.path(u"DB/"_qs + diary::DateKey(date) + u".KAV"_qs);
    qint32 key = 0;
    const store::Result r = diary::appendEntry(
        path, *title, diary::Lock{}, rich, [&folder] { return folder.random(999999); }, &key);
    if (!r) {
        std::fprintf(stderr, "qingchuang-tool:%s %s\n", qPrintable(u" 文件没有保存."_qs),
                     qPrintable(r.detail));
        return 1;
    }
    std::printf("%s %d\n", qPrintable(QDir::toNativeSeparators(path)), key);
    return 0;
}

} // namespace qctool
