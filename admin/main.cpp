// tallymere-admin: installation work on the desk's stores from the command
// line: moving an old desk's files or a spreadsheet in, exporting, backing
// up, restoring and checking. It links the store alone, no widgets.
#include "admin/mdbsource.h"
#include "admin/usage.h"
#include "store/engine/clock.h"
#include "store/engine/csv.h"
#include "store/engine/database.h"
#include "store/engine/desklock.h"
#include "store/engine/location.h"
#include "store/engine/storeerror.h"
#include "store/records/history.h"
#include "store/transfer/backup.h"
#include "store/transfer/common.h"
#include "store/transfer/dailybackup.h"
#include "store/transfer/transfer.h"
#include "tallymere/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QHash>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>
#include <functional>
#include <optional>
#include <unistd.h>

namespace {

const QString Program = QStringLiteral("tallymere-admin");

void print(std::FILE *stream, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int fail(const QString &line)
{
    print(stderr, Program + QStringLiteral(": ") + line);
    return Admin::Failed;
}

using Paths::native;

// How far long work has come, on standard error: nothing for work done in
// a moment, then a line a second (rewritten in place on a terminal).
class ProgressLine
{
public:
    ProgressLine() : m_terminal(isatty(STDERR_FILENO)) { m_clock.start(); }
    ~ProgressLine() { finish(); }

    void report(const QString &what, qint64 rows, double part)
    {
        const qint64 now = m_clock.elapsed();
        if (now < FirstAfterMs || now - m_last < EveryMs)
            return;
        m_last = now;
        QString text = QStringLiteral("%1: %2 rows").arg(what).arg(rows);
        if (part >= 0)
            text += QStringLiteral(" (%1%)").arg(int(qBound(0.0, part, 1.0) * 100));
        show(text);
    }

    void reportPages(qint64 done, qint64 total)
    {
        const qint64 now = m_clock.elapsed();
        if (now < FirstAfterMs || now - m_last < EveryMs || total <= 0)
            return;
        m_last = now;
        show(QStringLiteral("copying: %1%").arg(done * 100 / total));
    }

    void finish()
    {
        if (m_shown && m_terminal)
            std::fputc('\n', stderr);
        m_shown = false;
    }

private:
    static constexpr qint64 FirstAfterMs = 1000;
    static constexpr qint64 EveryMs = 1000;

    void show(const QString &text)
    {
        const QByteArray bytes = text.toLocal8Bit();
        if (m_terminal)
            std::fprintf(stderr, "\r%s\033[K", bytes.constData());
        else
            std::fprintf(stderr, "%s\n", bytes.constData());
        std::fflush(stderr);
        m_shown = true;
    }

    QElapsedTimer m_clock;
    qint64 m_last = 0;
    bool m_terminal;
    bool m_shown = false;
};

using Admin::Context;

// The stores the desk of the data folder uses.
bool locate(const Context &c, StoreLocation *stores, QString *error)
{
    *stores = DeskStore::of(c.data, error);
    return stores->isValid();
}

// Moving the files to a server starts from a desk that uses its files: one
// already on a server would copy files it no longer uses over the server.
bool onFiles(const Context &c, QString *error)
{
    StoreLocation stores;
    if (!locate(c, &stores, error))
        return false;
    if (!stores.isServer())
        return true;
    *error = QStringLiteral("This desk keeps its stores on the server %1 already; use-local first.")
                 .arg(stores.name(Schema::File::Tallymere));
    return false;
}

bool needsFolder(const Context &c, QString *error)
{
    if (QFileInfo(c.data).isDir())
        return true;
    *error = QStringLiteral("There is no data folder %1.").arg(native(c.data));
    return false;
}

int report(const Transfer::Outcome &outcome, const QString &done)
{
    if (!outcome.backup.isEmpty())
        print(stdout, QStringLiteral("The stores were first backed up into %1.").arg(native(outcome.backup)));
    for (const QString &note : outcome.notes)
        print(stdout, note);
    if (!outcome.ok()) {
        if (outcome.needsReplace)
            return fail(outcome.error + QStringLiteral(" Give --replace to overwrite them; a backup is made first."));
        return fail(outcome.error);
    }
    print(stdout, done);
    return 0;
}

int importMdb(const Context &c)
{
    QString error;
    StoreLocation stores;
    if (!locate(c, &stores, &error))
        return fail(error);
    MdbTableSource catalogue(c.arguments.at(0));
    MdbTableSource desk(c.arguments.at(1));
    for (MdbTableSource *source : {&catalogue, &desk})
        if (!source->open())
            return fail(source->errorText());
    ProgressLine progress;
    const Transfer::Outcome outcome =
        Transfer::importTables(catalogue, desk, c.data, stores, c.replace,
                               [&](const QString &what, qint64 rows, double part) { progress.report(what, rows, part); });
    progress.finish();
    return report(outcome, QStringLiteral("Imported %1 rows into %2.").arg(outcome.rows).arg(Transfer::storesName(stores)));
}

int importBooks(const Context &c)
{
    QString error;
    StoreLocation stores;
    if (!locate(c, &stores, &error))
        return fail(error);
    ProgressLine progress;
    const Transfer::Outcome outcome = Transfer::importBooks(
        c.data, stores, c.arguments.at(0), c.replace,
        [&](const QString &what, qint64 rows, double part) { progress.report(what, rows, part); });
    progress.finish();
    return report(outcome, QStringLiteral("Imported %1 books into %2.")
                               .arg(outcome.rows)
                               .arg(stores.name(Schema::File::Transactions)));
}

// An export of the desk's stores into the file the command names, with
// its progress on standard error; `done` says what was written.
int exportRows(const Context &c,
               const std::function<Transfer::Outcome(const StoreLocation &, const Transfer::Progress &)> &write,
               const std::function<QString(qint64 rows)> &done)
{
    QString error;
    StoreLocation stores;
    std::optional<DeskLock> lock;
    if (!needsFolder(c, &error) || !locate(c, &stores, &error) || !Transfer::lockDesk(lock, c.data, &error))
        return fail(error);
    ProgressLine progress;
    const Transfer::Outcome outcome =
        write(stores, [&](const QString &what, qint64 rows, double part) { progress.report(what, rows, part); });
    progress.finish();
    return report(outcome, done(outcome.rows));
}

int exportTable(const Context &c, const Schema::Table &table)
{
    const QString file = c.arguments.at(0);
    return exportRows(
        c,
        [&](const StoreLocation &stores, const Transfer::Progress &progress) {
            return Transfer::exportTable(stores, table, file, progress);
        },
        [&](qint64 rows) { return QStringLiteral("Exported %1 rows of %2 into %3.").arg(rows).arg(table.name, native(file)); });
}

// export-loans, with --out only the loans still out, borrowed at least
// --days N days ago.
int exportLoans(const Context &c)
{
    const QString days = QStringLiteral("days");
    if (!c.has(QStringLiteral("out"))) {
        if (!c.has(days))
            return exportTable(c, Schema::borrower());
        print(stderr, Program + QStringLiteral(": --days goes with --out."));
        return Admin::WrongUsage;
    }
    bool number = true;
    const int atLeast = c.has(days) ? c.options.value(days).toInt(&number) : 0;
    if (!number || atLeast < 0) {
        print(stderr, Program + QStringLiteral(": --days takes a whole number of days, 0 or more, not \"%1\".")
                                    .arg(c.options.value(days)));
        return Admin::WrongUsage;
    }
    const QString file = c.arguments.at(0);
    return exportRows(
        c,
        [&](const StoreLocation &stores, const Transfer::Progress &progress) {
            return Transfer::exportLoansOut(stores, file, atLeast, Clock::today(), progress);
        },
        [&](qint64 rows) { return QStringLiteral("Exported %1 loans still out into %2.").arg(rows).arg(native(file)); });
}

int backup(const Context &c)
{
    QString error;
    StoreLocation stores;
    std::optional<DeskLock> lock;
    if (!needsFolder(c, &error) || !locate(c, &stores, &error) || !Transfer::lockDesk(lock, c.data, &error))
        return fail(error);
    ProgressLine progress;
    if (stores.isServer()) {
        const Transfer::Outcome outcome = Transfer::backUpServer(
            stores, c.arguments.at(0),
            [&](const QString &what, qint64 rows, double part) { progress.report(what, rows, part); });
        progress.finish();
        if (!outcome.ok())
            return fail(outcome.error);
        print(stdout, QStringLiteral("Backed up the stores into %1.").arg(native(outcome.backup)));
        return 0;
    }
    QString made;
    const StoreError failure = Backup::backup(c.data, c.arguments.at(0), &made,
                                             [&](qint64 done, qint64 total) { progress.reportPages(done, total); });
    progress.finish();
    if (failure.isValid())
        return fail(failure.text());
    print(stdout, QStringLiteral("Backed up the stores into %1.").arg(native(made)));
    return 0;
}

// The backup folder `given` names: a folder, or the name of one of the
// desk's backups (as `backups` lists them); empty, with `*error`, when it
// names neither.
QString backupNamed(const Context &c, const QString &given, QString *error)
{
    if (QFileInfo(given).isDir())
        return given;
    const QString parent = DailyBackup::folder(c.data, error);
    if (parent.isEmpty())
        return {};
    if (DailyBackup::madeAt(given).isValid() && QFileInfo(QDir(parent).filePath(given)).isDir())
        return QDir(parent).filePath(given);
    *error = QStringLiteral("There is no folder %1, nor a backup of that name in %2.").arg(native(given), native(parent));
    return {};
}

int restoreServer(const Context &c, const StoreLocation &stores)
{
    ProgressLine progress;
    const Transfer::Outcome outcome = Transfer::restoreServer(
        c.data, stores, c.arguments.at(0),
        [&](const QString &what, qint64 rows, double part) { progress.report(what, rows, part); });
    progress.finish();
    if (!outcome.ok())
        return fail(outcome.error);
    print(stdout, QStringLiteral("Restored the stores on the server %1 from %2.")
                      .arg(stores.name(Schema::File::Tallymere), native(c.arguments.at(0))));
    print(stdout, QStringLiteral("The stores it replaced are kept as the backup %1.").arg(native(outcome.backup)));
    return 0;
}

int restore(const Context &given)
{
    QString error;
    StoreLocation stores;
    if (!locate(given, &stores, &error))
        return fail(error);
    Context c = given;
    c.arguments[0] = backupNamed(given, given.arguments.at(0), &error);
    if (c.arguments.at(0).isEmpty())
        return fail(error);
    if (stores.isServer())
        return restoreServer(c, stores);
    QStringList kept;
    const StoreError failure = Backup::restore(c.data, c.arguments.at(0), &kept);
    if (failure.isValid())
        return fail(failure.text());
    QStringList shown;
    for (const QString &path : kept)
        shown << native(path);
    print(stdout, QStringLiteral("Restored the stores in %1 from %2.").arg(native(c.data), native(c.arguments.at(0))));
    if (!shown.isEmpty())
        print(stdout, QStringLiteral("The stores it replaced are kept as %1.").arg(shown.join(QStringLiteral(", "))));
    return 0;
}

int backupFolder(const Context &c)
{
    QString error;
    if (!DailyBackup::setFolder(c.data, c.arguments.at(0), &error))
        return fail(error);
    print(stdout, QStringLiteral("The desk of %1 makes its backups in %2 from now on.")
                      .arg(native(c.data), native(DailyBackup::folder(c.data))));
    return 0;
}

int backups(const Context &c)
{
    QString error;
    const QString parent = DailyBackup::folder(c.data, &error);
    if (parent.isEmpty())
        return fail(error);
    QList<DailyBackup::Entry> entries = DailyBackup::list(parent);
    print(stdout, QStringLiteral("%1 backups in %2%3").arg(entries.size()).arg(native(parent),
                                                           entries.isEmpty() ? QStringLiteral(".") : QStringLiteral(":")));
    const QLocale locale = QLocale::system();
    for (DailyBackup::Entry &entry : entries) {
        DailyBackup::count(entry);
        const QString rows = entry.fault.isEmpty()
                                 ? QStringLiteral("loans: %1, books: %2").arg(entry.loans).arg(entry.books)
                                 : QStringLiteral("cannot be read: %1").arg(entry.fault);
        print(stdout, QStringLiteral("%1  %2  %3  %4")
                          .arg(entry.name, entry.made.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                               locale.formattedDataSize(entry.bytes), rows));
    }
    return 0;
}

// Whether the loan history's triggers are all there, said in one line (a
// server's; the files' are among what Backup::check compares).
bool checkHistory(const StoreLocation &stores)
{
    StoreError error;
    const bool incomplete = Database::historyIsIncomplete(stores, &error);
    const bool ok = !incomplete && !error.isValid();
    print(stdout, QStringLiteral("%1: loan history %2")
                      .arg(Schema::fileName(Schema::File::Tallymere),
                           error.isValid() ? QStringLiteral("not checked: ") + error.text()
                           : incomplete    ? QStringLiteral("triggers incomplete (tallymere-admin repair makes them again)")
                                           : QStringLiteral("ok")));
    return ok;
}

int checkServer(const StoreLocation &stores)
{
    // The server keeps its own pages whole; what can be out of order here is
    // the store's shape: its version and its search indexes.
    const StoreError failure = Database::install(stores);
    if (failure.isValid())
        return fail(failure.text());
    StoreError error;
    const bool incomplete = Database::searchIsIncomplete(stores, &error);
    if (error.isValid())
        return fail(error.text());
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        const bool ok = !(file == Schema::File::Transactions && incomplete);
        print(stdout, QStringLiteral("%1 on %2: %3; schema version %4, this program's %4")
                          .arg(Schema::fileName(file), stores.name(file),
                               ok ? QStringLiteral("ok") : QStringLiteral("search index incomplete (run repair)"))
                          .arg(Schema::currentVersion(file)));
    }
    return checkHistory(stores) && !incomplete ? 0 : 1;
}

// The partial files that programs stopped midway left in the data folder
// and its backups folder; each goes at the next run of what made it.
void showLeftovers(const Context &c)
{
    const QString backups = Transfer::backupParent(c.data);
    QStringList paths;
    for (const QString &name : Database::leftovers(c.data))
        paths << QDir(c.data).filePath(name);
    for (const QString &name : Backup::unfinishedFolders(backups))
        paths << QDir(backups).filePath(name);
    for (const QString &path : std::as_const(paths))
        print(stdout, QStringLiteral("Left unfinished by a program that was stopped: %1").arg(native(path)));
}

int check(const Context &c)
{
    QString error;
    std::optional<DeskLock> lock;
    if (!needsFolder(c, &error) || !Transfer::lockDesk(lock, c.data, &error))
        return fail(error);
    StoreLocation stores;
    if (!locate(c, &stores, &error))
        return fail(error);
    if (stores.isServer())
        return checkServer(stores);
    // A desk making or upgrading its stores finishes before they are looked at.
    const Database::InstallLock installing(c.data, [&c] {
        print(stderr, QStringLiteral("Waiting while another Tallymere prepares the stores in %1…").arg(native(c.data)));
    });
    if (!installing.isHeld())
        return fail(installing.error().text());
    bool healthy = true;
    for (const Backup::Finding &finding : Backup::check(c.data)) {
        print(stdout, QStringLiteral("%1: %2").arg(Schema::fileName(finding.file), finding.text));
        healthy = healthy && finding.ok;
    }
    showLeftovers(c);
    return healthy ? 0 : 1;
}

int repair(const Context &c)
{
    QString error;
    StoreLocation stores;
    if (!needsFolder(c, &error) || !locate(c, &stores, &error))
        return fail(error);
    // No desk may search or save while the index is made anew.
    const DeskLock alone(c.data, DeskLock::Kind::Exclusive);
    if (!alone.isHeld())
        return fail(alone.isBusy() ? QStringLiteral("A Tallymere desk program is running on %1; close it first.")
                                         .arg(native(c.data))
                                   : alone.errorText());
    ProgressLine progress;
    QString done;
    const StoreError failure = Database::repairSearch(stores, &done);
    progress.finish();
    if (failure.isValid())
        return fail(failure.text());
    print(stdout, QStringLiteral("Repaired the catalogue %1: %2.").arg(stores.name(Schema::File::Transactions), done));
    if (const StoreError e = Database::repairHistory(stores, &done); e.isValid())
        return fail(e.text());
    print(stdout, QStringLiteral("Repaired the loan store %1: %2.").arg(stores.name(Schema::File::Tallymere), done));
    return 0;
}

// Why the server address cannot be kept in the desk's folder; empty when it can.
QString refuseAddress(const QString &connection)
{
    const ServerOptions options = parseServerOptions(connection);
    if (!options.ok())
        return options.error;
    if (!options.password.isEmpty())
        return QStringLiteral("The address holds a password; it is never written into the desk's files. "
                              "Put it in ~/.pgpass (or a service file) and give the address without it.");
    return {};
}

int useServer(const Context &c)
{
    const QString connection = c.arguments.at(0);
    if (const QString refused = refuseAddress(connection); !refused.isEmpty())
        return fail(refused);
    const StoreLocation stores = StoreLocation::server(connection);
    // Connects, and sets up the store where the database has none.
    if (const StoreError failure = Database::install(stores); failure.isValid())
        return fail(failure.text());
    QString error;
    if (!DeskStore::useServer(c.data, connection, &error))
        return fail(error);
    print(stdout, QStringLiteral("The desk of %1 now keeps its stores on the server %2.")
                      .arg(native(c.data), stores.name(Schema::File::Tallymere)));
    return 0;
}

int moveToServer(const Context &c)
{
    const QString connection = c.arguments.at(0);
    if (const QString refused = refuseAddress(connection); !refused.isEmpty())
        return fail(refused);
    QString error;
    if (!needsFolder(c, &error) || !onFiles(c, &error))
        return fail(error);
    std::optional<DeskLock> lock;
    if (!Transfer::lockDesk(lock, c.data, &error))
        return fail(error);
    ProgressLine progress;
    const StoreLocation server = StoreLocation::server(connection);
    const Transfer::Outcome outcome = Transfer::moveToServer(
        c.data, server, c.replace, [&](const QString &what, qint64 rows, double part) { progress.report(what, rows, part); });
    progress.finish();
    if (outcome.ok() && !DeskStore::useServer(c.data, connection, &error))
        return fail(error);
    return report(outcome, QStringLiteral("Copied %1 rows into the server %2; this desk now keeps its stores there.")
                               .arg(outcome.rows)
                               .arg(server.name(Schema::File::Tallymere)));
}

int useLocal(const Context &c)
{
    QString error;
    if (!DeskStore::useFiles(c.data, &error))
        return fail(error);
    print(stdout, QStringLiteral("The desk of %1 now keeps its stores in its own files.").arg(native(c.data)));
    return 0;
}

int wrongUsage(const QString &line);

// The local day `text` (yyyy-MM-dd) begins, as `*when`.
bool dayStart(const QString &option, const QString &text, QDateTime *when, QString *error)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (!day.isValid()) {
        *error = QStringLiteral("--%1 takes a date as yyyy-MM-dd, not \"%2\".").arg(option, text);
        return false;
    }
    *when = day.startOfDay();
    return true;
}

