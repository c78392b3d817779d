// The store files: made on a first start, upgraded, given the journal their
// folder allows, and put right after a program was killed mid-way.
#include "store/engine/database.h"

#include "store/engine/execute.h"
#include "store/engine/installsteps.h"
#include "store/engine/sqlitesql.h"
#include "store/engine/storeerror.h"
#include "store/engine/swap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <sys/vfs.h>

namespace Database {

namespace {

using Sql::exec;

// How long a start waits for another program making, upgrading or swapping
// the stores, which takes seconds as a rule. It is QLockFile's stale time
// (30 s unless set): a lock file left by a program killed on another
// computer sharing the folder is taken over once it is that old, so a start
// outwaits such a leftover rather than refusing; a running program's lock is
// never taken over, as it keeps the file locked while it holds it.
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

StoreError runSteps(QSqlDatabase &db, const QList<Schema::Upgrade> &steps, int from)
{
    for (const Schema::Upgrade &step : steps) {
        if (step.version <= from)
            continue;
        for (const QString &statement : step.statements)
            if (StoreError e = exec(db, statement); e.isValid())
                return e;
        if (step.fill)
            if (StoreError e = step.fill(db); e.isValid())
                return e;
    }
    return exec(db, SqliteSql::writeVersion(qMax(from, Schema::lastVersion(steps))));
}

// Makes the tables of a new store and its first rows, on `db`.
StoreError fill(QSqlDatabase &db, Schema::File file)
{
    StoreError error;
    for (const Schema::Table *t : Schema::tables(file))
        if (!error.isValid())
            error = exec(db, SqliteSql::createFirstShape(*t));
    if (!error.isValid())
        error = InstallSteps::seed(db, file);
    if (!error.isValid())
        error = runSteps(db, SqliteSql::upgrades(file), 0);
    return error;
}

// Fills the new store at `path` (an empty file of this process's own).
StoreError build(const QString &path, Schema::File file)
{
    const FileConnection scoped(path);
    QSqlDatabase db = scoped.db();
    if (!db.isOpen())
        return db.lastError();
    if (!db.transaction())
        return db.lastError();
    if (const StoreError error = fill(db, file); error.isValid()) {
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
StoreError keepJournal(const QString &path, Journal wanted)
{
    const FileConnection scoped(path);
    QSqlDatabase db = scoped.db();
    if (!db.isOpen())
        return explain(path, db.lastError());
    // Leaving WAL on a network folder must not touch the WAL's shared memory:
    // in exclusive locking mode the engine keeps it inside this process.
    if (wanted == Journal::Rollback)
        if (const StoreError e = exec(db, SqliteSql::exclusiveLocking()); e.isValid())
            return explain(path, e);
    QSqlQuery q(db);
    if (!q.exec(wanted == Journal::Wal ? SqliteSql::walJournal() : SqliteSql::rollbackJournal()) || !q.next()) {
        const StoreError e = explain(path, q.lastError());
        return e.kind() == StoreError::Kind::Busy ? StoreError() : e;
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

StoreError create(const QString &path, Schema::File file)
{
    const QFileInfo info(path);
    // The new store is made under a name of this process's own and moved in
    // only when complete, so nobody ever sees half a store.
    QTemporaryFile temp(info.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(info.fileName())));
    if (!temp.open())
        return StoreError::failure(QStringLiteral("Cannot create a new store in %1.").arg(info.absolutePath()),
                       temp.errorString());
    temp.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    temp.close();
    const QString tempPath = temp.fileName();
    StoreError error = build(tempPath, file);
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
        return StoreError::failure(QStringLiteral("Cannot move the new store into place as %1.").arg(path), temp.errorString());
    temp.setAutoRemove(false);
    return {};
}

// A loan store whose history triggers were lost (tables rebuilt by another
// tool) would stop keeping changes unseen: they are made again.
StoreError restoreHistory(const StoreLocation &here)
{
    StoreError error;
    if (!historyIsIncomplete(here, &error))
        return error;
    return repairHistory(here, nullptr);
}

// A catalogue whose search triggers were lost (books rebuilt by another
// tool) would show stale or wrong books: the index is made anew.
StoreError restoreSearch(const QString &path, const Progress &progress)
{
    StoreError error;
    const StoreLocation here = StoreLocation::files(QFileInfo(path).absolutePath());
    if (QFileInfo(path).fileName() != Schema::fileName(Schema::File::Transactions))
        return {};
    if (!searchIsIncomplete(here, &error))
        return error;
    return repairSearch(here, nullptr, progress);
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

Journal journalOf(const QString &path, StoreError *error)
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

StoreError explain(const QString &path, const StoreError &engine)
{
    return StoreError::explain(StoreError::Engine::Sqlite, QDir::toNativeSeparators(path), engine);
}

int version(const QString &path, StoreError *error)
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

StoreError upgrade(const QString &path, const QList<Schema::Upgrade> &steps, const Progress &progress)
{
    StoreError error;
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
    const InstallSteps::ProgressWatch watch(db, progress);
    error = runSteps(db, steps, stored);
    if (!error.isValid() && db.commit())
        return {};
    const QString detail = error.isValid() ? error.text() : db.lastError().text();
    db.rollback();
    return StoreError::failure(QStringLiteral("The store %1 could not be upgraded from version %2 to version %3; "
                                  "it was left as it was.")
                       .arg(QDir::toNativeSeparators(path))
                       .arg(stored)
                       .arg(known),
                   detail);
}

StoreError installFile(const QString &path, Schema::File file, const Progress &progress)
{
    // A store made elsewhere, or a folder moved to another file system, gets
    // its journal first, so that nothing below uses a WAL on a folder that
    // cannot share it.
    const QFileInfo info(path);
    if (info.exists() && info.size() > 0)
        if (const StoreError error = keepJournal(path, journalFor(info.absolutePath())); error.isValid())
            return error;
    if (holdsNothing(path))
        return create(path, file);
    if (const StoreError error = upgrade(path, SqliteSql::upgrades(file), progress); error.isValid())
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
                  ? StoreError::failure(QStringLiteral("Another Tallymere is still preparing the stores in %1.")
                                .arg(QDir::toNativeSeparators(folder)))
                  : StoreError::failure(QStringLiteral("The data folder %1 cannot be written.").arg(QDir::toNativeSeparators(folder)));
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

StoreError recoverHeld(const QString &folder)
{
    if (const StoreError error = StoreSwap::finish(folder); error.isValid())
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

StoreError recover(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return {};
    const InstallLock lock(folder);
    if (!lock.isHeld())
        return lock.error();
    return recoverHeld(folder);
}

StoreError checkPair(const QString &folder)
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

StoreError install(const QString &folder, const Progress &progress)
{
    if (!QDir().mkpath(folder))
        return StoreError::failure(QStringLiteral("Cannot create the data folder %1.").arg(QDir::toNativeSeparators(folder)));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Two programs started together must not both build the same store.
    const InstallLock lock(folder);
    if (!lock.isHeld())
        return lock.error();
    if (const StoreError error = recoverHeld(folder); error.isValid())
        return error;
    // New stores are made only where there are none: beside a store that is
    // there, a missing one is a loss to be restored, never a first start.
    if (const StoreError error = checkPair(folder); error.isValid())
        return error;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        const StoreError error = installFile(QDir(folder).filePath(Schema::fileName(file)), file, progress);
        if (error.isValid())
            return error;
    }
    return {};
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

} // namespace Database
