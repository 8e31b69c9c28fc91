#include "store/settings/config.h"

#include "store/common/codepage.h"
#include "testsupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unicode/calendar.h>
#include <unicode/gregocal.h>

#include <memory>

namespace {

// The Chinese lunar date of a Gregorian date in the words the settings file uses, from ICU's
// Chinese calendar: 戊辰年正月廿八.
QString lunarWords(const QDate &date) {
    UErrorCode status = U_ZERO_ERROR;
    icu::GregorianCalendar gregorian(status);
    gregorian.clear();
    gregorian.set(date.year(), date.month() - 1, date.day());
    const UDate t = gregorian.getTime(status);
    std::unique_ptr<icu::Calendar> chinese(
        icu::Calendar::createInstance(icu::Locale("zh_CN@calendar=chinese"), status));
    chinese->setTime(t, status);
    const int cycleYear = chinese->get(UCAL_YEAR, status); // 1 = 甲子
    const int month = chinese->get(UCAL_MONTH, status) + 1;
    const bool leap = chinese->get(UCAL_IS_LEAP_MONTH, status) != 0;
    const int day = chinese->get(UCAL_DATE, status);
    if (U_FAILURE(status)) return QString();
    const QString stems = u"甲乙丙丁戊己庚辛壬癸"_qs, branches = u"子丑寅卯辰巳午未申酉戌亥"_qs;
    const QStringList months = {u"正"_qs, u"二"_qs, u"三"_qs, u"四"_qs, u"五"_qs, u"六"_qs,
                                u"七"_qs, u"八"_qs, u"九"_qs, u"十"_qs, u"冬"_qs, u"腊"_qs};
    const QString digits = u"一二三四五六七八九十"_qs;
    QString dayText;
    if (day <= 10) dayText = u"初"_qs + digits.at(day - 1);
    else if (day < 20) dayText = u"十"_qs + digits.at(day - 11);
    else if (day == 20) dayText = u"二十"_qs;
    else if (day < 30) dayText = u"廿"_qs + digits.at(day - 21);
    else dayText = u"三十"_qs;
    return QString(stems.at((cycleYear - 1) % 10)) + branches.at((cycleYear - 1) % 12) + u"年"_qs +
           (leap ? u"闰"_qs : QString()) + months.at(month - 1) + u"月"_qs + dayText;
}

Settings parseText(const QString &text, bool *ok = nullptr) {
    Settings s;
    const bool result = settings::parseConfigData(cp936::encode(text), s);
    if (ok) *ok = result;
    return s;
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT
private slots:
    void defaultFileIsWrittenAndRead();
    void defaultBirthdaysAreTrueLunarDates();
    void parse_data();
    void parse();
    void errorKeepsWhatWasAppliedBefore();
    void unwritableFolderKeepsSettings();
    void existingFileIsNotRewritten();
};

void TestConfig::defaultFileIsWrittenAndRead() {
    QTemporaryDir dir;
    Settings s;
    settings::LoadConfig(dir.path(), s);
    const QByteArray bytes = testsupport::readFile(dir.path() + u"/Config.ini"_qs);
    QVERIFY(bytes.endsWith("\r\n"));
    QVERIFY(!bytes.contains("\n\n") && !bytes.startsWith("\xef\xbb\xbf"));
    const QString text = cp936::decode(bytes);
    QStringList lines = text.split(u"\r\n"_qs);
    QCOMPARE(lines.takeLast(), QString()); // after the final CR LF
    QCOMPARE(lines.size(), 42);
    // Fixed lines, by number (1-based).
    const QList<std::pair<int, QString>> fixed = {
        {1, u"[index]"_qs},      {2, u"path=index.KAV"_qs},  {4, u"[Host]"_qs},
        {5, u"host=127.0.0.1"_qs}, {7, u"[About]"_qs},       {17, u"[Lover]"_qs},
        {22, u"[Message]"_qs},   {23, u"Msg=  I LOVE YOU! Forever ..."_qs},
        {25, u"[Server]"_qs},    {26, u"Server=0"_qs},       {28, u"[PassCheck]"_qs},
        {29, u"Passme=1"_qs},    {31, u"[LocPort]"_qs},      {32, u"LocalPort=9233"_qs},
        {34, u"[Deletion]"_qs},  {35, u"Diary=1"_qs},        {36, u"Love=1"_qs},
        {38, u"[ImagePath]"_qs}, {39, u"ImagesPath=C:\\Images\\"_qs},
        {40, u"PicSavePath=C:\\PicSave\\"_qs}, {41, u"noLogo=0"_qs}};
    for (const auto &[n, expected] : fixed)
        QCOMPARE(lines.at(n - 1), expected);
    for (int n : {3, 6, 16, 21, 24, 27, 30, 33, 37, 42})
        QVERIFY2(lines.at(n - 1).isEmpty(), qPrintable(QString::number(n)));
    // Personal lines: their forms.
    const QList<std::pair<int, QString>> forms = {
        {8, u"^Nick= \\S+$"_qs},
        {9, u"^Name= \\S+$"_qs},
        {10, u"^Sex= (男|女)$"_qs},
        {11, u"^Birthday= \\d{4}-\\d{2}-\\d{2}\\(农历：\\S+\\)$"_qs},
        {12, u"^Address= \\S+$"_qs},
        {13, u"^HomePage= https?://\\S+\\(\\S+\\)$"_qs},
        {14, u"^Tel= \\d{3,4}-\\d{7,8}$"_qs},
        {15, u"^Email= [^@\\s=]+@[^@\\s=]+$"_qs},
        {18, u"^Name= \\S+$"_qs},
        {19, u"^Nick= \\S+ \\S+$"_qs},
        {20, u"^Birthday= \\d{4}-\\d{2}-\\d{2}\\(农历：\\S+\\)$"_qs}};
    for (const auto &[n, pattern] : forms)
        QVERIFY2(QRegularExpression(pattern).match(lines.at(n - 1)).hasMatch(), qPrintable(lines.at(n - 1)));

    QCOMPARE(s.FirstPage, u"index.KAV"_qs);
    QCOMPARE(s.ConnectIP, u"127.0.0.1"_qs);
    QCOMPARE(s.NewMessage, u"\r\n    I LOVE YOU! Forever ..."_qs);
    QCOMPARE(s.IsServer, false);
    QCOMPARE(s.Passme, true);
    QCOMPARE(s.LocPort, 9233);
    QCOMPARE(s.DiaryDeletion, u"1"_qs);
    QCOMPARE(s.LoveDeletion, u"1"_qs);
    QCOMPARE(s.ImagesPath, u"C:\\Images\\"_qs);
    QCOMPARE(s.oPicSavePath, u"C:\\PicSave\\"_qs);
    QCOMPARE(s.noLogo, qint16(0));
    QCOMPARE(s.Encrypt, QString()); // no [Security] section: new locked entries are enciphered
    // Two headings with eight and three display lines, each value after ":  ".
    QString expected = u"\r\n\r\n  = 关于自己 ="_qs;
    for (int n = 8; n <= 15; ++n) {
        const QString l = lines.at(n - 1);
        expected += u"\r\n  "_qs + l.section(u'=', 0, 0) + u": "_qs + l.section(u'=', 1, 1);
    }
    expected += u"\r\n\r\n\r\n  = 关于最爱 ="_qs;
    for (int n = 18; n <= 20; ++n) {
        const QString l = lines.at(n - 1);
        expected += u"\r\n  "_qs + l.section(u'=', 0, 0) + u": "_qs + l.section(u'=', 1, 1);
    }
    expected += u"\r\n"_qs;
    QCOMPARE(s.AboutText, expected);
    QVERIFY(s.AboutText.contains(u"\r\n  Nick:  "_qs));
}

void TestConfig::defaultBirthdaysAreTrueLunarDates() {
    const QRegularExpression birthday(u"^Birthday= (\\d{4}-\\d{2}-\\d{2})\\(农历：(\\S+)\\)$"_qs);
    const QStringList lines = settings::defaultConfigText().split(u"\r\n"_qs);
    int checked = 0;
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = birthday.match(line);
        if (!m.hasMatch()) continue;
        const QDate date = QDate::fromString(m.captured(1), u"yyyy-MM-dd"_qs);
        QVERIFY(date.isValid());
        QCOMPARE(m.captured(2), lunarWords(date));
        ++checked;
    }
    QCOMPARE(checked, 2);
}

