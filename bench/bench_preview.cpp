// The catalogue report's preview on synthetic catalogues of 1,000, 100,000
// and 1,000,000 books, opened as the books screen's Print button opens it:
//  - first page: from showCatalogueReport until the page view has painted
//    its first page, beside a bare QWidget of the preview's size shown and
//    painted plus a bare SELECT count(*) FROM books on a fresh connection;
//  - last page: lastPage() until the last book's page is painted, beside
//    the bare window painted again;
//  - the process's peak memory, beside the bare one's.
// Each measurement runs in a fresh child that first opens the books screen,
// as the program has when Print is clicked, so its peak memory is its own.
// Run without arguments: each size's catalogue is filled once, then the
// preview and the bare children run in turns.
#include "app/screens.h"
#include "bench/benchdialogs.h"
#include "bench/benchsupport.h"
#include "catalogue/booksscreen.h"
#include "catalogue/reportpreview.h"
#include "catalogue/tablereportrows.h"
#include "store/engine/database.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSpinBox>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

StoreLocation deskStores()
{
    return StoreLocation::files(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}


constexpr int Runs = 5;
constexpr double GoalMs = 500;
constexpr double GoalMiB = 150;
const char *const PreviewMode = "--preview";
const char *const BareMode = "--bare";
const QString BareConnection = QStringLiteral("bare");

// One child's figures. For the bare child "first" is its window shown and
// painted, "count" its count(*), "last" its window painted again.
struct Figures {
    double firstMs = 0;
    double countMs = 0;
    double lastMs = 0;
    double peakMiB = 0;
    double baselineMiB = 0;
    int width = 0;
    int height = 0;
};

void report(const Figures &f)
{
    std::printf("%.4f %.4f %.4f %.4f %.4f %d %d\n", f.firstMs, f.countMs, f.lastMs, f.peakMiB, f.baselineMiB,
                f.width, f.height);
    std::fflush(stdout);
}

// Counts the paints of the catalogue preview's page view, wherever it is
// created: it may be painted before showCatalogueReport returns.
class PagePaints : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->objectName() == QLatin1String("page")
            && qobject_cast<ReportPreview *>(static_cast<QWidget *>(watched)->window()))
            ++paints;
        return false;
    }
    int paints = 0;
};

// Both kinds of child start where Print is clicked: the books screen open
// on its first book.
std::unique_ptr<BooksScreen> openBooksScreen(QApplication &app, Dialogs &dialogs)
{
    Bench::quietenPlatform();
    prepareApplication(app);
    auto screen = std::make_unique<BooksScreen>(deskStores(), dialogs);
    if (screen->openStore().isValid())
        return nullptr;
    // A field is chosen, so a first focus in the search box asks nothing.
    Bench::control<QComboBox>(screen.get(), "cmbSearch")->setCurrentIndex(0);
    Bench::PaintCounter painted;
    screen->installEventFilter(&painted);
    screen->show();
    if (!Bench::waitFor([&] { return painted.paints > 0; }) || Bench::control<QLineEdit>(screen.get(), "Text9")->text().isEmpty())
        return nullptr;
    screen->removeEventFilter(&painted);
    return screen;
}

int previewChild(int argc, char **argv, int count)
{
    QApplication app(argc, argv);
    Bench::LoudDialogs dialogs;
    const std::unique_ptr<BooksScreen> books = openBooksScreen(app, dialogs);
    if (!books)
        return 1;
    Figures f;
    f.baselineMiB = Bench::peakMemoryMiB();
    PagePaints pages;
    app.installEventFilter(&pages);

    QElapsedTimer clock;
    clock.start();
    ReportPreview *preview = showCatalogueReport(
        std::make_unique<TableReportRows>(deskStores(), Schema::books().name), dialogs, nullptr);
    if (!Bench::waitFor([&] { return pages.paints > 0; })) {
        std::fprintf(stderr, "the preview never painted its first page\n");
        return 1;
    }
    f.firstMs = clock.nsecsElapsed() / 1e6;
    if (preview->rowCount() != count || preview->pageCount() != count || preview->currentPageFailed()
        || dialogs.shown > 0) {
        std::fprintf(stderr, "the preview counted %d books of %d\n", preview->rowCount(), count);
        return 1;
    }

    const int paintsBefore = pages.paints;
    clock.restart();
    preview->lastPage();
    if (!Bench::waitFor([&] { return preview->currentPage() == count - 1 && pages.paints > paintsBefore; })) {
        std::fprintf(stderr, "the last page was never painted\n");
        return 1;
    }
    f.lastMs = clock.nsecsElapsed() / 1e6;
    const auto *pageBox = preview->findChild<QSpinBox *>(QStringLiteral("pageNumber"));
    if (preview->currentPageFailed() || !pageBox || pageBox->value() != count || dialogs.shown > 0) {
        std::fprintf(stderr, "the last page did not show book %d\n", count);
        return 1;
    }
    f.peakMiB = Bench::peakMemoryMiB();
    f.width = preview->width();
    f.height = preview->height();
    app.removeEventFilter(&pages);
    report(f);
    preview->close();
    return 0;
}

