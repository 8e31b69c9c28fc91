// The account store: ids, the account file byte for byte, and reading any file back.
#include "store/net/accounts.h"
#include "store/net/userinfo.h"
#include "store/common/codepage.h"
#include "store/common/programfolder.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray le32(qint32 v) {
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = char((quint32(v) >> (8 * i)) & 0xff);
    return b;
}

QByteArray field(const QByteArray &bytes) {
    return QByteArray(1, char(bytes.size() & 0xff)) + char(bytes.size() >> 8) + bytes;
}

void fill(UserInfo &u, const QString &password, const QString &name, const QString &sex,
          const QString &address, const QString &email, const QString &about, const QString &ip) {
    u.setPassword(password);
    u.setName(name);
    u.setSex(sex);
    u.setAddress(address);
    u.setEmail(email);
    u.setAbout(about);
    u.setIP(ip);
}

// A program directory with its \UserInfo\ folder.
struct Store {
    QTemporaryDir dir;
    ProgramFolder folder{dir.path()};
    Store() { QDir(dir.path()).mkdir(u"UserInfo"_qs); }
    QString file(const QString &name) const { return dir.path() + u"/UserInfo/"_qs + name; }
};

} // namespace

class tst_UserInfo : public QObject {
    Q_OBJECT
private slots:
    void newObjectIsEmpty();
    void setID_data();
    void setID();
    void twentyNineByteFile();
    void fileLayout();
    void saveTruncatesLongerOldFile();
    void saveFailsWithoutFolder();
    void getInfoMissingLeavesFieldsAlone();
    void getInfoRefusesBadIds_data();
    void getInfoRefusesBadIds();
    void fromBytesSurvivesAnyInput_data();
    void fromBytesSurvivesAnyInput();
    void longTextsAreCutAtCharacterBoundary();
    void registrationNeverOverwrites();
    void registrationFailsWhenFileCannotBeWritten();
    void loginCheck_data();
    void loginCheck();
};

void tst_UserInfo::newObjectIsEmpty() {
    Store s;
    UserInfo u(s.folder);
    QCOMPARE(u.getID(), 0);
    QCOMPARE(u.recordMark(), 0);
    for (const QString &t : {u.getName(), u.getPassword(), u.getSex(), u.getAddress(), u.getEmail(),
                             u.getAbout(), u.getIP()})
        QVERIFY(t.isEmpty());
}

void tst_UserInfo::setID_data() {
    QTest::addColumn<double>("r");
    QTest::addColumn<int>("id");
    QTest::newRow("0") << 0.0 << 0;
    QTest::newRow("largest") << 0.9999999999 << 99999999;
    QTest::newRow("half rounds to even") << 0.5 << 50000000; // 49,999,999.5
    QTest::newRow("quarter") << 0.25 << 25000000;            // 24,999,999.75
    QTest::newRow("small") << 0.00000004 << 4;
}

void tst_UserInfo::setID() {
    QFETCH(double, r);
    QFETCH(int, id);
    Store s;
    s.folder.randomSource = [r] { return r; };
    UserInfo u(s.folder);
    u.setID();
    QCOMPARE(u.getID(), id);
    QCOMPARE(u.recordMark(), 998083);
}

void tst_UserInfo::twentyNineByteFile() {
    Store s;
    s.folder.randomSource = [] { return 0.00004711; }; // 4711
    UserInfo u(s.folder);
    u.setID();
    fill(u, u"p"_qs, u"n"_qs, u"s"_qs, u"a"_qs, u"e"_qs, u"b"_qs, u"i"_qs);
    QVERIFY(u.Save());
    const QByteArray expected = QByteArray("\xc3\x3a\x0f\x00"
                                           "\x67\x12\x00\x00",
                                           8) +
                                QByteArray("\x01\x00"
                                           "p"
                                           "\x01\x00"
                                           "n"
                                           "\x01\x00"
                                           "s"
                                           "\x01\x00"
                                           "a"
                                           "\x01\x00"
                                           "e"
                                           "\x01\x00"
                                           "b"
                                           "\x01\x00"
                                           "i",
                                           21);
    QCOMPARE(testsupport::readFile(s.file(u"4711.usr"_qs)), expected);
    QCOMPARE(expected.size(), 29);

    UserInfo back(s.folder);
    QVERIFY(back.getInfo(u"4711"_qs));
    QCOMPARE(back.getID(), 4711);
    QCOMPARE(back.recordMark(), 998083);
    QCOMPARE((QStringList{back.getPassword(), back.getName(), back.getSex(), back.getAddress(),
                          back.getEmail(), back.getAbout(), back.getIP()}),
             (QStringList{u"p"_qs, u"n"_qs, u"s"_qs, u"a"_qs, u"e"_qs, u"b"_qs, u"i"_qs}));
}