void TestConfig::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");

    QTest::newRow("server 1") << u"[Server]\r\nServer=1\r\n"_qs << true << u"IsServer"_qs << u"true"_qs;
    QTest::newRow("server 1 and a blank") << u"[Server]\r\nServer=1 \r\n"_qs << true << u"IsServer"_qs << u"false"_qs;
    QTest::newRow("server 0") << u"[Server]\r\nServer=0\r\n"_qs << true << u"IsServer"_qs << u"false"_qs;
    QTest::newRow("header with blank after bracket ignored")
        << u"[Server] \r\nServer=1\r\n"_qs << true << u"IsServer"_qs << u"false"_qs;
    QTest::newRow("key of single-line section not looked at")
        << u"[Host]\r\naddress=10.1.2.3\r\n"_qs << true << u"ConnectIP"_qs << u"10.1.2.3"_qs;
    QTest::newRow("second line of single-line section ignored")
        << u"[Host]\r\nhost=a\r\nhost=b\r\n"_qs << true << u"ConnectIP"_qs << u"a"_qs;
    QTest::newRow("empty next line skips the section")
        << u"[index]\r\n\r\n[Host]\r\nh=x\r\n"_qs << true << u"FirstPage"_qs << QString();
    QTest::newRow("header after single-line header is an error")
        << u"[index]\r\n[Host]\r\nh=x\r\n"_qs << false << u"ConnectIP"_qs << QString();
    QTest::newRow("home page in a folder") << u"[index]\r\npath=pages\\home.KAV\r\n"_qs << true
                                           << u"FirstPage"_qs << u"pages\\home.KAV"_qs;
    QTest::newRow("home page out of the folder")
        << u"[index]\r\npath=..\\outside.KAV\r\n"_qs << true << u"FirstPage"_qs << QString();
    QTest::newRow("home page out through a folder")
        << u"[index]\r\npath=pages/../../outside.KAV\r\n"_qs << true << u"FirstPage"_qs
        << QString();
    QTest::newRow("value cut at second equals")
        << u"[index]\r\npath=a=b\r\n"_qs << true << u"FirstPage"_qs << u"a"_qs;
    QTest::newRow("message") << u"[Message]\r\nMsg=hello\r\n"_qs << true << u"NewMessage"_qs << u"\r\n  hello"_qs;
    QTest::newRow("pass check 1") << u"[PassCheck]\r\nPassme=1\r\n"_qs << true << u"Passme"_qs << u"true"_qs;
    QTest::newRow("pass check 0") << u"[PassCheck]\r\nPassme=0\r\n"_qs << true << u"Passme"_qs << u"false"_qs;
    QTest::newRow("port") << u"[LocPort]\r\nLocalPort=1234\r\n"_qs << true << u"LocPort"_qs << u"1234"_qs;
    QTest::newRow("port not a number") << u"[LocPort]\r\nLocalPort=abc\r\n"_qs << false << u"LocPort"_qs << u"0"_qs;
    QTest::newRow("port out of range")
        << u"[LocPort]\r\nLocalPort=99999999999\r\n"_qs << false << u"LocPort"_qs << u"0"_qs;
    QTest::newRow("single-line value without equals")
        << u"[Host]\r\nnoequals\r\n"_qs << false << u"ConnectIP"_qs << QString();
    QTest::newRow("deletion diary other than 1")
        << u"[Deletion]\r\nDiary=yes\r\nLove=1\r\n\r\n"_qs << true << u"DiaryDeletion"_qs << u"yes"_qs;
    QTest::newRow("deletion line without equals skipped")
        << u"[Deletion]\r\nnothing\r\nLove=1\r\n\r\n"_qs << true << u"LoveDeletion"_qs << u"1"_qs;
    QTest::newRow("deletion key without equals is an error")
        << u"[Deletion]\r\nDiary=1\r\nLove\r\n\r\n"_qs << false << u"LoveDeletion"_qs << QString();
    QTest::newRow("deletion key without equals keeps what came before")
        << u"[Deletion]\r\nDiary=1\r\nLove\r\n\r\n"_qs << false << u"DiaryDeletion"_qs << u"1"_qs;
    QTest::newRow("image path key without equals is an error")
        << u"[ImagePath]\r\nImagesPath\r\n\r\n"_qs << false << u"ConfigUnreadable"_qs << u"true"_qs;
    QTest::newRow("noLogo without equals is an error")
        << u"[ImagePath]\r\nnoLogo\r\n\r\n"_qs << false << u"noLogo"_qs << u"0"_qs;
    QTest::newRow("no deletion section") << u"[Host]\r\nh=x\r\n"_qs << true << u"DiaryDeletion"_qs << QString();
    QTest::newRow("image path keys")
        << u"[ImagePath]\r\nPicSavePath=D:\\Out\\\r\nother\r\nnoLogo=1\r\n\r\n"_qs << true << u"oPicSavePath"_qs
        << u"D:\\Out\\"_qs;
    QTest::newRow("noLogo read as a number")
        << u"[ImagePath]\r\nnoLogo= 7\r\n\r\n"_qs << true << u"noLogo"_qs << u"7"_qs;
    QTest::newRow("noLogo out of range")
        << u"[ImagePath]\r\nnoLogo=40000\r\n\r\n"_qs << false << u"noLogo"_qs << u"0"_qs;
    QTest::newRow("last keyed section without empty line")
        << u"[Deletion]\r\nDiary=1\r\n"_qs << false << u"DiaryDeletion"_qs << u"1"_qs;
    QTest::newRow("security encrypt 0")
        << u"[Security]\r\nEncrypt=0\r\n\r\n"_qs << true << u"Encrypt"_qs << u"0"_qs;
    // A keyed section: its lines are not shown in the about text, unknown keys are skipped.
    QTest::newRow("security is not displayed")
        << u"[Security]\r\nother\r\nEncrypt=1\r\n\r\n"_qs << true << u"AboutText"_qs << QString();
    QTest::newRow("backup is not displayed")
        << u"[Backup]\r\nDaily=3\r\nWeekly=2\r\n\r\n[Pets]\r\ncat=Mimi\r\n\r\n"_qs << true << u"AboutText"_qs
        << u"\r\n\r\n  = Pets =\r\n  cat: Mimi\r\n\r\n\r\n"_qs;
    QTest::newRow("security without empty line")
        << u"[Security]\r\nEncrypt=0\r\n"_qs << false << u"Encrypt"_qs << u"0"_qs;
    QTest::newRow("display section of any name")
        << u"[Pets]\r\ncat=Mimi\r\n\r\n"_qs << true << u"AboutText"_qs << u"\r\n\r\n  = Pets =\r\n  cat: Mimi\r\n\r\n\r\n"_qs;
    QTest::newRow("about heading and lines")
        << u"[About]\r\nNick= x\r\n\r\n"_qs << true << u"AboutText"_qs << u"\r\n\r\n  = 关于自己 =\r\n  Nick:  x\r\n"_qs;
    QTest::newRow("lover line without equals is an error")
        << u"[Lover]\r\nbad\r\n\r\n"_qs << false << u"ConfigUnreadable"_qs << u"true"_qs;
    QTest::newRow("section twice, shown twice")
        << u"[X]\r\na=1\r\n\r\n[X]\r\na=2\r\n\r\n"_qs << true << u"AboutText"_qs
        << u"\r\n\r\n  = X =\r\n  a: 1\r\n\r\n\r\n\r\n\r\n  = X =\r\n  a: 2\r\n\r\n\r\n"_qs;
    QTest::newRow("bare line feeds make one long line")
        << u"[Host]\nhost=a\n"_qs << true << u"ConnectIP"_qs << QString();
    QTest::newRow("CR alone ends a line") << u"[Host]\rhost=a\r"_qs << true << u"ConnectIP"_qs << u"a"_qs;
    QTest::newRow("blanks are not trimmed")
        << u"[Deletion]\r\n Diary=1\r\n\r\n"_qs << true << u"DiaryDeletion"_qs << QString();
    QTest::newRow("GBK value") << u"[index]\r\npath=首页.KAV\r\n"_qs << true << u"FirstPage"_qs << u"首页.KAV"_qs;
    QTest::newRow("empty file") << QString() << true << u"AboutText"_qs << QString();
}

