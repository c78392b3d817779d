#pragma once

#include <QDate>
#include <QIdentityProxyModel>
#include <QString>
#include <QTime>

// How dates and times are shown, in the default locale. Every date the
// screens and reports show goes through Shown::date(); only the main
// menu's date label (and the calendar's date box) keeps its own m/d/yyyy
// shape.
namespace Shown {

// The locale's own numeric short date, in its order and with its
// separator, the year in four digits: 2.11.2026 in German, 02/11/2026 in
// French, 11/2/2026 in the United States. Empty for no date.
QString date(const QDate &date);
// The pattern date() writes, for the date pickers to show and read.
QString dateFormat();
// The locale's date separator, e.g. "/" in the United States.
QString dateSeparator();
// The date as "M/d/yyyy" with the locale's separator: month and day
// without leading zeros, four-digit year (10.20.2014 in German).
QString monthFirstDate(const QDate &date);
// The locale's long time format without its time-zone part (3:45:12 PM).
QString clockTime(const QTime &time);

// Shows the dates a table model hands out (QDate values) through date();
// every other value passes as it is.
class LocalDates : public QIdentityProxyModel
{
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};

} // namespace Shown
