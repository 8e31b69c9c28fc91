#include "store/diary/recovery.h"
#include "ui/diary/draftkeeper.h"

#include "testsupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The recovery draft of the main window's edit, kept by its own class: written a moment after a
// change, never for an edit to be locked, gone when the edit ends, offered again at the next start.
class TestDraftKeeper : public QObject {
    Q_OBJECT

    struct Keeper {
        QTemporaryDir dir;
        recovery::Draft shown{recovery::Kind::Entry, QDate(2004, 9, 8), u"标题"_qs,
                              u"{\\rtf1 words}"_qs};
        bool locked = false;
        int asked = 0; // how often the keeper asked for the draft
        DraftKeeper keeper{dir.path(),
                           [this] {
                               ++asked;
                               return shown;
                           },
                           [this] { return locked; }};

        QTimer *timer() const { return keeper.findChild<QTimer *>(u"tmDraft"_qs); }
        bool draftDue() {
            QSignalSpy spy(timer(), &QTimer::timeout);
            return spy.wait(DraftKeeper::kDelayMs * 2);
        }
        bool onDisk() const { return QFile::exists(recovery::draftPath(dir.path())); }
    };

private slots:
    void changeReachesTheDraft();
    void lockedEditKeepsNone();
    void endingAnEditRemovesIt();
    void leftOver_data();
    void leftOver();
};

void TestDraftKeeper::changeReachesTheDraft() {
    Keeper k;
    k.keeper.editStarted();
    QVERIFY(!k.keeper.hasChanges() && !k.timer()->isActive());
    k.keeper.edited();
    QVERIFY(k.keeper.hasChanges());
    // Nothing is written at once: a burst of typing costs one write.
    QVERIFY(!k.onDisk());
    k.keeper.edited();
    QVERIFY(k.draftDue());
    QCOMPARE(k.asked, 1);
    QCOMPARE(recovery::load(k.dir.path()), std::optional<recovery::Draft>(k.shown));
    // The next change writes what the window shows then.
    k.shown.richText = u"{\\rtf1 more words}"_qs;
    k.keeper.edited();
    QVERIFY(k.draftDue());
    QCOMPARE(recovery::load(k.dir.path()), std::optional<recovery::Draft>(k.shown));
}

// An edit to be locked by a password never reaches a draft: a change while locked removes the one
// written before, ticking the lock removes it at once, unticking brings one back soon.
void TestDraftKeeper::lockedEditKeepsNone() {
    Keeper k;
    k.keeper.editStarted();
    k.keeper.edited();
    QVERIFY(k.draftDue());
    QVERIFY(k.onDisk());
    k.locked = true;
    k.keeper.lockChanged();
    QVERIFY(!k.onDisk());
    k.keeper.edited();
    QVERIFY(k.draftDue());
    QVERIFY(!k.onDisk());
    k.locked = false;
    k.keeper.lockChanged();
    QVERIFY(k.timer()->isActive());
    QVERIFY(k.draftDue());
    QVERIFY(k.onDisk());
    QCOMPARE(k.asked, 2); // never asked for the words while locked
}

void TestDraftKeeper::endingAnEditRemovesIt() {
    Keeper k;
    k.keeper.editStarted();
    k.keeper.edited();
    QVERIFY(k.draftDue());
    k.keeper.edited();
    k.keeper.editEnded();
    QVERIFY(!k.onDisk() && !k.keeper.hasChanges() && !k.timer()->isActive());
    // Setting up the next edit is no change of it.
    k.keeper.edited();
    k.keeper.editStarted();
    QVERIFY(!k.timer()->isActive());
    QTest::qWait(DraftKeeper::kDelayMs + 500);
    QVERIFY(!k.onDisk());
    QCOMPARE(k.asked, 1);
}

void TestDraftKeeper::leftOver_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<bool>("offered");
    QTest::newRow("entry") << int(recovery::Kind::Entry) << QDate(2001, 2, 3) << true;
    QTest::newRow("first day") << int(recovery::Kind::Entry) << QDate(100, 1, 1) << true;
    QTest::newRow("last day") << int(recovery::Kind::Entry) << QDate(9999, 12, 31) << true;
    QTest::newRow("before the diary's days")
        << int(recovery::Kind::Entry) << QDate(99, 12, 31) << false;
    QTest::newRow("home page") << int(recovery::Kind::HomePage) << QDate() << true;
    QTest::newRow("collection item") << int(recovery::Kind::CollectionItem) << QDate() << true;
}

void TestDraftKeeper::leftOver() {
    QFETCH(int, kind);
    QFETCH(QDate, date);
    QFETCH(bool, offered);
    Keeper k;
    QCOMPARE(k.keeper.leftOver(), std::nullopt);
    const recovery::Draft draft{recovery::Kind(kind), date, u"找回"_qs, u"{\\rtf1 x}"_qs};
    QVERIFY(recovery::save(k.dir.path(), draft).ok());
    QCOMPARE(k.keeper.leftOver(), offered ? std::optional<recovery::Draft>(draft) : std::nullopt);
}

QTEST_MAIN(TestDraftKeeper)
#include "tst_draftkeeper.moc"
