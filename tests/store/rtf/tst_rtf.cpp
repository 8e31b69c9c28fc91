// The RTF reader and writer without any window: text and formats read from snippets grouped by
// the pitfalls of the format, the writer's exact output, read → write → read stability, and
// inputs that must fail cleanly or at least not crash.
#include "store/common/codepage.h"
#include "store/rtf/rtf.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

namespace {

const QByteArray kHeader = R"({\rtf1\ansi\ansicpg936\deff0\deflang1033\deflangfe2052{\fonttbl{\f0\fnil\fcharset134 \'cb\'ce\'cc\'e5;}})";
const QByteArray kParagraph = R"(\viewkind4\uc1\pard\lang2052\f0\fs18)";
const QByteArray kEmpty = kHeader + "\r\n" + kParagraph + "\\par\r\n}";

// The blocks' own text joined by "\n": no-break spaces and line separators stay as they are.
QString blockText(const QTextDocument &doc) {
    QStringList blocks;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        blocks << b.text();
    return blocks.join(QLatin1Char('\n'));
}

QList<QTextImageFormat> images(const QTextDocument &doc) {
    QList<QTextImageFormat> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat()) out << it.fragment().charFormat().toImageFormat();
    return out;
}

QTextCharFormat formatAt(const QTextDocument &doc, int position) {
    QTextCursor c(const_cast<QTextDocument *>(&doc));
    c.setPosition(position + 1);
    return c.charFormat();
}

QByteArray pngBytes(const QImage &image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Hex in lines of 64 bytes, each line after CR LF, as the writer writes picture data.
QByteArray hexLines(const QByteArray &data) {
    QByteArray out;
    for (qsizetype i = 0; i < data.size(); i += 64)
        out += "\r\n" + data.mid(i, 64).toHex();
    return out;
}

QByteArray roundTrip(const QByteArray &rtf) {
    QTextDocument doc;
    if (!rtf::read(rtf, &doc)) return "(unreadable)";
    return rtf::write(&doc);
}

QImage testImage() {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    image.setPixelColor(2, 1, QColor(250, 0, 0));
    return image;
}

} // namespace

class TestRtf : public QObject {
    Q_OBJECT
private slots:
    void readText_data();
    void readText();
    void characterFormats();
    void paragraphFormats();
    void fontNamesAndCharsets();
    void pictures();
    void notRtf_data();
    void notRtf();
    void loadLeavesDocumentOnFailure();
    void writerGolden_data();
    void writerGolden();
    void writerFontsAndPictures();
    void writerCharsetMatchesBytes_data();
    void writerCharsetMatchesBytes();
    void writerKeepsDateFileLinesSafe();
    void escapeTextMatchesWriter_data();
    void escapeTextMatchesWriter();
    void roundTripStable_data();
    void roundTripStable();
    void insertAtCursor();
    void survivesMangledInput();
};

