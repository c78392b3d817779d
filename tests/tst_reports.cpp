// The printed reports: the layout model of DataReport1 and DataReport2, and
// the preview window over an in-memory row source (paging, zoom, failures,
// print and PDF through their seams), with the PDFs read back through
// pdftotext.
#include "testsupport.h"

#include "catalogue/reportlayout.h"
#include "catalogue/reportpreview.h"
#include "catalogue/reportrows.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>


namespace {

const QString Malformed = QStringLiteral("database disk image is malformed");

// Rows held in memory, counting what the report reads of them.
class MemoryRows : public ReportRows
{
public:
    explicit MemoryRows(QList<ReportRecord> rows) : rows(std::move(rows)) {}

    int count() override
    {
        ++counts;
        m_error = failCount ? QStringLiteral("disk I/O error") : QString();
        return failCount ? -1 : claimedCount >= 0 ? claimedCount : int(rows.size());
    }
    QVariant value(int row, const QString &field) override
    {
        ++values;
        rowsRead.insert(row);
        if (onValue)
            onValue(row);
        m_error = failRows.contains(row) ? Malformed : QString();
        return m_error.isEmpty() && !rows.isEmpty() ? rows.at(row % rows.size()).value(field) : QVariant();
    }
    QString errorText() const override { return m_error; }

    QList<ReportRecord> rows;
    int claimedCount = -1; // a count to give instead of the rows held
    bool failCount = false;
    QSet<int> failRows;
    std::function<void(int row)> onValue;
    int counts = 0;
    int values = 0;
    QSet<int> rowsRead;

private:
    QString m_error;
};

// A book with no Edition (NULL), and a loan returned or not.
ReportRecord book(int n)
{
    return {{QStringLiteral("Title"), QStringLiteral("Volume Title%1").arg(n)},
            {QStringLiteral("Cost or            (in Peso)"), QStringLiteral("450.00")},
            {QStringLiteral("Price              (in Dollar)"), QStringLiteral("9.%1").arg(n)}};
}
ReportRecord loan(int n, bool returned)
{
    return {{QStringLiteral("BookTitle"), QStringLiteral("Loaned Title%1").arg(n)},
            {QStringLiteral("DateBorrowed"), QStringLiteral("2026-11-02")},
            {QStringLiteral("Remarks"), returned ? QVariant(QStringLiteral("Returned")) : QVariant()},
            {QStringLiteral("DateReturned"), returned ? QVariant(QStringLiteral("2026-11-09")) : QVariant()}};
}

// `count` books, and a preview window that owns its `rows`.
MemoryRows *books(int count)
{
    QList<ReportRecord> rows;
    for (int n = 1; n <= count; ++n)
        rows << book(n);
    return new MemoryRows(rows);
}
// The boxes every preview of these tests speaks through; emptied before
// each test.
FakeDialogs &shownBoxes()
{
    static FakeDialogs boxes;
    return boxes;
}

std::unique_ptr<ReportPreview> preview(MemoryRows *rows, const ReportLayout &layout = ReportLayout::catalogue())
{
    return std::make_unique<ReportPreview>(layout, std::unique_ptr<ReportRows>(rows), shownBoxes());
}

// The text of each page of a PDF, laid out as printed, through pdftotext.
QStringList pdfPages(const QString &path)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    tool.waitForFinished(60000);
    QStringList pages = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The line of a PDF page that starts with `label`, its blanks squeezed.
QString lineOf(const QString &page, const QString &label)
{
    for (const QString &line : page.split(QLatin1Char('\n')))
        if (line.simplified().startsWith(label))
            return line.simplified();
    return {};
}

bool havePdfToText() { return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(); }

QPushButton *button(QWidget *preview, const char *name)
{
    return preview->findChild<QPushButton *>(QString::fromLatin1(name));
}

} // namespace