void TestConfig::parse() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, field);
    QFETCH(QString, value);
    bool result = false;
    const Settings s = parseText(text, &result);
    QCOMPARE(result, ok);
    const QMap<QString, QString> fields = {
        {u"IsServer"_qs, s.IsServer ? u"true"_qs : u"false"_qs},
        {u"Passme"_qs, s.Passme ? u"true"_qs : u"false"_qs},
        {u"ConnectIP"_qs, s.ConnectIP},
        {u"FirstPage"_qs, s.FirstPage},
        {u"NewMessage"_qs, s.NewMessage},
        {u"LocPort"_qs, QString::number(s.LocPort)},
        {u"DiaryDeletion"_qs, s.DiaryDeletion},
        {u"LoveDeletion"_qs, s.LoveDeletion},
        {u"Encrypt"_qs, s.Encrypt},
        {u"oPicSavePath"_qs, s.oPicSavePath},
        {u"noLogo"_qs, QString::number(s.noLogo)},
        {u"AboutText"_qs, s.AboutText},
        {u"ConfigUnreadable"_qs, s.ConfigUnreadable ? u"true"_qs : u"false"_qs},
    };
    QVERIFY(fields.contains(field));
    QCOMPARE(fields.value(field), value);
    QCOMPARE(s.ConfigUnreadable, !ok);
    if (!ok) QCOMPARE(s.AboutText, QString());
}

