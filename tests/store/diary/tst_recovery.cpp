// The recovery draft's file: what is written reads back the same, and what is no draft is refused.
#include "store/diary/recovery.h"
#include "store/common/localname.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(recovery::Draft)

class TestRecovery : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void notADraft_data();
    void notADraft();
    void saveLoadDiscard();
};

void TestRecovery::roundTrip_data() {
    QTest::addColumn<recovery::Draft>("draft");
    const QString rtf = u"{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\u55357?\\u56832?\\par\r\n\r\n}"_qs;
    QTest::newRow("entry") << recovery::Draft{recovery::Kind::Entry, QDate(2004, 9, 8), u"晴天"_qs, rtf};
    QTest::newRow("title with line breaks, blanks and %") << recovery::Draft{
        recovery::Kind::Entry, QDate(100, 1, 1), u" a\r\nb %41 😀 "_qs, rtf};
    QTest::newRow("home page") << recovery::Draft{recovery::Kind::HomePage, QDate(), u"无标题"_qs, rtf};
    QTest::newRow("collection item, empty") << recovery::Draft{recovery::Kind::CollectionItem, QDate(), QString(), QString()};
}

void TestRecovery::roundTrip() {
    QFETCH(recovery::Draft, draft);
    const QByteArray bytes = recovery::toBytes(draft);
    const std::optional<recovery::Draft> back = recovery::fromBytes(bytes);
    QVERIFY(back);
    QCOMPARE(back->kind, draft.kind);
    QCOMPARE(back->date, draft.date);
    QCOMPARE(back->title, draft.title);
    QCOMPARE(back->richText, draft.richText);
    // The header is four lines at most and the rich text follows the empty line as it is.
    QVERIFY(bytes.endsWith(draft.richText.toUtf8()));
    QVERIFY(bytes.left(bytes.indexOf("\r\n\r\n")).count('\n') <= 3);
}

void TestRecovery::notADraft_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("another header") << QByteArray("QCDRAFT 2\r\nkind home\r\ntitle x\r\n\r\nrtf");
    QTest::newRow("no empty line") << QByteArray("QCDRAFT 1\r\nkind home\r\ntitle x\r\n");
    QTest::newRow("unknown kind") << QByteArray("QCDRAFT 1\r\nkind diary\r\ntitle x\r\n\r\nrtf");
    QTest::newRow("entry without date") << QByteArray("QCDRAFT 1\r\nkind entry\r\ntitle x\r\n\r\nrtf");
    QTest::newRow("entry with a bad date") << QByteArray("QCDRAFT 1\r\nkind entry\r\ndate 2004-02-30\r\ntitle x\r\n\r\nrtf");
    QTest::newRow("no title") << QByteArray("QCDRAFT 1\r\nkind home\r\n\r\nrtf");
}

void TestRecovery::notADraft() {
    QFETCH(QByteArray, bytes);
    QVERIFY(!recovery::fromBytes(bytes));
}

void TestRecovery::saveLoadDiscard() {
    QTemporaryDir dir;
    QVERIFY(!recovery::load(dir.path()));
    const recovery::Draft d{recovery::Kind::HomePage, QDate(), u"t"_qs, u"{\\rtf1 x}"_qs};
    QVERIFY(recovery::save(dir.path(), d));
    QCOMPARE(recovery::draftPath(dir.path()), dir.path() + u"/Recovery/draft-"_qs + localname::host() + u".rtf"_qs);
    QCOMPARE(testsupport::readFile(recovery::draftPath(dir.path())), recovery::toBytes(d));
    QCOMPARE(recovery::load(dir.path()), std::optional<recovery::Draft>(d));
    QVERIFY(recovery::discard(dir.path()));
    QVERIFY(!QFile::exists(recovery::draftPath(dir.path())));
    QVERIFY(recovery::discard(dir.path()));

    // A draft an older copy left under the name without a host is still found, and goes with
    // the next discard; this computer's own draft comes first.
    const QString old = dir.path() + u"/Recovery/draft.rtf"_qs;
    QVERIFY(testsupport::writeFile(old, recovery::toBytes(d)));
    QCOMPARE(recovery::load(dir.path()), std::optional<recovery::Draft>(d));
    const recovery::Draft mine{recovery::Kind::Entry, QDate(2026, 12, 10), u"mine"_qs, u"{\\rtf1 y}"_qs};
    QVERIFY(recovery::save(dir.path(), mine));
    QCOMPARE(recovery::load(dir.path()), std::optional<recovery::Draft>(mine));
    QVERIFY(recovery::discard(dir.path()));
    QVERIFY(!QFile::exists(old));
    QVERIFY(!recovery::load(dir.path()));
}

QTEST_GUILESS_MAIN(TestRecovery)
#include "tst_recovery.moc"
