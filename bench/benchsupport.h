#pragma once

#include "store/engine/schema.h"
#include "store/engine/storeerror.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcessEnvironment>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

// What the benchmarks share: synthetic loan and book stores, the child processes
// that measure in a fresh program, waiting on the event loop, peak memory,
// and the medians and ratios they print.
namespace Bench {

// The child of `screen` of type T named `name`, the way the tests reach a
// screen's controls; a missing one stops the benchmark, naming it.
template <typename T>
T *control(const QObject *screen, const char *name)
{
    T *found = screen->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("No %s named %s on %s", T::staticMetaObject.className(), name, qPrintable(screen->objectName()));
    return found;
}

// Installs the stores in `folder` and adds `count` loans to tblBorrower in
// one statement, as the desk makes them: every third one returned, with
// all fifteen fields; the others with the eight fields of a new loan.
// Loan i (from 1) has the accession number "A-" and i in seven digits.
StoreError fillLoans(const QString &folder, int count);

// Installs the stores in `folder` and puts `count` books in `books` in
// place of the sample ones, in one statement, every field filled, titles and authors composed from word
// lists the way a college catalogue reads ("Introduction to Physics",
// "Santos, Maria"), so that searches find many, few or no books. Book i
// (from 1) is rowid i and has the book number "B-" and i in seven digits.
// The search index is kept in step by the store's own triggers. No title
// or author holds a j, q, x or z: words made of those letters find nothing.
// Every 10,007th book is on ornithology, the only titles with "orn".
StoreError fillBooks(const QString &folder, int count);
// Runs `fill` (fillLoans or fillBooks) on `folder` with `count` rows and
// gives the seconds it took; on a failure it says so on standard error,
// naming `what` ("loans", "books"), and gives nothing.
std::optional<double> timedFill(StoreError (*fill)(const QString &, int), const QString &folder, int count,
                                const char *what);
// Runs `program` to its end, its standard input and output from and to
// the files `input` and `output` when given, and gives its wall-clock
// seconds; on a failure it says so on standard error and gives nothing.
std::optional<double> timedProcess(const QString &program, const QStringList &arguments,
                                   const QString &input = QString(), const QString &output = QString());
// The sizes a benchmark runs at: `defaults`, or those listed (comma
// separated) in TALLYMERE_BENCH_SIZES, so that a change can be tried at
// small sizes before the long full run.
QList<int> sizes(const QList<int> &defaults);

// A throwaway PostgreSQL 15 cluster, started by tests/pgcluster.sh in a
// temporary folder of its own and stopped with this object (or when the
// process is interrupted), so that the server figures come from a server
// nobody else uses.
class ServerCluster
{
public:
    // Nothing when PostgreSQL 15 is not installed or the cluster did not
    // start; `*why` says which.
    static std::unique_ptr<ServerCluster> start(QString *why);
    ~ServerCluster();
    ServerCluster(const ServerCluster &) = delete;
    ServerCluster &operator=(const ServerCluster &) = delete;

    // A new, empty database `name` (an old one of that name dropped), given
    // as the libpq options StoreLocation::server takes; empty on failure.
    QString freshDatabase(const QString &name, StoreError *error);
    void dropDatabase(const QString &name);

private:
    ServerCluster() = default;
    QString options(const QString &database) const;
    StoreError administer(const QStringList &statements);
    QString m_folder;
    QString m_host;
    int m_port = 0;
    QString m_user;
};

// Rows per INSERT of copyToServer: few enough to stay far below the
// server's limit of bound values, enough that each round trip carries much.
inline constexpr int CopyBatch = 250;

// Copies every row of `table` from the SQLite stores in `folder` (filled by
// fillLoans or fillBooks) into the server store `connection`, installed
// first, in place of its sample rows: multi-row INSERTs of bound values in
// one transaction, each row keeping its rowid as its identity, so that book
// i is book i on both engines; the books' short-text index is filled once
// after. The tables are then vacuumed and analysed.
StoreError copyToServer(const QString &folder, const QString &connection, const Schema::Table &table, int count);
// copyToServer timed, as timedFill.
std::optional<double> timedCopy(const QString &folder, const QString &connection, const Schema::Table &table,
                                int count);

// The number of book i, as fillBooks stores it.
QString bookNumber(qint64 i);

// The process's peak resident memory (VmHWM) in MiB, -1 when unknown.
double peakMemoryMiB();

// Drops the offscreen platform's warnings on every raise() and on a dialog's
// size hints, which say nothing about the program and bury the figures.
void quietenPlatform();

// Gives the process a runtime folder of its own when it has none, as Qt
// asks for one; the folder lasts as long as the returned object.
std::unique_ptr<QTemporaryDir> ensureRuntimeFolder();

// Runs the event loop until `done` holds; false after `limitMs`.
bool waitFor(const std::function<bool()> &done, int limitMs = 30000);

// Counts the paint events of the widgets it is installed on.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override;
    int paints = 0;
};

// The environment of a measuring child: its data home, the headless
// platform unless one is chosen, and a runtime folder of its own.
QProcessEnvironment childEnvironment(const QString &dataHome, const QString &runtimeFolder);

// Starts this program again with `arguments` and returns what it printed,
// or nothing when it failed (its error output is passed through).
std::optional<QString> runChild(const QProcessEnvironment &env, const QStringList &arguments);

struct Summary {
    double median = 0;
    double best = 0;
    double worst = 0;
};
Summary summarize(QList<double> values);

// "1.23x", or "-" when the floor is zero.
QString ratio(double value, double floor);
// 1000000 as "1,000,000".
QString grouped(int number);

} // namespace Bench
