#include "store/transfer/common.h"

#include "store/engine/csv.h"
#include "store/engine/gramtable.h"
#include "store/engine/sql.h"
#include "store/engine/stoppoint.h"
#include "store/engine/storeerror.h"

#include <QFile>
#include <QSqlQuery>

// The import of books from a CSV file into the catalogue.
namespace Transfer {

namespace {

// What is wrong with the header row `header` of the file `csvPath`: empty
// when it names every field of books, exactly, once, and nothing else.
QString headerFaults(const QStringList &header, const QString &csvPath)
{
    const Schema::Table &books = Schema::books();
    QStringList unknown, twice, missing;
    for (qsizetype i = 0; i < header.size(); ++i) {
        if (!books.fields.contains(header.at(i)))
            unknown << header.at(i);
        else if (header.indexOf(header.at(i)) != i && !twice.contains(header.at(i)))
            twice << header.at(i);
    }
    for (const QString &field : books.fields)
        if (!header.contains(field))
            missing << field;
    QStringList faults;
    if (!unknown.isEmpty())
        faults << QStringLiteral("names the unknown column%1 %2").arg(plural(unknown.size()), quotedNames(unknown));
    if (!twice.isEmpty())
        faults << QStringLiteral("names the column%1 %2 more than once").arg(plural(twice.size()), quotedNames(twice));
    if (!missing.isEmpty())
        faults << QStringLiteral("lacks the column%1 %2").arg(plural(missing.size()), quotedNames(missing));
    if (faults.isEmpty())
        return {};
    return QStringLiteral("The header row of %1 %2; it must name the %3 fields of books exactly.")
        .arg(native(csvPath), faults.join(QStringLiteral(" and ")))
        .arg(books.fields.size());
}

QString unreadable(const QString &csvPath, const Csv::Reader &reader)
{
    return QStringLiteral("The file %1 cannot be read as CSV: %2.").arg(native(csvPath), reader.errorText());
}

// Reads the header row of the file `csvPath` through `reader`; empty, with
// `*error`, when there is none or it does not name the fields of books.
QStringList readHeader(Csv::Reader &reader, const QString &csvPath, QString *error)
{
    QStringList header;
    if (!reader.next(header)) {
        *error = reader.errorText().isEmpty()
                     ? QStringLiteral("The file %1 is empty: it has no header row.").arg(native(csvPath))
                     : unreadable(csvPath, reader);
        return {};
    }
    *error = headerFaults(header, csvPath);
    return error->isEmpty() ? header : QStringList();
}

// A line of the file that the store cannot take, named by its number.
QString lineFault(const Csv::Reader &reader, const QString &csvPath, const QString &why)
{
    return QStringLiteral("Line %1 of %2%3").arg(reader.line()).arg(native(csvPath), why);
}

// Inserts each line `reader` has left into books on `store`, its fields in
// the order of `header`; empty, or why the lines cannot be stored.
QString storeLines(const Database::Connection &store, Csv::Reader &reader, const QStringList &header,
                   const QString &csvPath, double size, Outcome &outcome, const Progress &progress)
{
    QSqlQuery insert(store.database());
    if (!insert.prepare(Sql::insert(Schema::books().name, header)))
        return StoreError(insert.lastError()).text();
    QStringList record;
    while (reader.next(record)) {
        if (record.size() != header.size())
            return lineFault(reader, csvPath, QStringLiteral(" has %1 fields where its header row has %2.")
                                                  .arg(record.size())
                                                  .arg(header.size()));
        for (qsizetype i = 0; i < record.size(); ++i) {
            const QString &text = record.at(i);
            if (tooLong(text))
                return lineFault(reader, csvPath, QStringLiteral(": %1.").arg(tooLongText(header.at(i), text)));
            insert.bindValue(int(i), text.isNull() ? nullText() : QVariant(text));
        }
        if (!insert.exec()) {
            // A full disk is no fault of the line it was met on.
            const StoreError error = store.explain(insert.lastError());
            if (error.kind() == StoreError::Kind::Full)
                return error.text();
            return lineFault(reader, csvPath,
                             QStringLiteral(" cannot be stored: %1").arg(StoreError(insert.lastError()).text()));
        }
        if (++outcome.rows % ReportEvery == 0 && progress)
            progress(Schema::books().name, outcome.rows, double(reader.bytesRead()) / size);
    }
    return reader.errorText().isEmpty() ? QString() : unreadable(csvPath, reader);
}

// Writes the books of `reader` into the catalogue of `stores` in one
// transaction, the rows there first given up with `replace`.
Outcome writeBooks(const StoreLocation &stores, Csv::Reader &reader, const QStringList &header,
                   const QString &csvPath, double size, bool replace, const Progress &progress)
{
    Outcome outcome;
    Database::Connection store(stores, Schema::File::Transactions);
    if (!openStore(store, &outcome.error))
        return outcome;
    QSqlDatabase db = store.database();
    if (!db.transaction()) {
        outcome.error = StoreError(db.lastError()).text();
        return outcome;
    }
    QString error;
    if (replace && !exec(db, Sql::deleteAll(Schema::books().name), &error))
        return failed(outcome, error, {db});
    if (const StoreError e = GramTable::suspend(db); e.isValid())
        return failed(outcome, store.explain(e).text(), {db});
    if (error = storeLines(store, reader, header, csvPath, size, outcome, progress); !error.isEmpty())
        return failed(outcome, error, {db});
    if (const StoreError e = GramTable::resume(db); e.isValid())
        return failed(outcome, store.explain(e).text(), {db});
    StopPoint::step("import");
    if (!db.commit())
        return failed(outcome, store.explain(db.lastError()).text(), {db});
    StopPoint::step("import");
    return outcome;
}

} // namespace

Outcome importBooks(const QString &dataFolder, const StoreLocation &stores, const QString &csvPath, bool replace,
                    const Progress &progress)
{
    Outcome outcome;
    QFile file(csvPath);
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.error = QStringLiteral("Cannot read %1: %2").arg(native(csvPath), file.errorString());
        return outcome;
    }
    const double size = double(qMax<qint64>(1, file.size()));
    Csv::Reader reader(&file);
    const QStringList header = readHeader(reader, csvPath, &outcome.error);
    if (!outcome.ok())
        return outcome;
    std::optional<DeskLock> lock;
    if (!lockDesk(lock, dataFolder, &outcome.error) || !installStores(stores, &outcome.error))
        return outcome;
    if (replace && !backUpFirst(dataFolder, stores, outcome))
        return outcome;
    StopPoint::step("import");
    const QString backup = outcome.backup;
    outcome = writeBooks(stores, reader, header, csvPath, size, replace, progress);
    outcome.backup = backup;
    return outcome;
}

} // namespace Transfer
