#include "store/engine/sqlitefile.h"

#include "store/engine/database.h"
#include "store/engine/dialect.h"
#include "store/engine/sqlitehandle.h"
#include "store/engine/sqlitesql.h"
#include "store/engine/storeerror.h"

#include <QSqlQuery>

#include <memory>

namespace SqliteFile {

namespace {

// The engine's result code for a damaged file or index.
constexpr int SqliteCorrupt = 11;
constexpr int SqliteFull = 13;

// A step of the copy that finds a store locked waits 50 ms and tries again,
// 200 times: ten seconds in all, five times the wait a desk itself allows
// for a lock (SqliteSql::BusyTimeoutMs), so the copy outlasts any ordinary
// save or checkpoint, while a store held by a program that is stuck fails
// the copy with a message instead of a backup that never ends. 50 ms is
// short beside a save, so the copy goes on soon after the lock is let go.
constexpr int BusyRetries = 200;
constexpr int BusyWaitMs = 50;

using Paths::native;

// Why a copy into `target` failed, naming the file the fault is in.
StoreError copyFailure(const QString &source, const QString &target, int rc)
{
    const QString engine = QString::fromUtf8(sqlite3_errstr(rc));
    if ((rc & 0xff) == SqliteFull)
        return StoreError::failure(QStringLiteral("The disk holding %1 is full, so the copy could not be written.")
                           .arg(native(target)),
                       engine);
    return Database::explain(source, QSqlError(QStringLiteral("Cannot copy %1.").arg(native(source)), engine,
                                               QSqlError::StatementError, QString::number(rc)));
}

// Runs the engine's online copy from `src` into `dst` to its end.
int runCopy(sqlite3 *src, sqlite3 *dst, const PageProgress &progress, int pagesPerStep)
{
    sqlite3_backup *copy = sqlite3_backup_init(dst, "main", src, "main");
    if (!copy)
        return sqlite3_errcode(dst);
    int rc = SQLITE_OK;
    int retries = 0;
    for (;;) {
        rc = sqlite3_backup_step(copy, pagesPerStep);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (++retries > BusyRetries)
                break;
            sqlite3_sleep(BusyWaitMs);
            continue;
        }
        if (rc != SQLITE_OK && rc != SQLITE_DONE)
            break;
        if (progress) {
            const int total = sqlite3_backup_pagecount(copy);
            progress(total - sqlite3_backup_remaining(copy), total);
        }
        if (rc == SQLITE_DONE)
            break;
    }
    sqlite3_backup_finish(copy);
    return rc;
}

} // namespace

StoreError emptyLog(const QString &path)
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
        return {(Database::explain(path, q.lastError())).text()};
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

StoreError beginSnapshot(QSqlDatabase &db)
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

StoreError copyPages(const QSqlDatabase &from, const QSqlDatabase &to, const QString &source, const QString &target,
                    const PageProgress &progress, int pagesPerStep)
{
    sqlite3 *src = sqliteHandle(from);
    sqlite3 *dst = sqliteHandle(to);
    if (!src || !dst)
        return StoreError::failure(QStringLiteral("The database engine is not SQLite."));
    if (const int rc = runCopy(src, dst, progress, pagesPerStep); rc != SQLITE_DONE)
        return copyFailure(source, target, rc);
    return {};
}

bool isFile(const QSqlDatabase &db)
{
    return sqliteHandle(db) != nullptr;
}

bool RawRow::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

QByteArrayView RawRow::text(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return text ? QByteArrayView(text, sqlite3_column_bytes(m_statement, column)) : QByteArrayView();
}

bool eachRow(const QSqlDatabase &db, const QString &sql, const QVariantList &params,
             const std::function<bool(const RawRow &)> &row, StoreError *error)
{
    sqlite3 *handle = sqliteHandle(db);
    if (!handle) {
        *error = StoreError::failure(QStringLiteral("The database engine is not SQLite."));
        return false;
    }
    sqlite3_stmt *raw = nullptr;
    const QByteArray statementText = sql.toUtf8();
    int rc = sqlite3_prepare_v2(handle, statementText.constData(), int(statementText.size()), &raw, nullptr);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(raw, sqlite3_finalize);
    for (int i = 0; rc == SQLITE_OK && i < params.size(); ++i) {
        const QByteArray param = params.at(i).toString().toUtf8();
        rc = sqlite3_bind_text(raw, i + 1, param.constData(), int(param.size()), SQLITE_TRANSIENT);
    }
    while (rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW) {
        if (!row(RawRow(raw)))
            return false;
        rc = SQLITE_OK;
    }
    if (rc == SQLITE_DONE)
        return true;
    *error = QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(handle)), QSqlError::StatementError,
                       QString::number(sqlite3_errcode(handle)));
    return false;
}

} // namespace SqliteFile
