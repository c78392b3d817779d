#include "store/transfer/transfer.h"

#include "store/transfer/backup.h"
#include "store/engine/csv.h"
#include "store/engine/database.h"
#include "store/engine/desklock.h"
#include "store/engine/dialect.h"
#include "store/engine/gramtable.h"
#include "store/search/gramindex.h"
#include "store/engine/sql.h"
#include "store/engine/serversql.h"
#include "store/engine/sqlitesql.h"
#include "store/engine/sqlitehandle.h"
#include "store/engine/stoppoint.h"
#include "store/engine/swap.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <charconv>
#include <memory>

namespace Transfer {

namespace {

// Rows between two progress reports.
constexpr qint64 ReportEvery = 1000;
constexpr qsizetype WriteChunk = 256 * 1024;
const QString UsersSavepoint = QStringLiteral("accounts");
// The remark that marks a loan as back, and the column the loans still out
// gain.
const QString ReturnedRemark = QStringLiteral("Returned");
const QString DaysOutHeader = QStringLiteral("Days out");

using StoreError::native;

QString quotedName(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

QString quotedNames(const QStringList &names)
{
    QStringList out;
    for (const QString &n : names)
        out << quotedName(n);
    return out.join(QStringLiteral(", "));
}

QVariant nullText()
{
    return QVariant(QMetaType::fromType<QString>());
}

// Counted in characters, as the stores count; a text of few UTF-16 units
// is short in any count.
bool tooLong(const QString &text)
{
    return text.size() > Schema::MaxTextLength && GramIndex::characters(text) > Schema::MaxTextLength;
}

QString tooLongText(const QString &field, const QString &text)
{
    return QStringLiteral("the field %1 holds %2 characters; the store keeps %3 at most")
        .arg(quotedName(field))
        .arg(GramIndex::characters(text))
        .arg(Schema::MaxTextLength);
}

template <typename Number>
QString shortest(Number value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString engineText(const QSqlError &error)
{
    return Database::sentence(error);
}

// Why `file` at `path` could not be written; a full disk by name, since the
// file's own words for it are often "Unknown error".
QString cannotWrite(const QString &path, const QFileDevice &file)
{
    const QString why = StoreError::diskFull(path) ? QStringLiteral("the disk holding it is full") : file.errorString();
    return QStringLiteral("Cannot write %1: %2.").arg(native(path), why);
}

QString storePath(const QString &dataFolder, Schema::File file)
{
    return QDir(dataFolder).filePath(Schema::fileName(file));
}

// Opens `connection`, or says why not.
bool openStore(Database::Connection &connection, QString *error)
{
    if (connection.open())
        return true;
    *error = engineText(connection.lastError());
    return false;
}

bool exec(QSqlDatabase &db, const QString &sql, QString *error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    *error = engineText(q.lastError());
    return false;
}

// Marks the work's presence as a desk program does, so that no restore
// swaps the stores under it.
bool present(std::optional<DeskLock> &lock, const QString &dataFolder, QString *error)
{
    lock.emplace(dataFolder, DeskLock::Kind::Shared);
    if (lock->isHeld())
        return true;
    *error = lock->errorText();
    return false;
}

// Takes the stores of the data folder to this work alone: refused while a
// desk program has them open.
bool alone(std::optional<DeskLock> &lock, const QString &dataFolder, QString *error)
{
    lock.emplace(dataFolder, DeskLock::Kind::Exclusive);
    if (lock->isHeld())
        return true;
    *error = lock->isBusy() ? QStringLiteral("A Tallymere desk program has the stores in %1 open; close it and try again.")
                                  .arg(native(dataFolder))
                            : lock->errorText();
    return false;
}

// Makes the stores of `stores` ready to be written.
bool installed(const StoreLocation &stores, QString *error)
{
    const QSqlError failure = Database::install(stores);
    if (!failure.isValid())
        return true;
    *error = engineText(failure);
    return false;
}

// Backs both stores up before something is replaced: the files as they
// are, the server into a pair of files (see backUpServer).
bool backUpFirst(const QString &dataFolder, const StoreLocation &stores, Outcome &outcome)
{
    QString why;
    if (stores.isServer()) {
        const Outcome made = backUpServer(stores, backupParent(dataFolder));
        outcome.backup = made.backup;
        why = made.error;
    } else if (const QSqlError error = Backup::backup(stores.folder(), backupParent(dataFolder), &outcome.backup);
               error.isValid()) {
        why = engineText(error);
    }
    if (why.isEmpty()) {
        // Backups hold the borrowers' names: the owner's alone, even where
        // an older program made the folder.
        QFile::setPermissions(backupParent(dataFolder), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return true;
    }
    outcome.error = QStringLiteral("Nothing was replaced, since no backup could be made first: %1").arg(why);
    return false;
}

// How messages name the stores as a whole.
QString storesName(const StoreLocation &stores)
{
    return stores.isServer() ? QStringLiteral("The stores on the server %1").arg(stores.name(Schema::File::Tallymere))
                             : QStringLiteral("The stores in %1").arg(native(stores.folder()));
}

qint64 loanCount(const StoreLocation &stores, QString *error)
{
    Database::Connection desk(stores, Schema::File::Tallymere);
    if (!openStore(desk, error))
        return -1;
    QSqlQuery q(desk.database());
    if (!q.exec(Sql::count(Schema::borrower().name, QString())) || !q.next()) {
        *error = engineText(desk.explain(q.lastError()));
        return -1;
    }
    return q.value(0).toLongLong();
}

QString newerStore(const QString &name, int version, Schema::File file)
{
    return QStringLiteral("The store %1 is of version %2, made by a newer Tallymere; this program knows "
                          "version %3 at most.")
        .arg(name)
        .arg(version)
        .arg(Schema::currentVersion(file));
}

// Replaces the rows of the table `name` on `to` with those of `from`, only
// `columns`, read as they come in row order.
QString copyBetween(const Database::Connection &from, const Database::Connection &to, const QString &name,
                 const QStringList &columns, qint64 *rows, const Progress &progress)
{
    QSqlDatabase source = from.database();
    QSqlDatabase target = to.database();
    QSqlQuery clear(target);
    if (!clear.exec(Sql::deleteAll(name)))
        return engineText(to.explain(clear.lastError()));
    QSqlQuery read(source);
    read.setForwardOnly(true);
    if (!read.exec(Sql::selectAll(name, columns)))
        return engineText(from.explain(read.lastError()));
    QSqlQuery insert(target);
    if (!insert.prepare(Sql::insert(name, columns)))
        return engineText(to.explain(insert.lastError()));
    qint64 n = 0;
    while (read.next()) {
        for (int c = 0; c < columns.size(); ++c)
            insert.bindValue(c, read.value(c));
        if (!insert.exec())
            return engineText(to.explain(insert.lastError()));
        if (++n % ReportEvery == 0 && progress)
            progress(name, n, -1);
    }
    if (read.lastError().isValid())
        return engineText(from.explain(read.lastError()));
    *rows += n;
    return {};
}

// Replaces the rows of `table` on `to` with those of `from`, every row
// keeping its identity and version, read as they come in row order.
QString copyTable(const Database::Connection &from, const Database::Connection &to, const Schema::Table &table,
                  qint64 *rows, const Progress &progress)
{
    QSqlDatabase target = to.database();
    const bool books = table.name == Schema::books().name;
    if (books)
        if (const QSqlError e = GramTable::suspend(target); e.isValid())
            return engineText(to.explain(e));
    const QStringList columns = QStringList{Schema::IdColumn, Schema::VersionColumn} + table.fields;
    if (const QString error = copyBetween(from, to, table.name, columns, rows, progress); !error.isEmpty())
        return error;
    if (books)
        if (const QSqlError e = GramTable::resume(target); e.isValid())
            return engineText(to.explain(e));
    return {};
}

// Replaces the loan history on `to` with that of `from`, desks and all:
// copied after the loans, it also replaces what their copy wrote into it.
QString copyHistory(const Database::Connection &from, const Database::Connection &to, const Progress &progress)
{
    if (!to.location().isServer()) {
        QSqlQuery keepDesks(to.database());
        if (!keepDesks.exec(SqliteSql::dropDeskTrigger()))
            return engineText(to.explain(keepDesks.lastError()));
    }
    qint64 rows = 0;
    return copyBetween(from, to, Schema::History::Table, QStringList{Schema::IdColumn} + Schema::History::columns(), &rows,
                    progress);
}

// Writes the backup in `unfinished` to the disk and gives it its real name.
QString finishBackup(const QString &unfinished, const QDateTime &when, QString *made)
{
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere})
        if (!StoreSwap::syncFile(storePath(unfinished, file)))
            return QStringLiteral("Cannot write %1 to the disk.").arg(native(storePath(unfinished, file)));
    const QSqlError error = Backup::finishFolder(unfinished, when, made);
    return error.isValid() ? engineText(error) : QString();
}

// Writes the three tables as `server`'s open transaction sees them into a
// new pair of store files in `folder`.
QString writeBackup(const Database::Connection &server, const QString &folder, qint64 *rows, const Progress &progress)
{
    QSqlDatabase source = server.database();
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        QSqlError versionError;
        const int version = Dialect::of(source).version(source, file, &versionError);
        if (version < 0)
            return engineText(server.explain(versionError));
        if (version > Schema::currentVersion(file))
            return newerStore(QStringLiteral("%1 (%2)").arg(server.name(), Schema::fileName(file)), version, file);
        // A store as a desk makes it, its first rows then replaced.
        const QString path = storePath(folder, file);
        if (const QSqlError error = Database::installFile(path, file); error.isValid())
            return engineText(error);
        Database::Connection to(path);
        QString error;
        if (!openStore(to, &error))
            return error;
        QSqlDatabase target = to.database();
        if (!target.transaction())
            return engineText(to.explain(target.lastError()));
        for (const Schema::Table *table : Schema::tables(file))
            if (error = copyTable(server, to, *table, rows, progress); !error.isEmpty()) {
                target.rollback();
                return error;
            }
        if (file == Schema::File::Tallymere)
            if (error = copyHistory(server, to, progress); !error.isEmpty()) {
                target.rollback();
                return error;
            }
        if (!target.commit())
            return engineText(to.explain(target.lastError()));
    }
    return {};
}

bool execOn(const Database::Connection &connection, const QString &sql, QString *error)
{
    QSqlQuery q(connection.database());
    if (q.exec(sql))
        return true;
    *error = engineText(connection.explain(q.lastError()));
    return false;
}

// Replaces every row on the server `to` (in its open transaction) with the
// rows of the store files of `files`, identities kept.
QString copyIntoServer(const Database::Connection &to, const StoreLocation &files, qint64 *rows,
                       const Progress &progress)
{
    for (const Schema::Table *table : {&Schema::books(), &Schema::borrower(), &Schema::user()}) {
        Database::Connection from(files, table->file);
        QString error;
        if (!openStore(from, &error))
            return error;
        if (error = copyTable(from, to, *table, rows, progress); !error.isEmpty())
            return error;
        if (table == &Schema::user())
            if (error = copyHistory(from, to, progress); !error.isEmpty())
                return error;
    }
    QString error;
    for (const QString &statement : ServerSql::followIdentities())
        if (!execOn(to, statement, &error))
            return error;
    return {};
}

// Takes the server to this work alone: no install, move or restore
// elsewhere, and no desk writing, until the transaction ends.
bool takeServer(const Database::Connection &server, QString *error)
{
    return execOn(server, ServerSql::lockForInstall(), error) && execOn(server, ServerSql::lockTables(), error);
}

// Opens `to` and begins its transaction, the server taken to this work
// alone (see takeServer).
bool beginAlone(Database::Connection &to, QString *error)
{
    if (!openStore(to, error))
        return false;
    QSqlDatabase db = to.database();
    if (!db.transaction()) {
        *error = engineText(to.explain(db.lastError()));
        return false;
    }
    if (takeServer(to, error))
        return true;
    db.rollback();
    return false;
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
            .arg(table.name, native(source.name()), missing.size() > 1 ? QStringLiteral("s") : QString(),
                 quotedNames(missing));
    return {};
}

// Copies every row the plan's source holds into its table on `db`.
QString copyRows(QSqlDatabase &db, const Plan &plan, qint64 *rows, const Progress &progress)
{
    const Schema::Table &table = *plan.table;
    QSqlQuery insert(db);
    if (!insert.prepare(Sql::insert(table.name, table.fields)))
        return engineText(insert.lastError());
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
                        .arg(table.name, native(plan.source->name()), engineText(insert.lastError()));
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

// 1 when `server`'s database holds a Tallymere store, 0 when it holds none
// yet, -1 (and `*error`) when it cannot be asked.
int serverHasStore(const StoreLocation &server, QString *error)
{
    Database::Connection connection(server, Schema::File::Tallymere);
    if (!openStore(connection, error))
        return -1;
    return Dialect::server().hasTable(connection.database(), QStringLiteral("tallymere_version")) ? 1 : 0;
}

// The rows of the three tables on the server, in `to`'s transaction.
qint64 rowsOnServer(const Database::Connection &to, QString *error)
{
    qint64 rows = 0;
    for (const Schema::Table *table : {&Schema::books(), &Schema::borrower(), &Schema::user()}) {
        QSqlQuery q(to.database());
        if (!q.exec(Sql::count(table->name, QString())) || !q.next()) {
            *error = engineText(to.explain(q.lastError()));
            return -1;
        }
        rows += q.value(0).toLongLong();
    }
    return rows;
}

// What the server holds is backed up inside `to`'s transaction, with no
// desk able to write: the backup is exactly what gets replaced. The new
// folder in the desk's backups/ is `*kept`.
QString backUpInside(const Database::Connection &to, const QString &dataFolder, QString *kept,
                     const Progress &progress)
{
    // Written under an unfinished name, so that a program killed midway
    // leaves nothing that looks like a backup.
    const QDateTime when = QDateTime::currentDateTime();
    if (const QSqlError made = Backup::makeUnfinishedFolder(backupParent(dataFolder), when, kept); made.isValid())
        return engineText(made);
    qint64 backedUp = 0;
    if (QString error = writeBackup(to, *kept, &backedUp, progress); !error.isEmpty())
        return error;
    const QString unfinished = *kept;
    return finishBackup(unfinished, when, kept);
}

} // namespace

QString backupParent(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("backups"));
}

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
    QString text;
    switch (value.typeId()) {
    case QMetaType::Bool:
        text = value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        break;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        text = QString::number(value.toLongLong());
        break;
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        text = QString::number(value.toULongLong());
        break;
    case QMetaType::Float:
        text = shortest(value.toFloat());
        break;
    case QMetaType::Double:
        text = shortest(value.toDouble());
        break;
    case QMetaType::QUuid:
        text = value.toUuid().toString(QUuid::WithBraces).toUpper();
        break;
    default:
        *error = QStringLiteral("the field %1 holds a value of a kind the store cannot keep (%2)")
                     .arg(quotedName(field), QString::fromLatin1(value.typeName()));
        return std::nullopt;
    }
    if (dateField)
        return notADate(text);
    return QVariant(text);
}

