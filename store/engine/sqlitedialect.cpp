// The SQLite side of the store: its dialect (its statements are in sqlitesql.cpp).
#include "store/engine/database.h"
#include "store/engine/dialect.h"
#include "store/engine/sql.h"
#include "store/engine/sqlitehandle.h"
#include "store/engine/sqlitesql.h"
#include "store/engine/storeerror.h"
#include "store/search/booksearch.h"
#include "store/search/criterion.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>

using Schema::quoted;
using SqliteSql::configureFile;

namespace {

// The trigram index finds a text of three characters or more.
constexpr int TrigramLength = 3;

void foldFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QByteArray folded = BookSearch::fold(QString::fromUtf8(text, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text(context, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

void deskFunction(sqlite3_context *context, int, sqlite3_value **)
{
    static const QByteArray desk = QSysInfo::machineHostName().toUtf8();
    sqlite3_result_text(context, desk.constData(), int(desk.size()), SQLITE_STATIC);
}

class SqliteDialect final : public Dialect
{
public:
    StoreError::Engine engine() const override { return StoreError::Engine::Sqlite; }
    QString driver() const override { return QStringLiteral("QSQLITE"); }

    StoreError configure(QSqlDatabase &db, const StoreLocation &, const QString &path) const override
    {
        // SQLite would quietly create a missing file; a missing store is an error.
        if (!QFileInfo::exists(path))
            return StoreError::make(StoreError::Kind::Missing,
                                    QStringLiteral("The store %1 is missing.").arg(QDir::toNativeSeparators(path)),
                                    QStringLiteral("unable to open database file"));
        configureFile(db, path);
        return {};
    }

    StoreError prepare(QSqlDatabase &db) const override
    {
        // Opening reads nothing; a first read tells a damaged file or a
        // folder where the journal cannot be made from a good store.
        QSqlQuery probe(db);
        if (!probe.exec(SqliteSql::countTables()) || !probe.next())
            return probe.lastError();
        // A save confirmed to the librarian is on the disk, even if the
        // machine loses power right after.
        if (QSqlQuery durable(db); !durable.exec(SqliteSql::durableSaves()))
            return durable.lastError();
        sqlite3 *sqlite = sqliteHandle(db);
        if (!sqlite
            || sqlite3_create_function(sqlite, "tallymere_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                       foldFunction, nullptr, nullptr)
                   != SQLITE_OK)
            return StoreError::make(StoreError::Kind::Failed, QStringLiteral("The text search could not be set up."));
        return nameDesk(db, sqlite);
    }

    // A store with a history has each change this connection makes kept
    // with this desk's host name.
    StoreError nameDesk(QSqlDatabase &db, sqlite3 *sqlite) const
    {
        if (sqlite3_create_function(sqlite, "tallymere_desk", 0, SQLITE_UTF8, nullptr, deskFunction, nullptr, nullptr)
            != SQLITE_OK)
            return StoreError::make(StoreError::Kind::Failed, QStringLiteral("The loan history could not be set up."));
        if (!hasTable(db, Schema::History::Table))
            return {};
        QSqlQuery q(db);
        return q.exec(SqliteSql::deskTrigger()) ? StoreError() : q.lastError();
    }

    QStringList columns(const QSqlDatabase &db, const QString &table) const override
    {
        QStringList names;
        const QSqlRecord record = db.record(table);
        for (int i = 0; i < record.count(); ++i)
            names << record.fieldName(i);
        return names;
    }

    bool hasTable(const QSqlDatabase &db, const QString &table) const override
    {
        QSqlQuery q(db);
        q.prepare(SqliteSql::hasTable());
        q.addBindValue(table);
        return q.exec() && q.next() && q.value(0).toInt() > 0;
    }

    QString likeIgnoringCase(const QString &column) const override
    {
        return QStringLiteral("%1 LIKE ? ESCAPE '\\'").arg(column);
    }

    QString insert(const QString &table, const QStringList &columns) const override
    {
        return Sql::insert(table, columns);
    }

    qint64 insertedId(QSqlQuery &query) const override
    {
        const QVariant id = query.lastInsertId();
        return id.isValid() ? id.toLongLong() : -1;
    }

    qint64 reserveId(const QSqlDatabase &, const QString &, StoreError *) const override { return -1; }

    QString from(const QString &table, const QString &through) const override
    {
        if (through.isEmpty())
            return quoted(table);
        return QStringLiteral("%1 JOIN %2 ON %2.%3 = %1.rowid").arg(quoted(through), quoted(table),
                                                                    quoted(Schema::IdColumn));
    }

    QString key(const QString &table, const QString &through) const override
    {
        if (through.isEmpty())
            return quoted(table) + QLatin1Char('.') + quoted(Schema::IdColumn);
        return quoted(through) + QStringLiteral(".rowid");
    }

    Contains contains(const QString &field, const QString &text, Path path) const override
    {
        const QString column = quoted(field);
        if (text.isEmpty())
            return {QStringLiteral("%1 IS NOT NULL").arg(column), {}, QString(), {}};
        const bool shortText = GramIndex::characters(text) < TrigramLength;
        // A short text has no trigram; its index only narrows the scan.
        const GramIndex::Narrowing narrowing =
            shortText && path != Path::Scan ? GramIndex::narrowing(field, text) : GramIndex::Narrowing{};
        if (path == Path::Automatic || shortText)
            path = shortText ? Path::Scan : Path::Index;
        // The index hands its rows over in identity order, so the first page
        // of a common word costs no more than a rare one.
        if (path == Path::Index)
            return {QStringLiteral("\"books_search\" MATCH ?"),
                    // An FTS5 phrase is quoted like an identifier.
                    {QStringLiteral("%1 : %2").arg(field, quoted(text))}, SqliteSql::searchTable(), {}};
        // SQLite's own LIKE ignores the case of ASCII letters at full speed;
        // only a text with other letters needs the fold, row by row.
        const QString pattern = QStringLiteral("%") + Criterion::toLike(Criterion::literal(BookSearch::fold(text))) + QStringLiteral("%");
        bool ascii = true;
        for (const QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii)
            return {QStringLiteral("%1 LIKE ? ESCAPE '\\'").arg(column), {pattern}, QString(), narrowing};
        return {QStringLiteral("tallymere_fold(%1) LIKE ? ESCAPE '\\'").arg(column), {pattern}, QString(), narrowing};
    }

    QStringList gramTriggers() const override { return SqliteSql::gramTriggers(); }
    QStringList dropGramTriggers() const override
    {
        return {QStringLiteral("DROP TRIGGER IF EXISTS \"books_grams_insert\""),
                QStringLiteral("DROP TRIGGER IF EXISTS \"books_grams_update\"")};
    }

    int version(const QSqlDatabase &db, Schema::File, StoreError *error) const override
    {
        QSqlQuery q(db);
        if (!q.exec(SqliteSql::readVersion()) || !q.next()) {
            if (error)
                *error = q.lastError();
            return -1;
        }
        return q.value(0).toInt();
    }

    StoreError setVersion(QSqlDatabase &db, Schema::File, int version) const override
    {
        QSqlQuery q(db);
        if (!q.exec(SqliteSql::writeVersion(version)))
            return q.lastError();
        return {};
    }

    // Installing and repairing
    StoreError install(const StoreLocation &location, const std::function<void()> &progress) const override
    {
        return Database::install(location.folder(), progress);
    }
    // The engine is built into the program.
    StoreError driverMissing() const override { return {}; }
    StoreError refusal(const StoreLocation &, const QSqlError &driverError, qint64) const override
    {
        return driverError;
    }
    QStringList rebuildSearch() const override { return SqliteSql::rebuildSearch(); }
    QString searchRebuilt() const override
    {
        return QStringLiteral("the search indexes were filled anew from books and their five triggers made again");
    }
    QString countSearchObjects() const override { return SqliteSql::countSearchObjects(); }
    int searchObjectCount() const override { return SqliteSql::searchObjects(); }
    QStringList rebuildHistory() const override { return SqliteSql::rebuildHistory(); }
    QString countHistoryObjects() const override { return SqliteSql::countHistoryObjects(); }
    int historyObjectCount() const override { return SqliteSql::historyObjectCount(); }

    // Moves and backups. A file is taken alone by the desk lock and the
    // install lock, a read transaction already reads one moment of it, and
    // a rowid follows the rows a file holds by itself.
    bool holdsEveryTable() const override { return false; }
    QStringList takeAlone() const override { return {}; }
    QStringList readSnapshot() const override { return {}; }
    QStringList keepHistoryDesks() const override { return {SqliteSql::dropDeskTrigger()}; }
    QStringList followIdentities() const override { return {}; }
};

} // namespace

const Dialect &Dialect::sqlite()
{
    static const SqliteDialect d;
    return d;
}
