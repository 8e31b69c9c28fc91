#include "store/diary/diarystore.h"
#include "store/diary/fos.h"
#include "store/diary/mylove.h"
#include "store/diary/weekday.h"

#include "store/common/codepage.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// An entry as the date file holds it.
QByteArray entry(const QByteArray &key, const QString &title, const QByteArray &code, const QByteArray &body) {
    return "\x7f" + key + "\r\n" + cp936::encode(title) + "\r\n\x07" + code + "\r\n" + body + "\r\n \x7f\r\n";
}

const QByteArray kBodyA = "{\\rtf1\\ansi\\ansicpg936 A\\par\r\n}";
const QByteArray kBodyB = "{\\rtf1\\ansi line one\\par\r\nline two\\par\r\n\\'d6\\'d0\\par\r\n}";

} // namespace

class TestDiaryStore : public QObject {
    Q_OBJECT
private slots:
    void dateKey_data();
    void dateKey();
    void passwordCode_data();
    void passwordCode();
    void titleBytes_data();
    void titleBytes();
    void listing_data();
    void listing();
    void readEntry();
    void readEntryLockedAndMissing();
    void duplicateKeysAreTellApart();
    void deleteEntry();
    void deleteEntryRefusals();
    void deleteKeepsOtherBytesExactly();
    void oddEntriesSpareTheirNeighbours_data();
    void oddEntriesSpareTheirNeighbours();
    void lastEntryTakesTheFile_data();
    void lastEntryTakesTheFile();
    void appendEntry();
    void appendEntryRefusals();
    void removeEntryResults_data();
    void removeEntryResults();
    void collectionItems();
    void fosAppendsWholeEntries();
    void fosFailedAppendLeavesFileAsItWas();
    void fosOpoutReplacesOnlyOnSuccess();
    void weekdays();
};

void TestDiaryStore::dateKey_data() {
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("key");
    QTest::newRow("2004-09-08") << QDate(2004, 9, 8) << u"20040908"_qs;
    QTest::newRow("999-01-01") << QDate(999, 1, 1) << u"9990101"_qs;
    QTest::newRow("100-01-01") << QDate(100, 1, 1) << u"1000101"_qs;
    QTest::newRow("9999-12-31") << QDate(9999, 12, 31) << u"99991231"_qs;
    QTest::newRow("2026-11-30") << QDate(2026, 11, 30) << u"20261130"_qs;
}

void TestDiaryStore::dateKey() {
    QFETCH(QDate, date);
    QFETCH(QString, key);
    QCOMPARE(diary::DateKey(date), key);
}

void TestDiaryStore::passwordCode_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("code");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("abc") << u"abc"_qs << u"979899"_qs;
    QTest::newRow("中") << u"中"_qs << u"-10544"_qs;
    QTest::newRow("a中1") << u"a中1"_qs << u"97-1054449"_qs;
    QTest::newRow("euro sign, code page byte 0x80") << u"€"_qs << u"128"_qs;
    QTest::newRow("outside code page 936") << u"\u0E01"_qs << u"63"_qs;
    QTest::newRow("surrogate pair counts once") << u"😀x"_qs << u"63120"_qs;
    QTest::newRow("full-width letter") << u"ａ"_qs << u"-23583"_qs;
}

void TestDiaryStore::passwordCode() {
    QFETCH(QString, password);
    QFETCH(QString, code);
    QCOMPARE(diary::PasswordCode(password), code);
}

