// qingchuang-tool add: an entry from standard input, as the editor would have saved it, and the
// refusals, among them a program running in the same folder.
#include "store/diary/diarystore.h"
#include "store/rtf/rtf.h"
#include "testsupport.h"
#include "ui/app/singlecopy.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run tool(const QStringList &args, const QByteArray &input) {
    QProcess p;
    p.start(qEnvironmentVariable("QC_TOOL_EXE"), QStringList{u"add"_qs} + args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestQcToolAdd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("QC_TOOL_EXE"),
                 "QC_TOOL_EXE is not set: run the test through ctest");
    }
    void adds();
    void refuses_data();
    void refuses();
    void refusesWhileRunning();
};

void TestQcToolAdd::adds() {
    QTemporaryDir dir;
    const QString file = dir.path() + u"/DB/20261210.KAV"_qs;
    Run r = tool({dir.path(), u"--date"_qs, u"2026-12-10"_qs, u"--title"_qs, u"家里\r\n写的"_qs},
                 u"第一行 {braces} \\\r\n第二行 😀\n"_qs.toUtf8());
    QCOMPARE(r.status, 0);
    r = tool({dir.path(), u"--title"_qs, u"second"_qs, u"--date"_qs, u"2026-12-10"_qs}, "two");
    QCOMPARE(r.status, 0);
    const diary::Listing listing = diary::ListEntries(file);
    QVERIFY(listing.result.ok());
    QCOMPARE(listing.items.size(), 2);
    QCOMPARE(listing.items[0].title, u"家里 写的"_qs); // one line, as the window makes a title
    QCOMPARE(listing.items[1].title, u"second"_qs);
    const diary::Content c = diary::readEntry(file, listing.items[0].key, 0, QString());
    QVERIFY(c.found && c.PassOK);
    QVERIFY(c.body.startsWith(u"{\\rtf1\\ansi\\ansicpg936"_qs));
    QTextDocument doc;
    QVERIFY(rtf::read(c.body.toLatin1(), &doc));
    QCOMPARE(rtf::plainText(&doc), u"第一行 {braces} \\\n第二行 😀\n"_qs);
    QCOMPARE(doc.begin().charFormat().fontPointSize(), 9.0);
    QVERIFY(r.out.startsWith(file));
}

void TestQcToolAdd::refuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("no title") << QStringList{u"--date"_qs, u"2026-12-10"_qs} << QByteArray("x") << 2
                              << u"usage"_qs;
    QTest::newRow("no such date") << QStringList{u"--date"_qs, u"2026-02-30"_qs, u"--title"_qs,
                                                 u"t"_qs}
                                  << QByteArray("x") << 2 << u"no such date"_qs;
    QTest::newRow("unknown option")
        << QStringList{u"--titel"_qs, u"t"_qs} << QByteArray("x") << 2 << u"usage"_qs;
    QTest::newRow("not UTF-8") << QStringList{u"--title"_qs, u"t"_qs}
                               << QByteArray("\xd6\xd0\xce\xc4") << 2 << u"not UTF-8"_qs;
    QTest::newRow("too large") << QStringList{u"--title"_qs, u"t"_qs} << QByteArray(400001, 'a')
                               << 1 << u"文件太大了，无法保存！"_qs;
}

void TestQcToolAdd::refuses() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const Run r = tool(QStringList{dir.path()} + args, input);
    QCOMPARE(r.status, status);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(!QFile::exists(dir.path() + u"/DB"_qs) || QDir(dir.path() + u"/DB"_qs).isEmpty());
}

void TestQcToolAdd::refusesWhileRunning() {
    QTemporaryDir dir;
    {
        SingleCopy running(dir.path());
        QVERIFY(running.acquire());
        const Run r = tool({dir.path(), u"--title"_qs, u"t"_qs}, "x");
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(u"open in this folder"_qs), qPrintable(r.err));
        QVERIFY(!QFile::exists(dir.path() + u"/DB"_qs));
    }
    // Once it ends, the entry goes in.
    QCOMPARE(tool({dir.path(), u"--title"_qs, u"t"_qs}, "x").status, 0);
}

QTEST_MAIN(TestQcToolAdd)
#include "tst_qctooladd.moc"
