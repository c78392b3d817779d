// The PostgreSQL side of the store: its dialect (its statements are in serversql.cpp).
#include "store/engine/dialect.h"
#include "store/engine/serversql.h"
#include "store/engine/serverstore.h"
#include "store/engine/sql.h"
#include "store/engine/storeerror.h"
#include "store/search/criterion.h"

#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

using Schema::quoted;

namespace {

const QString Id = quoted(Schema::IdColumn);

// "Tallymere@host", within the server's limit for a program's name.
QString deskName()
{
    return (QStringLiteral("Tallymere@") + QSysInfo::machineHostName()).left(63);
}

class ServerDialect final : public Dialect
{
public:
    StoreError::Engine engine() const override { return StoreError::Engine::Server; }
    QString driver() const override { return QStringLiteral("QPSQL"); }

    StoreError configure(QSqlDatabase &db, const StoreLocation &location, const QString &) const override
    {
        const ServerOptions o = parseServerOptions(location.connection());
        if (!o.ok())
            return StoreError::make(StoreError::Kind::CannotOpen, o.error);
        if (!o.host.isEmpty())
            db.setHostName(o.host);
        if (o.port > 0)
            db.setPort(o.port);
        if (!o.user.isEmpty())
            db.setUserName(o.user);
        if (!o.password.isEmpty())
            db.setPassword(o.password);
        if (!o.database.isEmpty())
            db.setDatabaseName(o.database);
        // A server that does not answer is given up after a few seconds,
        // while connecting and on a connection cut mid-way alike.
        QStringList options{QStringLiteral("connect_timeout=%1").arg(ServerSql::ConnectTimeoutSeconds),
                            QStringLiteral("tcp_user_timeout=%1").arg(ServerSql::ConnectTimeoutSeconds * 1000),
                            QStringLiteral("keepalives=1"), QStringLiteral("keepalives_idle=5"),
                            QStringLiteral("keepalives_interval=2"), QStringLiteral("keepalives_count=2"),
                            // Names this desk in the loan history.
                            QStringLiteral("application_name=") + connectOptionValue(deskName())};
        db.setConnectOptions((options + o.extraOptions()).join(QLatin1Char(';')));
        return {};
    }

    StoreError prepare(QSqlDatabase &db) const override
    {
        // A desk waits for another desk's lock as briefly as on the files,
        // then says the store is busy, rather than hanging.
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SET lock_timeout = %1").arg(ServerSql::LockTimeoutMs)))
            return q.lastError();
        // The server's notices (a trigger or index not there to drop) are
        // for its own log, not for the desk's or the admin tool's output.
        if (!q.exec(QStringLiteral("SET client_min_messages = warning")))
            return q.lastError();
        return {};
    }