void tst_UserInfo::fileLayout() {
    // Ids 0 and 99,999,999, empty texts and code page 936 texts.
    for (double r : {0.0, 0.9999999999}) {
        Store s;
        s.folder.randomSource = [r] { return r; };
        UserInfo u(s.folder);
        u.setID();
        fill(u, u"密码"_qs, u"王五"_qs, u"女"_qs, u"-"_qs, QString(), u"你好\r\n世界"_qs,
             u"127.0.0.1"_qs);
        QVERIFY(u.Save());
        const QString name = r == 0.0 ? u"0.usr"_qs : u"99999999.usr"_qs;
        const QByteArray expected =
            le32(998083) + le32(r == 0.0 ? 0 : 99999999) + field("\xc3\xdc\xc2\xeb") +
            field("\xcd\xf5\xce\xe5") + field("\xc5\xae") + field("-") + field("") +
            field("\xc4\xe3\xba\xc3\r\n\xca\xc0\xbd\xe7") + field("127.0.0.1");
        QCOMPARE(testsupport::readFile(s.file(name)), expected);
        UserInfo back(s.folder);
        QVERIFY(back.getInfo(name.chopped(4)));
        QCOMPARE(back.getPassword(), u"密码"_qs);
        QCOMPARE(back.getAbout(), u"你好\r\n世界"_qs);
        QCOMPARE(back.getEmail(), QString());
    }
}

void tst_UserInfo::saveTruncatesLongerOldFile() {
    Store s;
    s.folder.randomSource = [] { return 0.00000007; }; // 7
    UserInfo u(s.folder);
    u.setID();
    fill(u, u"a long old password"_qs, u"a long old name"_qs, u"男"_qs, u"somewhere far away"_qs,
         u"someone@example.org"_qs, u"a long note"_qs, u"10.0.0.1"_qs);
    QVERIFY(u.Save());
    // An old file longer than any record, with bytes after it that are never read.
    QVERIFY(testsupport::writeFile(s.file(u"7.usr"_qs), testsupport::readFile(s.file(u"7.usr"_qs)) +
                                                            QByteArray(100, 'x')));
    fill(u, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs, u"f"_qs, u"g"_qs, u"h"_qs);
    QVERIFY(u.Save());
    QCOMPARE(testsupport::readFile(s.file(u"7.usr"_qs)).size(), 29);

    // A file with a tail left by another program still reads.
    QVERIFY(testsupport::writeFile(s.file(u"8.usr"_qs), u.toBytes() + QByteArray("tail bytes")));
    UserInfo back(s.folder);
    QVERIFY(back.getInfo(u"8"_qs));
    QCOMPARE(back.getName(), u"c"_qs);
    QCOMPARE(back.getIP(), u"h"_qs);
    QCOMPARE(back.getID(), 7);
}

void tst_UserInfo::saveFailsWithoutFolder() {
    QTemporaryDir dir;
    const ProgramFolder folder(dir.path());
    UserInfo u(folder);
    u.setID();
    QVERIFY(!u.Save());
    QVERIFY(!QDir(dir.path() + u"/UserInfo"_qs).exists());
}

void tst_UserInfo::getInfoMissingLeavesFieldsAlone() {
    Store s;
    UserInfo u(s.folder);
    fill(u, u"p"_qs, u"n"_qs, u"s"_qs, u"a"_qs, u"e"_qs, u"b"_qs, u"i"_qs);
    QVERIFY(!u.getInfo(u"12345"_qs));
    QCOMPARE(u.getName(), u"n"_qs);
    QCOMPARE(u.getPassword(), u"p"_qs);
}

void tst_UserInfo::getInfoRefusesBadIds_data() {
    QTest::addColumn<QString>("id");
    QTest::newRow("parent") << u"../1"_qs;
    QTest::newRow("sub") << u"x/1"_qs;
    QTest::newRow("name") << u"abc"_qs;
    QTest::newRow("nine digits") << u"123456789"_qs;
    QTest::newRow("empty") << QString();
}

