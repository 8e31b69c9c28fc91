#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Counting a diary's text: its 字数 and its #话题 tags.
namespace stats {

// The 字数 of text, as a Chinese word processor counts it:
//   - each Han character counts 1, and so does each kana or hangul character (々, ー, 〇 too);
//   - each run of letters or digits of any other script counts 1, as a word does: "Qt6" is 1,
//     "ＡＢＣ１２３" is 1; an apostrophe between letters ("don't") and a point or comma between
//     digits ("3.14", "1,000") keep the run going; combining marks belong to their letter;
//   - punctuation, blanks, symbols, emoji and pictures count 0.
// "我用Qt写了2篇日记。" counts 我 用 Qt 写 了 2 篇 日 记 = 9.
qsizetype characterCount(QStringView text);

// The #话题 tags of text, in the order they stand, each with its "#": a "#" (or the full-width
// "＃", taken as "#") followed by letters, digits, Han characters or "_", ended by anything else.
// Not a tag: a "#" inside a web address ("https://a.cn/p#二" , "www.a.cn#x"), in a character
// reference ("&#23383;"), or right after an ASCII letter or digit ("C#", "第3#").
QStringList tagsIn(QStringView text);

} // namespace stats
