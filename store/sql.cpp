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
    return countFrom(quoted(table), where);
}

QString countFrom(const QString &from, const QString &where)
{
    QString sql = QStringLiteral("SELECT count(*) FROM %1").arg(from);
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return sql;
}

QString joinOnRowid(const QString &index, const QString &table)
{
    return QStringLiteral("%1 JOIN %2 ON %2.rowid = %1.rowid").arg(quoted(index), quoted(table));
}

QString selectAll(const QString &table, const QStringList &columns)
{
    QStringList names;
    for (const QString &c : columns)
        names << quoted(c);
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(names.join(QLatin1Char(',')), quoted(table));
}

QString deleteAll(const QString &table)
{
    return QStringLiteral("DELETE FROM %1").arg(quoted(table));
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

QString quickCheck()
{
    return QStringLiteral("PRAGMA quick_check");
}

QString searchIndexCheck()
{
    // rank = 1 also compares the index with the rows of books.
    return QStringLiteral("INSERT INTO \"books_search\" (\"books_search\", rank) VALUES ('integrity-check', 1)");
}

QString hasTable()
{
    return QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
}

QString checkpoint()
{
    return QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)");
}

QString savepoint(const QString &name)
{
    return QStringLiteral("SAVEPOINT %1").arg(Schema::quoted(name));
}

QString rollbackTo(const QString &name)
{
    return QStringLiteral("ROLLBACK TO %1").arg(Schema::quoted(name));
}

QString release(const QString &name)
{
    return QStringLiteral("RELEASE %1").arg(Schema::quoted(name));
}

} // namespace Sql