void TestDiaryStore::titleBytes_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ASCII") << u"abc?"_qs << QByteArray("abc?");
    QTest::newRow("code page 936 keeps its bytes") << u"晴天€"_qs << QByteArray("\xc7\xe7\xcc\xec\x80");
    QTest::newRow("emoji as four bytes") << u"晴😀"_qs << QByteArray("\xc7\xe7\x94\x39\xfc\x36");
    QTest::newRow("rare CJK character as four bytes") << QString::fromUcs4(U"a\U00020000b")
                                                      << QByteArray("a\x95\x32\x82\x36" "b");
    QTest::newRow("BMP character outside the code page") << u"\u00A5"_qs
                                                         << QByteArray("\x81\x30\x84\x36");
    // A digit after a double-byte character is no four-byte sequence: 中1中1 reads as written.
    QTest::newRow("digits after double-byte characters") << u"中1中1"_qs << QByteArray("\xd6\xd0" "1\xd6\xd0" "1");
}

void TestDiaryStore::titleBytes() {
    QFETCH(QString, title);
    QFETCH(QByteArray, bytes);
    QCOMPARE(diary::encodeTitle(title), bytes);
    QCOMPARE(diary::decodeTitle(bytes), title);
    // What code page 936 holds reads exactly as the old reading did.
    if (!cp936::encode(title).contains('?') || title.contains(u'?')) QCOMPARE(cp936::decode(bytes), title);
}

void TestDiaryStore::listing_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<bool>("ok");
    QTest::newRow("empty file") << QByteArray() << QStringList() << true;
    QTest::newRow("two entries in order")
        << entry("5", u"第一篇"_qs, "", kBodyA) + entry("42", u"second"_qs, "979899", kBodyB)
        << QStringList{u"第一篇"_qs, u"second"_qs} << true;
    QTest::newRow("stray lines between entries ignored")
        << " \x7f\r\njunk\r\n" + entry("1", u"t"_qs, "", kBodyA) + "more junk\r\n \x7f\r\n"
        << QStringList{u"t"_qs} << true;
    QTest::newRow("empty title") << entry("7", QString(), "", kBodyA) << QStringList{QString()} << true;
    QTest::newRow("key not a number keeps earlier items")
        << entry("1", u"a"_qs, "", kBodyA) + entry("x1", u"b"_qs, "", kBodyA) << QStringList{u"a"_qs} << false;
    QTest::newRow("key line last in file")
        << entry("1", u"a"_qs, "", kBodyA) + "\x7f" "2\r\n" << QStringList{u"a"_qs} << false;
    QTest::newRow("truncated inside a body")
        << entry("1", u"a"_qs, "", kBodyA) + QByteArray("\x7f" "2\r\nb\r\n\x07\r\n{\\rtf1 ha")
        << QStringList{u"a"_qs, u"b"_qs} << true;
    QTest::newRow("title outside the code page") << QByteArray("\x7f" "8\r\n\x94\x39\xfc\x36\xd6\xd0\r\n\x07\r\nb\r\n \x7f\r\n")
                                                 << QStringList{u"😀中"_qs} << true;
    QTest::newRow("CR alone ends a line") << QByteArray("\x7f" "3\rtitle\r\x07\rbody\r \x7f\r")
                                         << QStringList{u"title"_qs} << true;
}

void TestDiaryStore::listing() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, titles);
    QFETCH(bool, ok);
    QTemporaryDir dir;
    const QString path = dir.path() + u"/20040908.KAV"_qs;
    QVERIFY(testsupport::writeFile(path, file));
    const diary::Listing l = diary::ListEntries(path);
    QStringList got;
    for (const auto &e : l.items)
        got << e.title;
    QCOMPARE(got, titles);
    QCOMPARE(l.result.ok(), ok);
}

void TestDiaryStore::readEntry() {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    QVERIFY(testsupport::writeFile(path, entry("5", u"a"_qs, "", kBodyA) + entry("42", u"b"_qs, "979899", kBodyB)));
    diary::Content c = diary::readEntry(path, 42, 0, u"abc"_qs);
    QVERIFY(c.found && c.PassOK);
    QCOMPARE(cp936::encode(c.body), kBodyB);
    // An entry without a password opens with any password, the asterisks included.
    c = diary::readEntry(path, 5, 0, u"******"_qs);
    QVERIFY(c.PassOK);
    QCOMPARE(cp936::encode(c.body), kBodyA);
    // Codes run together without a separator: tab, "O", "Y", tab (9 79 89 9) has the code of
    // "abc" (97 98 99), so it opens the entry too; a text whose code differs does not.
    c = diary::readEntry(path, 42, 0, u"\tOY\t"_qs);
    QVERIFY(c.PassOK);
    QCOMPARE(cp936::encode(c.body), kBodyB);
    QVERIFY(!diary::readEntry(path, 42, 0, u"\tOY"_qs).PassOK);
}

