// The PostgreSQL side of the store: its dialect and its own statements.
#include "store/criterion.h"
#include "store/dialect.h"
#include "store/serversql.h"
#include "store/sql.h"

#include <QSqlQuery>
#include <QVariant>

using Schema::quoted;

namespace {

const QString Id = quoted(Schema::IdColumn);
const QString Version = quoted(Schema::VersionColumn);

QString searchIndex(const QString &field)
{
    return QStringLiteral("CREATE INDEX %1 ON \"books\" USING gin (%2 gin_trgm_ops)")
        .arg(quoted(QStringLiteral("books_%1_search").arg(field.toLower())), quoted(field));
}

QString gramTrigger()
{
    return QStringLiteral("CREATE TRIGGER \"books_grams_insert\" AFTER INSERT OR UPDATE OF \"Title\", \"Author\""
                          " ON \"books\" FOR EACH ROW EXECUTE FUNCTION \"books_grams_add\"()");
}

// The short-text index as on the files (see GramIndex): one trigger
// function adds the pieces of a new or changed book.
QStringList gramObjects()
{
    return {QStringLiteral("CREATE TABLE %1 (\"field\" text NOT NULL, \"gram\" text NOT NULL, \"block\" bigint NOT NULL,"
                           " PRIMARY KEY (\"field\", \"gram\", \"block\"))")
                .arg(quoted(GramIndex::Table)),
            QStringLiteral("CREATE FUNCTION \"books_grams_add\"() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
                           " INSERT INTO %1 (\"field\", \"gram\", \"block\")"
                           " SELECT f.name, lower(substr(f.v, n, w.l)), NEW.%2 >> %3"
                           " FROM (VALUES ('Title', NEW.\"Title\"), ('Author', NEW.\"Author\")) AS f(name, v),"
                           " (VALUES (1), (2)) AS w(l), generate_series(1, coalesce(length(f.v), 0)) AS n"
                           " WHERE n + w.l - 1 <= length(f.v) ON CONFLICT DO NOTHING; RETURN NULL; END $$")
                .arg(quoted(GramIndex::Table), Id)
                .arg(GramIndex::BlockBits),
            gramTrigger()};
}

class ServerDialect final : public Dialect
{
public:
    StoreError::Engine engine() const override { return StoreError::Engine::Server; }
    QString driver() const override { return QStringLiteral("QPSQL"); }

    QSqlError configure(QSqlDatabase &db, const StoreLocation &location, const QString &) const override
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
                            QStringLiteral("application_name=Tallymere")};
        db.setConnectOptions((options + o.extraOptions()).join(QLatin1Char(';')));
        return {};
    }

    QSqlError prepare(QSqlDatabase &db) const override
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

    qint64 reserveId(const QSqlDatabase &db, const QString &table, QSqlError *error) const override
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

    QStringList gramTriggers() const override { return {gramTrigger()}; }
    QStringList dropGramTriggers() const override
    {
        return {QStringLiteral("DROP TRIGGER IF EXISTS \"books_grams_insert\" ON \"books\"")};
    }

    int version(const QSqlDatabase &db, Schema::File file, QSqlError *error) const override
    {
        QSqlQuery q(db);
        if (!q.prepare(ServerSql::readVersion()) || (q.addBindValue(Schema::fileName(file)), !q.exec())) {
            if (error)
                *error = q.lastError();
            return -1;
        }
        return q.next() ? q.value(0).toInt() : 0;
    }

    QSqlError setVersion(QSqlDatabase &db, Schema::File file, int version) const override
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
};

} // namespace

const Dialect &Dialect::server()
{
    static const ServerDialect d;
    return d;
}

namespace ServerSql {

QStringList createStore()
{
    QStringList statements{QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"), versionTable()};
    const QString date = QStringLiteral("%1 ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$'");
    for (const Schema::Table *t : {&Schema::books(), &Schema::borrower(), &Schema::user()})
        statements << QStringLiteral("CREATE TABLE %1 (%2 bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
                                     " %3 integer NOT NULL DEFAULT 0, %4)")
                          .arg(quoted(t->name), Id, Version,
                               Schema::fieldDefinitions(*t, date).join(QStringLiteral(", ")));
    statements << searchIndex(QStringLiteral("Title")) << searchIndex(QStringLiteral("Author")) << gramObjects();
    return statements;
}

QStringList addGrams()
{
    return gramObjects();
}

QString lockForInstall()
{
    return QStringLiteral("SELECT pg_advisory_xact_lock(7461726)");
}

QString versionTable()
{
    return QStringLiteral("CREATE TABLE \"tallymere_version\" (\"store\" text PRIMARY KEY, \"version\" integer NOT NULL)");
}

QString readVersion()
{
    return QStringLiteral("SELECT \"version\" FROM \"tallymere_version\" WHERE \"store\" = ?");
}

QString writeVersion()
{
    return QStringLiteral("INSERT INTO \"tallymere_version\" (\"store\", \"version\") VALUES (?, ?)"
                          " ON CONFLICT (\"store\") DO UPDATE SET \"version\" = excluded.\"version\"");
}

QStringList rebuildSearch()
{
    return QStringList{QStringLiteral("DROP INDEX IF EXISTS \"books_title_search\""),
                       QStringLiteral("DROP INDEX IF EXISTS \"books_author_search\""),
                       QStringLiteral("DROP TRIGGER IF EXISTS \"books_grams_insert\" ON \"books\""),
                       QStringLiteral("DROP FUNCTION IF EXISTS \"books_grams_add\"()"),
                       QStringLiteral("DROP TABLE IF EXISTS %1").arg(quoted(GramIndex::Table)),
                       searchIndex(QStringLiteral("Title")), searchIndex(QStringLiteral("Author"))}
           + gramObjects();
}

QString countSearchIndexes()
{
    return QStringLiteral("SELECT (SELECT count(*) FROM pg_indexes WHERE schemaname = current_schema()"
                          " AND tablename = 'books' AND indexname IN ('books_title_search', 'books_author_search'))"
                          " + (SELECT count(*) FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid"
                          " WHERE c.relname = 'books' AND t.tgname = 'books_grams_insert' AND c.relnamespace ="
                          " current_schema()::regnamespace)");
}

int searchIndexes()
{
    return 3;
}

QStringList followIdentities()
{
    QStringList statements;
    for (const Schema::Table *t : {&Schema::books(), &Schema::borrower(), &Schema::user()})
        statements << QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'),"
                                     " coalesce((SELECT max(%3) FROM %1), 0) + 1, false)")
                          .arg(quoted(t->name), Schema::IdColumn, Id);
    return statements;
}

QString readSnapshot()
{
    return QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
}

QString lockTables()
{
    QStringList names;
    for (const Schema::Table *t : {&Schema::books(), &Schema::borrower(), &Schema::user()})
        names << quoted(t->name);
    return QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(names.join(QStringLiteral(", ")));
}

} // namespace ServerSql
