#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

// What only a store file can be asked, for the copies and checks of the
// files: the write-ahead log emptied, the engine's own integrity checks,
// one moment of a file held for a copy.
namespace SqliteFile {

// Folds the write-ahead log of the store at `path` into its file and
// empties the log, so that the file alone is the whole store.
QSqlError emptyLog(const QString &path);

// The engine's own integrity check of the store at `path`, open on `db`
// (thorough, or the quick check): a line per fault, the first `shown` of
// them, then how many more.
QStringList integrityFaults(const QString &path, const QSqlDatabase &db, bool thorough, int shown);

// Whether the catalogue open on `db` has its search index in step with its
// books: empty when it is, or when there is no index.
QStringList searchFaults(const QSqlDatabase &db);

// Begins a read transaction on `db` that reads one moment of the store
// until it ends, whatever other programs commit meanwhile.
QSqlError beginSnapshot(QSqlDatabase &db);

} // namespace SqliteFile