void TestDiaryStore::readEntryLockedAndMissing() {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    QVERIFY(testsupport::writeFile(path, entry("42", u"b"_qs, "979899", kBodyB) + "\x7f" "9\r\nonly title\r\n"));
    diary::Content c = diary::readEntry(path, 42, 0, u"abd"_qs);
    QVERIFY(c.found && !c.PassOK);
    // No word of the entry, and the code that says why: the window picks its locked-entry text.
    QCOMPARE(c.body, QString());
    QCOMPARE(c.result.code, store::Code::WrongPassword);
    QVERIFY(!diary::readEntry(path, 43, 0, QString()).found);
    QVERIFY(!diary::readEntry(path, 9, 0, QString()).found); // no password line
    QVERIFY(!diary::readEntry(dir.path() + u"/none.KAV"_qs, 42, 0, QString()).found);
    // A body without terminator runs to the end of the file.
    QVERIFY(testsupport::writeFile(path, QByteArray("\x7f" "1\r\nt\r\n\x07\r\nl1\r\nl2")));
    QCOMPARE(diary::readEntry(path, 1, 0, QString()).body, u"l1\r\nl2"_qs);
}

void TestDiaryStore::duplicateKeysAreTellApart() {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    const QString temp = dir.path() + u"/temp.tmp"_qs;
    const QByteArray first = entry("7", u"first"_qs, "", kBodyA);
    const QByteArray second = entry("7", u"second"_qs, "", kBodyB);
    QVERIFY(testsupport::writeFile(path, first + second));
    const diary::Listing l = diary::ListEntries(path);
    QCOMPARE(l.items.size(), 2);
    QCOMPARE(l.items[1].occurrence, 1);
    QCOMPARE(cp936::encode(diary::readEntry(path, 7, 1, QString()).body), kBodyB);
    QCOMPARE(diary::removeEntry(path, temp, 7, 1, QString()).code, store::Code::Ok);
    QCOMPARE(testsupport::readFile(path), first);
}

void TestDiaryStore::deleteEntry() {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    const QString temp = dir.path() + u"/temp.tmp"_qs;
    const QByteArray a = entry("1", u"a"_qs, "", kBodyA), b = entry("2", u"b"_qs, "979899", kBodyB),
                     c = entry("3", u"c"_qs, "", kBodyA);
    QVERIFY(testsupport::writeFile(path, a + b + c));
    QCOMPARE(diary::removeEntry(path, temp, 2, 0, u"abc"_qs).code, store::Code::Ok);
    QCOMPARE(testsupport::readFile(path), a + c);
    QVERIFY(!QFile::exists(temp));
    QCOMPARE(diary::removeEntry(path, temp, 1, 0, QString()).code, store::Code::Ok);
    QCOMPARE(diary::removeEntry(path, temp, 3, 0, QString()).code, store::Code::Ok);
    QCOMPARE(testsupport::readFile(path), QByteArray());
    QVERIFY(diary::ListEntries(path).items.isEmpty());
}

