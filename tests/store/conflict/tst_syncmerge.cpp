// Merging the conflict copies of a diary folder: date files take the entries of both versions
// in bytes that do not depend on which computer merges, collection items and the home page keep
// both versions, and every copy ends in Backup/conflicts/.
#include "store/conflict/merge.h"
#include "testsupport.h"

#include <QDir>
#include <QMap>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

// One whole entry of a date file.
QByteArray entry(const char *key, const char *title, const QByteArray &passwordLine,
                 const char *body) {
    return QByteArray("\x7f") + key + "\r\n" + title + "\r\n" + passwordLine + "\r\n" + body +
           "\r\n \x7f\r\n";
}
QByteArray open(const char *key, const char *title, const char *body) {
    return entry(key, title, "\x07", body);
}

const QByteArray e1 = open("11", "a", "{\\rtf1 one}");
const QByteArray e2 = open("22", "b", "{\\rtf1 two}");
const QByteArray e3 = open("33", "c", "{\\rtf1 three}");
const QByteArray e4 = open("44", "d", "{\\rtf1 four}");
const QByteArray e2edited = open("22", "b", "{\\rtf1 two, edited}");
const QByteArray sealed1 = entry("55", "s", "\x07$q1$", "AAAABBBBCCCC");
const QByteArray sealed2 = entry("55", "s", "\x07$q1$", "AAAABBBBCCCD");

} // namespace

class TestSyncMerge : public QObject {
    Q_OBJECT
private slots:
    void dateFiles_data();
    void dateFiles();
    void damagedDateFiles_data();
    void damagedDateFiles();
    void folder();
    void homePage_data();
    void homePage();
    void busyWaits();
    void copyOfCopy();
};

void TestSyncMerge::dateFiles_data() {
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<QByteArray>("merged");
    QTest::addColumn<int>("addedToA");
    QTest::newRow("each side added one") << e1 + e2 + e3 << e1 + e2 + e4 << e1 + e2 + e3 + e4 << 1;
    QTest::newRow("one holds the other: it stays")
        << e1 + e2 + e3 + e4 << e3 + e1 << e1 + e2 + e3 + e4 << 0;
    QTest::newRow("fewer entries is the base") << e1 + e2 + e3 << e3 + e4 << e3 + e4 + e1 + e2 << 1;
    QTest::newRow("identical") << e1 + e2 << e1 + e2 << e1 + e2 << 0;
    QTest::newRow("same key edited on both kept twice")
        << e1 + e2 << e1 + e2edited << e1 + e2edited + e2 << 1;
    QTest::newRow("sealed entries by their bytes")
        << e1 + sealed1 << e1 + sealed2 << e1 + sealed1 + sealed2 << 1;
    QTest::newRow("sealed entry the same")
        << sealed1 + e1 << sealed1 + e1 + e3 << sealed1 + e1 + e3 << 1;
    QTest::newRow("an entry twice in one file stays twice")
        << e1 + e1 << e1 + e1 + e2 << e1 + e1 + e2 << 1;
    QTest::newRow("empty file") << QByteArray() << e1 << e1 << 1;
    QTest::newRow("last line without CR LF") << e1 + e2.chopped(2) << e1 + e3 << e1 + e2 + e3 << 1;
    QTest::newRow("lines between entries stay in the base")
        << e1 + "stray\r\n" + e2 << e1 + e3 << e1 + "stray\r\n" + e2 + e3 << 1;
}

void TestSyncMerge::dateFiles() {
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(QByteArray, merged);
    QFETCH(int, addedToA);
    const conflict::DateMerge ab = conflict::mergeDateFiles(a, b);
    const conflict::DateMerge ba = conflict::mergeDateFiles(b, a);
    QVERIFY(ab.ok);
    QVERIFY(ba.ok);
    QCOMPARE(ab.bytes(), merged);
    QCOMPARE(ba.bytes(), merged); // the same bytes on both computers
    QCOMPARE(ab.added, addedToA);
    // A second merge with either version changes nothing.
    QCOMPARE(conflict::mergeDateFiles(merged, a).bytes(), merged);
    QCOMPARE(conflict::mergeDateFiles(b, merged).bytes(), merged);
}