void TestRtf::readText_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");

    // Code pages: bytes decode in the code page of the current font, else \ansicpg.
    QTest::newRow("cp936 by ansicpg") << QByteArray(R"({\rtf1\ansi\ansicpg936 \'d6\'d0\'ce\'c4})") << u"中文"_qs;
    QTest::newRow("font charset 134 over cp1252") << QByteArray(R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0\fcharset134 S;}}\f0\'d6\'d0})") << u"中"_qs;
    QTest::newRow("font charset 136 big5") << QByteArray(R"({\rtf1\ansi\ansicpg936{\fonttbl{\f1\fcharset136 M;}}\f1\'a4\'a4})") << u"中"_qs;
    QTest::newRow("font charset 128 shift-jis") << QByteArray(R"({\rtf1\ansi{\fonttbl{\f0\fcharset128 M;}}\f0\'92\'86\'9a\'a0})") << u"中國"_qs;
    QTest::newRow("font charset 129 korean") << QByteArray(R"({\rtf1\ansi{\fonttbl{\f0\fcharset129 M;}}\f0\'c7\'d1})") << u"한"_qs;
    QTest::newRow("charset 0 in a chinese document") << QByteArray(R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset0 Arial;}{\f1\fcharset134 S;}}\f0\'e9\f1\'d6\'d0})") << u"é中"_qs;
    QTest::newRow("charset 1 follows ansicpg") << QByteArray(R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset1 S;}}\f0\'d6\'d0})") << u"中"_qs;
    QTest::newRow("deff font without \\f") << QByteArray(R"({\rtf1\ansi\deff0{\fonttbl{\f0\fcharset128 M;}}\'92\'86})") << u"中"_qs;
    QTest::newRow("cpg utf-8") << QByteArray(R"({\rtf1\ansi{\fonttbl{\f0\fcharset128\cpg65001 M;}}\f0\'e4\'b8\'ad})") << u"中"_qs;
    QTest::newRow("unknown code page is 1252") << QByteArray(R"({\rtf1\ansi\ansicpg99999 \'e9})") << u"é"_qs;
    QTest::newRow("ascii trail byte") << QByteArray(R"({\rtf1\ansi\ansicpg936 \'81@})") << QString(QChar(0x4e02));
    QTest::newRow("escaped backslash trail") << QByteArray(R"({\rtf1\ansi\ansicpg936 \'81\\})") << QString(QChar(0x4e57));
    QTest::newRow("escaped brace trails") << QByteArray(R"({\rtf1\ansi\ansicpg936 \'81\{\'81\}})") << QString(QChar(0x4e84)) + QChar(0x4e87);
    QTest::newRow("lead and trail across a format word") << QByteArray(R"({\rtf1\ansi\ansicpg936 \'d6\b \'d0})") << u"中"_qs;
    QTest::newRow("lead without trail") << QByteArray(R"({\rtf1\ansi\ansicpg936 \'d6\par x})") << u"\uFFFD\nx"_qs;
    QTest::newRow("raw code page bytes") << QByteArray("{\\rtf1\\ansi\\ansicpg936 ") + cp936::encode(u"晴窗") + "}" << u"晴窗"_qs;
    QTest::newRow("upper-case hex") << QByteArray(R"({\rtf1\ansi\ansicpg936 \'D6\'D0})") << u"中"_qs;

    // \u with its fallback characters.
    QTest::newRow("u with fallback") << QByteArray(R"({\rtf1 \u20013?x})") << u"中x"_qs;
    QTest::newRow("u negative") << QByteArray(R"({\rtf1 \u-3?})") << u"\uFFFD"_qs;
    QTest::newRow("uc0") << QByteArray(R"({\rtf1\uc0\u20013 x})") << u"中x"_qs;
    QTest::newRow("uc2 skips two hex bytes") << QByteArray(R"({\rtf1\ansi\ansicpg936\uc2\u20013\'d6\'d0x})") << u"中x"_qs;
    QTest::newRow("control word is one fallback") << QByteArray(R"({\rtf1 \u20013\tab x})") << u"中x"_qs;
    QTest::newRow("brace ends the skip") << QByteArray(R"({\rtf1 {\uc3\u20013}ab})") << u"中ab"_qs;
    QTest::newRow("uc is scoped") << QByteArray(R"({\rtf1 {\uc0}\u20013?})") << u"中"_qs;
    QTest::newRow("surrogate pair") << QByteArray(R"({\rtf1 \u-10179?\u-8704?})") << u"😀"_qs;
    QTest::newRow("unpaired high surrogate") << QByteArray(R"({\rtf1 \u-10179?x})") << u"\uFFFDx"_qs;
    QTest::newRow("unpaired low surrogate") << QByteArray(R"({\rtf1 \u-8704?})") << u"\uFFFD"_qs;

    // Destinations.
    QTest::newRow("starred unknown skipped") << QByteArray(R"({\rtf1 a{\*\foo bar{x}}b})") << u"ab"_qs;
    QTest::newRow("unknown plain group shown") << QByteArray(R"({\rtf1 a{\foo bar}b})") << u"abarb"_qs;
    QTest::newRow("info and stylesheet") << QByteArray(R"({\rtf1 a{\info{\title t}}b{\stylesheet{\s0 Normal;}}c})") << u"abc"_qs;
    QTest::newRow("font and colour tables") << QByteArray(R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red1\green2\blue3;}x})") << u"x"_qs;
    QTest::newRow("bin skipped as raw bytes") << QByteArray(R"({\rtf1 a{\bin3 {{{}b})") << u"ab"_qs;
    QTest::newRow("field result shown") << QByteArray(R"({\rtf1 {\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}})") << u"link"_qs;
    QTest::newRow("upr shows ud") << QByteArray(R"({\rtf1 {\upr{ansi}{\*\ud{uni}}}})") << u"uni"_qs;
    QTest::newRow("pntext is list text") << QByteArray(R"({\rtf1 {\pntext\f0 1.\tab}item})") << u"1.\titem"_qs;
    QTest::newRow("hidden text") << QByteArray(R"({\rtf1 a{\v hidden}b})") << u"ab"_qs;
    QTest::newRow("header and footer") << QByteArray(R"({\rtf1 {\header h\par}{\footer f}x})") << u"x"_qs;
    // \* marks a destination only as the first thing in its group; elsewhere it is nothing.
    QTest::newRow("star in the middle of a group") << QByteArray(R"({\rtf1 a{\loch\f0 \*\cs7 b{\i c}}d})") << u"abcd"_qs;
    QTest::newRow("star after a nested group") << QByteArray(R"({\rtf1 {{x}\*\foo y}})") << u"xy"_qs;
    QTest::newRow("star not before a word") << QByteArray(R"({\rtf1 {\* a\b b}c})") << u" abc"_qs;
    QTest::newRow("star after a line break") << QByteArray("{\\rtf1 a{\r\n\\*\\foo x}b}") << u"ab"_qs;
    // Lists outside their tables, and the other tables of a document, show nothing.
    QTest::newRow("list outside the list table")
        << QByteArray(R"({\rtf1 {\list\listtemplateid1{\listlevel\levelnfc23{\leveltext \'01\u8226 ?;}{\levelnumbers;}})"
                      R"({\listname List1382206859_1;}\listid1}{\listoverride\listid1\listoverridecount0\ls1}x})")
        << u"x"_qs;
    QTest::newRow("page styles and rsids") << QByteArray(R"({\rtf1 {\pgdsctbl{\pgdsc0 Default;}}{\rsidtbl \rsid1 x}y})") << u"y"_qs;
    QTest::newRow("listtext is list text") << QByteArray(R"({\rtf1 {\listtext\pard\plain 1.\tab}item})") << u"1.\titem"_qs;
    QTest::newRow("hyperlink shows its text")
        << QByteArray(R"({\rtf1 see {\field{\*\fldinst{HYPERLINK "https://example.org/"}}{\fldrslt{\ul link}}}.})") << u"see link."_qs;
    // The Symbol font's bytes are the characters it draws; Word names them by private-use codes.
    QTest::newRow("symbol bullet by byte") << QByteArray(R"({\rtf1\ansi\ansicpg936{\fonttbl{\f1\fcharset2 Symbol;}}{\pntext\f1\'b7\tab}x})") << u"\u2022\tx"_qs;
    QTest::newRow("symbol bullet by private-use code") << QByteArray(R"({\rtf1{\fonttbl{\f3\fcharset2 Symbol;}}\f3\u-3913\'b7\'b1\'a5 a})") << u"\u2022\u00B1\u221E a"_qs;
    QTest::newRow("other symbol fonts follow ansicpg") << QByteArray(R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f1\fcharset2 Wingdings;}}\f1\'a7})") << u"\u00A7"_qs;

    // Special characters and breaks.
    QTest::newRow("control symbols") << QByteArray(R"({\rtf1 a\~b\-c\_d\{\}\\})") << u"a\u00A0b\u00ADc\u2011d{}\\"_qs;
    QTest::newRow("named characters") << QByteArray(R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote\emspace\enspace\qmspace})")
                                      << u"\u2014\u2013\u2022\u2018\u2019\u201C\u201D\u2003\u2002\u2005"_qs;
    QTest::newRow("line and tab") << QByteArray("{\\rtf1 a\\line b\\tab c\td}") << u"a\u2028b\tc\td"_qs;
    QTest::newRow("backslash newline is par") << QByteArray("{\\rtf1 a\\\nb\\\r\nc}") << u"a\nb\nc"_qs;
    // Table cells: a tab between cells, a row one paragraph; a cell's last paragraph mark is
    // its end, others are line breaks.
    QTest::newRow("cells and rows") << QByteArray(R"({\rtf1 a\cell b\cell\row c})") << u"a\tb\nc"_qs;
    QTest::newRow("cell paragraphs")
        << QByteArray(R"({\rtf1 \trowd\cellx1\cellx2 {{\pard\intbl a\par}\cell}{{\pard\intbl b\par c\par}\cell}\intbl\row)"
                      R"(\pard d\par})")
        << u"a\tb\u2028c\nd"_qs;
    QTest::newRow("empty cells") << QByteArray(R"({\rtf1 \intbl\cell\cell x\cell\row})") << u"\t\tx"_qs;
    QTest::newRow("table without its row mark") << QByteArray(R"({\rtf1 \intbl a\cell b\par\pard c})") << u"a\tb\nc"_qs;
    QTest::newRow("line ends in the stream ignored") << QByteArray("{\\rtf1 a\r\nb\nc}") << u"abc"_qs;
    QTest::newRow("delimiting space eaten once") << QByteArray(R"({\rtf1\b  x})") << u" x"_qs;

    // Paragraphs: the document's last \par is its end, not an empty paragraph.
    QTest::newRow("final par") << QByteArray(R"({\rtf1 a\par})") << u"a"_qs;
    QTest::newRow("final par then space") << QByteArray(R"({\rtf1 a\par })") << u"a"_qs;
    QTest::newRow("two pars") << QByteArray(R"({\rtf1 a\par\par})") << u"a\n"_qs;
    QTest::newRow("no final par") << QByteArray(R"({\rtf1 a})") << u"a"_qs;
    QTest::newRow("empty") << QByteArray(R"({\rtf1})") << QString();
    QTest::newRow("own empty document") << kEmpty << QString();
    QTest::newRow("text after the document") << QByteArray(R"({\rtf1 a}b)") << u"a"_qs;
    QTest::newRow("leading blanks and CR LF") << QByteArray("\r\n  {\\rtf1 a}") << u"a"_qs;
    QTest::newRow("unclosed document") << QByteArray(R"({\rtf1 a{\b b)") << u"ab"_qs;
    QTest::newRow("title of the diary") << QByteArray(kHeader + "\r\n" + kParagraph + R"(\'c7\'e7\'b4\'b0\par })") << u"晴窗"_qs;
    QTest::newRow("six asterisks") << QByteArray(kHeader + kParagraph + R"(******\par })") << u"******"_qs;
}

