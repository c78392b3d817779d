#include "store/transfer/common.h"

#include "store/engine/dialect.h"
#include "store/engine/gramtable.h"
#include "store/engine/sql.h"
#include "store/engine/stoppoint.h"
#include "store/engine/storeerror.h"
#include "store/engine/swap.h"
#include "store/transfer/backup.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QSqlQuery>
#include <QUuid>

#include <charconv>

// The import of another program's database files (the Jet import): its
// catalogue, loans and accounts in place of the desk's.
namespace Transfer {

namespace {

const QString UsersSavepoint = QStringLiteral("accounts");

template <typename Number>
QString shortest(Number value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

// A value that is neither text, date nor binary data as the text the store
// keeps; nothing for a kind it cannot keep.
std::optional<QString> plainText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QString::number(value.toULongLong());
    case QMetaType::Float:
        return shortest(value.toFloat());
    case QMetaType::Double:
        return shortest(value.toDouble());
    case QMetaType::QUuid:
        return value.toUuid().toString(QUuid::WithBraces).toUpper();
    default:
        return std::nullopt;
    }
}

// One table to be filled from a source: for each field of `table`, the
// source column it comes from.
struct Plan {
    TableSource *source = nullptr;
    const Schema::Table *table = nullptr;
    QList<qsizetype> columnOf;
};

QString planTable(TableSource &source, const Schema::Table &table, Plan *plan)
{
    const QStringList columns = source.columns(table.name);
    if (columns.isEmpty()) {
        const QString why = source.errorText();
        return why.isEmpty() ? QStringLiteral("There is no table %1 in %2.").arg(table.name, native(source.name()))
                             : why;
    }
    plan->source = &source;
    plan->table = &table;
    QStringList missing;
    for (const QString &field : table.fields) {
        qsizetype at = columns.indexOf(field);
        // As the old engine did, letter case aside (the spaces must match).
        for (qsizetype i = 0; at < 0 && i < columns.size(); ++i)
            if (columns.at(i).compare(field, Qt::CaseInsensitive) == 0)
                at = i;
        if (at < 0)
            missing << field;
        plan->columnOf << at;
    }
    if (!missing.isEmpty())
        return QStringLiteral("Table %1 in %2 lacks the field%3 %4.")
            .arg(table.name, native(source.name()), plural(missing.size()),
                 quotedNames(missing));
    return {};
}

// Copies every row the plan's source holds into its table on `db`.
QString copyRows(QSqlDatabase &db, const Plan &plan, qint64 *rows, const Progress &progress)
{
    const Schema::Table &table = *plan.table;
    QSqlQuery insert(db);
    if (!insert.prepare(Sql::insert(table.name, table.fields)))
        return StoreError(insert.lastError()).text();
    QString error;
    qint64 n = 0;
    const bool read = plan.source->readRows(table.name, [&](const QVariantList &values) {
        ++n;
        for (qsizetype i = 0; i < table.fields.size(); ++i) {
            QString why;
            const std::optional<QVariant> value =
                storedValue(table, table.fields.at(i), values.value(plan.columnOf.at(i)), &why);
            if (!value) {
                error = QStringLiteral("Row %1 of table %2 in %3: %4.").arg(n).arg(table.name, native(plan.source->name()), why);
                return false;
            }
            insert.bindValue(int(i), *value);
        }
        if (!insert.exec()) {
            error = QStringLiteral("Row %1 of table %2 in %3 cannot be stored: %4")
                        .arg(n)
                        .arg(table.name, native(plan.source->name()), StoreError(insert.lastError()).text());
            return false;
        }
        if (progress && n % ReportEvery == 0)
            progress(table.name, n, -1);
        return true;
    });
    if (error.isEmpty() && !read)
        error = plan.source->errorText();
    *rows = n;
    return error;
}

qint64 loanCount(const StoreLocation &stores, QString *error)
{
    Database::Connection desk(stores, Schema::File::Tallymere);
    if (!openStore(desk, error))
        return -1;
    QSqlQuery q(desk.database());
    if (!q.exec(Sql::count(Schema::borrower().name, QString())) || !q.next()) {
        *error = desk.explain(q.lastError()).text();
        return -1;
    }
    return q.value(0).toLongLong();
}

// Replaces the accounts on `deskDb` with those of `users`, unless it holds
// none: then the desk's accounts are kept, so that someone can still log in.
QString fillUsers(QSqlDatabase &deskDb, Plan &users, const TableSource &desk, Outcome &outcome,
                  const Progress &progress)
{
    QString error;
    qint64 rows = 0;
    if (!exec(deskDb, Sql::savepoint(UsersSavepoint), &error)
        || !exec(deskDb, Sql::deleteAll(users.table->name), &error))
        return error;
    if (error = copyRows(deskDb, users, &rows, progress); !error.isEmpty())
        return error;
    if (rows == 0) {
        if (!exec(deskDb, Sql::rollbackTo(UsersSavepoint), &error))
            return error;
        outcome.notes << QStringLiteral("Table tblUser in %1 holds no account; the desk's accounts were kept.")
                             .arg(native(desk.name()));
    }
    outcome.rows += rows;
    if (!exec(deskDb, Sql::release(UsersSavepoint), &error))
        return error;
    return {};
}

// Fills the three tables planned, in the open transactions of `catalogue`
// and `desk`; empty, or why they cannot be filled.
QString fillTables(const Database::Connection &catalogue, const Database::Connection &desk, Plan &books, Plan &loans,
                   Plan &users, Outcome &outcome, const Progress &progress)
{
    QSqlDatabase catalogueDb = catalogue.database();
    QSqlDatabase deskDb = desk.database();
    QString error;
    qint64 rows = 0;
    if (!exec(catalogueDb, Sql::deleteAll(books.table->name), &error))
        return error;
    if (const StoreError e = GramTable::suspend(catalogueDb); e.isValid())
        return catalogue.explain(e).text();
    if (error = copyRows(catalogueDb, books, &rows, progress); !error.isEmpty())
        return error;
    if (const StoreError e = GramTable::resume(catalogueDb); e.isValid())
        return catalogue.explain(e).text();
    outcome.rows += rows;
    if (!exec(deskDb, Sql::deleteAll(loans.table->name), &error))
        return error;
    if (error = copyRows(deskDb, loans, &rows, progress); !error.isEmpty())
        return error;
    outcome.rows += rows;
    return fillUsers(deskDb, users, *users.source, outcome, progress);
}

// Replaces the rows of the three tables of `stores` with those planned, both
// stores written before either is committed. On the files these are the
// staged copies (see importTables): a fault leaves the desk's stores as
// they were, whichever commit it stops.
Outcome writeTables(Plan &books, Plan &loans, Plan &users, const StoreLocation &stores, Outcome outcome,
                    const Progress &progress)
{
    // Where one database holds all three tables: one connection, one
    // transaction.
    const bool shared = Dialect::of(stores).holdsEveryTable();
    Database::Connection catalogueStore(stores, Schema::File::Transactions);
    std::optional<Database::Connection> ownDeskStore;
    if (!shared)
        ownDeskStore.emplace(stores, Schema::File::Tallymere);
    const Database::Connection &deskStore = shared ? catalogueStore : *ownDeskStore;
    if (!openStore(catalogueStore, &outcome.error) || (!shared && !openStore(*ownDeskStore, &outcome.error)))
        return outcome;
    QSqlDatabase catalogueDb = catalogueStore.database();
    QSqlDatabase deskDb = deskStore.database();
    if (!catalogueDb.transaction()) {
        outcome.error = catalogueStore.explain(catalogueDb.lastError()).text();
        return outcome;
    }
    if (!shared && !deskDb.transaction())
        return failed(outcome, deskStore.explain(deskDb.lastError()).text(), {catalogueDb});
    const QList<QSqlDatabase> open =
        shared ? QList<QSqlDatabase>{catalogueDb} : QList<QSqlDatabase>{catalogueDb, deskDb};
    if (const QString error = fillTables(catalogueStore, deskStore, books, loans, users, outcome, progress);
        !error.isEmpty())
        return failed(outcome, error, open);
    if (!catalogueDb.commit())
        return failed(outcome, catalogueStore.explain(catalogueDb.lastError()).text(), open);
    // Files are staged copies, given up when this fails: the catalogue
    // committed there is not imported either.
    if (!shared && !deskDb.commit())
        return failed(outcome,
                      QStringLiteral("Nothing was imported, since the loans and accounts could not be stored: %1")
                          .arg(deskStore.explain(deskDb.lastError()).text()),
                      {deskDb});
    return outcome;
}

// Writes the planned tables into staged copies of the files in the data
// folder of `stores`, then puts both copies in place together.
Outcome writeStaged(Plan &books, Plan &loans, Plan &users, const StoreLocation &stores, Outcome outcome,
                    const Progress &progress)
{
    const Database::InstallLock installing(stores.folder());
    const QString staging = QDir(stores.folder()).filePath(StoreSwap::stagingName());
    StoreError error = installing.isHeld() ? Database::recoverHeld(stores.folder()) : installing.error();
    if (!error.isValid())
        error = Backup::stageStores(stores.folder(), staging, Backup::Source::Store);
    if (error.isValid()) {
        QDir(staging).removeRecursively();
        outcome.error = error.text();
        return outcome;
    }
    outcome = writeTables(books, loans, users, StoreLocation::files(staging), outcome, progress);
    if (!outcome.ok()) {
        QDir(staging).removeRecursively();
        return outcome;
    }
    StopPoint::step("import");
    if (error = Backup::swapIn(stores.folder(), QDateTime(), nullptr); error.isValid()) {
        outcome.error = error.text();
        outcome.rows = 0;
    }
    return outcome;
}

// Whether the import may go on: refused (with needsReplace) when the stores
// hold loans and replacing them was not asked for; with `replace`, both
// stores are backed up first.
bool mayReplace(const QString &dataFolder, const StoreLocation &stores, bool replace, Outcome &outcome)
{
    const qint64 held = loanCount(stores, &outcome.error);
    if (held < 0)
        return false;
    if (held > 0 && !replace) {
        outcome.needsReplace = true;
        QString name = storesName(stores);
        name[0] = name.at(0).toUpper();
        outcome.error = QStringLiteral("%1 already hold %2 loan%3; nothing was imported.")
                            .arg(name)
                            .arg(held)
                            .arg(plural(held));
        return false;
    }
    return !replace || backUpFirst(dataFolder, stores, outcome);
}

} // namespace