namespace {

// Opens the store of `file` for an export, refused when it is missing or a
// newer program made it.
bool openForExport(const StoreLocation &stores, Schema::File file, Database::Connection &store, QString *error)
{
    const QString storePath = stores.path(file);
    if (!stores.isServer()) {
        if (!QFileInfo::exists(storePath)) {
            *error = QStringLiteral("The store %1 is missing.").arg(native(storePath));
            return false;
        }
        QSqlError versionError;
        const int version = Database::version(storePath, &versionError);
        if (version < 0) {
            *error = engineText(versionError);
            return false;
        }
        if (version > Schema::currentVersion(file)) {
            *error = newerStore(native(storePath), version, file);
            return false;
        }
    }
    if (!openStore(store, error))
        return false;
    if (stores.isServer()) {
        QSqlDatabase db = store.database();
        QSqlError versionError;
        const int version = Dialect::of(db).version(db, file, &versionError);
        if (version < 0) {
            *error = engineText(store.explain(versionError));
            return false;
        }
        if (version > Schema::currentVersion(file)) {
            *error = newerStore(store.name(), version, file);
            return false;
        }
    }
    return true;
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
// Forward only, the server's driver hands the rows over one at a time.
bool readServerRows(Database::Connection &store, const ExportQuery &query, QByteArray &chunk,
                    const std::function<bool()> &rowDone, QSqlError *error, bool *written)
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

// As readServerRows, straight from the engine's UTF-8 to the file's: a
// million rows pass through here, and Qt's values would cost a conversion
// each way.
bool readFileRows(Database::Connection &store, const ExportQuery &query, QByteArray &chunk,
                  const std::function<bool()> &rowDone, QSqlError *error, bool *written)
{
    sqlite3 *handle = sqliteHandle(store.database());
    if (!handle) {
        *error = StoreError::make(StoreError::Kind::Failed, QStringLiteral("The database engine is not SQLite."));
        return false;
    }
    sqlite3_stmt *raw = nullptr;
    const QByteArray statementText = query.select.toUtf8();
    int rc = sqlite3_prepare_v2(handle, statementText.constData(), int(statementText.size()), &raw, nullptr);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(raw, sqlite3_finalize);
    for (int i = 0; rc == SQLITE_OK && i < query.params.size(); ++i) {
        const QByteArray param = query.params.at(i).toString().toUtf8();
        rc = sqlite3_bind_text(raw, i + 1, param.constData(), int(param.size()), SQLITE_TRANSIENT);
    }
    while (rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW) {
        for (int i = 0; i < query.width; ++i) {
            if (i > 0)
                chunk += ',';
            if (sqlite3_column_type(raw, i) == SQLITE_NULL)
                continue;
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(raw, i));
            Csv::appendField(chunk, text ? QByteArrayView(text, sqlite3_column_bytes(raw, i)) : QByteArrayView("", 0));
        }
        if (query.extra) {
            chunk += ',';
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(raw, query.width));
            Csv::appendField(chunk, query.extra(text ? QByteArrayView(text, sqlite3_column_bytes(raw, query.width))
                                                     : QByteArrayView()));
        }
        if (!rowDone()) {
            *written = false;
            return false;
        }
        rc = SQLITE_OK;
    }
    if (rc == SQLITE_DONE)
        return true;
    *error = QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(handle)), QSqlError::StatementError,
                       QString::number(sqlite3_errcode(handle)));
    return false;
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
    QSqlError readError;
    bool written = true;
    const bool read = store.location().isServer() ? readServerRows(store, query, chunk, rowDone, &readError, &written)
                                                  : readFileRows(store, query, chunk, rowDone, &readError, &written);
    if (read && out.write(chunk) != chunk.size())
        written = false;
    if (!read && written) {
        outcome.error = engineText(store.explain(readError));
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

Outcome importBooks(const QString &dataFolder, const StoreLocation &stores, const QString &csvPath, bool replace,
                    const Progress &progress)
{
    Outcome outcome;
    const Schema::Table &books = Schema::books();
    QFile file(csvPath);
    if (!file.open(QIODevice::ReadOnly)) {
        outcome.error = QStringLiteral("Cannot read %1: %2").arg(native(csvPath), file.errorString());
        return outcome;
    }
    const double size = double(qMax<qint64>(1, file.size()));
    Csv::Reader reader(&file);
    const auto unreadable = [&] {
        outcome.error = QStringLiteral("The file %1 cannot be read as CSV: %2.").arg(native(csvPath), reader.errorText());
        return outcome;
    };

    QStringList header;
    if (!reader.next(header)) {
        if (!reader.errorText().isEmpty())
            return unreadable();
        outcome.error = QStringLiteral("The file %1 is empty: it has no header row.").arg(native(csvPath));
        return outcome;
    }
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
        faults << QStringLiteral("names the unknown column%1 %2")
                      .arg(unknown.size() > 1 ? QStringLiteral("s") : QString(), quotedNames(unknown));
    if (!twice.isEmpty())
        faults << QStringLiteral("names the column%1 %2 more than once")
                      .arg(twice.size() > 1 ? QStringLiteral("s") : QString(), quotedNames(twice));
    if (!missing.isEmpty())
        faults << QStringLiteral("lacks the column%1 %2")
                      .arg(missing.size() > 1 ? QStringLiteral("s") : QString(), quotedNames(missing));
    if (!faults.isEmpty()) {
        outcome.error = QStringLiteral("The header row of %1 %2; it must name the %3 fields of books exactly.")
                            .arg(native(csvPath), faults.join(QStringLiteral(" and ")))
                            .arg(books.fields.size());
        return outcome;
    }

    std::optional<DeskLock> lock;
    if (!present(lock, dataFolder, &outcome.error) || !installed(stores, &outcome.error))
        return outcome;
    if (replace && !backUpFirst(dataFolder, stores, outcome))
        return outcome;
    StopPoint::step("import");
    Database::Connection store(stores, Schema::File::Transactions);
    if (!openStore(store, &outcome.error))
        return outcome;
    QSqlDatabase db = store.database();
    if (!db.transaction()) {
        outcome.error = engineText(db.lastError());
        return outcome;
    }
    const auto fail = [&](const QString &error) {
        db.rollback();
        outcome.error = error;
        outcome.rows = 0;
        return outcome;
    };
    QString error;
    if (replace && !exec(db, Sql::deleteAll(books.name), &error))
        return fail(error);
    if (const QSqlError e = GramTable::suspend(db); e.isValid())
        return fail(engineText(store.explain(e)));
    QSqlQuery insert(db);
    if (!insert.prepare(Sql::insert(books.name, header)))
        return fail(engineText(insert.lastError()));
    QStringList record;
    while (reader.next(record)) {
        if (record.size() != header.size())
            return fail(QStringLiteral("Line %1 of %2 has %3 fields where its header row has %4.")
                            .arg(reader.line())
                            .arg(native(csvPath))
                            .arg(record.size())
                            .arg(header.size()));
        for (qsizetype i = 0; i < record.size(); ++i) {
            const QString &text = record.at(i);
            if (tooLong(text))
                return fail(QStringLiteral("Line %1 of %2: %3.")
                                .arg(reader.line())
                                .arg(native(csvPath), tooLongText(header.at(i), text)));
            insert.bindValue(int(i), text.isNull() ? nullText() : QVariant(text));
        }
        if (!insert.exec()) {
            // A full disk is no fault of the line it was met on.
            const QSqlError error = store.explain(insert.lastError());
            if (StoreError::kind(error) == StoreError::Kind::Full)
                return fail(engineText(error));
            return fail(QStringLiteral("Line %1 of %2 cannot be stored: %3")
                            .arg(reader.line())
                            .arg(native(csvPath), engineText(insert.lastError())));
        }
        if (++outcome.rows % ReportEvery == 0 && progress)
            progress(books.name, outcome.rows, double(reader.bytesRead()) / size);
    }
    if (!reader.errorText().isEmpty()) {
        db.rollback();
        outcome.rows = 0;
        return unreadable();
    }
    if (const QSqlError e = GramTable::resume(db); e.isValid())
        return fail(engineText(store.explain(e)));
    StopPoint::step("import");
    if (!db.commit())
        return fail(engineText(store.explain(db.lastError())));
    StopPoint::step("import");
    return outcome;
}

namespace {

// Replaces the rows of the three tables of `stores` with those planned, both
// stores written before either is committed.
Outcome writeTables(Plan &books, Plan &loans, Plan &users, const TableSource &desk, const StoreLocation &stores,
                    Outcome outcome, const Progress &progress)
{
    // On the server one database holds all three tables: one connection,
    // one transaction.
    const bool shared = stores.isServer();
    Database::Connection catalogueStore(stores, Schema::File::Transactions);
    std::optional<Database::Connection> ownDeskStore;
    if (!shared)
        ownDeskStore.emplace(stores, Schema::File::Tallymere);
    const Database::Connection &deskStore = shared ? catalogueStore : *ownDeskStore;
    if (!openStore(catalogueStore, &outcome.error) || (!shared && !openStore(*ownDeskStore, &outcome.error)))
        return outcome;
    QSqlDatabase catalogueDb = catalogueStore.database();
    QSqlDatabase deskDb = deskStore.database();
    // Both stores are written before either is committed, so that a fault
    // anywhere leaves both as they were.
    if (!catalogueDb.transaction()) {
        outcome.error = engineText(catalogueStore.explain(catalogueDb.lastError()));
        return outcome;
    }
    if (!shared && !deskDb.transaction()) {
        catalogueDb.rollback();
        outcome.error = engineText(deskStore.explain(deskDb.lastError()));
        return outcome;
    }
    const auto fail = [&](const QString &error) {
        catalogueDb.rollback();
        if (!shared)
            deskDb.rollback();
        outcome.error = error;
        outcome.rows = 0;
        return outcome;
    };

    QString error;
    qint64 rows = 0;
    if (!exec(catalogueDb, Sql::deleteAll(books.table->name), &error))
        return fail(error);
    if (const QSqlError e = GramTable::suspend(catalogueDb); e.isValid())
        return fail(engineText(catalogueStore.explain(e)));
    if (error = copyRows(catalogueDb, books, &rows, progress); !error.isEmpty())
        return fail(error);
    if (const QSqlError e = GramTable::resume(catalogueDb); e.isValid())
        return fail(engineText(catalogueStore.explain(e)));
    outcome.rows += rows;
    if (!exec(deskDb, Sql::deleteAll(loans.table->name), &error))
        return fail(error);
    if (error = copyRows(deskDb, loans, &rows, progress); !error.isEmpty())
        return fail(error);
    outcome.rows += rows;
    if (!exec(deskDb, Sql::savepoint(UsersSavepoint), &error) || !exec(deskDb, Sql::deleteAll(users.table->name), &error))
        return fail(error);
    if (error = copyRows(deskDb, users, &rows, progress); !error.isEmpty())
        return fail(error);
    if (rows == 0) {
        if (!exec(deskDb, Sql::rollbackTo(UsersSavepoint), &error))
            return fail(error);
        outcome.notes << QStringLiteral("Table tblUser in %1 holds no account; the desk's accounts were kept.")
                             .arg(native(desk.name()));
    }
    outcome.rows += rows;
    if (!exec(deskDb, Sql::release(UsersSavepoint), &error))
        return fail(error);

    if (!catalogueDb.commit())
        return fail(engineText(catalogueStore.explain(catalogueDb.lastError())));
    if (!shared && !deskDb.commit()) {
        const QString why = engineText(deskStore.explain(deskDb.lastError()));
        deskDb.rollback();
        outcome.rows = 0;
        outcome.error = QStringLiteral("The catalogue was imported, but the loans and accounts could not be: %1")
                            .arg(why);
        return outcome;
    }
    return outcome;
}

} // namespace

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
    // beside half of this one): no desk may have them open meanwhile.
    std::optional<DeskLock> lock;
    if (stores.isServer() ? !present(lock, dataFolder, &outcome.error) : !alone(lock, dataFolder, &outcome.error))
        return outcome;
    if (!installed(stores, &outcome.error))
        return outcome;
    const qint64 held = loanCount(stores, &outcome.error);
    if (held < 0)
        return outcome;
    if (held > 0 && !replace) {
        outcome.needsReplace = true;
        outcome.error = QStringLiteral("%1 already hold %2 loan%3; nothing was imported.")
                            .arg(storesName(stores))
                            .arg(held)
                            .arg(held == 1 ? QString() : QStringLiteral("s"));
        return outcome;
    }
    if (replace && !backUpFirst(dataFolder, stores, outcome))
        return outcome;

    if (stores.isServer())
        return writeTables(books, loans, users, desk, stores, outcome, progress);
    const Database::InstallLock installing(stores.folder());
    const QString staging = QDir(stores.folder()).filePath(StoreSwap::stagingName());
    QSqlError error = installing.isHeld() ? Database::recoverHeld(stores.folder()) : installing.error();
    if (!error.isValid())
        error = Backup::stageStores(stores.folder(), staging, Backup::Source::Store);
    if (error.isValid()) {
        QDir(staging).removeRecursively();
        outcome.error = engineText(error);
        return outcome;
    }
    outcome = writeTables(books, loans, users, desk, StoreLocation::files(staging), outcome, progress);
    if (!outcome.ok()) {
        QDir(staging).removeRecursively();
        return outcome;
    }
    StopPoint::step("import");
    if (error = Backup::swapIn(stores.folder(), QDateTime(), nullptr); error.isValid()) {
        outcome.error = engineText(error);
        outcome.rows = 0;
    }
    return outcome;
}

} // namespace Transfer