QString historyTime(const LoanHistory::Change &change)
{
    return change.at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString historyDesk(const LoanHistory::Change &change)
{
    return change.role.isEmpty() ? change.desk : QStringLiteral("%1 (%2)").arg(change.desk, change.role);
}

// One change as a line: when, where, which row, what.
QString historyLine(const LoanHistory::Change &change)
{
    const QString row = change.rowId < 0
                            ? change.table
                            : QStringLiteral("loan %1 (accession number %2)").arg(change.rowId).arg(change.accession);
    return QStringLiteral("%1  %2  #%3  %4  %5")
        .arg(historyTime(change), historyDesk(change))
        .arg(change.id)
        .arg(row, LoanHistory::describe(change));
}

QStringList historyFields(const LoanHistory::Change &change)
{
    return {historyTime(change), change.desk, change.role, change.table,
            change.rowId < 0 ? QString() : QString::number(change.rowId), change.accession, change.kind,
            LoanHistory::describe(change)};
}

// Writes the changes `filter` lets through into the CSV file `path`,
// which appears whole or not at all.
int historyCsv(const StoreLocation &stores, const LoanHistory::Filter &filter, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("Cannot write %1: %2").arg(native(path), file.errorString()));
    file.write(Csv::line({QStringLiteral("Time"), QStringLiteral("Desk"), QStringLiteral("Role"),
                          QStringLiteral("Table"), QStringLiteral("Identity"), QStringLiteral("AccessionNumber"),
                          QStringLiteral("Kind"), QStringLiteral("What")})
                   .toUtf8());
    qint64 rows = 0;
    const StoreError error = LoanHistory::list(stores, filter, [&](const LoanHistory::Change &change) {
        ++rows;
        return file.write(Csv::line(historyFields(change)).toUtf8()) >= 0;
    });
    if (error.isValid())
        return fail(error.text());
    if (!file.commit())
        return fail(QStringLiteral("Cannot write %1: %2").arg(native(path), file.errorString()));
    print(stdout, QStringLiteral("Wrote %1 changes into %2.").arg(rows).arg(native(path)));
    return 0;
}

