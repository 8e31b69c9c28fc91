// Conflict-copy names of the sync tools, taken from names the tools write, and names that only
// look alike.
#include "store/conflict/conflictname.h"

#include <QTest>

Q_DECLARE_METATYPE(conflict::Tool)

class TestConflictName : public QObject {
    Q_OBJECT
private slots:
    void copies_data();
    void copies();
    void lookAlikes_data();
    void lookAlikes();
};

void TestConflictName::copies_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("original");
    QTest::addColumn<conflict::Tool>("tool");
    QTest::addColumn<QDate>("date");
    using conflict::Tool;
    const QDate d(2026, 12, 10);
    QTest::newRow("Syncthing date file") << u"20261210.sync-conflict-20261210-083015-ABCD7EF.KAV"_qs
                                         << u"20261210.KAV"_qs << Tool::Syncthing << d;
    QTest::newRow("Syncthing collection item")
        << u"晴天.sync-conflict-20261209-235959-7XQPN2M"_qs << u"晴天"_qs << Tool::Syncthing
        << QDate(2026, 12, 9);
    QTest::newRow("Syncthing Config.ini") << u"Config.sync-conflict-20261210-083015-ABCDEFG.ini"_qs
                                          << u"Config.ini"_qs << Tool::Syncthing << d;
    QTest::newRow("Syncthing title with dots")
        << u"v1.2 笔记.sync-conflict-20261210-083015-ABCDEFG.txt"_qs << u"v1.2 笔记.txt"_qs
        << Tool::Syncthing << d;
    // As Syncthing 1.19 named them in scripts/sync-check.sh.
    QTest::newRow("Syncthing 1.19, date file")
        << u"20261210.sync-conflict-20261211-024950-OI2LIPA.KAV"_qs << u"20261210.KAV"_qs
        << Tool::Syncthing << QDate(2026, 12, 11);
    QTest::newRow("Syncthing 1.19, item") << u"游记.sync-conflict-20261211-024950-OI2LIPA"_qs
                                          << u"游记"_qs << Tool::Syncthing << QDate(2026, 12, 11);
    QTest::newRow("Nextcloud") << u"20261210 (conflicted copy 2026-12-10 083015).KAV"_qs
                               << u"20261210.KAV"_qs << Tool::Nextcloud << d;
    QTest::newRow("Nextcloud with user")
        << u"Message (conflicted copy alice smith 2026-12-10 083015).txt"_qs << u"Message.txt"_qs
        << Tool::Nextcloud << d;
    QTest::newRow("Nextcloud item")
        << u"晴天 (conflicted copy 2026-12-10 083015)"_qs << u"晴天"_qs << Tool::Nextcloud << d;
    QTest::newRow("ownCloud") << u"index_conflict-20261210-083015.KAV"_qs << u"index.KAV"_qs
                              << Tool::OwnCloud << d;
    QTest::newRow("ownCloud item")
        << u"晴天_conflict-20261210-083015"_qs << u"晴天"_qs << Tool::OwnCloud << d;
    QTest::newRow("Dropbox") << u"20261210 (laptop's conflicted copy 2026-12-10).KAV"_qs
                             << u"20261210.KAV"_qs << Tool::Dropbox << d;
    QTest::newRow("Dropbox numbered")
        << u"20261210 (laptop's conflicted copy 2026-12-10 (1)).KAV"_qs << u"20261210.KAV"_qs
        << Tool::Dropbox << d;
    QTest::newRow("Dropbox numbered 12")
        << u"1 (Wang Fang's conflicted copy 2026-12-10 (12)).usr"_qs << u"1.usr"_qs << Tool::Dropbox
        << d;
    QTest::newRow("Dropbox item, typographic apostrophe")
        << u"晴天 (laptop’s conflicted copy 2026-12-10)"_qs << u"晴天"_qs << Tool::Dropbox << d;
    QTest::newRow("copy of a copy")
        << u"20261210.sync-conflict-20261210-083015-ABCDEFG.sync-conflict-20261211-010203-HIJKLMN.KAV"_qs
        << u"20261210.sync-conflict-20261210-083015-ABCDEFG.KAV"_qs << Tool::Syncthing
        << QDate(2026, 12, 11);
}

void TestConflictName::copies() {
    QFETCH(QString, name);
    QFETCH(QString, original);
    QFETCH(conflict::Tool, tool);
    QFETCH(QDate, date);
    const std::optional<conflict::CopyName> c = conflict::parseCopyName(name);
    QVERIFY(c);
    QCOMPARE(c->original, original);
    QCOMPARE(c->tool, tool);
    QCOMPARE(c->date, date);
}

void TestConflictName::lookAlikes_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("title with the words") << u"关于 conflicted copy 的笔记"_qs;
    QTest::newRow("no date") << u"20261210 (conflicted copy).KAV"_qs;
    QTest::newRow("Nextcloud, no such day")
        << u"20261210 (conflicted copy 2026-13-40 083015).KAV"_qs;
    QTest::newRow("Nextcloud, no time") << u"20261210 (conflicted copy 2026-12-10).KAV"_qs;
    QTest::newRow("Syncthing, no such time")
        << u"20261210.sync-conflict-20261210-256199-ABCDEFG.KAV"_qs;
    QTest::newRow("Syncthing, short date")
        << u"20261210.sync-conflict-2026121-083015-ABCDEFG.KAV"_qs;
    QTest::newRow("Syncthing, short device")
        << u"20261210.sync-conflict-20261210-083015-ABC.KAV"_qs;
    QTest::newRow("Syncthing, nothing before") << u".sync-conflict-20261210-083015-ABCDEFG"_qs;
    QTest::newRow("words sync-conflict") << u"我的 sync-conflict 笔记"_qs;
    QTest::newRow("ownCloud, no time") << u"报告_conflict-20261210.KAV"_qs;
    QTest::newRow("Dropbox, no host") << u"20261210 (conflicted copy 2026-12-10).KAV"_qs;
    QTest::newRow("Dropbox, number 0")
        << u"20261210 (laptop's conflicted copy 2026-12-10 (0)).KAV"_qs;
    QTest::newRow("marker not before the extension")
        << u"20261210 (laptop's conflicted copy 2026-12-10) x.KAV"_qs;
    QTest::newRow("plain date file") << u"20261210.KAV"_qs;
}

void TestConflictName::lookAlikes() {
    QFETCH(QString, name);
    const std::optional<conflict::CopyName> c = conflict::parseCopyName(name);
    QVERIFY2(!c, qPrintable(c ? c->original : QString()));
}

QTEST_APPLESS_MAIN(TestConflictName)
#include "tst_conflictname.moc"