void TestSyncMerge::damagedDateFiles_data() {
    QTest::addColumn<QByteArray>("damaged");
    QTest::newRow("ends after the title") << e1 + "\x7f"
                                                  "22\r\nb\r\n";
    QTest::newRow("terminator lost before the next entry") << e1.chopped(5) + e2;
    QTest::newRow("terminator lost at the end") << e1 + e2.chopped(5);
}

void TestSyncMerge::damagedDateFiles() {
    QFETCH(QByteArray, damaged);
    const conflict::DateMerge second = conflict::mergeDateFiles(e1 + e3, damaged);
    QVERIFY(!second.ok);
    QVERIFY(second.secondDamaged);
    const conflict::DateMerge first = conflict::mergeDateFiles(damaged, e1 + e3);
    QVERIFY(!first.ok);
    QVERIFY(!first.secondDamaged);
    QVERIFY(conflict::mergeDateFiles(damaged, damaged).secondDamaged);
}

// A diary folder with a copy of each kind the tools leave.
void TestSyncMerge::folder() {
    QTemporaryDir tmp;
    const QString d = tmp.path();
    const QString stCopy = u"DB/20261210.sync-conflict-20261210-083015-ABCDEFG.KAV"_qs;
    QVERIFY(writeFile(d + u"/DB/20261210.KAV"_qs, e1 + e2));
    QVERIFY(writeFile(d + u'/' + stCopy, e1 + e3));
    const QString damagedCopy = u"DB/20261211 (conflicted copy 2026-12-11 101010).KAV"_qs;
    QVERIFY(writeFile(d + u"/DB/20261211.KAV"_qs, e1));
    QVERIFY(writeFile(d + u'/' + damagedCopy, e1 + "\x7f"
                                                   "9\r\nx\r\n"));
    const QString itemCopy =
        u"Love/晴天 (laptop's conflicted copy 2026-12-09).txt"_qs; // the copy of "晴天.txt"
    QVERIFY(writeFile(d + u"/Love/晴天.txt"_qs, "{\\rtf1 mine}\r\n"));
    QVERIFY(writeFile(d + u'/' + itemCopy, "{\\rtf1 theirs}\r\n"));
    const QString sameCopy = u"Love/雨_conflict-20261210-083015"_qs;
    QVERIFY(writeFile(d + u"/Love/雨"_qs, "{\\rtf1 same}\r\n"));
    QVERIFY(writeFile(d + u'/' + sameCopy, "{\\rtf1 same}\r\n"));
    const QString configCopy = u"Config.sync-conflict-20261210-083015-ABCDEFG.ini"_qs;
    QVERIFY(writeFile(d + u"/Config.ini"_qs, "[Index]\r\n"));
    QVERIFY(writeFile(d + u'/' + configCopy, "[Index]\r\nX=1\r\n"));
    const QString userCopy = u"UserInfo/1.sync-conflict-20261210-083015-ABCDEFG.usr"_qs;
    QVERIFY(writeFile(d + u"/UserInfo/1.usr"_qs, "one"));
    QVERIFY(writeFile(d + u'/' + userCopy, "two"));
    // Names that only look like copies, or copies of nothing the program keeps, stay.
    const QStringList stay{u"Love/关于 conflicted copy 的笔记"_qs,
                           u"DB/20261212.sync-conflict-20261210-083015-ABCDEFG.KAV"_qs,
                           u"notes.sync-conflict-20261210-083015-ABCDEFG.txt"_qs};
    QVERIFY(writeFile(d + u"/notes.txt"_qs, "n"));
    for (const QString &s : stay)
        QVERIFY(writeFile(d + u'/' + s, "x"));

    const conflict::Report report = conflict::mergeAll(ProgramFolder(d), u"index.KAV"_qs);

    QCOMPARE(readFile(d + u"/DB/20261210.KAV"_qs), e1 + e2 + e3);
    QCOMPARE(readFile(d + u"/Backup/conflicts/"_qs + stCopy), e1 + e3);
    QCOMPARE(readFile(d + u"/DB/20261211.KAV"_qs), e1); // never merged halfway
    QCOMPARE(readFile(d + u"/Backup/conflicts/"_qs + damagedCopy), e1 + "\x7f"
                                                                        "9\r\nx\r\n");
    QCOMPARE(readFile(d + u"/Love/晴天.txt"_qs), QByteArray("{\\rtf1 mine}\r\n"));
    QCOMPARE(readFile(d + u"/Love/晴天.txt（冲突副本 2026-12-09）"_qs),
             QByteArray("{\\rtf1 theirs}\r\n"));
    QCOMPARE(readFile(d + u"/Backup/conflicts/"_qs + itemCopy), QByteArray("{\\rtf1 theirs}\r\n"));
    QCOMPARE(readFile(d + u"/Backup/conflicts/"_qs + sameCopy), QByteArray("{\\rtf1 same}\r\n"));
    QCOMPARE(readFile(d + u"/Config.ini"_qs), QByteArray("[Index]\r\n"));
    QCOMPARE(readFile(d + u"/Backup/conflicts/"_qs + configCopy), QByteArray("[Index]\r\nX=1\r\n"));
    QCOMPARE(readFile(d + u"/UserInfo/1.usr"_qs), QByteArray("one"));
    QCOMPARE(readFile(d + u"/Backup/conflicts/"_qs + userCopy), QByteArray("two"));
    for (const QString &copy : {stCopy, damagedCopy, itemCopy, sameCopy, configCopy, userCopy})
        QVERIFY2(!QFileInfo::exists(d + u'/' + copy), qPrintable(copy));
    for (const QString &s : stay)
        QVERIFY2(QFileInfo::exists(d + u'/' + s), qPrintable(s));

    QCOMPARE(report.steps.size(), 6);
    QCOMPARE(report.changed.size(), 2);
    QVERIFY(report.changed.contains(d + u"/DB/20261210.KAV"_qs));
    // One date file merged with one entry, one item kept, three moved aside, one damaged.
    QMap<conflict::Outcome, int> outcomes;
    int added = 0;
    for (const conflict::Step &step : report.steps) {
        ++outcomes[step.outcome];
        added += step.added;
    }
    QCOMPARE(outcomes.value(conflict::Outcome::Merged), 1);
    QCOMPARE(added, 1);
    QCOMPARE(outcomes.value(conflict::Outcome::KeptAsItem), 1);
    QCOMPARE(outcomes.value(conflict::Outcome::MovedAside), 3);
    QCOMPARE(outcomes.value(conflict::Outcome::Damaged), 1);

    // The same copy arriving again (the other computer moved it too) is merged into nothing and
    // leaves one file in Backup/conflicts.
    QVERIFY(writeFile(d + u'/' + stCopy, e1 + e3));
    const conflict::Report again = conflict::mergeAll(ProgramFolder(d), u"index.KAV"_qs);
    QCOMPARE(again.steps.size(), 1);
    QCOMPARE(again.steps[0].outcome, conflict::Outcome::MovedAside);
    QCOMPARE(readFile(d + u"/DB/20261210.KAV"_qs), e1 + e2 + e3);
    QVERIFY(!QFileInfo::exists(d + u'/' + stCopy));
    QCOMPARE(QDir(d + u"/Backup/conflicts/DB"_qs).entryList(QDir::Files).size(), 2);
    QVERIFY(conflict::mergeAll(ProgramFolder(d), u"index.KAV"_qs).empty());
}