int bareChild(int argc, char **argv, int count, const QSize &size)
{
    QApplication app(argc, argv);
    Bench::LoudDialogs dialogs;
    const std::unique_ptr<BooksScreen> books = openBooksScreen(app, dialogs);
    if (!books)
        return 1;
    Figures f;
    f.baselineMiB = Bench::peakMemoryMiB();

    QElapsedTimer clock;
    clock.start();
    QWidget window;
    window.resize(size);
    Bench::PaintCounter painted;
    window.installEventFilter(&painted);
    window.show();
    if (!Bench::waitFor([&] { return painted.paints > 0; })) {
        std::fprintf(stderr, "the bare window was never painted\n");
        return 1;
    }
    f.firstMs = clock.nsecsElapsed() / 1e6;

    {
        clock.restart();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), BareConnection);
        db.setDatabaseName(deskStores().path(Schema::File::Transactions));
        QSqlQuery q(db);
        if (!db.open() || !q.exec(QStringLiteral("SELECT count(*) FROM books")) || !q.next())
            return 1;
        const qint64 counted = q.value(0).toLongLong();
        f.countMs = clock.nsecsElapsed() / 1e6;
        if (counted != count) {
            std::fprintf(stderr, "the bare count found %lld books instead of %d\n", counted, count);
            return 1;
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(BareConnection);

    const int paintsBefore = painted.paints;
    clock.restart();
    window.update();
    if (!Bench::waitFor([&] { return painted.paints > paintsBefore; }))
        return 1;
    f.lastMs = clock.nsecsElapsed() / 1e6;
    f.peakMiB = Bench::peakMemoryMiB();
    f.width = window.width();
    f.height = window.height();
    report(f);
    return 0;
}

std::optional<Figures> measure(const QProcessEnvironment &env, const QStringList &arguments)
{
    const std::optional<QString> out = Bench::runChild(env, arguments);
    if (!out)
        return std::nullopt;
    const QStringList words = out->trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 7)
        return std::nullopt;
    return Figures{words.at(0).toDouble(), words.at(1).toDouble(), words.at(2).toDouble(), words.at(3).toDouble(),
                   words.at(4).toDouble(), words.at(5).toInt(),    words.at(6).toInt()};
}

struct SizeResult {
    int count = 0;
    double fillSeconds = 0;
    QSize window;
    QList<Figures> preview, bare;
};

std::optional<SizeResult> measureSize(int count)
{
    SizeResult r;
    r.count = count;
    QTemporaryDir data;
    QTemporaryDir runtime;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const std::optional<double> filled = Bench::timedFill(Bench::fillBooks, folder, count, "books");
    if (!filled)
        return std::nullopt;
    r.fillSeconds = *filled;

    const QProcessEnvironment env = Bench::childEnvironment(data.path(), runtime.path());
    const QString size = QString::number(count);
    for (int i = 0; i < Runs; ++i) {
        const std::optional<Figures> preview = measure(env, {QString::fromLatin1(PreviewMode), size});
        if (!preview) {
            std::fprintf(stderr, "measuring the preview of %d books failed\n", count);
            return std::nullopt;
        }
        // The bare window takes the size the preview took.
        const std::optional<Figures> bare =
            measure(env, {QString::fromLatin1(BareMode), size, QString::number(preview->width),
                          QString::number(preview->height)});
        if (!bare) {
            std::fprintf(stderr, "measuring the bare window for %d books failed\n", count);
            return std::nullopt;
        }
        r.window = QSize(preview->width, preview->height);
        r.preview << *preview;
        r.bare << *bare;
    }
    return r;
}

Bench::Summary summary(const QList<Figures> &runs, const std::function<double(const Figures &)> &figure)
{
    QList<double> values;
    for (const Figures &f : runs)
        values << figure(f);
    return Bench::summarize(values);
}