void TestDiaryStore::deleteEntryRefusals() {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    const QString temp = dir.path() + u"/temp.tmp"_qs;
    const QByteArray file = entry("2", u"b"_qs, "979899", kBodyB);
    QVERIFY(testsupport::writeFile(path, file));
    QCOMPARE(diary::removeEntry(path, temp, 2, 0, u"wrong"_qs).code,
             store::Code::WrongPassword);
    QCOMPARE(diary::removeEntry(path, temp, 99, 0, QString()).code, store::Code::NotFound);
    QCOMPARE(diary::removeEntry(dir.path() + u"/none"_qs, temp, 2, 0, QString()).code,
             store::Code::NotFound);
    QCOMPARE(testsupport::readFile(path), file);
    // A temporary file that cannot be written leaves the date file whole.
    QCOMPARE(diary::removeEntry(path, dir.path() + u"/missing/temp.tmp"_qs, 2, 0, u"abc"_qs).code,
             store::Code::IoError);
    QCOMPARE(testsupport::readFile(path), file);
}

void TestDiaryStore::deleteKeepsOtherBytesExactly() {
    // Bytes that are not valid code page 936 survive a removal of another entry untouched.
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    const QByteArray odd = "\x7f" "1\r\n\xff\xfe\x81\r\n\x07\r\n\x80\x81\xa0{\\rtf1}\r\n \x7f\r\n";
    QVERIFY(testsupport::writeFile(path, odd + entry("2", u"b"_qs, "", kBodyA)));
    QCOMPARE(diary::removeEntry(path, dir.path() + u"/temp.tmp"_qs, 2, 0, QString()).code, store::Code::Ok);
    QCOMPARE(testsupport::readFile(path), odd);
}

void TestDiaryStore::oddEntriesSpareTheirNeighbours_data() {
    // Opening and removing the listed entry (key, occurrence) touches that entry and nothing else.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("afterRemoval");
    const QByteArray next = entry("1", u"next"_qs, "", kBodyA);
    // A damaged entry whose terminator was lost ends where the next entry begins.
    QTest::newRow("entry without terminator before another")
        << entry("7", u"first"_qs, "", "{\\rtf1 a").chopped(4) + next << 7 << 0
        << QByteArray("{\\rtf1 a") << next;
    QTest::newRow("entry without terminator at the end")
        << next + entry("7", u"last"_qs, "", "l1\r\nl2").chopped(6) << 7 << 0
        << QByteArray("l1\r\nl2") << next;
    // A title is the line after a key line whatever it holds, even a DEL and digits: entry 2 is
    // the second entry, not the first one's title.
    const QByteArray delTitle = entry("1", QChar(0x7f) + u"2"_qs, "", kBodyA);
    QTest::newRow("title that looks like a key line")
        << delTitle + entry("2", u"b"_qs, "", kBodyB) << 2 << 0 << kBodyB << delTitle;
    QTest::newRow("title that looks like a key line, same key twice")
        << entry("2", QChar(0x7f) + u"2"_qs, "", kBodyA) + entry("2", u"b"_qs, "", kBodyB) << 2 << 1
        << kBodyB << entry("2", QChar(0x7f) + u"2"_qs, "", kBodyA);
    // Title and password line belong to the entry even when the title is a terminator.
    QTest::newRow("title that looks like a terminator")
        << entry("3", u" \x7f"_qs, "", kBodyA) + next << 3 << 0 << kBodyA << next;
    // The rewritten file ends every line with CR LF, as the program writes them.
    QTest::newRow("neighbour with CR alone as line breaks")
        << entry("7", u"a"_qs, "", kBodyA) + "\x7f" "1\rnext\r\x07\r{\\rtf1 n}\r \x7f\r" << 7 << 0 << kBodyA
        << QByteArray("\x7f" "1\r\nnext\r\n\x07\r\n{\\rtf1 n}\r\n \x7f\r\n");
    QTest::newRow("neighbour at the end without its last line break")
        << entry("7", u"a"_qs, "", kBodyA) + next.chopped(2) << 7 << 0 << kBodyA << next;
    QTest::newRow("lines between entries stay")
        << "stray\r\n" + entry("7", u"a"_qs, "", kBodyA) + "more\rstray\r\n" + next << 7 << 0 << kBodyA
        << "stray\r\nmore\r\nstray\r\n" + next;
}

