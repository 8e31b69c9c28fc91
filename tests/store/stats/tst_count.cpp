// The 字数 rule and the #话题 tags, case by case.
#include "store/stats/count.h"

#include <QTest>

class TestCount : public QObject {
    Q_OBJECT
private slots:
    void count_data();
    void count();
    void tags_data();
    void tags();
};

void TestCount::count_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("Han") << u"今天天气很好"_qs << 6;
    QTest::newRow("mixed Chinese, English, digits") << u"我用Qt写了2篇日记。"_qs << 9;
    QTest::newRow("digits glued to Han") << u"2024年5月1日"_qs << 6;
    QTest::newRow("English words and punctuation") << u"Hello, world! How are you?"_qs << 5;
    QTest::newRow("apostrophe inside a word") << u"don't stop’n go"_qs << 3;
    QTest::newRow("apostrophes around a word") << u"'quoted' word"_qs << 2;
    QTest::newRow("decimal point and thousands") << u"3.14 和 1,000 元"_qs << 4;
    QTest::newRow("full stop ends a word") << u"end. Next,then"_qs << 3;
    QTest::newRow("full-width letters and digits") << u"ＡＢＣ１２３，全角"_qs << 3;
    QTest::newRow("full-width digits beside Han") << u"２０２４年５月"_qs << 4;
    QTest::newRow("full-width punctuation only") << u"，。！？【】“”……"_qs << 0;
    QTest::newRow("emoji") << u"开心😀😀！👍🏽"_qs << 2;
    QTest::newRow("emoji between letters") << u"ab😀cd"_qs << 2;
    QTest::newRow("beyond U+20000") << u"\U00020000\U0002A6A5字"_qs << 3;
    QTest::newRow("hiragana and katakana") << u"ひらがなカタカナ"_qs << 8;
    QTest::newRow("prolonged sound mark") << u"コーヒー"_qs << 4;
    QTest::newRow("half-width katakana") << u"ｶﾀｶﾅ"_qs << 4;
    QTest::newRow("hangul") << u"안녕하세요 세계"_qs << 7;
    QTest::newRow("iteration mark and zero") << u"人々〇"_qs << 3;
    QTest::newRow("combining accent") << u"cafe\u0301 au lait"_qs << 3;
    QTest::newRow("Cyrillic and Greek") << u"Привет мир αβγ"_qs << 3;
    QTest::newRow("blanks and line breaks") << u"一\n二\t三  four\r\nfive"_qs << 5;
    QTest::newRow("picture") << u"图\uFFFC片"_qs << 2;
    QTest::newRow("address") << u"me@example.com"_qs << 3;
    QTest::newRow("symbols") << u"C++ & C# + 100%"_qs << 3;
}

void TestCount::count() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(stats::characterCount(text), qsizetype(expected));
}

void TestCount::tags_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("one") << u"#话题 正文"_qs << QStringList{u"#话题"_qs};
    QTest::newRow("inside Chinese text")
        << u"今天#旅行，#读书_笔记！"_qs << QStringList{u"#旅行"_qs, u"#读书_笔记"_qs};
    QTest::newRow("letters, digits, beyond U+20000")
        << u"#Qt6 和 #\U00020000字。"_qs << QStringList{u"#Qt6"_qs, u"#\U00020000字"_qs};
    QTest::newRow("same tag twice") << u"#a b #a"_qs << QStringList{u"#a"_qs, u"#a"_qs};
    QTest::newRow("in brackets") << u"（#工作）(#work)"_qs << QStringList{u"#工作"_qs, u"#work"_qs};
    QTest::newRow("full-width hash") << u"＃全角"_qs << QStringList{u"#全角"_qs};
    QTest::newRow("web address") << u"https://example.com/page#section"_qs << QStringList();
    QTest::newRow("address glued to Chinese")
        << u"见https://a.cn/p#二 然后#真"_qs << QStringList{u"#真"_qs};
    QTest::newRow("after an address and a comma")
        << u"https://a.cn，#真"_qs << QStringList{u"#真"_qs};
    QTest::newRow("www address") << u"看www.a.cn/#x"_qs << QStringList();
    QTest::newRow("character reference") << u"&#23383; &#x5B57;"_qs << QStringList();
    QTest::newRow("after ASCII letters") << u"C# 和 F#语言"_qs << QStringList();
    QTest::newRow("hash alone") << u"# 空 #。"_qs << QStringList();
    QTest::newRow("double hash") << u"##两个"_qs << QStringList{u"#两个"_qs};
    QTest::newRow("ended by punctuation")
        << u"#话题。#emoji😀"_qs << QStringList{u"#话题"_qs, u"#emoji"_qs};
}

void TestCount::tags() {
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(stats::tagsIn(text), expected);
}

QTEST_GUILESS_MAIN(TestCount)
#include "tst_count.moc"