void TestSyncMerge::homePage_data() {
    QTest::addColumn<bool>("copyNewer");
    QTest::newRow("copy newer") << true;
    QTest::newRow("copy older") << false;
}

void TestSyncMerge::homePage() {
    QFETCH(bool, copyNewer);
    QTemporaryDir tmp;
    const QString d = tmp.path();
    const QString home = d + u"/index.KAV"_qs;
    const QString copy = d + u"/index (conflicted copy 2026-12-10 083015).KAV"_qs;
    QVERIFY(writeFile(home, "home"));
    QVERIFY(writeFile(copy, "copy"));
    const QDateTime t(QDate(2026, 12, 10), QTime(8, 0));
    for (const auto &[path, time] : {std::pair{home, copyNewer ? t : t.addSecs(60)},
                                     std::pair{copy, copyNewer ? t.addSecs(60) : t}}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(time, QFileDevice::FileModificationTime));
    }
    const conflict::Report r = conflict::mergeAll(ProgramFolder(d), u"index.KAV"_qs);
    QCOMPARE(r.steps.size(), 1);
    QCOMPARE(r.steps[0].outcome,
             copyNewer ? conflict::Outcome::HomeReplaced : conflict::Outcome::KeptAsItem);
    QCOMPARE(readFile(home), copyNewer ? QByteArray("copy") : QByteArray("home"));
    QCOMPARE(readFile(d + u"/Love/首页（冲突副本 2026-12-10）"_qs),
             copyNewer ? QByteArray("home") : QByteArray("copy"));
    QCOMPARE(readFile(d + u"/Backup/conflicts/index (conflicted copy 2026-12-10 083015).KAV"_qs),
             QByteArray("copy"));
    QVERIFY(!QFileInfo::exists(copy));
}

