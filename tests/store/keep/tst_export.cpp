#include "store/keep/export.h"

#include "store/diary/diarystore.h"
#include "store/common/codepage.h"
#include "store/rtf/rtf.h"
#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

using store::Code;
using store::Result;

namespace {

// An entry's RTF as the editor writes it: text, and a picture when one is given.
QString entryRtf(const QString &text, const QImage &picture = QImage()) {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(text);
    if (!picture.isNull()) {
        c.insertBlock();
        rtf::insertImage(c, picture);
    }
    return QString::fromLatin1(rtf::write(&doc));
}

QByteArray entry(qint32 key, const QString &title, const QString &code, const QString &body) {
    return diary::entryBytes(key, title, code, body);
}

// A small diary: a day with a picture and a locked entry, an entry enciphered the new way, a later
// year, and a collection item.
QImage fillDiary(const QString &dir) {
    QImage picture(6, 4, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 60));
    testsupport::writeFile(
        dir + u"/DB/20040908.KAV"_qs,
        entry(11, u"秋游"_qs, QString(), entryRtf(u"桂花飘香，湖上泛舟。"_qs, picture)) +
            entry(12, u"心事"_qs, diary::PasswordCode(u"abc"_qs), entryRtf(u"不可告人的话"_qs)));
    testsupport::writeFile(
        dir + u"/DB/20050101.KAV"_qs,
        entry(13, u"新年"_qs, QString(), entryRtf(u"新年快乐"_qs)) +
            entry(14, u"密信"_qs, u"$q1$AAAAsealed"_qs, entryRtf(u"封存之言"_qs)));
    testsupport::writeFile(dir + u"/DB/20031231.KAV"_qs,
                           entry(15, u"除夕"_qs, QString(), entryRtf(u"旧年最后一天"_qs)));
    testsupport::writeFile(dir + u"/DB/notadate.KAV"_qs,
                           entry(16, u"杂项"_qs, QString(), entryRtf(u"不是日记"_qs)));
    testsupport::writeFile(dir + u"/Love/月光"_qs,
                           cp936::encode(entryRtf(u"床前明月光"_qs)) + "\r\n");
    return picture;
}

QString readText(const QString &path) {
    return QString::fromUtf8(testsupport::readFile(path));
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void formats_data();
    void formats();
    void dateRange();
    void dateRangeEdges_data();
    void dateRangeEdges();
    void refusesAFolderOfOtherFiles_data();
    void refusesAFolderOfOtherFiles();
    void neverWritesIntoTheDiary_data();
    void neverWritesIntoTheDiary();
};

void TestExport::formats_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("pictures");
    QTest::newRow("html") << u"html"_qs << QStringList{u"index.html"_qs} << true;
    QTest::newRow("markdown") << u"markdown"_qs
                              << QStringList{u"2003.md"_qs, u"2004.md"_qs, u"2005.md"_qs,
                                             u"collection.md"_qs}
                              << true;
    QTest::newRow("text") << u"text"_qs << QStringList{u"diary.txt"_qs} << false;
}

