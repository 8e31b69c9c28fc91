#include "ui/diary/diarytext.h"

#include <QTest>

// The main window's texts built from dates, and the date typed into its three boxes.
class TestDiaryText : public QObject {
    Q_OBJECT
private slots:
    void typedDates_data();
    void typedDates();
    void texts();
};

void TestDiaryText::typedDates_data() {
    QTest::addColumn<QString>("y");
    QTest::addColumn<QString>("m");
    QTest::addColumn<QString>("d");
    QTest::addColumn<QDate>("date");
    QTest::newRow("2004-9-8") << u"2004"_qs << u"9"_qs << u"8"_qs << QDate(2004, 9, 8);
    QTest::newRow("30 February") << u"2004"_qs << u"2"_qs << u"30"_qs << QDate();
    QTest::newRow("month 13") << u"2004"_qs << u"13"_qs << u"1"_qs << QDate();
    QTest::newRow("29 February of a leap year")
        << u"2004"_qs << u"2"_qs << u"29"_qs << QDate(2004, 2, 29);
    QTest::newRow("two-digit year 29") << u"29"_qs << u"1"_qs << u"1"_qs << QDate(2029, 1, 1);
    QTest::newRow("two-digit year 30") << u"30"_qs << u"1"_qs << u"1"_qs << QDate(1930, 1, 1);
    QTest::newRow("year 100") << u"100"_qs << u"1"_qs << u"1"_qs << QDate(100, 1, 1);
    QTest::newRow("year 99 is 1999") << u"99"_qs << u"12"_qs << u"31"_qs << QDate(1999, 12, 31);
    QTest::newRow("empty") << QString() << u"1"_qs << u"1"_qs << QDate();
    QTest::newRow("letters") << u"2oo4"_qs << u"1"_qs << u"1"_qs << QDate();
    QTest::newRow("negative") << u"-5"_qs << u"1"_qs << u"1"_qs << QDate();
    QTest::newRow("9999-12-31") << u"9999"_qs << u"12"_qs << u"31"_qs << QDate(9999, 12, 31);
}

void TestDiaryText::typedDates() {
    QFETCH(QString, y);
    QFETCH(QString, m);
    QFETCH(QString, d);
    QFETCH(QDate, date);
    const std::optional<QDate> got = diary::parseTypedDate(y, m, d);
    QCOMPARE(got.value_or(QDate()), date);
}

void TestDiaryText::texts() {
    const QDate d(2004, 9, 8);
    QCOMPARE(diary::dateStatusText(d), u" 当前记录：2004年9月8日 (星期三)"_qs);
    QCOMPARE(diary::shortDate(d), u"2004-9-8"_qs);
    QCOMPARE(diary::entryTemplate(d),
             u"\r\n    2004年9月8日   星期三   天气：\r\n"
             u"^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^~^\r\n    "_qs);
    QCOMPARE(diary::entryTemplate(QDate(100, 1, 1)).left(24),
             u"\r\n    100年1月1日   星期五   天"_qs);
    QCOMPARE(diary::elapsedText(0), u"0:00:00"_qs);
    QCOMPARE(diary::elapsedText(3725), u"1:02:05"_qs);
    QCOMPARE(diary::noRecordText(d), u"\r\n  没有 2004年9月8日 的记录。"_qs);
}

QTEST_GUILESS_MAIN(TestDiaryText)
#include "tst_diarytext.moc"