class TestReports : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init() { shownBoxes().clear(); }
    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // ----- the layout model -------------------------------------------------

    void shouldPrintOnlyStoredFieldsInBandsThatFitOnA4()
    {
        TestData data;
        insertLoan(data, QStringLiteral("A-1"));
        const double a4 = QPageSize(QPageSize::A4).size(QPageSize::Inch).height();
        for (const auto &[layout, file, table] : {std::tuple{ReportLayout::catalogue(), CatalogueFile, QStringLiteral("books")},
                                                  {ReportLayout::loans(), DeskFile, QStringLiteral("tblBorrower")}}) {
            // Every field named is a column of the table, each beside its label.
            const QVariantMap stored = data.rows(file, table).first();
            for (const QString &field : layout.fields())
                QVERIFY2(stored.contains(field), qPrintable(layout.name + ": " + field));
            QCOMPARE(layout.band(ReportBand::Detail).itemsOfKind(ReportItem::Label).size(), layout.fields().size());
            for (const ReportItem *logo : layout.band(ReportBand::ReportHeader).itemsOfKind(ReportItem::Picture))
                QVERIFY2(QFile::exists(logo->text), qPrintable(logo->text));
            for (int page = 0; page < 2; ++page) {
                double bottom = layout.margin;
                for (const PlacedBand &b : layout.placeBands(page, 2, a4)) {
                    QVERIFY2(b.top >= bottom - 1e-9, "bands overlap");
                    bottom = b.top + b.band->height;
                }
                QCOMPARE(bottom, a4 - layout.margin); // the page footer ends at the bottom margin
            }
        }
    }

    void shouldPrintLoanDatesInTheLocalesShortDate_data() { addLoanDateRows(); }

    void shouldPrintLoanDatesInTheLocalesShortDate()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, borrowed);
        QFETCH(QString, returned);
        QLocale::setDefault(locale);
        const ReportLayout loans = ReportLayout::loans();
        QCOMPARE(loans.displayText(QStringLiteral("DateBorrowed"), QStringLiteral("2026-11-02")), borrowed);
        QCOMPARE(loans.displayText(QStringLiteral("DateReturned"), QStringLiteral("2026-10-15")), returned);
        // The catalogue's "Date received" is text, printed as stored.
        QCOMPARE(ReportLayout::catalogue().displayText(QStringLiteral("Date received"), QStringLiteral("2024-01-05")),
                 "2024-01-05");
    }

    void shouldPrintOnThePaperOfTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::Philippines));
        QCOMPARE(ReportLayout::defaultPaper().id(), QPageSize::A4);
    }

    // ----- the preview: opening and paging ----------------------------------

    void shouldOpenAtOnceWithAMillionRowsAndPageWithKeysButtonsAndThePageBox()
    {
        MemoryRows *rows = books(3);
        rows->claimedCount = 1000000;
        auto window = preview(rows);
        QCOMPARE(rows->rowsRead, QSet<int>{0});
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("pageCount"))->text(), "of 1000000");
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QWidget *area = window->findChild<QScrollArea *>(QStringLiteral("pageArea"));
        QCOMPARE(QApplication::focusWidget(), area);
        for (const char *name : {"firstPage", "previousPage", "nextPage", "lastPage", "print", "savePdf", "close",
                                 "pageNumber", "zoom"})
            QVERIFY2(!window->findChild<QWidget *>(QString::fromLatin1(name))->accessibleName().isEmpty(), name);
        for (const auto &[key, modifier, page] : {std::tuple{Qt::Key_PageDown, Qt::NoModifier, 1},
                                                  {Qt::Key_End, Qt::ControlModifier, 999999},
                                                  {Qt::Key_Home, Qt::ControlModifier, 0}}) {
            QTest::keyClick(area, key, modifier);
            QCOMPARE(window->currentPage(), page);
        }
        // Enter clicks the focused button; Tab goes on through the bar in order.
        button(window.get(), "nextPage")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(window->currentPage(), 1);
        button(window.get(), "previousPage")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto *box = window->findChild<QSpinBox *>(QStringLiteral("pageNumber"));
        QCOMPARE(QApplication::focusWidget(), box);
        // A typed page is read only on Enter, which clicks no button.
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("150"));
        QVERIFY(!rows->rowsRead.contains(149) && !rows->rowsRead.contains(14));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(window->currentPage(), 149);
        button(window.get(), "lastPage")->click();
        QCOMPARE(window->currentPage(), 999999);
        QVERIFY(!button(window.get(), "nextPage")->isEnabled());
        button(window.get(), "previousPage")->click();
        // Only the pages shown were read, and the rows counted once.
        QCOMPARE(rows->rowsRead, (QSet<int>{0, 1, 149, 999998, 999999}));
        QCOMPARE(rows->counts, 1);
    }

    void shouldZoomToFixedLevelsFitWidthAndWholePage()
    {
        MemoryRows *rows = books(3);
        auto window = preview(rows);
        window->resize(950, 700);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto *area = window->findChild<QScrollArea *>(QStringLiteral("pageArea"));
        QWidget *page = area->widget();
        QVERIFY(page->width() <= area->viewport()->width());
        QVERIFY(page->width() > area->viewport()->width() - 40);
        window->setZoom(ReportPreview::WholePage);
        QVERIFY(page->height() <= area->maximumViewportSize().height());
        window->setZoom(ReportPreview::FitWidth); // follows the window
        const double narrow = window->scale();
        window->resize(1200, 700);
        QTRY_VERIFY(window->scale() > narrow);
        // The zoom box drives the same levels, and zooming reads nothing.
        auto *zoom = window->findChild<QComboBox *>(QStringLiteral("zoom"));
        zoom->setCurrentIndex(zoom->findData(150));
        emit zoom->activated(zoom->currentIndex());
        QCOMPARE(window->scale(), 1.5);
        QCOMPARE(rows->rowsRead, QSet<int>{0});
    }

    // ----- the preview: failures --------------------------------------------

    void shouldReportAFailedCountOrPageAndStayUsable()
    {
        FakeDialogs &dialogs = shownBoxes();
        MemoryRows *rows = books(5);
        rows->failCount = true;
        auto window = preview(rows);
        QTRY_COMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, "disk I/O error");
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        for (const char *name : {"firstPage", "previousPage", "nextPage", "lastPage", "print", "savePdf"})
            QVERIFY2(!button(window.get(), name)->isEnabled(), name);
        QVERIFY(button(window.get(), "close")->isEnabled());
        QVERIFY(!window->savePdf(QStringLiteral("never.pdf")));
        QCOMPARE(dialogs.boxes.size(), 1);

        // A page that cannot be read is reported once, and paging goes on.
        dialogs.clear();
        rows = books(10);
        rows->failRows = {0, 3};
        window = preview(rows);
        QVERIFY(dialogs.boxes.isEmpty()); // the first page is reported from the event loop, not while opening
        QTRY_COMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, Malformed);
        QVERIFY(window->currentPageFailed());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->setCurrentPage(3);
        QCOMPARE(dialogs.boxes.size(), 2);
        // Repainting the failed page neither reads nor reports again.
        const int reads = rows->values;
        window->repaint();
        QCoreApplication::processEvents();
        QCOMPARE(rows->values, reads);
        button(window.get(), "nextPage")->click();
        QVERIFY(!window->currentPageFailed());
        QCOMPARE(dialogs.boxes.size(), 2);
        // The page is tried again when the user comes back to it.
        rows->failRows.clear();
        button(window.get(), "previousPage")->click();
        QVERIFY(!window->currentPageFailed());
    }

    // ----- the preview: PDF and printing ------------------------------------

    void shouldSaveARealPdfOnePagePerRowOneForNoneAndPrintThePagesAsked()
    {
        if (!havePdfToText())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("catalogue.pdf"));
        QVERIFY(preview(books(3))->savePdf(path));
        QStringList pages = pdfPages(path);
        QCOMPARE(pages.size(), 3);
        QVERIFY(pages.at(0).contains(QStringLiteral("Corvantis")));
        QVERIFY(!pages.at(1).contains(QStringLiteral("Corvantis")));
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(pages.at(i).contains(QStringLiteral("Book Details")), qPrintable(pages.at(i)));
            QCOMPARE(lineOf(pages.at(i), QStringLiteral("Price")), QStringLiteral("Price 9.%1").arg(i + 1)); // its own book
            QCOMPARE(lineOf(pages.at(i), QStringLiteral("Cost")), "Cost 450.00");
            QCOMPARE(lineOf(pages.at(i), QStringLiteral("Edition")), "Edition"); // NULL prints nothing
        }
        // An empty table prints one page of headers, and says so on the bar.
        FakeDialogs &dialogs = shownBoxes();
        auto empty = preview(new MemoryRows(QList<ReportRecord>{}), ReportLayout::loans());
        QCOMPARE(empty->findChild<QLabel *>(QStringLiteral("pageCount"))->text(), "of 1 (no records)");
        QVERIFY(empty->savePdf(path));
        QCOMPARE(pdfPages(path).size(), 1);
        QVERIFY(!pdfPages(path).first().contains(QStringLiteral("Accession Number")));
        QCoreApplication::processEvents();
        QVERIFY(dialogs.boxes.isEmpty());

        // Printed, the pages the dialog names, with empty values for an unreturned loan.
        const QString printed = dir.filePath(QStringLiteral("printed.pdf"));
        auto *rows = new MemoryRows(QList<ReportRecord>{loan(1, true), loan(2, false), loan(3, true), loan(4, false)});
        auto window = preview(rows, ReportLayout::loans());
        QString docName;
        QPageSize::PageSizeId paper = QPageSize::A0;
        auto printTo = [&](QPrinter::PrintRange range, bool accepted = true) {
            window->setPrinterChooser([&, range, accepted](QPrinter &printer) {
                docName = printer.docName();
                paper = printer.pageLayout().pageSize().id();
                printer.setOutputFormat(QPrinter::PdfFormat);
                printer.setOutputFileName(printed);
                printer.setPrintRange(range);
                printer.setFromTo(2, 3);
                return accepted;
            });
            button(window.get(), "print")->click();
            return pdfPages(printed);
        };
        // A cancelled dialog, handed the report's name and paper, prints nothing.
        rows->rowsRead.clear();
        QVERIFY(printTo(QPrinter::AllPages, false).isEmpty());
        QVERIFY(rows->rowsRead.isEmpty());
        QCOMPARE(docName, "DataReport2");
        QCOMPARE(paper, QPageSize::Letter);
        pages = printTo(QPrinter::PageRange);
        QCOMPARE(rows->rowsRead, (QSet<int>{1, 2}));
        QCOMPARE(pages.size(), 2);
        QCOMPARE(lineOf(pages.at(0), QStringLiteral("Date Borrowed")), "Date Borrowed 11/2/2026");
        QCOMPARE(lineOf(pages.at(0), QStringLiteral("Remarks")), "Remarks");
        QCOMPARE(lineOf(pages.at(0), QStringLiteral("Date Returned")), "Date Returned");
        QCOMPARE(lineOf(pages.at(1), QStringLiteral("Remarks")), "Remarks Returned");
        // The current page alone.
        window->setCurrentPage(3);
        pages = printTo(QPrinter::CurrentPage);
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages.first().contains(QStringLiteral("Loaned Title4")));
    }

    void shouldSaveWhereTheFileDialogSaysAndLeaveNoFileWhenCancelledOrFailing()
    {
        FakeDialogs &dialogs = shownBoxes();
        QTemporaryDir dir;
        MemoryRows *rows = books(300);
        auto window = preview(rows);
        const QString path = dir.filePath(QStringLiteral("report.pdf"));
        bool seen = false;
        rows->onValue = [&](int row) { // the user clicks Cancel while page 6 is read
            auto *progress = window->findChild<QProgressDialog *>(QStringLiteral("progress"));
            if (row == 5 && progress && !seen) {
                seen = true;
                progress->cancel();
            }
        };
        rows->rowsRead.clear();
        QVERIFY(!window->savePdf(path));
        QVERIFY(seen);
        QVERIFY(rows->rowsRead.size() < 10);
        QVERIFY(!QFile::exists(path));
        QVERIFY(dialogs.boxes.isEmpty());
        // A row that cannot be read stops the saving, said once.
        rows->failRows = {1};
        rows->rowsRead.clear();
        QVERIFY(!window->savePdf(path));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(!rows->rowsRead.contains(2));
        // Still usable: it saves where the file dialog says.
        rows->failRows.clear();
        const QStringList answers{QString(), QStringLiteral("/nonexistent-folder/report.pdf"), path};
        int asked = 0;
        window->setPdfFileChooser([&] { return answers.at(asked++); });
        button(window.get(), "savePdf")->click(); // cancelled: nothing said, nothing written
        QCOMPARE(dialogs.boxes.size(), 1);
        button(window.get(), "savePdf")->click(); // a folder that is not there
        QCOMPARE(dialogs.boxes.size(), 2);
        QVERIFY(dialogs.boxes.last().text.contains(answers.at(1)));
        button(window.get(), "savePdf")->click();
        QVERIFY(QFile(path).size() > 0);
    }

    // The catalogue opens modeless (see tst_books), the loans modally (see tst_loans).
    void shouldShowTheCatalogueFreshEachTimeAndCloseOnEscape()
    {
        QPointer<ReportPreview> one = showCatalogueReport(std::unique_ptr<ReportRows>(books(2)), shownBoxes(), nullptr);
        QVERIFY(one && one->isVisible());
        QCOMPARE(one->windowTitle(), "DataReport1");
        MemoryRows *rows = books(3);
        QPointer<ReportPreview> two = showCatalogueReport(std::unique_ptr<ReportRows>(rows), shownBoxes(), nullptr);
        QCOMPARE(rows->counts, 1);
        QTRY_VERIFY(!one);
        QVERIFY(QTest::qWaitForWindowActive(two));
        QTest::keyClick(two, Qt::Key_Escape);
        QTRY_VERIFY(!two);
    }
};

QTEST_MAIN(TestReports)
#include "tst_reports.moc"
