#include "store/backup.h"

#include "store/database.h"
#include "store/desklock.h"
#include "store/sql.h"
#include "store/sqlitesql.h"
#include "store/sqlitehandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryFile>

namespace Backup {

namespace {

constexpr int BusyRetries = 200;
constexpr int BusyWaitMs = 50;
constexpr int FaultsShown = 5;

QSqlError failure(const QString &sentence, const QString &detail = QString())
{
    return StoreError::make(StoreError::Kind::Failed, sentence, detail);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

void removeStoreFiles(const QString &path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    QFile::remove(path + QStringLiteral("-journal"));
}

bool hasTable(const QSqlDatabase &db, const QString &name)
{
    QSqlQuery q(db);
    q.prepare(SqliteSql::hasTable());
    q.addBindValue(name);
    return q.exec() && q.next() && q.value(0).toInt() > 0;
}

// What is wrong with the store at `path`, empty when nothing is; `*version`
// is its schema version (-1 when unknown). `thorough` runs the full
// integrity check and the search index's own, else the quick check.
QStringList faultsOf(const QString &path, Schema::File file, bool thorough, int *version)
{
    *version = -1;
    if (!QFileInfo::exists(path))
        return {QStringLiteral("missing")};
    QSqlError error;
    *version = Database::version(path, &error);
    if (*version < 0)
        return {Database::sentence(error)};
    Database::Connection connection(path);
    if (!connection.open())
        return {Database::sentence(connection.lastError())};
    const QSqlDatabase db = connection.database();
    QStringList faults;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(thorough ? SqliteSql::integrityCheck() : SqliteSql::quickCheck())) {
            faults << Database::sentence(Database::explain(path, q.lastError()));
        } else {
            int seen = 0;
            while (q.next()) {
                QString line = q.value(0).toString();
                line.replace(QLatin1Char('\n'), QLatin1Char(' '));
                if (line == QLatin1String("ok"))
                    continue;
                if (++seen <= FaultsShown)
                    faults << line;
            }
            if (seen > FaultsShown)
                faults << QStringLiteral("and %1 more faults").arg(seen - FaultsShown);
        }
    }
    for (const Schema::Table *table : Schema::tables(file)) {
        const QStringList stored = Database::columns(db, table->name);
        if (stored.isEmpty()) {
            faults << QStringLiteral("no table %1").arg(table->name);
            continue;
        }
        QStringList missing;
        for (const QString &field : table->fields)
            if (!stored.contains(field))
                missing << QLatin1Char('"') + field + QLatin1Char('"');
        if (!missing.isEmpty())
            faults << QStringLiteral("table %1 lacks %2").arg(table->name, missing.join(QStringLiteral(", ")));
    }
    if (thorough && file == Schema::File::Transactions && hasTable(db, QStringLiteral("books_search"))) {
        QSqlQuery q(db);
        if (!q.exec(SqliteSql::searchIndexCheck()))
            faults << QStringLiteral("the search index is out of step with the books (%1)")
                          .arg(q.lastError().databaseText());
    }
    if (*version > Schema::currentVersion(file))
        faults << QStringLiteral("made by a newer Tallymere");
    return faults;
}

// The path of a store `file` in `folder`.
QString storePath(const QString &folder, Schema::File file)
{
    return QDir(folder).filePath(Schema::fileName(file));
}

// An unused name for a new, empty, owner-only file beside `path`.
QString newFileBeside(const QString &path, QSqlError *error)
{
    const QFileInfo info(path);
    QTemporaryFile temp(info.dir().filePath(QStringLiteral(".%1.XXXXXX").arg(info.fileName())));
    if (!temp.open()) {
        *error = failure(QStringLiteral("Cannot create a file in %1.").arg(native(info.absolutePath())),
                         temp.errorString());
        return {};
    }
    temp.setAutoRemove(false);
    temp.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return temp.fileName();
}

// Empties the write-ahead log of the store at `path` into the file, so
// that the file alone is the whole store.
QSqlError settle(const QString &path)
{
    Database::Connection connection(path);
    if (!connection.open())
        return connection.lastError();
    QSqlQuery q(connection.database());
    if (!q.exec(SqliteSql::checkpoint()))
        return Database::explain(path, q.lastError());
    return {};
}

} // namespace

