#include "store/engine/database.h"

#include "store/engine/csv.h"
#include "store/engine/dialect.h"
#include "store/engine/execute.h"
#include "store/engine/gramtable.h"
#include "store/engine/serverlink.h"
#include "store/engine/serversql.h"
#include "store/engine/sql.h"
#include "store/engine/sqlitehandle.h"
#include "store/engine/sqlitesql.h"
#include "store/engine/swap.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>
#include <QUrl>

#include <atomic>

#include <sys/vfs.h>

namespace Database {

namespace {

constexpr auto InstallLockWaitMs = 30000;

FilesystemProbe theProbe;

// Network and cluster file systems, by statfs magic number: none of them
// shares a WAL's memory between the programs that open the file.
constexpr quint32 NetworkFilesystems[] = {
    0x6969,     // NFS
    0x517b,     // SMB
    0xff534d42, // CIFS
    0xfe534d42, // SMB2
    0x564c,     // NCP
    0x73757245, // Coda
    0x5346414f, // AFS
    0x6b414653, // kAFS
    0x00c36400, // Ceph
    0x01021997, // 9P (also the Windows drives under WSL)
    0x0bd00bd0, // Lustre
    0x47504653, // GPFS
    0x01161970, // GFS2
    0x7461636f, // OCFS2
};

qint64 statfsType(const QString &folder)
{
    struct statfs info;
    if (::statfs(QFile::encodeName(folder).constData(), &info) != 0)
        return -1;
    return qint64(quint32(info.f_type));
}

QString nextConnectionName()
{
    // The daily backup opens its connections on a thread of its own.
    static std::atomic<quint64> counter{0};
    return QStringLiteral("tallymere-%1").arg(++counter);
}

using StoreError::failure;

using Sql::exec;
constexpr auto runAll = Sql::execAll;

int reportProgress(void *progress)
{
    (*static_cast<const Progress *>(progress))();
    return 0;
}

// Calls `progress` every few thousand steps of the engine while it lives.
class ProgressWatch
{
public:
    ProgressWatch(const QSqlDatabase &db, const Progress &progress) : m_db(progress ? sqliteHandle(db) : nullptr)
    {
        if (m_db)
            sqlite3_progress_handler(m_db, 20000, reportProgress, const_cast<Progress *>(&progress));
    }
    ~ProgressWatch()
    {
        if (m_db)
            sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    }

private:
    sqlite3 *m_db;
};

QSqlError seedTransactions(QSqlDatabase &db)
{
    QFile file(QStringLiteral(":/data/sample-catalogue.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("The sample catalogue is missing from the program."), file.errorString());
    const QList<QStringList> rows = Csv::parse(QString::fromUtf8(file.readAll()));
    if (rows.isEmpty())
        return {};
    const QStringList header = rows.first();
    for (const QString &name : header)
        if (!Schema::books().fields.contains(name))
            return failure(QStringLiteral("The sample catalogue names an unknown field: %1").arg(name));
    QSqlQuery insert(db);
    if (!insert.prepare(Sql::insert(Schema::books().name, header)))
        return insert.lastError();
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        for (qsizetype c = 0; c < header.size(); ++c)
            insert.addBindValue(c < row.size() ? QVariant(row.at(c)) : QVariant());
        if (!insert.exec())
            return insert.lastError();
    }
    return {};
}

QSqlError seedTallymere(QSqlDatabase &db)
{
    const Schema::Table &user = Schema::user();
    return exec(db, Sql::insert(user.name, user.fields),
                {QStringLiteral("Administrator"), QStringLiteral("tallymere"), QStringLiteral("tallymere"),
                 QStringLiteral("the name of this program")});
}

QSqlError seed(QSqlDatabase &db, Schema::File file)
{
    return file == Schema::File::Transactions ? seedTransactions(db) : seedTallymere(db);
}

QSqlError runSteps(QSqlDatabase &db, const QList<Schema::Upgrade> &steps, int from)
{
    for (const Schema::Upgrade &step : steps) {
        if (step.version <= from)
            continue;
        for (const QString &statement : step.statements)
            if (QSqlError e = exec(db, statement); e.isValid())
                return e;
        if (step.fill)
            if (QSqlError e = step.fill(db); e.isValid())
                return e;
    }
    return exec(db, SqliteSql::writeVersion(qMax(from, Schema::lastVersion(steps))));
}

// Makes the tables of a new store and its first rows, on `db`.
QSqlError fill(QSqlDatabase &db, Schema::File file)
{
    QSqlError error;
    for (const Schema::Table *t : Schema::tables(file))
        if (!error.isValid())
            error = exec(db, SqliteSql::createFirstShape(*t));
    if (!error.isValid())
        error = seed(db, file);
    if (!error.isValid())
        error = runSteps(db, SqliteSql::upgrades(file), 0);
    return error;
}

// Fills the new store at `path` (an empty file of this process's own).
QSqlError build(const QString &path, Schema::File file)
{
    const FileConnection scoped(path);
    QSqlDatabase db = scoped.db();
    if (!db.isOpen())
        return db.lastError();
    if (!db.transaction())
        return db.lastError();
    if (const QSqlError error = fill(db, file); error.isValid()) {
        db.rollback();
        return error;
    }
    if (!db.commit())
        return db.lastError();
    return {};
}

// Gives the store at `path` the journal `wanted`. Another program that has
// the store open keeps it as it is (the engine refuses the change then), and
// so does this one: the store works either way, and the next start that
// finds it alone changes it.
QSqlError keepJournal(const QString &path, Journal wanted)
{
    const FileConnection scoped(path);
    QSqlDatabase db = scoped.db();
    if (!db.isOpen())
        return explain(path, db.lastError());
    // Leaving WAL on a network folder must not touch the WAL's shared memory:
    // in exclusive locking mode the engine keeps it inside this process.
    if (wanted == Journal::Rollback)
        if (const QSqlError e = exec(db, SqliteSql::exclusiveLocking()); e.isValid())
            return explain(path, e);
    QSqlQuery q(db);
    if (!q.exec(wanted == Journal::Wal ? SqliteSql::walJournal() : SqliteSql::rollbackJournal()) || !q.next()) {
        const QSqlError e = explain(path, q.lastError());
        return StoreError::kind(e) == StoreError::Kind::Busy ? QSqlError() : e;
    }
    return {};
}

// An empty file, or a database without a single table, holds nothing that
// could be lost: it is installed like a missing one.
bool holdsNothing(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() == 0)
        return true;
    const FileConnection scoped(path);
    QSqlQuery q(scoped.db());
    return q.exec(SqliteSql::countTables()) && q.next() && q.value(0).toInt() == 0;
}

QSqlError create(const QString &path, Schema::File file)
{
    const QFileInfo info(path);
    // The new store is made under a name of this process's own and moved in
    // only when complete, so nobody ever sees half a store.
    QTemporaryFile temp(info.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(info.fileName())));
    if (!temp.open())
        return failure(QStringLiteral("Cannot create a new store in %1.").arg(info.absolutePath()),
                       temp.errorString());
    temp.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    temp.close();
    const QString tempPath = temp.fileName();
    QSqlError error = build(tempPath, file);
    if (!error.isValid())
        error = keepJournal(tempPath, journalFor(info.absolutePath()));
    QFile::remove(tempPath + QStringLiteral("-wal"));
    QFile::remove(tempPath + QStringLiteral("-shm"));
    if (error.isValid())
        return explain(path, error);
    if (QFileInfo::exists(path)) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
    }
    // QFile::rename never replaces an existing file.
    if (!temp.rename(path))
        return failure(QStringLiteral("Cannot move the new store into place as %1.").arg(path), temp.errorString());
    temp.setAutoRemove(false);
    return {};
}

