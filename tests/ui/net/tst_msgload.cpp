// The published message: \Message.txt as the message service sends it.
#include "store/net/msgload.h"
#include "netcopy.h"

#include <QFile>
#include <QTest>

using namespace netcopy;

class tst_MsgLoad : public QObject {
    Q_OBJECT
private slots:
    void messageFromText_data();
    void messageFromText();
    void loadMessage();
    void missingFileIsCreatedEmpty();
    void oversizedFileIsAnError();
};

void tst_MsgLoad::messageFromText_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("two lines") << u"a\r\nb\r\n"_qs << u"\r\n  a\r\n  b"_qs;
    QTest::newRow("last line without CR LF") << u"a\r\nb"_qs << u"\r\n  a\r\n  b"_qs;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("one empty line") << u"\r\n"_qs << u"\r\n  "_qs;
    QTest::newRow("empty lines kept") << u"a\r\n\r\nb\r\n"_qs << u"\r\n  a\r\n  \r\n  b"_qs;
    QTest::newRow("CR alone ends a line") << u"a\rb"_qs << u"\r\n  a\r\n  b"_qs;
    QTest::newRow("LF alone belongs to the line") << u"a\nb"_qs << u"\r\n  a\nb"_qs;
    QTest::newRow("blanks kept") << u"  x  \r\n"_qs << u"\r\n    x  "_qs;
}

void tst_MsgLoad::messageFromText() {
    QFETCH(QString, file);
    QFETCH(QString, message);
    QCOMPARE(net::messageFromText(file), message);
}

void tst_MsgLoad::loadMessage() {
    Options o;
    o.server = true;
    o.message = gbk(u"第一行\r\n第二行\r\n"_qs);
    Copy c(o);
    QCOMPARE(c.fn->MessageSended, u"\r\n  第一行\r\n  第二行"_qs);
    // A new file is picked up by the next load.
    QVERIFY(testsupport::writeFile(c.path(u"Message.txt"_qs), gbk(u"新消息"_qs)));
    QVERIFY(c.fn->reloadMessage());
    QCOMPARE(c.fn->MessageSended, u"\r\n  新消息"_qs);
}

void tst_MsgLoad::missingFileIsCreatedEmpty() {
    Copy c; // client mode: nothing loaded the message yet
    QVERIFY(!QFile::exists(c.path(u"Message.txt"_qs)));
    c.fn->MessageSended = u"old"_qs;
    QVERIFY(c.fn->reloadMessage());
    QCOMPARE(c.fn->MessageSended, QString());
    QVERIFY(QFile::exists(c.path(u"Message.txt"_qs)));
    QCOMPARE(testsupport::readFile(c.path(u"Message.txt"_qs)), QByteArray());
}

void tst_MsgLoad::oversizedFileIsAnError() {
    Copy c;
    QVERIFY(testsupport::writeFile(c.path(u"Message.txt"_qs),
                                   QByteArray(net::kMaxMessageFileBytes + 1, 'x')));
    c.fn->MessageSended = u"old"_qs;
    QCOMPARE(c.fn->reloadMessage().code, store::Code::TooLarge);
    QCOMPARE(c.fn->MessageSended, QString());
    // The file itself is left alone.
    QCOMPARE(QFileInfo(c.path(u"Message.txt"_qs)).size(), net::kMaxMessageFileBytes + 1);
}

QTEST_MAIN(tst_MsgLoad)
#include "tst_msgload.moc"
