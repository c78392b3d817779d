// The seconds from a save on a server whose backend has stopped (SIGSTOP,
// as a network that drops without closing the connection leaves it) to
// the failure the desk's box shows, beside a save the server answers, on a
// throwaway cluster of the bench's own. The desk promises its box within
// ten seconds.
#include "bench/benchsupport.h"
#include "store/engine/serverlink.h"
#include "store/engine/storeerror.h"
#include "store/records/rowsource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <csignal>
#include <cstdio>

namespace {

constexpr int Runs = 3;
constexpr double Promise = 10.0;

// The server processes of the desk's connections (named Tallymere@host).
QList<qint64> deskBackends(const QString &options)
{
    QList<qint64> pids;
    const QString name = QStringLiteral("bench-observer");
    {
        const ServerOptions o = parseServerOptions(options);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(o.host);
        db.setPort(o.port);
        db.setUserName(o.user);
        db.setDatabaseName(o.database);
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE application_name LIKE 'Tallymere@%'")))
            while (q.next())
                pids << q.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(name);
    return pids;
}

// One loan saved; the seconds it took, or nothing when it was saved
// although `stopped` (or failed although not).
std::optional<double> timedSave(const QString &options, int n, bool stopped)
{
    RowSource loans(StoreLocation::server(options), QStringLiteral("tblBorrower"));
    if (!loans.open() || !loans.addNew())
        return std::nullopt;
    loans.setValue(QStringLiteral("AccessionNumber"), QStringLiteral("STALL-%1").arg(n));
    const QList<qint64> pids = stopped ? deskBackends(options) : QList<qint64>();
    for (qint64 pid : pids)
        ::kill(pid_t(pid), SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    const bool saved = loans.update();
    const double seconds = clock.nsecsElapsed() / 1e9;
    // Always let the backends go on, so that the cluster can be stopped.
    for (qint64 pid : pids)
        ::kill(pid_t(pid), SIGCONT);
    if (saved == stopped || (stopped && pids.isEmpty()))
        return std::nullopt;
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString why;
    std::unique_ptr<Bench::ServerCluster> cluster = Bench::ServerCluster::start(&why);
    if (!cluster) {
        std::printf("bench_stall: skipped, %s\n", qPrintable(why));
        return 0;
    }
    StoreError error;
    const QString options = cluster->freshDatabase(QStringLiteral("stall"), &error);
    if (options.isEmpty() || Database::install(StoreLocation::server(options)).isValid()) {
        std::fprintf(stderr, "bench_stall: no store on the cluster: %s\n", qPrintable(error.text()));
        return 1;
    }
    QList<double> answered, stalled;
    for (int i = 0; i < Runs; ++i) {
        const std::optional<double> floor = timedSave(options, 2 * i, false);
        const std::optional<double> box = timedSave(options, 2 * i + 1, true);
        if (!floor || !box) {
            std::fprintf(stderr, "bench_stall: a save did not end as expected\n");
            return 1;
        }
        answered << *floor;
        stalled << *box;
    }
    const Bench::Summary floor = Bench::summarize(answered), box = Bench::summarize(stalled);
    std::printf("save with a stopped backend, to the box: %.2f s median (floor: a save answered, %.4f s; "
                "%.0fx; the watchdog's bound %d s, promised within %.0f s)\n",
                box.median, floor.median, box.median / floor.median, ServerLink::AnswerLimitSeconds, Promise);
    return 0;
}