    QStringList columns(const QSqlDatabase &db, const QString &table) const override
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT column_name FROM information_schema.columns"
                                 " WHERE table_schema = current_schema() AND table_name = ? ORDER BY ordinal_position"));
        q.addBindValue(table);
        QStringList names;
        if (q.exec())
            while (q.next())
                names << q.value(0).toString();
        return names;
    }

    bool hasTable(const QSqlDatabase &db, const QString &table) const override
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT count(*) FROM information_schema.tables"
                                 " WHERE table_schema = current_schema() AND table_name = ?"));
        q.addBindValue(table);
        return q.exec() && q.next() && q.value(0).toInt() > 0;
    }

    QString likeIgnoringCase(const QString &column) const override
    {
        return QStringLiteral("%1 ILIKE ? ESCAPE '\\'").arg(column);
    }

    QString insert(const QString &table, const QStringList &columns) const override
    {
        return Sql::insert(table, columns) + QStringLiteral(" RETURNING ") + Id;
    }

    qint64 insertedId(QSqlQuery &query) const override
    {
        return query.next() ? query.value(0).toLongLong() : -1;
    }

    qint64 reserveId(const QSqlDatabase &db, const QString &table, StoreError *error) const override
    {
        QSqlQuery q(db);
        if (!q.prepare(QStringLiteral("SELECT nextval(pg_get_serial_sequence(?, ?))")))
            return *error = q.lastError(), -1;
        q.addBindValue(quoted(table));
        q.addBindValue(Schema::IdColumn);
        if (!q.exec() || !q.next())
            return *error = q.lastError(), -1;
        return q.value(0).toLongLong();
    }

    QString from(const QString &table, const QString &) const override { return quoted(table); }

    QString key(const QString &table, const QString &) const override
    {
        return quoted(table) + QLatin1Char('.') + Id;
    }

    Contains contains(const QString &field, const QString &text, Path path) const override
    {
        const QString column = quoted(field);
        if (text.isEmpty())
            return {QStringLiteral("%1 IS NOT NULL").arg(column), {}, QString(), {}};
        // The trigram indexes serve ILIKE; the server folds letter case for
        // every script its locale knows. A text too short for a trigram is
        // narrowed by the short-text index instead.
        GramIndex::Narrowing narrowing;
        if (path != Path::Scan && GramIndex::characters(text) <= GramIndex::Length)
            narrowing = GramIndex::narrowing(field, text);
        return {likeIgnoringCase(column),
                {QStringLiteral("%") + Criterion::toLike(Criterion::literal(text)) + QStringLiteral("%")}, QString(),
                narrowing};
    }

    QStringList gramTriggers() const override { return ServerSql::gramTriggers(); }
    QStringList dropGramTriggers() const override
    {
        return {QStringLiteral("DROP TRIGGER IF EXISTS \"books_grams_insert\" ON \"books\"")};
    }

    int version(const QSqlDatabase &db, Schema::File file, StoreError *error) const override
    {
        QSqlQuery q(db);
        if (!q.prepare(ServerSql::readVersion()) || (q.addBindValue(Schema::fileName(file)), !q.exec())) {
            if (error)
                *error = q.lastError();
            return -1;
        }
        return q.next() ? q.value(0).toInt() : 0;
    }

    StoreError setVersion(QSqlDatabase &db, Schema::File file, int version) const override
    {
        QSqlQuery q(db);
        if (!q.prepare(ServerSql::writeVersion()))
            return q.lastError();
        q.addBindValue(Schema::fileName(file));
        q.addBindValue(version);
        if (!q.exec())
            return q.lastError();
        return {};
    }

    // Installing and repairing
    StoreError install(const StoreLocation &location, const std::function<void()> &) const override
    {
        return ServerStore::install(location);
    }
    StoreError driverMissing() const override { return ServerStore::driverMissing(driver()); }
    StoreError refusal(const StoreLocation &location, const QSqlError &driverError, qint64 waitedMs) const override
    {
        return ServerStore::refusal(location, driverError, waitedMs);
    }
    QStringList rebuildSearch() const override { return ServerSql::rebuildSearch(); }
    QString searchRebuilt() const override
    {
        return QStringLiteral("the search indexes on Title and Author were built anew");
    }
    QString countSearchObjects() const override { return ServerSql::countSearchIndexes(); }
    int searchObjectCount() const override { return ServerSql::searchIndexes(); }
    QStringList rebuildHistory() const override { return ServerSql::rebuildHistory(); }
    QString countHistoryObjects() const override { return ServerSql::countHistoryObjects(); }
    int historyObjectCount() const override { return ServerSql::historyObjectCount(); }

    // Moves and backups. The desk is named where a loan's change is
    // written, so a history row copied in keeps its own.
    bool holdsEveryTable() const override { return true; }
    QStringList takeAlone() const override { return {ServerSql::lockForInstall(), ServerSql::lockTables()}; }
    QStringList readSnapshot() const override { return {ServerSql::readSnapshot()}; }
    QStringList keepHistoryDesks() const override { return {}; }
    QStringList followIdentities() const override { return ServerSql::followIdentities(); }
};

} // namespace

const Dialect &Dialect::server()
{
    static const ServerDialect d;
    return d;
}