QSqlError copyStore(const QString &source, const QString &target, const Progress &progress, int pagesPerStep)
{
    if (!QFileInfo::exists(source))
        return failure(QStringLiteral("The store %1 is missing.").arg(native(source)));
    QFile made(target);
    if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return failure(QStringLiteral("Cannot create %1.").arg(native(target)), made.errorString());
    made.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    made.close();

    QSqlError error;
    {
        Database::Connection from(source);
        Database::Connection to(target);
        if (!from.open())
            error = from.lastError();
        else if (!to.open())
            error = to.lastError();
        QSqlDatabase fromDb = from.database();
        sqlite3 *src = error.isValid() ? nullptr : sqliteHandle(fromDb);
        sqlite3 *dst = error.isValid() ? nullptr : sqliteHandle(to.database());
        if (!error.isValid() && (!src || !dst))
            error = failure(QStringLiteral("The database engine is not SQLite."));
        // One read transaction for the whole copy: every step reads the same
        // moment of the store, and other programs' commits (into the
        // write-ahead log) can neither tear the copy nor make it start over.
        QSqlQuery snapshot(fromDb);
        if (!error.isValid() && (!fromDb.transaction() || !snapshot.exec(SqliteSql::countTables()) || !snapshot.next()))
            error = Database::explain(source, fromDb.lastError().isValid() ? fromDb.lastError() : snapshot.lastError());
        snapshot.finish();
        if (!error.isValid()) {
            sqlite3_backup *copy = sqlite3_backup_init(dst, "main", src, "main");
            if (!copy) {
                error = failure(QStringLiteral("Cannot copy %1.").arg(native(source)),
                                QString::fromUtf8(sqlite3_errmsg(dst)));
            } else {
                int rc = SQLITE_OK;
                int retries = 0;
                for (;;) {
                    rc = sqlite3_backup_step(copy, pagesPerStep);
                    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
                        if (++retries > BusyRetries)
                            break;
                        sqlite3_sleep(BusyWaitMs);
                        continue;
                    }
                    if (rc != SQLITE_OK && rc != SQLITE_DONE)
                        break;
                    if (progress) {
                        const int total = sqlite3_backup_pagecount(copy);
                        progress(total - sqlite3_backup_remaining(copy), total);
                    }
                    if (rc == SQLITE_DONE)
                        break;
                }
                sqlite3_backup_finish(copy);
                if (rc != SQLITE_DONE)
                    error = Database::explain(source, QSqlError(QStringLiteral("Cannot copy %1.").arg(native(source)),
                                                                 QString::fromUtf8(sqlite3_errstr(rc)),
                                                                 QSqlError::StatementError, QString::number(rc)));
            }
        }
        if (fromDb.isOpen())
            fromDb.rollback();
    }
    if (error.isValid())
        removeStoreFiles(target);
    return error;
}

QString folderName(const QDateTime &when)
{
    return QStringLiteral("Tallymere-") + when.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
}

QSqlError makeFolder(const QString &parent, const QDateTime &when, QString *made)
{
    if (!QDir().mkpath(parent))
        return failure(QStringLiteral("Cannot create the folder %1.").arg(native(parent)));
    // mkdir fails on a name already taken, so two backups in one second
    // (or two programs) never share a folder.
    QString folder;
    for (int n = 1; folder.isEmpty(); ++n) {
        const QString name = folderName(when) + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        const QString candidate = QDir(parent).filePath(name);
        if (QDir(parent).mkdir(name))
            folder = candidate;
        else if (!QFileInfo::exists(candidate) || n > 1000)
            return failure(QStringLiteral("Cannot create a backup folder in %1.").arg(native(parent)));
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    *made = folder;
    return {};
}

QSqlError backup(const QString &dataFolder, const QString &parent, QString *made, const Progress &progress,
                 const QDateTime &when)
{
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere})
        if (!QFileInfo::exists(storePath(dataFolder, file)))
            return failure(QStringLiteral("There is no store %1 to back up.").arg(native(storePath(dataFolder, file))));
    QString folder;
    if (const QSqlError error = makeFolder(parent, when, &folder); error.isValid())
        return error;
    qint64 donePages = 0;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        qint64 filePages = 0;
        const QSqlError error = copyStore(storePath(dataFolder, file), storePath(folder, file),
                                          [&](qint64 done, qint64 total) {
                                              filePages = total;
                                              if (progress)
                                                  progress(donePages + done, donePages + total);
                                          });
        if (error.isValid()) {
            QDir(folder).removeRecursively();
            return error;
        }
        donePages += filePages;
    }
    if (made)
        *made = folder;
    return {};
}