void tst_UserInfo::getInfoRefusesBadIds() {
    QFETCH(QString, id);
    Store s;
    // Files that such ids would reach if they became paths.
    UserInfo planted(s.folder);
    fill(planted, u"pw"_qs, u"planted"_qs, u"s"_qs, u"a"_qs, u"e"_qs, u"b"_qs, u"i"_qs);
    const QByteArray bytes = planted.toBytes();
    QVERIFY(testsupport::writeFile(s.dir.path() + u"/1.usr"_qs, bytes));
    QVERIFY(testsupport::writeFile(s.file(u"x/1.usr"_qs), bytes));
    QVERIFY(testsupport::writeFile(s.file(u"abc.usr"_qs), bytes));
    QVERIFY(testsupport::writeFile(s.file(u"123456789.usr"_qs), bytes));
    QVERIFY(testsupport::writeFile(s.file(u".usr"_qs), bytes));
    UserInfo u(s.folder);
    QVERIFY(!u.getInfo(id));
    QVERIFY(u.getName().isEmpty());
}

void tst_UserInfo::fromBytesSurvivesAnyInput_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("whole");
    const QByteArray head = le32(998083) + le32(5);
    QTest::newRow("empty") << QByteArray() << QString() << false;
    QTest::newRow("three bytes") << QByteArray("abc") << QString() << false;
    QTest::newRow("numbers only") << head << QString() << false;
    QTest::newRow("count past the end") << head + QByteArray("\x10\x00pw", 4) << QString() << false;
    QTest::newRow("ends after name") << head + field("pw") + field("nm") << u"nm"_qs << false;
    QTest::newRow("whole") << head + field("pw") + field("nm") + field("") + field("") + field("") +
                                  field("") + field("ip")
                           << u"nm"_qs << true;
    QTest::newRow("largest counts") << head + QByteArray(14, '\xff') << QString() << false;
    QTest::newRow("invalid code page bytes")
        << head + field("") + field("\xff\xfe\x80") + field("") + field("") + field("") +
               field("") + field("")
        << cp936::decode("\xff\xfe\x80") << true;
}

void tst_UserInfo::fromBytesSurvivesAnyInput() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(bool, whole);
    Store s;
    UserInfo u(s.folder);
    fill(u, u"old"_qs, u"old"_qs, u"old"_qs, u"old"_qs, u"old"_qs, u"old"_qs, u"old"_qs);
    QCOMPARE(u.fromBytes(bytes), whole);
    QCOMPARE(u.getName(), name);
    // Fields not reached are reset, never left from before.
    QVERIFY(u.getIP() != u"old"_qs);
    QVERIFY(u.getSex().isEmpty());

    // The same bytes in a file: getInfo says the same.
    QVERIFY(testsupport::writeFile(s.file(u"5.usr"_qs), bytes));
    UserInfo f(s.folder);
    QCOMPARE(f.getInfo(u"5"_qs), whole);
}

void tst_UserInfo::longTextsAreCutAtCharacterBoundary() {
    Store s;
    UserInfo u(s.folder);
    u.setAbout(QString(40000, QChar(u'中'))); // 80,000 bytes
    QCOMPARE(u.getAbout().size(), 32767);     // 65,534 bytes: no half character
    u.setAddress(u"a"_qs + QString(40000, QChar(u'中')));
    QCOMPARE(u.getAddress(), u"a"_qs + QString(32767, QChar(u'中'))); // 65,535 bytes
    u.setName(QString(70000, QLatin1Char('x')));
    QCOMPARE(u.getName().size(), 65535);
    u.setPassword(QString(65535, QLatin1Char('y')));
    QCOMPARE(u.getPassword().size(), 65535);
    u.setID();
    QVERIFY(u.Save());
    UserInfo back(s.folder);
    QVERIFY(back.getInfo(QString::number(u.getID())));
    QCOMPARE(back.getAbout(), u.getAbout());
    QCOMPARE(back.getAddress(), u.getAddress());
    QCOMPARE(back.getName(), u.getName());
    QCOMPARE(back.getPassword(), u.getPassword());
}

