#include "store/engine/sql.h"

#include "store/engine/schema.h"

namespace Sql {

using Schema::quoted;

namespace {
const QString Id = quoted(Schema::IdColumn);
const QString Version = quoted(Schema::VersionColumn);
} // namespace

QString insert(const QString &table, const QStringList &columns)
{
    if (columns.isEmpty())
        return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(table));
    QStringList names, marks;
    for (const QString &c : columns) {
        names << quoted(c);
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(quoted(table), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
}

QString updateRow(const QString &table, const QStringList &columns)
{
    QStringList sets;
    for (const QString &c : columns)
        sets << quoted(c) + QStringLiteral(" = ?");
    sets << QStringLiteral("%1 = %1 + 1").arg(Version);
    return QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ? AND %4 = ?")
        .arg(quoted(table), sets.join(QStringLiteral(", ")), Id, Version);
}

QString deleteRow(const QString &table)
{
    return QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(quoted(table), Id);
}

QString selectRow(const QString &table)
{
    return QStringLiteral("SELECT * FROM %1 WHERE %2 = ?").arg(quoted(table), Id);
}

QString firstRow(const QString &table)
{
    return QStringLiteral("SELECT %2 FROM %1 ORDER BY %2 LIMIT 1").arg(quoted(table), Id);
}

QString lastRow(const QString &table)
{
    return QStringLiteral("SELECT %2 FROM %1 ORDER BY %2 DESC LIMIT 1").arg(quoted(table), Id);
}

QString nextRow(const QString &table)
{
    return QStringLiteral("SELECT %2 FROM %1 WHERE %2 > ? ORDER BY %2 LIMIT 1").arg(quoted(table), Id);
}

QString previousRow(const QString &table)
{
    return QStringLiteral("SELECT %2 FROM %1 WHERE %2 < ? ORDER BY %2 DESC LIMIT 1").arg(quoted(table), Id);
}

QString findRow(const QString &table, const QString &condition)
{
    return QStringLiteral("SELECT %2 FROM %1 WHERE %3 ORDER BY %2 LIMIT 1").arg(quoted(table), Id, condition);
}

QString count(const QString &table, const QString &where)
{
    return countFrom(quoted(table), where);
}

QString countFrom(const QString &from, const QString &where)
{
    QString sql = QStringLiteral("SELECT count(*) FROM %1").arg(from);
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return sql;
}

QString selectAll(const QString &table, const QStringList &columns)
{
    QStringList names;
    for (const QString &c : columns)
        names << quoted(c);
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(names.join(QLatin1Char(',')), quoted(table), Id);
}

QString deleteAll(const QString &table)
{
    return QStringLiteral("DELETE FROM %1").arg(quoted(table));
}

QString loansOut(const QStringList &columns, bool anyDate)
{
    const QString borrowed = quoted(QStringLiteral("DateBorrowed"));
    QString where = QStringLiteral("(%1 IS NULL OR %1 <> ?) AND %2 IS NULL")
                        .arg(quoted(QStringLiteral("Remarks")), quoted(QStringLiteral("DateReturned")));
    if (!anyDate)
        where += QStringLiteral(" AND %1 <= ?").arg(borrowed);
    const QString table = quoted(QStringLiteral("tblBorrower"));
    if (columns.isEmpty())
        return countFrom(table, where);
    QStringList names;
    for (const QString &c : columns)
        names << quoted(c);
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %4 IS NULL, %4, %5")
        .arg(names.join(QLatin1Char(',')), table, where, borrowed, Id);
}

QString savepoint(const QString &name)
{
    return QStringLiteral("SAVEPOINT %1").arg(quoted(name));
}

QString rollbackTo(const QString &name)
{
    return QStringLiteral("ROLLBACK TO %1").arg(quoted(name));
}

QString release(const QString &name)
{
    return QStringLiteral("RELEASE %1").arg(quoted(name));
}

} // namespace Sql