// Removes the changes made before a day, after a backup of both stores.
int pruneHistory(const Context &c, const StoreLocation &stores, const QDateTime &before)
{
    QString made;
    if (stores.isServer()) {
        const Transfer::Outcome outcome = Transfer::backUpServer(stores, Transfer::backupParent(c.data));
        if (!outcome.ok())
            return fail(QStringLiteral("Nothing was removed, since no backup could be made first: %1").arg(outcome.error));
        made = outcome.backup;
    } else if (const StoreError e = Backup::backup(c.data, Transfer::backupParent(c.data), &made); e.isValid()) {
        return fail(QStringLiteral("Nothing was removed, since no backup could be made first: %1")
                        .arg(e.text()));
    }
    print(stdout, QStringLiteral("The stores were first backed up into %1.").arg(native(made)));
    qint64 removed = 0;
    if (const StoreError e = LoanHistory::prune(stores, before, &removed); e.isValid())
        return fail(e.text());
    print(stdout, QStringLiteral("Removed %1 changes made before %2 from the loan history.")
                      .arg(removed)
                      .arg(c.options.value(QStringLiteral("prune-before"))));
    return 0;
}

// Opens the stores of the desk for the history's commands, brought up to
// this program's version first (a store an older desk left has no history
// yet), with the desk's presence marked.
bool historyStores(const Context &c, StoreLocation *stores, std::optional<DeskLock> &lock, QString *error)
{
    if (!needsFolder(c, error) || !locate(c, stores, error) || !Transfer::lockDesk(lock, c.data, error))
        return false;
    if (const StoreError e = Database::install(*stores); e.isValid()) {
        *error = e.text();
        return false;
    }
    return true;
}

