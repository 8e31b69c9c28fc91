// qingchuang-tool find: the same hits as the window, one a line, and its exit statuses.
#include "store/find/engine.h"

#include "finddiary.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QString out;
};

Run tool(const QStringList &args) {
    QProcess p;
    p.start(qEnvironmentVariable("QC_TOOL_EXE"), QStringList{u"find"_qs} + args);
    if (!p.waitForFinished(30000)) return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput())};
}

} // namespace

class TestQcToolFind : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void lines_data();
    void lines();
    void statuses_data();
    void statuses();

private:
    QTemporaryDir m_dir;
};

void TestQcToolFind::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("QC_TOOL_EXE"),
             "QC_TOOL_EXE is not set: ctest sets it to the built qingchuang-tool");
    finddiary::write(m_dir.path());
}

void TestQcToolFind::lines_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("out");
    QTest::newRow("entry and collection") << QStringList{u"全文"_qs}
                                          << u"2004-09-08\t旅行\t今天去了全文搜索的地方，晴窗明几净\n"
                                             u"珍藏\t珍藏一\t收藏的全文\n"_qs;
    QTest::newRow("words as separate arguments") << QStringList{u"HELLO"_qs, u"world"_qs}
                                                 << u"2003-09-08\t那年\tHello World, one character 字\n"_qs;
    QTest::newRow("locked: title, no snippet") << QStringList{u"秘密"_qs} << u"2004-09-08\t秘密日记\t\n"_qs;
    QTest::newRow("no hit") << QStringList{u"机密"_qs} << QString();
}

void TestQcToolFind::lines() {
    QFETCH(QStringList, words);
    QFETCH(QString, out);
    const Run r = tool(QStringList{m_dir.path()} + words);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, out);
    // The lines are the engine's hits.
    QStringList expected;
    for (const find::Hit &h : find::Engine(m_dir.path()).search(words.join(u' ')))
        expected << find::dateText(h) + u'\t' + h.title + u'\t' + h.snippet;
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts), expected);
}

void TestQcToolFind::statuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("no such folder") << QStringList{u"/nonexistent/qingchuang"_qs, u"x"_qs} << 1;
    QTest::newRow("no words") << QStringList{u"."_qs} << 2;
    QTest::newRow("blank words") << QStringList{u"."_qs, u"  "_qs} << 2;
    QTest::newRow("nothing") << QStringList{} << 2;
}

void TestQcToolFind::statuses() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    const Run r = tool(args);
    QCOMPARE(r.status, status);
    QCOMPARE(r.out, QString());
}

QTEST_MAIN(TestQcToolFind)
#include "tst_qctoolfind.moc"