void TestExport::formats() {
    QFETCH(QString, format);
    QFETCH(QStringList, files);
    QFETCH(bool, pictures);
    QTemporaryDir program, out;
    const QImage picture = fillDiary(program.path());
    const Result r = keep::exportDiary(
        program.path(), {*keep::formatNamed(format), out.path() + u"/export"_qs, {}, {}});
    QCOMPARE(r.code, Code::Ok);
    const QString dir = out.path() + u"/export"_qs;
    QCOMPARE(QDir(dir).entryList(QDir::Files, QDir::Name), files);
    QString all;
    for (const QString &f : files)
        all += readText(dir + u'/' + f);

    // Dates with weekdays, titles and bodies, in date order; the collection after the diary.
    const QStringList inOrder = {u"2003年12月31日 星期三"_qs,
                                 u"旧年最后一天"_qs,
                                 u"2004年9月8日 星期三"_qs,
                                 u"秋游"_qs,
                                 u"桂花飘香，湖上泛舟。"_qs,
                                 u"心事"_qs,
                                 u"2005年1月1日 星期六"_qs,
                                 u"新年快乐"_qs,
                                 u"密信"_qs,
                                 u"月光"_qs,
                                 u"床前明月光"_qs};
    qsizetype at = 0;
    for (const QString &word : inOrder) {
        const qsizetype found = all.indexOf(word, at);
        QVERIFY2(found >= 0, qPrintable(word));
        at = found + word.size();
    }
    // Locked entries, the old way and the new, give their titles and the locked line only.
    QCOMPARE(all.count(u"（这篇日记已加密，正文不导出。）"_qs), 2);
    QVERIFY(!all.contains(u"不可告人"_qs));
    QVERIFY(!all.contains(u"封存之言"_qs));
    QVERIFY(!all.contains(u"不是日记"_qs));

    if (pictures) {
        QCOMPARE(QDir(dir + u"/images"_qs).entryList(QDir::Files), QStringList{u"1.png"_qs});
        const QImage exported(dir + u"/images/1.png"_qs);
        QCOMPARE(exported.convertToFormat(QImage::Format_RGB32), picture);
        QVERIFY(
            all.contains(format == u"html" ? u"src=\"images/1.png\""_qs : u"(images/1.png)"_qs));
    } else {
        QVERIFY(!QFileInfo::exists(dir + u"/images"_qs));
    }
}

void TestExport::dateRange() {
    QTemporaryDir program, out;
    fillDiary(program.path());
    const Result r = keep::exportDiary(
        program.path(), {keep::Format::Text, out.path(), QDate(2004, 1, 1), QDate(2004, 12, 31)});
    QCOMPARE(r.code, Code::Ok);
    const QString text = readText(out.path() + u"/diary.txt"_qs);
    QVERIFY(text.contains(u"桂花飘香"_qs));
    QVERIFY(!text.contains(u"旧年最后一天"_qs));
    QVERIFY(!text.contains(u"新年快乐"_qs));
    QVERIFY(text.contains(u"床前明月光"_qs));
}

void TestExport::dateRangeEdges_data() {
    // The diary has entries on 2003-12-31 (旧年), 2004-09-08 (桂花) and 2005-01-01 (新年).
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QStringList>("exported");
    const QString old = u"旧年最后一天"_qs, autumn = u"桂花飘香"_qs, year = u"新年快乐"_qs;
    QTest::newRow("both edges on entries")
        << QDate(2004, 9, 8) << QDate(2005, 1, 1) << QStringList{autumn, year};
    QTest::newRow("from the day after an entry")
        << QDate(2004, 9, 9) << QDate(2005, 1, 1) << QStringList{year};
    QTest::newRow("to the day before an entry")
        << QDate(2003, 12, 31) << QDate(2004, 12, 31) << QStringList{old, autumn};
    QTest::newRow("to the day before the first entry it would take")
        << QDate(2003, 12, 31) << QDate(2004, 9, 7) << QStringList{old};
    QTest::newRow("from the day before an entry")
        << QDate(2004, 9, 7) << QDate(2004, 9, 8) << QStringList{autumn};
    QTest::newRow("one day") << QDate(2004, 9, 8) << QDate(2004, 9, 8) << QStringList{autumn};
    QTest::newRow("only an end") << QDate() << QDate(2003, 12, 31) << QStringList{old};
    QTest::newRow("only a start") << QDate(2005, 1, 1) << QDate() << QStringList{year};
    QTest::newRow("between entries") << QDate(2004, 9, 9) << QDate(2004, 12, 31) << QStringList{};
}

// Entries on the first and the last day of the range are exported, those a day outside are not.
void TestExport::dateRangeEdges() {
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QStringList, exported);
    QTemporaryDir program, out;
    fillDiary(program.path());
    QCOMPARE(keep::exportDiary(program.path(), {keep::Format::Text, out.path(), from, to}).code,
             Code::Ok);
    const QString text = readText(out.path() + u"/diary.txt"_qs);
    for (const QString &words : {u"旧年最后一天"_qs, u"桂花飘香"_qs, u"新年快乐"_qs})
        QVERIFY2(text.contains(words) == exported.contains(words), qPrintable(words));
    QVERIFY(text.contains(u"床前明月光"_qs)); // the collection always
}

