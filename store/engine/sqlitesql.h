#pragma once

#include "store/engine/schema.h"

#include <QList>
#include <QString>
#include <QStringList>

// The statements only SQLite understands: its pragmas, the catalogue's
// FTS5 search index and the steps that bring an older store file up to
// this program's version. Used by the file side of the store alone.
class QSqlDatabase;

namespace SqliteSql {

// How long a connection waits for another program's write to finish.
inline constexpr int BusyTimeoutMs = 2000;
// Points `db` (QSQLITE) at the file `path`.
void configureFile(QSqlDatabase &db, const QString &path);

// The table as the first stores had it (no hidden columns); the upgrade
// steps bring it to the shape of this program.
QString createFirstShape(const Schema::Table &table);
const QList<Schema::Upgrade> &upgrades(Schema::File file);

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
// Every table, index and trigger of the store (the engine's own left out):
// type, name and the statement that made it.
QString listObjects();
// The columns of a table: PRAGMA table_info.
QString tableInfo(const QString &table);
// Folds the write-ahead log into the file and empties it.
QString checkpoint();

// How many of the search index's table and triggers the catalogue has.
QString countSearchObjects();
int searchObjects();
// Makes the search index and its triggers anew and fills the index from
// books: for a catalogue whose triggers were lost (books rebuilt by hand).
QStringList rebuildSearch();

// How many of the loan history's table and triggers the loan store has,
// and how many it has when whole.
QString countHistoryObjects();
int historyObjectCount();
// Makes the loan history's triggers anew (and its table where it is
// missing), keeping the rows it holds.
QStringList rebuildHistory();
// Lets this connection write history rows as they are given, desk and all
// (a copy of another store's history).
QString dropDeskTrigger();
// Names the desk in every history row this connection writes (a temporary
// trigger: it lives and dies with the connection).
QString deskTrigger();

// The catalogue's FTS5 index table.
QString searchTable();
// The triggers that add the pieces of every new or changed book to the
// short-text index.
QStringList gramTriggers();

} // namespace SqliteSql
