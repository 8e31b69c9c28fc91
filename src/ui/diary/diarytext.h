#pragma once

#include <QDate>
#include <QString>

#include <optional>

// Texts the main window shows, built from dates and settings.
namespace diary {

// " 当前记录：2004年9月8日 (星期三)".
QString dateStatusText(const QDate &date);
// "\r\n  没有 2004年9月8日 的记录。"
QString noRecordText(const QDate &date);
// The editor's text when a new entry starts.
QString entryTemplate(const QDate &date);
// The short date: 2004-9-8.
QString shortDate(const QDate &date);
// "0:00:05" for five seconds.
QString elapsedText(qint64 seconds);

// A date typed into the three date boxes, "year-month-day"; a year of one or two digits is read
// in the window 1930-2029. Nothing when it is no date from 1 January 100 to 31 December 9999.
std::optional<QDate> parseTypedDate(const QString &year, const QString &month, const QString &day);

// The about view's header and title (RTF).
QString AboutHeader();
QString aboutTitleRtf();
// What the about view shows in place of the settings file's sections when that file cannot be read.
QString configErrorText();

} // namespace diary