void TestExport::refusesAFolderOfOtherFiles_data() {
    QTest::addColumn<QString>("existing"); // in the chosen folder; "/" ends a folder
    QTest::addColumn<int>("code");
    QTest::newRow("a folder not there yet") << QString() << int(Code::Ok);
    QTest::newRow("an empty folder") << u"."_qs << int(Code::Ok);
    QTest::newRow("someone's index.html") << u"index.html"_qs << int(Code::NotEmpty);
    QTest::newRow("someone's diary.txt") << u"diary.txt"_qs << int(Code::NotEmpty);
    QTest::newRow("someone's images") << u"images/1.png"_qs << int(Code::NotEmpty);
    QTest::newRow("any other file") << u".notes"_qs << int(Code::NotEmpty);
    QTest::newRow("an empty folder inside") << u"photos/"_qs << int(Code::NotEmpty);
    QTest::newRow("an earlier export") << u"export"_qs << int(Code::Ok);
}

// A folder of other files is never written into; an empty one, a new one or an earlier export is.
void TestExport::refusesAFolderOfOtherFiles() {
    QFETCH(QString, existing);
    QFETCH(int, code);
    QTemporaryDir program, out;
    fillDiary(program.path());
    const QString dir = out.path() + u"/chosen"_qs;
    if (existing == u"export")
        QCOMPARE(keep::exportDiary(program.path(), {keep::Format::Markdown, dir, {}, {}}).code,
                 Code::Ok);
    else if (existing.endsWith(u'/') || existing == u".")
        QVERIFY(QDir().mkpath(dir + u'/' + existing));
    else if (!existing.isEmpty())
        QVERIFY(testsupport::writeFile(dir + u'/' + existing, "someone else's"));
    QStringList before;
    if (QFileInfo::exists(dir))
        for (QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            before << it.next() + u' ' + QString::fromLatin1(testsupport::readFile(it.filePath()));
    const Result r = keep::exportDiary(program.path(), {keep::Format::Html, dir, {}, {}});
    QCOMPARE(int(r.code), code);
    if (code == int(Code::Ok)) {
        QVERIFY(readText(dir + u"/index.html"_qs).contains(u"桂花飘香"_qs));
        if (existing == u"export") QVERIFY(QFileInfo::exists(dir + u"/2004.md"_qs));
        return;
    }
    QStringList after;
    for (QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        after << it.next() + u' ' + QString::fromLatin1(testsupport::readFile(it.filePath()));
    QCOMPARE(after, before);
}

void TestExport::neverWritesIntoTheDiary_data() {
    QTest::addColumn<QString>("outDir"); // relative to the program folder
    QTest::addColumn<int>("code");
    QTest::newRow("the program folder") << u"."_qs << int(Code::BadInput);
    QTest::newRow("DB") << u"DB"_qs << int(Code::BadInput);
    QTest::newRow("inside Love, another case") << u"love/out"_qs << int(Code::BadInput);
    QTest::newRow("a new folder inside Backup") << u"Backup/x/y"_qs << int(Code::BadInput);
    QTest::newRow("through a link into DB") << u"link/out"_qs << int(Code::BadInput);
    QTest::newRow("a folder of its own") << u"export"_qs << int(Code::Ok);
}

void TestExport::neverWritesIntoTheDiary() {
    QFETCH(QString, outDir);
    QFETCH(int, code);
    QTemporaryDir program;
    fillDiary(program.path());
    QFile::link(program.path() + u"/DB"_qs, program.path() + u"/link"_qs);
    const QStringList before =
        QDir(program.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QStringList db =
        QDir(program.path() + u"/DB"_qs).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const Result r = keep::exportDiary(
        program.path(), {keep::Format::Html, program.path() + u'/' + outDir, {}, {}});
    QCOMPARE(int(r.code), code);
    QCOMPARE(QDir(program.path() + u"/DB"_qs).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             db);
    if (code != int(Code::Ok)) {
        QCOMPARE(QDir(program.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QVERIFY(!QFileInfo::exists(program.path() + u"/Backup"_qs));
    } else {
        QVERIFY(QFileInfo::exists(program.path() + u"/export/index.html"_qs));
    }
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