// Runs `work` on the store of `file` in one transaction, undone whole when
// any of it fails.
QSqlError inTransaction(const StoreLocation &location, Schema::File file,
                        const std::function<QSqlError(QSqlDatabase &)> &work)
{
    Connection connection(location, file);
    if (!connection.open())
        return connection.lastError();
    QSqlDatabase db = connection.database();
    if (!db.transaction())
        return connection.explain(db.lastError());
    if (const QSqlError e = work(db); e.isValid()) {
        db.rollback();
        return connection.explain(e);
    }
    if (!db.commit())
        return connection.explain(db.lastError());
    return {};
}

// Whether the store of `file` has fewer than `whole` of the objects
// (tables, indexes, triggers) `countSql` counts in the engine's catalogue.
bool lacksObjects(const StoreLocation &location, Schema::File file, const QString &countSql, int whole,
                  QSqlError *error)
{
    Connection connection(location, file);
    if (!connection.open()) {
        if (error)
            *error = connection.lastError();
        return false;
    }
    QSqlQuery q(connection.database());
    if (!q.exec(countSql) || !q.next()) {
        if (error)
            *error = connection.explain(q.lastError());
        return false;
    }
    return q.value(0).toInt() < whole;
}

// A loan store whose history triggers were lost (tables rebuilt by another
// tool) would stop keeping changes unseen: they are made again.
QSqlError restoreHistory(const StoreLocation &here)
{
    QSqlError error;
    if (!historyIsIncomplete(here, &error))
        return error;
    return repairHistory(here, nullptr);
}

