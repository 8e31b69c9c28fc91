// The sealing of one entry: what a body holds, what opens it and what refuses.
#include "store/cipher/entrycipher.h"

#include "store/common/codepage.h"
#include "store/rtf/rtf.h"

#include <QTest>

#include <sodium.h>

namespace {

// The cheapest limits libsodium takes: the format and the checks do not depend on the cost.
const cipher::Limits kFast{1, 8};

const QByteArray kPlain = "{\\rtf1\\ansi\\ansicpg936 \\'bd\\'f1\\'cc\\'ec secret words\\par\r\nline two\\par\r\n}";
const QByteArray kTitle = cp936::encode(u"西湖"_qs);
const QString kPassword = u"密码abc"_qs;

QByteArray sealed(const QByteArray &plain = kPlain, cipher::Limits limits = kFast) {
    const cipher::Sealing s = cipher::seal(plain, 4711, kTitle, kPassword, limits);
    if (!s.result.ok()) qFatal("sealing failed: %s", qPrintable(s.result.detail));
    return s.body;
}

// The record inside a body, before base64.
QByteArray recordOf(const QByteArray &body) {
    const cipher::Parsed p = cipher::parseBody(body);
    if (!p.sealed) qFatal("not a sealed body: %s", qPrintable(p.error));
    const cipher::Sealed &s = *p.sealed;
    QByteArray r(1, '\x01');
    for (quint32 v : {s.limits.ops, s.limits.memKiB})
        for (int i = 0; i < 4; ++i)
            r += char(v >> (8 * i));
    return r + s.salt + s.nonce + s.check + s.cipher + s.checksum;
}

// A body holding the record; with a checksum made to fit when asked, as a deliberate change would.
QByteArray bodyOf(QByteArray record, bool fitChecksum, qsizetype lineLength = 76) {
    if (fitChecksum) {
        unsigned char sum[16];
        crypto_generichash(sum, sizeof sum, reinterpret_cast<const unsigned char *>(record.constData()),
                           size_t(record.size() - 16), nullptr, 0);
        record.replace(record.size() - 16, 16, reinterpret_cast<const char *>(sum), 16);
    }
    const QByteArray text = record.toBase64();
    const QByteArray doc = rtf::documentWithBody(u"A"_qs).toLatin1();
    QByteArray body = doc.chopped(8); // up to the space after \fs18
    for (qsizetype at = 0; at < text.size(); at += lineLength)
        body += (at ? "\r\n" : "") + text.mid(at, lineLength);
    return body + "\\par\r\n}";
}

cipher::Record record(const QByteArray &body, qint32 key = 4711, const QByteArray &title = kTitle) {
    static const QByteArray line = cipher::encipheredPasswordLine();
    return {key, title, line, body};
}

cipher::Code openCode(const QByteArray &body, qint32 key = 4711, const QByteArray &title = kTitle) {
    return cipher::open(record(body, key, title), kPassword).result.code;
}

} // namespace

class TestEntryCipher : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(cipher::init()); }
    void roundTrip_data();
    void roundTrip();
    void standardLimitsAreInteractiveOrStronger();
    void wrongPasswordKeyOrTitle();
    void everyFlippedByteIsDamage();
    void deliberateChanges();
    void foreignBodies_data();
    void foreignBodies();
    void laterFormatLine();
    void sealedLines_data();
    void sealedLines();
};

void TestEntryCipher::roundTrip_data() {
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("rich text") << kPlain;
    QTest::newRow("code page 936 bytes, CR LF") << cp936::encode(u"今天晴。\r\n第二行"_qs);
    QTest::newRow("base64 filling its last line") << QByteArray(17, 'x'); // a record of 2 * 57 bytes
    QTest::newRow("400,000 characters") << QByteArray("{\\rtf1 ") + QByteArray(400000 - 9, 'w') + "}\r\n";
}

