// Enciphered entries in date files: reading and removing them through the store, and turning the
// old password codes into enciphered entries.
#include "store/cipher/convert.h"
#include "store/cipher/entrycipher.h"
#include "store/diary/diarystore.h"
#include "store/diary/fos.h"

#include "store/common/codepage.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

const cipher::Limits kFast{1, 8};

QByteArray entry(const QByteArray &key, const QString &title, const QByteArray &passwordLine,
                 const QByteArray &body, bool terminated = true) {
    return "\x7f" + key + "\r\n" + cp936::encode(title) + "\r\n" + passwordLine + "\r\n" + body + "\r\n" +
           (terminated ? QByteArray(" \x7f\r\n") : QByteArray());
}
QByteArray legacy(const QString &password) { return "\x07" + cp936::encode(diary::PasswordCode(password)); }

QByteArray sealedBody(qint32 key, const QString &title, const QByteArray &plain, const QString &password) {
    const cipher::Sealing s = cipher::seal(plain, key, cp936::encode(title), password, kFast);
    if (!s.result.ok()) qFatal("sealing failed");
    return s.body;
}
QByteArray sealedEntry(qint32 key, const QString &title, const QByteArray &plain, const QString &password) {
    return entry(QByteArray::number(key), title, cipher::encipheredPasswordLine(),
                 sealedBody(key, title, plain, password));
}

const QByteArray kBodyA = "{\\rtf1\\ansi open words\\par\r\n}";
const QByteArray kBodyB = "{\\rtf1\\ansi \\'ce\\'f7\\'ba\\'fe secret one\\par\r\nline two\\par\r\n}";
const QByteArray kBodyC = "{\\rtf1\\ansi other lock\\par\r\n}";

// A body changed by hand: a byte of the salt or of the ciphertext, the stored checksum kept.
QByteArray changed(const QByteArray &body, bool salt) {
    cipher::Sealed s = *cipher::parseBody(body).sealed;
    QByteArray &part = salt ? s.salt : s.cipher;
    part[0] = char(part[0] ^ 0x01);
    return cipher::writeBody(s);
}

} // namespace

class TestLockedEntries : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const QString &name = u"20040908.KAV"_qs) const { return m_dir.path() + u"/DB/"_qs + name; }
    QString temp() const { return m_dir.path() + u"/DB/temp.tmp"_qs; }

private slots:
    void initTestCase() { QVERIFY(cipher::init()); }
    void appendEnciphered();
    void readAndRemove();
    void damagedEntries_data();
    void damagedEntries();
    void convertEntries_data();
    void convertEntries();
    void convertDiary();
    void convertFailureKeepsFiles();
    void convertStopsBetweenFiles();
    void convertGoesOnPastAFailedFile();
};

// A new locked entry is sealed for the key it is given and its one-line title; nothing of its
// words or password is in the file.
void TestLockedEntries::appendEnciphered() {
    const QByteArray open = entry("1", u"open"_qs, "\x07", kBodyA);
    QVERIFY(testsupport::writeFile(file(), open));
    qint32 key = 0;
    QVERIFY(diary::appendEntry(file(), u"西\r\n湖"_qs, diary::Lock{u"密码"_qs}, cp936::decode(kBodyB),
                               [] { return 77; }, &key));
    QCOMPARE(key, 77);
    const QByteArray bytes = testsupport::readFile(file());
    QVERIFY(bytes.startsWith(open + "\x7f" "77\r\n" + cp936::encode(u"西 湖"_qs) + "\r\n\x07$q1$\r\n"));
    for (const QByteArray &secret : {QByteArray("secret one"), QByteArray("\\'ce\\'f7"), cp936::encode(u"密码"_qs),
                                     cp936::encode(diary::PasswordCode(u"密码"_qs))})
        QVERIFY2(!bytes.contains(secret), secret.constData());
    const diary::Content c = diary::readEntry(file(), 77, 0, u"密码"_qs);
    QVERIFY(c.PassOK);
    QCOMPARE(c.body, cp936::decode(kBodyB));
    QCOMPARE(diary::readEntry(file(), 77, 0, u"密"_qs).result.code, cipher::Code::WrongPassword);
    // An empty password leaves the entry open, whatever the lock asks.
    QVERIFY(diary::appendEntry(file(), u"t"_qs, diary::Lock{QString(), true}, cp936::decode(kBodyA), [] { return 78; }));
    QVERIFY(testsupport::readFile(file()).endsWith(entry("78", u"t"_qs, "\x07", kBodyA)));
}

