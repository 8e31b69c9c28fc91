#include "ui/diary/diarytext.h"

#include "store/diary/weekday.h"
#include "store/rtf/rtf.h"

#include <optional>

namespace diary {

namespace {

const QDate kFirstDate(100, 1, 1);
const QDate kLastDate(9999, 12, 31);

std::optional<int> readPart(const QString &text, int maxDigits) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > maxDigits) return std::nullopt;
    for (QChar c : t)
        if (c < u'0' || c > u'9') return std::nullopt;
    return t.toInt();
}

} // namespace

QString dateStatusText(const QDate &date) {
    return u" 当前记录："_qs + QString::number(date.year()) + u"年"_qs + QString::number(date.month()) +
           u"月"_qs + QString::number(date.day()) + u"日 ("_qs + WeekdayText(date) + u")"_qs;
}

QString noRecordText(const QDate &date) {
    return u"\r\n  没有 "_qs + QString::number(date.year()) + u"年"_qs + QString::number(date.month()) +
           u"月"_qs + QString::number(date.day()) + u"日 的记录。"_qs;
}

QString entryTemplate(const QDate &date) {
    return u"\r\n    "_qs + QString::number(date.year()) + u"年"_qs + QString::number(date.month()) +
           u"月"_qs + QString::number(date.day()) + u"日   "_qs + WeekdayText(date) + u"   天气：\r\n"_qs +
           u"^~"_qs.repeated(26) + u"^\r\n    "_qs;
}

QString shortDate(const QDate &date) {
    return QString::number(date.year()) + u'-' + QString::number(date.month()) + u'-' +
           QString::number(date.day());
}

QString elapsedText(qint64 seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::optional<QDate> parseTypedDate(const QString &year, const QString &month, const QString &day) {
    const std::optional<int> y = readPart(year, 4), m = readPart(month, 2), d = readPart(day, 2);
    if (!y || !m || !d) return std::nullopt;
    int fullYear = *y;
    if (year.trimmed().size() <= 2) fullYear = fullYear < 30 ? 2000 + fullYear : 1900 + fullYear;
    const QDate date(fullYear, *m, *d);
    if (!date.isValid() || date < kFirstDate || date > kLastDate) return std::nullopt;
    return date;
}

QString AboutHeader() {
    return u"\r\n"
           u"  程序编写：林晓舟  （晴窗）\r\n"
           u"  个人主页：晴窗小筑   http://www.qingchuang.example/\r\n"
           u"  电子邮箱：xiaozhou@qingchuang.example\r\n"
           u"  通信地址：浙江省杭州市西湖区文三路100号\r\n"
           u"  邮政编码：310013         电话：0571-88886666\r\n"
           u"  \r\n"
           u"  欢迎您提出宝贵意见，也渴望志同道合的朋友来和我交流。\r\n\r\n"_qs;
}

QString configErrorText() {
    return u"  配置文件出错，请将安装目录下的 Config.ini 删除，系统将重建配置文件。"_qs;
}

QString aboutTitleRtf() {
    return u"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"
           u"\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18"_qs +
           rtf::escapeText(u"关于晴窗"_qs) + u"\\par }"_qs;
}

} // namespace diary
