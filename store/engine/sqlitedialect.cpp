// The SQLite side of the store: its dialect and its own statements.
#include "store/search/booksearch.h"
#include "store/search/criterion.h"
#include "store/engine/dialect.h"
#include "store/engine/gramtable.h"
#include "store/engine/sql.h"
#include "store/engine/sqlitehandle.h"
#include "store/engine/sqlitesql.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>

#include <utility>

using Schema::quoted;
using SqliteSql::configureFile;

namespace {

// The trigram index finds a text of three characters or more.
constexpr int TrigramLength = 3;

const QString SearchTable = QStringLiteral("books_search");
const QString PositionsTable = QStringLiteral("books_gram_positions");
const QStringList SearchTables{SearchTable, GramIndex::Table, PositionsTable};
const QStringList SearchTriggers{QStringLiteral("books_search_insert"), QStringLiteral("books_search_delete"),
                                 QStringLiteral("books_search_update"), QStringLiteral("books_grams_insert"),
                                 QStringLiteral("books_grams_update")};

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

QString searchIndex()
{
    return QStringLiteral("CREATE VIRTUAL TABLE \"books_search\" USING fts5(\"Title\", \"Author\", content='books',"
                          " content_rowid='rowid', tokenize='trigram case_sensitive 0')");
}

// The index is keyed on the identity column (books' rowid once it has one).
QStringList searchTriggers(const QString &id)
{
    return {QStringLiteral("CREATE TRIGGER \"books_search_insert\" AFTER INSERT ON \"books\" BEGIN"
                           " INSERT INTO \"books_search\" (rowid, \"Title\", \"Author\")"
                           " VALUES (new.%1, new.\"Title\", new.\"Author\"); END")
                .arg(id),
            QStringLiteral("CREATE TRIGGER \"books_search_delete\" AFTER DELETE ON \"books\" BEGIN"
                           " INSERT INTO \"books_search\" (\"books_search\", rowid, \"Title\", \"Author\")"
                           " VALUES ('delete', old.%1, old.\"Title\", old.\"Author\"); END")
                .arg(id),
            QStringLiteral("CREATE TRIGGER \"books_search_update\" AFTER UPDATE ON \"books\" BEGIN"
                           " INSERT INTO \"books_search\" (\"books_search\", rowid, \"Title\", \"Author\")"
                           " VALUES ('delete', old.%1, old.\"Title\", old.\"Author\");"
                           " INSERT INTO \"books_search\" (rowid, \"Title\", \"Author\")"
                           " VALUES (new.%1, new.\"Title\", new.\"Author\"); END")
                .arg(id)};
}

// The short-text index: a piece's row per block, and the triggers that
// add the pieces of every new or changed book in plain SQL (so that any
// tool writing the catalogue keeps it in step). A piece whose last book in
// a block is changed or removed stays listed; the search then finds no
// match there and looks on. The positions table lists every place a piece
// can start in a field (fields hold 255 characters at most).
QStringList gramTables()
{
    return {QStringLiteral("CREATE TABLE %1 (\"field\" TEXT NOT NULL, \"gram\" TEXT NOT NULL,"
                           " \"block\" INTEGER NOT NULL, PRIMARY KEY (\"field\", \"gram\", \"block\")) WITHOUT ROWID")
                .arg(quoted(GramIndex::Table)),
            QStringLiteral("CREATE TABLE %1 (\"n\" INTEGER PRIMARY KEY)").arg(quoted(PositionsTable)),
            QStringLiteral("INSERT INTO %1 (\"n\") WITH RECURSIVE p(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM p"
                           " WHERE n < %2) SELECT n FROM p")
                .arg(quoted(PositionsTable))
                .arg(Schema::MaxTextLength)};
}

QStringList gramTriggers()
{
    QStringList pieces;
    for (const QString &field : {QStringLiteral("Title"), QStringLiteral("Author")})
        for (int length = 1; length <= GramIndex::Length; ++length)
            pieces << QStringLiteral("SELECT '%1', lower(substr(new.%2, p.\"n\", %3)), new.%4 >> %5 FROM %6 p"
                                     " WHERE p.\"n\" + %3 - 1 <= length(new.%2)")
                          .arg(field, quoted(field))
                          .arg(length)
                          .arg(quoted(Schema::IdColumn))
                          .arg(GramIndex::BlockBits)
                          .arg(quoted(PositionsTable));
    const QString add = QStringLiteral(" INSERT OR IGNORE INTO %1 (\"field\", \"gram\", \"block\") %2; END")
                            .arg(quoted(GramIndex::Table), pieces.join(QStringLiteral(" UNION ")));
    return {QStringLiteral("CREATE TRIGGER \"books_grams_insert\" AFTER INSERT ON \"books\" BEGIN") + add,
            QStringLiteral("CREATE TRIGGER \"books_grams_update\" AFTER UPDATE OF \"Title\", \"Author\" ON"
                           " \"books\" BEGIN")
                + add};
}

QString rebuildIndex()
{
    return QStringLiteral("INSERT INTO \"books_search\" (\"books_search\") VALUES ('rebuild')");
}

QString dateCheck()
{
    return QStringLiteral("length(%1) = 10 AND date(%1) = %1");
}

// The table moved into its shape with hidden columns: every row kept with
// its rowid as its identity, so row order, bookmarks and the search index
// stay as they were, and no later compaction of the file can renumber them.
QStringList withHiddenColumns(const Schema::Table &table)
{
    const QString name = quoted(table.name);
    const QString rebuilt = quoted(table.name + QStringLiteral("_rebuilt"));
    QStringList fields;
    for (const QString &f : table.fields)
        fields << quoted(f);
    const QString list = fields.join(QLatin1Char(','));
    return {QStringLiteral("CREATE TABLE %1 (%2 INTEGER PRIMARY KEY, %3 INTEGER NOT NULL DEFAULT 0, %4)")
                .arg(rebuilt, quoted(Schema::IdColumn), quoted(Schema::VersionColumn),
                     Schema::fieldDefinitions(table, dateCheck()).join(QStringLiteral(", "))),
            QStringLiteral("INSERT INTO %1 (%2, %3) SELECT rowid, %3 FROM %4 ORDER BY rowid")
                .arg(rebuilt, quoted(Schema::IdColumn), list, name),
            QStringLiteral("DROP TABLE %1").arg(name), QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(rebuilt, name)};
}

// The loan history (see Schema::History): its table, and the triggers on
// the loans and the accounts that write it in plain SQL, so that the
// sqlite3 shell or any other tool writing the store is kept in it too.
// Such a tool names no desk: the row keeps UnknownDesk, and each of this
// program's own connections names its desk through deskTrigger().
const QStringList HistoryTriggers{
    QStringLiteral("tblBorrower_history_insert"), QStringLiteral("tblBorrower_history_update"),
    QStringLiteral("tblBorrower_history_delete"), QStringLiteral("tblUser_history_insert"),
    QStringLiteral("tblUser_history_update"),     QStringLiteral("tblUser_history_delete")};

QString historyNow()
{
    return QStringLiteral("strftime('%Y-%m-%d %H:%M:%f', 'now')");
}

// The whole row `row` (old or new) of the loans as a JSON object.
QString loanObject(const QString &row)
{
    QStringList pairs;
    for (const QString &field : QStringList{Schema::IdColumn, Schema::VersionColumn} + Schema::borrower().fields)
        pairs << QStringLiteral("'%1', %2.%3").arg(field, row, quoted(field));
    return QStringLiteral("json_object(%1)").arg(pairs.join(QStringLiteral(", ")));
}

QString historyTable()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 INTEGER PRIMARY KEY, %3 TEXT NOT NULL, %4 TEXT NOT NULL"
                          " DEFAULT '%5', %6 TEXT, %7 TEXT NOT NULL, %8 INTEGER, %9 TEXT, %10 TEXT NOT NULL, %11 TEXT,"
                          " %12 TEXT)")
        .arg(quoted(Schema::History::Table), quoted(Schema::IdColumn), quoted(Schema::History::At),
             quoted(Schema::History::Desk), Schema::History::UnknownDesk, quoted(Schema::History::Role),
             quoted(Schema::History::Source), quoted(Schema::History::RowId), quoted(Schema::History::Accession))
        .arg(quoted(Schema::History::Kind), quoted(Schema::History::Before), quoted(Schema::History::After));
}