void TestLockedEntries::readAndRemove() {
    const QByteArray a = entry("1", u"open"_qs, "\x07", kBodyA);
    const QByteArray b = sealedEntry(2, u"西湖"_qs, kBodyB, u"abc"_qs);
    const QByteArray c = entry("3", u"old lock"_qs, legacy(u"abc"_qs), kBodyC);
    QVERIFY(testsupport::writeFile(file(), a + b + c));

    const diary::Content right = diary::readEntry(file(), 2, 0, u"abc"_qs);
    QVERIFY(right.found && right.PassOK);
    QCOMPARE(right.body, cp936::decode(kBodyB));
    QCOMPARE(right.result.code, cipher::Code::Ok);
    // The old code of the password does not open it, nor does another password with that code.
    for (const QString &wrong : {QString(), u"979899"_qs, u"\tOY\t"_qs, u"abd"_qs}) {
        const diary::Content w = diary::readEntry(file(), 2, 0, wrong);
        QVERIFY(w.found && !w.PassOK);
        QCOMPARE(w.body, QString());
        QCOMPARE(w.result.code, cipher::Code::WrongPassword);
    }
    // The old lock is as it was: "\tOY\t" has the code of abc.
    QCOMPARE(diary::readEntry(file(), 3, 0, u"\tOY\t"_qs).body, cp936::decode(kBodyC));
    FOS fos;
    fos.fr(file());
    QCOMPARE(fos.getContent(u"2"_qs, u"abc"_qs), std::optional<QString>(cp936::decode(kBodyB)));
    QVERIFY(fos.PassOK && fos.LastResult.ok());

    QCOMPARE(diary::removeEntry(file(), temp(), 2, 0, u"abd"_qs).code, store::Code::WrongPassword);
    QCOMPARE(testsupport::readFile(file()), a + b + c);
    QCOMPARE(diary::removeEntry(file(), temp(), 2, 0, u"abc"_qs).code, store::Code::Ok);
    QCOMPARE(testsupport::readFile(file()), a + c);
}

void TestLockedEntries::damagedEntries_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("removable"); // the password can still be proven
    const QByteArray body = sealedBody(2, u"西湖"_qs, kBodyB, u"abc"_qs);
    const QByteArray line = cipher::encipheredPasswordLine();
    QTest::newRow("a salt byte") << entry("2", u"西湖"_qs, line, changed(body, true)) << false;
    QTest::newRow("a ciphertext byte") << entry("2", u"西湖"_qs, line, changed(body, false)) << true;
    QTest::newRow("the title changed") << entry("2", u"东湖"_qs, line, body) << true;
    QTest::newRow("the body of another key") << entry("2", u"西湖"_qs, line, sealedBody(3, u"西湖"_qs, kBodyB, u"abc"_qs))
                                             << true;
    QTest::newRow("the last line cut") << entry("2", u"西湖"_qs, line, body.left(body.lastIndexOf("\r\n"))) << false;
    QTest::newRow("a later format") << entry("2", u"西湖"_qs, "\x07$q2$", body) << false;
}