void tst_UserInfo::registrationNeverOverwrites() {
    Store s;
    QList<double> draws{0.5, 0.5, 0.5, 0.25};
    s.folder.randomSource = [&draws] { return draws.takeFirst(); };
    const QChar NUL(0);
    const QString first =
        u"甲"_qs + NUL + u"pw1"_qs + NUL + u"-"_qs + NUL + u"-"_qs + NUL + u"-"_qs + NUL + u"男"_qs;
    const QString second =
        u"乙"_qs + NUL + u"pw2"_qs + NUL + u"-"_qs + NUL + u"-"_qs + NUL + u"-"_qs + NUL + u"女"_qs;
    QVERIFY(net::RegNewUser(s.folder, first, u"10.0.0.1"_qs));
    const QByteArray firstFile = testsupport::readFile(s.file(u"50000000.usr"_qs));
    const std::optional<QString> reply = net::RegNewUser(s.folder, second, u"10.0.0.2"_qs);
    QVERIFY(reply);
    QVERIFY(reply->contains(u"    账号： 25000000\r\n"_qs));
    QCOMPARE(testsupport::readFile(s.file(u"50000000.usr"_qs)), firstFile);
    UserInfo u(s.folder);
    QVERIFY(u.getInfo(u"25000000"_qs));
    QCOMPARE(u.getName(), u"乙"_qs);
    QCOMPARE(u.getIP(), u"10.0.0.2"_qs);

    // Every draw taken: no account, no confirmation.
    s.folder.randomSource = [] { return 0.5; };
    QVERIFY(!net::RegNewUser(s.folder, second, u"10.0.0.3"_qs));
    QCOMPARE(testsupport::readFile(s.file(u"50000000.usr"_qs)), firstFile);
    QCOMPARE(QDir(s.dir.path() + u"/UserInfo"_qs).entryList(QDir::Files).size(), 2);
}

void tst_UserInfo::registrationFailsWhenFileCannotBeWritten() {
    QTemporaryDir dir; // no \UserInfo\ folder
    const ProgramFolder folder(dir.path());
    QVERIFY(!net::RegNewUser(folder, u"a\0b\0c\0d\0e\0f"_qs, u"127.0.0.1"_qs));
}

void tst_UserInfo::loginCheck_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("reply");
    const QChar NUL(0);
    QTest::newRow("right") << u"31"_qs + NUL + u"Pass 密"_qs << u"200"_qs;
    QTest::newRow("third field ignored")
        << u"31"_qs + NUL + u"Pass 密"_qs + NUL + u"x"_qs << u"200"_qs;
    QTest::newRow("case differs") << u"31"_qs + NUL + u"pass 密"_qs << u"886"_qs;
    QTest::newRow("wrong") << u"31"_qs + NUL + u"x"_qs << u"886"_qs;
    QTest::newRow("empty password") << u"31"_qs + NUL << u"886"_qs;
    QTest::newRow("no password field") << u"31"_qs << u"886"_qs;
    QTest::newRow("no account") << u"32"_qs + NUL + u"Pass 密"_qs << u"886"_qs;
    QTest::newRow("leading zero") << u"031"_qs + NUL + u"Pass 密"_qs << u"886"_qs;
    QTest::newRow("traversal") << u"../31"_qs + NUL + u"Pass 密"_qs << u"886"_qs;
    QTest::newRow("empty-password account") << u"33"_qs + NUL << u"200"_qs;
    QTest::newRow("empty-password account, no field") << u"33"_qs << u"886"_qs;
    QTest::newRow("truncated file") << u"34"_qs + NUL + u"Pass 密"_qs << u"886"_qs;
}

void tst_UserInfo::loginCheck() {
    QFETCH(QString, request);
    QFETCH(QString, reply);
    Store s;
    for (auto [r, pw] : {std::pair{0.00000031, u"Pass 密"_qs}, std::pair{0.00000033, QString()}}) {
        s.folder.randomSource = [r = r] { return r; };
        UserInfo u(s.folder);
        u.setID();
        u.setPassword(pw);
        QVERIFY(u.Save());
    }
    QVERIFY(testsupport::writeFile(s.file(u"34.usr"_qs),
                                   testsupport::readFile(s.file(u"31.usr"_qs)).left(12)));
    // The planted file a traversal would reach.
    QVERIFY(QFile::copy(s.file(u"31.usr"_qs), s.dir.path() + u"/31.usr"_qs));
    QCOMPARE(net::checkLogin(s.folder, request), reply);
}

QTEST_GUILESS_MAIN(tst_UserInfo)
#include "tst_userinfo.moc"