QString historyIndex()
{
    return QStringLiteral("CREATE INDEX IF NOT EXISTS \"tallymere_history_accession\" ON %1 (%2)")
        .arg(quoted(Schema::History::Table), quoted(Schema::History::Accession));
}

QString historyInsert(const QString &columns, const QString &values)
{
    return QStringLiteral(" INSERT INTO %1 (\"at\", \"table_name\", \"kind\"%2) %3; END")
        .arg(quoted(Schema::History::Table), columns, values);
}

QStringList loanHistoryTriggers()
{
    const QString on = QStringLiteral("CREATE TRIGGER \"tblBorrower_history_%1\" AFTER %2 ON \"tblBorrower\" BEGIN");
    const QString row = QStringLiteral(", \"row_id\", \"accession\", \"%1\"");
    QStringList pairs;
    for (const QString &field : Schema::borrower().fields)
        pairs << QStringLiteral("SELECT '%1' AS f, old.%2 AS o, new.%2 AS n").arg(field, quoted(field));
    // A change keeps only the fields it changed, before and after.
    const QString changed =
        QStringLiteral("SELECT %1, 'tblBorrower', 'changed', new.%2, new.\"AccessionNumber\","
                       " json_group_object(f, o), json_group_object(f, n) FROM (%3) WHERE o IS NOT n")
            .arg(historyNow(), quoted(Schema::IdColumn), pairs.join(QStringLiteral(" UNION ALL ")));
    return {on.arg(QStringLiteral("insert"), QStringLiteral("INSERT"))
                + historyInsert(row.arg(QStringLiteral("after")),
                                QStringLiteral("VALUES (%1, 'tblBorrower', 'added', new.%2, new.\"AccessionNumber\", %3)")
                                    .arg(historyNow(), quoted(Schema::IdColumn), loanObject(QStringLiteral("new")))),
            on.arg(QStringLiteral("update"), QStringLiteral("UPDATE"))
                + historyInsert(row.arg(QStringLiteral("before\", \"after")), changed),
            on.arg(QStringLiteral("delete"), QStringLiteral("DELETE"))
                + historyInsert(row.arg(QStringLiteral("before")),
                                QStringLiteral("VALUES (%1, 'tblBorrower', 'deleted', old.%2, old.\"AccessionNumber\", %3)")
                                    .arg(historyNow(), quoted(Schema::IdColumn), loanObject(QStringLiteral("old"))))};
}

