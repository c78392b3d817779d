// The cost of the loan history on the return desk's Save: at 1,000,
// 100,000 and 1,000,000 loans with three history rows a loan
// (TALLYMERE_BENCH_SIZES chooses other sizes), on the SQLite files and, when
// PostgreSQL 15 is installed, on a throwaway server cluster. A Save is what
// the return desk stores once the loan is found by its accession number: edited,
// five fields written through the record source, durable on both engines as
// on the desk (the throwaway cluster flushes to disk while measuring).
// Each figure is the median of many Saves with the history's triggers,
// beside as many Saves with the loans' triggers dropped, taken in turns in
// the same run on the same store; the goal is within 1.2x.
#include "bench/benchsupport.h"
#include "store/engine/database.h"
#include "store/engine/schema.h"
#include "store/engine/storeerror.h"
#include "store/records/rowsource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int Saves = 200;
// The Saves with and without the triggers taken in turns, a block at a
// time, so that a machine busy with something else weighs on both alike.
constexpr int Blocks = 10;
constexpr double Goal = 1.2;

struct Result {
    const char *engine;
    int count;
    Bench::Summary with;
    Bench::Summary without;
};

StoreError run(const StoreLocation &stores, const QStringList &statements)
{
    Database::Connection desk(stores, Schema::File::Tallymere);
    if (!desk.open())
        return desk.lastError();
    QSqlQuery q(desk.database());
    for (const QString &statement : statements)
        if (!q.exec(statement))
            return q.lastError();
    return {};
}

// Brings the history up to three rows a loan (the loans' own "added" rows
// are there already), as changes to loans spread over the table.
StoreError fillHistory(const StoreLocation &stores, int count)
{
    const QString rows = stores.isServer()
                             ? QStringLiteral("SELECT n FROM generate_series(1, %1) AS n").arg(2 * count)
                             : QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < %1)"
                                              " SELECT n FROM s")
                                   .arg(2 * count);
    return run(stores, {QStringLiteral("INSERT INTO \"tallymere_history\" (\"at\", \"desk\", \"table_name\", \"row_id\","
                                       " \"accession\", \"kind\", \"before\", \"after\") SELECT '2026-01-01 08:00:00.000',"
                                       " 'bench', 'tblBorrower', n % %1 + 1, 'A-' || (n % %1 + 1), 'changed',"
                                       " '{\"Remarks\":null}', '{\"Remarks\":\"Returned\"}' FROM (%2) AS s")
                            .arg(count)
                            .arg(rows)});
}

QStringList dropLoanTriggers(bool server)
{
    if (server)
        return {QStringLiteral("DROP TRIGGER \"tblBorrower_history\" ON \"tblBorrower\"")};
    return {QStringLiteral("DROP TRIGGER \"tblBorrower_history_insert\""),
            QStringLiteral("DROP TRIGGER \"tblBorrower_history_update\""),
            QStringLiteral("DROP TRIGGER \"tblBorrower_history_delete\"")};
}

// Adds the milliseconds of each of `n` Saves of loans picked at random to `times`.
bool saves(const StoreLocation &stores, int count, int n, QRandomGenerator &random, QList<double> &times)
{
    RowSource loans(stores, Schema::borrower().name);
    if (!loans.open())
        return false;
    for (int i = 0; i < n; ++i) {
        const QString accession = QStringLiteral("A-%1").arg(random.bounded(count) + 1, 7, 10, QLatin1Char('0'));
        // The Find before it is not part of the Save.
        if (!loans.findFirst(QStringLiteral("[AccessionNumber]like'%1'").arg(accession)) || loans.noMatch())
            return false;
        QElapsedTimer clock;
        clock.start();
        if (!loans.edit())
            return false;
        loans.setValue(QStringLiteral("Remarks"), QStringLiteral("Returned"));
        loans.setValue(QStringLiteral("DateReturned"), QStringLiteral("2026-12-07"));
        loans.setValue(QStringLiteral("Condition"), QStringLiteral("Good"));
        loans.setValue(QStringLiteral("DaysBorrowed"), QString::number(i % 30));
        loans.setValue(QStringLiteral("fines"), QStringLiteral("0.00"));
        if (!loans.update()) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(loans.lastError().text()));
            return false;
        }
        times << clock.nsecsElapsed() / 1e6;
    }
    return true;
}

// The throwaway cluster skips the disk's flushes to fill the stores
// quickly; a desk's server makes every Save durable, as the files do.
StoreError durableServer(const StoreLocation &server)
{
    return run(server, {QStringLiteral("ALTER SYSTEM SET fsync = on"),
                        QStringLiteral("ALTER SYSTEM SET synchronous_commit = on"),
                        QStringLiteral("SELECT pg_reload_conf()")});
}

bool measure(const StoreLocation &stores, const char *engine, int count, QList<Result> &results)
{
    if (stores.isServer())
        if (const StoreError e = durableServer(stores); e.isValid()) {
            std::fprintf(stderr, "the server cannot be made durable: %s\n", qPrintable(e.text()));
            return false;
        }
    if (const StoreError e = fillHistory(stores, count); e.isValid()) {
        std::fprintf(stderr, "filling the history failed: %s\n", qPrintable(e.text()));
        return false;
    }
    QList<double> with, without;
    QRandomGenerator random(29);
    for (int block = 0; block < Blocks; ++block) {
        if (!saves(stores, count, Saves / Blocks, random, with) || run(stores, dropLoanTriggers(stores.isServer())).isValid()
            || !saves(stores, count, Saves / Blocks, random, without) || Database::repairHistory(stores, nullptr).isValid())
            return false;
    }
    results << Result{engine, count, Bench::summarize(with), Bench::summarize(without)};
    return true;
}

bool measureSize(int count, Bench::ServerCluster *cluster, QList<Result> &results)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("files"));
    if (!Bench::timedFill(Bench::fillLoans, folder, count, "loans"))
        return false;
    if (cluster) {
        const QString name = QStringLiteral("history_%1").arg(count);
        StoreError error;
        const QString connection = cluster->freshDatabase(name, &error);
        const bool ok = !connection.isEmpty() && Bench::timedCopy(folder, connection, Schema::borrower(), count)
                        && measure(StoreLocation::server(connection), "server", count, results);
        cluster->dropDatabase(name);
        if (!ok)
            return false;
    }
    return measure(StoreLocation::files(folder), "SQLite", count, results);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tallymere"));
    QString skipped;
    const std::unique_ptr<Bench::ServerCluster> cluster = Bench::ServerCluster::start(&skipped);
    QList<Result> results;
    for (const int count : Bench::sizes({1000, 100000, 1000000}))
        if (!measureSize(count, cluster.get(), results)) {
            std::fprintf(stderr, "the benchmark failed at %d loans\n", count);
            return 1;
        }
    std::printf("Return desk Save with the loan history (3 history rows a loan), median of %d Saves in ms,\n"
                "best in brackets, beside the same Saves without the loans' history triggers; goal within %.1fx\n",
                Saves, Goal);
    if (!cluster)
        std::printf("Server figures skipped: %s\n", qPrintable(skipped));
    std::printf("%8s %12s %16s %16s %8s\n", "engine", "loans", "with history", "without", "ratio");
    for (const Result &r : results)
        std::printf("%8s %12s %9.2f (%.2f) %9.2f (%.2f) %8s%s\n", r.engine, qPrintable(Bench::grouped(r.count)),
                    r.with.median, r.with.best, r.without.median, r.without.best,
                    qPrintable(Bench::ratio(r.with.median, r.without.median)),
                    r.with.median > Goal * r.without.median ? "  over the goal" : "");
    return 0;
}