void TestRtf::readText() {
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QTextDocument doc;
    QString error;
    QVERIFY2(rtf::read(rtf, &doc, &error), qPrintable(error));
    QCOMPARE(blockText(doc), text);
}

void TestRtf::characterFormats() {
    QTextDocument doc;
    const QByteArray rtf = R"({\rtf1\ansi\ansicpg936\deff0{\fonttbl{\f0\fnil\fcharset134 \'cb\'ce\'cc\'e5;}{\f1\fswiss\fcharset0 Arial;}})"
                           R"({\colortbl ;\red255\green0\blue0;\red255\green255\blue0;})"
                           R"(\f0\fs18 n\b b\b0\i i\i0\ul u\ulnone\strike s\strike0\fs28 t\fs18\f1 a\f0\cf1 r\cf0\highlight2 h\highlight0{\b g}x\b\plain p})";
    QVERIFY(rtf::read(rtf, &doc));
    QCOMPARE(blockText(doc), u"nbiustarhgxp"_qs);
    const QTextCharFormat n = formatAt(doc, 0);
    QCOMPARE(n.fontFamilies().toStringList(), QStringList{u"宋体"_qs});
    QCOMPARE(n.intProperty(rtf::FontCharset), 134);
    QCOMPARE(n.fontPointSize(), 9.0);
    QVERIFY(n.fontWeight() < QFont::DemiBold && !n.fontItalic() && !n.fontUnderline() && !n.fontStrikeOut());
    QVERIFY(!n.hasProperty(QTextFormat::ForegroundBrush));
    QCOMPARE(formatAt(doc, 1).fontWeight(), int(QFont::Bold));
    QVERIFY(formatAt(doc, 2).fontItalic());
    QVERIFY(!formatAt(doc, 2).hasProperty(QTextFormat::FontWeight));
    QVERIFY(formatAt(doc, 3).fontUnderline());
    QVERIFY(formatAt(doc, 4).fontStrikeOut());
    QCOMPARE(formatAt(doc, 5).fontPointSize(), 14.0);
    QCOMPARE(formatAt(doc, 6).fontFamilies().toStringList(), QStringList{u"Arial"_qs});
    QCOMPARE(formatAt(doc, 6).intProperty(rtf::FontCharset), 0);
    QCOMPARE(formatAt(doc, 7).foreground().color(), QColor(255, 0, 0));
    QCOMPARE(formatAt(doc, 8).background().color(), QColor(255, 255, 0));
    QVERIFY(!formatAt(doc, 8).hasProperty(QTextFormat::ForegroundBrush));
    QCOMPARE(formatAt(doc, 9).fontWeight(), int(QFont::Bold)); // {\b g}
    QVERIFY(!formatAt(doc, 10).hasProperty(QTextFormat::FontWeight)); // the group restored
    // \plain: no bold, RTF's default 12 points, the default font.
    const QTextCharFormat p = formatAt(doc, 11);
    QVERIFY(!p.hasProperty(QTextFormat::FontWeight));
    QCOMPARE(p.fontPointSize(), 12.0);
    QCOMPARE(p.fontFamilies().toStringList(), QStringList{u"宋体"_qs});
}

