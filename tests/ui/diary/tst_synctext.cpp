// The status line after conflict copies were merged.
#include "ui/diary/synctext.h"

#include <QTest>

using conflict::Outcome;

namespace {

// A report of steps with these outcomes; a Merged step gained `added` entries.
conflict::Report reportOf(const QList<Outcome> &outcomes, int added = 0) {
    conflict::Report report;
    for (Outcome o : outcomes) {
        conflict::Step step;
        step.outcome = o;
        if (o == Outcome::Merged) step.added = added;
        report.steps.append(step);
    }
    return report;
}

} // namespace

class TestSyncText : public QObject {
    Q_OBJECT

private slots:
    void statusLine_data();
    void statusLine();
};

void TestSyncText::statusLine_data() {
    QTest::addColumn<QList<Outcome>>("outcomes");
    QTest::addColumn<int>("added");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing found") << QList<Outcome>{} << 0 << QString();
    QTest::newRow("every kind")
        << QList<Outcome>{Outcome::Merged,     Outcome::KeptAsItem, Outcome::MovedAside,
                          Outcome::MovedAside, Outcome::MovedAside, Outcome::Damaged}
        << 1
        << u" 同步冲突：1 天的日记并入 1 篇，1 份另一版本存入珍藏，3 个相同或无需合并的副本已移开，"
           u"1 个损坏的副本未合并，已移开。副本在 Backup\\conflicts。"_qs;
    // The older home page is kept as an item too.
    QTest::newRow("home page replaced")
        << QList<Outcome>{Outcome::HomeReplaced} << 0
        << u" 同步冲突：1 份另一版本存入珍藏，首页换为较新的版本。副本在 Backup\\conflicts。"_qs;
    QTest::newRow("two date files")
        << QList<Outcome>{Outcome::Merged, Outcome::Merged} << 3
        << u" 同步冲突：2 天的日记并入 6 篇。副本在 Backup\\conflicts。"_qs;
    QTest::newRow("failed")
        << QList<Outcome>{Outcome::Failed, Outcome::Failed} << 0
        << u" 同步冲突：2 个副本合并失败，留在原处。副本在 Backup\\conflicts。"_qs;
}

void TestSyncText::statusLine() {
    QFETCH(QList<Outcome>, outcomes);
    QFETCH(int, added);
    QFETCH(QString, expected);
    QCOMPARE(syncStatusText(reportOf(outcomes, added)), expected);
}

QTEST_GUILESS_MAIN(TestSyncText)
#include "tst_synctext.moc"