void TestDiaryStore::lastEntryTakesTheFile_data() {
    QTest::addColumn<QByteArray>("rest");
    QTest::addColumn<bool>("stays");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("nothing else") << QByteArray() << false << QByteArray();
    QTest::newRow("stray lines only") << QByteArray("stray\r\nlines\r\n") << false << QByteArray();
    QTest::newRow("a key line that is no number")
        << QByteArray("\x7fxy\r\nt\r\n") << true << QByteArray("\x7fxy\r\nt\r\n");
    QTest::newRow("a key line at the end") << QByteArray("\x7f" "5") << true << QByteArray("\x7f" "5\r\n");
}

void TestDiaryStore::lastEntryTakesTheFile() {
    // A date file goes with its last entry; one whose rest may hold a damaged entry stays.
    QFETCH(QByteArray, rest);
    QFETCH(bool, stays);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    QVERIFY(testsupport::writeFile(path, entry("7", u"a"_qs, "", kBodyA) + rest));
    QCOMPARE(diary::removeEntry(path, dir.path() + u"/temp.tmp"_qs, 7, 0, QString()).code, store::Code::Ok);
    QCOMPARE(QFile::exists(path), stays);
    if (stays) QCOMPARE(testsupport::readFile(path), after);
}

void TestDiaryStore::oddEntriesSpareTheirNeighbours() {
    QFETCH(QByteArray, file);
    QFETCH(int, key);
    QFETCH(int, occurrence);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, afterRemoval);
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    QVERIFY(testsupport::writeFile(path, file));
    const diary::Content c = diary::readEntry(path, key, occurrence, QString());
    QVERIFY(c.found && c.PassOK);
    QCOMPARE(cp936::encode(c.body), body);
    QCOMPARE(diary::removeEntry(path, dir.path() + u"/temp.tmp"_qs, key, occurrence, QString()).code,
             store::Code::Ok);
    QCOMPARE(testsupport::readFile(path), afterRemoval);
}

void TestDiaryStore::fosAppendsWholeEntries() {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    FOS fos;
    for (const QString &title : {u"一"_qs, u"two"_qs}) {
        QVERIFY(fos.opw(path));
        QVERIFY(fos.fw(u"\x7f"_qs + u"12"_qs));
        QVERIFY(fos.fw(title));
        QVERIFY(fos.fw(u"\x07"_qs));
        QVERIFY(fos.fw(u"{\\rtf1 x\\par\r\n}"_qs));
        QVERIFY(fos.fw(u" \x7f"_qs));
        QVERIFY(fos.closeAll());
    }
    QCOMPARE(testsupport::readFile(path),
             entry("12", u"一"_qs, "", "{\\rtf1 x\\par\r\n}") + entry("12", u"two"_qs, "", "{\\rtf1 x\\par\r\n}"));
    fos.fr(path);
    const std::optional<QString> body = fos.getContent(u"12"_qs, u"any"_qs, 1);
    QVERIFY(body && fos.PassOK);
    QCOMPARE(*body, u"{\\rtf1 x\\par\r\n}"_qs);
    fos.fr(dir.path() + u"/none"_qs);
    QVERIFY(!fos.getContent(u"12"_qs, QString()));
}

