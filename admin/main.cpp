// tallymere-admin: installation work on the desk's stores from the command
// line: moving an old desk's files or a spreadsheet in, exporting, backing
// up, restoring and checking. It links the store alone, no widgets.
#include "admin/mdbsource.h"
#include "store/backup.h"
#include "store/clock.h"
#include "store/dailybackup.h"
#include "store/database.h"
#include "store/desklock.h"
#include "store/location.h"
#include "store/transfer.h"
#include "tallymere/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
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
    // export-loans --out: only the loans still out, borrowed at least
    // `days` days ago.
    bool out = false;
    int days = 0;
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

// An export of the desk's stores into the file the command names, with
// its progress on standard error; `done` says what was written.
int exportRows(const Context &c,
               const std::function<Transfer::Outcome(const StoreLocation &, const Transfer::Progress &)> &write,
               const std::function<QString(qint64 rows)> &done)
{
    QString error;
    StoreLocation stores;
    std::optional<DeskLock> lock;
    if (!needsFolder(c, &error) || !locate(c, &stores, &error) || !present(c, lock, &error))
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

int exportLoans(const Context &c)
{
    if (!c.out)
        return exportTable(c, Schema::borrower());
    const QString file = c.arguments.at(0);
    return exportRows(
        c,
        [&](const StoreLocation &stores, const Transfer::Progress &progress) {
            return Transfer::exportLoansOut(stores, file, c.days, Clock::today(), progress);
        },
        [&](qint64 rows) { return QStringLiteral("Exported %1 loans still out into %2.").arg(rows).arg(native(file)); });
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
    return incomplete ? 1 : 0;
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
    const QSqlError failure = Database::repairSearch(stores, &done);
    progress.finish();
    if (failure.isValid())
        return fail(Database::sentence(failure));
    print(stdout, QStringLiteral("Repaired the catalogue %1: %2.").arg(stores.name(Schema::File::Transactions), done));
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

struct Command {
    QString name;
    QStringList arguments;
    bool replace;
    QString summary;
    std::function<int(const Context &)> run;
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
         QStringLiteral("writes the loans to a CSV file (--out [--days N]: only those not yet returned, "
                        "borrowed at least N days ago, oldest first, with the days each has been out)"),
         exportLoans},
        {QStringLiteral("backup"), {QStringLiteral("DIR")}, false,
         QStringLiteral("copies both stores into a new folder in DIR, even while the desk runs"), backup},
        {QStringLiteral("restore"), {QStringLiteral("DIR|NAME")}, false,
         QStringLiteral("puts the backup in DIR (or the one listed by backups as NAME) back, while no desk program "
                        "runs"),
         restore},
        {QStringLiteral("backups"), {}, false,
         QStringLiteral("lists the desk's backups, the daily ones too: time, size, loans and books"), backups},
        {QStringLiteral("backup-folder"), {QStringLiteral("DIR")}, false,
         QStringLiteral("makes the desk's daily backups in DIR (a stick, a share) instead of backups/ in its data "
                        "folder"),
         backupFolder},
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

// The options of export-loans alone: --out, and --days N with it.
struct LoansOutOptions {
    QCommandLineOption out{QStringLiteral("out"), QStringLiteral("export-loans: only the loans not yet returned.")};
    QCommandLineOption days{QStringLiteral("days"),
                            QStringLiteral("export-loans --out: only those borrowed at least N days ago (0 unless given)."),
                            QStringLiteral("N")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOption(out);
        parser.addOption(days);
    }

    // Puts them into `context`; false, with `*error`, when they are given
    // where they mean nothing or N is no number of days.
    bool read(const QCommandLineParser &parser, const QString &command, Context &context, QString *error) const
    {
        const bool anyGiven = parser.isSet(out) || parser.isSet(days);
        if (anyGiven && command != QLatin1String("export-loans")) {
            *error = QStringLiteral("%1 does not take --out or --days.").arg(command);
            return false;
        }
        if (parser.isSet(days) && !parser.isSet(out)) {
            *error = QStringLiteral("--days goes with --out.");
            return false;
        }
        context.out = parser.isSet(out);
        if (!parser.isSet(days))
            return true;
        bool number = false;
        context.days = parser.value(days).toInt(&number);
        if (number && context.days >= 0)
            return true;
        *error = QStringLiteral("--days takes a whole number of days, 0 or more, not \"%1\".").arg(parser.value(days));
        return false;
    }
};

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
    const LoansOutOptions loansOut;
    loansOut.addTo(parser);
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
    if (positional.size() != command->arguments.size())
        return fail(QStringLiteral("%1 takes %2.")
                        .arg(command->name,
                             command->arguments.isEmpty() ? QStringLiteral("no arguments")
                                                          : command->arguments.join(QLatin1Char(' '))));
    if (parser.isSet(replaceOption) && !command->replace)
        return fail(QStringLiteral("%1 does not take --replace.").arg(command->name));

    Context context;
    context.arguments = positional;
    context.replace = parser.isSet(replaceOption);
    if (QString error; !loansOut.read(parser, command->name, context, &error))
        return fail(error);
    context.data = parser.isSet(dataOption) ? QDir(parser.value(dataOption)).absolutePath()
                                            : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (context.data.isEmpty())
        return fail(QStringLiteral("There is no data folder for this user; give one with --data."));
    return command->run(context);
}
