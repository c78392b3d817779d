#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Comma-separated values as RFC 4180 has them: quoted fields, doubled
// quotes inside them, commas and line breaks inside quotes, CRLF or LF.
namespace Csv {

// Splits `text` into rows of fields. A leading byte-order mark is skipped.
QList<QStringList> parse(const QString &text);

// One line of `fields`, quoted where needed, ended by CRLF.
QString line(const QStringList &fields);

} // namespace Csv
