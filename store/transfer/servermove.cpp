#include "store/transfer/common.h"

#include "store/engine/dialect.h"
#include "store/engine/gramtable.h"
#include "store/engine/sql.h"
#include "store/engine/stoppoint.h"
#include "store/engine/storeerror.h"
#include "store/engine/swap.h"
#include "store/transfer/backup.h"

#include <QDateTime>
#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>

// The moves between a desk's files and a server: the files' rows onto the
// server, the server's rows into a backup of files, and a backup's rows
// back onto the server, every row keeping its identity.
namespace Transfer {

namespace {

// Replaces the rows of the table `name` on `to` with those of `from`, only
// `columns`, read as they come in row order.
QString copyBetween(const Database::Connection &from, const Database::Connection &to, const QString &name,
                 const QStringList &columns, qint64 *rows, const Progress &progress)
{
    QSqlDatabase source = from.database();
    QSqlDatabase target = to.database();
    QSqlQuery clear(target);
    if (!clear.exec(Sql::deleteAll(name)))
        return to.explain(clear.lastError()).text();
    QSqlQuery read(source);
    read.setForwardOnly(true);
    if (!read.exec(Sql::selectAll(name, columns)))
        return from.explain(read.lastError()).text();
    QSqlQuery insert(target);
    if (!insert.prepare(Sql::insert(name, columns)))
        return to.explain(insert.lastError()).text();
    qint64 n = 0;
    while (read.next()) {
        for (int c = 0; c < columns.size(); ++c)
            insert.bindValue(c, read.value(c));
        if (!insert.exec())
            return to.explain(insert.lastError()).text();
        if (++n % ReportEvery == 0 && progress)
            progress(name, n, -1);
    }
    if (read.lastError().isValid())
        return from.explain(read.lastError()).text();
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
        if (const StoreError e = GramTable::suspend(target); e.isValid())
            return to.explain(e).text();
    const QStringList columns = QStringList{Schema::IdColumn, Schema::VersionColumn} + table.fields;
    if (const QString error = copyBetween(from, to, table.name, columns, rows, progress); !error.isEmpty())
        return error;
    if (books)
        if (const StoreError e = GramTable::resume(target); e.isValid())
            return to.explain(e).text();
    return {};
}

// Replaces the loan history on `to` with that of `from`, desks and all:
// copied after the loans, it also replaces what their copy wrote into it.
QString copyHistory(const Database::Connection &from, const Database::Connection &to, const Progress &progress)
{
    QString error;
    if (!execOn(to, Dialect::of(to.location()).keepHistoryDesks(), &error))
        return error;
    qint64 rows = 0;
    return copyBetween(from, to, Schema::History::Table, QStringList{Schema::IdColumn} + Schema::History::columns(), &rows,
                    progress);
}

// Writes the backup in `unfinished` to the disk and gives it its real name.
QString finishBackup(const QString &unfinished, const QDateTime &when, QString *made)
{
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere})
        if (const QString path = StoreLocation::files(unfinished).path(file); !StoreSwap::syncFile(path))
            return QStringLiteral("Cannot write %1 to the disk.").arg(native(path));
    const StoreError error = Backup::finishFolder(unfinished, when, made);
    return error.isValid() ? error.text() : QString();
}

// Writes the tables of `file` as `server`'s open transaction sees them into
// a new store file in `folder`.
QString writeStoreFile(const Database::Connection &server, Schema::File file, const QString &folder, qint64 *rows,
                       const Progress &progress)
{
    // A store as a desk makes it, its first rows then replaced.
    const QString path = StoreLocation::files(folder).path(file);
    if (const StoreError error = Database::installFile(path, file); error.isValid())
        return error.text();
    Database::Connection to(path);
    QString error;
    if (!openStore(to, &error))
        return error;
    QSqlDatabase target = to.database();
    if (!target.transaction())
        return to.explain(target.lastError()).text();
    for (const Schema::Table *table : Schema::tables(file))
        if (error.isEmpty())
            error = copyTable(server, to, *table, rows, progress);
    if (error.isEmpty() && file == Schema::File::Tallymere)
        error = copyHistory(server, to, progress);
    if (!error.isEmpty()) {
        target.rollback();
        return error;
    }
    if (!target.commit())
        return to.explain(target.lastError()).text();
    return {};
}

// Writes the three tables as `server`'s open transaction sees them into a
// new pair of store files in `folder`, refused when a newer program made
// the server's store.
QString writeBackup(const Database::Connection &server, const QString &folder, qint64 *rows, const Progress &progress)
{
    QString error;
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        const QString name = QStringLiteral("%1 (%2)").arg(server.name(), Schema::fileName(file));
        if (!checkVersion(server, file, name, &error))
            return error;
        if (error = writeStoreFile(server, file, folder, rows, progress); !error.isEmpty())
            return error;
    }
    return {};
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
    if (!execOn(to, Dialect::of(to.location()).followIdentities(), &error))
        return error;
    return {};
}

// Opens `to` and begins its transaction, the store taken to this work
// alone: no install, move or restore elsewhere, and no desk writing, until
// the transaction ends.
bool beginAlone(Database::Connection &to, QString *error)
{
    if (!openStore(to, error))
        return false;
    QSqlDatabase db = to.database();
    if (!db.transaction()) {
        *error = to.explain(db.lastError()).text();
        return false;
    }
    if (execOn(to, Dialect::of(to.location()).takeAlone(), error))
        return true;
    db.rollback();
    return false;
}

