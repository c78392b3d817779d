// tallymere-admin: installation work on the desk's stores from the command
// line: moving an old desk's files or a spreadsheet in, exporting, backing
// up, restoring and checking. It links the store alone, no widgets.
#include "admin/mdbsource.h"
#include "store/backup.h"
#include "store/database.h"
#include "store/csv.h"
#include "store/desklock.h"
#include "store/history.h"
#include "store/location.h"
#include "store/transfer.h"
#include "tallymere/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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
    return 1;
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

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

struct Context {
    QString data;
    QStringList arguments;
    bool replace = false;
    // The command's own options given (see Command::options), by name; a
    // switch has an empty value.
    QHash<QString, QString> options;
};

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

// How messages name the stores as a whole.
QString storesName(const StoreLocation &stores)
{
    return stores.isServer() ? QStringLiteral("the stores on the server %1").arg(stores.name(Schema::File::Tallymere))
                             : QStringLiteral("the stores in %1").arg(native(stores.folder()));
}

// Every command marks its presence as a desk program does, so that no
// restore swaps the stores under it (the imports do so themselves).
bool present(const Context &c, std::optional<DeskLock> &lock, QString *error)
{
    lock.emplace(c.data, DeskLock::Kind::Shared);
    if (lock->isHeld())
        return true;
    *error = lock->errorText();
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
    return report(outcome, QStringLiteral("Imported %1 rows into %2.").arg(outcome.rows).arg(storesName(stores)));
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

int exportTable(const Context &c, const Schema::Table &table)
{
    QString error;
    StoreLocation stores;
    std::optional<DeskLock> lock;
    if (!needsFolder(c, &error) || !locate(c, &stores, &error) || !present(c, lock, &error))
        return fail(error);
    ProgressLine progress;
    const Transfer::Outcome outcome = Transfer::exportTable(
        stores, table, c.arguments.at(0),
        [&](const QString &what, qint64 rows, double part) { progress.report(what, rows, part); });
    progress.finish();
    return report(outcome,
                  QStringLiteral("Exported %1 rows of %2 into %3.").arg(outcome.rows).arg(table.name, native(c.arguments.at(0))));
}

int backup(const Context &c)
{
    QString error;
    StoreLocation stores;
    std::optional<DeskLock> lock;
    if (!needsFolder(c, &error) || !locate(c, &stores, &error) || !present(c, lock, &error))
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
    const QSqlError failure = Backup::backup(c.data, c.arguments.at(0), &made,
                                             [&](qint64 done, qint64 total) { progress.reportPages(done, total); });
    progress.finish();
    if (failure.isValid())
        return fail(Database::sentence(failure));
    print(stdout, QStringLiteral("Backed up the stores into %1.").arg(native(made)));
    return 0;
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

int restore(const Context &c)
{
    QString error;
    StoreLocation stores;
    if (!locate(c, &stores, &error))
        return fail(error);
    if (stores.isServer())
        return restoreServer(c, stores);
    QStringList kept;
    const QSqlError failure = Backup::restore(c.data, c.arguments.at(0), &kept);
    if (failure.isValid())
        return fail(Database::sentence(failure));
    QStringList shown;
    for (const QString &path : kept)
        shown << native(path);
    print(stdout, QStringLiteral("Restored the stores in %1 from %2.").arg(native(c.data), native(c.arguments.at(0))));
    if (!shown.isEmpty())
        print(stdout, QStringLiteral("The stores it replaced are kept as %1.").arg(shown.join(QStringLiteral(", "))));
    return 0;
}

// Whether the loan history's triggers are all there, said in one line.
bool checkHistory(const StoreLocation &stores)
{
    QSqlError error;
    const bool incomplete = Database::historyIsIncomplete(stores, &error);
    const bool ok = !incomplete && !error.isValid();
    print(stdout, QStringLiteral("%1: loan history %2")
                      .arg(Schema::fileName(Schema::File::Tallymere),
                           error.isValid() ? QStringLiteral("not checked: ") + Database::sentence(error)
                           : incomplete    ? QStringLiteral("triggers incomplete (run repair)")
                                           : QStringLiteral("ok")));
    return ok;
}

int checkServer(const StoreLocation &stores)
{
    // The server keeps its own pages whole; what can be out of order here is
    // the store's shape: its version and its search indexes.
    const QSqlError failure = Database::install(stores);
    if (failure.isValid())
        return fail(Database::sentence(failure));
    QSqlError error;
    const bool incomplete = Database::searchIsIncomplete(stores, &error);
    if (error.isValid())
        return fail(Database::sentence(error));
    for (Schema::File file : {Schema::File::Transactions, Schema::File::Tallymere}) {
        const bool ok = !(file == Schema::File::Transactions && incomplete);
        print(stdout, QStringLiteral("%1 on %2: %3; schema version %4, this program's %4")
                          .arg(Schema::fileName(file), stores.name(file),
                               ok ? QStringLiteral("ok") : QStringLiteral("search index incomplete (run repair)"))
                          .arg(Schema::currentVersion(file)));
    }
    return checkHistory(stores) && !incomplete ? 0 : 1;
}

int check(const Context &c)
{
    QString error;
    std::optional<DeskLock> lock;
    if (!needsFolder(c, &error) || !present(c, lock, &error))
        return fail(error);
    StoreLocation stores;
    if (!locate(c, &stores, &error))
        return fail(error);
    if (stores.isServer())
        return checkServer(stores);
    bool healthy = true;
    for (const Backup::Finding &finding : Backup::check(c.data)) {
        print(stdout, QStringLiteral("%1: %2").arg(Schema::fileName(finding.file), finding.text));
        healthy = healthy && finding.ok;
    }
    return checkHistory(stores) && healthy ? 0 : 1;
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
    const QSqlError failure = Database::repairSearch(stores, &done);
    progress.finish();
    if (failure.isValid())
        return fail(Database::sentence(failure));
    print(stdout, QStringLiteral("Repaired the catalogue %1: %2.").arg(stores.name(Schema::File::Transactions), done));
    if (const QSqlError e = Database::repairHistory(stores, &done); e.isValid())
        return fail(Database::sentence(e));
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
    if (const QSqlError failure = Database::install(stores); failure.isValid())
        return fail(Database::sentence(failure));
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
    if (!present(c, lock, &error))
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
    const QSqlError error = LoanHistory::list(stores, filter, [&](const LoanHistory::Change &change) {
        ++rows;
        return file.write(Csv::line(historyFields(change)).toUtf8()) >= 0;
    });
    if (error.isValid())
        return fail(Database::sentence(error));
    if (!file.commit())
        return fail(QStringLiteral("Cannot write %1: %2").arg(native(path), file.errorString()));
    print(stdout, QStringLiteral("Wrote %1 changes into %2.").arg(rows).arg(native(path)));
    return 0;
}

// Removes the changes made before a day, after a backup of both stores.
int pruneHistory(const Context &c, const StoreLocation &stores)
{
    QString error;
    QDateTime before;
    if (!dayStart(QStringLiteral("prune-before"), c.options.value(QStringLiteral("prune-before")), &before, &error))
        return fail(error);
    QString made;
    if (stores.isServer()) {
        const Transfer::Outcome outcome = Transfer::backUpServer(stores, Transfer::backupParent(c.data));
        if (!outcome.ok())
            return fail(QStringLiteral("Nothing was removed, since no backup could be made first: %1").arg(outcome.error));
        made = outcome.backup;
    } else if (const QSqlError e = Backup::backup(c.data, Transfer::backupParent(c.data), &made); e.isValid()) {
        return fail(QStringLiteral("Nothing was removed, since no backup could be made first: %1")
                        .arg(Database::sentence(e)));
    }
    print(stdout, QStringLiteral("The stores were first backed up into %1.").arg(native(made)));
    qint64 removed = 0;
    if (const QSqlError e = LoanHistory::prune(stores, before, &removed); e.isValid())
        return fail(Database::sentence(e));
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
    if (!needsFolder(c, error) || !locate(c, stores, error) || !present(c, lock, error))
        return false;
    if (const QSqlError e = Database::install(*stores); e.isValid()) {
        *error = Database::sentence(e);
        return false;
    }
    return true;
}

int history(const Context &c)
{
    QString error;
    StoreLocation stores;
    std::optional<DeskLock> lock;
    if (!historyStores(c, &stores, lock, &error))
        return fail(error);
    if (c.options.contains(QStringLiteral("prune-before")))
        return pruneHistory(c, stores);
    LoanHistory::Filter filter;
    filter.accession = c.arguments.value(0);
    filter.deletedOnly = c.options.contains(QStringLiteral("deleted"));
    if (c.options.contains(QStringLiteral("since"))
        && !dayStart(QStringLiteral("since"), c.options.value(QStringLiteral("since")), &filter.since, &error))
        return fail(error);
    if (c.options.contains(QStringLiteral("csv")))
        return historyCsv(stores, filter, c.options.value(QStringLiteral("csv")));
    const QSqlError failure = LoanHistory::list(stores, filter, [](const LoanHistory::Change &change) {
        print(stdout, historyLine(change));
        return true;
    });
    return failure.isValid() ? fail(Database::sentence(failure)) : 0;
}

int undelete(const Context &c)
{
    QString error;
    StoreLocation stores;
    std::optional<DeskLock> lock;
    if (!historyStores(c, &stores, lock, &error))
        return fail(error);
    qint64 id = 0;
    if (c.options.contains(QStringLiteral("id"))) {
        bool number = false;
        id = c.options.value(QStringLiteral("id")).toLongLong(&number);
        if (!number || id <= 0)
            return fail(QStringLiteral("--id takes the number of a change the history lists, not \"%1\".")
                            .arg(c.options.value(QStringLiteral("id"))));
    }
    const QString accession = c.arguments.at(0);
    LoanHistory::Undeleted done;
    if (const QSqlError e = LoanHistory::undelete(stores, accession, id, &done); e.isValid()) {
        for (const LoanHistory::Change &candidate : done.candidates)
            print(stdout, QStringLiteral("--id %1: %2").arg(candidate.id).arg(historyLine(candidate)));
        return fail(Database::sentence(e));
    }
    print(stdout, QStringLiteral("Brought back the loan of accession number %1 (loan %2); "
                                 "the desks show it at their next reload.")
                      .arg(accession)
                      .arg(done.rowId));
    return 0;
}

struct Command {
    QString name;
    QStringList arguments;
    bool replace;
    QString summary;
    std::function<int(const Context &)> run;
    // The options of this command alone (see commandOptions()).
    QStringList options = {};
};

const QList<Command> &commands()
{
    static const QList<Command> list{
        {QStringLiteral("import-mdb"), {QStringLiteral("TRANSACTIONS.mdb"), QStringLiteral("TALLYMERE.mdb")}, true,
         QStringLiteral("the catalogue, loans and accounts of an old desk's Jet files"), importMdb},
        {QStringLiteral("import-books"), {QStringLiteral("FILE.csv")}, true,
         QStringLiteral("adds the books of a CSV file to the catalogue (--replace: instead of it)"), importBooks},
        {QStringLiteral("export-books"), {QStringLiteral("FILE.csv")}, false,
         QStringLiteral("writes the catalogue to a CSV file"),
         [](const Context &c) { return exportTable(c, Schema::books()); }},
        {QStringLiteral("export-loans"), {QStringLiteral("FILE.csv")}, false,
         QStringLiteral("writes the loans to a CSV file"),
         [](const Context &c) { return exportTable(c, Schema::borrower()); }},
        {QStringLiteral("backup"), {QStringLiteral("DIR")}, false,
         QStringLiteral("copies both stores into a new folder in DIR, even while the desk runs"), backup},
        {QStringLiteral("restore"), {QStringLiteral("DIR")}, false,
         QStringLiteral("puts the backup in DIR back, while no desk program runs"), restore},
        {QStringLiteral("check"), {}, false,
         QStringLiteral("checks each store and shows its schema version"), check},
        {QStringLiteral("repair"), {}, false,
         QStringLiteral("makes the catalogue's search index anew, while no desk program runs"), repair},
        {QStringLiteral("use-server"), {QStringLiteral("ADDRESS")}, false,
         QStringLiteral("keeps this desk's stores on a PostgreSQL server (postgresql://user@host/db or service=NAME)"),
         useServer},
        {QStringLiteral("move-to-server"), {QStringLiteral("ADDRESS")}, true,
         QStringLiteral("copies this desk's stores into a PostgreSQL server and keeps them there"), moveToServer},
        {QStringLiteral("use-local"), {}, false, QStringLiteral("keeps this desk's stores in its own files again"),
         useLocal},
        {QStringLiteral("history"), {QStringLiteral("[ACCESSION]")}, false,
         QStringLiteral("lists the changes to the loans (of one accession number), newest first "
                        "[--since DATE] [--deleted] [--csv FILE]; --prune-before DATE removes older ones "
                        "after a backup"),
         history,
         {QStringLiteral("since"), QStringLiteral("deleted"), QStringLiteral("csv"), QStringLiteral("prune-before")}},
        {QStringLiteral("undelete"), {QStringLiteral("ACCESSION")}, false,
         QStringLiteral("brings a deleted loan back from the history [--id N where several match]"), undelete,
         {QStringLiteral("id")}},
    };
    return list;
}

QString description()
{
    QString text = QStringLiteral("Installs and moves the stores of Tallymere, the library lending desk.\n"
                                  "Works on the desk's own data folder unless given --data.\n\nCommands:\n");
    for (const Command &command : commands()) {
        const QString usage = (QStringList{command.name} + command.arguments).join(QLatin1Char(' '))
                              + (command.replace ? QStringLiteral(" [--replace]") : QString());
        text += QStringLiteral("  %1\n      %2\n").arg(usage, command.summary);
    }
    return text;
}

// The options only some commands take.
QList<QCommandLineOption> commandOptions()
{
    return {{QStringLiteral("since"), QStringLiteral("history: only the changes made on or after DATE."),
             QStringLiteral("DATE")},
            {QStringLiteral("deleted"), QStringLiteral("history: only the deleted loans.")},
            {QStringLiteral("csv"), QStringLiteral("history: writes the changes into a CSV file instead."),
             QStringLiteral("FILE")},
            {QStringLiteral("prune-before"),
             QStringLiteral("history: removes the changes made before DATE, after a backup."), QStringLiteral("DATE")},
            {QStringLiteral("id"), QStringLiteral("undelete: the change (as history lists it) that deleted the loan."),
             QStringLiteral("N")}};
}

// The command's options given, by name; empty, with `*error`, when one
// given is not the command's.
bool takeOptions(const QCommandLineParser &parser, const Command &command, QHash<QString, QString> *given,
                 QString *error)
{
    for (const QCommandLineOption &option : commandOptions()) {
        const QString name = option.names().first();
        if (!parser.isSet(name))
            continue;
        if (!command.options.contains(name)) {
            *error = QStringLiteral("%1 does not take --%2.").arg(command.name, name);
            return false;
        }
        given->insert(name, option.valueName().isEmpty() ? QString() : parser.value(name));
    }
    return true;
}

// How many of the command's arguments must be given (the rest are shown
// in brackets).
qsizetype requiredArguments(const Command &command)
{
    qsizetype n = 0;
    for (const QString &argument : command.arguments)
        n += argument.startsWith(QLatin1Char('[')) ? 0 : 1;
    return n;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The same per-user folder as the desk program's.
    QCoreApplication::setApplicationName(QStringLiteral("Tallymere"));
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLYMERE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dataOption(QStringLiteral("data"),
                                        QStringLiteral("Work on the stores in DIR instead of the desk's own."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption replaceOption(QStringLiteral("replace"),
                                          QStringLiteral("Replace what the stores hold (after a backup)."));
    parser.addOption(dataOption);
    parser.addOption(replaceOption);
    for (const QCommandLineOption &option : commandOptions())
        parser.addOption(option);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do (see Commands)."),
                                 QStringLiteral("command [arguments]"));
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return fail(QStringLiteral("No command given; see %1 --help.").arg(Program));
    const QString name = positional.takeFirst();
    const Command *command = nullptr;
    for (const Command &candidate : commands())
        if (candidate.name == name)
            command = &candidate;
    if (!command)
        return fail(QStringLiteral("Unknown command \"%1\"; see %2 --help.").arg(name, Program));
    if (positional.size() < requiredArguments(*command) || positional.size() > command->arguments.size())
        return fail(QStringLiteral("%1 takes %2.")
                        .arg(command->name,
                             command->arguments.isEmpty() ? QStringLiteral("no arguments")
                                                          : command->arguments.join(QLatin1Char(' '))));
    if (parser.isSet(replaceOption) && !command->replace)
        return fail(QStringLiteral("%1 does not take --replace.").arg(command->name));

    Context context;
    QString optionError;
    if (!takeOptions(parser, *command, &context.options, &optionError))
        return fail(optionError);
    context.arguments = positional;
    context.replace = parser.isSet(replaceOption);
    context.data = parser.isSet(dataOption) ? QDir(parser.value(dataOption)).absolutePath()
                                            : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (context.data.isEmpty())
        return fail(QStringLiteral("There is no data folder for this user; give one with --data."));
    return command->run(context);
}
