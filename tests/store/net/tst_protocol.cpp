// The texts of the wire protocol, built and taken apart.
#include "store/net/protocol.h"
#include "store/net/userinfo.h"
#include "store/common/codepage.h"
#include "store/common/programfolder.h"

#include <QTemporaryDir>
#include <QTest>

using namespace protocol;

namespace {
const QChar NUL(0);
}

class tst_Protocol : public QObject {
    Q_OBJECT
private slots:
    void logLine_data();
    void logLine();
    void registrationRecordRoundTrip();
    void parseRegistrationRecord_data();
    void parseRegistrationRecord();
    void optionalAndSexFields();
    void confirmation();
    void parseLoginRequest_data();
    void parseLoginRequest();
    void loginReply_data();
    void loginReply();
    void accountId_data();
    void accountId();
    void separators();
    void errorReport();
};

void tst_Protocol::logLine_data() {
    QTest::addColumn<QString>("ip");
    QTest::addColumn<int>("port");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<int>("service");
    QTest::addColumn<QString>("expected");
    QTest::newRow("login") << u"10.0.0.5"_qs << 1075 << QDateTime(QDate(2004, 3, 5), QTime(9, 7, 3))
                           << int(Service::Login)
                           << u"\r\n  >> 10.0.0.5 = 1075 =  2004-3-5  - 9:07:03   (Login)"_qs;
    QTest::newRow("register")
        << u"192.168.1.20"_qs << 65535 << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59))
        << int(Service::Registration)
        << u"\r\n  >> 192.168.1.20 = 65535 =  2023-12-31  - 23:59:59   (Register)"_qs;
    QTest::newRow("message")
        << u"127.0.0.1"_qs << 9233 << QDateTime(QDate(2000, 10, 1), QTime(0, 0, 0))
        << int(Service::Message)
        << u"\r\n  >> 127.0.0.1 = 9233 =  2000-10-1  - 0:00:00   (ReadMessage)"_qs;
    QTest::newRow("year before 1000")
        << u"10.1.2.3"_qs << 1 << QDateTime(QDate(999, 1, 9), QTime(10, 5, 9))
        << int(Service::Message)
        << u"\r\n  >> 10.1.2.3 = 1 =  0999-1-9  - 10:05:09   (ReadMessage)"_qs;
    QTest::newRow("year before the era")
        << u"10.1.2.3"_qs << 80 << QDateTime(QDate(-44, 3, 15), QTime(12, 0, 0))
        << int(Service::Login) << u"\r\n  >> 10.1.2.3 = 80 =  -0044-3-15  - 12:00:00   (Login)"_qs;
}

void tst_Protocol::logLine() {
    QFETCH(QString, ip);
    QFETCH(int, port);
    QFETCH(QDateTime, when);
    QFETCH(int, service);
    QFETCH(QString, expected);
    QCOMPARE(protocol::logLine(ip, port, when, Service(service)), expected);
}

void tst_Protocol::registrationRecordRoundTrip() {
    const RegistrationRecord r{u"张三"_qs, u"pass word"_qs, u"-"_qs, u"北京"_qs, u"-"_qs, u"男"_qs};
    const QString text = buildRegistrationRecord(r);
    QCOMPARE(text, u"张三"_qs + NUL + u"pass word"_qs + NUL + u"-"_qs + NUL + u"北京"_qs + NUL +
                       u"-"_qs + NUL + u"男"_qs);
    QCOMPARE(cp936::encode(text), QByteArray("\xd5\xc5\xc8\xfd"
                                             "\0"
                                             "pass word"
                                             "\0"
                                             "-"
                                             "\0"
                                             "\xb1\xb1\xbe\xa9"
                                             "\0"
                                             "-"
                                             "\0"
                                             "\xc4\xd0",
                                             26));
    const RegistrationRecord back = protocol::parseRegistrationRecord(text);
    QCOMPARE(back.name, r.name);
    QCOMPARE(back.password, r.password);
    QCOMPARE(back.email, r.email);
    QCOMPARE(back.address, r.address);
    QCOMPARE(back.about, r.about);
    QCOMPARE(back.sex, r.sex);
}

void tst_Protocol::parseRegistrationRecord_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("seven fields: the seventh is ignored")
        << u"a"_qs + NUL + u"b"_qs + NUL + u"c"_qs + NUL + u"d"_qs + NUL + u"e"_qs + NUL + u"f"_qs +
               NUL + u"g"_qs
        << QStringList{u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs, u"e"_qs, u"f"_qs};
    QTest::newRow("three fields") << u"a"_qs + NUL + u"b"_qs + NUL + u"c"_qs
                                  << QStringList{u"a"_qs, u"b"_qs, u"c"_qs, u""_qs, u""_qs, u""_qs};
    QTest::newRow("empty") << QString()
                           << QStringList{u""_qs, u""_qs, u""_qs, u""_qs, u""_qs, u""_qs};
    QTest::newRow("empty fields") << QString(5, NUL)
                                  << QStringList{u""_qs, u""_qs, u""_qs, u""_qs, u""_qs, u""_qs};
}

void tst_Protocol::parseRegistrationRecord() {
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    const RegistrationRecord r = protocol::parseRegistrationRecord(text);
    QCOMPARE((QStringList{r.name, r.password, r.email, r.address, r.about, r.sex}), fields);
}

void tst_Protocol::optionalAndSexFields() {
    QCOMPARE(optionalField(QString()), u"-"_qs);
    QCOMPARE(optionalField(u" "_qs), u" "_qs);
    QCOMPARE(optionalField(u"a@b"_qs), u"a@b"_qs);
    QCOMPARE(sexField(true, false), u"男"_qs);
    QCOMPARE(sexField(false, true), u"女"_qs);
    QCOMPARE(sexField(false, false), u"不详"_qs);
}

