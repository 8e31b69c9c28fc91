// The plain text search reads must be the text the editor shows: the fast path is compared with
// the full reader (rtf::read into a document, rtf::plainText) on hand-made constructs, on what the
// writer writes, on the fuzz seeds and on the shared corpus of other programs' files.
#include "store/find/rtftext.h"
#include "store/common/codepage.h"
#include "store/rtf/rtf.h"

#include "testsupport.h"

#include <QDir>
#include <QImage>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QByteArray kHead = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset134 "
                         "\\'cb\\'ce\\'cc\\'e5;}}\r\n\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 ";

QByteArray diary(const QByteArray &body) { return kHead + body + "\\par\r\n}"; }

// The text the editor shows for RTF it can read.
QString editorText(const QByteArray &data) {
    QTextDocument doc;
    if (!rtf::read(data, &doc)) return u"(unreadable)"_qs;
    return rtf::plainText(&doc);
}

} // namespace

class TestRtfText : public QObject {
    Q_OBJECT
private slots:
    void sameAsEditor_data();
    void sameAsEditor();
    void writerOutputTakesFastPath_data();
    void writerOutputTakesFastPath();
    void filesOfOtherPrograms_data();
    void filesOfOtherPrograms();
    void notRtfShowsAsItIs();
};

void TestRtfText::sameAsEditor_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fast"); // the fast path reads it itself

    QTest::newRow("diary entry") << diary("\\'c8\\'ab\\'ce\\'c4\\'cb\\'d1\\'cb\\'f7 search") << u"全文搜索 search"_qs << true;
    QTest::newRow("split by formatting") << diary("{\\b \\'c7\\'e7}\\'b4\\'b0") << u"晴窗"_qs << true;
    QTest::newRow("lead byte in one group, trail in the next") << diary("{\\b \\'c7}\\'e7") << u"晴"_qs << true;
    QTest::newRow("\\u beside \\'hh") << diary("\\'c7\\'e7\\u8364?\\'b4\\'b0") << u"晴€窗"_qs << true;
    QTest::newRow("\\u skips its \\'hh fallback") << diary("\\uc2\\u26228\\'c7\\'e7 x") << u"晴 x"_qs << true;
    QTest::newRow("negative \\u") << diary("\\u-3913?") << QString(QChar(0xf0b7)) << true;
    QTest::newRow("\\uc0") << diary("\\uc0\\u26228 x") << u"晴x"_qs << true;
    QTest::newRow("paragraphs and breaks") << diary("a\\par\r\nb\\line c\\tab d") << u"a\nb\nc\td"_qs << true;
    QTest::newRow("empty paragraphs kept, last mark dropped")
        << diary("\\par\\par x\\par") << u"\n\nx\n"_qs << true;
    QTest::newRow("empty document") << QByteArray(rtf::emptyDocument().toLatin1()) << QString() << true;
    QTest::newRow("Symbol font byte between letters")
        << QByteArray("{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce;}{\\f1\\fnil\\fcharset2 "
                      "Symbol;}}\\f0 abc \\f1\\'b7\\f0 xyz\\par}")
        << u"abc \u2022xyz"_qs << true;
    // The lowest font number a parameter can reach once stood for "no font read yet" in the
    // editor's reader, which then kept the code page it had before a later \\ansicpg.
    QTest::newRow("code page changed under the lowest font number")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f-7999919999 x{\\rtf1\\ansi\\ansicpg936 \\'c7\\'e7}\\par}")
        << u"x\u6674"_qs << true;
    QTest::newRow("Symbol font named by \\u in a UTF-8 document")
        << QByteArray("{\\rtf1\\ansi\\ansicpg65001{\\fonttbl{\\f1\\fcharset2 Symbol;}}\\f1\\u61623?\\'b7\\plain "
                      "\\'e6\\'99\\'b4\\par}")
        << u"\u2022\u2022\u6674"_qs << true;
    QTest::newRow("symbols") << diary("a\\~b\\-c\\_d\\{\\}\\\\") << u"a b\u00adc\u2011d{}\\"_qs << true;
    QTest::newRow("special characters") << diary("\\emdash\\lquote x\\rquote\\bullet") << u"\u2014\u2018x\u2019\u2022"_qs << true;
    QTest::newRow("lead byte cut by a paragraph") << diary("\\'c7\\par x") << u"\ufffd\nx"_qs << true;
    QTest::newRow("picture inside a line")
        << diary("a{\\pict\\pngblip\\picw1\\pich1 89504e47}b") << u"ab"_qs << true;
    QTest::newRow("picture alone in the last paragraph")
        << QByteArray(kHead + "a\\par {\\pict\\pngblip 00}}") << u"a\n"_qs << true;
    QTest::newRow("destinations skipped")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl\\f0\\fswiss Arial;}{\\*\\generator Riched20 10.0;}{\\stylesheet{x}}"
                      "{\\info{\\title t}}\\pard\\sa200\\sl276\\slmult1\\f0\\fs22 Hello\\par}")
        << u"Hello"_qs << true;
    QTest::newRow("unknown optional destination") << diary("a{\\*\\foo b}c") << u"ac"_qs << true;
    QTest::newRow("font of another code page") << QByteArray("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 S;}"
                                                             "{\\f1\\fcharset0 Arial;}}\\f1 caf\\'e9 \\f0\\'d6\\'d0}")
                                               << u"café 中"_qs << true;
    QTest::newRow("ansi without code page") << QByteArray("{\\rtf1\\ansi caf\\'e9}") << u"café"_qs << true;
    QTest::newRow("unclosed document") << QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0") << u"中"_qs << true;
    QTest::newRow("literal bytes") << QByteArray("{\\rtf1\\ansi\\ansicpg936 \xd6\xd0}") << u"中"_qs << true;
    QTest::newRow("plain returns to the default font")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fcharset134 S;}{\\f1\\fcharset0 A;}}"
                      "\\f1\\'e9\\plain\\'d6\\'d0}")
        << u"é中"_qs << true;

    // Constructs the full reader shapes: the fast path leaves them to it.
    QTest::newRow("table") << diary("\\trowd\\cellx100 a\\cell b\\cell\\row") << u"a\tb\n"_qs << false;
    QTest::newRow("hidden text") << diary("a{\\v b}c") << u"ac"_qs << false;
    QTest::newRow("field result") << diary("{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt link}}") << u"link"_qs << false;
    QTest::newRow("unicode alternative")
        << diary("{\\upr{\\'c7\\'e7}{\\*\\ud{\\u26228?}}}") << u"晴"_qs << false;
    QTest::newRow("unknown word in the text") << diary("a\\caps b") << u"ab"_qs << false;
    QTest::newRow("binary picture data") << diary("x{\\pict\\pngblip\\bin2 ab}y") << u"xy"_qs << false;
    QTest::newRow("character beyond the BMP") << diary("\\u-10179?\\u-8704?") << u"\U0001f600"_qs << false;
}