void TestDiaryStore::appendEntry() {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    // Old bytes that are not code page 936 stay as they are; the keys already there are not drawn.
    const QByteArray old = "\x7f" "7\r\n\xff\xfe\r\n\x07\r\n\x80{\\rtf1}\r\n \x7f\r\n" +
                           entry("9", u"b"_qs, "", kBodyA);
    QVERIFY(testsupport::writeFile(path, old));
    QList<qint64> draws{7, 9, 7, 12};
    qint32 key = -1;
    QVERIFY(diary::appendEntry(path, u"一\r\n二\r三\n四"_qs, diary::Lock{u"abc"_qs, false},
                               cp936::decode(kBodyB), [&draws] { return draws.takeFirst(); }, &key));
    QCOMPARE(key, 12);
    QCOMPARE(draws.size(), 0);
    QCOMPARE(testsupport::readFile(path), old + entry("12", u"一 二 三 四"_qs, "979899", kBodyB));
    QCOMPARE(testsupport::readFile(path), old + diary::entryBytes(12, u"一 二 三 四"_qs, u"979899"_qs,
                                                                  cp936::decode(kBodyB)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"d.KAV"_qs});

    // A missing date file is created with the one entry.
    const QString fresh = dir.path() + u"/new.KAV"_qs;
    QVERIFY(diary::appendEntry(fresh, u"t"_qs, diary::Lock{}, cp936::decode(kBodyA), [] { return 5; }));
    QCOMPARE(testsupport::readFile(fresh), entry("5", u"t"_qs, "", kBodyA));
}

void TestDiaryStore::appendEntryRefusals() {
    QTemporaryDir dir;
    auto draw = [] { return 1; };
    // A folder in the date file's place is no date file.
    const QString folder = dir.path() + u"/folder.KAV"_qs;
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(diary::appendEntry(folder, u"t"_qs, diary::Lock{}, u"b"_qs, draw).code, store::Code::Damaged);
    QVERIFY(QFileInfo(folder).isDir());
    // No folder to write in: the failure says which file.
    const QString missing = dir.path() + u"/DB/d.KAV"_qs;
    const store::Result r = diary::appendEntry(missing, u"t"_qs, diary::Lock{}, u"b"_qs, draw);
    QCOMPARE(r.code, store::Code::IoError);
    QVERIFY2(r.detail.contains(u"d.KAV"_qs), qPrintable(r.detail));
    QVERIFY(!QFileInfo::exists(missing));
}

void TestDiaryStore::removeEntryResults_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("tempWritable");
    QTest::addColumn<int>("code");
    // What is left: the file's bytes, or nothing when the file is gone.
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("fileStays");
    const QByteArray a = entry("1", u"a"_qs, "", kBodyA), b = entry("2", u"b"_qs, "979899", kBodyB);
    const auto ok = int(store::Code::Ok);
    QTest::newRow("one of two") << a + b << 1 << QString() << true << ok << b << true;
    QTest::newRow("the last one drops the file") << b << 2 << u"abc"_qs << true << ok << QByteArray() << false;
    QTest::newRow("stray lines alone are no entry") << a + "stray\r\n" << 1 << QString() << true << ok
                                                    << QByteArray() << false;
    // A rest that cannot be listed whole (a key line with no title) is kept for whoever can read it.
    QTest::newRow("damaged rest stays") << a + "\x7f" "3\r\n" << 1 << QString() << true << ok
                                        << QByteArray("\x7f" "3\r\n") << true;
    QTest::newRow("wrong password") << a + b << 2 << u"abd"_qs << true << int(store::Code::WrongPassword)
                                    << a + b << true;
    QTest::newRow("no such key") << a << 5 << QString() << true << int(store::Code::NotFound) << a << true;
    QTest::newRow("cut before its password line") << a + "\x7f" "4\r\nt\r\n" << 4 << QString() << true
                                                  << int(store::Code::Damaged) << a + "\x7f" "4\r\nt\r\n" << true;
    QTest::newRow("temporary file cannot be written") << a + b << 1 << QString() << false
                                                      << int(store::Code::IoError) << a + b << true;
}

