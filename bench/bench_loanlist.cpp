// The loan list on synthetic stores of 1,000, 100,000 and 1,000,000 loans
// (TALLYMERE_BENCH_SIZES chooses others), on the SQLite files and, when
// PostgreSQL 15 is installed, on a throwaway server cluster; each figure
// beside its floor measured in the same run on the same engine:
//  - first rows: from creating the screen until its grid has painted rows,
//    beside a bare QSqlQueryModel in a bare QTableView, connection opened
//    and shown the same way: "SELECT * FROM tblBorrower" on SQLite (the
//    model reads it a page at a time), and on the server, whose driver
//    reads a whole result at once, the rows the grid shows in identity
//    order with a LIMIT;
//  - the navigation bar's Last button until the last loan is current and
//    painted, beside a bare SELECT count(*) on the same table;
//  - the growth of peak memory over both, which should not grow with the
//    table.
// Run without arguments: each size's store is filled once (the server's
// copied from the SQLite one), then every measurement runs in a fresh
// child, the screen and the bare one in turns.
#include "app/screennames.h"
#include "app/screens.h"
#include "bench/benchdialogs.h"
#include "bench/benchsupport.h"
#include "catalogue/loanlistscreen.h"
#include "store/engine/database.h"
#include "store/engine/storeerror.h"
#include "store/records/querysource.h"
#include "ui/navigationbar.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QStandardPaths>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>
#include <optional>

namespace {

constexpr int Runs = 7;
constexpr double RatioGoal = 1.5;
const char *const ScreenMode = "--screen";
const char *const BareMode = "--bare";
const QString BareConnection = QStringLiteral("bare");

// One child's figures; growth is of the peak memory since the list was
// opened, after its first rows and after the Last button (or the count).
struct Figures {
    double firstRowsMs = 0;
    double lastMs = 0;
    double growthFirstMiB = 0;
    double growthLastMiB = 0;
};

void report(const Figures &f)
{
    std::printf("%.4f %.4f %.4f %.4f\n", f.firstRowsMs, f.lastMs, f.growthFirstMiB, f.growthLastMiB);
    std::fflush(stdout);
}

// The list is always opened from the main menu, which has already brought
// up the window system, the style and the fonts; a small window with a
// grid and a button stands in for it, in both kinds of child.
bool startAsFromMenu(QApplication &app)
{
    Bench::quietenPlatform();
    prepareApplication(app);
    QWidget menu;
    menu.resize(200, 120);
    auto *grid = new QTableView(&menu);
    grid->setGeometry(0, 0, 200, 80);
    auto *panel = new FramedPanel(QStringLiteral("menu"), &menu);
    panel->setGeometry(0, 80, 100, 40);
    new PushButton(QStringLiteral("Main"), panel);
    Bench::PaintCounter painted;
    menu.installEventFilter(&painted);
    menu.show();
    return Bench::waitFor([&] { return painted.paints > 0; });
}

StoreLocation deskStores()
{
    return StoreLocation::files(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

bool lastRowShown(QTableView *grid, int count)
{
    const QModelIndex current = grid->currentIndex();
    return current.row() == count - 1 && grid->viewport()->rect().intersects(grid->visualRect(current));
}

// The stores a child measures: the desk's files, or the server database
// its parent named.
StoreLocation childStores(const QString &connection)
{
    return connection.isEmpty() ? deskStores() : StoreLocation::server(connection);
}

int screenChild(int argc, char **argv, int count, const QString &connection)
{
    QApplication app(argc, argv);
    if (!startAsFromMenu(app))
        return 1;
    Bench::LoudDialogs dialogs;
    registerScreens(childStores(connection), dialogs);
    const double baseline = Bench::peakMemoryMiB();
    Figures f;

    QElapsedTimer clock;
    clock.start();
    auto *list = qobject_cast<LoanListScreen *>(Navigator::instance().open(ScreenNames::LoanList));
    if (!list)
        return 1;
    Bench::PaintCounter gridPaints;
    Bench::control<QTableView>(list, "DataGrid1")->viewport()->installEventFilter(&gridPaints);
    if (!Bench::waitFor([&] { return Bench::control<QTableView>(list, "DataGrid1")->model()->rowCount() > 0 && gridPaints.paints > 0; })) {
        std::fprintf(stderr, "the loan list never showed its first rows\n");
        return 1;
    }
    f.firstRowsMs = clock.nsecsElapsed() / 1e6;
    f.growthFirstMiB = Bench::peakMemoryMiB() - baseline;

    auto *last = Bench::control<NavigationBar>(list, "Adodc1Bar")->findChild<QToolButton *>(QStringLiteral("last"));
    if (!last)
        return 1;
    const int paintsBefore = gridPaints.paints;
    clock.restart();
    last->click();
    if (!Bench::waitFor([&] { return Bench::control<QuerySource>(list, "Adodc1")->currentRow() == count - 1 && gridPaints.paints > paintsBefore; })) {
        std::fprintf(stderr, "the Last button never showed the last loan\n");
        return 1;
    }
    f.lastMs = clock.nsecsElapsed() / 1e6;
    if (!lastRowShown(Bench::control<QTableView>(list, "DataGrid1"), count)) {
        std::fprintf(stderr, "the Last button did not bring the last loan into view\n");
        return 1;
    }
    f.growthLastMiB = Bench::peakMemoryMiB() - baseline;
    report(f);
    Navigator::instance().reset();
    return 0;
}

int bareChild(int argc, char **argv, int count, const QString &connection)
{
    QApplication app(argc, argv);
    if (!startAsFromMenu(app))
        return 1;
    const double baseline = Bench::peakMemoryMiB();
    const bool server = !connection.isEmpty();
    Figures f;
    {
        QElapsedTimer clock;
        clock.start();
        std::optional<Database::Connection> serverConnection;
        QSqlDatabase db;
        if (server) {
            // Opened as the screen opens its own, the same options set.
            serverConnection.emplace(StoreLocation::server(connection), Schema::File::Tallymere);
            if (!serverConnection->open()) {
                std::fprintf(stderr, "%s\n", qPrintable(serverConnection->lastError().text()));
                return 1;
            }
            db = serverConnection->database();
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), BareConnection);
            db.setDatabaseName(deskStores().path(Schema::File::Tallymere));
            if (!db.open())
                return 1;
        }
        // The loan list's size, so both grids paint about as many rows.
        QTableView view;
        view.resize(QSize(752, 500));
        QSqlQueryModel model;
        if (server) {
            const int shown = view.height() / view.verticalHeader()->defaultSectionSize() + 1;
            model.setQuery(QStringLiteral("SELECT * FROM \"tblBorrower\" ORDER BY \"_id\" LIMIT %1").arg(shown), db);
        } else {
            model.setQuery(QStringLiteral("SELECT * FROM tblBorrower"), db);
        }
        view.setModel(&model);
        Bench::PaintCounter paints;
        view.viewport()->installEventFilter(&paints);
        view.show();
        if (!Bench::waitFor([&] { return model.rowCount() > 0 && paints.paints > 0; })) {
            std::fprintf(stderr, "the bare grid never showed its first rows\n");
            return 1;
        }
        f.firstRowsMs = clock.nsecsElapsed() / 1e6;
        f.growthFirstMiB = Bench::peakMemoryMiB() - baseline;

        clock.restart();
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT count(*) FROM \"tblBorrower\"")) || !q.next())
            return 1;
        const qint64 counted = q.value(0).toLongLong();
        f.lastMs = clock.nsecsElapsed() / 1e6;
        if (counted != count) {
            std::fprintf(stderr, "the bare count found %lld loans instead of %d\n", counted, count);
            return 1;
        }
        f.growthLastMiB = Bench::peakMemoryMiB() - baseline;
        q.finish();
        model.clear();
        if (!server)
            db.close();
    }
    if (!server)
        QSqlDatabase::removeDatabase(BareConnection);
    report(f);
    return 0;
}