QSqlError checkBackup(const QString &backupFolder)
{
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        const QString path = storePath(backupFolder, file);
        if (!QFileInfo::exists(path))
            return failure(QStringLiteral("The folder %1 is not a Tallymere backup: it holds no %2.")
                               .arg(native(backupFolder), Schema::fileName(file)));
        int version = -1;
        const QStringList faults = faultsOf(path, file, false, &version);
        if (!faults.isEmpty())
            return failure(QStringLiteral("The backup %1 cannot be restored: %2.")
                               .arg(native(path), faults.join(QStringLiteral("; "))));
    }
    return {};
}

QSqlError restore(const QString &dataFolder, const QString &backupFolder, QStringList *kept, const QDateTime &when)
{
    const QList<Schema::File> files{Schema::File::Transactions, Schema::File::Tallymere};
    if (const QSqlError error = checkBackup(backupFolder); error.isValid())
        return error;

    const DeskLock lock(dataFolder, DeskLock::Kind::Exclusive);
    if (!lock.isHeld())
        return failure(lock.isBusy() ? QStringLiteral("A Tallymere desk program has the stores in %1 open; "
                                                      "close it and try again.")
                                           .arg(native(dataFolder))
                                     : lock.errorText());

    // Both copies are made before either store is touched.
    QStringList copies;
    auto dropCopies = [&] {
        for (const QString &copy : std::as_const(copies))
            removeStoreFiles(copy);
    };
    for (Schema::File file : files) {
        QSqlError error;
        const QString copy = newFileBeside(storePath(dataFolder, file), &error);
        if (!copy.isEmpty()) {
            QFile::remove(copy);
            error = copyStore(storePath(backupFolder, file), copy);
        }
        if (error.isValid()) {
            dropCopies();
            return error;
        }
        copies << copy;
    }

    QStringList keptNow;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const Schema::File file = files.at(i);
        const QString path = storePath(dataFolder, file);
        if (QFileInfo::exists(path)) {
            if (const QSqlError error = settle(path); error.isValid()) {
                dropCopies();
                return error;
            }
            const QString base = QFileInfo(path).completeBaseName();
            QString keep;
            for (int n = 1; keep.isEmpty() || QFileInfo::exists(keep); ++n)
                keep = QDir(dataFolder).filePath(QStringLiteral("%1.replaced-%2%3.db")
                                                     .arg(base, when.toString(QStringLiteral("yyyy-MM-dd-HHmmss")),
                                                          n > 1 ? QStringLiteral("-%1").arg(n) : QString()));
            if (!QFile::rename(path, keep)) {
                dropCopies();
                return failure(QStringLiteral("Cannot move %1 aside.").arg(native(path)));
            }
            keptNow << keep;
        }
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        if (!QFile::rename(copies.at(i), path)) {
            dropCopies();
            return failure(QStringLiteral("Cannot move the restored store into place as %1; what it replaces is "
                                          "kept beside it.")
                               .arg(native(path)));
        }
        if (const QSqlError error = Database::installFile(path, file); error.isValid())
            return error;
    }
    if (kept)
        *kept = keptNow;
    return {};
}

QList<Finding> check(const QString &dataFolder)
{
    QList<Finding> findings;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        int version = -1;
        const QStringList faults = faultsOf(storePath(dataFolder, file), file, true, &version);
        const int known = Schema::currentVersion(file);
        QString text = faults.isEmpty() ? QStringLiteral("ok") : faults.join(QStringLiteral("; "));
        if (version >= 0) {
            text += QStringLiteral("; schema version %1, this program's %2").arg(version).arg(known);
            if (version < known)
                text += QStringLiteral(" (upgraded when Tallymere next opens it)");
        }
        findings << Finding{file, faults.isEmpty(), text};
    }
    return findings;
}

} // namespace Backup
