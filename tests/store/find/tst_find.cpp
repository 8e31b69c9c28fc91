// The search engine over a small generated diary: what matches (substrings at any position,
// case, full width, formatting splits, \u beside \'hh), what never does (locked bodies, files
// that are no date files), the order of hits, the snippets, the cache, cancelling, the calendar's
// days and 那年今日.
#include "store/find/engine.h"
#include "store/find/fold.h"
#include "store/find/search.h"

#include "finddiary.h"
#include "store/common/savefile.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <utime.h>

namespace {

QString name(const find::Hit &h) {
    return h.collection() ? u"珍藏:"_qs + h.title : find::dateText(h) + u'#' + QString::number(h.index);
}

QStringList names(const QList<find::Hit> &hits) {
    QStringList n;
    for (const find::Hit &h : hits)
        n << name(h);
    return n;
}

// Every file below dir with its size and time of change.
QStringList listing(const QString &dir) {
    QStringList files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        files << info.filePath() + u' ' + QString::number(info.size()) + u' ' +
                     QString::number(info.lastModified().toMSecsSinceEpoch());
    }
    files.sort();
    return files;
}

} // namespace

class TestFind : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fold_data();
    void fold();
    void queries_data();
    void queries();
    void searchOnlyReads();
    void cacheFollowsChangedFiles();
    void cancelledSearchStops();
    void newQueryCancelsTheOld();
    void noStaleHitOnceTheFirstReported();
    void writtenDays();
    void onThisDay();
    void fileNames_data();
    void fileNames();

private:
    QTemporaryDir m_dir;
};

void TestFind::initTestCase() {
    QVERIFY(m_dir.isValid());
    finddiary::write(m_dir.path());
}

void TestFind::fold_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("folded");
    QTest::newRow("latin case") << u"MiXeD Case"_qs << u"mixed case"_qs;
    QTest::newRow("full width") << u"ＡＢＣ１２３，！"_qs << u"abc123,!"_qs;
    QTest::newRow("chinese unchanged") << u"全文搜索"_qs << u"全文搜索"_qs;
    QTest::newRow("ideographic space and compatibility forms") << u"\u3000㈱ﬁ"_qs << u" (株)fi"_qs;
    QTest::newRow("combining mark composes") << u"e\u0301"_qs << u"é"_qs;
    QTest::newRow("greek and cyrillic case") << u"ΣΑΣ Жук"_qs << u"σασ жук"_qs;
}

void TestFind::fold() {
    QFETCH(QString, text);
    QFETCH(QString, folded);
    QList<qsizetype> origin;
    QCOMPARE(find::fold(text, &origin), folded);
    QCOMPARE(origin.size(), folded.size());
    for (qsizetype i = 1; i < origin.size(); ++i)
        QVERIFY(origin[i] >= origin[i - 1] && origin[i] < text.size());
}

void TestFind::queries_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("hits");
    QTest::addColumn<QString>("marked"); // what the first hit's snippet marks; empty: nothing

    QTest::newRow("mid-word chinese") << u"文搜"_qs << QStringList{u"2004-09-08#0"_qs} << u"文搜"_qs;
    QTest::newRow("entries and the collection") << u"全文"_qs << QStringList{u"2004-09-08#0"_qs, u"珍藏:珍藏一"_qs}
                                                 << u"全文"_qs;
    QTest::newRow("single character") << u"字"_qs << QStringList{u"2003-09-08#0"_qs} << u"字"_qs;
    QTest::newRow("case") << u"mixed"_qs << QStringList{u"2005-01-01#0"_qs} << u"MiXeD"_qs;
    QTest::newRow("half width finds full width") << u"abc"_qs << QStringList{u"2004-09-08#1"_qs} << u"ＡＢＣ"_qs;
    QTest::newRow("full width finds full width") << u"ａｂｃ１２３"_qs << QStringList{u"2004-09-08#1"_qs}
                                                 << u"ＡＢＣ１２３"_qs;
    QTest::newRow("formatting split and \\u beside \\'hh, newest first")
        << u"晴窗"_qs << QStringList{u"2004-09-08#4"_qs, u"2004-09-08#0"_qs} << u"晴窗"_qs;
    QTest::newRow("newest date first") << u"e"_qs
                                       << QStringList{u"2005-01-01#0"_qs, u"2003-09-08#0"_qs} << u"e"_qs;
    QTest::newRow("every word") << u"hello  world"_qs << QStringList{u"2003-09-08#0"_qs} << u"Hello"_qs;
    QTest::newRow("not every word") << u"hello 机密"_qs << QStringList{} << QString();
    QTest::newRow("locked bodies are never read") << u"机密"_qs << QStringList{} << QString();
    QTest::newRow("locked entry by its title") << u"秘密"_qs << QStringList{u"2004-09-08#2"_qs} << QString();
    QTest::newRow("enciphered entry by its title") << u"加密的"_qs << QStringList{u"2004-09-08#3"_qs} << QString();
    QTest::newRow("title of an unlocked entry") << u"new"_qs << QStringList{u"2005-01-01#0"_qs} << QString();
    QTest::newRow("blanks only") << u"  "_qs << QStringList{} << QString();
}