// A catalogue whose search triggers were lost (books rebuilt by another
// tool) would show stale or wrong books: the index is made anew.
QSqlError restoreSearch(const QString &path, const Progress &progress)
{
    QSqlError error;
    const StoreLocation here = StoreLocation::files(QFileInfo(path).absolutePath());
    if (QFileInfo(path).fileName() != Schema::fileName(Schema::File::Transactions))
        return {};
    if (!searchIsIncomplete(here, &error))
        return error;
    return repairSearch(here, nullptr, progress);
}

// Sets up the tables of a server database that has none; checks the
// version of one that has them. Runs inside the caller's transaction.
QSqlError installServer(QSqlDatabase &db, const QString &name)
{
    const Dialect &dialect = Dialect::server();
    if (const QSqlError e = exec(db, ServerSql::lockForInstall()); e.isValid())
        return e;
    if (dialect.hasTable(db, QStringLiteral("tallymere_version"))) {
        for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
            QSqlError error;
            const int stored = dialect.version(db, file, &error);
            if (stored < 0)
                return error;
            if (stored > Schema::currentVersion(file))
                return StoreError::make(StoreError::Kind::Newer,
                                        newerStore(QStringLiteral("%1 (%2)").arg(name, Schema::fileName(file)),
                                                   stored, Schema::currentVersion(file)));
            // A loan store of version 1 gains the loan history.
            if (file == Schema::File::Tallymere && stored == 1) {
                QSqlError e = runAll(db, ServerSql::addHistory());
                if (!e.isValid())
                    e = dialect.setVersion(db, file, 2);
                if (e.isValid())
                    return e;
            }
            // A catalogue of version 2 gains the short-text index.
            if (file == Schema::File::Transactions && stored == 2) {
                for (const QString &statement : ServerSql::addGrams())
                    if (const QSqlError e = exec(db, statement); e.isValid())
                        return e;
                if (const QSqlError e = GramTable::rebuild(db); e.isValid())
                    return e;
                if (const QSqlError e = dialect.setVersion(db, file, 3); e.isValid())
                    return e;
            }
        }
        return {};
    }
    for (const Schema::Table *t : {&Schema::books(), &Schema::borrower(), &Schema::user()})
        if (dialect.hasTable(db, t->name))
            return StoreError::make(StoreError::Kind::Failed,
                                    QStringLiteral("The server %1 holds a table %2 that Tallymere did not make; "
                                                   "use another database.")
                                        .arg(name, t->name));
    for (const QString &statement : ServerSql::createStore())
        if (const QSqlError e = exec(db, statement); e.isValid())
            return e;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        if (const QSqlError e = seed(db, file); e.isValid())
            return e;
        if (const QSqlError e = dialect.setVersion(db, file, Schema::currentVersion(file)); e.isValid())
            return e;
    }
    return runAll(db, ServerSql::addHistory());
}

