#pragma once

#include <QString>
#include <QStringList>

// The statements both engines understand, built in one place. Rows are
// addressed by each table's hidden identity column and ordered by it; what
// an engine says its own way is in its dialect (see dialect.h).
namespace Sql {

// INSERT with one `?` per column; DEFAULT VALUES when there are none.
QString insert(const QString &table, const QStringList &columns);
// UPDATE of `columns` (one `?` each) of the row whose identity is the next
// `?` and whose version is the last `?`; the version moves on, so a second
// desk's update of the row as it stood changes nothing.
QString updateRow(const QString &table, const QStringList &columns);
QString deleteRow(const QString &table);
QString selectRow(const QString &table);

// Each selects one row identity: the first, the last, the one after or
// before `?`.
QString firstRow(const QString &table);
QString lastRow(const QString &table);
QString nextRow(const QString &table);
QString previousRow(const QString &table);
// The first row whose `condition` holds (one `?`).
QString findRow(const QString &table, const QString &condition);

QString count(const QString &table, const QString &where);
QString countFrom(const QString &from, const QString &where);
// Every row of `table`, only `columns`, in row order.
QString selectAll(const QString &table, const QStringList &columns);
QString deleteAll(const QString &table);
// The loans still out: Remarks not the first `?`, no DateReturned, and
// unless `anyDate`, DateBorrowed on or before the second `?`; oldest first,
// those with no DateBorrowed last. Only `columns`; without any, their count.
QString loansOut(const QStringList &columns, bool anyDate);

QString savepoint(const QString &name);
QString rollbackTo(const QString &name);
QString release(const QString &name);

} // namespace Sql