int history(const Context &c)
{
    // The options are checked before any store is opened: a mistyped one is
    // wrong usage, not a failure.
    const bool prune = c.has(QStringLiteral("prune-before"));
    if (prune && (!c.arguments.isEmpty() || c.has(QStringLiteral("since")) || c.has(QStringLiteral("deleted"))
                  || c.has(QStringLiteral("csv"))))
        return wrongUsage(QStringLiteral("history --prune-before takes no ACCESSION, --since, --deleted or --csv."));
    QString error;
    QDateTime before;
    LoanHistory::Filter filter;
    filter.accession = c.arguments.value(0);
    filter.deletedOnly = c.has(QStringLiteral("deleted"));
    if ((prune && !dayStart(QStringLiteral("prune-before"), c.options.value(QStringLiteral("prune-before")), &before, &error))
        || (c.has(QStringLiteral("since"))
            && !dayStart(QStringLiteral("since"), c.options.value(QStringLiteral("since")), &filter.since, &error)))
        return wrongUsage(error);
    StoreLocation stores;
    std::optional<DeskLock> lock;
    if (!historyStores(c, &stores, lock, &error))
        return fail(error);
    if (prune)
        return pruneHistory(c, stores, before);
    if (c.has(QStringLiteral("csv")))
        return historyCsv(stores, filter, c.options.value(QStringLiteral("csv")));
    const StoreError failure = LoanHistory::list(stores, filter, [](const LoanHistory::Change &change) {
        print(stdout, historyLine(change));
        return true;
    });
    return failure.isValid() ? fail(failure.text()) : 0;
}

