#include "store/diary/weekday.h"

namespace diary {

QString WeekdayText(const QDate &date) {
    static const char16_t *const names[] = {u"星期日", u"星期一", u"星期二", u"星期三",
                                            u"星期四", u"星期五", u"星期六"};
    return QString::fromUtf16(names[date.dayOfWeek() % 7]);
}

} // namespace diary
