#pragma once

#include "store/engine/location.h"
#include "store/engine/schema.h"
#include "store/engine/storeerror.h"
#include "store/search/booksearch.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

class QSqlQuery;

// What differs between the two engines, each answered in its own unit
// (sqlitedialect.cpp, serverdialect.cpp). The rest of the store speaks
// through this, and SQL common to both is built in sql.cpp.
class Dialect
{
public:
    virtual ~Dialect() = default;

    static const Dialect &sqlite();
    static const Dialect &server();
    // The dialect of the engine behind `db`.
    static const Dialect &of(const QSqlDatabase &db);
    static const Dialect &of(StoreError::Engine engine);
    static const Dialect &of(const StoreLocation &location);

    virtual StoreError::Engine engine() const = 0;
    // The Qt driver that speaks to the engine.
    virtual QString driver() const = 0;

    // Points a new connection at the store of `location` (on the files, the
    // file at `path`); an error when that store cannot be there (a missing
    // file: the engine would make one).
    virtual StoreError configure(QSqlDatabase &db, const StoreLocation &location, const QString &path) const = 0;
    // Readies a newly opened connection (durable saves, functions).
    virtual StoreError prepare(QSqlDatabase &db) const = 0;

    // Every column of `table` in table order, hidden ones included; empty
    // when the table does not exist.
    virtual QStringList columns(const QSqlDatabase &db, const QString &table) const = 0;
    virtual bool hasTable(const QSqlDatabase &db, const QString &table) const = 0;

    // The comparison that matches a LIKE pattern with `\` as the escape,
    // letter case ignored.
    virtual QString likeIgnoringCase(const QString &column) const = 0;

    // INSERT of `columns` (one `?` each); insertedId() then gives the new
    // row's identity from the executed query.
    virtual QString insert(const QString &table, const QStringList &columns) const = 0;
    virtual qint64 insertedId(QSqlQuery &query) const = 0;
    // An identity for a row about to be inserted into `table`, taken before
    // the insert so that a lost answer can be settled by looking the row
    // up; -1 where the engine's answer cannot be lost (the files).
    virtual qint64 reserveId(const QSqlDatabase &db, const QString &table, StoreError *error) const = 0;

    // The FROM clause and the ordering key when `through` (an index table)
    // drives the rows of `table`; `through` empty means the table alone.
    virtual QString from(const QString &table, const QString &through) const = 0;
    virtual QString key(const QString &table, const QString &through) const = 0;

    // The condition for rows of books whose `field` contains `text`
    // (already checked as a search field), letter case ignored, the text
    // matched literally (see BookSearch).
    using Path = BookSearch::Path;
    using Contains = BookSearch::Condition;
    virtual Contains contains(const QString &field, const QString &text, Path path = Path::Automatic) const = 0;

    // The triggers that keep the short-text index in step: made, or
    // dropped for a bulk write after which the index is filled anew.
    virtual QStringList gramTriggers() const = 0;
    virtual QStringList dropGramTriggers() const = 0;

    // The store's schema version and its upgrade steps.
    virtual int version(const QSqlDatabase &db, Schema::File file, StoreError *error) const = 0;
    virtual StoreError setVersion(QSqlDatabase &db, Schema::File file, int version) const = 0;

    // Installing and repairing
    // Makes the stores of `location` ready (see Database::install).
    virtual StoreError install(const StoreLocation &location, const std::function<void()> &progress) const = 0;
    // The error when the engine's Qt driver is not installed; none when it is.
    virtual StoreError driverMissing() const = 0;
    // Why the store of `location` could not be opened, given the driver's
    // error after `waitedMs` of trying.
    virtual StoreError refusal(const StoreLocation &location, const QSqlError &driverError, qint64 waitedMs) const = 0;
    // The statements that make the catalogue's search index anew (the
    // short-text index is filled after, see GramTable::rebuild), and what
    // they did, as the repair reports it.
    virtual QStringList rebuildSearch() const = 0;
    virtual QString searchRebuilt() const = 0;
    // A count of the search index's objects in the engine's catalogue, and
    // that count when the index is whole.
    virtual QString countSearchObjects() const = 0;
    virtual int searchObjectCount() const = 0;
    // The loan history's triggers made anew (its rows kept); a count of its
    // table and triggers, and that count when whole.
    virtual QStringList rebuildHistory() const = 0;
    virtual QString countHistoryObjects() const = 0;
    virtual int historyObjectCount() const = 0;

    // Moves and backups: what a copy of whole tables between stores asks of
    // each engine, as statements run in the copy's transaction.
    // Whether one database holds every table, so that one connection and
    // one transaction change them all together.
    virtual bool holdsEveryTable() const = 0;
    // Keeps every other install, move or restore, and every desk's writes,
    // away from the store until the transaction ends.
    virtual QStringList takeAlone() const = 0;
    // The first statements of a transaction that reads every table as it
    // stood at one moment, writing nothing.
    virtual QStringList readSnapshot() const = 0;
    // Lets the connection write loan history rows as they are given, desk
    // and all (a copy of another store's history).
    virtual QStringList keepHistoryDesks() const = 0;
    // Moves every identity counter past the rows copied in with theirs.
    virtual QStringList followIdentities() const = 0;
};
