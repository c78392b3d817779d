// The loan list on synthetic stores of 1,000, 100,000 and 1,000,000 loans,
// each figure beside its floor measured in the same run:
//  - first rows: from creating the screen until its grid has painted rows,
//    beside a bare QSqlQueryModel ("SELECT * FROM tblBorrower") in a bare
//    QTableView, connection opened and shown the same way;
//  - the navigation bar's Last button until the last loan is current and
//    painted, beside a bare SELECT count(*) on the same table;
//  - the growth of peak memory over both, which should not grow with the
//    table.
// Run without arguments: each size's store is filled once, then every
// measurement runs in a fresh child, the screen and the bare one in turns.
#include "app/screens.h"
#include "app/ui/navigationbar.h"
#include "app/ui/navigator.h"
#include "app/ui/screennames.h"
#include "app/ui/widgets.h"
#include "bench/benchsupport.h"
#include "catalogue/loanlistscreen.h"
#include "store/database.h"
#include "store/querysource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>
#include <optional>

namespace {

constexpr int Runs = 7;
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

int screenChild(int argc, char **argv, int count)
{
    QApplication app(argc, argv);
    if (!startAsFromMenu(app))
        return 1;
    registerScreens(deskStores());
    const double baseline = Bench::peakMemoryMiB();
    Figures f;

    QElapsedTimer clock;
    clock.start();
    auto *list = qobject_cast<LoanListScreen *>(Navigator::instance().open(ScreenNames::LoanList));
    if (!list)
        return 1;
    Bench::PaintCounter gridPaints;
    list->DataGrid1->viewport()->installEventFilter(&gridPaints);
    if (!Bench::waitFor([&] { return list->DataGrid1->model()->rowCount() > 0 && gridPaints.paints > 0; })) {
        std::fprintf(stderr, "the loan list never showed its first rows\n");
        return 1;
    }
    f.firstRowsMs = clock.nsecsElapsed() / 1e6;
    f.growthFirstMiB = Bench::peakMemoryMiB() - baseline;

    auto *last = list->Adodc1Bar->findChild<QToolButton *>(QStringLiteral("last"));
    if (!last)
        return 1;
    const int paintsBefore = gridPaints.paints;
    clock.restart();
    last->click();
    if (!Bench::waitFor([&] { return list->Adodc1->currentRow() == count - 1 && gridPaints.paints > paintsBefore; })) {
        std::fprintf(stderr, "the Last button never showed the last loan\n");
        return 1;
    }
    f.lastMs = clock.nsecsElapsed() / 1e6;
    if (!lastRowShown(list->DataGrid1, count)) {
        std::fprintf(stderr, "the Last button did not bring the last loan into view\n");
        return 1;
    }
    f.growthLastMiB = Bench::peakMemoryMiB() - baseline;
    report(f);
    Navigator::instance().reset();
    return 0;
}

int bareChild(int argc, char **argv, int count)
{
    QApplication app(argc, argv);
    if (!startAsFromMenu(app))
        return 1;
    const double baseline = Bench::peakMemoryMiB();
    Figures f;
    {
        QElapsedTimer clock;
        clock.start();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), BareConnection);
        db.setDatabaseName(deskStores().path(Schema::File::Tallymere));
        if (!db.open())
            return 1;
        QSqlQueryModel model;
        model.setQuery(QStringLiteral("SELECT * FROM tblBorrower"), db);
        // The loan list's size, so both grids paint about as many rows.
        QTableView view;
        view.resize(QSize(752, 500));
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
        if (!q.exec(QStringLiteral("SELECT count(*) FROM tblBorrower")) || !q.next())
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
        db.close();
    }
    QSqlDatabase::removeDatabase(BareConnection);
    report(f);
    return 0;
}

std::optional<Figures> measure(const QProcessEnvironment &env, const char *mode, int count)
{
    const std::optional<QString> out = Bench::runChild(env, {QString::fromLatin1(mode), QString::number(count)});
    if (!out)
        return std::nullopt;
    const QStringList words = out->trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 4)
        return std::nullopt;
    return Figures{words.at(0).toDouble(), words.at(1).toDouble(), words.at(2).toDouble(), words.at(3).toDouble()};
}