// A damaged enciphered entry is listed, never opens, and says so; its owner can remove it while
// its password can still be checked.
void TestLockedEntries::damagedEntries() {
    QFETCH(QByteArray, data);
    QFETCH(bool, removable);
    const QByteArray other = entry("1", u"open"_qs, "\x07", kBodyA);
    QVERIFY(testsupport::writeFile(file(), other + data));
    QCOMPARE(diary::ListEntries(file()).items.size(), 2);
    const diary::Content c = diary::readEntry(file(), 2, 0, u"abc"_qs);
    QVERIFY(c.found && !c.PassOK);
    QCOMPARE(c.result.code, cipher::Code::Damaged);
    QCOMPARE(c.body, QString());

    QCOMPARE(diary::removeEntry(file(), temp(), 2, 0, u"abc"_qs).code,
             removable ? store::Code::Ok : store::Code::Damaged);
    QCOMPARE(testsupport::readFile(file()), removable ? other : other + data);
    QVERIFY(!QFile::exists(temp()));
}

void TestLockedEntries::convertEntries_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QList<int>>("converted"); // keys
    QTest::newRow("abc") << u"abc"_qs << QList<int>{2, 5, 7};
    QTest::newRow("a password with the same code") << u"\tOY\t"_qs << QList<int>{2, 5, 7};
    QTest::newRow("中") << u"中"_qs << QList<int>{3};
    QTest::newRow("no entry has it") << u"abd"_qs << QList<int>{};
    QTest::newRow("empty") << QString() << QList<int>{};
}

// Exactly the entries locked with the code of the password are enciphered under it; every other
// byte of the file stays, and each converted entry opens with the password to its old body.
void TestLockedEntries::convertEntries() {
    QFETCH(QString, password);
    QFETCH(QList<int>, converted);
    const QMap<int, QByteArray> blocks = {
        {1, entry("1", u"open"_qs, "\x07", kBodyA)},
        {2, entry("2", u"西湖"_qs, legacy(u"abc"_qs), kBodyB)},
        {3, entry("3", u"other"_qs, legacy(u"中"_qs), kBodyC)},
        {4, sealedEntry(4, u"sealed"_qs, kBodyC, u"abc"_qs)},
        {5, "stray line\r\n" + entry("5", u"第二"_qs, legacy(u"abc"_qs), "{\\rtf1 five}")},
        {7, entry("7", u"no end"_qs, legacy(u"abc"_qs), "{\\rtf1 seven}", false)},
    };
    QByteArray before;
    for (const QByteArray &b : blocks)
        before += b;
    before.chop(2); // the last line without its CR LF

    const cipher::Converted c = cipher::encipherLegacyEntries(before, password, kFast);
    QVERIFY(c.result.ok());
    QCOMPARE(c.enciphered, converted.size());
    if (converted.isEmpty()) QCOMPARE(c.file, before);
    QVERIFY(testsupport::writeFile(file(), c.file));
    const diary::Listing listing = diary::ListEntries(file());
    QVERIFY(listing.result.ok());
    QCOMPARE(listing.items.size(), 6);
    for (const diary::EntryItem &item : listing.items) {
        const QByteArray old = blocks.value(item.key);
        if (!converted.contains(item.key)) {
            QVERIFY2(c.file.contains(item.key == 7 ? old.chopped(2) : old), qPrintable(item.title));
            continue;
        }
        const QByteArray oldBody = old.mid(old.indexOf("{\\rtf1")).chopped(item.key == 7 ? 2 : 6);
        QVERIFY(!c.file.contains(oldBody));
        const diary::Content opened = diary::readEntry(file(), item.key, 0, password);
        QCOMPARE(opened.result.code, cipher::Code::Ok);
        QCOMPARE(opened.body, cp936::decode(oldBody));
        QCOMPARE(diary::readEntry(file(), item.key, 0, u"x"_qs).result.code, cipher::Code::WrongPassword);
    }
    if (!converted.isEmpty())
        QVERIFY(!c.file.contains("\x07" + cp936::encode(diary::PasswordCode(password)) + "\r\n"));
}