// A copy of the file an edit is open on waits, and is merged once the edit is over.
void TestSyncMerge::busyWaits() {
    QTemporaryDir tmp;
    const QString d = tmp.path();
    const QString file = d + u"/DB/20261210.KAV"_qs;
    const QString copy = d + u"/DB/20261210.sync-conflict-20261210-083015-ABCDEFG.KAV"_qs;
    QVERIFY(writeFile(file, e1));
    QVERIFY(writeFile(copy, e1 + e2));
    QVERIFY(conflict::mergeAll(ProgramFolder(d), u"index.KAV"_qs, {d + u"/DB/./20261210.KAV"_qs})
                .empty());
    QCOMPARE(readFile(file), e1);
    QVERIFY(QFileInfo::exists(copy));
    QCOMPARE(conflict::mergeAll(ProgramFolder(d), u"index.KAV"_qs).steps.size(), 1);
    QCOMPARE(readFile(file), e1 + e2);
}

void TestSyncMerge::copyOfCopy() {
    QTemporaryDir tmp;
    const QString d = tmp.path();
    const QString first = u"DB/20261210.sync-conflict-20261210-083015-ABCDEFG.KAV"_qs;
    const QString second =
        u"DB/20261210.sync-conflict-20261210-083015-ABCDEFG.sync-conflict-20261211-010203-HIJKLMN.KAV"_qs;
    QVERIFY(writeFile(d + u"/DB/20261210.KAV"_qs, e1));
    QVERIFY(writeFile(d + u'/' + first, e1 + e2));
    QVERIFY(writeFile(d + u'/' + second, e1 + e3));
    conflict::mergeAll(ProgramFolder(d), u"index.KAV"_qs);
    QCOMPARE(readFile(d + u"/DB/20261210.KAV"_qs), e1 + e2 + e3);
    QCOMPARE(QDir(d + u"/DB"_qs).entryList(QDir::Files), QStringList{u"20261210.KAV"_qs});
}

QTEST_APPLESS_MAIN(TestSyncMerge)
#include "tst_syncmerge.moc"
