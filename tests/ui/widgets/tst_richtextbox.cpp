// The rich-text box as the windows use it: whole RTF and plain text in and out, file loading,
// the typed-input limit, pastes of text, HTML, pictures and RTF, and the command-line converter.
#include "ui/widgets/richtextbox.h"
#include "store/rtf/rtf.h"
#include "testsupport.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QTextLayout>

namespace {

const QString kHeader = uR"({\rtf1\ansi\ansicpg936\deff0\deflang1033\deflangfe2052{\fonttbl{\f0\fnil\fcharset134 \'cb\'ce\'cc\'e5;}})"_qs;
const QString kParagraph = uR"(\viewkind4\uc1\pard\lang2052\f0\fs18)"_qs;

QImage testImage() {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    image.setPixelColor(2, 1, QColor(250, 0, 0));
    return image;
}

QList<QImage> shownImages(const QTextDocument *doc) {
    QList<QImage> out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                out << doc->resource(QTextDocument::ImageResource, QUrl(it.fragment().charFormat().toImageFormat().name())).value<QImage>();
    return out;
}

void setClipboard(QMimeData *data) { QApplication::clipboard()->setMimeData(data); }

} // namespace

class TestRichTextBox : public QObject {
    Q_OBJECT
private slots:
    void setTextRTF_data();
    void setTextRTF();
    void plainText();
    void loadFile();
    void maxLength();
    void singleLine();
    void pastePlainAndHtml();
    void pastePicture();
    void pasteRtfAndCopy();
    void readOnlyTakesNoPaste();
    void entrySurvivesSaveAndReopen();
    void typingKeepsFormat();
    void backColorAndAppearance();
    void fixedBackgroundKeepsTextReadable_data();
    void fixedBackgroundKeepsTextReadable();
    void zoomChangesOnlyTheView();
    void converterTool();
};

void TestRichTextBox::setTextRTF_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rtf"); // what textRTF gives back; empty: not checked

    const QString empty = rtf::emptyDocument();
    QTest::newRow("message as plain text") << u"\r\n  文件不存在！"_qs << u"\r\n  文件不存在！"_qs
                                           << kHeader + u"\r\n"_qs + kParagraph + uR"(\par)"_qs + u"\r\n  "_qs +
                                                  uR"(\'ce\'c4\'bc\'fe\'b2\'bb\'b4\'e6\'d4\'da\'a3\'a1\par)"_qs + u"\r\n}"_qs;
    QTest::newRow("empty document as written by the diary") << kHeader + kParagraph + uR"(\par })"_qs << QString() << empty;
    QTest::newRow("own empty document") << empty << QString() << empty;
    QTest::newRow("title") << rtf::documentWithBody(rtf::escapeText(u"晴窗"_qs)) << u"晴窗"_qs
                           << rtf::documentWithBody(rtf::escapeText(u"晴窗"_qs));
    QTest::newRow("six asterisks") << kHeader + kParagraph + uR"(******\par })"_qs << u"******"_qs << QString();
    QTest::newRow("home page after CR LF") << u"\r\n"_qs + kHeader + kParagraph + uR"(\b home\par })"_qs << u"home"_qs
                                           << kHeader + u"\r\n"_qs + kParagraph + uR"(\b home\par)"_qs + u"\r\n}"_qs;
    QTest::newRow("prompt after CR LF") << u"\r\n\r\n  *  请从列表中选择..."_qs << u"\r\n\r\n  *  请从列表中选择..."_qs << QString();
    QTest::newRow("chinese characters inside RTF") << uR"({\rtf1\ansi\ansicpg936 直接)"_qs + u"}"_qs << u"直接"_qs << QString();
    const QString deep = uR"({\rtf1 )"_qs + QString(2000, QLatin1Char('{')) + u"x"_qs;
    QTest::newRow("unreadable RTF shows as it is") << deep << deep << QString();
}

void TestRichTextBox::setTextRTF() {
    QFETCH(QString, input);
    QFETCH(QString, text);
    QFETCH(QString, rtf);
    RichTextBox box;
    box.setText(u"old"_qs);
    box.setTextRTF(input);
    QCOMPARE(box.text(), text);
    if (!rtf.isEmpty()) QCOMPARE(box.textRTF(), rtf);
    // What it gives is what it takes.
    const QString written = box.textRTF();
    RichTextBox again;
    again.setTextRTF(written);
    QCOMPARE(again.textRTF(), written);
    QCOMPARE(again.text(), text);
}

