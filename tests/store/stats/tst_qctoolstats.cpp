// qingchuang-tool stats over the hand-made diary (statsdiary.h): the figures as JSON and as text,
// the file that cannot be read, and the exit statuses.
#include "statsdiary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err; // the tool's own lines; Qt's warnings about the environment left out
};

QByteArray ownLines(const QByteArray &err) {
    QByteArray own;
    for (const QByteArray &line : err.split('\n'))
        if (line.startsWith("qingchuang-tool")) own += line + '\n';
    return own;
}

Run tool(const QStringList &args) {
    QProcess p;
    p.start(qEnvironmentVariable("QC_TOOL_EXE"), QStringList{u"stats"_qs} + args);
    if (!p.waitForFinished(30000)) return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            ownLines(p.readAllStandardError())};
}

QJsonArray months(const QList<std::pair<int, int>> &values) {
    QJsonArray a;
    for (int i = 0; i < 12; ++i)
        a.append(QJsonObject{{u"month"_qs, i + 1},
                             {u"entries"_qs, values[i].first},
                             {u"characters"_qs, values[i].second}});
    return a;
}

} // namespace

class TestQcToolStats : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void json_data();
    void json();
    void text();
    void readableDiary();
    void statuses_data();
    void statuses();

private:
    QTemporaryDir m_dir;
};

void TestQcToolStats::initTestCase() {
    QVERIFY2(!qEnvironmentVariableIsEmpty("QC_TOOL_EXE"), "QC_TOOL_EXE is not set");
    statsdiary::write(m_dir.path());
}

void TestQcToolStats::json_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("expected");
    const QJsonArray tags{QJsonObject{{u"tag"_qs, u"#旅行"_qs}, {u"count"_qs, 2}},
                          QJsonObject{{u"tag"_qs, u"#新年快乐"_qs}, {u"count"_qs, 1}},
                          QJsonObject{{u"tag"_qs, u"#秘密"_qs}, {u"count"_qs, 1}}};
    QJsonObject o{{u"today"_qs, u"2024-03-02"_qs},
                  {u"entries"_qs, 10},
                  {u"lockedEntries"_qs, 1},
                  {u"writtenDays"_qs, 8},
                  {u"characters"_qs, 37},
                  {u"charactersThisYear"_qs, 27},
                  {u"charactersThisMonth"_qs, 12},
                  {u"averagePerWrittenDay"_qs, 5},
                  {u"currentStreak"_qs, 5},
                  {u"longestStreak"_qs, 5},
                  {u"firstEntry"_qs, u"2023-12-30"_qs},
                  {u"year"_qs, 2024},
                  {u"tags"_qs, tags},
                  {u"unreadable"_qs, QJsonArray{m_dir.path() + u"/DB/20240110.KAV"_qs}}};
    o[u"months"_qs] = months({{1, 6}, {4, 9}, {2, 12}, {}, {}, {}, {}, {}, {}, {}, {}, {}});
    QTest::newRow("this year") << QStringList{u"--json"_qs, u"--today"_qs, u"2024-03-02"_qs}
                               << QJsonDocument(o).toJson(QJsonDocument::Compact);
    o[u"year"_qs] = 2023;
    o[u"months"_qs] = months({{}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {3, 10}});
    QTest::newRow("--year") << QStringList{u"--today"_qs, u"2024-03-02"_qs, u"--year"_qs,
                                           u"2023"_qs, u"--json"_qs}
                            << QJsonDocument(o).toJson(QJsonDocument::Compact);
}

void TestQcToolStats::json() {
    QFETCH(QStringList, options);
    QFETCH(QByteArray, expected);
    const Run r = tool(QStringList{m_dir.path()} + options);
    QCOMPARE(r.status, 1); // the folder named as a date file cannot be read
    QCOMPARE(r.err, "qingchuang-tool stats: cannot read " + QFile::encodeName(m_dir.path()) +
                        "/DB/20240110.KAV\n");
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(doc.toJson(QJsonDocument::Compact), expected);
}

void TestQcToolStats::text() {
    const Run r = tool({m_dir.path(), u"--today"_qs, u"2024-03-02"_qs});
    QCOMPARE(r.status, 1);
    QCOMPARE(QString::fromUtf8(r.out), u"日记篇数：10（加锁 1 篇，字数未知）\n"
                                       u"写日记的天数：8\n"
                                       u"总字数：37\n"
                                       u"今年字数：27\n"
                                       u"本月字数：12\n"
                                       u"平均每天字数：5\n"
                                       u"当前连续天数：5\n"
                                       u"最长连续天数：5\n"
                                       u"第一篇日记：2023-12-30\n"
                                       u"\n2024 年各月：\n"
                                       u"1 月\t1 篇\t6 字\n2 月\t4 篇\t9 字\n3 月\t2 篇\t12 字\n"
                                       u"4 月\t0 篇\t0 字\n5 月\t0 篇\t0 字\n6 月\t0 篇\t0 字\n"
                                       u"7 月\t0 篇\t0 字\n8 月\t0 篇\t0 字\n9 月\t0 篇\t0 字\n"
                                       u"10 月\t0 篇\t0 字\n11 月\t0 篇\t0 字\n12 月\t0 篇\t0 字\n"
                                       u"\n话题：\n#旅行\t2\n#新年快乐\t1\n#秘密\t1\n"_qs);
}

void TestQcToolStats::readableDiary() {
    // Without the folder in its way the diary reads whole: status 0, nothing on stderr.
    QTemporaryDir dir;
    statsdiary::write(dir.path());
    QVERIFY(QDir(dir.path() + u"/DB"_qs).rmdir(u"20240110.KAV"_qs));
    const Run r = tool({dir.path(), u"--json"_qs, u"--today"_qs, u"2024-03-04"_qs});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(o.value(u"currentStreak"_qs).toInt(), 0);
    QCOMPARE(o.value(u"unreadable"_qs).toArray(), QJsonArray());
}

void TestQcToolStats::statuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("no folder") << QStringList{} << 2;
    QTest::newRow("unknown option") << QStringList{u"DIR"_qs, u"--csv"_qs} << 2;
    QTest::newRow("year missing") << QStringList{u"DIR"_qs, u"--year"_qs} << 2;
    QTest::newRow("year not a number") << QStringList{u"DIR"_qs, u"--year"_qs, u"20x4"_qs} << 2;
    QTest::newRow("today not a date")
        << QStringList{u"DIR"_qs, u"--today"_qs, u"2024-02-30"_qs} << 2;
    QTest::newRow("folder missing") << QStringList{u"MISSING"_qs} << 1;
}

void TestQcToolStats::statuses() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    for (QString &a : args) {
        if (a == u"DIR"_qs) a = m_dir.path();
        if (a == u"MISSING"_qs) a = m_dir.path() + u"/missing"_qs;
    }
    QCOMPARE(tool(args).status, status);
}

QTEST_GUILESS_MAIN(TestQcToolStats)
#include "tst_qctoolstats.moc"
