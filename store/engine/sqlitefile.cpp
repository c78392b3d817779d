#include "store/engine/sqlitefile.h"

#include "store/engine/database.h"
#include "store/engine/dialect.h"
#include "store/engine/sqlitesql.h"

#include <QSqlQuery>

namespace SqliteFile {

namespace {

// The engine's result code for a damaged file or index.
constexpr int SqliteCorrupt = 11;

} // namespace

QSqlError emptyLog(const QString &path)
{
    Database::Connection connection(path);
    if (!connection.open())
        return connection.lastError();
    QSqlQuery q(connection.database());
    if (!q.exec(SqliteSql::checkpoint()))
        return Database::explain(path, q.lastError());
    return {};
}

QStringList integrityFaults(const QString &path, const QSqlDatabase &db, bool thorough, int shown)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(thorough ? SqliteSql::integrityCheck() : SqliteSql::quickCheck()))
        return {Database::sentence(Database::explain(path, q.lastError()))};
    QStringList faults;
    int seen = 0;
    while (q.next()) {
        QString line = q.value(0).toString();
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (line == QLatin1String("ok"))
            continue;
        if (++seen <= shown)
            faults << line;
    }
    if (seen > shown)
        faults << QStringLiteral("and %1 more faults").arg(seen - shown);
    return faults;
}

QStringList searchFaults(const QSqlDatabase &db)
{
    if (!Dialect::sqlite().hasTable(db, QStringLiteral("books_search")))
        return {};
    QSqlQuery q(db);
    if (q.exec(SqliteSql::searchIndexCheck()))
        return {};
    // The engine calls an index out of step with its rows "malformed"; the
    // file itself passed its own check above.
    if ((q.lastError().nativeErrorCode().toInt() & 0xff) == SqliteCorrupt)
        return {QStringLiteral("the search index is out of step with the books")};
    return {QStringLiteral("the search index cannot be checked (%1)").arg(q.lastError().databaseText())};
}

QSqlError beginSnapshot(QSqlDatabase &db)
{
    // A read transaction takes its moment at its first read.
    QSqlQuery snapshot(db);
    if (!db.transaction())
        return db.lastError();
    if (!snapshot.exec(SqliteSql::countTables()) || !snapshot.next())
        return snapshot.lastError();
    snapshot.finish();
    return {};
}

} // namespace SqliteFile