void TestRichTextBox::plainText() {
    RichTextBox box;
    box.setText(u"a\r\nb\rc\nd"_qs);
    QCOMPARE(box.text(), u"a\r\nb\r\nc\r\nd"_qs);
    QCOMPARE(box.document()->blockCount(), 4);
    // Line breaks and no-break spaces read as the plain text shows them; pictures are left out.
    box.setTextRTF(uR"({\rtf1 a\line b\~c{\pict\wmetafile8 00}d})"_qs);
    QCOMPARE(box.text(), u"a\r\nb cd"_qs);
    // Plain text set over a picture drops it.
    box.setText(u"x"_qs);
    QCOMPARE(box.textRTF(), rtf::documentWithBody(u"x"_qs));
}

void TestRichTextBox::loadFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString good = dir.filePath(u"index.KAV"_qs);
    const QString page = rtf::documentWithBody(rtf::escapeText(u"首页"_qs));
    testsupport::writeFile(good, (page + u"\r\n"_qs).toLatin1());
    const QString text = dir.filePath(u"plain.txt"_qs);
    testsupport::writeFile(text, "just text");

    RichTextBox box;
    QVERIFY(box.loadFile(good));
    QCOMPARE(box.text(), u"首页"_qs);
    QCOMPARE(box.textRTF(), page);
    box.setText(u"kept"_qs);
    QVERIFY(!box.loadFile(text));
    QCOMPARE(box.text(), u"kept"_qs);
    QVERIFY(!box.loadFile(dir.filePath(u"missing"_qs)));
    QCOMPARE(box.text(), u"kept"_qs);
    QVERIFY(!box.loadFile(dir.path()));
    QCOMPARE(box.text(), u"kept"_qs);
}

void TestRichTextBox::singleLine() {
    RichTextBox box;
    box.setSingleLine(true);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClicks(&box, u"ab"_qs);
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClick(&box, Qt::Key_Enter);
    QTest::keyClicks(&box, u"c"_qs);
    QCOMPARE(box.text(), u"abc"_qs);
    // A paste keeps its first line only, as plain text.
    auto *mime = new QMimeData;
    mime->setText(u"第一行\r\n第二行"_qs);
    mime->setHtml(u"<b>第一行</b><br>第二行"_qs);
    setClipboard(mime);
    box.pasteClipboard();
    QCOMPARE(box.text(), u"abc第一行"_qs);
    QVERIFY(!box.textRTF().contains(uR"(\b)"_qs));
}

void TestRichTextBox::maxLength() {
    RichTextBox box;
    box.setMaxLength(4);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setFocus();
    QTest::keyClicks(&box, u"123456"_qs);
    QCOMPARE(box.text(), u"1234"_qs);
    QTest::keyClick(&box, Qt::Key_Return);
    QCOMPARE(box.text(), u"1234"_qs);
    // Replacing a selection is typing within the limit.
    box.selectAll();
    QTest::keyClicks(&box, u"ab"_qs);
    QCOMPARE(box.text(), u"ab"_qs);
    // An input method's committed text is cut too.
    QInputMethodEvent ime;
    ime.setCommitString(u"年月日"_qs);
    QCoreApplication::sendEvent(&box, &ime);
    QCOMPARE(box.text(), u"ab年月"_qs);
    // A paste is plain text, cut to what fits.
    box.setText(u"1"_qs);
    box.moveCursor(QTextCursor::End);
    auto *mime = new QMimeData;
    mime->setText(u"2345"_qs);
    mime->setHtml(u"<b>2345</b>"_qs);
    setClipboard(mime);
    box.pasteClipboard();
    QCOMPARE(box.text(), u"1234"_qs);
    QVERIFY(!box.textRTF().contains(uR"(\b)"_qs));
    // Text the program sets is not cut.
    box.setText(u"2004-9-8"_qs);
    QCOMPARE(box.text(), u"2004-9-8"_qs);
}

