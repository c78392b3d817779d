#pragma once

#include "store/engine/storeerror.h"

#include <QByteArrayView>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

struct sqlite3_stmt;

// What only a store file can be asked, for the copies and checks of the
// files: the write-ahead log emptied, the engine's own integrity checks,
// one moment of a file held for a copy.
namespace SqliteFile {

// Folds the write-ahead log of the store at `path` into its file and
// empties the log, so that the file alone is the whole store.
StoreError emptyLog(const QString &path);

// The engine's own integrity check of the store at `path`, open on `db`
// (thorough, or the quick check): a line per fault, the first `shown` of
// them, then how many more.
QStringList integrityFaults(const QString &path, const QSqlDatabase &db, bool thorough, int shown);

// Whether the catalogue open on `db` has its search index in step with its
// books: empty when it is, or when there is no index.
QStringList searchFaults(const QSqlDatabase &db);

// Begins a read transaction on `db` that reads one moment of the store
// until it ends, whatever other programs commit meanwhile.
StoreError beginSnapshot(QSqlDatabase &db);

// Called after each step of a copy: `done` pages of `total`.
using PageProgress = std::function<void(qint64 done, qint64 total)>;
// Copies every page of the store open on `from` (the file `source`) into
// the new store open on `to` (the file `target`) through the engine's
// online backup, `pagesPerStep` pages a step, rowids as they are; the
// error names the file the fault is in.
StoreError copyPages(const QSqlDatabase &from, const QSqlDatabase &to, const QString &source, const QString &target,
                    const PageProgress &progress, int pagesPerStep);


// Whether `db` is a connection to a store file, whose rows eachRow reads.
bool isFile(const QSqlDatabase &db);

// One row of a statement the engine runs, each column as the engine's own
// UTF-8, valid until the next row.
class RawRow
{
public:
    explicit RawRow(sqlite3_stmt *statement) : m_statement(statement) {}
    bool isNull(int column) const;
    // A null view where the engine gives no text.
    QByteArrayView text(int column) const;

private:
    sqlite3_stmt *m_statement;
};

// Runs `sql`, `params` bound as texts, on the store file open on `db`, and
// hands `row` each row as it comes until it returns false: a million rows
// pass without a conversion into Qt's values and back. True when every row
// was handed over; false with `*error` on the engine's fault, false with no
// error when `row` stopped it.
bool eachRow(const QSqlDatabase &db, const QString &sql, const QVariantList &params,
             const std::function<bool(const RawRow &)> &row, StoreError *error);

} // namespace SqliteFile
