#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QVariant>

// How dates and times are shown (the default QLocale) and stored (ISO text).
namespace Formats {

// The locale's date separator, e.g. "/" in the United States.
QString dateSeparator();
// "M/d/yyyy" with the locale's separator: month and day without leading
// zeros, four-digit year.
QString shortDateFormat();
QString shortDate(const QDate &date);
// The locale's long time format without its time-zone part (3:45:12 PM).
QString clockTime(const QTime &time);

QString isoDate(const QDate &date);
QDate fromIso(const QVariant &stored);

} // namespace Formats
