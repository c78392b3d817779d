#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QVariant>

// How dates and times are shown (the default QLocale) and stored (ISO text).
namespace Formats {

// The locale's date separator, e.g. "/" in the United States.
QString dateSeparator();
// The date as "M/d/yyyy" with the locale's separator: month and day
// without leading zeros, four-digit year (10.20.2014 in German).
QString shortDate(const QDate &date);
// The locale's own numeric short date, in its order and with its separator,
// the year in four digits: d.M.yyyy in German, dd/MM/yyyy in French,
// M/d/yyyy in the United States.
QString localShortDateFormat();
// The locale's long time format without its time-zone part (3:45:12 PM).
QString clockTime(const QTime &time);

QString isoDate(const QDate &date);
QDate fromIso(const QVariant &stored);

} // namespace Formats
