#include "store/sql.h"

#include "store/schema.h"

namespace Sql {

using Schema::quoted;

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
    return QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(quoted(table), sets.join(QStringLiteral(", ")));
}

QString deleteRow(const QString &table)
{
    return QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoted(table));
}

QString selectRow(const QString &table)
{
    return QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(quoted(table));
}

QString firstRow(const QString &table)
{
    return QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid LIMIT 1").arg(quoted(table));
}

QString lastRow(const QString &table)
{
    return QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid DESC LIMIT 1").arg(quoted(table));
}

QString nextRow(const QString &table)
{
    return QStringLiteral("SELECT rowid FROM %1 WHERE rowid > ? ORDER BY rowid LIMIT 1").arg(quoted(table));
}

QString previousRow(const QString &table)
{
    return QStringLiteral("SELECT rowid FROM %1 WHERE rowid < ? ORDER BY rowid DESC LIMIT 1").arg(quoted(table));
}

QString findRow(const QString &table, const QString &field)
{
    return QStringLiteral("SELECT rowid FROM %1 WHERE %2 LIKE ? ESCAPE '\\' ORDER BY rowid LIMIT 1")
        .arg(quoted(table), quoted(field));
}

QString count(const QString &table, const QString &where)
{
    QString sql = QStringLiteral("SELECT count(*) FROM %1").arg(quoted(table));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return sql;
}

QString readVersion()
{
    return QStringLiteral("PRAGMA user_version");
}

QString writeVersion(int version)
{
    return QStringLiteral("PRAGMA user_version = %1").arg(version);
}

QString countTables()
{
    return QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'");
}

QString walJournal()
{
    return QStringLiteral("PRAGMA journal_mode=WAL");
}

QString rollbackJournal()
{
    return QStringLiteral("PRAGMA journal_mode=DELETE");
}

QString journalMode()
{
    return QStringLiteral("PRAGMA journal_mode");
}

QString durableSaves()
{
    return QStringLiteral("PRAGMA synchronous=FULL");
}

QString exclusiveLocking()
{
    return QStringLiteral("PRAGMA locking_mode=EXCLUSIVE");
}

QString integrityCheck()
{
    return QStringLiteral("PRAGMA integrity_check");
}

} // namespace Sql
