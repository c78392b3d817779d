// Saving the catalogue report as a PDF: pages per second of
// ReportPreview::savePdf for a catalogue of 2,000 books (one page each;
// TALLYMERE_BENCH_SIZES chooses other counts),
// beside a bare QPdfWriter that writes as many pages of the same paper with
// one line of text on each, in turns in the same run. Both files are
// checked for their page count.
#include "app/screens.h"
#include "bench/benchdialogs.h"
#include "bench/benchsupport.h"
#include "catalogue/reportpreview.h"
#include "catalogue/tablereportrows.h"
#include "store/engine/database.h"
#include "store/engine/storeerror.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSqlError>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr int Runs = 3;
constexpr double GoalPagesPerSecond = 600;

// The pages of the PDF at `path`, counted from its page objects; -1 when
// it cannot be read.
int pdfPages(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    int pages = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(file.readAll())); it.hasNext(); it.next())
        ++pages;
    return pages;
}

// Seconds for the preview to save every page; nullopt when it failed.
std::optional<double> timePreview(ReportPreview &preview, const QString &path, int books)
{
    QFile::remove(path);
    QElapsedTimer clock;
    clock.start();
    if (!preview.savePdf(path))
        return std::nullopt;
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (pdfPages(path) != books) {
        std::fprintf(stderr, "the saved catalogue has %d pages, not %d\n", pdfPages(path), books);
        return std::nullopt;
    }
    return seconds;
}

std::optional<double> timeBare(const QPageSize &paper, const QString &path, int books)
{
    QFile::remove(path);
    QElapsedTimer clock;
    clock.start();
    {
        QPdfWriter writer(path);
        writer.setPageSize(paper);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter;
        if (!painter.begin(&writer))
            return std::nullopt;
        const QPointF at(writer.resolution(), writer.resolution());
        for (int page = 0; page < books; ++page) {
            if (page > 0 && !writer.newPage())
                return std::nullopt;
            painter.drawText(at, QStringLiteral("Book %1").arg(page + 1));
        }
        painter.end();
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (pdfPages(path) != books) {
        std::fprintf(stderr, "the bare PDF has %d pages, not %d\n", pdfPages(path), books);
        return std::nullopt;
    }
    return seconds;
}

void printFigures(int books, const Bench::Summary &s, const Bench::Summary &b, qint64 savedBytes, qint64 bareBytes)
{
    std::printf("Catalogue report saved as PDF, %s books (one page each), pages per second over %d runs:\n"
                "median, worst in brackets (goal at least %.0f pages/s)\n\n",
                qPrintable(Bench::grouped(books)), Runs, GoalPagesPerSecond);
    std::printf("%-38s %20s %12s\n", "", "pages/s", "file");
    std::printf("%-38s %12.0f (%5.0f) %9.1f MiB%s\n", "ReportPreview::savePdf", s.median, s.best,
                savedBytes / 1048576.0, s.median < GoalPagesPerSecond ? "  under the goal" : "");
    std::printf("%-38s %12.0f (%5.0f) %9.1f MiB\n", "bare QPdfWriter, one line a page", b.median, b.best,
                bareBytes / 1048576.0);
    std::printf("%-38s %20s\n\n", "ratio (savePdf / bare)", qPrintable(Bench::ratio(s.median, b.median)));
}

// Fills a catalogue of `books` books, saves it in turns with the bare
// writer and prints the figures; false when anything failed.
bool measure(int books)
{
    QTemporaryDir data;
    QTemporaryDir output;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (const StoreError error = Bench::fillBooks(folder, books); error.isValid()) {
        std::fprintf(stderr, "filling %d books failed: %s\n", books, qPrintable(error.text()));
        return false;
    }
    const StoreLocation stores = StoreLocation::files(folder);

    Bench::LoudDialogs dialogs;
    const ReportLayout layout = ReportLayout::catalogue();
    ReportPreview preview(layout, std::make_unique<TableReportRows>(stores, Schema::books().name), dialogs);
    if (preview.pageCount() != books || dialogs.shown > 0) {
        std::fprintf(stderr, "the preview counted %d pages, not %d\n", preview.pageCount(), books);
        return false;
    }
    const QString previewPath = output.filePath(QStringLiteral("catalogue.pdf"));
    const QString barePath = output.filePath(QStringLiteral("bare.pdf"));

    // The first of each is not counted: it loads the fonts and the code.
    QList<double> saved, bare;
    for (int i = 0; i <= Runs; ++i) {
        const std::optional<double> s = timePreview(preview, previewPath, books);
        const std::optional<double> b = timeBare(layout.paper, barePath, books);
        if (!s || !b || dialogs.shown > 0) {
            std::fprintf(stderr, "saving %d pages failed\n", books);
            return false;
        }
        if (i == 0)
            continue;
        saved << books / *s;
        bare << books / *b;
    }
    printFigures(books, Bench::summarize(saved), Bench::summarize(bare), QFile(previewPath).size(),
                 QFile(barePath).size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const auto runtime = Bench::ensureRuntimeFolder();
    QApplication app(argc, argv);
    Bench::quietenPlatform();
    prepareApplication(app);
    for (const int books : Bench::sizes({2000}))
        if (!measure(books))
            return 1;
    return 0;
}