void TestFind::queries() {
    QFETCH(QString, query);
    QFETCH(QStringList, hits);
    QFETCH(QString, marked);
    find::Engine engine(m_dir.path());
    QList<find::Hit> told;
    const QList<find::Hit> found = engine.search(query, {}, [&](const find::Hit &h) { told << h; });
    QCOMPARE(names(found), hits);
    QCOMPARE(told, found);
    if (found.isEmpty()) return;
    const find::Hit &first = found.first();
    QCOMPARE(first.snippet.mid(first.matchStart, first.matchLength), marked);
    QVERIFY(!first.snippet.contains(u'\n'));
    if (first.title == u"秘密日记" || first.title == u"加密的") QCOMPARE(first.snippet, QString());
    if (first.title == u"new year") QCOMPARE(first.snippet, u"Case MiXeD"_qs);
}

void TestFind::searchOnlyReads() {
    const QStringList before = listing(m_dir.path());
    find::Engine engine(m_dir.path());
    engine.search(u"全文"_qs);
    engine.search(u"全文"_qs);
    engine.writtenDays(2004, 9);
    engine.onThisDay(QDate(2006, 9, 8));
    QCOMPARE(listing(m_dir.path()), before);
    // A program folder without \DB\ and \Love\ gets none.
    QTemporaryDir empty;
    find::Engine bare(empty.path());
    QVERIFY(bare.search(u"x"_qs).isEmpty());
    QCOMPARE(listing(empty.path()), QStringList());
}

void TestFind::cacheFollowsChangedFiles() {
    QTemporaryDir dir;
    finddiary::write(dir.path());
    const QString path = dir.path() + u"/DB/20030908.KAV"_qs;
    find::Engine engine(dir.path());
    QCOMPARE(names(engine.search(u"字"_qs)), QStringList{u"2003-09-08#0"_qs});

    // Rewritten as the diary rewrites: a new file renamed over the old one, same size.
    QByteArray data = testsupport::readFile(path);
    const qsizetype at = data.indexOf("Hello");
    data.replace(at, 5, "Howdy");
    QVERIFY(store::saveFile(path, data, {dir.path() + u"/DB/temp.tmp"_qs}));
    QCOMPARE(names(engine.search(u"howdy"_qs)), QStringList{u"2003-09-08#0"_qs});
    QVERIFY(engine.search(u"hello"_qs).isEmpty());

    // Written in place, same size, only the time of change tells.
    data.replace(at, 5, "Hallo");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QCOMPARE(f.write(data), data.size());
    }
    utimbuf times{1000000000, 1000000000};
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
    QCOMPARE(names(engine.search(u"hallo"_qs)), QStringList{u"2003-09-08#0"_qs});

    // An entry added, one removed, a file gone.
    testsupport::writeFile(path, data + finddiary::entry(6, u"又一篇"_qs, "", finddiary::rtfText(u"字"_qs)));
    QCOMPARE(names(engine.search(u"字"_qs)), (QStringList{u"2003-09-08#1"_qs, u"2003-09-08#0"_qs}));
    QVERIFY(QFile::remove(path));
    QVERIFY(engine.search(u"字"_qs).isEmpty());
}

void TestFind::cancelledSearchStops() {
    find::Engine engine(m_dir.path());
    int asked = 0;
    const QList<find::Hit> hits = engine.search(u"e"_qs, [&] { return ++asked > 1; });
    QCOMPARE(names(hits), QStringList{u"2005-01-01#0"_qs}); // the first file only
}