// Of an account only the time, the desk and the kind: never a password,
// its confirmation or its hint.
QStringList accountHistoryTriggers()
{
    QStringList triggers;
    for (const auto &[name, kind] : {std::pair{QStringLiteral("insert"), QStringLiteral("added")},
                                     std::pair{QStringLiteral("update"), QStringLiteral("changed")},
                                     std::pair{QStringLiteral("delete"), QStringLiteral("deleted")}})
        triggers << QStringLiteral("CREATE TRIGGER \"tblUser_history_%1\" AFTER %2 ON \"tblUser\" BEGIN").arg(name, name.toUpper())
                        + historyInsert(QString(), QStringLiteral("VALUES (%1, 'tblUser', '%2')").arg(historyNow(), kind));
    return triggers;
}

QStringList historyObjects()
{
    return QStringList{historyTable(), historyIndex()} + loanHistoryTriggers() + accountHistoryTriggers();
}

// Names the desk in every history row this connection writes (a temporary
// trigger: it lives and dies with the connection).
QString deskTrigger()
{
    return QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS \"tallymere_history_desk\" AFTER INSERT ON %1"
                          " WHEN new.%2 = '%3' BEGIN UPDATE %1 SET %2 = tallymere_desk() WHERE %4 = new.%4; END")
        .arg(quoted(Schema::History::Table), quoted(Schema::History::Desk), Schema::History::UnknownDesk,
             quoted(Schema::IdColumn));
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

    QSqlError configure(QSqlDatabase &db, const StoreLocation &, const QString &path) const override
    {
        // SQLite would quietly create a missing file; a missing store is an error.
        if (!QFileInfo::exists(path))
            return StoreError::make(StoreError::Kind::Missing,
                                    QStringLiteral("The store %1 is missing.").arg(QDir::toNativeSeparators(path)),
                                    QStringLiteral("unable to open database file"));
        configureFile(db, path);
        return {};
    }

    QSqlError prepare(QSqlDatabase &db) const override
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
    QSqlError nameDesk(QSqlDatabase &db, sqlite3 *sqlite) const
    {
        if (sqlite3_create_function(sqlite, "tallymere_desk", 0, SQLITE_UTF8, nullptr, deskFunction, nullptr, nullptr)
            != SQLITE_OK)
            return StoreError::make(StoreError::Kind::Failed, QStringLiteral("The loan history could not be set up."));
        if (!hasTable(db, Schema::History::Table))
            return {};
        QSqlQuery q(db);
        return q.exec(deskTrigger()) ? QSqlError() : q.lastError();
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

    qint64 reserveId(const QSqlDatabase &, const QString &, QSqlError *) const override { return -1; }

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
                    {QStringLiteral("%1 : %2").arg(field, quoted(text))}, SearchTable, {}};
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

    QStringList gramTriggers() const override { return ::gramTriggers(); }
    QStringList dropGramTriggers() const override
    {
        return {QStringLiteral("DROP TRIGGER IF EXISTS \"books_grams_insert\""),
                QStringLiteral("DROP TRIGGER IF EXISTS \"books_grams_update\"")};
    }

    int version(const QSqlDatabase &db, Schema::File, QSqlError *error) const override
    {
        QSqlQuery q(db);
        if (!q.exec(SqliteSql::readVersion()) || !q.next()) {
            if (error)
                *error = q.lastError();
            return -1;
        }
        return q.value(0).toInt();
    }

    QSqlError setVersion(QSqlDatabase &db, Schema::File, int version) const override
    {
        QSqlQuery q(db);
        if (!q.exec(SqliteSql::writeVersion(version)))
            return q.lastError();
        return {};
    }

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