QSqlError noServerDriver()
{
    return StoreError::make(StoreError::Kind::CannotOpen,
                            QStringLiteral("Qt's PostgreSQL driver is not installed on this computer; install the "
                                           "package libqt6sql6-psql."),
                            QStringLiteral("QPSQL driver not loaded"));
}

// Qt's driver says only that the connection failed; the server's own code
// (asked for once more through libpq) names the cause.
QSqlError serverRefusal(const StoreLocation &location, const QSqlError &driverError, qint64 waitedMs)
{
    using StoreError::Kind;
    const ServerOptions options = parseServerOptions(location.connection());
    const ServerLink::Target target = ServerLink::resolve(options.conninfo());
    const QString host = target.host.isEmpty() ? QStringLiteral("on this computer") : target.host;
    const QString user = target.user, database = target.database;
    const QString detail = driverError.databaseText().trimmed();
    if (waitedMs >= ServerLink::ConnectTimeoutSeconds * 1000 - 250)
        return StoreError::make(Kind::Unreachable,
                                QStringLiteral("The server %1 did not answer within %2 seconds; try again when it is back.")
                                    .arg(location.name(Schema::File::Tallymere))
                                    .arg(ServerLink::ConnectTimeoutSeconds),
                                detail);
    const ServerLink::Refusal refusal = ServerLink::probe(options.conninfo());
    const QString why = refusal.message.isEmpty() ? detail : refusal.message;
    if (refusal.noPassword)
        return StoreError::make(Kind::CannotOpen,
                                QStringLiteral("The server %1 asks a password of the user %2 and none was found; put it "
                                               "in ~/.pgpass.").arg(host, user), why);
    if (refusal.state == QLatin1String("28P01"))
        return StoreError::make(Kind::CannotOpen,
                                QStringLiteral("The server %1 refused the password of the user %2; correct it in "
                                               "~/.pgpass.").arg(host, user), why);
    if (refusal.state == QLatin1String("28000"))
        return StoreError::make(Kind::CannotOpen,
                                QStringLiteral("The server %1 has no user %2 that may log in from this computer.")
                                    .arg(host, user), why);
    if (refusal.state == QLatin1String("3D000"))
        return StoreError::make(Kind::Missing, QStringLiteral("The server %1 has no database %2.").arg(host, database),
                                why);
    if (refusal.state.isEmpty() || refusal.state.startsWith(QLatin1String("08")))
        return StoreError::make(Kind::Unreachable,
                                QStringLiteral("The server %1 cannot be reached; try again when it is back.")
                                    .arg(location.name(Schema::File::Tallymere)), why);
    // Any other refusal: the server's own code classifies it.
    return QSqlError(driverError.driverText(), why, driverError.type(), refusal.state);
}

} // namespace

void setFilesystemProbe(FilesystemProbe probe)
{
    theProbe = std::move(probe);
}

bool isNetworkFilesystem(qint64 type)
{
    for (const quint32 network : NetworkFilesystems)
        if (type == qint64(network))
            return true;
    return false;
}

Journal journalFor(const QString &folder)
{
    const qint64 type = theProbe ? theProbe(folder) : statfsType(folder);
    return isNetworkFilesystem(type) ? Journal::Rollback : Journal::Wal;
}

Journal journalOf(const QString &path, QSqlError *error)
{
    const FileConnection scoped(path);
    QSqlQuery q(scoped.db());
    if (!q.exec(SqliteSql::journalMode()) || !q.next()) {
        if (error)
            *error = explain(path, q.lastError());
        return Journal::Rollback;
    }
    return q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0 ? Journal::Wal
                                                                                          : Journal::Rollback;
}

QSqlError explain(const QString &path, const QSqlError &engine)
{
    return StoreError::explain(StoreError::Engine::Sqlite, QDir::toNativeSeparators(path), engine);
}

QString sentence(const QSqlError &error)
{
    return StoreError::sentence(error);
}

int version(const QString &path, QSqlError *error)
{
    const FileConnection scoped(path);
    QSqlDatabase db = scoped.db();
    QSqlQuery q(db);
    if (!db.isOpen() || !q.exec(SqliteSql::readVersion()) || !q.next()) {
        if (error)
            *error = explain(path, db.isOpen() ? q.lastError() : db.lastError());
        return -1;
    }
    return q.value(0).toInt();
}