namespace Transfer {

Outcome moveToServer(const QString &dataFolder, const StoreLocation &server, bool replace, const Progress &progress)
{
    Outcome outcome;
    const StoreLocation files = StoreLocation::files(dataFolder);
    // A store this move sets up holds only the first rows of a new store;
    // one that was there before holds rows somebody put there.
    const int before = serverHasStore(server, &outcome.error);
    if (before < 0)
        return outcome;
    for (const StoreLocation &where : {files, server})
        if (!installed(where, &outcome.error))
            return outcome;
    Database::Connection to(server, Schema::File::Tallymere);
    if (!beginAlone(to, &outcome.error))
        return outcome;
    QSqlDatabase target = to.database();
    QString kept;
    auto fail = [&](const QString &error) {
        target.rollback();
        if (!kept.isEmpty())
            QDir(kept).removeRecursively();
        outcome.error = error;
        outcome.rows = 0;
        return outcome;
    };
    const qint64 held = before > 0 ? rowsOnServer(to, &outcome.error) : 0;
    if (held < 0)
        return fail(outcome.error);
    if (held > 0 && !replace) {
        target.rollback();
        outcome.needsReplace = true;
        outcome.error = QStringLiteral("The server %1 already holds a catalogue, loans or accounts.").arg(to.name());
        return outcome;
    }
    QString error;
    if (held > 0 && !(error = backUpInside(to, dataFolder, &kept, progress)).isEmpty())
        return fail(QStringLiteral("Nothing was replaced, since no backup of the server could be made first: %1")
                        .arg(error));
    StopPoint::step("move");
    if (error = copyIntoServer(to, files, &outcome.rows, progress); !error.isEmpty())
        return fail(error);
    StopPoint::step("move");
    if (!target.commit())
        return fail(engineText(to.explain(target.lastError())));
    outcome.backup = kept;
    return outcome;
}

Outcome backUpServer(const StoreLocation &server, const QString &parent, const Progress &progress)
{
    Outcome outcome;
    Database::Connection from(server, Schema::File::Tallymere);
    if (!openStore(from, &outcome.error))
        return outcome;
    QSqlDatabase db = from.database();
    // One snapshot for all three tables: the loans agree with the books
    // and the accounts, whatever the desks save meanwhile, and nobody waits.
    if (!db.transaction()) {
        outcome.error = engineText(from.explain(db.lastError()));
        return outcome;
    }
    QString folder;
    if (!execOn(from, ServerSql::readSnapshot(), &outcome.error)) {
        db.rollback();
        return outcome;
    }
    const QDateTime when = QDateTime::currentDateTime();
    if (const QSqlError error = Backup::makeUnfinishedFolder(parent, when, &folder); error.isValid()) {
        db.rollback();
        outcome.error = engineText(error);
        return outcome;
    }
    outcome.error = writeBackup(from, folder, &outcome.rows, progress);
    db.rollback();
    if (outcome.ok())
        outcome.error = finishBackup(folder, when, &outcome.backup);
    if (!outcome.ok()) {
        QDir(folder).removeRecursively();
        outcome.rows = 0;
    }
    return outcome;
}

Outcome restoreServer(const QString &dataFolder, const StoreLocation &server, const QString &backupFolder,
                      const Progress &progress)
{
    Outcome outcome;
    if (const QSqlError error = Backup::checkBackup(backupFolder); error.isValid()) {
        outcome.error = engineText(error);
        return outcome;
    }
    // A desk program of this folder would find its rows changed under it.
    const DeskLock lock(dataFolder, DeskLock::Kind::Exclusive);
    if (!lock.isHeld()) {
        outcome.error = lock.isBusy() ? QStringLiteral("A Tallymere desk program has the stores in %1 open; "
                                                       "close it and try again.")
                                            .arg(native(dataFolder))
                                      : lock.errorText();
        return outcome;
    }
    // The backup is copied aside and brought up to this program's version
    // there; the backup itself stays as it was made.
    QTemporaryDir staging(QDir(dataFolder).filePath(QStringLiteral(".restore-XXXXXX")));
    if (!staging.isValid()) {
        outcome.error = QStringLiteral("Cannot create a folder in %1: %2").arg(native(dataFolder), staging.errorString());
        return outcome;
    }
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere})
        if (const QSqlError error = Backup::copyStore(storePath(backupFolder, file), storePath(staging.path(), file), {},
                                                      Backup::PagesPerStep, Backup::Source::Backup);
            error.isValid()) {
            outcome.error = engineText(error);
            return outcome;
        }
    const StoreLocation files = StoreLocation::files(staging.path());
    if (!installed(files, &outcome.error) || !installed(server, &outcome.error))
        return outcome;

    Database::Connection to(server, Schema::File::Tallymere);
    if (!beginAlone(to, &outcome.error))
        return outcome;
    QSqlDatabase target = to.database();
    QString kept;
    auto fail = [&](const QString &error) {
        target.rollback();
        if (!kept.isEmpty())
            QDir(kept).removeRecursively();
        outcome.error = error;
        outcome.rows = 0;
        return outcome;
    };
    QString error;
    if (error = backUpInside(to, dataFolder, &kept, progress); !error.isEmpty())
        return fail(QStringLiteral("Nothing was restored, since no backup of the server could be made first: %1")
                        .arg(error));
    StopPoint::step("restore-server");
    if (error = copyIntoServer(to, files, &outcome.rows, progress); !error.isEmpty())
        return fail(error);
    StopPoint::step("restore-server");
    if (!target.commit())
        return fail(engineText(to.explain(target.lastError())));
    outcome.backup = kept;
    return outcome;
}

} // namespace Transfer