void TestConfig::errorKeepsWhatWasAppliedBefore() {
    Settings s;
    s.LocPort = 4321;
    s.AboutText = u"old"_qs;
    QVERIFY(!settings::parseConfigData("[Host]\r\nh=1.2.3.4\r\n[LocPort]\r\nLocalPort=x\r\n[index]\r\np=a\r\n", s));
    QCOMPARE(s.ConnectIP, u"1.2.3.4"_qs);
    QCOMPARE(s.LocPort, 4321);
    QCOMPARE(s.FirstPage, QString());
    QVERIFY(s.ConfigUnreadable);
    QCOMPARE(s.AboutText, QString());
    // Reading never turns server mode or the login pass off again.
    s.IsServer = true;
    s.Passme = true;
    QVERIFY(settings::parseConfigData("[Server]\r\nServer=0\r\n[PassCheck]\r\nPassme=0\r\n", s));
    QVERIFY(s.IsServer && s.Passme);
    QVERIFY(!s.ConfigUnreadable);
    // A file that cannot be opened is unreadable like a damaged one.
    s.AboutText = u"old"_qs;
    QVERIFY(!settings::ParseConfig(u"/nonexistent-folder/Config.ini"_qs, s));
    QVERIFY(s.ConfigUnreadable);
    QCOMPARE(s.AboutText, QString());
}

void TestConfig::unwritableFolderKeepsSettings() {
    Settings s;
    s.AboutText = u"kept"_qs;
    s.ConnectIP = u"kept"_qs;
    settings::LoadConfig(u"/nonexistent-folder/for/config"_qs, s);
    QCOMPARE(s.AboutText, u"kept"_qs);
    QCOMPARE(s.ConnectIP, u"kept"_qs);
}

void TestConfig::existingFileIsNotRewritten() {
    QTemporaryDir dir;
    const QByteArray own = "[Host]\r\nhost=192.0.2.7\r\n";
    QVERIFY(testsupport::writeFile(dir.path() + u"/Config.ini"_qs, own));
    Settings s;
    settings::LoadConfig(dir.path(), s);
    QCOMPARE(testsupport::readFile(dir.path() + u"/Config.ini"_qs), own);
    QCOMPARE(s.ConnectIP, u"192.0.2.7"_qs);
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