int undelete(const Context &c)
{
    qint64 id = 0;
    if (c.has(QStringLiteral("id"))) {
        bool number = false;
        id = c.options.value(QStringLiteral("id")).toLongLong(&number);
        if (!number || id <= 0)
            return wrongUsage(QStringLiteral("--id takes the number of a change the history lists, not \"%1\".")
                                  .arg(c.options.value(QStringLiteral("id"))));
    }
    QString error;
    StoreLocation stores;
    std::optional<DeskLock> lock;
    if (!historyStores(c, &stores, lock, &error))
        return fail(error);
    const QString accession = c.arguments.at(0);
    LoanHistory::Undeleted done;
    if (const StoreError e = LoanHistory::undelete(stores, accession, id, &done); e.isValid()) {
        for (const LoanHistory::Change &candidate : done.candidates)
            print(stdout, QStringLiteral("--id %1: %2").arg(candidate.id).arg(historyLine(candidate)));
        return fail(e.text());
    }
    print(stdout, QStringLiteral("Brought back the loan of accession number %1 (loan %2); "
                                 "the desks show it at their next reload.")
                      .arg(accession)
                      .arg(done.rowId));
    return 0;
}

// The options some commands take, beside --data, --help and --version.
const QList<Admin::Option> &options()
{
    using namespace Qt::Literals::StringLiterals;
    static const QList<Admin::Option> list{
        {u"replace"_s, {}, u"Replace what the stores hold (after a backup)."_s},
        {u"out"_s, {}, u"Only the loans not yet returned, oldest first, with the days each has been out."_s},
        {u"days"_s, u"N"_s, u"With --out: only the loans borrowed at least N days ago (0 unless given)."_s},
        {u"since"_s, u"DATE"_s, u"Only the changes made on or after DATE (yyyy-MM-dd)."_s},
        {u"deleted"_s, {}, u"Only the loans deleted."_s},
        {u"csv"_s, u"FILE"_s, u"Write the changes into FILE as CSV instead."_s},
        {u"prune-before"_s, u"DATE"_s, u"Remove the changes made before DATE, after a backup of both stores."_s},
        {u"id"_s, u"N"_s, u"The change (as history lists it) that deleted the loan to bring back."_s},
    };
    return list;
}