void TestRtf::paragraphFormats() {
    QTextDocument doc;
    QVERIFY(rtf::read(R"({\rtf1 \qc c\par \qr r\par \qj j\par \pard\li720\ri360\fi-360 i\par \pard l\qc\par \pard{\qc g}\par})", &doc));
    QCOMPARE(doc.blockCount(), 6);
    auto block = [&doc](int i) { return doc.findBlockByNumber(i).blockFormat(); };
    QCOMPARE(block(0).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(block(1).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QCOMPARE(block(2).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
    QCOMPARE(block(3).leftMargin(), 48.0);
    QCOMPARE(block(3).rightMargin(), 24.0);
    QCOMPARE(block(3).textIndent(), -24.0);
    QCOMPARE(block(3).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft); // \pard reset \qj
    // The format in force at \par is the paragraph's, even when set after its text.
    QCOMPARE(block(4).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(block(4).leftMargin(), 0.0);
    QCOMPARE(block(5).alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

void TestRtf::fontNamesAndCharsets() {
    // Names decode in their own code page; Cocoa writes the table without groups.
    QTextDocument doc;
    QVERIFY(rtf::read(R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0\fnil\fcharset134 \'cb\'ce\'cc\'e5;}{\f1\fcharset128 \'82\'6c\'82\'72 Gothic{\*\falt MS Gothic};}}\f0 a\f1 b})", &doc));
    QCOMPARE(formatAt(doc, 0).fontFamilies().toStringList(), QStringList{u"宋体"_qs});
    QCOMPARE(formatAt(doc, 1).fontFamilies().toStringList(), QStringList{u"ＭＳ Gothic"_qs});
    QVERIFY(rtf::read("{\\rtf1\\mac{\\fonttbl\\f0\\fnil\\fcharset77 Helvetica;\\f1\\fnil\\fcharset77 Lucida\r\nGrande;}\\f1 x}", &doc));
    QCOMPARE(formatAt(doc, 0).fontFamilies().toStringList(), QStringList{u"LucidaGrande"_qs});
    QCOMPARE(formatAt(doc, 0).intProperty(rtf::FontCharset), 77);
}

void TestRtf::pictures() {
    const QImage image = testImage();
    const QByteArray png = pngBytes(image);
    QTextDocument doc;

    // PNG shown at its goal size; \picscalex scales.
    QVERIFY(rtf::read("{\\rtf1 a{\\pict\\pngblip\\picw3\\pich2\\picwgoal90\\pichgoal60\\picscalex200 " + png.toHex() + "}b}", &doc));
    QCOMPARE(blockText(doc), u"a\uFFFCb"_qs);
    QList<QTextImageFormat> found = images(doc);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].width(), 12.0);
    QCOMPARE(found[0].height(), 4.0);
    QCOMPARE(found[0].property(rtf::PictureData).toByteArray(), png);
    QImage shown = doc.resource(QTextDocument::ImageResource, QUrl(found[0].name())).value<QImage>();
    QCOMPARE(shown.pixelColor(2, 1), QColor(250, 0, 0));

    // \shppict preferred, \nonshppict ignored; \bin data and hex split over lines.
    QByteArray split = png.toHex();
    split.insert(10, "\r\n");
    QVERIFY(rtf::read("{\\rtf1 {\\*\\shppict{\\pict{\\*\\blipuid 00}\\pngblip " + split +
                          "}}{\\nonshppict{\\pict\\wmetafile8 0100}}{\\pict\\pngblip\\bin" + QByteArray::number(png.size()) + " " + png + "}}",
                      &doc));
    found = images(doc);
    QCOMPARE(found.size(), 2);
    QCOMPARE(found[0].property(rtf::PictureData).toByteArray(), png);
    QCOMPARE(found[1].property(rtf::PictureData).toByteArray(), png);
    QCOMPARE(found[1].width(), 3.0); // no goal: its own pixels

    // A device-independent bitmap is decoded and kept as PNG.
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "BMP");
    }
    QVERIFY(rtf::read("{\\rtf1 {\\pict\\dibitmap0\\picw3\\pich2 " + bmp.mid(14).toHex() + "}}", &doc));
    found = images(doc);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].stringProperty(rtf::PictureKind), u"pngblip"_qs);
    shown = QImage::fromData(found[0].property(rtf::PictureData).toByteArray(), "PNG");
    QCOMPARE(shown.size(), QSize(3, 2));
    QCOMPARE(shown.pixelColor(0, 0), QColor(10, 200, 30));
    QCOMPARE(shown.pixelColor(2, 1), QColor(250, 0, 0));

    // A metafile: a placeholder of its size, the bytes kept.
    QVERIFY(rtf::read(R"({\rtf1 {\pict\wmetafile8\picw2540\pich1270\picwgoal1440\pichgoal720 010009000003}})", &doc));
    found = images(doc);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].width(), 96.0);
    QCOMPARE(found[0].height(), 48.0);
    QCOMPARE(found[0].stringProperty(rtf::PictureKind), u"wmetafile8"_qs);
    QCOMPARE(found[0].property(rtf::PictureData).toByteArray(), QByteArray::fromHex("010009000003"));
    QVERIFY(!doc.resource(QTextDocument::ImageResource, QUrl(found[0].name())).value<QImage>().isNull());

    // A bitmap's own size from the file, however large or negative, gives a sane shown size:
    // the largest for a huge one, the default for one below zero.
    QVERIFY(rtf::read(R"({\rtf1 {\pict\wbitmap0\picw286331154\pich-2147483648 00}})", &doc));
    found = images(doc);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].width(), 16000.0);
    QCOMPARE(found[0].height(), 32.0);

    // A picture inside a skipped destination is not shown.
    QVERIFY(rtf::read("{\\rtf1 {\\*\\foo{\\pict\\pngblip " + png.toHex() + "}}x}", &doc));
    QVERIFY(images(doc).isEmpty());
}