const Dialect &Dialect::of(const QSqlDatabase &db)
{
    return db.driverName() == server().driver() ? server() : sqlite();
}

const Dialect &Dialect::of(const StoreLocation &location)
{
    return location.isServer() ? server() : sqlite();
}

const Dialect &Dialect::of(StoreError::Engine engine)
{
    return engine == StoreError::Engine::Server ? server() : sqlite();
}

namespace SqliteSql {

void configureFile(QSqlDatabase &db, const QString &path)
{
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
}

QString createFirstShape(const Schema::Table &table)
{
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quoted(table.name), Schema::fieldDefinitions(table, dateCheck()).join(QStringLiteral(", ")));
}

const QList<Schema::Upgrade> &upgrades(Schema::File file)
{
    // Version 0 is the first store: exactly the tables of createFirstShape().
    static const QList<Schema::Upgrade> transactions{
        // 1: a trigram index over the two searched fields, kept in step with
        // books by triggers whoever writes it.
        {1, QStringList{searchIndex(), rebuildIndex()} + searchTriggers(QStringLiteral("rowid"))},
        // 2: the hidden columns. Dropping the old table takes its triggers;
        // they are made again on the identity, and the index is filled anew
        // in case a compaction had already renumbered the rows under it.
        {2, withHiddenColumns(Schema::books()) + searchTriggers(quoted(Schema::IdColumn))
                + QStringList{rebuildIndex()}},
        // 3: the index of short texts, filled from the books there are.
        {3, gramTables() + gramTriggers(), [](QSqlDatabase &db) { return GramTable::rebuild(db); }}};
    static const QList<Schema::Upgrade> tallymere{
        {1, withHiddenColumns(Schema::borrower()) + withHiddenColumns(Schema::user())},
        // 2: the loan history, empty, and the triggers that keep it.
        {2, historyObjects()}};
    return file == Schema::File::Transactions ? transactions : tallymere;
}

