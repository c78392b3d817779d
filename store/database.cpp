#include "store/database.h"

#include "store/booksearch.h"
#include "store/csv.h"
#include "store/sql.h"
#include "store/sqlitehandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>

#include <sys/vfs.h>

namespace Database {

namespace {

constexpr auto BusyTimeoutMs = 2000;
constexpr auto InstallLockWaitMs = 30000;

QString theFolder;
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
    static quint64 counter = 0;
    return QStringLiteral("tallymere-%1").arg(++counter);
}

QSqlError failure(const QString &sentence, const QString &detail = QString())
{
    return QSqlError(detail, sentence, QSqlError::ConnectionError);
}

QSqlError exec(QSqlDatabase &db, const QString &sql, const QVariantList &params = {})
{
    QSqlQuery q(db);
    if (!q.prepare(sql))
        return q.lastError();
    for (const QVariant &p : params)
        q.addBindValue(p);
    if (!q.exec())
        return q.lastError();
    return {};
}

// A connection that lives for one function: opened on `path`, removed when
// it goes out of scope.
class Scoped
{
public:
    explicit Scoped(const QString &path) : m_name(nextConnectionName())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
        db.open();
    }
    ~Scoped()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
};

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

QSqlError runSteps(QSqlDatabase &db, const QList<Schema::Upgrade> &steps, int from)
{
    for (const Schema::Upgrade &step : steps) {
        if (step.version <= from)
            continue;
        for (const QString &statement : step.statements)
            if (QSqlError e = exec(db, statement); e.isValid())
                return e;
    }
    return exec(db, Sql::writeVersion(qMax(from, Schema::lastVersion(steps))));
}

