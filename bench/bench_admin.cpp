// tallymere-admin's import-books and export-books on a catalogue of
// 100,000 synthetic books (TALLYMERE_BENCH_SIZES chooses other counts),
// each run as a librarian runs it (a whole process), beside the sqlite3
// shell doing the same work in the same run: `.import --csv` of the same
// file into a scratch table, moved into a store of the same schema by one
// INSERT ... SELECT (the table's hidden columns take their defaults there,
// and the search index's triggers fire for both), and `-csv -header
// SELECT` of the fifteen fields of the same table. Figures are rows per second; the goal is at least half
// the shell's speed.
#include "bench/benchsupport.h"
#include "store/engine/csv.h"
#include "store/engine/database.h"
#include "store/engine/schema.h"
#include "store/engine/sql.h"
#include "store/engine/storeerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

constexpr int Runs = 3;
constexpr double Goal = 0.5;

// A catalogue of `count` books with every field filled, some values quoted.
bool writeCatalogue(const QString &path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk = Csv::line(Schema::books().fields).toUtf8();
    for (int i = 1; i <= count; ++i) {
        const QString n = QString::number(i);
        chunk += Csv::line({QStringLiteral("B-%1").arg(i, 7, 10, QLatin1Char('0')), QStringLiteral("QA76.%1 .K64").arg(i % 997),
                            QStringLiteral("2006-03-14"), QStringLiteral("978-0-201-%1").arg(i % 99991),
                            QStringLiteral("Reserve section"), QString::number(1950 + i % 70),
                            QStringLiteral("Addison-Wesley, Inc."), QStringLiteral("4,890.00"),
                            QStringLiteral("Library Fund"), QString::number(100 + i % 900), QStringLiteral("1 of 4"),
                            QStringLiteral("3rd"),
                            QStringLiteral("The \"Art\" of Computer Programming, Volume ") + n,
                            QStringLiteral("Donald E. Knuth ") + n, QStringLiteral("89.99")})
                     .toUtf8();
        if (chunk.size() > (1 << 20)) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size();
}

// A freshly installed data folder.
QString freshFolder(const QTemporaryDir &dir, const QString &name)
{
    const QString folder = dir.filePath(name);
    const StoreError error = Database::install(folder);
    if (error.isValid()) {
        std::fprintf(stderr, "cannot install %s: %s\n", qPrintable(folder), qPrintable(error.text()));
        return {};
    }
    return folder;
}

int count(const QString &path)
{
    int n = -1;
    {
        Database::Connection connection(path);
        if (connection.open()) {
            QSqlQuery q(connection.database());
            if (q.exec(QStringLiteral("SELECT count(*) FROM books")) && q.next())
                n = q.value(0).toInt();
        }
    }
    return n;
}

void printRow(const char *work, int books, const QList<double> &ours, const QList<double> &floor)
{
    const double mine = books / Bench::summarize(ours).median;
    const double shell = floor.isEmpty() ? 0 : books / Bench::summarize(floor).median;
    std::printf("%-14s %14s %18s %8s%s\n", work, qPrintable(Bench::grouped(int(mine))),
                shell > 0 ? qPrintable(Bench::grouped(int(shell))) : "-", qPrintable(Bench::ratio(mine, shell)),
                shell > 0 && mine / shell < Goal ? "  under the goal" : "");
}

// The catalogue's fifteen fields, quoted, in the order of the file.
QString fieldList()
{
    QStringList quoted;
    for (const QString &field : Schema::books().fields)
        quoted << Schema::quoted(field);
    return quoted.join(QStringLiteral(", "));
}

// The sqlite3 shell's script that imports `csv` into the catalogue: the
// shell's .import cannot leave out the table's hidden columns, so it fills
// a scratch table of the fifteen fields, moved into books at once.
QString shellImportScript(const QString &csv)
{
    const QString fields = fieldList();
    QString scratch;
    for (const QString &field : Schema::books().fields)
        scratch += (scratch.isEmpty() ? QString() : QStringLiteral(", ")) + Schema::quoted(field) + QStringLiteral(" TEXT");
    return QStringLiteral("CREATE TEMP TABLE incoming(%1);\n"
                          ".import --csv --skip 1 '%2' incoming\n"
                          "INSERT INTO books(%3) SELECT %3 FROM temp.incoming;\n")
        .arg(scratch, QString(csv).replace(QLatin1Char('\''), QStringLiteral("''")), fields);
}

struct Timings {
    QList<double> importOurs, importShell, exportOurs, exportShell;
};

// One run of the sqlite3 shell's import and export into the store of `shell`.
bool runShell(const QString &sqlite3, const QTemporaryDir &dir, const QString &shell, int run, int expected,
              const QString &csv, Timings &t)
{
    const QString store = QDir(shell).filePath(Schema::fileName(Schema::File::Transactions));
    const QString script = dir.filePath(QStringLiteral("import.sql"));
    QFile commands(script);
    if (!commands.open(QIODevice::WriteOnly) || commands.write(shellImportScript(csv).toUtf8()) < 0)
        return false;
    commands.close();
    const auto imported = Bench::timedProcess(sqlite3, {QStringLiteral("-bail"), store}, script);
    if (!imported || count(store) != expected) {
        std::fprintf(stderr, "the sqlite3 shell's import left %d books, not %d\n", count(store), expected);
        return false;
    }
    t.importShell << *imported;
    const auto wrote = Bench::timedProcess(sqlite3, {QStringLiteral("-csv"), QStringLiteral("-header"), store,
                                       Sql::selectAll(Schema::books().name, Schema::books().fields)},
                             QString(), dir.filePath(QStringLiteral("shell-%1.csv").arg(run)));
    if (!wrote)
        return false;
    t.exportShell << *wrote;
    return true;
}

// One run of tallymere-admin's import and export into the store of `ours`.
bool runOurs(const QTemporaryDir &dir, const QString &ours, int run, int expected, const QString &csv, Timings &t)
{
    const QString admin = QStringLiteral(ADMIN_PROGRAM);
    const QString store = QDir(ours).filePath(Schema::fileName(Schema::File::Transactions));
    const auto imported = Bench::timedProcess(admin, {QStringLiteral("--data"), ours, QStringLiteral("import-books"), csv});
    if (!imported || count(store) != expected) {
        std::fprintf(stderr, "import-books left %d books, not %d\n", count(store), expected);
        return false;
    }
    t.importOurs << *imported;
    const QString exported = dir.filePath(QStringLiteral("ours-%1.csv").arg(run));
    const auto wrote = Bench::timedProcess(admin, {QStringLiteral("--data"), ours, QStringLiteral("export-books"), exported});
    if (!wrote)
        return false;
    t.exportOurs << *wrote;
    return true;
}

bool measure(int books, const QString &sqlite3)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("catalogue.csv"));
    if (!dir.isValid() || !writeCatalogue(csv, books)) {
        std::fprintf(stderr, "cannot write the synthetic catalogue\n");
        return false;
    }
    Timings t;
    for (int run = 0; run < Runs; ++run) {
        const QString ours = freshFolder(dir, QStringLiteral("ours-%1").arg(run));
        const QString shell = freshFolder(dir, QStringLiteral("shell-%1").arg(run));
        if (ours.isEmpty() || shell.isEmpty())
            return false;
        const int expected = count(QDir(ours).filePath(Schema::fileName(Schema::File::Transactions))) + books;
        if (!runOurs(dir, ours, run, expected, csv, t))
            return false;
        if (!sqlite3.isEmpty() && !runShell(sqlite3, dir, shell, run, expected, csv, t))
            return false;
    }
    std::printf("tallymere-admin on %s books beside the sqlite3 shell on the same file and schema\n"
                "(rows per second, median of %d runs, each a whole process; goal at least %.1fx)\n\n",
                qPrintable(Bench::grouped(books)), Runs, Goal);
    std::printf("%-14s %14s %18s %8s\n", "", "tallymere-admin", "sqlite3 shell", "ratio");
    printRow("import-books", books, t.importOurs, t.importShell);
    printRow("export-books", books, t.exportOurs, t.exportShell);
    std::printf("\n");
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite3.isEmpty())
        std::fprintf(stderr, "no sqlite3 shell found: the figures are printed without their floor\n");
    for (const int books : Bench::sizes({100000}))
        if (!measure(books, sqlite3))
            return 1;
    return 0;
}