std::optional<Figures> measure(const QProcessEnvironment &env, const char *mode, int count, const QString &connection)
{
    QStringList arguments{QString::fromLatin1(mode), QString::number(count)};
    if (!connection.isEmpty())
        arguments << connection;
    const std::optional<QString> out = Bench::runChild(env, arguments);
    if (!out)
        return std::nullopt;
    const QStringList words = out->trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 4)
        return std::nullopt;
    return Figures{words.at(0).toDouble(), words.at(1).toDouble(), words.at(2).toDouble(), words.at(3).toDouble()};
}

struct SizeResult {
    const char *engine = "SQLite";
    int count = 0;
    double fillSeconds = 0; // on the server: the copy from SQLite
    QList<Figures> screen, bare;
};

Bench::Summary summary(const QList<Figures> &runs, double Figures::*figure)
{
    QList<double> values;
    for (const Figures &f : runs)
        values << f.*figure;
    return Bench::summarize(values);
}

bool measureRuns(const QProcessEnvironment &env, const QString &connection, SizeResult &r)
{
    for (int i = 0; i < Runs; ++i) {
        const std::optional<Figures> screen = measure(env, ScreenMode, r.count, connection);
        const std::optional<Figures> bare = measure(env, BareMode, r.count, connection);
        if (!screen || !bare) {
            std::fprintf(stderr, "measuring %d loans on %s failed\n", r.count, r.engine);
            return false;
        }
        r.screen << *screen;
        r.bare << *bare;
    }
    return true;
}

