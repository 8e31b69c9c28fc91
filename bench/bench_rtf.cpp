// Reading and writing the largest documents the diary keeps: an entry of 400,000 characters of
// RTF and a home page of 800,000, read into a laid-out editor and written back, beside Qt's own
// HTML path (setHtml/toHtml) for the same document. And the count of the status line while an
// entry of 400,000 characters of text is written, beside one character typed into it.
#include "ui/widgets/richtextbox.h"
#include "store/rtf/rtf.h"
#include "store/stats/count.h"

#include <QApplication>
#include <QTextCursor>
#include <QTextDocument>

#include <benchmark/benchmark.h>

namespace {

const QString kSentences[] = {
    u"今天天气很好，我们一起去西湖边散步，看到了很多游客。"_qs,
    u"晚上读了一会儿书，关于宋代的诗词，觉得很有意思。"_qs,
    u"The meeting was moved to Thursday, so there is time to finish the draft."_qs,
    u"下午在图书馆查资料，顺便借了两本小说。"_qs,
    u"记得给妈妈打电话：周末回家吃饭。"_qs,
};

// A diary-like document whose RTF is about `size` characters: Chinese paragraphs with some
// English, bold and coloured words, tabs and centred headings.
QByteArray makeDocument(qsizetype size) {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat plain;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat red;
    red.setForeground(QColor(200, 0, 0));
    QTextCharFormat big;
    big.setFontPointSize(14);
    QTextBlockFormat left;
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    int n = 0;
    QByteArray rtf;
    while (true) {
        for (int i = 0; i < 50; ++i, ++n) {
            if (n % 20 == 0) {
                c.insertBlock(centred);
                c.insertText(u"第 %1 天"_qs.arg(n / 20 + 1), big);
                c.insertBlock(left);
            }
            c.insertText(u"\t"_qs, plain);
            c.insertText(kSentences[n % 5], plain);
            c.insertText(u"重要"_qs, n % 3 ? bold : red);
            c.insertText(kSentences[(n + 2) % 5], plain);
            c.insertBlock(left);
        }
        rtf = rtf::write(&doc);
        if (rtf.size() >= size) break;
    }
    return rtf;
}

struct Fixture {
    QByteArray rtf;
    QString html;
};

const Fixture &fixture(qsizetype size) {
    static std::map<qsizetype, Fixture> fixtures;
    auto it = fixtures.find(size);
    if (it == fixtures.end()) {
        Fixture f;
        f.rtf = makeDocument(size);
        QTextDocument doc;
        rtf::read(f.rtf, &doc);
        f.html = doc.toHtml();
        it = fixtures.emplace(size, f).first;
    }
    return it->second;
}

// The diary's editor pane: 6780 × 4740 twips.
RichTextBox &editor() {
    static RichTextBox *box = [] {
        auto *b = new RichTextBox;
        b->resize(452, 316);
        b->show();
        return b;
    }();
    return *box;
}

void laidOut(RichTextBox &box) { benchmark::DoNotOptimize(box.document()->size()); }

void BM_ReadRtf(benchmark::State &state) {
    const Fixture &f = fixture(state.range(0));
    RichTextBox &box = editor();
    for (auto _ : state) {
        rtf::load(f.rtf, box.document());
        laidOut(box);
    }
    state.counters["rtf_chars"] = double(f.rtf.size());
}

void BM_ReadHtml(benchmark::State &state) {
    const Fixture &f = fixture(state.range(0));
    RichTextBox &box = editor();
    for (auto _ : state) {
        box.document()->setHtml(f.html);
        laidOut(box);
    }
    state.counters["html_chars"] = double(f.html.size());
}

void BM_WriteRtf(benchmark::State &state) {
    const Fixture &f = fixture(state.range(0));
    RichTextBox &box = editor();
    rtf::load(f.rtf, box.document());
    laidOut(box);
    for (auto _ : state)
        benchmark::DoNotOptimize(box.textRTF());
}

void BM_WriteHtml(benchmark::State &state) {
    const Fixture &f = fixture(state.range(0));
    RichTextBox &box = editor();
    rtf::load(f.rtf, box.document());
    laidOut(box);
    for (auto _ : state)
        benchmark::DoNotOptimize(box.document()->toHtml());
}

} // namespace

// An entry of 400,000 characters of text in the laid-out editor, the cursor at its end.
RichTextBox &longEntry() {
    static RichTextBox *box = [] {
        QString text;
        for (int n = 0; text.size() < 400000; ++n)
            text += kSentences[n % 5] + (n % 7 == 6 ? u"\n"_qs : QString());
        text.truncate(400000);
        auto *b = new RichTextBox;
        b->resize(452, 316);
        b->show();
        b->setPlainText(text);
        b->moveCursor(QTextCursor::End);
        laidOut(*b);
        return b;
    }();
    return *box;
}

// What the status line's timer does: the editor's text, counted.
void BM_LiveCount(benchmark::State &state) {
    RichTextBox &box = longEntry();
    qsizetype count = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(count = stats::characterCount(box.toPlainText()));
    if (count < 100000) state.SkipWithError("the entry counts too few characters");
}

void BM_TypeOneCharacter(benchmark::State &state) {
    RichTextBox &box = longEntry();
    QTextCursor c = box.textCursor();
    for (auto _ : state) {
        c.insertText(u"字"_qs);
        laidOut(box);
        c.deletePreviousChar();
        laidOut(box);
    }
}

BENCHMARK(BM_LiveCount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeOneCharacter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRtf)->Arg(400000)->Arg(800000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadHtml)->Arg(400000)->Arg(800000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteRtf)->Arg(400000)->Arg(800000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteHtml)->Arg(400000)->Arg(800000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