// Every date file of the folder, whatever the case of its name; other files are not touched.
void TestLockedEntries::convertDiary() {
    QTemporaryDir dir;
    const QByteArray one = entry("1", u"a"_qs, legacy(u"abc"_qs), kBodyB);
    const QByteArray two = entry("1", u"b"_qs, legacy(u"abc"_qs), kBodyA) + entry("2", u"c"_qs, legacy(u"abc"_qs), kBodyC);
    const QByteArray none = entry("1", u"d"_qs, legacy(u"中"_qs), kBodyC);
    const QMap<QString, QByteArray> files = {{u"20040908.KAV"_qs, one},
                                             {u"9990101.kav"_qs, two},
                                             {u"20040910.KAV"_qs, none},
                                             {u"notes.KAV"_qs, one},
                                             {u"20040908.KAV.bak"_qs, one}};
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QVERIFY(testsupport::writeFile(dir.path() + u'/' + it.key(), it.value()));
    const cipher::Conversion c =
        cipher::encipherLegacyDiary(dir.path(), dir.path() + u"/temp.tmp"_qs, u"abc"_qs, kFast);
    QVERIFY(c.result.ok());
    QCOMPARE(c.enciphered, 3);
    QCOMPARE(c.files, 2);
    for (const QString &name : {u"20040910.KAV"_qs, u"notes.KAV"_qs, u"20040908.KAV.bak"_qs})
        QCOMPARE(testsupport::readFile(dir.path() + u'/' + name), files.value(name));
    for (const QString &name : {u"20040908.KAV"_qs, u"9990101.kav"_qs}) {
        const QByteArray now = testsupport::readFile(dir.path() + u'/' + name);
        QCOMPARE(now.count("\x07$q1$\r\n"), files.value(name).count("\x07" "979899"));
        QVERIFY(!now.contains("979899"));
    }
    // Every converted entry opens with the password to its old body; the others as before.
    const QList<std::tuple<QString, int, QByteArray>> opened = {{u"20040908.KAV"_qs, 1, kBodyB},
                                                                {u"9990101.kav"_qs, 1, kBodyA},
                                                                {u"9990101.kav"_qs, 2, kBodyC}};
    for (const auto &[name, key, body] : opened) {
        const diary::Content opened = diary::readEntry(dir.path() + u'/' + name, key, 0, u"abc"_qs);
        QCOMPARE(opened.result.code, cipher::Code::Ok);
        QCOMPARE(opened.body, cp936::decode(body));
    }
    QCOMPARE(diary::readEntry(dir.path() + u"/20040910.KAV"_qs, 1, 0, u"中"_qs).body,
             cp936::decode(kBodyC));
    QCOMPARE(c.otherLocks, QStringList{u"20040910.KAV: d"_qs});
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), files.size());
    QVERIFY(!QFile::exists(dir.path() + u"/temp.tmp"_qs));
    // Done twice, nothing is left to do.
    QCOMPARE(cipher::encipherLegacyDiary(dir.path(), dir.path() + u"/temp.tmp"_qs, u"abc"_qs, kFast).enciphered, 0);
}

// A date file that cannot be rewritten stays as it was and is named; the rest go on.
void TestLockedEntries::convertFailureKeepsFiles() {
    QTemporaryDir dir;
    const QByteArray one = entry("1", u"a"_qs, legacy(u"abc"_qs), kBodyB);
    QVERIFY(testsupport::writeFile(dir.path() + u"/20040908.KAV"_qs, one));
    QVERIFY(testsupport::writeFile(dir.path() + u"/20040909.KAV"_qs, one));
    const cipher::Conversion c = cipher::encipherLegacyDiary(dir.path(), dir.path() + u"/no/temp.tmp"_qs, u"abc"_qs, kFast);
    QCOMPARE(c.result.code, cipher::Code::IoError);
    QVERIFY(c.result.detail.startsWith(u"20040908.KAV: "_qs));
    QCOMPARE(c.enciphered, 0);
    QCOMPARE(testsupport::readFile(dir.path() + u"/20040908.KAV"_qs), one);
    QCOMPARE(testsupport::readFile(dir.path() + u"/20040909.KAV"_qs), one);
}

