#include "store/engine/serverstore.h"

#include "store/engine/database.h"
#include "store/engine/dialect.h"
#include "store/engine/execute.h"
#include "store/engine/gramtable.h"
#include "store/engine/installsteps.h"
#include "store/engine/serverlink.h"
#include "store/engine/serversql.h"
#include "store/engine/storeerror.h"

#include <QSqlDatabase>

namespace ServerStore {

namespace {

using Sql::exec;
using InstallSteps::seed;

// Brings a store older than this program up to its version, one file's
// tables at a time; refuses a newer one.
StoreError upgradeStore(QSqlDatabase &db, const QString &name)
{
    const Dialect &dialect = Dialect::server();
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        StoreError error;
        const int stored = dialect.version(db, file, &error);
        if (stored < 0)
            return error;
        if (stored > Schema::currentVersion(file))
            return StoreError::make(StoreError::Kind::Newer,
                                    Database::newerStore(QStringLiteral("%1 (%2)").arg(name, Schema::fileName(file)), stored,
                                               Schema::currentVersion(file)));
        // A loan store of version 1 gains the loan history.
        if (file == Schema::File::Tallymere && stored == 1) {
            StoreError e = Sql::execAll(db, ServerSql::addHistory());
            if (!e.isValid())
                e = dialect.setVersion(db, file, 2);
            if (e.isValid())
                return e;
        }
        // A catalogue of version 2 gains the short-text index.
        if (file == Schema::File::Transactions && stored == 2) {
            if (const StoreError e = Sql::execAll(db, ServerSql::addGrams()); e.isValid())
                return e;
            if (const StoreError e = GramTable::rebuild(db); e.isValid())
                return e;
            if (const StoreError e = dialect.setVersion(db, file, 3); e.isValid())
                return e;
        }
    }
    return {};
}

// Makes the tables of a database that has none of this program's, with
// their first rows; refuses one holding a table of the same name.
StoreError createTables(QSqlDatabase &db, const QString &name)
{
    const Dialect &dialect = Dialect::server();
    for (const Schema::Table *t : {&Schema::books(), &Schema::borrower(), &Schema::user()})
        if (dialect.hasTable(db, t->name))
            return StoreError::make(StoreError::Kind::Failed,
                                    QStringLiteral("The server %1 holds a table %2 that Tallymere did not make; "
                                                   "use another database.")
                                        .arg(name, t->name));
    if (const StoreError e = Sql::execAll(db, ServerSql::createStore()); e.isValid())
        return e;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        if (const StoreError e = seed(db, file); e.isValid())
            return e;
        if (const StoreError e = dialect.setVersion(db, file, Schema::currentVersion(file)); e.isValid())
            return e;
    }
    return Sql::execAll(db, ServerSql::addHistory());
}

// Sets up the tables of a server database that has none; checks the
// version of one that has them. Runs inside the caller's transaction.
StoreError installServer(QSqlDatabase &db, const QString &name)
{
    if (const StoreError e = exec(db, ServerSql::lockForInstall()); e.isValid())
        return e;
    if (Dialect::server().hasTable(db, QStringLiteral("tallymere_version")))
        return upgradeStore(db, name);
    return createTables(db, name);
}

} // namespace

StoreError install(const StoreLocation &location)
{
    Database::Connection connection(location, Schema::File::Tallymere);
    if (!connection.open())
        return connection.lastError();
    QSqlDatabase db = connection.database();
    if (!db.transaction())
        return connection.explain(db.lastError());
    const StoreError error = installServer(db, connection.name());
    if (error.isValid()) {
        db.rollback();
        return error.kind() == StoreError::Kind::Failed ? connection.explain(error) : error;
    }
    if (!db.commit())
        return connection.explain(db.lastError());
    return {};
}

StoreError driverMissing(const QString &driver)
{
    if (QSqlDatabase::isDriverAvailable(driver))
        return {};
    return StoreError::make(StoreError::Kind::CannotOpen,
                            QStringLiteral("Qt's PostgreSQL driver is not installed on this computer; install the "
                                           "package libqt6sql6-psql."),
                            QStringLiteral("QPSQL driver not loaded"));
}

// Qt's driver says only that the connection failed; the server's own code
// (asked for once more through libpq) names the cause.
StoreError refusal(const StoreLocation &location, const QSqlError &driverError, qint64 waitedMs)
{
    using Kind = StoreError::Kind;
    const ServerOptions options = parseServerOptions(location.connection());
    const ServerLink::Target target = ServerLink::resolve(options.conninfo());
    const QString host = target.host.isEmpty() ? QStringLiteral("on this computer") : target.host;
    const QString user = target.user, database = target.database;
    const QString detail = driverError.databaseText().trimmed();
    if (waitedMs >= ServerLink::ConnectTimeoutSeconds * 1000 - 250)
        return StoreError::make(Kind::Unreachable,
                                QStringLiteral("The server %1 did not answer within %2 seconds; try again when it is back.")
                                    .arg(location.name(Schema::File::Tallymere))
                                    .arg(ServerLink::ConnectTimeoutSeconds),
                                detail);
    const ServerLink::Refusal refusal = ServerLink::probe(options.conninfo());
    const QString why = refusal.message.isEmpty() ? detail : refusal.message;
    if (refusal.noPassword)
        return StoreError::make(Kind::CannotOpen,
                                QStringLiteral("The server %1 asks a password of the user %2 and none was found; put it "
                                               "in ~/.pgpass.").arg(host, user), why);
    if (refusal.state == QLatin1String("28P01"))
        return StoreError::make(Kind::CannotOpen,
                                QStringLiteral("The server %1 refused the password of the user %2; correct it in "
                                               "~/.pgpass.").arg(host, user), why);
    if (refusal.state == QLatin1String("28000"))
        return StoreError::make(Kind::CannotOpen,
                                QStringLiteral("The server %1 has no user %2 that may log in from this computer.")
                                    .arg(host, user), why);
    if (refusal.state == QLatin1String("3D000"))
        return StoreError::make(Kind::Missing, QStringLiteral("The server %1 has no database %2.").arg(host, database),
                                why);
    if (refusal.state.isEmpty() || refusal.state.startsWith(QLatin1String("08")))
        return StoreError::make(Kind::Unreachable,
                                QStringLiteral("The server %1 cannot be reached; try again when it is back.")
                                    .arg(location.name(Schema::File::Tallymere)), why);
    // Any other refusal: the server's own code classifies it.
    return QSqlError(driverError.driverText(), why, driverError.type(), refusal.state);
}

} // namespace ServerStore