// The size's results on SQLite and, with a cluster, on the server.
bool measureSize(int count, Bench::ServerCluster *cluster, QList<SizeResult> &results)
{
    QTemporaryDir data;
    QTemporaryDir runtime;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    SizeResult files;
    files.count = count;
    const std::optional<double> filled = Bench::timedFill(Bench::fillLoans, folder, count, "loans");
    if (!filled)
        return false;
    files.fillSeconds = *filled;
    const QProcessEnvironment env = Bench::childEnvironment(data.path(), runtime.path());
    if (!measureRuns(env, QString(), files))
        return false;
    results << files;
    if (!cluster)
        return true;

    SizeResult server;
    server.engine = "server";
    server.count = count;
    const QString name = QStringLiteral("loans_%1").arg(count);
    StoreError error;
    const QString connection = cluster->freshDatabase(name, &error);
    if (connection.isEmpty()) {
        std::fprintf(stderr, "no server database for %d loans: %s\n", count, qPrintable(error.text()));
        return false;
    }
    const std::optional<double> copied = Bench::timedCopy(folder, connection, Schema::borrower(), count);
    const bool ok = copied && measureRuns(env, connection, server);
    cluster->dropDatabase(name);
    if (!ok)
        return false;
    server.fillSeconds = *copied;
    results << server;
    return true;
}

QString cell(const Bench::Summary &s)
{
    return QStringLiteral("%1 (%2)").arg(s.median, 0, 'f', 1).arg(s.best, 0, 'f', 1);
}

void printTimes(const QList<SizeResult> &results, const char *title, const char *figure, const char *floor,
                double Figures::*measured)
{
    std::printf("\n%s\n%8s %12s %16s %16s %8s\n", title, "engine", "loans", figure, floor, "ratio");
    for (const SizeResult &r : results) {
        const Bench::Summary s = summary(r.screen, measured), b = summary(r.bare, measured);
        std::printf("%8s %12s %16s %16s %8s%s\n", r.engine, qPrintable(Bench::grouped(r.count)), qPrintable(cell(s)),
                    qPrintable(cell(b)), qPrintable(Bench::ratio(s.median, b.median)),
                    b.median > 0 && s.median > RatioGoal * b.median ? "  over the goal" : "");
    }
}

} // namespace

int main(int argc, char **argv)
{
    const QString connection = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    if (argc > 2 && qstrcmp(argv[1], ScreenMode) == 0)
        return screenChild(argc, argv, QByteArray(argv[2]).toInt(), connection);
    if (argc > 2 && qstrcmp(argv[1], BareMode) == 0)
        return bareChild(argc, argv, QByteArray(argv[2]).toInt(), connection);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tallymere"));
    QString skipped;
    const std::unique_ptr<Bench::ServerCluster> cluster = Bench::ServerCluster::start(&skipped);
    QList<SizeResult> results;
    for (const int count : Bench::sizes({1000, 100000, 1000000}))
        if (!measureSize(count, cluster.get(), results))
            return 1;

    std::printf("Loan list, median of %d runs each in ms, best in brackets; goal at 1,000,000 loans: first rows\n"
                "within 70 ms, peak memory flat; on each engine every figure within %.1fx of its floor\n",
                Runs, RatioGoal);
    if (!cluster)
        std::printf("Server figures skipped: %s\n", qPrintable(skipped));
    printTimes(results, "First rows shown: the screen beside a bare QSqlQueryModel in a QTableView", "screen",
               "bare view", &Figures::firstRowsMs);
    printTimes(results, "Last button until the last loan is painted, beside a bare SELECT count(*)", "Last button",
               "count(*)", &Figures::lastMs);
    std::printf("\nPeak memory growth from opening the list (MiB, median)\n%8s %12s %16s %16s %16s %16s\n", "engine",
                "loans", "screen, 1st rows", "after Last", "bare, 1st rows", "after count(*)");
    for (const SizeResult &r : results)
        std::printf("%8s %12s %16.1f %16.1f %16.1f %16.1f\n", r.engine, qPrintable(Bench::grouped(r.count)),
                    summary(r.screen, &Figures::growthFirstMiB).median, summary(r.screen, &Figures::growthLastMiB).median,
                    summary(r.bare, &Figures::growthFirstMiB).median, summary(r.bare, &Figures::growthLastMiB).median);
    std::printf("\nSynthetic stores filled in");
    for (const SizeResult &r : results)
        if (qstrcmp(r.engine, "SQLite") == 0)
            std::printf(" %.1f s (%s loans)", r.fillSeconds, qPrintable(Bench::grouped(r.count)));
    std::printf("\n");
    if (cluster) {
        std::printf("Copied to the server (INSERTs of %d rows, one transaction, VACUUM ANALYZE) in", Bench::CopyBatch);
        for (const SizeResult &r : results)
            if (qstrcmp(r.engine, "server") == 0)
                std::printf(" %.1f s (%s loans)", r.fillSeconds, qPrintable(Bench::grouped(r.count)));
        std::printf("\n");
    }
    return 0;
}