void TestRtf::notRtf_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("plain text") << QByteArray("\r\n  文件不存在！");
    QTest::newRow("almost") << QByteArray("{\\rt");
    QTest::newRow("no brace") << QByteArray("\\rtf1 x");
    QTest::newRow("text first") << QByteArray("x{\\rtf1 x}");
    QTest::newRow("nested too deep") << QByteArray("{\\rtf1 " + QByteArray(5000, '{') + "x" + QByteArray(5000, '}') + "}");
}

void TestRtf::notRtf() {
    QFETCH(QByteArray, data);
    QTextDocument doc;
    doc.setPlainText(u"old"_qs);
    QString error;
    QVERIFY(!rtf::read(data, &doc, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(doc.isEmpty());
}

void TestRtf::loadLeavesDocumentOnFailure() {
    QTextDocument doc;
    doc.setPlainText(u"old"_qs);
    QVERIFY(!rtf::load("not rtf", &doc));
    QCOMPARE(doc.toPlainText(), u"old"_qs);
    QVERIFY(rtf::load("{\\rtf1 new}", &doc));
    QCOMPARE(doc.toPlainText(), u"new"_qs);
    // Loading is no step the user can undo.
    QVERIFY(!doc.isUndoAvailable());
    // Nesting that is deep but within bounds reads.
    QVERIFY(rtf::load("{\\rtf1 " + QByteArray(900, '{') + "x" + QByteArray(900, '}') + "}", &doc));
    QCOMPARE(doc.toPlainText(), u"x"_qs);
}

void TestRtf::writerGolden_data() {
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("kind");

    QTest::newRow("empty document") << kEmpty << 0;
    QTest::newRow("bold and colour")
        << QByteArray(kHeader + "\r\n{\\colortbl ;\\red255\\green0\\blue0;}\r\n" + kParagraph +
                      R"(\'c6\'d5\'cd\'a8\cf1\b\'b4\'d6\'cc\'e5\cf0\b0  abc\b\{x\}\par)" "\r\n}")
        << 1;
    QTest::newRow("chinese paragraphs")
        << QByteArray(kHeader + "\r\n" + kParagraph +
                      R"(\'d6\'d0\'ce\'c4 text\tab\'ce\'b2\par)" "\r\n"
                      R"(\pard\qc\'b5\'da\'b6\'fe\'b6\'ce\u-10179?\u-8704?\u8226?\line x\par)" "\r\n"
                      R"(\pard\par)" "\r\n}")
        << 2;
}

void TestRtf::writerGolden() {
    QFETCH(QByteArray, expected);
    QFETCH(int, kind);
    QTextDocument doc;
    QTextCursor c(&doc);
    if (kind == 1) {
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        QTextCharFormat boldRed = bold;
        boldRed.setForeground(QColor(255, 0, 0));
        c.insertText(u"普通"_qs, QTextCharFormat());
        c.insertText(u"粗体"_qs, boldRed);
        c.insertText(u" abc"_qs, QTextCharFormat());
        c.insertText(u"{x}"_qs, bold);
    } else if (kind == 2) {
        c.insertText(u"中文 text\t尾"_qs);
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        c.insertBlock(centred);
        c.insertText(u"第二段😀•\u2028x"_qs);
        c.insertBlock(QTextBlockFormat());
    }
    QCOMPARE(rtf::write(&doc), expected);
    // And it reads back to the same document.
    QCOMPARE(roundTrip(expected), expected);
}

void TestRtf::writerFontsAndPictures() {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat arial;
    arial.setFontFamilies(QStringList{u"Arial"_qs});
    arial.setProperty(rtf::FontCharset, 0);
    arial.setFontPointSize(12);
    QTextCharFormat times; // a font from elsewhere: written for code page 936
    times.setFontFamilies(QStringList{u"Times;New"_qs});
    c.insertText(u"é中"_qs, arial);
    c.insertText(u"é中"_qs, times);
    c.insertText(u"x"_qs, arial);
    const QByteArray out = rtf::write(&doc);
    QCOMPARE(out, QByteArray(R"({\rtf1\ansi\ansicpg936\deff0\deflang1033\deflangfe2052{\fonttbl{\f0\fnil\fcharset134 \'cb\'ce\'cc\'e5;})"
                             R"({\f1\fnil\fcharset0 Arial;}{\f2\fnil\fcharset134 TimesNew;}})" "\r\n" + kParagraph +
                             R"(\f1\fs24\'e9\u20013?\f2\fs18\'a8\'a6\'d6\'d0\f1\fs24 x\par)" "\r\n}"));
    QTextDocument back;
    QVERIFY(rtf::read(out, &back));
    QCOMPARE(back.toPlainText(), u"é中é中x"_qs);
    QCOMPARE(rtf::write(&back), out);

    // Pictures: PNG bytes as read, 64 bytes a line; metafiles carried through.
    const QByteArray png = pngBytes(testImage());
    QVERIFY(png.size() > 64);
    const QByteArray in = kHeader + "\r\n" + kParagraph + R"( a{\pict\pngblip\picw3\pich2\picwgoal300\pichgoal150)" +
                          hexLines(png) + R"(}{\pict\wmetafile8\picw2540\pich1270\picwgoal1440\pichgoal720)" +
                          hexLines("\x01\x00\x09\x00") + "}\\par\r\n}";
    QCOMPARE(roundTrip(in), in);
    // JPEG stays JPEG.
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        testImage().save(&buffer, "JPEG");
    }
    const QByteArray inJpeg = kHeader + "\r\n" + kParagraph + R"({\pict\jpegblip\picw3\pich2\picwgoal45\pichgoal30)" + hexLines(jpeg) + "}\\par\r\n}";
    QCOMPARE(roundTrip(inJpeg), inJpeg);

    // A picture inserted from an image is stored as PNG at its own size.
    QTextDocument pasted;
    QTextCursor pc(&pasted);
    rtf::insertImage(pc, testImage());
    const QByteArray written = rtf::write(&pasted);
    QVERIFY2(written.contains(R"({\pict\pngblip\picw3\pich2\picwgoal45\pichgoal30)" "\r\n89504e47"), written.constData());
    QTextDocument reread;
    QVERIFY(rtf::read(written, &reread));
    const QList<QTextImageFormat> found = images(reread);
    QCOMPARE(found.size(), 1);
    const QImage shown = reread.resource(QTextDocument::ImageResource, QUrl(found[0].name())).value<QImage>();
    QCOMPARE(shown.pixelColor(2, 1), QColor(250, 0, 0));
    QCOMPARE(rtf::write(&reread), written);
}

void TestRtf::writerCharsetMatchesBytes_data() {
    // Each font is written with a charset whose code page is that of the bytes written in it, so
    // that other readers take the text as ours does.
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QByteArray>("font");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("no charset (pandoc)") << QByteArray(R"({\rtf1\ansi{\fonttbl{\f0\fswiss Helvetica;}}\f0 \u26228?\u31383? caf\u233?})")
                                         << QByteArray(R"({\f1\fnil\fcharset134 Helvetica;})") << QByteArray(R"(\f1\fs24\'c7\'e7\'b4\'b0 caf\'a8\'a6\par)");
    QTest::newRow("default charset 1") << QByteArray(R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset1 A;}}\f0\'d6\'d0})")
                                       << QByteArray(R"({\f1\fnil\fcharset134 A;})") << QByteArray(R"(\f1\fs24\'d6\'d0\par)");
    QTest::newRow("western charset 0") << QByteArray(R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset0 Arial;}}\f0 \u20013?\'e9})")
                                       << QByteArray(R"({\f1\fnil\fcharset0 Arial;})") << QByteArray(R"(\f1\fs24\u20013?\'e9\par)");
    QTest::newRow("greek charset 161") << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset161 G;}}\f0\'e1\u20013?})")
                                       << QByteArray(R"({\f1\fnil\fcharset161 G;})") << QByteArray(R"(\f1\fs24\'e1\u20013?\par)");
    QTest::newRow("symbol font") << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset2 Symbol;}}\f0\'b7\u20013?})")
                                 << QByteArray(R"({\f1\fnil\fcharset134 Symbol;})") << QByteArray(R"(\f1\fs24\u8226?\'d6\'d0\par)");
    QTest::newRow("other symbol font") << QByteArray(R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset2 Wingdings;}}\f0\'d6\'d0})")
                                       << QByteArray(R"({\f1\fnil\fcharset134 Wingdings;})") << QByteArray(R"(\f1\fs24\'d6\'d0\par)");
    QTest::newRow("code page without converter") << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset130 J;}}\f0\'e9})")
                                                 << QByteArray(R"({\f1\fnil\fcharset134 J;})") << QByteArray(R"(\f1\fs24\'a8\'a6\par)");
    QTest::newRow("chinese charset kept") << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset136 M;}}\f0\'a4\'a4})")
                                          << QByteArray(R"({\f1\fnil\fcharset136 M;})") << QByteArray(R"(\f1\fs24\'a4\'a4\par)");
}