// Fills the new store at `path` (an empty file of this process's own).
QSqlError build(const QString &path, Schema::File file)
{
    Scoped scoped(path);
    QSqlDatabase db = scoped.db();
    if (!db.isOpen())
        return db.lastError();
    if (!db.transaction())
        return db.lastError();
    QSqlError error;
    for (const Schema::Table *t : Schema::tables(file))
        if (!error.isValid())
            error = exec(db, Schema::createStatement(*t));
    if (!error.isValid())
        error = file == Schema::File::Transactions ? seedTransactions(db) : seedTallymere(db);
    if (!error.isValid())
        error = runSteps(db, Schema::upgrades(file), 0);
    if (error.isValid()) {
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
    Scoped scoped(path);
    QSqlDatabase db = scoped.db();
    if (!db.isOpen())
        return explain(path, db.lastError());
    // Leaving WAL on a network folder must not touch the WAL's shared memory:
    // in exclusive locking mode the engine keeps it inside this process.
    if (wanted == Journal::Rollback)
        if (const QSqlError e = exec(db, Sql::exclusiveLocking()); e.isValid())
            return explain(path, e);
    QSqlQuery q(db);
    if (!q.exec(wanted == Journal::Wal ? Sql::walJournal() : Sql::rollbackJournal()) || !q.next()) {
        const QSqlError e = explain(path, q.lastError());
        const QString text = q.lastError().text().toLower();
        return text.contains(QLatin1String("locked")) || text.contains(QLatin1String("busy")) ? QSqlError() : e;
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
    Scoped scoped(path);
    QSqlQuery q(scoped.db());
    return q.exec(Sql::countTables()) && q.next() && q.value(0).toInt() == 0;
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

} // namespace

void setFolder(const QString &folder)
{
    theFolder = folder;
}

QString folder()
{
    return theFolder;
}

QString path(Schema::File file)
{
    return QDir(theFolder).filePath(Schema::fileName(file));
}

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
    Scoped scoped(path);
    QSqlQuery q(scoped.db());
    if (!q.exec(Sql::journalMode()) || !q.next()) {
        if (error)
            *error = explain(path, q.lastError());
        return Journal::Rollback;
    }
    return q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0 ? Journal::Wal
                                                                                          : Journal::Rollback;
}

QSqlError explain(const QString &path, const QSqlError &engine)
{
    const QString detail = engine.text().trimmed();
    const QString lower = detail.toLower();
    QString sentence;
    if (lower.contains(QLatin1String("not a database")) || lower.contains(QLatin1String("malformed"))
        || lower.contains(QLatin1String("corrupt")))
        sentence = QStringLiteral("The store %1 is damaged or is not a Tallymere database.");
    else if (lower.contains(QLatin1String("unable to open")) || lower.contains(QLatin1String("disk i/o")))
        sentence = QStringLiteral("The store %1 cannot be opened: its folder must be readable and writable.");
    else if (lower.contains(QLatin1String("locked")) || lower.contains(QLatin1String("busy")))
        sentence = QStringLiteral("The store %1 is busy with another program; try again in a moment.");
    else if (lower.contains(QLatin1String("readonly")) || lower.contains(QLatin1String("read-only")))
        sentence = QStringLiteral("The store %1 cannot be written.");
    else
        return engine;
    return QSqlError(detail, sentence.arg(QDir::toNativeSeparators(path)), engine.type());
}

QString sentence(const QSqlError &error)
{
    QString line = error.databaseText().trimmed();
    const QString detail = error.driverText().trimmed();
    if (line.isEmpty())
        line = detail;
    else if (!detail.isEmpty() && !line.contains(detail))
        line += QStringLiteral(" (%1)").arg(detail);
    // One line, but runs of spaces kept: field names hold them.
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line;
}

int version(const QString &path, QSqlError *error)
{
    Scoped scoped(path);
    QSqlDatabase db = scoped.db();
    QSqlQuery q(db);
    if (!db.isOpen() || !q.exec(Sql::readVersion()) || !q.next()) {
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
        return failure(QStringLiteral("The store %1 is of version %2, made by a newer Tallymere; "
                                      "this program knows version %3 at most.")
                           .arg(QDir::toNativeSeparators(path))
                           .arg(stored)
                           .arg(known));
    if (stored == known)
        return {};
    Scoped scoped(path);
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
    return upgrade(path, Schema::upgrades(file), progress);
}

QSqlError install(const QString &folder, const Progress &progress)
{
    if (!QDir().mkpath(folder))
        return failure(QStringLiteral("Cannot create the data folder %1.").arg(QDir::toNativeSeparators(folder)));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Two programs started together must not both build the same store.
    QLockFile lock(QDir(folder).filePath(QStringLiteral(".install.lock")));
    if (!lock.tryLock(InstallLockWaitMs)) {
        if (lock.error() == QLockFile::LockFailedError)
            return failure(QStringLiteral("Another Tallymere is still preparing the stores in %1.")
                               .arg(QDir::toNativeSeparators(folder)));
        // A folder where no file can be made fails at once, not after the wait.
        return failure(QStringLiteral("The data folder %1 cannot be written.").arg(QDir::toNativeSeparators(folder)));
    }
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        const QSqlError error = installFile(QDir(folder).filePath(Schema::fileName(file)), file, progress);
        if (error.isValid())
            return error;
    }
    return {};
}

Connection::Connection(const QString &path)
    : m_path(path), m_name(nextConnectionName())
{
}

Connection::~Connection()
{
    close();
}

bool Connection::open()
{
    if (isOpen())
        return true;
    // SQLite would quietly create a missing file; a missing store is an error.
    if (!QFileInfo::exists(m_path)) {
        m_error = failure(QStringLiteral("The store %1 is missing.").arg(QDir::toNativeSeparators(m_path)),
                          QStringLiteral("unable to open database file"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    QSqlError error;
    if (!db.open()) {
        error = db.lastError();
    } else {
        // Opening reads nothing; a first read tells a damaged file or a
        // folder where the journal cannot be made from a good store.
        QSqlQuery probe(db);
        if (!probe.exec(Sql::countTables()) || !probe.next())
            error = probe.lastError();
        // A save confirmed to the librarian is on the disk, even if the
        // machine loses power right after.
        else if (QSqlQuery durable(db); !durable.exec(Sql::durableSaves()))
            error = durable.lastError();
    }
    if (!error.isValid() && !BookSearch::registerFold(db))
        error = QSqlError(QString(), QStringLiteral("The text search could not be set up."), QSqlError::ConnectionError);
    if (error.isValid()) {
        m_error = explain(m_path, error);
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

QStringList columns(const QSqlDatabase &db, const QString &table)
{
    QStringList names;
    const QSqlRecord record = db.record(table);
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    return names;
}

} // namespace Database
