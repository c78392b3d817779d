#include "store/transfer/backup.h"


#include "store/engine/database.h"
#include "store/engine/desklock.h"
#include "store/engine/dialect.h"
#include "store/engine/sqlitefile.h"
#include "store/engine/stoppoint.h"
#include "store/engine/storeerror.h"
#include "store/engine/swap.h"
#include "store/transfer/common.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlQuery>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <fcntl.h>

namespace Backup {

namespace {

constexpr int FaultsShown = 5;

const QString UnfinishedPrefix = QStringLiteral(".unfinished-");


using Paths::native;

void removeStoreFiles(const QString &path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    QFile::remove(path + QStringLiteral("-journal"));
}

// Each table of `file` with the fields the program names.
QStringList tableFaults(const QSqlDatabase &db, Schema::File file)
{
    QStringList faults;
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
    return faults;
}

QString simplified(const QString &sql)
{
    return sql.simplified().remove(QStringLiteral(" "));
}

// The CHECK clauses of a table's statement, each with its parentheses.
QStringList checkClauses(const QString &sql)
{
    QStringList clauses;
    static const QRegularExpression check(QStringLiteral("\\bCHECK\\s*\\("), QRegularExpression::CaseInsensitiveOption);
    for (auto it = check.globalMatch(sql); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        int depth = 0;
        for (qsizetype i = match.capturedEnd() - 1; i < sql.size(); ++i) {
            depth += sql.at(i) == QLatin1Char('(') ? 1 : sql.at(i) == QLatin1Char(')') ? -1 : 0;
            if (depth == 0) {
                clauses << sql.mid(match.capturedStart(), i + 1 - match.capturedStart());
                break;
            }
        }
    }
    return clauses;
}

// The first quoted name in a clause: the column a CHECK constraint guards.
QString guardedColumn(const QString &clause)
{
    const qsizetype from = clause.indexOf(QLatin1Char('"'));
    const qsizetype to = clause.indexOf(QLatin1Char('"'), from + 1);
    return from >= 0 && to > from ? clause.mid(from, to - from + 1) : clause;
}

// The primary key and CHECK constraints a table of the program's making
// has, looked for in the table the store holds.
QStringList constraintFaults(const Database::SchemaObject &expected, const Database::SchemaObject &stored)
{
    QStringList faults;
    if (stored.key != expected.key && !expected.key.isEmpty())
        faults << QStringLiteral("table %1 lacks its primary key \"%2\"")
                      .arg(expected.name, expected.key.join(QStringLiteral("\", \"")));
    QStringList unguarded;
    const QString storedSql = simplified(stored.sql);
    for (const QString &clause : checkClauses(expected.sql))
        if (!storedSql.contains(simplified(clause), Qt::CaseInsensitive))
            unguarded << guardedColumn(clause);
    if (!unguarded.isEmpty())
        faults << QStringLiteral("table %1 lacks the CHECK constraint%2 on %3")
                      .arg(expected.name, unguarded.size() > 1 ? QStringLiteral("s") : QString(),
                           unguarded.join(QStringLiteral(", ")));
    return faults;
}

// Every table, index and trigger the program makes in a store of its
// version, looked for in the store; the tables named by the schema are
// looked at by tableFaults, and a virtual table's own tables go with it.
// What repair makes again (the search index, the loan history's triggers)
// is named once at the end.
QStringList shapeFaults(const QSqlDatabase &db, Schema::File file)
{
    bool searchIncomplete = false, historyIncomplete = false;
    QHash<QString, Database::SchemaObject> stored;
    for (const Database::SchemaObject &object : Database::objectsOf(db))
        stored.insert(object.type + QLatin1Char(' ') + object.name, object);
    QStringList faults, missingTables;
    for (const Database::SchemaObject &object : Database::expectedObjects(file)) {
        const QString key = object.type + QLatin1Char(' ') + object.name;
        const bool named = Schema::table(object.name) != nullptr;
        if (stored.contains(key)) {
            if (object.type == QLatin1String("table"))
                faults << constraintFaults(object, stored.value(key));
            continue;
        }
        if (named)
            continue;
        const bool isTable = object.type == QLatin1String("table");
        bool ownedByMissing = false;
        for (const QString &table : std::as_const(missingTables))
            ownedByMissing = ownedByMissing || (isTable && object.name.startsWith(table + QLatin1Char('_')));
        if (isTable)
            missingTables << object.name;
        if (!ownedByMissing)
            faults << QStringLiteral("no %1 %2").arg(object.type, object.name);
        (object.name.contains(QLatin1String("_history")) ? historyIncomplete : searchIncomplete) = true;
    }
    if (searchIncomplete)
        faults << QStringLiteral("tallymere-admin repair makes the search index anew");
    if (historyIncomplete)
        faults << QStringLiteral("loan history triggers incomplete (tallymere-admin repair makes them again)");
    return faults;
}

// What is wrong with the store at `path`, empty when nothing is; `*version`
// is its schema version (-1 when unknown). A thorough look runs the full
// integrity check, compares the store's tables, indexes, triggers and
// constraints with those the program makes and checks the search index;
// else the quick check, reading the file as a backup.
QStringList faultsOf(const QString &path, Schema::File file, bool thorough, int *version)
{
    *version = -1;
    if (!QFileInfo::exists(path))
        return {QStringLiteral("missing")};
    const Database::FileConnection reader(path, thorough ? Database::FileConnection::Mode::Shared
                                                                  : Database::FileConnection::Mode::Backup);
    const QSqlDatabase db = reader.db();
    StoreError versionError = db.lastError();
    if (!db.isOpen() || (*version = Dialect::sqlite().version(db, file, &versionError)) < 0)
        return {(Database::explain(path, versionError)).text()};
    QStringList faults = SqliteFile::integrityFaults(path, db, thorough, FaultsShown) + tableFaults(db, file);
    if (thorough && *version == Schema::currentVersion(file))
        faults << shapeFaults(db, file);
    if (thorough && file == Schema::File::Transactions && faults.isEmpty())
        faults << SqliteFile::searchFaults(db);
    if (*version > Schema::currentVersion(file))
        faults << Database::madeByNewer();
    return faults;
}

// Renames `from` to `to` unless `to` is there already (errno EEXIST).
bool renamedUnlessTaken(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system that cannot refuse to replace: looked at first instead.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (QFileInfo::exists(to)) {
        errno = EEXIST;
        return false;
    }
    return std::rename(source.constData(), target.constData()) == 0;
}

bool processIsGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

StoreError copyStore(const QString &source, const QString &target, const Progress &progress, int pagesPerStep,
                    Source from)
{
    if (!QFileInfo::exists(source))
        return StoreError::failure(QStringLiteral("The store %1 is missing.").arg(native(source)));
    QFile made(target);
    if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return StoreError::failure(QStringLiteral("Cannot create %1.").arg(native(target)), made.errorString());
    made.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    made.close();

    StoreError error;
    {
        const Database::FileConnection reader(source, from == Source::Backup ? Database::FileConnection::Mode::Backup
                                                                               : Database::FileConnection::Mode::Shared);
        Database::Connection to(target);
        QSqlDatabase fromDb = reader.db();
        if (!fromDb.isOpen())
            error = Database::explain(source, fromDb.lastError());
        else if (!to.open())
            error = to.lastError();
        // One read transaction for the whole copy: every step reads the same
        // moment of the store, and other programs' commits (into the
        // write-ahead log) can neither tear the copy nor make it start over.
        if (!error.isValid())
            if (const StoreError e = SqliteFile::beginSnapshot(fromDb); e.isValid())
                error = Database::explain(source, e);
        if (!error.isValid())
            error = SqliteFile::copyPages(fromDb, to.database(), source, target, progress, pagesPerStep);
        if (fromDb.isOpen())
            fromDb.rollback();
    }
    if (!error.isValid() && !StoreSwap::syncFile(target))
        error = StoreError::failure(QStringLiteral("Cannot write %1 to the disk.").arg(native(target)));
    if (error.isValid())
        removeStoreFiles(target);
    return error;
}

QString folderName(const QDateTime &when)
{
    return QStringLiteral("Tallymere-") + when.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
}

QStringList unfinishedFolders(const QString &parent)
{
    return QDir(parent).entryList({UnfinishedPrefix + QStringLiteral("*")},
                                  QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

StoreError makeUnfinishedFolder(const QString &parent, const QDateTime &when, QString *made)
{
    // A file where the folder should be is named as the folder that cannot
    // be made, not as a backup that failed inside it.
    if (!QFileInfo(parent).isDir()) {
        if (!QDir().mkpath(parent))
            return StoreError::failure(QStringLiteral("Cannot create the folder %1.").arg(native(parent)));
        QFile::setPermissions(parent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // Each unfinished folder carries its maker's process number: one whose
    // maker is gone was cut short, and is removed; one whose maker still
    // runs is another backup at work.
    for (const QString &name : unfinishedFolders(parent))
        if (processIsGone(name.section(QLatin1Char('-'), -1).toLongLong()))
            QDir(QDir(parent).filePath(name)).removeRecursively();
    const QString name = UnfinishedPrefix + folderName(when) + QLatin1Char('-')
                         + QString::number(QCoreApplication::applicationPid());
    if (!QDir(parent).mkdir(name))
        return StoreError::failure(QStringLiteral("Cannot create a backup folder in %1.").arg(native(parent)));
    *made = QDir(parent).filePath(name);
    QFile::setPermissions(*made, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return {};
}

StoreError finishFolder(const QString &unfinished, const QDateTime &when, QString *made)
{
    const QString parent = QFileInfo(unfinished).absolutePath();
    if (!StoreSwap::syncFolder(unfinished))
        return StoreError::failure(QStringLiteral("Cannot write the backup %1 to the disk.").arg(native(unfinished)));
    // The rename never replaces a folder already there, so two backups in
    // one second (or two programs) never share one.
    for (int n = 1; n <= 1000; ++n) {
        const QString name = folderName(when) + (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        const QString candidate = QDir(parent).filePath(name);
        if (renamedUnlessTaken(unfinished, candidate)) {
            if (!StoreSwap::syncFolder(parent))
                return StoreError::failure(QStringLiteral("Cannot write the folder %1 to the disk.").arg(native(parent)));
            *made = candidate;
            return {};
        }
        if (errno != EEXIST)
            break;
    }
    return StoreError::failure(QStringLiteral("Cannot name the backup in %1.").arg(native(parent)),
                   QString::fromLocal8Bit(std::strerror(errno)));
}

StoreError backup(const QString &dataFolder, const QString &parent, QString *made, const Progress &progress,
                 const QDateTime &when)
{
    const StoreLocation stores = StoreLocation::files(dataFolder);
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere})
        if (!QFileInfo::exists(stores.path(file)))
            return StoreError::failure(QStringLiteral("There is no store %1 to back up.").arg(native(stores.path(file))));
    QString folder;
    if (const StoreError error = makeUnfinishedFolder(parent, when, &folder); error.isValid())
        return error;
    StopPoint::step("backup");
    qint64 donePages = 0;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        qint64 filePages = 0;
        const StoreError error = copyStore(stores.path(file), StoreLocation::files(folder).path(file),
                                          [&](qint64 done, qint64 total) {
                                              filePages = total;
                                              if (progress)
                                                  progress(donePages + done, donePages + total);
                                          });
        if (error.isValid()) {
            QDir(folder).removeRecursively();
            return error;
        }
        StopPoint::step("backup");
        donePages += filePages;
    }
    QString finished;
    if (const StoreError error = finishFolder(folder, when, &finished); error.isValid()) {
        QDir(folder).removeRecursively();
        return error;
    }
    StopPoint::step("backup");
    if (made)
        *made = finished;
    return {};
}

StoreError checkBackup(const QString &backupFolder)
{
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        const QString path = StoreLocation::files(backupFolder).path(file);
        if (!QFileInfo::exists(path))
            return StoreError::failure(QStringLiteral("The folder %1 is not a Tallymere backup: it holds no %2.")
                               .arg(native(backupFolder), Schema::fileName(file)));
        // The backup is read as its file alone: changes still in a log beside
        // it (a folder copied while a desk had it open) would be lost.
        if (QFileInfo(path + QStringLiteral("-wal")).size() > 0)
            return StoreError::failure(QStringLiteral("The backup %1 cannot be restored: the log %2 beside it holds changes not "
                                          "yet in the file; run tallymere-admin --data %3 check first.")
                               .arg(native(path), Schema::fileName(file) + QStringLiteral("-wal"), native(backupFolder)));
        int version = -1;
        const QStringList faults = faultsOf(path, file, false, &version);
        if (!faults.isEmpty())
            return StoreError::failure(QStringLiteral("The backup %1 cannot be restored: %2.")
                               .arg(native(path), faults.join(QStringLiteral("; "))));
    }
    return {};
}

StoreError stageStores(const QString &from, const QString &staging, Source source)
{
    QDir(staging).removeRecursively();
    if (!QDir().mkpath(staging))
        return StoreError::failure(QStringLiteral("Cannot create the folder %1.").arg(native(staging)));
    QFile::setPermissions(staging, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        if (const StoreError error = copyStore(StoreLocation::files(from).path(file), StoreLocation::files(staging).path(file),
                                              {}, PagesPerStep, source);
            error.isValid())
            return error;
        StopPoint::step("stage");
    }
    // A backup made by an older program is brought up to this one's version.
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere})
        if (const StoreError error = Database::installFile(StoreLocation::files(staging).path(file), file); error.isValid())
            return error;
    return {};
}

namespace {

// What the swap does with each store: the staged file in, the store there
// now (made whole in its file first) kept under a name with `keepAs` in it,
// or given up when `keepAs` is not valid.
StoreError planMoves(const QString &dataFolder, const QDateTime &keepAs, QList<StoreSwap::Move> *moves)
{
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        const QString path = StoreLocation::files(dataFolder).path(file);
        StoreSwap::Move move{Schema::fileName(file),
                             QDir(StoreSwap::stagingName()).filePath(Schema::fileName(file)), QString()};
        if (QFileInfo::exists(path)) {
            if (const StoreError error = SqliteFile::emptyLog(path); error.isValid())
                return error;
            const QString base = QFileInfo(path).completeBaseName();
            for (int n = 1; keepAs.isValid() && (move.kept.isEmpty() || QFileInfo::exists(QDir(dataFolder).filePath(move.kept))); ++n)
                move.kept = QStringLiteral("%1.replaced-%2%3.db")
                                .arg(base, keepAs.toString(QStringLiteral("yyyy-MM-dd-HHmmss")),
                                     n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        }
        *moves << move;
    }
    return {};
}

} // namespace

StoreError swapIn(const QString &dataFolder, const QDateTime &keepAs, QStringList *kept)
{
    const QString staging = QDir(dataFolder).filePath(StoreSwap::stagingName());
    StoreError error;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        // The file alone is the whole store, on the disk.
        const QString path = StoreLocation::files(staging).path(file);
        if (!error.isValid())
            error = SqliteFile::emptyLog(path);
        if (!error.isValid() && !StoreSwap::syncFile(path))
            error = StoreError::failure(QStringLiteral("Cannot write %1 to the disk.").arg(native(path)));
    }
    if (!error.isValid() && !StoreSwap::syncFolder(staging))
        error = StoreError::failure(QStringLiteral("Cannot write the folder %1 to the disk.").arg(native(staging)));
    StopPoint::step("stage");
    QList<StoreSwap::Move> moves;
    if (!error.isValid())
        error = planMoves(dataFolder, keepAs, &moves);
    if (!error.isValid())
        error = StoreSwap::apply(dataFolder, moves);
    // A swap that failed part-way is finished by the next start, which
    // needs the staged files; only a swap never begun leaves them unused.
    if (!QFileInfo::exists(QDir(dataFolder).filePath(StoreSwap::intentName())))
        QDir(staging).removeRecursively();
    if (error.isValid() || !kept)
        return error;
    kept->clear();
    for (const StoreSwap::Move &move : std::as_const(moves))
        if (!move.kept.isEmpty())
            *kept << QDir(dataFolder).filePath(move.kept);
    return {};
}

StoreError restore(const QString &dataFolder, const QString &backupFolder, QStringList *kept, const QDateTime &when)
{
    if (const StoreError error = checkBackup(backupFolder); error.isValid())
        return error;
    std::optional<DeskLock> lock;
    if (QString refused; !Transfer::lockDeskAlone(lock, dataFolder, &refused))
        return StoreError::failure(refused);
    // Held to the end: no other program finishes, starts or undoes a swap
    // of these stores meanwhile, nor removes the staged files.
    const Database::InstallLock installing(dataFolder);
    if (!installing.isHeld())
        return installing.error();
    if (const StoreError error = Database::recoverHeld(dataFolder); error.isValid())
        return error;
    const QString staging = QDir(dataFolder).filePath(StoreSwap::stagingName());
    if (const StoreError error = stageStores(backupFolder, staging, Source::Backup); error.isValid()) {
        QDir(staging).removeRecursively();
        return error;
    }
    return swapIn(dataFolder, when, kept);
}

QList<Finding> check(const QString &dataFolder)
{
    QList<Finding> findings;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        int version = -1;
        const QStringList faults = faultsOf(StoreLocation::files(dataFolder).path(file), file, true, &version);
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
