#include "store/formats.h"

#include <QLocale>

namespace Formats {

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

QString shortDateFormat()
{
    const QString sep = dateSeparator();
    return QStringLiteral("M") + sep + QStringLiteral("d") + sep + QStringLiteral("yyyy");
}

QString shortDate(const QDate &date)
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

QString isoDate(const QDate &date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

QDate fromIso(const QVariant &stored)
{
    if (stored.isNull())
        return {};
    if (stored.typeId() == QMetaType::QDate)
        return stored.toDate();
    return QDate::fromString(stored.toString().left(10), Qt::ISODate);
}

} // namespace Formats