struct SizeResult {
    int count = 0;
    double fillSeconds = 0;
    QList<Figures> screen, bare;
};

Bench::Summary summary(const QList<Figures> &runs, double Figures::*figure)
{
    QList<double> values;
    for (const Figures &f : runs)
        values << f.*figure;
    return Bench::summarize(values);
}

std::optional<SizeResult> measureSize(int count)
{
    SizeResult r;
    r.count = count;
    QTemporaryDir data;
    QTemporaryDir runtime;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const std::optional<double> filled = Bench::timedFill(Bench::fillLoans, folder, count, "loans");
    if (!filled)
        return std::nullopt;
    r.fillSeconds = *filled;

    const QProcessEnvironment env = Bench::childEnvironment(data.path(), runtime.path());
    for (int i = 0; i < Runs; ++i) {
        const std::optional<Figures> screen = measure(env, ScreenMode, count);
        const std::optional<Figures> bare = measure(env, BareMode, count);
        if (!screen || !bare) {
            std::fprintf(stderr, "measuring %d loans failed\n", count);
            return std::nullopt;
        }
        r.screen << *screen;
        r.bare << *bare;
    }
    return r;
}

QString cell(const Bench::Summary &s)
{
    return QStringLiteral("%1 (%2)").arg(s.median, 0, 'f', 1).arg(s.best, 0, 'f', 1);
}

void printTimes(const QList<SizeResult> &results, const char *title, const char *figure, const char *floor,
                double Figures::*measured)
{
    std::printf("\n%s\n%12s %16s %16s %8s\n", title, "loans", figure, floor, "ratio");
    for (const SizeResult &r : results) {
        const Bench::Summary s = summary(r.screen, measured), b = summary(r.bare, measured);
        std::printf("%12s %16s %16s %8s\n", qPrintable(Bench::grouped(r.count)), qPrintable(cell(s)),
                    qPrintable(cell(b)), qPrintable(Bench::ratio(s.median, b.median)));
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && qstrcmp(argv[1], ScreenMode) == 0)
        return screenChild(argc, argv, QByteArray(argv[2]).toInt());
    if (argc > 2 && qstrcmp(argv[1], BareMode) == 0)
        return bareChild(argc, argv, QByteArray(argv[2]).toInt());

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tallymere"));
    QList<SizeResult> results;
    for (const int count : {1000, 100000, 1000000}) {
        const std::optional<SizeResult> r = measureSize(count);
        if (!r)
            return 1;
        results << *r;
    }

    std::printf("Loan list, median of %d runs each in ms, best in brackets; goal at 1,000,000 loans: first rows\n"
                "within 70 ms, peak memory flat\n",
                Runs);
    printTimes(results, "First rows shown: the screen beside a bare QSqlQueryModel in a QTableView", "screen",
               "bare view", &Figures::firstRowsMs);
    printTimes(results, "Last button until the last loan is painted, beside a bare SELECT count(*)", "Last button",
               "count(*)", &Figures::lastMs);
    std::printf("\nPeak memory growth from opening the list (MiB, median)\n%12s %16s %16s %16s %16s\n", "loans",
                "screen, 1st rows", "after Last", "bare, 1st rows", "after count(*)");
    for (const SizeResult &r : results)
        std::printf("%12s %16.1f %16.1f %16.1f %16.1f\n", qPrintable(Bench::grouped(r.count)),
                    summary(r.screen, &Figures::growthFirstMiB).median, summary(r.screen, &Figures::growthLastMiB).median,
                    summary(r.bare, &Figures::growthFirstMiB).median, summary(r.bare, &Figures::growthLastMiB).median);
    std::printf("\nSynthetic stores filled in");
    for (const SizeResult &r : results)
        std::printf(" %.1f s (%s loans)", r.fillSeconds, qPrintable(Bench::grouped(r.count)));
    std::printf("\n");
    return 0;
}