// Before any command: a change of the store files that a stopped program
// left is finished (check only looks, and names what it finds), and a data
// folder holding one store without the other is refused, except by the
// commands that bring the pair back or do not open it.
QString recoverAndCheckPair(const QString &command, const Context &c)
{
    if (!QFileInfo(c.data).isDir() || command == QLatin1String("check") || command == QLatin1String("help"))
        return {};
    if (const StoreError error = Database::recover(c.data); error.isValid())
        return error.text();
    const QStringList pairNotNeeded{QStringLiteral("restore"), QStringLiteral("use-server"), QStringLiteral("use-local")};
    QString unreadable;
    if (pairNotNeeded.contains(command) || DeskStore::of(c.data, &unreadable).isServer())
        return {};
    const StoreError error = Database::checkPair(c.data);
    return error.isValid() ? error.text() : QString();
}

int help(const Context &c);

// Every command, once: the help, the manual page and the shell completion
// name these.
const QList<Admin::Command> &commands()
{
    using namespace Qt::Literals::StringLiterals;
    static const QList<Admin::Command> list{
        {u"import-mdb"_s, {u"TRANSACTIONS.mdb"_s, u"TALLYMERE.mdb"_s}, {u"replace"_s},
         u"imports the catalogue, loans and accounts of an old desk's Jet files"_s,
         u"Replaces the catalogue, the loans and the accounts with the old files' (an old account table without rows "
         "keeps the current accounts). Stores that hold loans are refused unless given --replace, and then backed up "
         "first into backups/ in the data folder. Refused while a desk program has the stores open."_s,
         u"tallymere-admin import-mdb Transactions.mdb Tallymere.mdb"_s, importMdb},
        {u"import-books"_s, {u"FILE.csv"_s}, {u"replace"_s},
         u"adds the books of a CSV file to the catalogue (--replace: instead of it)"_s,
         u"Adds the file's books to the catalogue, all or none. With --replace both stores are backed up into "
         "backups/ in the data folder first, and the file's books take the catalogue's place."_s,
         u"tallymere-admin import-books catalogue.csv --replace"_s, importBooks},
        {u"export-books"_s, {u"FILE.csv"_s}, {}, u"writes the catalogue to a CSV file"_s,
         u"Writes FILE.csv (replacing a file of that name); the stores are only read."_s,
         u"tallymere-admin export-books books.csv"_s, [](const Context &c) { return exportTable(c, Schema::books()); }},
        {u"export-loans"_s, {u"FILE.csv"_s}, {u"out"_s, u"days"_s},
         u"writes the loans to a CSV file (--out: only those not yet returned)"_s,
         u"Writes FILE.csv (replacing a file of that name), readable by its owner only; the stores are only read. "
         "With --out only the loans not yet returned (Remarks not \"Returned\" and no date returned), borrowed at "
         "least N days ago, oldest first, with a last column \"Days out\"."_s,
         u"tallymere-admin export-loans overdue.csv --out --days 14"_s, exportLoans},
        {u"backup"_s, {u"DIR"_s}, {}, u"copies both stores into a new folder in DIR, even while the desk runs"_s,
         u"Makes a new folder in DIR, named for the date and time; the stores are only read."_s,
         u"tallymere-admin backup ~/tallymere-backups"_s, backup},
        {u"restore"_s, {u"DIR|NAME"_s}, {},
         u"puts the backup in DIR (or the one backups lists as NAME) back, while no desk program runs"_s,
         u"Replaces both stores with the backup's. The files it replaces are kept beside them as "
         "Transactions.replaced-DATE.db and Tallymere.replaced-DATE.db; a server's tables are first backed up "
         "into backups/ in the data folder."_s,
         u"tallymere-admin restore ~/tallymere-backups/Tallymere-2025-06-01-093000"_s, restore},
        {u"backups"_s, {}, {}, u"lists the desk's backups, the daily ones too: time, size, loans and books"_s,
         u"Nothing; the backups are only read."_s, u"tallymere-admin backups"_s, backups},
        {u"backup-folder"_s, {u"DIR"_s}, {},
         u"makes the desk's backups in DIR (a stick, a share) instead of backups/ in its data folder"_s,
         u"Writes backup.conf in the data folder; DIR must exist. The daily backups go there from the next one on."_s,
         u"tallymere-admin backup-folder /media/usb/tallymere"_s, backupFolder},
        {u"check"_s, {}, {}, u"checks each store and shows its schema version"_s,
         u"Nothing; the stores are only read. The status is 1 when a store is not sound."_s,
         u"tallymere-admin check"_s, check},
        {u"repair"_s, {}, {}, u"makes the catalogue's search index anew, while no desk program runs"_s,
         u"Makes the catalogue's search index and its triggers anew; no book is changed."_s,
         u"tallymere-admin repair"_s, repair},
        {u"use-server"_s, {u"ADDRESS"_s}, {},
         u"keeps this desk's stores on a PostgreSQL server (postgresql://user@host/db or service=NAME)"_s,
         u"Sets the store up on the server where the database has none, and writes the address (never a password) "
         "into server.conf in the data folder."_s,
         u"tallymere-admin use-server \"postgresql://desk@db.example.org/library\""_s, useServer},
        {u"move-to-server"_s, {u"ADDRESS"_s}, {u"replace"_s},
         u"copies this desk's stores into a PostgreSQL server and keeps them there"_s,
         u"Copies the catalogue, the loans and the accounts into the server in one transaction (over a server "
         "that holds a catalogue, loans or accounts only with --replace, and after backing them up into backups/ in "
         "the data folder), then writes server.conf in the data folder; the files stay as they are."_s,
         u"tallymere-admin move-to-server \"service=library\""_s, moveToServer},
        {u"use-local"_s, {}, {}, u"keeps this desk's stores in its own files again"_s,
         u"Removes server.conf from the data folder; nothing on the server changes."_s, u"tallymere-admin use-local"_s,
         useLocal},
        {u"history"_s, {u"[ACCESSION]"_s}, {u"since"_s, u"deleted"_s, u"csv"_s, u"prune-before"_s},
         u"lists the changes to the loans (of one accession number), newest first"_s,
         u"Nothing; the stores are only read (an older loan store is first brought up to date). With --csv it "
         "writes FILE (replacing a file of that name). With --prune-before it backs both stores up into backups/ "
         "in the data folder, then removes the changes made before DATE from the loan history."_s,
         u"tallymere-admin history A-1024 --since 2026-09-01"_s, history},
        {u"undelete"_s, {u"ACCESSION"_s}, {u"id"_s}, u"brings a deleted loan back from the loan history"_s,
         u"Puts the deleted loan back with its identity and every field as it was, its version moved on, and keeps "
         "the undelete in the history. Where several deleted loans match it lists them and changes nothing; --id "
         "names one. Refused where another loan holds that identity."_s,
         u"tallymere-admin undelete A-1024 --id 57"_s, undelete},
        {u"help"_s, {u"[COMMAND]"_s}, {}, u"shows the help of COMMAND, or of the program"_s, u"Nothing."_s,
         u"tallymere-admin help import-books"_s, help},
    };
    return list;
}