QSqlError upgrade(const QString &path, const QList<Schema::Upgrade> &steps, const Progress &progress)
{
    QSqlError error;
    const int stored = version(path, &error);
    if (stored < 0)
        return error;
    const int known = Schema::lastVersion(steps);
    if (stored > known)
        return StoreError::make(StoreError::Kind::Newer, newerStore(QDir::toNativeSeparators(path), stored, known));
    if (stored == known)
        return {};
    const FileConnection scoped(path);
    QSqlDatabase db = scoped.db();
    if (!db.transaction())
        return explain(path, db.lastError());
    const ProgressWatch watch(db, progress);
    error = runSteps(db, steps, stored);
    if (!error.isValid() && db.commit())
        return {};
    const QString detail = error.isValid() ? error.text() : db.lastError().text();
    db.rollback();
    return failure(QStringLiteral("The store %1 could not be upgraded from version %2 to version %3; "
                                  "it was left as it was.")
                       .arg(QDir::toNativeSeparators(path))
                       .arg(stored)
                       .arg(known),
                   detail);
}

QSqlError installFile(const QString &path, Schema::File file, const Progress &progress)
{
    // A store made elsewhere, or a folder moved to another file system, gets
    // its journal first, so that nothing below uses a WAL on a folder that
    // cannot share it.
    const QFileInfo info(path);
    if (info.exists() && info.size() > 0)
        if (const QSqlError error = keepJournal(path, journalFor(info.absolutePath())); error.isValid())
            return error;
    if (holdsNothing(path))
        return create(path, file);
    if (const QSqlError error = upgrade(path, SqliteSql::upgrades(file), progress); error.isValid())
        return error;
    if (file == Schema::File::Transactions)
        return restoreSearch(path, progress);
    return restoreHistory(StoreLocation::files(info.absolutePath()));
}

InstallLock::InstallLock(const QString &folder, const std::function<void()> &waiting)
    : m_lock(std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral(".install.lock"))))
{
    if (m_lock->tryLock(0))
        return;
    if (waiting && m_lock->error() == QLockFile::LockFailedError)
        waiting();
    if (m_lock->error() == QLockFile::LockFailedError && m_lock->tryLock(InstallLockWaitMs))
        return;
    // A folder where no file can be made fails at once, not after the wait.
    m_error = m_lock->error() == QLockFile::LockFailedError
                  ? failure(QStringLiteral("Another Tallymere is still preparing the stores in %1.")
                                .arg(QDir::toNativeSeparators(folder)))
                  : failure(QStringLiteral("The data folder %1 cannot be written.").arg(QDir::toNativeSeparators(folder)));
}

InstallLock::~InstallLock() = default;

QStringList leftovers(const QString &folder)
{
    QStringList names;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere})
        names << QStringLiteral(".%1.*").arg(Schema::fileName(file));
    names << StoreSwap::intentName() << StoreSwap::intentName() + QStringLiteral(".new") << StoreSwap::stagingName();
    return QDir(folder).entryList(names, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QSqlError recoverHeld(const QString &folder)
{
    if (const QSqlError error = StoreSwap::finish(folder); error.isValid())
        return error;
    // With the lock held and no swap left, every other partial file is one
    // that a killed program was still writing: a store being made, a
    // restore's copies.
    for (const QString &name : leftovers(folder)) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
    return {};
}

QSqlError recover(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return {};
    const InstallLock lock(folder);
    if (!lock.isHeld())
        return lock.error();
    return recoverHeld(folder);
}

QSqlError checkPair(const QString &folder)
{
    const Schema::File files[] = {Schema::File::Transactions, Schema::File::Tallymere};
    bool holds[2];
    for (int i = 0; i < 2; ++i)
        holds[i] = !holdsNothing(QDir(folder).filePath(Schema::fileName(files[i])));
    if (holds[0] == holds[1])
        return {};
    const QString missing = Schema::fileName(files[holds[0] ? 1 : 0]);
    const QString there = Schema::fileName(files[holds[0] ? 0 : 1]);
    const QString path = QDir::toNativeSeparators(QDir(folder).filePath(missing));
    return StoreError::make(StoreError::Kind::Missing,
                            QStringLiteral("The store %1 is %2 while %3 is there, so the desk cannot start without "
                                           "losing one of them; put both back from a backup with: "
                                           "tallymere-admin restore BACKUP-FOLDER")
                                .arg(path, QFileInfo::exists(path) ? QStringLiteral("empty") : QStringLiteral("missing"),
                                     there));
}

QSqlError install(const QString &folder, const Progress &progress)
{
    if (!QDir().mkpath(folder))
        return failure(QStringLiteral("Cannot create the data folder %1.").arg(QDir::toNativeSeparators(folder)));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Two programs started together must not both build the same store.
    const InstallLock lock(folder);
    if (!lock.isHeld())
        return lock.error();
    if (const QSqlError error = recoverHeld(folder); error.isValid())
        return error;
    // New stores are made only where there are none: beside a store that is
    // there, a missing one is a loss to be restored, never a first start.
    if (const QSqlError error = checkPair(folder); error.isValid())
        return error;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        const QSqlError error = installFile(QDir(folder).filePath(Schema::fileName(file)), file, progress);
        if (error.isValid())
            return error;
    }
    return {};
}

