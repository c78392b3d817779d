#pragma once

#include "store/engine/location.h"
#include "store/engine/schema.h"
#include "store/engine/serverlink.h"

#include <QSqlError>
#include <QStringList>

class QSqlDatabase;

// The PostgreSQL side of the store: one database holds the catalogue, the
// loans and the accounts, with the same tables and exact field names as
// the files, the hidden columns as an identity and a version, and the
// catalogue's search index as pg_trgm indexes on Title and Author.
namespace ServerSql {

// How long a desk waits for a server that does not answer, in seconds.
inline constexpr int ConnectTimeoutSeconds = ServerLink::ConnectTimeoutSeconds;
// How long a desk waits for a row or table another desk holds.
inline constexpr int LockTimeoutMs = 2000;

// Everything a new store needs, tables first; the rows are added after.
QStringList createStore();
// Makes sure no two desks set up the same database at once (ends with the
// transaction that takes it).
QString lockForInstall();
QString versionTable();
QString readVersion();
QString writeVersion();
// The search indexes built anew (the short-text index is filled after,
// see GramIndex::rebuild).
QStringList rebuildSearch();
// How many of the search indexes and triggers the catalogue has, and how
// many it has when whole.
QString countSearchIndexes();
int searchIndexes();
// The trigger that adds the pieces of every new or changed book to the
// short-text index.
QStringList gramTriggers();
// What a store of version 2 lacks: the short-text index (to be filled).
QStringList addGrams();
// What a store of version 1 lacks: the loan history and its triggers (a
// new store gains them after its first rows, as the files do).
QStringList addHistory();
// The loan history's triggers made anew (its table where missing, rows
// kept); how many of its table and triggers the store has, and has whole.
QStringList rebuildHistory();
QString countHistoryObjects();
int historyObjectCount();
// Every hidden identity sequence moved past the rows copied in.
QStringList followIdentities();
// The first statement of a transaction that reads the three tables as they
// stood at one moment, writing nothing.
QString readSnapshot();
// Keeps every other desk from writing the three tables until the
// transaction ends; they can still read them.
QString lockTables();

} // namespace ServerSql