void TestRtf::writerCharsetMatchesBytes() {
    QFETCH(QByteArray, rtf);
    QFETCH(QByteArray, font);
    QFETCH(QByteArray, body);
    QTextDocument doc;
    QVERIFY(rtf::read(rtf, &doc));
    const QByteArray out = rtf::write(&doc);
    QVERIFY2(out.contains(R"(\'cc\'e5;})" + font + "}\r\n"), out.constData());
    QVERIFY2(out.endsWith(kParagraph + body + "\r\n}"), out.constData());
    QTextDocument back;
    QVERIFY(rtf::read(out, &back));
    QCOMPARE(blockText(back), blockText(doc));
    QCOMPARE(rtf::write(&back), out);
}

void TestRtf::writerKeepsDateFileLinesSafe() {
    // The date file tells entries apart by DEL at the start of a line and by " DEL" lines; the
    // body the writer produces never holds DEL or any other control character.
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(u"a\x7f\x07z"_qs);
    c.insertBlock();
    c.insertText(u"\x7f"_qs);
    c.insertBlock();
    c.insertText(u" \x7f"_qs);
    const QByteArray out = rtf::write(&doc);
    for (char ch : out)
        QVERIFY2((ch >= 0x20 && ch < 0x7f) || ch == '\r' || ch == '\n', qPrintable(QString::number(int(ch))));
    QVERIFY(out.contains(R"(a\'7fz\par)" "\r\n" R"(\'7f\par)" "\r\n" R"( \'7f\par)"));
    QTextDocument back;
    QVERIFY(rtf::read(out, &back));
    QCOMPARE(blockText(back), u"a\x7fz\n\x7f\n \x7f"_qs);
}