QString readVersion()
{
    return QStringLiteral("PRAGMA user_version");
}

QString writeVersion(int version)
{
    return QStringLiteral("PRAGMA user_version = %1").arg(version);
}

QString countTables()
{
    return QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'");
}

QString walJournal()
{
    return QStringLiteral("PRAGMA journal_mode=WAL");
}

QString rollbackJournal()
{
    return QStringLiteral("PRAGMA journal_mode=DELETE");
}

QString journalMode()
{
    return QStringLiteral("PRAGMA journal_mode");
}

QString durableSaves()
{
    return QStringLiteral("PRAGMA synchronous=FULL");
}

QString exclusiveLocking()
{
    return QStringLiteral("PRAGMA locking_mode=EXCLUSIVE");
}

QString integrityCheck()
{
    return QStringLiteral("PRAGMA integrity_check");
}

QString quickCheck()
{
    return QStringLiteral("PRAGMA quick_check");
}

QString searchIndexCheck()
{
    // rank = 1 also compares the index with the rows of books.
    return QStringLiteral("INSERT INTO \"books_search\" (\"books_search\", rank) VALUES ('integrity-check', 1)");
}

QString hasTable()
{
    return QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
}

QString listObjects()
{
    return QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"
                          " ORDER BY rowid");
}

QString tableInfo(const QString &table)
{
    return QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table));
}

QString checkpoint()
{
    return QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)");
}

QString countSearchObjects()
{
    return QStringLiteral("SELECT count(*) FROM sqlite_master WHERE (type = 'table' AND name IN ('%1'))"
                          " OR (type = 'trigger' AND tbl_name = 'books' AND name IN ('%2'))")
        .arg(SearchTables.join(QStringLiteral("', '")), SearchTriggers.join(QStringLiteral("', '")));
}

int searchObjects()
{
    return int(SearchTriggers.size() + SearchTables.size());
}

QStringList rebuildSearch()
{
    QStringList statements;
    for (const QString &trigger : SearchTriggers)
        statements << QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(quoted(trigger));
    for (const QString &table : SearchTables)
        statements << QStringLiteral("DROP TABLE IF EXISTS %1").arg(quoted(table));
    statements << searchIndex() << rebuildIndex() << searchTriggers(quoted(Schema::IdColumn)) << gramTables()
               << gramTriggers();
    return statements;
}

} // namespace SqliteSql

namespace SqliteSql {

QString countHistoryObjects()
{
    return QStringLiteral("SELECT count(*) FROM sqlite_master WHERE (type = 'table' AND name = '%1')"
                          " OR (type = 'trigger' AND name IN ('%2'))")
        .arg(Schema::History::Table, HistoryTriggers.join(QStringLiteral("', '")));
}

int historyObjectCount()
{
    return int(HistoryTriggers.size()) + 1;
}

QStringList rebuildHistory()
{
    QStringList statements;
    for (const QString &trigger : HistoryTriggers)
        statements << QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(quoted(trigger));
    return statements + historyObjects();
}

QString dropDeskTrigger()
{
    return QStringLiteral("DROP TRIGGER IF EXISTS temp.\"tallymere_history_desk\"");
}

} // namespace SqliteSql