QSqlError install(const StoreLocation &location, const Progress &progress)
{
    if (!location.isValid())
        return failure(QStringLiteral("No store was named."));
    if (!location.isServer())
        return install(location.folder(), progress);
    Connection connection(location, Schema::File::Tallymere);
    if (!connection.open())
        return connection.lastError();
    QSqlDatabase db = connection.database();
    if (!db.transaction())
        return connection.explain(db.lastError());
    const QSqlError error = installServer(db, connection.name());
    if (error.isValid()) {
        db.rollback();
        return StoreError::kind(error) == StoreError::Kind::Failed ? connection.explain(error) : error;
    }
    if (!db.commit())
        return connection.explain(db.lastError());
    return {};
}

QSqlError repairSearch(const StoreLocation &location, QString *done, const Progress &progress)
{
    const QStringList statements = location.isServer() ? ServerSql::rebuildSearch() : SqliteSql::rebuildSearch();
    const QSqlError error = inTransaction(location, Schema::File::Transactions, [&](QSqlDatabase &db) {
        const ProgressWatch watch(db, progress);
        const QSqlError e = runAll(db, statements);
        return e.isValid() ? e : GramTable::rebuild(db);
    });
    if (error.isValid())
        return error;
    if (done)
        *done = location.isServer()
                    ? QStringLiteral("the search indexes on Title and Author were built anew")
                    : QStringLiteral("the search indexes were filled anew from books and their five triggers made again");
    return {};
}

bool searchIsIncomplete(const StoreLocation &location, QSqlError *error)
{
    const bool server = location.isServer();
    return lacksObjects(location, Schema::File::Transactions,
                        server ? ServerSql::countSearchIndexes() : SqliteSql::countSearchObjects(),
                        server ? ServerSql::searchIndexes() : SqliteSql::searchObjects(), error);
}

QSqlError repairHistory(const StoreLocation &location, QString *done)
{
    const QStringList statements = location.isServer() ? ServerSql::rebuildHistory() : SqliteSql::rebuildHistory();
    if (const QSqlError error = inTransaction(location, Schema::File::Tallymere,
                                              [&](QSqlDatabase &db) { return runAll(db, statements); });
        error.isValid())
        return error;
    if (done)
        *done = QStringLiteral("the loan history's triggers were made again");
    return {};
}

bool historyIsIncomplete(const StoreLocation &location, QSqlError *error)
{
    const bool server = location.isServer();
    return lacksObjects(location, Schema::File::Tallymere,
                        server ? ServerSql::countHistoryObjects() : SqliteSql::countHistoryObjects(),
                        server ? ServerSql::historyObjectCount() : SqliteSql::historyObjectCount(), error);
}