void TestRichTextBox::pastePlainAndHtml() {
    RichTextBox box;
    box.setText(u"ab"_qs);
    QTextCursor c = box.textCursor();
    c.setPosition(1);
    box.setTextCursor(c);
    auto *mime = new QMimeData;
    mime->setText(u"中\n文"_qs);
    setClipboard(mime);
    box.pasteClipboard();
    QCOMPARE(box.text(), u"a中\r\n文b"_qs);

    // HTML from another program: formats kept, a data: picture stored in the entry, a picture
    // that cannot be fetched left out.
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        testImage().save(&buffer, "PNG");
    }
    box.setText(QString());
    mime = new QMimeData;
    mime->setHtml(u"<p>x<b>粗</b><span style=\"color:#0000ff\">蓝</span><img src=\"data:image/png;base64,"_qs +
                  QString::fromLatin1(png.toBase64()) + u"\"><img src=\"http://example.invalid/a.png\"></p>"_qs);
    mime->setText(u"x粗蓝"_qs);
    setClipboard(mime);
    box.pasteClipboard();
    QCOMPARE(box.text(), u"x粗蓝"_qs);
    const QString rtfText = box.textRTF();
    QVERIFY2(rtfText.contains(uR"(\b\'b4\'d6)"_qs), qPrintable(rtfText));
    QVERIFY2(rtfText.contains(uR"({\colortbl ;\red0\green0\blue255;})"_qs), qPrintable(rtfText));
    QVERIFY2(rtfText.contains(uR"({\pict\pngblip\picw3\pich2\picwgoal45\pichgoal30)"_qs), qPrintable(rtfText));
    QCOMPARE(rtfText.count(uR"({\pict)"_qs), 1);
    RichTextBox reopened;
    reopened.setTextRTF(rtfText);
    const QList<QImage> pictures = shownImages(reopened.document());
    QCOMPARE(pictures.size(), 1);
    QCOMPARE(pictures[0].pixelColor(2, 1), QColor(250, 0, 0));
}

void TestRichTextBox::pastePicture() {
    RichTextBox box;
    box.setTextRTF(rtf::documentWithBody(rtf::escapeText(u"图前"_qs)));
    box.moveCursor(QTextCursor::End);
    auto *mime = new QMimeData;
    mime->setImageData(testImage());
    setClipboard(mime);
    box.pasteClipboard();
    const QString rtfText = box.textRTF();
    QVERIFY2(rtfText.startsWith(kHeader + u"\r\n"_qs + kParagraph + uR"(\'cd\'bc\'c7\'b0{\pict\pngblip\picw3\pich2\picwgoal45\pichgoal30)"_qs + u"\r\n89504e47"_qs),
             qPrintable(rtfText.left(300)));
    QVERIFY(rtfText.endsWith(u"}\\par\r\n}"_qs));
    RichTextBox reopened;
    reopened.setTextRTF(rtfText);
    QCOMPARE(reopened.textRTF(), rtfText);
    const QList<QImage> pictures = shownImages(reopened.document());
    QCOMPARE(pictures.size(), 1);
    QCOMPARE(pictures[0].size(), QSize(3, 2));
    QCOMPARE(pictures[0].pixelColor(0, 0), QColor(10, 200, 30));
    QCOMPARE(pictures[0].pixelColor(2, 1), QColor(250, 0, 0));
}

void TestRichTextBox::pasteRtfAndCopy() {
    RichTextBox box;
    box.setText(u"12"_qs);
    box.moveCursor(QTextCursor::End);
    auto *mime = new QMimeData;
    mime->setData(u"text/rtf"_qs, R"({\rtf1{\colortbl;\red255\green0\blue0;}\cf1 red{\pict\wmetafile8\picw100\pich100\picwgoal150\pichgoal150 0102}})");
    mime->setText(u"should not be used"_qs);
    setClipboard(mime);
    box.pasteClipboard();
    QCOMPARE(box.text(), u"12red"_qs);
    const QString first = box.textRTF();
    QVERIFY2(first.contains(uR"(\cf1 red{\pict\wmetafile8\picw100\pich100\picwgoal150\pichgoal150)"_qs + u"\r\n0102}"_qs), qPrintable(first));

    // Copy and paste within the box keeps formats and the metafile's bytes exactly.
    box.selectAll();
    box.copy();
    QVERIFY(QApplication::clipboard()->mimeData()->hasFormat(u"text/rtf"_qs));
    box.moveCursor(QTextCursor::End);
    box.pasteClipboard();
    QCOMPARE(box.text(), u"12red12red"_qs);
    const QString twice = box.textRTF();
    QCOMPARE(twice.count(uR"({\pict\wmetafile8\picw100\pich100\picwgoal150\pichgoal150)"_qs + u"\r\n0102}"_qs), 2);
    QCOMPARE(twice.count(uR"(\cf1 red)"_qs), 2);
}

void TestRichTextBox::readOnlyTakesNoPaste() {
    RichTextBox box;
    box.setText(u"x"_qs);
    box.setReadOnly(true);
    auto *mime = new QMimeData;
    mime->setText(u"y"_qs);
    setClipboard(mime);
    box.pasteClipboard();
    QCOMPARE(box.text(), u"x"_qs);
}

