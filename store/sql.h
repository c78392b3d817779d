#pragma once

#include <QString>
#include <QStringList>

// The statements the store sends, built in one place. Rows are addressed by
// SQLite's rowid and stores carry their version in PRAGMA user_version;
// moving to another engine means changing this unit and the paged model.
namespace Sql {

// INSERT with one `?` per column; DEFAULT VALUES when there are none.
QString insert(const QString &table, const QStringList &columns);
// UPDATE of `columns` (one `?` each) of the row whose id is the last `?`.
QString updateRow(const QString &table, const QStringList &columns);
QString deleteRow(const QString &table);
QString selectRow(const QString &table);

// Each selects one row id: the first, the last, the one after or before `?`.
QString firstRow(const QString &table);
QString lastRow(const QString &table);
QString nextRow(const QString &table);
QString previousRow(const QString &table);
// The first row whose `field` is LIKE `?` (with `\` as the escape).
QString findRow(const QString &table, const QString &field);

QString count(const QString &table, const QString &where);
QString countFrom(const QString &from, const QString &where);
// `index` joined to `table` on their rowids, as a FROM clause.
QString joinOnRowid(const QString &index, const QString &table);
// Every row of `table`, only `columns`, in row order.
QString selectAll(const QString &table, const QStringList &columns);
QString deleteAll(const QString &table);

QString readVersion();
QString writeVersion(int version);
QString countTables();
QString walJournal();
QString rollbackJournal();
QString journalMode();
// Each save reaches the disk before it is confirmed.
QString durableSaves();
// Keeps the file to this connection until it closes.
QString exclusiveLocking();
QString integrityCheck();
QString quickCheck();
// The catalogue's search index checked against itself and against books.
QString searchIndexCheck();
QString hasTable();
// Folds the write-ahead log into the file and empties it.
QString checkpoint();
QString savepoint(const QString &name);
QString rollbackTo(const QString &name);
QString release(const QString &name);

} // namespace Sql