QString cell(const Bench::Summary &s)
{
    return QStringLiteral("%1 (%2)").arg(s.median, 0, 'f', 1).arg(s.best, 0, 'f', 1);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && qstrcmp(argv[1], PreviewMode) == 0)
        return previewChild(argc, argv, QByteArray(argv[2]).toInt());
    if (argc > 4 && qstrcmp(argv[1], BareMode) == 0)
        return bareChild(argc, argv, QByteArray(argv[2]).toInt(),
                         QSize(QByteArray(argv[3]).toInt(), QByteArray(argv[4]).toInt()));

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tallymere"));
    QList<SizeResult> results;
    for (const int count : Bench::sizes({1000, 100000, 1000000})) {
        const std::optional<SizeResult> r = measureSize(count);
        if (!r)
            return 1;
        results << *r;
    }

    std::printf("Catalogue report preview opened from the books screen, median of %d runs each in ms, best in\n"
                "brackets; goals: first page under %.0f ms and peak memory under %.0f MiB at every size\n",
                Runs, GoalMs, GoalMiB);
    std::printf("\nFirst page painted, beside a bare window of the preview's size (%dx%d) shown and painted\n"
                "plus a bare SELECT count(*) FROM books on a fresh connection\n",
                results.first().window.width(), results.first().window.height());
    std::printf("%12s %16s %16s %16s %16s %8s\n", "books", "preview", "bare window", "count(*)", "floor", "ratio");
    for (const SizeResult &r : results) {
        const Bench::Summary p = summary(r.preview, [](const Figures &f) { return f.firstMs; });
        const Bench::Summary w = summary(r.bare, [](const Figures &f) { return f.firstMs; });
        const Bench::Summary c = summary(r.bare, [](const Figures &f) { return f.countMs; });
        const Bench::Summary floor = summary(r.bare, [](const Figures &f) { return f.firstMs + f.countMs; });
        std::printf("%12s %16s %16s %16s %16s %8s%s\n", qPrintable(Bench::grouped(r.count)), qPrintable(cell(p)),
                    qPrintable(cell(w)), qPrintable(cell(c)), qPrintable(cell(floor)),
                    qPrintable(Bench::ratio(p.median, floor.median)), p.median > GoalMs ? "  over the goal" : "");
    }
    std::printf("\nLast page (lastPage() until painted), beside the bare window painted again\n");
    std::printf("%12s %16s %16s %8s\n", "books", "preview", "bare repaint", "ratio");
    for (const SizeResult &r : results) {
        const Bench::Summary p = summary(r.preview, [](const Figures &f) { return f.lastMs; });
        const Bench::Summary b = summary(r.bare, [](const Figures &f) { return f.lastMs; });
        std::printf("%12s %16s %16s %8s%s\n", qPrintable(Bench::grouped(r.count)), qPrintable(cell(p)),
                    qPrintable(cell(b)), qPrintable(Bench::ratio(p.median, b.median)),
                    p.median > GoalMs ? "  over the goal" : "");
    }
    std::printf("\nPeak memory of the process (MiB, median), the books screen open before either\n");
    std::printf("%12s %16s %16s %8s %16s %16s\n", "books", "preview", "bare", "ratio", "growth, preview",
                "growth, bare");
    for (const SizeResult &r : results) {
        const Bench::Summary p = summary(r.preview, [](const Figures &f) { return f.peakMiB; });
        const Bench::Summary b = summary(r.bare, [](const Figures &f) { return f.peakMiB; });
        const Bench::Summary pg = summary(r.preview, [](const Figures &f) { return f.peakMiB - f.baselineMiB; });
        const Bench::Summary bg = summary(r.bare, [](const Figures &f) { return f.peakMiB - f.baselineMiB; });
        std::printf("%12s %16.1f %16.1f %8s %16.1f %16.1f%s\n", qPrintable(Bench::grouped(r.count)), p.median,
                    b.median, qPrintable(Bench::ratio(p.median, b.median)), pg.median, bg.median,
                    p.worst >= GoalMiB ? "  over the goal" : "");
    }
    std::printf("\nSynthetic catalogues filled in");
    for (const SizeResult &r : results)
        std::printf(" %.1f s (%s books)", r.fillSeconds, qPrintable(Bench::grouped(r.count)));
    std::printf("\n");
    return 0;
}
