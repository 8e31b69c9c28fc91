// How many accounts a server makes: per address within a day, per minute, in all.
#include "store/net/accounts.h"
#include "store/net/protocol.h"

#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>

class TestRegistrationGate : public QObject {
    Q_OBJECT
private slots:
    void refusals_data();
    void refusals();
};

void TestRegistrationGate::refusals_data() {
    QTest::addColumn<QStringList>("made"); // "address@seconds" of the registrations made
    QTest::addColumn<QString>("asking");   // "address@seconds" of the one asked for
    QTest::addColumn<int>("accounts");     // account files in UserInfo
    QTest::addColumn<QString>("refusal");  // empty: it may go ahead
    const QString address = u"\r\n  这个地址今天注册的账号已经太多，请明天再试。\r\n"_qs;
    const QString busy = u"\r\n  现在注册的人太多，请过一分钟再试。\r\n"_qs;
    const QString full = u"\r\n  服务器的账号已满，不再接受新的注册。\r\n"_qs;
    // Limits of every row: 2 per address a day, 3 a minute, 4 in all.
    QTest::newRow("the first") << QStringList() << u"a@0"_qs << 0 << QString();
    QTest::newRow("one address, second") << QStringList{u"a@0"_qs} << u"a@100"_qs << 1 << QString();
    QTest::newRow("one address, third")
        << QStringList{u"a@0"_qs, u"a@100"_qs} << u"a@200"_qs << 2 << address;
    QTest::newRow("another address")
        << QStringList{u"a@0"_qs, u"a@100"_qs} << u"b@200"_qs << 2 << QString();
    QTest::newRow("one address, a day later")
        << QStringList{u"a@0"_qs, u"a@100"_qs} << u"a@86400"_qs << 2 << QString();
    QTest::newRow("one address, a second less than a day")
        << QStringList{u"a@0"_qs, u"a@100"_qs} << u"a@86399"_qs << 2 << address;
    QTest::newRow("a minute's fourth")
        << QStringList{u"a@0"_qs, u"b@10"_qs, u"c@20"_qs} << u"d@59"_qs << 3 << busy;
    QTest::newRow("the minute after")
        << QStringList{u"a@0"_qs, u"b@10"_qs, u"c@20"_qs} << u"d@60"_qs << 3 << QString();
    QTest::newRow("this computer") << QStringList{u"127.0.0.1@0"_qs, u"127.0.0.1@10"_qs, u"127.0.0.1@20"_qs}
                                   << u"127.0.0.1@30"_qs << 3 << QString();
    QTest::newRow("this computer, full") << QStringList() << u"127.0.0.1@0"_qs << 4 << full;
    QTest::newRow("full") << QStringList() << u"a@0"_qs << 4 << full;
    QTest::newRow("one place left") << QStringList() << u"a@0"_qs << 3 << QString();
}

void TestRegistrationGate::refusals() {
    QFETCH(QStringList, made);
    QFETCH(QString, asking);
    QFETCH(int, accounts);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    for (int i = 0; i < accounts; ++i)
        QVERIFY(testsupport::writeFile(dir.path() + u"/UserInfo/%1.usr"_qs.arg(i + 1), "x"));
    QVERIFY(testsupport::writeFile(dir.path() + u"/UserInfo/notes.txt"_qs, "not an account"));
    const QDateTime start(QDate(2004, 9, 8), QTime(9, 0));
    auto at = [&start](const QString &event) {
        return std::pair(event.section(u'@', 0, 0), start.addSecs(event.section(u'@', 1).toInt()));
    };
    net::RegistrationGate gate({2, 3, 4});
    for (const QString &event : made) {
        const auto [ip, time] = at(event);
        gate.made(ip, time);
    }
    const auto [ip, time] = at(asking);
    QCOMPARE(gate.refusal(ProgramFolder(dir.path()), ip, time).value_or(QString()), refusal);
}

QTEST_GUILESS_MAIN(TestRegistrationGate)
#include "tst_registrationgate.moc"