// What is sealed opens to the same bytes, and the body is one RTF document of base64 lines in
// which nothing of the plaintext or the password shows.
void TestEntryCipher::roundTrip() {
    QFETCH(QByteArray, plain);
    const QByteArray body = sealed(plain);
    const cipher::Opening o = cipher::open(record(body), kPassword);
    QCOMPARE(o.result.code, cipher::Code::Ok);
    QCOMPARE(o.plain, plain);
    QCOMPARE(cipher::checkPassword(record(body), kPassword).code, cipher::Code::Ok);

    QVERIFY(body.startsWith(rtf::documentWithBody(u"A"_qs).toLatin1().chopped(8)));
    QVERIFY(body.endsWith("\\par\r\n}"));
    const QList<QByteArray> lines = body.split('\n');
    // Header, paragraph settings with the first 76 characters, lines of 76, the last line and \par.
    for (qsizetype i = 2; i + 2 < lines.size(); ++i)
        QVERIFY2(lines[i].size() == 77 && lines[i].endsWith('\r'), lines[i].constData());
    QVERIFY(lines.at(lines.size() - 2).endsWith("\\par\r"));
    for (char c : body)
        QVERIFY(c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7f));
    if (plain.size() > 8) QVERIFY(!body.contains(plain.mid(plain.size() / 2, 8)));
    QVERIFY(!body.contains(kPassword.toUtf8()) && !body.contains(cp936::encode(kPassword)));
    QCOMPARE(cipher::writeBody(*cipher::parseBody(body).sealed), body);
    // Salt and nonce are new for every seal.
    QVERIFY(sealed(plain) != body);
}

void TestEntryCipher::standardLimitsAreInteractiveOrStronger() {
    const cipher::Limits l = cipher::standardLimits();
    QVERIFY(l.ops >= crypto_pwhash_OPSLIMIT_INTERACTIVE);
    QVERIFY(quint64(l.memKiB) * 1024 >= crypto_pwhash_MEMLIMIT_INTERACTIVE);
    // And a record sealed with them carries them and opens.
    const QByteArray body = sealed(kPlain, l);
    const cipher::Parsed p = cipher::parseBody(body);
    QVERIFY(p.sealed);
    QCOMPARE(p.sealed->limits.ops, l.ops);
    QCOMPARE(p.sealed->limits.memKiB, l.memKiB);
    QCOMPARE(cipher::open(record(body), kPassword).plain, kPlain);
}

void TestEntryCipher::wrongPasswordKeyOrTitle() {
    const QByteArray body = sealed();
    for (const QString &other : {QString(), u"密码abd"_qs, u"abc"_qs, u"密码abc "_qs}) {
        const cipher::Opening o = cipher::open(record(body), other);
        QCOMPARE(o.result.code, cipher::Code::WrongPassword);
        QVERIFY(o.plain.isEmpty());
        QCOMPARE(cipher::checkPassword(record(body), other).code, cipher::Code::WrongPassword);
    }
    // The body moved into another record: the right password, another key or title.
    QCOMPARE(openCode(body, 4712), cipher::Code::Damaged);
    QCOMPARE(openCode(body, 4711, cp936::encode(u"西湖 "_qs)), cipher::Code::Damaged);
    QCOMPARE(openCode(body, 4711, QByteArray()), cipher::Code::Damaged);
}

// Any one byte of the body changed, in the RTF around the record, in the base64 or in the record
// itself (format, limits, salt, nonce, check, ciphertext, checksum): damage, never a wrong password
// and never plaintext.
void TestEntryCipher::everyFlippedByteIsDamage() {
    const QByteArray body = sealed();
    for (qsizetype i = 0; i < body.size(); ++i) {
        QByteArray b = body;
        b[i] = char(b[i] ^ 0x01);
        const cipher::Opening o = cipher::open(record(b), kPassword);
        QVERIFY2(o.result.code == cipher::Code::Damaged && o.plain.isEmpty(),
                 qPrintable(u"body byte %1"_qs.arg(i)));
    }
    const QByteArray raw = recordOf(body);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        QByteArray r = raw;
        r[i] = char(r[i] ^ 0x80);
        QVERIFY2(openCode(bodyOf(r, false)) == cipher::Code::Damaged, qPrintable(u"record byte %1"_qs.arg(i)));
    }
}

