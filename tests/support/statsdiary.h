#pragma once

// A small hand-made diary with figures worked out by hand, shared by the statistics tests.
#include "finddiary.h"

#include <QDate>
#include <QDir>

namespace statsdiary {

// The clock's day in the tests.
inline QDate today() {
    return QDate(2024, 3, 2);
}

// The diary (dir is the program folder); 字数 of each day worked out by hand:
//   20231230.KAV  年末                                   2
//   20231231.KAV  一年最后一天                           6   (two files of one date:
//   20231231.kav  再写                                   2    one day, 2 entries, 8)
//   20240101.KAV  新年#新年快乐                          6   #新年快乐
//   20240110.KAV  a folder, no file: cannot be read
//   20240115.KAV  empty: no entry, no written day
//   20240227.KAV  二月#旅行                              4   #旅行
//   20240228.KAV  Hello world 你好                       4
//   20240229.KAV  abc                                    1   (leap day)
//                 locked "#秘密 心事" (enciphered)       ?   #秘密 (title)
//   20240301.KAV  看https://example.com/a#b 链接 #旅行  10   #旅行 (#b is in the address)
//   20240302.KAV  今天                                   2
//   Love/笔记     #旅行 收藏的很多很多字                  no day: not counted
// Entries 10 (1 locked), written days 8, characters 37, average 37 / 8 = 5 (rounded); as of
// 2024-03-02: this year 27, this month 12, current streak 5 (02-27 to 03-02, over the month's end
// and the leap day), longest 5 (the other is 3: 12-30 to 01-01), first entry 2023-12-30.
inline void write(const QString &dir) {
    using finddiary::entry;
    using finddiary::rtfText;
    auto day = [&](const QString &name, const QByteArray &bytes) {
        testsupport::writeFile(dir + u"/DB/"_qs + name, bytes);
    };
    day(u"20231230.KAV"_qs, entry(1, u"一"_qs, "", rtfText(u"年末"_qs)));
    day(u"20231231.KAV"_qs, entry(2, u"二"_qs, "", rtfText(u"一年最后一天"_qs)));
    day(u"20231231.kav"_qs, entry(3, u"三"_qs, "", rtfText(u"再写"_qs)));
    day(u"20240101.KAV"_qs, entry(4, u"元旦"_qs, "", rtfText(u"新年#新年快乐"_qs)));
    QDir(dir + u"/DB"_qs).mkdir(u"20240110.KAV"_qs);
    day(u"20240115.KAV"_qs, QByteArray());
    day(u"20240227.KAV"_qs, entry(5, u"五"_qs, "", rtfText(u"二月#旅行"_qs)));
    day(u"20240228.KAV"_qs, entry(6, u"六"_qs, "", rtfText(u"Hello world 你好"_qs)));
    day(u"20240229.KAV"_qs,
        entry(7, u"七"_qs, "", rtfText(u"abc"_qs)) +
            entry(8, u"#秘密 心事"_qs, "$q1$AAAA", rtfText(u"机密内容很多很多字"_qs)));
    day(u"20240301.KAV"_qs,
        entry(9, u"九"_qs, "", rtfText(u"看https://example.com/a#b 链接 #旅行"_qs)));
    day(u"20240302.KAV"_qs, entry(10, u"十"_qs, "", rtfText(u"今天"_qs)));
    testsupport::writeFile(dir + u"/Love/笔记"_qs, rtfText(u"#旅行 收藏的很多很多字"_qs) + "\r\n");
}

} // namespace statsdiary