std::optional<QVariant> storedValue(const Schema::Table &table, const QString &field, const QVariant &value,
                                    QString *error)
{
    if (!value.isValid() || value.isNull())
        return nullText();
    const bool dateField = table.dateFields.contains(field);
    const bool dateOnly = dateField || field == QLatin1String("Date received");
    const auto notADate = [&](const QString &shown) {
        *error = QStringLiteral("the field %1 holds %2, which is not a date").arg(quotedName(field), shown);
        return std::nullopt;
    };
    switch (value.typeId()) {
    case QMetaType::QDate:
        return QVariant(value.toDate().toString(Qt::ISODate));
    case QMetaType::QDateTime: {
        const QDateTime when = value.toDateTime();
        if (dateOnly)
            return QVariant(when.date().toString(Qt::ISODate));
        return QVariant(when.toString(when.time().msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                                         : QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    case QMetaType::QString: {
        const QString text = value.toString();
        if (dateField) {
            const QDate date = QDate::fromString(text, Qt::ISODate);
            if (text.size() != 10 || !date.isValid())
                return notADate(quotedName(text));
            return QVariant(text);
        }
        if (tooLong(text)) {
            *error = tooLongText(field, text);
            return std::nullopt;
        }
        return QVariant(text);
    }
    case QMetaType::QByteArray:
        *error = QStringLiteral("the field %1 holds binary data, which the store cannot keep as text")
                     .arg(quotedName(field));
        return std::nullopt;
    default:
        break;
    }
    const std::optional<QString> text = plainText(value);
    if (!text) {
        *error = QStringLiteral("the field %1 holds a value of a kind the store cannot keep (%2)")
                     .arg(quotedName(field), QString::fromLatin1(value.typeName()));
        return std::nullopt;
    }
    if (dateField)
        return notADate(*text);
    return QVariant(*text);
}

Outcome importTables(TableSource &catalogue, TableSource &desk, const QString &dataFolder,
                     const StoreLocation &stores, bool replace, const Progress &progress)
{
    Outcome outcome;
    Plan books, loans, users;
    for (const auto &[source, table, plan] :
         {std::tuple{&catalogue, &Schema::books(), &books}, std::tuple{&desk, &Schema::borrower(), &loans},
          std::tuple{&desk, &Schema::user(), &users}}) {
        outcome.error = planTable(*source, *table, plan);
        if (!outcome.ok())
            return outcome;
    }
    // A desk's files are written as copies and put in place together (a
    // crash between the commits of two files would leave half an old desk
    // beside half of this one): no desk may have them open meanwhile. Where
    // one database holds every table, its one transaction keeps them whole.
    const bool shared = Dialect::of(stores).holdsEveryTable();
    std::optional<DeskLock> lock;
    if (shared ? !lockDesk(lock, dataFolder, &outcome.error) : !lockDeskAlone(lock, dataFolder, &outcome.error))
        return outcome;
    if (!installStores(stores, &outcome.error) || !mayReplace(dataFolder, stores, replace, outcome))
        return outcome;
    if (shared)
        return writeTables(books, loans, users, stores, outcome, progress);
    return writeStaged(books, loans, users, stores, outcome, progress);
}

} // namespace Transfer