void TestDiaryStore::removeEntryResults() {
    QFETCH(QByteArray, file);
    QFETCH(int, key);
    QFETCH(QString, password);
    QFETCH(bool, tempWritable);
    QFETCH(int, code);
    QFETCH(QByteArray, after);
    QFETCH(bool, fileStays);
    QTemporaryDir dir;
    const QString path = dir.path() + u"/d.KAV"_qs;
    const QString temp = dir.path() + (tempWritable ? u"/temp.tmp"_qs : u"/missing/temp.tmp"_qs);
    QVERIFY(testsupport::writeFile(path, file));
    const store::Result r = diary::removeEntry(path, temp, key, 0, password);
    QCOMPARE(int(r.code), code);
    QCOMPARE(QFileInfo::exists(path), fileStays);
    if (fileStays) QCOMPARE(testsupport::readFile(path), after);
    QVERIFY(!QFileInfo::exists(temp));
    if (r.code == store::Code::IoError) QVERIFY2(r.detail.contains(temp), qPrintable(r.detail));
}

void TestDiaryStore::collectionItems() {
    QTemporaryDir dir;
    const QString love = dir.path() + u"/Love"_qs;
    // The first item makes the collection's folder.
    QVERIFY(mylove::writeItem(love + u"/甲"_qs, u"{\\rtf1 甲}"_qs));
    QCOMPARE(testsupport::readFile(love + u"/甲"_qs), cp936::encode(u"{\\rtf1 甲}\r\n"_qs));
    QCOMPARE(mylove::itemNames(love), QStringList{u"甲"_qs});
    QVERIFY(mylove::removeItem(love + u"/甲"_qs));
    QVERIFY(!QFileInfo::exists(love + u"/甲"_qs));
    QCOMPARE(mylove::removeItem(love + u"/甲"_qs).code, store::Code::NotFound);
    // A folder of an item's name is no item and is not removed.
    QVERIFY(QDir(love).mkdir(u"乙"_qs));
    QCOMPARE(mylove::removeItem(love + u"/乙"_qs).code, store::Code::NotFound);
    QVERIFY(QFileInfo(love + u"/乙"_qs).isDir());
}

void TestDiaryStore::fosFailedAppendLeavesFileAsItWas() {
    QTemporaryDir dir;
    FOS fos;
    QVERIFY(!fos.opw(dir.path() + u"/missing/d.KAV"_qs));
    QVERIFY(!fos.fw(u"x"_qs));
    QVERIFY(fos.closeAll());
    // A device in the date file's place takes no entries.
    if (QFile::exists(u"/dev/full"_qs)) QVERIFY(!fos.opw(u"/dev/full"_qs));
    // A full disk: writes past a few bytes fail, as the flush at closeAll finds.
    const QString path = dir.path() + u"/d.KAV"_qs;
    const QByteArray old1 = entry("1", u"a"_qs, "", kBodyA);
    QVERIFY(testsupport::writeFile(path, old1));
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    QVERIFY(fos.opw(path));
    fos.fw(QString(100000, u'x'));
    const store::Result closed = fos.closeAll();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(closed.code, store::Code::IoError);
    QVERIFY(closed.detail.startsWith(path + u": "_qs));
    QCOMPARE(testsupport::readFile(path), old1);
}

void TestDiaryStore::fosOpoutReplacesOnlyOnSuccess() {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/index.KAV"_qs;
    QVERIFY(testsupport::writeFile(path, "old\r\n"));
    FOS fos;
    QVERIFY(fos.opout(path));
    QVERIFY(fos.fw(u"new"_qs));
    QCOMPARE(testsupport::readFile(path), QByteArray("old\r\n")); // not before closeAll
    QVERIFY(fos.closeAll());
    QCOMPARE(testsupport::readFile(path), QByteArray("new\r\n"));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files) == QStringList{u"index.KAV"_qs});
}

void TestDiaryStore::weekdays() {
    QCOMPARE(diary::WeekdayText(QDate(2004, 9, 8)), u"星期三"_qs);
    QCOMPARE(diary::WeekdayText(QDate(2004, 9, 12)), u"星期日"_qs);
    QCOMPARE(diary::WeekdayText(QDate(2004, 9, 11)), u"星期六"_qs);
}

QTEST_GUILESS_MAIN(TestDiaryStore)
#include "tst_diarystore.moc"
