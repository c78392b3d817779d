#pragma once

#include "store/engine/location.h"
#include "store/engine/schema.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <optional>

// Moving rows into and out of the stores: the catalogue and the loans as
// CSV files (csvexport.cpp, csvimport.cpp), the three tables of another
// program's database files (jetimport.cpp), and the moves between a desk's
// files and a server (servermove.cpp). A change is made whole or not at
// all: one store in one transaction; the two files of a desk written as
// copies and put in place together (see StoreSwap); a server's tables in
// one transaction. A fault leaves the stores as they were (a backup made
// first is kept).
namespace Transfer {

// Called now and then while the work goes on: `rows` rows of the table
// `what` so far, and the part of the whole work done (0 to 1; below 0 when
// not known).
using Progress = std::function<void(const QString &what, qint64 rows, double part)>;

struct Outcome {
    // One sentence naming what is wrong (file, table, field, line); empty
    // when the work was done.
    QString error;
    // The work was refused because the stores already hold loans that it
    // would overwrite, and replacing them was not asked for.
    bool needsReplace = false;
    qint64 rows = 0;
    // The backup made before anything was replaced, if one was.
    QString backup;
    // What the user should know besides.
    QStringList notes;

    bool ok() const { return error.isEmpty(); }
};

// Where the backups made before a replacing import go.
QString backupParent(const QString &dataFolder);

// Writes every row of `table` in the stores of `stores` to the CSV file
// `csvPath` (UTF-8): a header row of the exact field names, then the rows
// in row order, a missing value as a bare empty field and an empty text as
// "". The rows are read as they come, never the whole table at once, and
// the file is the same whichever engine keeps them. The file appears whole
// or not at all; a file of loans is owner-only.
Outcome exportTable(const StoreLocation &stores, const Schema::Table &table, const QString &csvPath,
                    const Progress &progress = {});

// Writes the loans still out in `stores` to the CSV file `csvPath` as
// exportTable writes tblBorrower: those whose Remarks are not "Returned"
// and that have no DateReturned, borrowed at least `days` days before
// `today` (with `days` 0, those with no DateBorrowed too, last), oldest
// first, each with a last column "Days out". Owner-only, as every export
// of loans is.
Outcome exportLoansOut(const StoreLocation &stores, const QString &csvPath, int days, const QDate &today,
                       const Progress &progress = {});

// Adds the books of the CSV file `csvPath` to the catalogue of `stores`,
// the stores of the desk whose data folder is `dataFolder`, in the file's
// order; with `replace`, both stores are backed up first (into
// backupParent) and the catalogue's rows give way to the file's. The header
// row must name every field of books, exactly, once, and nothing else.
Outcome importBooks(const QString &dataFolder, const StoreLocation &stores, const QString &csvPath, bool replace,
                    const Progress &progress = {});

// A database of another program, read a table at a time.
class TableSource
{
public:
    virtual ~TableSource() = default;
    // How errors name the source (its file).
    virtual QString name() const = 0;
    // The columns of `table` in order, with their exact names; empty, with
    // errorText(), when there is no such table.
    virtual QStringList columns(const QString &table) = 0;
    // Calls `row` with each row's values in columns() order, one at a time,
    // until it returns false. False, with errorText(), on a fault.
    virtual bool readRows(const QString &table, const std::function<bool(const QVariantList &)> &row) = 0;
    virtual QString errorText() const = 0;
};

// What `field` of `table` stores for `value` read from another database:
// null stays null; texts as they are; dates as ISO yyyy-MM-dd text in the
// date fields and in "Date received" (with the time of day in other text
// fields); numbers as their shortest exact text; Yes/No as "True"/"False".
// Nothing, with `*error`, for a value the field cannot keep (binary data,
// a text longer than the store allows, a date field given no date).
std::optional<QVariant> storedValue(const Schema::Table &table, const QString &field, const QVariant &value,
                                    QString *error);

// Replaces the rows of books with those of `catalogue`'s table books, and
// the rows of tblBorrower and tblUser with those of `desk`'s tables, in
// `stores` (those of the desk of `dataFolder`), every field taken by its
// exact name. Every table and field is looked for before anything is
// written. Refused (with needsReplace) when the stores already hold loans,
// unless `replace`; with `replace`, both stores are backed up first. An
// empty tblUser in `desk` keeps the accounts the store has, so that someone
// can still log in.
Outcome importTables(TableSource &catalogue, TableSource &desk, const QString &dataFolder,
                     const StoreLocation &stores, bool replace, const Progress &progress = {});

// Copies the three tables of the server store `server`, as they stood at
// one moment, into a new pair of store files (Transactions.db and
// Tallymere.db, as a desk makes them) in a new folder inside `parent`,
// named as Backup::backup names its folders, every row keeping its
// identity: a backup of either engine is the same kind of folder, and
// Backup::restore or restoreServer puts it back. `backup` is the folder
// made; on failure none is left.
Outcome backUpServer(const StoreLocation &server, const QString &parent, const Progress &progress = {});

// Replaces the rows of the server store `server` with those of the backup
// folder `backupFolder` (checked first as Backup::restore checks it, and
// upgraded on the way if an older program made it), in one transaction,
// every row keeping its identity. What the server held is first backed up
// into backupParent(dataFolder) within that transaction (`backup`). Refused
// while a desk program holds the lock on `dataFolder`, or while another
// restore or install works on the server.
Outcome restoreServer(const QString &dataFolder, const StoreLocation &server, const QString &backupFolder,
                      const Progress &progress = {});

// Copies the catalogue, the loans and the accounts of the files in
// `dataFolder` into the server store `server` (set up there first where
// missing), in one transaction, every row keeping its identity. Refused
// (with needsReplace) when the server already holds loans, unless `replace`.
Outcome moveToServer(const QString &dataFolder, const StoreLocation &server, bool replace,
                     const Progress &progress = {});

} // namespace Transfer