void TestRichTextBox::entrySurvivesSaveAndReopen() {
    // An entry written in the box: template text, typed Chinese, a bold coloured word, a
    // centred line and a pasted picture. Its RTF opened again is the same entry.
    RichTextBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setTextRTF(rtf::emptyDocument());
    box.setText(u"\r\n    2004年9月8日   星期三   天气：\r\n^~^~^~^\r\n    "_qs);
    box.moveCursor(QTextCursor::End);
    QInputMethodEvent ime;
    ime.setCommitString(u"今天"_qs);
    QCoreApplication::sendEvent(&box, &ime);
    QTest::keyClicks(&box, u" fine."_qs);
    QTextCursor c = box.textCursor();
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setForeground(QColor(200, 0, 0));
    c.insertText(u"重要"_qs, bold);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    c.insertBlock(centred);
    box.setTextCursor(c);
    auto *mime = new QMimeData;
    mime->setImageData(testImage());
    setClipboard(mime);
    box.pasteClipboard();

    const QString saved = box.textRTF();
    RichTextBox reopened;
    reopened.setTextRTF(saved);
    QCOMPARE(reopened.textRTF(), saved);
    QCOMPARE(reopened.text(), box.text());
    QCOMPARE(reopened.text(), u"\r\n    2004年9月8日   星期三   天气：\r\n^~^~^~^\r\n    今天 fine.重要\r\n"_qs);
    const QTextBlock last = reopened.document()->lastBlock();
    QCOMPARE(last.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(shownImages(reopened.document()).size(), 1);
    QVERIFY(saved.contains(uR"(\cf1\b\'d6\'d8\'d2\'aa)"_qs));
}

void TestRichTextBox::typingKeepsFormat() {
    RichTextBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setTextRTF(kHeader + kParagraph + uR"(\b bold\par })"_qs);
    box.moveCursor(QTextCursor::End);
    QTest::keyClicks(&box, u"er"_qs);
    QCOMPARE(box.textRTF(), kHeader + u"\r\n"_qs + kParagraph + uR"(\b bolder\par)"_qs + u"\r\n}"_qs);
    // Typing into the empty document writes 宋体 9 points, the document's own font.
    box.setTextRTF(rtf::emptyDocument());
    QTest::keyClicks(&box, u"ok"_qs);
    QCOMPARE(box.textRTF(), rtf::documentWithBody(u"ok"_qs));
}

void TestRichTextBox::backColorAndAppearance() {
    RichTextBox box;
    box.setBackColor(QColor(0xff, 0xff, 0xe0));
    QCOMPARE(box.backColor(), QColor(0xff, 0xff, 0xe0));
    QCOMPARE(box.palette().color(QPalette::Base), QColor(0xff, 0xff, 0xe0));
    box.setAppearance(0);
    QCOMPARE(box.frameShadow(), QFrame::Plain);
    box.setAppearance(1);
    QCOMPARE(box.frameShadow(), QFrame::Sunken);
}

// A background the program fixes comes with a text colour that reads on it, whatever the
// desktop's palette: its own text colour where that reads, black or white otherwise.
void TestRichTextBox::fixedBackgroundKeepsTextReadable_data() {
    QTest::addColumn<QColor>("desktopText");
    QTest::addColumn<QColor>("back");
    QTest::addColumn<QColor>("text");
    QTest::newRow("light desktop, light box") << QColor(0x10, 0x10, 0x10) << QColor(0xf0, 0xf0, 0xf0) << QColor(0x10, 0x10, 0x10);
    QTest::newRow("dark desktop, dark box") << QColor(0xee, 0xee, 0xee) << QColor(0x35, 0x35, 0x35) << QColor(0xee, 0xee, 0xee);
    QTest::newRow("dark desktop, light box") << QColor(0xee, 0xee, 0xee) << QColor(0xff, 0xff, 0xe0) << QColor(Qt::black);
    QTest::newRow("light desktop, dark box") << QColor(0x10, 0x10, 0x10) << QColor(0x4a, 0x4a, 0x4a) << QColor(Qt::white);
}

void TestRichTextBox::fixedBackgroundKeepsTextReadable() {
    QFETCH(QColor, desktopText);
    QFETCH(QColor, back);
    QFETCH(QColor, text);
    const QPalette before = QApplication::palette();
    QPalette desktop = before;
    desktop.setColor(QPalette::Text, desktopText);
    QApplication::setPalette(desktop);
    RichTextBox box;
    box.setBackColor(back);
    QApplication::setPalette(before);
    QCOMPARE(box.palette().color(QPalette::Base), back);
    QCOMPARE(box.palette().color(QPalette::Text), text);
}

void TestRichTextBox::zoomChangesOnlyTheView() {
    RichTextBox box;
    box.resize(900, 300); // wide enough that no zoom wraps a line
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    // Small and large text, and a picture of 3 x 2 pixels shown at 900 x 600 twips.
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    testImage().save(&png, "PNG");
    const QString document = kHeader + u"\r\n"_qs + kParagraph + u" small \\fs36 large\\par\r\n\\fs18{\\pict\\pngblip\\picw3\\pich2\\picwgoal900\\pichgoal600\r\n"_qs +
                             QString::fromLatin1(png.data().toHex()) + u"}\\par\r\n}"_qs;
    box.setTextRTF(document);
    const QString rtfAt100 = box.textRTF();
    QAbstractTextDocumentLayout *layout = box.document()->documentLayout();
    auto heights = [&] {
        QList<qreal> h;
        for (QTextBlock b = box.document()->begin(); b.isValid(); b = b.next()) h << layout->blockBoundingRect(b).height();
        return h;
    };
    auto textWidth = [&] { return box.document()->begin().layout()->lineAt(0).naturalTextWidth(); };
    const QList<qreal> at100 = heights();
    const qreal widthAt100 = textWidth();

    for (int zoom : {200, 50, 400}) {
        box.setZoom(zoom);
        QCOMPARE(box.zoom(), zoom);
        // Text and picture are shown that much larger or smaller...
        const QList<qreal> zoomed = heights();
        QCOMPARE(zoomed.size(), at100.size());
        for (int i = 0; i < zoomed.size(); ++i)
            QVERIFY2(qAbs(zoomed[i] / at100[i] - zoom / 100.0) < 0.2 * zoom / 100.0,
                     qPrintable(u"block %1: %2 at 100 %, %3 at %4 %"_qs.arg(i).arg(at100[i]).arg(zoomed[i]).arg(zoom)));
        QVERIFY(qAbs(textWidth() / widthAt100 - zoom / 100.0) < 0.1 * zoom / 100.0);
        // ...and the document is what it was, byte for byte.
        QCOMPARE(box.textRTF(), rtfAt100);
        QCOMPARE(box.font().pointSizeF(), 9.0);
    }

    // A document set while zoomed is shown zoomed too; back at 100 % it is laid out as before.
    box.setZoom(200);
    box.setTextRTF(document);
    QVERIFY(heights()[0] > 1.8 * at100[0]);
    QCOMPARE(box.textRTF(), rtfAt100);
    box.setZoom(100);
    QCOMPARE(heights(), at100);
    QCOMPARE(textWidth(), widthAt100);
}

void TestRichTextBox::converterTool() {
    const QString exe = qEnvironmentVariable("QC_RTF_EXE");
    QVERIFY2(!exe.isEmpty(), "QC_RTF_EXE names the converter; ctest sets it");
    QTemporaryDir dir;
    const QString file = dir.filePath(u"entry.rtf"_qs);
    const QByteArray entry = R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fnil\fcharset134 \'cb\'ce\'cc\'e5;}}\f0\fs18\b \'c7\'e7\'b4\'b0\b0\line x\par\tab y\par})";
    testsupport::writeFile(file, entry);
    auto run = [&](const QStringList &args, QByteArray *out) {
        QProcess p;
        p.start(exe, args);
        if (!p.waitForFinished(30000)) return -1;
        *out = p.readAllStandardOutput();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    QByteArray out;
    QCOMPARE(run({u"--text"_qs, file}, &out), 0);
    QCOMPARE(out, u"晴窗\nx\n\ty\n"_qs.toUtf8());
    QCOMPARE(run({u"--rtf"_qs, file}, &out), 0);
    QTextDocument doc;
    QVERIFY(rtf::read(entry, &doc));
    QCOMPARE(out, rtf::write(&doc));
    const QString plain = dir.filePath(u"plain.txt"_qs);
    testsupport::writeFile(plain, "hello");
    QCOMPARE(run({u"--text"_qs, plain}, &out), 1);
    QCOMPARE(run({u"--text"_qs, dir.filePath(u"missing"_qs)}, &out), 1);
    QCOMPARE(run({u"--html"_qs, file}, &out), 2);
}

QTEST_MAIN(TestRichTextBox)
#include "tst_richtextbox.moc"