// A change made with the checksum fitted again still never opens: a changed ciphertext or nonce is
// damage (the password is still proven, so its owner may remove the entry); a changed salt or check
// reads as a wrong password.
void TestEntryCipher::deliberateChanges() {
    const QByteArray body = sealed();
    const QByteArray raw = recordOf(body);
    QCOMPARE(bodyOf(raw, false), body); // the helpers rebuild a body exactly
    QCOMPARE(bodyOf(raw, true), body);
    const qsizetype salt = 9, nonce = 25, check = 49, cipherText = 65;
    for (qsizetype at : {nonce, cipherText, qsizetype(raw.size() - 17)}) {
        QByteArray r = raw;
        r[at] = char(r[at] ^ 0x04);
        QCOMPARE(openCode(bodyOf(r, true)), cipher::Code::Damaged);
        QCOMPARE(cipher::checkPassword(record(bodyOf(r, true)), kPassword).code, cipher::Code::Ok);
    }
    for (qsizetype at : {salt, check}) {
        QByteArray r = raw;
        r[at] = char(r[at] ^ 0x04);
        QCOMPARE(openCode(bodyOf(r, true)), cipher::Code::WrongPassword);
        // Without the checksum fitted, the same change is damage for a removal as well.
        QCOMPARE(cipher::checkPassword(record(bodyOf(r, false)), kPassword).code, cipher::Code::Damaged);
    }
}

void TestEntryCipher::foreignBodies_data() {
    QTest::addColumn<QByteArray>("body");
    const QByteArray body = sealed();
    const QByteArray raw = recordOf(body);
    auto withLimits = [&raw](quint32 ops, quint32 memKiB) {
        QByteArray r = raw;
        for (int i = 0; i < 4; ++i) {
            r[1 + i] = char(ops >> (8 * i));
            r[5 + i] = char(memKiB >> (8 * i));
        }
        return bodyOf(r, true);
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("an ordinary entry") << kPlain;
    QTest::newRow("no record") << rtf::emptyDocument().toLatin1();
    QTest::newRow("a line break after the record") << QByteArray(body).insert(body.size() - 7, "\r\n");
    QTest::newRow("lines of 64") << bodyOf(raw, false, 64);
    QTest::newRow("one long line") << bodyOf(raw, false, 1000);
    QTest::newRow("record too short") << bodyOf(raw.left(96), false);
    QTest::newRow("format 2") << bodyOf(QByteArray(raw).replace(0, 1, "\x02"), true);
    QTest::newRow("memory beyond the sensitive limit") << withLimits(2, 2 * 1024 * 1024);
    // More than the cost new entries get: a changed file must not make opening take a gigabyte.
    QTest::newRow("the sensitive limits") << withLimits(4, 1024 * 1024);
    QTest::newRow("a pass more than ours") << withLimits(3, 64 * 1024);
    QTest::newRow("memory twice ours") << withLimits(2, 128 * 1024);
    QTest::newRow("no passes") << withLimits(0, 8);
    QTest::newRow("memory below the minimum") << withLimits(1, 7);
}

// Bodies that are no sealed record of ours are damage, found before any key is derived.
void TestEntryCipher::foreignBodies() {
    QFETCH(QByteArray, body);
    QVERIFY(!cipher::parseBody(body).sealed);
    QCOMPARE(openCode(body), cipher::Code::Damaged);
    QCOMPARE(cipher::checkPassword(record(body), kPassword).code, cipher::Code::Damaged);
}

// A whole record under a password line of a later format is not read as ours.
void TestEntryCipher::laterFormatLine() {
    const QByteArray body = sealed();
    const cipher::Record later{4711, kTitle, "\x07$q2$", body};
    QCOMPARE(cipher::open(later, kPassword).result.code, cipher::Code::Damaged);
    QCOMPARE(cipher::checkPassword(later, kPassword).code, cipher::Code::Damaged);
}

void TestEntryCipher::sealedLines_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("sealed");
    QTest::newRow("ours") << cipher::encipheredPasswordLine() << true;
    QTest::newRow("a later format") << QByteArray("\x07$q2$") << true;
    QTest::newRow("no password") << QByteArray("\x07") << false;
    QTest::newRow("code of abc") << QByteArray("\x07" "979899") << false;
    QTest::newRow("code of 中") << QByteArray("\x07-10544") << false;
    QTest::newRow("marker without BEL") << QByteArray("$q1$") << false;
}

void TestEntryCipher::sealedLines() {
    QFETCH(QByteArray, line);
    QFETCH(bool, sealed);
    QCOMPARE(cipher::isSealedLine(line), sealed);
    QCOMPARE(cipher::encipheredPasswordLine(), QByteArray("\x07$q1$"));
}

QTEST_GUILESS_MAIN(TestEntryCipher)
#include "tst_entrycipher.moc"