// The conversion is told of each date file before it is read, and stops there when told to: the
// files not reached stay as they were.
void TestLockedEntries::convertStopsBetweenFiles() {
    QTemporaryDir dir;
    const QByteArray one = entry("1", u"a"_qs, legacy(u"abc"_qs), kBodyB);
    const QStringList names = {u"20040908.KAV"_qs, u"20040909.KAV"_qs, u"20040910.KAV"_qs};
    for (const QString &name : names)
        QVERIFY(testsupport::writeFile(dir.path() + u'/' + name, one));
    QVERIFY(testsupport::writeFile(dir.path() + u"/notes.txt"_qs, one));
    QList<QPair<int, int>> told;
    const cipher::Conversion c = cipher::encipherLegacyDiary(
        dir.path(), dir.path() + u"/temp.tmp"_qs, u"abc"_qs, kFast, [&told](int done, int total) {
            told.append({done, total});
            return done < 2;
        });
    QVERIFY(c.result.ok());
    QVERIFY(c.stopped);
    QCOMPARE(c.enciphered, 2);
    QCOMPARE(told, (QList<QPair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));
    for (const QString &name : names.first(2))
        QVERIFY(testsupport::readFile(dir.path() + u'/' + name).contains("\x07$q1$\r\n"));
    QCOMPARE(testsupport::readFile(dir.path() + u"/20040910.KAV"_qs), one);
    // Not stopped, it goes to the end.
    const cipher::Conversion rest = cipher::encipherLegacyDiary(dir.path(), dir.path() + u"/temp.tmp"_qs, u"abc"_qs,
                                                                kFast, [](int, int) { return true; });
    QVERIFY(!rest.stopped);
    QCOMPARE(rest.enciphered, 1);
}

// One date file of several cannot be rewritten (its temporary file cannot be made): it stays as it
// was and is named, the files before and after it are converted, and no temporary file is left.
void TestLockedEntries::convertGoesOnPastAFailedFile() {
    QTemporaryDir dir;
    const QStringList names = {u"20040908.KAV"_qs, u"20040909.KAV"_qs, u"20040910.KAV"_qs};
    const QList<QByteArray> bodies = {kBodyA, kBodyB, kBodyC};
    for (int i = 0; i < 3; ++i)
        QVERIFY(testsupport::writeFile(dir.path() + u'/' + names[i],
                                       entry("5", u"t"_qs, legacy(u"abc"_qs), bodies[i])));
    const QString temp = dir.path() + u"/temp.tmp"_qs;
    const cipher::Conversion c =
        cipher::encipherLegacyDiary(dir.path(), temp, u"abc"_qs, kFast, [&](int done, int) {
            // A folder where the temporary file goes, for the second file only.
            if (done == 1) return QDir().mkpath(temp + u"/x"_qs);
            if (done == 2) return QDir(temp).removeRecursively();
            return true;
        });
    QCOMPARE(c.result.code, cipher::Code::IoError);
    QVERIFY2(c.result.detail.startsWith(u"20040909.KAV: "_qs), qPrintable(c.result.detail));
    QVERIFY(!c.stopped);
    QCOMPARE(c.enciphered, 2);
    QCOMPARE(c.files, 2);
    QCOMPARE(testsupport::readFile(dir.path() + u'/' + names[1]),
             entry("5", u"t"_qs, legacy(u"abc"_qs), kBodyB));
    for (int i : {0, 2}) {
        const diary::Content opened =
            diary::readEntry(dir.path() + u'/' + names[i], 5, 0, u"abc"_qs);
        QCOMPARE(opened.result.code, cipher::Code::Ok);
        QCOMPARE(opened.body, cp936::decode(bodies[i]));
    }
    QVERIFY(!QFileInfo::exists(temp));
}

QTEST_GUILESS_MAIN(TestLockedEntries)
#include "tst_lockedentries.moc"
