#include "store/transfer/common.h"

#include "store/engine/csv.h"
#include "store/engine/sql.h"
#include "store/engine/sqlitefile.h"
#include "store/engine/storeerror.h"

#include <QDate>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlQuery>


// The exports: a table, or the loans still out, into a CSV file.
namespace Transfer {

namespace {

constexpr qsizetype WriteChunk = 256 * 1024;
// The remark that marks a loan as back, and the column the loans still out
// gain.
const QString ReturnedRemark = QStringLiteral("Returned");
const QString DaysOutHeader = QStringLiteral("Days out");

// Opens the store of `file` for an export, refused when it is missing or a
// newer program made it.
bool openForExport(const StoreLocation &stores, Schema::File file, Database::Connection &store, QString *error)
{
    // A missing file is named before the engine would make an empty one
    // (a server store has no path).
    const QString path = stores.path(file);
    if (!path.isEmpty() && !QFileInfo::exists(path)) {
        *error = QStringLiteral("The store %1 is missing.").arg(native(path));
        return false;
    }
    return openStore(store, error) && checkVersion(store, file, store.name(), error);
}

// What an export reads and how it writes each row.
struct ExportQuery {
    QString what; // the table, as progress names it
    QString count;
    QString select;
    QVariantList params;
    QStringList header;
    // The columns of the select written as they are; a further column, if
    // any, goes through `extra` into one more field.
    int width = 0;
    std::function<QByteArray(QByteArrayView)> extra;
    bool ownerOnly = false;
};

qint64 countRows(QSqlDatabase &db, const ExportQuery &query)
{
    QSqlQuery count(db);
    count.prepare(query.count);
    for (const QVariant &param : query.params)
        count.addBindValue(param);
    return count.exec() && count.next() ? count.value(0).toLongLong() : 0;
}

// The rows of `query` as CSV lines onto the end of `chunk`, `rowDone`
// called after each; false, with `*error`, when the store cannot be read.
// Forward only, the driver hands the rows over one at a time.
bool readDriverRows(Database::Connection &store, const ExportQuery &query, QByteArray &chunk,
                    const std::function<bool()> &rowDone, StoreError *error, bool *written)
{
    QSqlQuery read(store.database());
    read.setForwardOnly(true);
    read.prepare(query.select);
    for (const QVariant &param : query.params)
        read.addBindValue(param);
    if (!read.exec()) {
        *error = read.lastError();
        return false;
    }
    while (read.next()) {
        for (int i = 0; i < query.width; ++i) {
            if (i > 0)
                chunk += ',';
            const QVariant value = read.value(i);
            if (value.isNull())
                continue;
            const QByteArray text = value.toString().toUtf8();
            Csv::appendField(chunk, text.isEmpty() ? QByteArrayView("", 0) : QByteArrayView(text));
        }
        if (query.extra) {
            chunk += ',';
            Csv::appendField(chunk, query.extra(read.value(query.width).toString().toUtf8()));
        }
        if (!rowDone()) {
            *written = false;
            return false;
        }
    }
    *error = read.lastError();
    return !error->isValid();
}

// As readDriverRows, straight from the engine's UTF-8 to the file's, on a
// store file (see SqliteFile::eachRow).
bool readRawRows(const QSqlDatabase &db, const ExportQuery &query, QByteArray &chunk,
                 const std::function<bool()> &rowDone, StoreError *error, bool *written)
{
    const bool done = SqliteFile::eachRow(db, query.select, query.params, [&](const SqliteFile::RawRow &row) {
        for (int i = 0; i < query.width; ++i) {
            if (i > 0)
                chunk += ',';
            if (row.isNull(i))
                continue;
            const QByteArrayView text = row.text(i);
            Csv::appendField(chunk, text.data() ? text : QByteArrayView("", 0));
        }
        if (query.extra) {
            chunk += ',';
            Csv::appendField(chunk, query.extra(row.text(query.width)));
        }
        return rowDone();
    }, error);
    if (!done && !error->isValid())
        *written = false;
    return done;
}

// Writes the rows of `query` from `store` to the CSV file `csvPath`, read
// as they come, never all at once; the file appears whole or not at all.
Outcome writeExport(Database::Connection &store, const ExportQuery &query, const QString &csvPath,
                    const Progress &progress)
{
    Outcome outcome;
    QSqlDatabase db = store.database();
    const qint64 total = countRows(db, query);
    QSaveFile out(csvPath);
    // Unbuffered: the rows go out in chunks of their own, and a write that
    // fails says so there; a failure left in a buffer to the commit can be
    // lost, and an empty file reported as exported.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        outcome.error = cannotWrite(csvPath, out);
        return outcome;
    }
    // Borrowers' names are for the desk's owner alone, from the first byte on.
    if (query.ownerOnly)
        out.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QByteArray chunk = Csv::line(query.header).toUtf8();
    // After each row: the chunk goes out when full, and progress is told.
    const std::function<bool()> rowDone = [&] {
        chunk += "\r\n";
        if (chunk.size() >= WriteChunk) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
        if (++outcome.rows % ReportEvery == 0 && progress)
            progress(query.what, outcome.rows, total > 0 ? double(outcome.rows) / double(total) : -1);
        return true;
    };
    StoreError readError;
    bool written = true;
    const bool read = SqliteFile::isFile(db) ? readRawRows(db, query, chunk, rowDone, &readError, &written)
                                             : readDriverRows(store, query, chunk, rowDone, &readError, &written);
    if (read && out.write(chunk) != chunk.size())
        written = false;
    if (!read && written) {
        outcome.error = store.explain(readError).text();
        outcome.rows = 0;
    } else if (!written) {
        outcome.error = cannotWrite(csvPath, out);
    }
    if (!outcome.ok()) {
        out.cancelWriting();
        return outcome;
    }
    if (!out.commit())
        outcome.error = cannotWrite(csvPath, out);
    return outcome;
}

// The whole days from the ISO date `date` to `today`; empty for a text
// that is no date.
QByteArray daysSince(QByteArrayView date, const QDate &today)
{
    if (date.size() != 10)
        return {};
    const QDate from = QDate::fromString(QLatin1String(date.data(), date.size()), Qt::ISODate);
    return from.isValid() ? QByteArray::number(from.daysTo(today)) : QByteArray();
}

} // namespace