void tst_Protocol::confirmation() {
    QTemporaryDir dir;
    ProgramFolder folder(dir.path());
    folder.randomSource = [] { return 0.047110000; };
    UserInfo u(folder);
    u.setID();
    QCOMPARE(u.getID(), 4711000);
    u.setName(u"李四"_qs);
    u.setSex(u"不详"_qs);
    u.setPassword(u"密 码"_qs);
    u.setEmail(u"-"_qs);
    u.setAddress(u"上海"_qs);
    u.setAbout(u"第一行\r\n第二行"_qs);
    const QString expected =
        u"\r\n"
        "  以下是您的注册信息：\r\n\r\n"
        "    账号： 4711000\r\n"
        "    姓名： 李四 (不详)\r\n"
        "    密码： 密 码\r\n"
        "    邮件： -\r\n"
        "    地址： 上海\r\n\r\n"
        "   用户注册成功，请记住您的账号和密码。\r\n"
        "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-\r\n\r\n"
        "第一行\r\n第二行"_qs;
    const QString text = registrationConfirmation(u);
    QCOMPARE(text, expected);
    const QStringList lines = text.split(u"\r\n"_qs);
    QCOMPARE(lines.at(10).size(), 69);

    // Id 0 is written as "0"; the largest id in full.
    folder.randomSource = [] { return 0.0; };
    u.setID();
    QVERIFY(registrationConfirmation(u).contains(u"    账号： 0\r\n"_qs));
    folder.randomSource = [] { return 0.99999999999; };
    u.setID();
    QVERIFY(registrationConfirmation(u).contains(u"    账号： 99999999\r\n"_qs));
}

void tst_Protocol::parseLoginRequest_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("hasPassword");
    QTest::newRow("plain") << u"4711"_qs + NUL + u"secret"_qs << u"4711"_qs << u"secret"_qs << true;
    QTest::newRow("blanks kept") << u" 47 "_qs + NUL + u" a b "_qs << u" 47 "_qs << u" a b "_qs
                                 << true;
    QTest::newRow("empty password") << u"4711"_qs + NUL << u"4711"_qs << QString() << true;
    QTest::newRow("no password field") << u"4711"_qs << u"4711"_qs << QString() << false;
    QTest::newRow("third field ignored")
        << u"1"_qs + NUL + u"pw"_qs + NUL + u"x"_qs << u"1"_qs << u"pw"_qs << true;
    QTest::newRow("chinese") << u"1"_qs + NUL + u"晴窗"_qs << u"1"_qs << u"晴窗"_qs << true;
}

void tst_Protocol::parseLoginRequest() {
    QFETCH(QString, text);
    QFETCH(QString, id);
    QFETCH(QString, password);
    QFETCH(bool, hasPassword);
    const LoginRequest r = protocol::parseLoginRequest(text);
    QCOMPARE(r.id, id);
    QCOMPARE(r.password, password);
    QCOMPARE(r.hasPassword, hasPassword);
    if (hasPassword && !text.contains(u"x"_qs)) QCOMPARE(buildLoginRequest(id, password), text);
}

void tst_Protocol::loginReply_data() {
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("reply");
    const int incomplete = int(LoginReply::Incomplete), accepted = int(LoginReply::Accepted),
              refused = int(LoginReply::Refused);
    QTest::newRow("200") << QByteArray("200") << accepted;
    QTest::newRow("886") << QByteArray("886") << refused;
    QTest::newRow("2") << QByteArray("2") << incomplete;
    QTest::newRow("20") << QByteArray("20") << incomplete;
    QTest::newRow("88") << QByteArray("88") << incomplete;
    QTest::newRow("200 with more") << QByteArray("200886") << refused;
    QTest::newRow("200 CR LF") << QByteArray("200\r\n") << refused;
    QTest::newRow("other") << QByteArray("x") << refused;
    QTest::newRow("21") << QByteArray("21") << refused;
}

void tst_Protocol::loginReply() {
    QFETCH(QByteArray, received);
    QFETCH(int, reply);
    QCOMPARE(int(classifyLoginReply(received)), reply);
}

void tst_Protocol::accountId_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("valid");
    QTest::newRow("0") << u"0"_qs << true;
    QTest::newRow("8 digits") << u"99999999"_qs << true;
    QTest::newRow("leading zeros") << u"0001"_qs << true;
    QTest::newRow("9 digits") << u"123456789"_qs << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("traversal") << u"../1"_qs << false;
    QTest::newRow("absolute") << u"/etc/passwd"_qs << false;
    QTest::newRow("sign") << u"-1"_qs << false;
    QTest::newRow("blank") << u" 1"_qs << false;
    QTest::newRow("full-width digit") << u"１"_qs << false;
    QTest::newRow("arabic-indic digit") << u"\u0661"_qs << false;
}

void tst_Protocol::accountId() {
    QFETCH(QString, id);
    QFETCH(bool, valid);
    QCOMPARE(isAccountId(id), valid);
}

void tst_Protocol::separators() {
    QCOMPARE(separatorCount(QByteArray("a\0b\0\0", 5)), 3);
    QCOMPARE(separatorCount(QByteArray()), 0);
    // Two-byte characters never hold a zero byte.
    QCOMPARE(separatorCount(cp936::encode(u"晴窗日记本，你好"_qs)), 0);
}

void tst_Protocol::errorReport() {
    QCOMPARE(protocol::errorReport(10061, u"Connection refused"_qs),
             u"\r\n\r\n  错误编号：10061\r\n  说    明：Connection refused\r\n"_qs);
}

QTEST_GUILESS_MAIN(tst_Protocol)
#include "tst_protocol.moc"