void TestRtf::escapeTextMatchesWriter_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("product name") << u"晴窗"_qs;
    QTest::newRow("ascii") << u"abc"_qs;
    QTest::newRow("leading blank") << u"  请从列表中选择..."_qs;
    QTest::newRow("leading digit") << u"2004年"_qs;
    QTest::newRow("tab") << u"a\tb"_qs;
    QTest::newRow("line breaks") << u"\r\n  文件不存在！\r\nz"_qs;
    QTest::newRow("specials") << u"{}\\"_qs;
    QTest::newRow("outside code page 936") << u"😀•"_qs;
}

void TestRtf::escapeTextMatchesWriter() {
    QFETCH(QString, text);
    const QString rtfText = rtf::documentWithBody(rtf::escapeText(text));
    QVERIFY(rtfText.startsWith(QLatin1String(kHeader + "\r\n" + kParagraph)));
    QTextDocument doc;
    QVERIFY(rtf::read(rtfText.toLatin1(), &doc));
    QString plain = text;
    plain.replace(u"\r\n"_qs, u"\n"_qs);
    QCOMPARE(blockText(doc), plain);
    QCOMPARE(QString::fromLatin1(rtf::write(&doc)), rtfText);
    QCOMPARE(rtf::escapeText(u"晴窗"_qs), uR"(\'c7\'e7\'b4\'b0)"_qs);
    QCOMPARE(rtf::emptyDocument(), QString::fromLatin1(kEmpty));
}