void TestFind::newQueryCancelsTheOld() {
    find::Engine engine(m_dir.path());
    find::Search search(engine);
    QSignalSpy hits(&search, &find::Search::hitFound);
    QSignalSpy finished(&search, &find::Search::finished);
    search.start(u"全文"_qs);
    search.start(u"字"_qs);
    QVERIFY(search.isRunning());
    QVERIFY(finished.wait(5000));
    QTest::qWait(50); // anything late of the first search would arrive now
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), 1);
    QCOMPARE(hits.size(), 1);
    QCOMPARE(name(hits.first().first().value<find::Hit>()), u"2003-09-08#0"_qs);
    QVERIFY(!search.isRunning());
}

// The first search has reported a hit and goes on when the second starts: nothing of the first
// arrives after that, and the second reports exactly its own.
void TestFind::noStaleHitOnceTheFirstReported() {
    QTemporaryDir dir;
    finddiary::write(dir.path());
    finddiary::writeLong(dir.path(), 400, 200);
    find::Engine engine(dir.path());
    find::Search search(engine);
    QSignalSpy hits(&search, &find::Search::hitFound);
    QSignalSpy finished(&search, &find::Search::finished);
    search.start(u"全文"_qs);
    QVERIFY(hits.wait(5000));
    const qsizetype first = hits.size();
    QVERIFY(first < 400);
    // The first goes on meanwhile; what it reports waits in the queue.
    QThread::msleep(100);
    search.start(u"字"_qs);
    QVERIFY(finished.wait(10000));
    QTest::qWait(100); // anything late of the first search would arrive now
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), 1);
    QCOMPARE(hits.size(), first + 1);
    QCOMPARE(name(hits.last().first().value<find::Hit>()), u"2003-09-08#0"_qs);
}

void TestFind::writtenDays() {
    find::Engine engine(m_dir.path());
    QCOMPARE(engine.writtenDays(2004, 9), QList<QDate>{QDate(2004, 9, 8)}); // 20040910.KAV has no entry
    QCOMPARE(engine.writtenDays(2005, 1), QList<QDate>{QDate(2005, 1, 1)});
    QCOMPARE(engine.writtenDays(2004, 8), QList<QDate>{});
}

void TestFind::onThisDay() {
    QTemporaryDir dir;
    finddiary::write(dir.path());
    testsupport::writeFile(dir.path() + u"/DB/20060908.KAV"_qs,
                           finddiary::entry(1, u"今年"_qs, "", finddiary::rtfText(u"x"_qs)));
    find::Engine engine(dir.path());
    QCOMPARE(names(engine.onThisDay(QDate(2006, 9, 8))),
             (QStringList{u"2004-09-08#4"_qs, u"2004-09-08#3"_qs, u"2004-09-08#2"_qs, u"2004-09-08#1"_qs,
                          u"2004-09-08#0"_qs, u"2003-09-08#0"_qs}));
    QCOMPARE(engine.onThisDay(QDate(2006, 9, 8)).first().title, u"混合"_qs);
    QCOMPARE(names(engine.onThisDay(QDate(2004, 9, 8))), QStringList{u"2003-09-08#0"_qs});
    QVERIFY(engine.onThisDay(QDate(2006, 9, 9)).isEmpty());
}

void TestFind::fileNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDate>("date");
    QTest::newRow("date file") << u"20040908.KAV"_qs << QDate(2004, 9, 8);
    QTest::newRow("any case") << u"20040908.kav"_qs << QDate(2004, 9, 8);
    QTest::newRow("three-digit year") << u"9990101.KAV"_qs << QDate(999, 1, 1);
    QTest::newRow("no such day") << u"20040230.KAV"_qs << QDate();
    QTest::newRow("leading zero") << u"020040908.KAV"_qs << QDate();
    QTest::newRow("temporary file") << u"temp.tmp"_qs << QDate();
    QTest::newRow("other extension") << u"20040908.KAV.bak"_qs << QDate();
}

void TestFind::fileNames() {
    QFETCH(QString, name);
    QFETCH(QDate, date);
    QCOMPARE(find::dateOfFileName(name), date);
}

QTEST_MAIN(TestFind)
#include "tst_find.moc"
