#pragma once

// A small diary with planted phrases, shared by the search tests.
#include "store/common/codepage.h"
#include "store/rtf/rtf.h"
#include "testsupport.h"

#include <QDir>
#include <QString>

namespace finddiary {

// An entry as the date file holds it; passwordLine follows BEL.
inline QByteArray entry(int key, const QString &title, const QByteArray &passwordLine, const QByteArray &body) {
    return "\x7f" + QByteArray::number(key) + "\r\n" + cp936::encode(title) + "\r\n\x07" + passwordLine + "\r\n" +
           body + "\r\n \x7f\r\n";
}

// RTF in the diary's shape around a body already in RTF.
inline QByteArray rtfOf(const QByteArray &body) {
    return "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fcharset134 "
           "\\'cb\\'ce\\'cc\\'e5;}}\r\n\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 " +
           body + "\\par\r\n}";
}

// Plain text as the writer escapes it.
inline QByteArray rtfText(const QString &text) { return rtfOf(rtf::escapeText(text).toLatin1()); }

// The diary (dir is the program folder):
//   20040908.KAV  #0 旅行       今天去了全文搜索的地方，{\b 晴}窗 (split by formatting)
//                 #1 第二篇     (same key as #0) ＡＢＣ１２３ written full width
//                 #2 秘密日记   locked by a legacy password code; body 机密内容
//                 #3 加密的     locked by an enciphered record; body 机密内容
//                 #4 混合       \u26228? beside \'b4\'b0 (晴窗)
//   20030908.KAV  #0 那年       Hello World, one character 字
//   20050101.kav  #0 new year   Case MiXeD
//   20040910.KAV  no entries
//   DB/temp.tmp, DB/notes.KAV: no date files
//   Love/珍藏一   收藏的全文
inline void write(const QString &dir) {
    QByteArray sep;
    testsupport::writeFile(dir + u"/DB/20040908.KAV"_qs,
                           entry(11, u"旅行"_qs, "", rtfOf(rtf::escapeText(u"今天去了全文搜索的地方，"_qs).toLatin1() +
                                                             "{\\b " + rtf::escapeText(u"晴"_qs).toLatin1() + "}" +
                                                             rtf::escapeText(u"窗明几净"_qs).toLatin1())) +
                               entry(11, u"第二篇"_qs, "", rtfText(u"今天写了ＡＢＣ１２３"_qs)) +
                               entry(22, u"秘密日记"_qs, "979899", rtfText(u"机密内容"_qs)) +
                               entry(33, u"加密的"_qs, "$q1$AAAA", rtfText(u"机密内容"_qs)) +
                               entry(44, u"混合"_qs, "", rtfOf("\\u26228?\\'b4\\'b0")));
    testsupport::writeFile(dir + u"/DB/20030908.KAV"_qs,
                           entry(5, u"那年"_qs, "", rtfText(u"Hello World, one character 字"_qs)));
    testsupport::writeFile(dir + u"/DB/20050101.kav"_qs, entry(7, u"new year"_qs, "", rtfText(u"Case MiXeD"_qs)));
    testsupport::writeFile(dir + u"/DB/20040910.KAV"_qs, QByteArray());
    testsupport::writeFile(dir + u"/DB/temp.tmp"_qs, entry(9, u"全文"_qs, "", rtfText(u"全文"_qs)));
    testsupport::writeFile(dir + u"/DB/notes.KAV"_qs, entry(9, u"全文"_qs, "", rtfText(u"全文"_qs)));
    testsupport::writeFile(dir + u"/Love/珍藏一"_qs, rtfText(u"收藏的全文"_qs) + "\r\n");
    QDir(dir + u"/Love"_qs).mkdir(u".saving"_qs);
}

} // namespace finddiary