int wrongUsage(const QString &line)
{
    print(stderr, Program + QStringLiteral(": ") + line);
    return Admin::WrongUsage;
}

int unknownCommand(const QString &name)
{
    return wrongUsage(QStringLiteral("Unknown command \"%1\"; see %2 --help.").arg(name, Program));
}

int help(const Context &c)
{
    if (c.arguments.isEmpty()) {
        std::fputs(Admin::generalHelp(commands(), options()).toLocal8Bit().constData(), stdout);
        return Admin::Done;
    }
    const Admin::Command *command = Admin::find(commands(), c.arguments.first());
    if (!command)
        return unknownCommand(c.arguments.first());
    std::fputs(Admin::commandHelp(*command, options()).toLocal8Bit().constData(), stdout);
    return Admin::Done;
}

// What the command line asks for, checked against the command's entry.
int dispatch(const QCommandLineParser &parser, bool helpAsked)
{
    QStringList positional = parser.positionalArguments();
    Context context;
    if (positional.isEmpty())
        return helpAsked ? help(context) : wrongUsage(QStringLiteral("No command given; see %1 --help.").arg(Program));
    const QString name = positional.takeFirst();
    const Admin::Command *command = Admin::find(commands(), name);
    if (!command)
        return unknownCommand(name);
    if (helpAsked) { // "COMMAND --help" is "help COMMAND"
        context.arguments = QStringList{name};
        return help(context);
    }
    if (const QString error = Admin::argumentError(*command, positional.size()); !error.isEmpty())
        return wrongUsage(error);
    for (const Admin::Option &option : options()) {
        if (!parser.isSet(option.name))
            continue;
        if (!command->options.contains(option.name))
            return wrongUsage(QStringLiteral("%1 does not take --%2.").arg(command->name, option.name));
        context.options.insert(option.name, option.value.isEmpty() ? QString() : parser.value(option.name));
    }
    context.arguments = positional;
    context.replace = context.has(QStringLiteral("replace"));
    context.data = parser.isSet(QStringLiteral("data")) ? QDir(parser.value(QStringLiteral("data"))).absolutePath()
                                                        : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (context.data.isEmpty())
        return fail(QStringLiteral("There is no data folder for this user; give one with --data."));
    if (const QString refused = recoverAndCheckPair(command->name, context); !refused.isEmpty())
        return fail(refused);
    return command->run(context);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The same per-user folder as the desk program's.
    QCoreApplication::setApplicationName(QStringLiteral("Tallymere"));
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYMERE_VERSION));

    // The help is made from the command table; Qt's own (and its --help-all,
    // which lists Qt's options) is not used.
    QCommandLineParser parser;
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")}, QString());
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    parser.addOption(QCommandLineOption(QStringLiteral("data"), QString(), QStringLiteral("DIR")));
    for (const Admin::Option &option : options())
        parser.addOption(QCommandLineOption(option.name, option.text, option.value));
    if (!parser.parse(QCoreApplication::arguments()))
        return wrongUsage(parser.errorText());
    if (parser.isSet(versionOption)) {
        print(stdout, Program + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return Admin::Done;
    }
    return dispatch(parser, parser.isSet(helpOption));
}