// 1 when `server`'s database holds a Tallymere store, 0 when it holds none
// yet, -1 (and `*error`) when it cannot be asked.
int serverHasStore(const StoreLocation &server, QString *error)
{
    Database::Connection connection(server, Schema::File::Tallymere);
    if (!openStore(connection, error))
        return -1;
    return Dialect::of(server).hasTable(connection.database(), QStringLiteral("tallymere_version")) ? 1 : 0;
}

// The rows of the three tables on the server, in `to`'s transaction.
qint64 rowsOnServer(const Database::Connection &to, QString *error)
{
    qint64 rows = 0;
    for (const Schema::Table *table : {&Schema::books(), &Schema::borrower(), &Schema::user()}) {
        QSqlQuery q(to.database());
        if (!q.exec(Sql::count(table->name, QString())) || !q.next()) {
            *error = to.explain(q.lastError()).text();
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
    if (const StoreError made = Backup::makeUnfinishedFolder(backupParent(dataFolder), when, kept); made.isValid())
        return made.text();
    qint64 backedUp = 0;
    if (QString error = writeBackup(to, *kept, &backedUp, progress); !error.isEmpty())
        return error;
    const QString unfinished = *kept;
    return finishBackup(unfinished, when, kept);
}

// Replaces every row on the server, in `to`'s open transaction (the store
// taken alone), with the rows of the store files `files`. With `backUp`,
// what the server held is backed up first into the desk's backups, and
// `refusal` says why nothing was done when it cannot be. `work` names the
// steps for the crash-safety tests.
Outcome fillServer(const Database::Connection &to, const QString &dataFolder, const StoreLocation &files, bool backUp,
                   const char *work, const QString &refusal, const Progress &progress)
{
    Outcome outcome;
    QSqlDatabase target = to.database();
    QString kept, error;
    if (backUp && !(error = backUpInside(to, dataFolder, &kept, progress)).isEmpty())
        return failed(outcome, refusal.arg(error), {target}, kept);
    StopPoint::step(work);
    if (error = copyIntoServer(to, files, &outcome.rows, progress); !error.isEmpty())
        return failed(outcome, error, {target}, kept);
    StopPoint::step(work);
    if (!target.commit())
        return failed(outcome, to.explain(target.lastError()).text(), {target}, kept);
    outcome.backup = kept;
    return outcome;
}

// Copies the backup `backupFolder` into the folder `staging`, where it is
// brought up to this program's version; the backup itself stays as it was
// made.
QString stageBackup(const QString &backupFolder, const QString &staging)
{
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere})
        if (const StoreError error =
                Backup::copyStore(StoreLocation::files(backupFolder).path(file), StoreLocation::files(staging).path(file),
                                  {}, Backup::PagesPerStep, Backup::Source::Backup);
            error.isValid())
            return error.text();
    return {};
}

} // namespace

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
        if (!installStores(where, &outcome.error))
            return outcome;
    Database::Connection to(server, Schema::File::Tallymere);
    if (!beginAlone(to, &outcome.error))
        return outcome;
    const qint64 held = before > 0 ? rowsOnServer(to, &outcome.error) : 0;
    if (held < 0)
        return failed(outcome, outcome.error, {to.database()});
    if (held > 0 && !replace) {
        outcome = failed(outcome,
                         QStringLiteral("The server %1 already holds a catalogue, loans or accounts.").arg(to.name()),
                         {to.database()});
        outcome.needsReplace = true;
        return outcome;
    }
    return fillServer(to, dataFolder, files, held > 0, "move",
                      QStringLiteral("Nothing was replaced, since no backup of the server could be made first: %1"),
                      progress);
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
        outcome.error = from.explain(db.lastError()).text();
        return outcome;
    }
    if (!execOn(from, Dialect::of(server).readSnapshot(), &outcome.error))
        return failed(outcome, outcome.error, {db});
    const QDateTime when = QDateTime::currentDateTime();
    QString folder;
    if (const StoreError error = Backup::makeUnfinishedFolder(parent, when, &folder); error.isValid())
        return failed(outcome, error.text(), {db});
    outcome.error = writeBackup(from, folder, &outcome.rows, progress);
    db.rollback();
    if (outcome.ok())
        outcome.error = finishBackup(folder, when, &outcome.backup);
    if (!outcome.ok())
        return failed(outcome, outcome.error, {}, folder);
    return outcome;
}

Outcome restoreServer(const QString &dataFolder, const StoreLocation &server, const QString &backupFolder,
                      const Progress &progress)
{
    Outcome outcome;
    if (const StoreError error = Backup::checkBackup(backupFolder); error.isValid()) {
        outcome.error = error.text();
        return outcome;
    }
    // A desk program of this folder would find its rows changed under it.
    std::optional<DeskLock> lock;
    if (!lockDeskAlone(lock, dataFolder, &outcome.error))
        return outcome;
    QTemporaryDir staging(QDir(dataFolder).filePath(QStringLiteral(".restore-XXXXXX")));
    if (!staging.isValid()) {
        outcome.error = QStringLiteral("Cannot create a folder in %1: %2").arg(native(dataFolder), staging.errorString());
        return outcome;
    }
    const StoreLocation files = StoreLocation::files(staging.path());
    if (outcome.error = stageBackup(backupFolder, staging.path()); !outcome.ok())
        return outcome;
    if (!installStores(files, &outcome.error) || !installStores(server, &outcome.error))
        return outcome;
    Database::Connection to(server, Schema::File::Tallymere);
    if (!beginAlone(to, &outcome.error))
        return outcome;
    return fillServer(to, dataFolder, files, true, "restore-server",
                      QStringLiteral("Nothing was restored, since no backup of the server could be made first: %1"),
                      progress);
}

} // namespace Transfer
