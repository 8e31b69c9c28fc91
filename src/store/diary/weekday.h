#pragma once

#include <QDate>
#include <QString>

namespace diary {

// 星期日 … 星期六, as the entries and the export name a day.
QString WeekdayText(const QDate &date);

} // namespace diary
