// What the store does the same way on either engine: install, repair, and
// the names of the columns it shows; each engine's own work is behind its
// dialect.
#include "store/engine/database.h"

#include "store/engine/dialect.h"
#include "store/engine/execute.h"
#include "store/engine/gramtable.h"
#include "store/engine/installsteps.h"
#include "store/engine/storeerror.h"

#include <QSqlQuery>

namespace Database {

namespace {


// Runs `work` on the store of `file` in one transaction, undone whole when
// any of it fails.
StoreError inTransaction(const StoreLocation &location, Schema::File file,
                        const std::function<StoreError(QSqlDatabase &)> &work)
{
    Connection connection(location, file);
    if (!connection.open())
        return connection.lastError();
    QSqlDatabase db = connection.database();
    if (!db.transaction())
        return connection.explain(db.lastError());
    if (const StoreError e = work(db); e.isValid()) {
        db.rollback();
        return connection.explain(e);
    }
    if (!db.commit())
        return connection.explain(db.lastError());
    return {};
}

// Whether the store of `file` has fewer than `whole` of the objects
// (tables, indexes, triggers) `countSql` counts in the engine's catalogue.
bool lacksObjects(const StoreLocation &location, Schema::File file, const QString &countSql, int whole,
                  StoreError *error)
{
    Connection connection(location, file);
    if (!connection.open()) {
        if (error)
            *error = connection.lastError();
        return false;
    }
    QSqlQuery q(connection.database());
    if (!q.exec(countSql) || !q.next()) {
        if (error)
            *error = connection.explain(q.lastError());
        return false;
    }
    return q.value(0).toInt() < whole;
}

} // namespace

StoreError install(const StoreLocation &location, const Progress &progress)
{
    if (!location.isValid())
        return StoreError::failure(QStringLiteral("No store was named."));
    return Dialect::of(location).install(location, progress);
}

StoreError repairSearch(const StoreLocation &location, QString *done, const Progress &progress)
{
    const Dialect &dialect = Dialect::of(location);
    const StoreError error = inTransaction(location, Schema::File::Transactions, [&](QSqlDatabase &db) {
        const InstallSteps::ProgressWatch watch(db, progress);
        const StoreError e = Sql::execAll(db, dialect.rebuildSearch());
        return e.isValid() ? e : GramTable::rebuild(db);
    });
    if (error.isValid())
        return error;
    if (done)
        *done = dialect.searchRebuilt();
    return {};
}

bool searchIsIncomplete(const StoreLocation &location, StoreError *error)
{
    const Dialect &dialect = Dialect::of(location);
    return lacksObjects(location, Schema::File::Transactions, dialect.countSearchObjects(),
                        dialect.searchObjectCount(), error);
}

StoreError repairHistory(const StoreLocation &location, QString *done)
{
    const QStringList statements = Dialect::of(location).rebuildHistory();
    if (const StoreError error = inTransaction(location, Schema::File::Tallymere,
                                              [&](QSqlDatabase &db) { return Sql::execAll(db, statements); });
        error.isValid())
        return error;
    if (done)
        *done = QStringLiteral("the loan history's triggers were made again");
    return {};
}

bool historyIsIncomplete(const StoreLocation &location, StoreError *error)
{
    const Dialect &dialect = Dialect::of(location);
    return lacksObjects(location, Schema::File::Tallymere, dialect.countHistoryObjects(),
                        dialect.historyObjectCount(), error);
}

QStringList columns(const QSqlDatabase &db, const QString &table)
{
    QStringList names;
    for (const QString &name : Dialect::of(db).columns(db, table))
        if (!Schema::isHidden(name))
            names << name;
    return names;
}

// Stores made by a newer program

QString madeByNewer()
{
    return QStringLiteral("made by a newer Tallymere");
}

QString newerStore(const QString &name, int version, int known)
{
    return QStringLiteral("The store %1 is of version %2, %3; this program knows version %4 at most.")
        .arg(name)
        .arg(version)
        .arg(madeByNewer())
        .arg(known);
}

} // namespace Database
