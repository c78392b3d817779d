#include "ui/displayformats.h"

#include <QLocale>

namespace Shown {

QString dateSeparator()
{
    // A locale whose short date spells the month (the C locale's "d MMM
    // yyyy") has no real separator; numbers alone need one, so use "/".
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    for (const QChar c : format) {
        if (!c.isLetter() && c != QLatin1Char('\''))
            return c.isSpace() ? QStringLiteral("/") : QString(c);
    }
    return QStringLiteral("/");
}

QString dateFormat()
{
    // Qt's short formats shorten the year to two digits in some locales
    // (dd.MM.yy, M/d/yy) and pad day and month there to a fixed width; the
    // locales' own numeric dates with the full year (CLDR's year-month-day
    // pattern: d.M.y, M/d/y, dd/MM/y) drop that padding with the short year.
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    const bool shortYear = !format.contains(QLatin1String("yyyy"));
    QString out;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) { // quoted text stays as it is
            const qsizetype close = format.indexOf(c, i + 1);
            const qsizetype end = close < 0 ? format.size() : close + 1;
            out += format.mid(i, end - i);
            i = end;
            continue;
        }
        qsizetype run = 1;
        while (i + run < format.size() && format.at(i + run) == c)
            ++run;
        if (c == QLatin1Char('y'))
            out += QStringLiteral("yyyy");
        else if ((c == QLatin1Char('d') || c == QLatin1Char('M')) && run == 2 && shortYear)
            out += c;
        else
            out += QString(run, c);
        i += run;
    }
    return out;
}

QString date(const QDate &date)
{
    return date.isValid() ? QLocale().toString(date, dateFormat()) : QString();
}

QString monthFirstDate(const QDate &date)
{
    if (!date.isValid())
        return {};
    const QString sep = dateSeparator();
    return QString::number(date.month()) + sep + QString::number(date.day()) + sep
           + QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString clockTime(const QTime &time)
{
    const QLocale locale;
    // Drop the time-zone tokens (t, tt, ttt, tttt) outside quoted text.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString stripped;
    bool inQuote = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            inQuote = !inQuote;
        if (!inQuote && c == QLatin1Char('t'))
            continue;
        stripped += c;
    }
    return locale.toString(time, stripped.simplified());
}

QVariant LocalDates::data(const QModelIndex &index, int role) const
{
    const QVariant value = QIdentityProxyModel::data(index, role);
    if (role == Qt::DisplayRole && value.typeId() == QMetaType::QDate)
        return date(value.toDate());
    return value;
}

} // namespace Shown