void TestRtfText::sameAsEditor() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(bool, fast);
    QCOMPARE(editorText(rtf), text); // the case says what the editor shows
    QCOMPARE(find::plainText(rtf), text);
    const std::optional<QString> quick = find::fastPlainText(rtf);
    QCOMPARE(quick.has_value(), fast);
    if (quick) QCOMPARE(*quick, text);
}

void TestRtfText::writerOutputTakesFastPath_data() {
    QTest::addColumn<QString>("html");
    QTest::newRow("plain") << u"<p>今天天气很好 the weather was fine</p>"_qs;
    QTest::newRow("formats") << u"<p><b>晴</b><i>窗</i> <u>u</u> <s>s</s> <span style='font-size:20pt;color:#ff0000;"
                                u"background:#00ff00'>c</span></p>"_qs;
    QTest::newRow("fonts") << u"<p><span style='font-family:Arial'>abc é</span><span style='font-family:SimHei'>黑体</span></p>"_qs;
    QTest::newRow("paragraphs") << u"<p align=center>a</p><p style='margin-left:30px;text-indent:-10px'>b<br>c</p><p></p><p>d\tx</p>"_qs;
    QTest::newRow("outside code page 936") << u"<p>€ 😀 ☃ ﬀ</p>"_qs;
    QTest::newRow("special characters") << u"<p>a&nbsp;b&shy;c\u2011d {}\\ \u007f</p>"_qs;
}

void TestRtfText::writerOutputTakesFastPath() {
    QFETCH(QString, html);
    QTextDocument doc;
    doc.setHtml(html);
    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::End);
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    rtf::insertImage(cursor, image);
    cursor.insertText(u"尾"_qs);
    const QByteArray written = rtf::write(&doc);
    // Surrogate pairs are written as two \u words, which the fast path leaves to the reader.
    const bool bmpOnly = !html.contains(u"😀"_qs);
    const std::optional<QString> quick = find::fastPlainText(written);
    QCOMPARE(quick.has_value(), bmpOnly);
    QCOMPARE(find::plainText(written), editorText(written));
}

void TestRtfText::filesOfOtherPrograms_data() {
    QTest::addColumn<QString>("path");
    QStringList folders{QStringLiteral(QC_SOURCE_DIR "/fuzz/corpus/rtf"), QStringLiteral(QC_SOURCE_DIR "/fuzz/corpus/rtftext"), QStringLiteral(QC_SOURCE_DIR "/tests/data/rtf-corpus"), QStringLiteral(QC_SOURCE_DIR "/tests/data/rtf-interop")};
    int rows = 0;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files)) {
            // Only RTF: the folders hold listings, licences and seeds that are no RTF beside it.
            if (!rtf::looksLikeRtf(testsupport::readFile(dir.filePath(name)))) continue;
            QTest::newRow(qPrintable(dir.dirName() + u'/' + name)) << dir.filePath(name);
            ++rows;
        }
    }
    QVERIFY2(rows > 0, "no RTF files in the corpus folders");
}

void TestRtfText::filesOfOtherPrograms() {
    QFETCH(QString, path);
    const QByteArray data = testsupport::readFile(path);
    QVERIFY(!data.isEmpty());
    // The editor is handed a body decoded from code page 936 and encoded again, as search reads it.
    QCOMPARE(find::plainText(data), editorText(cp936::encode(cp936::decode(data))));
    if (const std::optional<QString> quick = find::fastPlainText(data)) QCOMPARE(*quick, editorText(data));
}

void TestRtfText::notRtfShowsAsItIs() {
    QCOMPARE(find::plainText(cp936::encode(u"第一行\r\n第二行\r第三行"_qs)), u"第一行\n第二行\n第三行"_qs);
    QCOMPARE(find::plainText("  {\\rtf1 x}"), u"x"_qs);
    QVERIFY(!find::fastPlainText("{\\rtx1 x}"));
}

QTEST_MAIN(TestRtfText)
#include "tst_rtftext.moc"
