// RTF written by other programs: every file of the parsers' corpus (tests/data/rtf-corpus) reads
// and shows the text its XML listing or text file gives; every file of our own corpus
// (tests/data/rtf-interop, written by LibreOffice, pandoc and by hand) shows the text LibreOffice
// reads from it. Each comes back the same from read → write → read.
#include "store/rtf/rtf.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>
#include <QXmlStreamReader>

namespace {

QString corpusDir() { return QStringLiteral(QC_SOURCE_DIR "/tests/data/rtf-corpus"); }

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The visible text of an XML listing: <chars> outside destination groups, with \par, \line
// and \row as line breaks and \tab and \cell as tabs.
QString xmlText(const QByteArray &listing) {
    static const QSet<QString> destinations{u"fonttbl"_qs, u"colortbl"_qs, u"stylesheet"_qs, u"info"_qs,
                                            u"listtable"_qs, u"listoverridetable"_qs, u"pict"_qs, u"header"_qs,
                                            u"footer"_qs, u"rsidtbl"_qs, u"generator"_qs, u"latentstyles"_qs,
                                            u"themedata"_qs, u"colorschememapping"_qs, u"datastore"_qs,
                                            u"xmlnstbl"_qs, u"pgptbl"_qs, u"revtbl"_qs};
    // The listings hold control characters XML does not allow.
    QByteArray clean = listing;
    for (char &c : clean)
        if ((c >= 0 && c < 0x20) && c != '\t' && c != '\n' && c != '\r') c = ' ';
    QXmlStreamReader xml(clean);
    struct Level {
        bool skip;
        bool decided;
    };
    QList<Level> levels{{false, true}};
    QString text;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            Level &level = levels.last();
            if (name == u"group") {
                levels.append({level.skip, false});
            } else if (name == u"command") {
                const QString word = xml.attributes().value(QLatin1String("name")).toString();
                if (!level.decided) {
                    level.decided = true;
                    if (xml.attributes().value(QLatin1String("optional")) == QLatin1String("true") || destinations.contains(word)) level.skip = true;
                }
                if (level.skip) continue;
                if (word == u"par" || word == u"line" || word == u"row") text += QLatin1Char('\n');
                else if (word == u"tab" || word == u"cell") text += QLatin1Char('\t');
            } else if (name == u"chars") {
                level.decided = true;
                const QString chars = xml.readElementText();
                if (!level.skip) text += chars;
            }
        } else if (xml.isEndElement() && xml.name() == u"group") {
            levels.removeLast();
        }
    }
    return xml.hasError() ? u"(bad listing: "_qs + xml.errorString() + u")"_qs : text;
}

QString chopNewlines(QString s) {
    while (s.endsWith(QLatin1Char('\n')))
        s.chop(1);
    return s;
}

// The text without any white space: word processors show list indents, cell ends and
// paragraph marks in ways of their own.
QString withoutSpace(const QString &s) {
    QString out;
    out.reserve(s.size());
    for (const QChar c : s)
        if (!c.isSpace() && c != QChar(0xfeff)) out += c;
    return out;
}

// What the writer makes of the document reads back to the same text and writes the same bytes.
void checkWriteReadsBack(const QTextDocument &doc) {
    const QByteArray written = rtf::write(&doc);
    QTextDocument again;
    QVERIFY(rtf::read(written, &again));
    QCOMPARE(rtf::plainText(&again), rtf::plainText(&doc));
    QCOMPARE(rtf::write(&again), written);
}

void addFiles(const QDir &dir) {
    QTest::addColumn<QString>("file");
    const QStringList files = dir.entryList({u"*.rtf"_qs}, QDir::Files, QDir::Name);
    QVERIFY(!files.isEmpty());
    for (const QString &f : files)
        QTest::newRow(qPrintable(f)) << dir.filePath(f);
}

} // namespace

class TestRtfCorpus : public QObject {
    Q_OBJECT
private slots:
    void corpus_data();
    void corpus();
    void asLibreOfficeReads_data();
    void asLibreOfficeReads();
};

void TestRtfCorpus::corpus_data() {
    const QDir dir(corpusDir());
    addFiles(dir);
}

void TestRtfCorpus::corpus() {
    QFETCH(QString, file);
    const QByteArray data = readAll(file);
    QVERIFY(!data.isEmpty());
    QTextDocument doc;
    QString error;
    QVERIFY2(rtf::read(data, &doc, &error), qPrintable(error));
    const QString shown = rtf::plainText(&doc);

    const QString base = file.chopped(4);
    if (QFile::exists(base + u".xml"_qs)) {
        QString expected = xmlText(readAll(base + u".xml"_qs));
        expected.replace(QChar::Nbsp, QLatin1Char(' '));
        QCOMPARE(chopNewlines(shown), chopNewlines(expected));
    } else if (QFile::exists(base + u".txt"_qs)) {
        QString expected = QString::fromUtf8(readAll(base + u".txt"_qs));
        expected.replace(u"\r\n"_qs, u"\n"_qs);
        // That text ends every table row with the tab of its last cell; rows here end with
        // the row.
        expected.replace(u"\t\n"_qs, u"\n"_qs);
        QCOMPARE(chopNewlines(shown), chopNewlines(expected));
    } else {
        // Nothing to compare with: at least no lone surrogates came through.
        for (qsizetype i = 0; i < shown.size(); ++i) {
            if (shown.at(i).isHighSurrogate()) {
                QVERIFY(i + 1 < shown.size() && shown.at(i + 1).isLowSurrogate());
                ++i;
            } else {
                QVERIFY(!shown.at(i).isLowSurrogate());
            }
        }
    }

    checkWriteReadsBack(doc);
}

void TestRtfCorpus::asLibreOfficeReads_data() { addFiles(QDir(QStringLiteral(QC_SOURCE_DIR "/tests/data/rtf-interop"))); }

void TestRtfCorpus::asLibreOfficeReads() {
    QFETCH(QString, file);
    QTextDocument doc;
    QString error;
    QVERIFY2(rtf::read(readAll(file), &doc, &error), qPrintable(error));
    const QByteArray theirs = readAll(file.chopped(4) + u".txt"_qs);
    QVERIFY(!theirs.isEmpty());
    QCOMPARE(withoutSpace(rtf::plainText(&doc)), withoutSpace(QString::fromUtf8(theirs)));
    checkWriteReadsBack(doc);
}

QTEST_MAIN(TestRtfCorpus)
#include "tst_rtfcorpus.moc"