void TestRtf::roundTripStable_data() {
    QTest::addColumn<QByteArray>("rtf");
    QTest::newRow("the program's empty document") << QByteArray(kHeader + kParagraph + "\\par }");
    QTest::newRow("formats in groups") << QByteArray(R"({\rtf1{\colortbl;\red0\green0\blue255;}{\b\cf1 a{\i b}}c\ul d\par\qc\fs40 e\par\fs10\par\pard\b f})");
    QTest::newRow("fonts") << QByteArray(R"({\rtf1\ansi{\fonttbl{\f0\fcharset0 Arial;}{\f1\fcharset128 Gothic;}{\f2\fcharset161 Greek;}}\f0\'e9\f1\'92\'86\f2\'d9\u20013?})");
    QTest::newRow("specials") << QByteArray(R"({\rtf1 \~\-\_\emdash\bullet\line\tab{\v x}\u-10179?\u-8704?})");
    QTest::newRow("empty paragraphs with sizes") << QByteArray(R"({\rtf1 \fs48\par\fs20\par a\par})");
    QTest::newRow("indents") << QByteArray(R"({\rtf1\li-100\ri7\fi31680 a\par\pard\li33333 b\par})");
    QTest::newRow("font names with control symbols") << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset0 A\'adB\'a0C;}{\f1\fcharset134 D\'7fE;}}\f0 x\f1 y})");
    QTest::newRow("font with a code page no converter knows") << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset130 J;}}\f0\'e9 z})");
}

void TestRtf::roundTripStable() {
    QFETCH(QByteArray, rtf);
    const QByteArray first = roundTrip(rtf);
    QVERIFY(first != "(unreadable)");
    QCOMPARE(roundTrip(first), first);
    QTextDocument a, b;
    QVERIFY(rtf::read(rtf, &a));
    QVERIFY(rtf::read(first, &b));
    QCOMPARE(blockText(b), blockText(a));
}

void TestRtf::insertAtCursor() {
    QTextDocument doc;
    doc.setPlainText(u"1234"_qs);
    QTextCursor c(&doc);
    c.setPosition(2);
    QVERIFY(rtf::insert(R"({\rtf1 {\b a}\par b\par})", c));
    QCOMPARE(blockText(doc), u"12a\nb34"_qs);
    QCOMPARE(formatAt(doc, 2).fontWeight(), int(QFont::Bold));
    QVERIFY(!rtf::insert("no", c));
    QCOMPARE(blockText(doc), u"12a\nb34"_qs);
    // One undo takes the whole insertion back.
    doc.undo();
    QCOMPARE(blockText(doc), u"1234"_qs);
}

void TestRtf::survivesMangledInput() {
    // Every prefix and a few thousand random corruptions of a document with all kinds of
    // content read without crashing and write something the reader takes back.
    const QByteArray png = pngBytes(testImage());
    const QByteArray sample =
        R"({\rtf1\ansi\ansicpg936\deff0{\fonttbl{\f0\fnil\fcharset134 \'cb\'ce\'cc\'e5;}{\f1\fcharset128\cpg65001 U;}})"
        R"({\colortbl ;\red255\green0\blue0;}{\*\generator x;}\uc1\pard\qc\f0\fs18 \'d6\'d0\u20013?\b\cf1 b\f1\'e4\'b8\'ad)"
        R"({\upr{a}{\*\ud{u}}}{\field{\*\fldinst X}{\fldrslt r}}\par\line\tab\~ {\pict\pngblip\picw3\pich2 )" +
        png.toHex() + R"(}{\pict\dibitmap0 28000000}{\pict\wmetafile8\bin4 abcd}\u-10179?\'81\\\par})";
    QTextDocument doc;
    for (qsizetype n = 0; n <= sample.size(); ++n) {
        const QByteArray part = sample.left(n);
        if (rtf::read(part, &doc)) QVERIFY(rtf::read(rtf::write(&doc), &doc));
    }
    QRandomGenerator random(20040908);
    const char pieces[][12] = {"{", "}", "\\", "\\'", "\\u", "\\bin", "-", "9999999999", "\\pict", "\\*", "\\uc5", "\\'d6", " ", "\\par", "\\f1"};
    for (int round = 0; round < 3000; ++round) {
        QByteArray mangled = sample;
        const int edits = 1 + random.bounded(6);
        for (int e = 0; e < edits; ++e) {
            const int at = random.bounded(int(mangled.size()));
            switch (random.bounded(3)) {
            case 0: mangled[at] = char(random.bounded(256)); break;
            case 1: mangled.remove(at, random.bounded(8)); break;
            default: mangled.insert(at, pieces[random.bounded(int(std::size(pieces)))]); break;
            }
        }
        if (rtf::read(mangled, &doc)) QVERIFY(rtf::read(rtf::write(&doc), &doc));
    }
    // Numbers and sizes out of every range.
    for (const QByteArray &odd :
         {QByteArray(R"({\rtf1 \bin999999999999 x})"), QByteArray(R"({\rtf1 \u99999999999 \u-99999999999 x})"),
          QByteArray(R"({\rtf1 \fs-5 \fs99999999 \li-99999999 \cf99 \highlight-1 \f-7 x\'})"),
          QByteArray(R"({\rtf1 {\pict\pngblip\picwgoal2147483647\pichgoal-5\picscalex-100 00}})"),
          QByteArray(R"({\rtf1 {\pict\dibitmap0 ffffffffffffffffffffffffffffffffffffffffffffffffffffffffff}})"),
          QByteArray("{\\rtf1 \\"), QByteArray("{\\rtf1 \\'4"), QByteArray("{\\rtf1 \\uc9999\\u1 x}")}) {
        QVERIFY(rtf::read(odd, &doc));
        QVERIFY(rtf::read(rtf::write(&doc), &doc));
    }
}

QTEST_MAIN(TestRtf)
#include "tst_rtf.moc"