Outcome exportTable(const StoreLocation &stores, const Schema::Table &table, const QString &csvPath,
                    const Progress &progress)
{
    Outcome outcome;
    Database::Connection store(stores, table.file);
    if (!openForExport(stores, table.file, store, &outcome.error))
        return outcome;
    ExportQuery query;
    query.what = table.name;
    query.count = Sql::count(table.name, QString());
    query.select = Sql::selectAll(table.name, table.fields);
    query.header = table.fields;
    query.width = int(table.fields.size());
    query.ownerOnly = table.file == Schema::File::Tallymere;
    return writeExport(store, query, csvPath, progress);
}

Outcome exportLoansOut(const StoreLocation &stores, const QString &csvPath, int days, const QDate &today,
                       const Progress &progress)
{
    Outcome outcome;
    const Schema::Table &loans = Schema::borrower();
    Database::Connection store(stores, loans.file);
    if (!openForExport(stores, loans.file, store, &outcome.error))
        return outcome;
    const bool anyDate = days <= 0;
    ExportQuery query;
    query.what = loans.name;
    query.count = Sql::loansOut(QStringList(), anyDate);
    query.select = Sql::loansOut(loans.fields + QStringList{QStringLiteral("DateBorrowed")}, anyDate);
    query.params = {ReturnedRemark};
    if (!anyDate)
        query.params << today.addDays(-days).toString(Qt::ISODate);
    query.header = loans.fields + QStringList{DaysOutHeader};
    query.width = int(loans.fields.size());
    query.extra = [today](QByteArrayView date) { return daysSince(date, today); };
    query.ownerOnly = true;
    return writeExport(store, query, csvPath, progress);
}

} // namespace Transfer