FileConnection::FileConnection(const QString &path, Mode mode) : m_name(nextConnectionName())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    if (mode == Mode::Backup) {
        QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        url.setQuery(QStringLiteral("mode=ro&immutable=1"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY"));
    } else {
        SqliteSql::configureFile(db, path);
    }
    db.open();
}

FileConnection::~FileConnection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase FileConnection::db() const
{
    return QSqlDatabase::database(m_name, false);
}

Connection::Connection(const QString &path)
    : m_location(StoreLocation::files(QFileInfo(path).absolutePath())), m_path(path), m_name(nextConnectionName())
{
}

Connection::Connection(const StoreLocation &location, Schema::File file)
    : m_location(location), m_file(file), m_path(location.path(file)), m_name(nextConnectionName())
{
}

Connection::~Connection()
{
    close();
}

QString Connection::name() const
{
    // A server named by a service is looked up in its file once, not at
    // every message.
    if (m_label.isEmpty())
        m_label = m_location.isServer() ? m_location.name(m_file) : QDir::toNativeSeparators(m_path);
    return m_label;
}

QSqlError Connection::explain(const QSqlError &engine) const
{
    return StoreError::explain(m_location.isServer() ? StoreError::Engine::Server : StoreError::Engine::Sqlite,
                               name(), engine);
}

QSqlError Connection::timedOut(const QSqlError &engine) const
{
    return StoreError::make(StoreError::Kind::Unreachable,
                            QStringLiteral("The server %1 did not answer within %2 seconds; try again when it is back.")
                                .arg(name())
                                .arg(ServerLink::AnswerLimitSeconds),
                            StoreError::detail(engine));
}

bool Connection::open()
{
    if (isOpen())
        return true;
    const Dialect &dialect = Dialect::of(m_location);
    if (m_location.isServer() && !QSqlDatabase::isDriverAvailable(dialect.driver())) {
        m_error = noServerDriver();
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driver(), m_name);
    QSqlError error = dialect.configure(db, m_location, m_path);
    QElapsedTimer waited;
    waited.start();
    if (!error.isValid() && !db.open())
        error = m_location.isServer() ? serverRefusal(m_location, db.lastError(), waited.elapsed()) : db.lastError();
    if (!error.isValid()) {
        const ServerLink::Watch watch(db);
        error = dialect.prepare(db);
        if (watch.fired())
            error = timedOut(error);
    }
    if (error.isValid()) {
        m_error = explain(error);
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        return false;
    }
    m_error = QSqlError();
    return true;
}

void Connection::close()
{
    if (!QSqlDatabase::contains(m_name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

bool Connection::isOpen() const
{
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

QList<SchemaObject> objectsOf(const QSqlDatabase &db)
{
    QList<SchemaObject> objects;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(SqliteSql::listObjects()))
        return objects;
    while (q.next())
        objects << SchemaObject{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), {}};
    for (SchemaObject &object : objects) {
        if (object.type != QLatin1String("table"))
            continue;
        QSqlQuery info(db);
        if (!info.exec(SqliteSql::tableInfo(object.name)))
            continue;
        while (info.next())
            if (info.value(5).toInt() > 0)
                object.key << info.value(1).toString();
    }
    return objects;
}

const QList<SchemaObject> &expectedObjects(Schema::File file)
{
    // A store made in memory the way a first start makes one.
    static QHash<int, QList<SchemaObject>> made;
    if (!made.contains(int(file))) {
        const FileConnection scoped(QStringLiteral(":memory:"));
        QSqlDatabase db = scoped.db();
        if (!fill(db, file).isValid())
            made.insert(int(file), objectsOf(db));
    }
    return made[int(file)];
}

QStringList columns(const QSqlDatabase &db, const QString &table)
{
    QStringList names;
    for (const QString &name : Dialect::of(db).columns(db, table))
        if (!Schema::isHidden(name))
            names << name;
    return names;
}

// Stores made by a newer program

QString madeByNewer()
{
    return QStringLiteral("made by a newer Tallymere");
}

QString newerStore(const QString &name, int version, int known)
{
    return QStringLiteral("The store %1 is of version %2, %3; this program knows version %4 at most.")
        .arg(name)
        .arg(version)
        .arg(madeByNewer())
        .arg(known);
}

} // namespace Database
