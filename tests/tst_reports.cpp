// The printed reports: the layout model of DataReport1 and DataReport2, the
// painter, and the preview window over an in-memory row source (paging,
// zoom, failures, print and PDF through their seams), with one real PDF
// read back through pdftotext.
#include "testsupport.h"

#include "catalogue/reportlayout.h"
#include "catalogue/reportpainter.h"
#include "catalogue/reportpreview.h"
#include "catalogue/reportrows.h"
#include "store/schema.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPaintEngine>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QSet>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

const QString Cost = QStringLiteral("Cost or            (in Peso)");
const QString Price = QStringLiteral("Price              (in Dollar)");

// Rows held in memory, counting what the report reads of them.
class MemoryRows : public ReportRows
{
public:
    explicit MemoryRows(QList<ReportRecord> rows) : rows(std::move(rows)) {}

    int count() override
    {
        ++counts;
        if (failCount) {
            m_error = QStringLiteral("disk I/O error");
            return -1;
        }
        m_error.clear();
        return claimedCount >= 0 ? claimedCount : int(rows.size());
    }

    QVariant value(int row, const QString &field) override
    {
        ++values;
        rowsRead.insert(row);
        if (onValue)
            onValue(row);
        if (failRows.contains(row)) {
            m_error = QStringLiteral("database disk image is malformed");
            return {};
        }
        m_error.clear();
        return rows.isEmpty() ? QVariant() : rows.at(row % rows.size()).value(field);
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

ReportRecord book(int n)
{
    ReportRecord r;
    r.insert(QStringLiteral("BookNumber"), QStringLiteral("BN-%1").arg(n));
    r.insert(QStringLiteral("Date received"), QStringLiteral("2024-01-05"));
    r.insert(QStringLiteral("Classification"), QStringLiteral("PZ7.%1").arg(n));
    r.insert(QStringLiteral("Author"), QStringLiteral("Author Number%1").arg(n));
    r.insert(QStringLiteral("Title"), QStringLiteral("Volume Title%1").arg(n));
    r.insert(QStringLiteral("Vol"), QStringLiteral("1"));
    r.insert(QStringLiteral("Pages"), QStringLiteral("320"));
    r.insert(QStringLiteral("Source of Fund"), QStringLiteral("Donation"));
    r.insert(Cost, QStringLiteral("450.00"));
    r.insert(Price, QStringLiteral("9.%1").arg(n));
    r.insert(QStringLiteral("Publisher"), QStringLiteral("Rex Bookstore"));
    r.insert(QStringLiteral("Year"), QStringLiteral("1999"));
    r.insert(QStringLiteral("ISBN"), QStringLiteral("971-23-%1").arg(n));
    return r; // no Edition, no Remarks: NULL
}

ReportRecord loan(int n, bool returned)
{
    ReportRecord r;
    r.insert(QStringLiteral("AccessionNumber"), QStringLiteral("A-%1").arg(n));
    r.insert(QStringLiteral("BookNumber"), QStringLiteral("BN-%1").arg(n));
    r.insert(QStringLiteral("BookTitle"), QStringLiteral("Loaned Title%1").arg(n));
    r.insert(QStringLiteral("Category"), QStringLiteral("FICTION"));
    r.insert(QStringLiteral("Borrower"), QStringLiteral("Maria Santos"));
    r.insert(QStringLiteral("DateBorrowed"), QStringLiteral("2026-11-02"));
    if (returned) {
        r.insert(QStringLiteral("Remarks"), QStringLiteral("Returned"));
        r.insert(QStringLiteral("DateReturned"), QStringLiteral("2026-11-09"));
    } else {
        r.insert(QStringLiteral("Remarks"), QVariant());
        r.insert(QStringLiteral("DateReturned"), QVariant());
    }
    return r;
}

std::unique_ptr<MemoryRows> books(int count)
{
    QList<ReportRecord> rows;
    for (int n = 1; n <= count; ++n)
        rows << book(n);
    return std::make_unique<MemoryRows>(rows);
}

// A preview of `count` books; `source` is left pointing at its rows.
std::unique_ptr<ReportPreview> cataloguePreview(int count, MemoryRows *&source)
{
    auto rows = books(count);
    source = rows.get();
    return std::make_unique<ReportPreview>(ReportLayout::catalogue(), std::move(rows));
}

// A paint device that keeps the texts drawn on it and where they start,
// at 100 units to the inch.
class TextRecorder : public QPaintDevice
{
public:
    struct Text {
        QString text;
        QPointF at;
    };

    QPaintEngine *paintEngine() const override { return &m_engine; }

    QStringList strings() const
    {
        QStringList all;
        for (const Text &t : texts)
            all << t.text;
        return all;
    }
    // The text starting near `x` inches from the paper's left edge whose
    // baseline lies between `top` and `bottom` inches.
    QString textAt(double x, double top, double bottom) const
    {
        for (const Text &t : texts)
            if (qAbs(t.at.x() - x * 100) < 1 && t.at.y() > top * 100 && t.at.y() < bottom * 100)
                return t.text;
        return {};
    }

    QList<Text> texts;

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return 850;
        case PdmHeight: return 1100;
        case PdmWidthMM: return 216;
        case PdmHeightMM: return 279;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return 100;
        case PdmDepth: return 32;
        case PdmNumColors: return INT_MAX;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        default: return 0;
        }
    }

private:
    class Engine : public QPaintEngine
    {
    public:
        explicit Engine(TextRecorder *owner) : QPaintEngine(AllFeatures), m_owner(owner) {}
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &) override {}
        // Shapes are drawn nowhere (the defaults of some call each other).
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
        void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
        void drawPath(const QPainterPath &) override {}
        void drawLines(const QLineF *, int) override {}
        void drawRects(const QRectF *, int) override {}
        void drawTextItem(const QPointF &at, const QTextItem &item) override { m_owner->texts.append({item.text(), at}); }
        Type type() const override { return User; }

    private:
        TextRecorder *m_owner;
    };

    mutable Engine m_engine{this};
};

// Paints one page of `layout` on letter paper at 100 units to the inch.
void paintOnRecorder(TextRecorder &device, const ReportLayout &layout, int page, int rows, const ReportRecord &record)
{
    QPainter painter(&device);
    ReportPainter(layout).paintPage(painter, PageFrame{QPointF(0, 0), 100, QSizeF(8.5, 11)}, page, rows, record);
}

// The text of each page of a PDF, through pdftotext.
QStringList pdfPages(const QString &path)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

bool havePdfToText()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

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
    void cleanup() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // ----- the layout model -------------------------------------------------

    void shouldLabelEveryFieldOfBothReportsInOrder()
    {
        const ReportLayout catalogue = ReportLayout::catalogue();
        QCOMPARE(catalogue.name, QStringLiteral("DataReport1"));
        const ReportBand &header = catalogue.band(ReportBand::ReportHeader);
        QVERIFY(header.label(QStringLiteral("Corvantis")));
        QVERIFY(header.label(QStringLiteral("Tallymere 1.0")));
        QVERIFY(QFile::exists(header.itemsOfKind(ReportItem::Picture).first()->text));
        QVERIFY(catalogue.band(ReportBand::PageHeader).label(QStringLiteral("Book Details")));
        const QStringList catalogueLabels{"Book Number", "Date Recieved", "Classification", "Author", "Title",
                                          "Edition", "Volume", "Pages", "Source of Fund", "Cost", "Price",
                                          "Publisher", "Year", "Remarks", "ISBN"};
        const QStringList catalogueFields{"BookNumber", "Date received", "Classification", "Author", "Title",
                                          "Edition", "Vol", "Pages", "Source of Fund", Cost, Price,
                                          "Publisher", "Year", "Remarks", "ISBN"};
        const ReportLayout loans = ReportLayout::loans();
        QCOMPARE(loans.name, QStringLiteral("DataReport2"));
        const QStringList loanLabels{"Accession Number", "Book Number", "Book Title", "Category",
                                     "Borrower", "Date Borrowed", "Remarks", "Date Returned"};
        const QStringList loanFields{"AccessionNumber", "BookNumber", "BookTitle", "Category",
                                     "Borrower", "DateBorrowed", "Remarks", "DateReturned"};
        for (const auto &[layout, labels, fields] :
             {std::tuple{&catalogue, catalogueLabels, catalogueFields}, std::tuple{&loans, loanLabels, loanFields}}) {
            const ReportBand &detail = layout->band(ReportBand::Detail);
            const auto labelItems = detail.itemsOfKind(ReportItem::Label);
            const auto fieldItems = detail.itemsOfKind(ReportItem::Field);
            QCOMPARE(labelItems.size(), labels.size());
            QCOMPARE(fieldItems.size(), fields.size());
            for (qsizetype i = 0; i < labels.size(); ++i) {
                QCOMPARE(labelItems.at(i)->text, labels.at(i));
                QCOMPARE(fieldItems.at(i)->field, fields.at(i));
                // Each label stands level with its value, left of it, inside the band.
                QCOMPARE(labelItems.at(i)->rect.top(), fieldItems.at(i)->rect.top());
                QVERIFY(labelItems.at(i)->rect.right() <= fieldItems.at(i)->rect.left());
                QVERIFY(fieldItems.at(i)->rect.bottom() <= detail.height);
                if (i > 0)
                    QVERIFY(labelItems.at(i)->rect.top() > labelItems.at(i - 1)->rect.top());
            }
        }
        // The loan table is ruled between each two of its eight rows.
        int across = 0;
        for (const ReportItem *rule : loans.band(ReportBand::Detail).itemsOfKind(ReportItem::Rule))
            across += rule->rect.width() > 0;
        QCOMPARE(across, 7);
    }

    void shouldPutOneRowOnEachPage_data()
    {
        QTest::addColumn<bool>("catalogue");
        QTest::addColumn<double>("paperHeight");
        QTest::newRow("catalogue on letter") << true << 11.0;
        QTest::newRow("catalogue on A4") << true << QPageSize(QPageSize::A4).size(QPageSize::Inch).height();
        QTest::newRow("loans on letter") << false << 11.0;
        QTest::newRow("loans on A4") << false << QPageSize(QPageSize::A4).size(QPageSize::Inch).height();
    }

    void shouldPutOneRowOnEachPage()
    {
        QFETCH(bool, catalogue);
        QFETCH(double, paperHeight);
        const ReportLayout layout = catalogue ? ReportLayout::catalogue() : ReportLayout::loans();
        const int rows = 3;
        QCOMPARE(ReportLayout::pageCount(rows), 3);
        for (int page = 0; page < rows; ++page) {
            const QList<PlacedBand> bands = layout.placeBands(page, rows, paperHeight);
            QList<ReportBand::Kind> kinds;
            double bottom = layout.margin;
            for (const PlacedBand &b : bands) {
                kinds << b.band->kind;
                QVERIFY2(b.top >= bottom - 1e-9, "bands overlap");
                bottom = b.top + b.band->height;
            }
            QCOMPARE(bands.first().top, layout.margin);
            QCOMPARE(bands.last().band->kind, ReportBand::PageFooter);
            QCOMPARE(bottom, paperHeight - layout.margin);
            QCOMPARE(kinds.count(ReportBand::Detail), 1);
            QCOMPARE(kinds.contains(ReportBand::ReportHeader), page == 0);
            QCOMPARE(kinds.first(), page == 0 ? ReportBand::ReportHeader : ReportBand::PageHeader);
            if (page < rows - 1)
                QVERIFY(!kinds.contains(ReportBand::ReportFooter));
        }
    }

    void shouldGiveAnEmptyTableOneHeaderPage()
    {
        const ReportLayout layout = ReportLayout::catalogue();
        QCOMPARE(ReportLayout::pageCount(0), 1);
        QList<ReportBand::Kind> kinds;
        for (const PlacedBand &b : layout.placeBands(0, 0, 11))
            kinds << b.band->kind;
        QCOMPARE(kinds, (QList<ReportBand::Kind>{ReportBand::ReportHeader, ReportBand::PageHeader,
                                                 ReportBand::ReportFooter, ReportBand::PageFooter}));
    }

    void shouldShowStoredDatesAsShortDatesAndNullsAsNothing()
    {
        const ReportLayout loans = ReportLayout::loans();
        QCOMPARE(loans.displayText(QStringLiteral("DateBorrowed"), QStringLiteral("2026-11-02")),
                 QStringLiteral("11/2/2026"));
        QCOMPARE(loans.displayText(QStringLiteral("DateReturned"), QVariant()), QString());
        QCOMPARE(loans.displayText(QStringLiteral("Remarks"), QVariant()), QString());
        QCOMPARE(loans.displayText(QStringLiteral("BookTitle"), QStringLiteral("2026-11-02")),
                 QStringLiteral("2026-11-02"));
        // The catalogue's "Date received" is text, printed as stored.
        QCOMPARE(ReportLayout::catalogue().displayText(QStringLiteral("Date received"), QStringLiteral("2024-01-05")),
                 QStringLiteral("2024-01-05"));

        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(loans.displayText(QStringLiteral("DateReturned"), QStringLiteral("2026-11-09")),
                 QStringLiteral("11.9.2026"));
    }

    void shouldChooseLetterOrA4ByTheLocale()
    {
        QCOMPARE(ReportLayout::defaultPaper().id(), QPageSize::Letter);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::Philippines));
        QCOMPARE(ReportLayout::defaultPaper().id(), QPageSize::A4);
    }

    // ----- the painter ------------------------------------------------------

    void shouldPrintAnUnreturnedLoanWithEmptyValues()
    {
        // GIVEN a loan not yet returned, on the first page of the loan report
        TextRecorder device;
        // WHEN it is painted
        paintOnRecorder(device, ReportLayout::loans(), 0, 2, loan(1, false));
        // THEN every label prints, the borrowed date prints short, and
        // nothing stands in the "Remarks" and "Date Returned" value boxes
        const QStringList texts = device.strings();
        for (const char *label : {"Corvantis", "Tallymere 1.0", "Accession Number", "Remarks", "Date Returned"})
            QVERIFY2(texts.contains(QString::fromLatin1(label)), label);
        QVERIFY(texts.contains(QStringLiteral("11/2/2026")));
        QVERIFY(!texts.contains(QStringLiteral("2026-11-02")));
        // Detail band at 1.0 + 1.1; value boxes at 1.0 + 2.3 from the left.
        const double detail = 2.1;
        auto valueOfRow = [&](int row) {
            const double top = detail + 0.3 + 0.3 * row;
            return device.textAt(3.3, top, top + 0.3);
        };
        QCOMPARE(valueOfRow(0), QStringLiteral("A-1"));
        QCOMPARE(valueOfRow(5), QStringLiteral("11/2/2026"));
        QCOMPARE(valueOfRow(6), QString());
        QCOMPARE(valueOfRow(7), QString());
        QCOMPARE(device.textAt(1.4, detail + 2.4, detail + 2.7), QStringLiteral("Date Returned"));

        // A returned loan on page 2: no report header, so the detail band
        // stands right at the margin, with both dates short.
        TextRecorder second;
        paintOnRecorder(second, ReportLayout::loans(), 1, 2, loan(2, true));
        QVERIFY(!second.strings().contains(QStringLiteral("Corvantis")));
        QCOMPARE(second.textAt(3.3, 1.0 + 2.1, 1.0 + 2.4), QStringLiteral("Returned"));
        QCOMPARE(second.textAt(3.3, 1.0 + 2.4, 1.0 + 2.7), QStringLiteral("11/9/2026"));
    }

    void shouldPrintTheBookDetailsBelowTheHeaders()
    {
        TextRecorder device;
        paintOnRecorder(device, ReportLayout::catalogue(), 0, 3, book(1));
        const QStringList texts = device.strings();
        QVERIFY(texts.contains(QStringLiteral("Corvantis")));
        QVERIFY(texts.contains(QStringLiteral("Book Details")));
        // Page 1: report header 1.2 and page header 1.04 above the detail.
        const double detail = 1.0 + 1.2 + 1.04;
        const double costRow = detail + 0.7 + 0.3 * 9;
        QCOMPARE(device.textAt(1.3, costRow, costRow + 0.25), QStringLiteral("Cost"));
        QCOMPARE(device.textAt(2.7, costRow, costRow + 0.25), QStringLiteral("450.00"));
        const double editionRow = detail + 0.7 + 0.3 * 5;
        QCOMPARE(device.textAt(2.7, editionRow, editionRow + 0.25), QString());
    }

    // ----- the preview: opening and paging ----------------------------------

    void shouldOpenAtOnceWithAMillionRows()
    {
        // GIVEN a million books (copies of three)
        auto source = books(3);
        source->claimedCount = 1000000;
        MemoryRows *rows = source.get();
        // WHEN the preview opens
        ReportPreview preview(ReportLayout::catalogue(), std::move(source));
        // THEN it has counted once and read the first page's row alone
        QCOMPARE(preview.windowTitle(), QStringLiteral("DataReport1"));
        QCOMPARE(rows->counts, 1);
        QCOMPARE(preview.pageCount(), 1000000);
        QCOMPARE(rows->rowsRead, QSet<int>{0});
        QCOMPARE(rows->values, 15);
        QCOMPARE(preview.findChild<QLabel *>(QStringLiteral("pageCount"))->text(), QStringLiteral("of 1000000"));
        QVERIFY(!button(&preview, "firstPage")->isEnabled());
        QVERIFY(!button(&preview, "previousPage")->isEnabled());
        // AND its last page is one row away
        button(&preview, "lastPage")->click();
        QCOMPARE(preview.currentPage(), 999999);
        QCOMPARE(preview.findChild<QSpinBox *>(QStringLiteral("pageNumber"))->value(), 1000000);
        QCOMPARE(rows->rowsRead, (QSet<int>{0, 999999}));
        QCOMPARE(rows->counts, 1);
    }

    void shouldReadOnlyThePagesItShows()
    {
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(300, rows);
        button(preview.get(), "nextPage")->click();
        QCOMPARE(preview->currentPage(), 1);
        button(preview.get(), "lastPage")->click();
        QCOMPARE(preview->currentPage(), 299);
        QVERIFY(!button(preview.get(), "nextPage")->isEnabled());
        QVERIFY(!button(preview.get(), "lastPage")->isEnabled());
        button(preview.get(), "previousPage")->click();
        QCOMPARE(preview->currentPage(), 298);
        QCOMPARE(rows->rowsRead, (QSet<int>{0, 1, 298, 299}));

        // Going back to a page seen a moment ago reads nothing again.
        const int before = rows->values;
        button(preview.get(), "firstPage")->click();
        QCOMPARE(preview->currentPage(), 0);
        QCOMPARE(rows->values, before);
    }

    void shouldGoToThePageTypedInThePageBox()
    {
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(300, rows);
        preview->show();
        preview->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(preview.get()));
        auto *box = preview->findChild<QSpinBox *>(QStringLiteral("pageNumber"));
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("150"));
        // Nothing is read while typing.
        QCOMPARE(rows->rowsRead, QSet<int>{0});
        QTest::keyClick(box, Qt::Key_Return);
        // The page typed, and no button clicked by the Enter.
        QCOMPARE(preview->currentPage(), 149);
        QCOMPARE(rows->rowsRead, (QSet<int>{0, 149}));

        // A number beyond the last page cannot be typed.
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("999"));
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(preview->currentPage() <= 299);
        preview->setCurrentPage(5000);
        QCOMPARE(preview->currentPage(), 299);
        QCOMPARE(box->value(), 300);
    }

    void shouldPageWithTheKeyboard()
    {
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(300, rows);
        preview->show();
        preview->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(preview.get()));
        QWidget *area = preview->findChild<QScrollArea *>(QStringLiteral("pageArea"));
        QCOMPARE(QApplication::focusWidget(), area);
        QTest::keyClick(area, Qt::Key_PageDown);
        QCOMPARE(preview->currentPage(), 1);
        QTest::keyClick(area, Qt::Key_PageUp);
        QCOMPARE(preview->currentPage(), 0);
        QTest::keyClick(area, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(preview->currentPage(), 299);
        QTest::keyClick(area, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(preview->currentPage(), 0);

        // Space and Enter click the focused button.
        QPushButton *next = button(preview.get(), "nextPage");
        next->setFocus();
        QTest::keyClick(next, Qt::Key_Space);
        QCOMPARE(preview->currentPage(), 1);
        QTest::keyClick(next, Qt::Key_Return);
        QCOMPARE(preview->currentPage(), 2);

        // Tab goes from the first button through the bar in order.
        QPushButton *previous = button(preview.get(), "previousPage");
        previous->setFocus();
        QTest::keyClick(previous, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), preview->findChild<QSpinBox *>(QStringLiteral("pageNumber")));
    }

    void shouldNameEveryControl()
    {
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(3, rows);
        const QStringList buttons{"firstPage", "previousPage", "nextPage", "lastPage", "print", "savePdf", "close"};
        for (const QString &name : buttons) {
            QPushButton *b = preview->findChild<QPushButton *>(name);
            QVERIFY2(b, qPrintable(name));
            QVERIFY2(!b->accessibleName().isEmpty(), qPrintable(name));
            QVERIFY2(b->focusPolicy() & Qt::TabFocus, qPrintable(name));
        }
        QVERIFY(!preview->findChild<QSpinBox *>(QStringLiteral("pageNumber"))->accessibleName().isEmpty());
        QVERIFY(!preview->findChild<QComboBox *>(QStringLiteral("zoom"))->accessibleName().isEmpty());
    }

    void shouldZoomToFixedLevelsFitWidthAndWholePage()
    {
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(3, rows);
        preview->resize(950, 700);
        preview->show();
        QVERIFY(QTest::qWaitForWindowExposed(preview.get()));
        auto *area = preview->findChild<QScrollArea *>(QStringLiteral("pageArea"));
        QWidget *page = area->widget();

        QCOMPARE(preview->zoom(), int(ReportPreview::FitWidth));
        QVERIFY(page->width() <= area->viewport()->width());
        QVERIFY(page->width() > area->viewport()->width() - 40);

        preview->setZoom(100);
        QCOMPARE(preview->scale(), 1.0);
        const int real = page->width();
        preview->setZoom(200);
        QVERIFY(qAbs(page->width() - (2 * real - 32)) <= 2); // the grey gap does not grow
        preview->setZoom(50);
        QCOMPARE(preview->scale(), 0.5);

        preview->setZoom(ReportPreview::WholePage);
        QVERIFY(page->height() <= area->maximumViewportSize().height());
        QVERIFY(page->width() <= area->maximumViewportSize().width());

        // Fit width follows the window.
        preview->setZoom(ReportPreview::FitWidth);
        const double narrow = preview->scale();
        preview->resize(1200, 700);
        QTRY_VERIFY(preview->scale() > narrow);

        // The zoom box drives the same levels.
        auto *zoom = preview->findChild<QComboBox *>(QStringLiteral("zoom"));
        zoom->setFocus();
        const int at = zoom->findData(150);
        QVERIFY(at >= 0);
        zoom->setCurrentIndex(at);
        emit zoom->activated(at);
        QCOMPARE(preview->scale(), 1.5);
        // Reads nothing: zooming repaints the page already read.
        QCOMPARE(rows->rowsRead, QSet<int>{0});
    }

    void shouldShowOneHeaderPageForAnEmptyTable()
    {
        FakeDialogs dialogs;
        auto source = std::make_unique<MemoryRows>(QList<ReportRecord>{});
        MemoryRows *rows = source.get();
        ReportPreview preview(ReportLayout::loans(), std::move(source));
        QCOMPARE(preview.windowTitle(), QStringLiteral("DataReport2"));
        QCOMPARE(preview.pageCount(), 1);
        QCOMPARE(preview.findChild<QLabel *>(QStringLiteral("pageCount"))->text(),
                 QStringLiteral("of 1 (no records)"));
        QCOMPARE(rows->values, 0);
        QVERIFY(button(&preview, "print")->isEnabled());
        QVERIFY(!button(&preview, "nextPage")->isEnabled());
        QCoreApplication::processEvents();
        QVERIFY(dialogs.boxes.isEmpty());

        TextRecorder device;
        QPainter painter(&device);
        preview.paintCurrentPage(painter, QPointF(0, 0), 100);
        painter.end();
        QVERIFY(device.strings().contains(QStringLiteral("Corvantis")));
        QVERIFY(!device.strings().contains(QStringLiteral("Accession Number")));
    }

    // ----- the preview: failures --------------------------------------------

    void shouldReportAFailedCountAndStayUsable()
    {
        FakeDialogs dialogs;
        auto source = books(5);
        source->failCount = true;
        MemoryRows *rows = source.get();
        ReportPreview preview(ReportLayout::catalogue(), std::move(source));
        QTRY_COMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, QStringLiteral("disk I/O error"));
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QCOMPARE(preview.rowCount(), -1);
        QCOMPARE(preview.pageCount(), 0);
        QCOMPARE(rows->values, 0);
        for (const char *name : {"firstPage", "previousPage", "nextPage", "lastPage", "print", "savePdf"})
            QVERIFY2(!button(&preview, name)->isEnabled(), name);
        QVERIFY(button(&preview, "close")->isEnabled());
        preview.nextPage();
        QVERIFY(!preview.savePdf(QDir::temp().filePath(QStringLiteral("never.pdf"))));
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        button(&preview, "close")->click();
        QVERIFY(!preview.isVisible());
        QCOMPARE(dialogs.boxes.size(), 1);
    }

    void shouldReportAFailedPageOnceAndKeepPaging()
    {
        FakeDialogs dialogs;
        auto source = books(10);
        source->failRows = {3};
        MemoryRows *rows = source.get();
        ReportPreview preview(ReportLayout::catalogue(), std::move(source));
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        preview.setCurrentPage(3);
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, QStringLiteral("database disk image is malformed"));
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QVERIFY(preview.currentPageFailed());
        // Repainting the failed page neither reads nor reports again.
        const int reads = rows->values;
        preview.repaint();
        QCoreApplication::processEvents();
        QCOMPARE(rows->values, reads);
        QCOMPARE(dialogs.boxes.size(), 1);

        button(&preview, "nextPage")->click();
        QCOMPARE(preview.currentPage(), 4);
        QVERIFY(!preview.currentPageFailed());
        QCOMPARE(dialogs.boxes.size(), 1);
        // The page is tried again when the user comes back to it.
        rows->failRows.clear();
        button(&preview, "previousPage")->click();
        QCOMPARE(preview.currentPage(), 3);
        QVERIFY(!preview.currentPageFailed());
    }

    void shouldReportAFailureOnTheFirstPageAfterOpening()
    {
        FakeDialogs dialogs;
        auto source = books(4);
        source->failRows = {0};
        ReportPreview preview(ReportLayout::catalogue(), std::move(source));
        // Reported from the event loop, not from inside the constructor.
        QVERIFY(dialogs.boxes.isEmpty());
        QTRY_COMPARE(dialogs.boxes.size(), 1);
        QVERIFY(preview.currentPageFailed());
        QCOMPARE(preview.pageCount(), 4);
    }

    // ----- the preview: PDF and printing ------------------------------------

    void shouldSaveARealPdfOnePagePerBook()
    {
        if (!havePdfToText())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QTemporaryDir dir;
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(3, rows);
        const QString path = dir.filePath(QStringLiteral("catalogue.pdf"));
        QVERIFY(preview->savePdf(path));
        const QStringList pages = pdfPages(path);
        QCOMPARE(pages.size(), 3);
        QVERIFY(pages.at(0).contains(QStringLiteral("Corvantis")));
        QVERIFY(pages.at(0).contains(QStringLiteral("Tallymere 1.0")));
        for (int i = 0; i < 3; ++i) {
            const QString &page = pages.at(i);
            QVERIFY2(page.contains(QStringLiteral("Book Details")), qPrintable(page));
            QVERIFY2(page.contains(QStringLiteral("Date Recieved")), qPrintable(page));
            QVERIFY2(page.contains(QStringLiteral("Volume Title%1").arg(i + 1)), qPrintable(page));
            QVERIFY2(page.contains(QStringLiteral("9.%1").arg(i + 1)), qPrintable(page)); // the price
            for (int other = 1; other <= 3; ++other)
                if (other != i + 1)
                    QVERIFY(!page.contains(QStringLiteral("Volume Title%1").arg(other)));
        }
        QVERIFY(!pages.at(1).contains(QStringLiteral("Corvantis")));
    }

    void shouldSaveThroughTheFileSeam()
    {
        QTemporaryDir dir;
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(2, rows);
        const QString path = dir.filePath(QStringLiteral("chosen.pdf"));
        int asked = 0;
        preview->setPdfFileChooser([&] { ++asked; return asked == 1 ? QString() : path; });
        button(preview.get(), "savePdf")->click(); // cancelled
        QCOMPARE(asked, 1);
        QVERIFY(!QFile::exists(path));
        button(preview.get(), "savePdf")->click();
        QCOMPARE(asked, 2);
        QVERIFY(QFile::exists(path));
        QVERIFY(QFile(path).size() > 0);
    }

    void shouldPrintThePagesTheDialogNames()
    {
        if (!havePdfToText())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QTemporaryDir dir;
        auto source = std::make_unique<MemoryRows>(QList<ReportRecord>{loan(1, true), loan(2, false), loan(3, true),
                                                                       loan(4, false)});
        MemoryRows *rows = source.get();
        ReportPreview preview(ReportLayout::loans(), std::move(source));
        const QString path = dir.filePath(QStringLiteral("printed.pdf"));
        int asked = 0;
        preview.setPrinterChooser([&](QPrinter &printer) {
            ++asked;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path);
            printer.setPrintRange(QPrinter::PageRange);
            printer.setFromTo(2, 3);
            return true;
        });
        rows->rowsRead.clear();
        button(&preview, "print")->click();
        QCOMPARE(asked, 1);
        QCOMPARE(rows->rowsRead, (QSet<int>{1, 2}));
        const QStringList pages = pdfPages(path);
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages.at(0).contains(QStringLiteral("Loaned Title2")));
        QVERIFY(pages.at(1).contains(QStringLiteral("Loaned Title3")));
        QVERIFY(pages.at(1).contains(QStringLiteral("11/9/2026")));

        // The current page alone.
        preview.setCurrentPage(3);
        preview.setPrinterChooser([&](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path);
            printer.setPrintRange(QPrinter::CurrentPage);
            return true;
        });
        preview.printReport();
        QCOMPARE(pdfPages(path).size(), 1);
        QVERIFY(pdfPages(path).first().contains(QStringLiteral("Loaned Title4")));
    }

    void shouldPrintNothingWhenThePrintDialogIsCancelled()
    {
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(3, rows);
        int asked = 0;
        preview->setPrinterChooser([&](QPrinter &printer) {
            ++asked;
            // What the preview hands the dialog.
            [&] {
                QCOMPARE(printer.docName(), QStringLiteral("DataReport1"));
                QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::Letter);
            }();
            return false;
        });
        rows->rowsRead.clear();
        button(preview.get(), "print")->click();
        QCOMPARE(asked, 1);
        QVERIFY(rows->rowsRead.isEmpty());
    }

    void shouldCancelSavingAndLeaveNoFile()
    {
        QTemporaryDir dir;
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(300, rows);
        const QString path = dir.filePath(QStringLiteral("cancelled.pdf"));
        bool seen = false;
        rows->onValue = [&](int row) {
            if (row != 5)
                return;
            // The user clicks Cancel while page 6 is read.
            if (auto *progress = preview->findChild<QProgressDialog *>(QStringLiteral("progress"))) {
                seen = true;
                progress->cancel();
            }
        };
        rows->rowsRead.clear();
        QVERIFY(!preview->savePdf(path));
        QVERIFY(seen);
        QVERIFY(!QFile::exists(path));
        QVERIFY(rows->rowsRead.size() < 10);
    }

    void shouldStopSavingOnAReadFailureAndLeaveNoFile()
    {
        FakeDialogs dialogs;
        QTemporaryDir dir;
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(3, rows);
        rows->failRows = {1};
        const QString path = dir.filePath(QStringLiteral("failed.pdf"));
        QVERIFY(!preview->savePdf(path));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, QStringLiteral("database disk image is malformed"));
        QVERIFY(!rows->rowsRead.contains(2));
        // Still usable.
        rows->failRows.clear();
        QVERIFY(preview->savePdf(path));
    }

    void shouldReportAFileThatCannotBeWritten()
    {
        FakeDialogs dialogs;
        MemoryRows *rows = nullptr;
        auto preview = cataloguePreview(1, rows);
        QVERIFY(!preview->savePdf(QStringLiteral("/nonexistent-folder/report.pdf")));
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QVERIFY(dialogs.boxes.first().text.contains(QStringLiteral("/nonexistent-folder/report.pdf")));
    }

    // ----- the two entry points ---------------------------------------------

    void shouldShowTheCatalogueModelessAndFreshEachTime()
    {
        auto first = books(2);
        MemoryRows *firstRows = first.get();
        QPointer<ReportPreview> one = showCatalogueReport(std::move(first), nullptr);
        QVERIFY(one);
        QVERIFY(one->isVisible());
        QVERIFY(!one->isModal());
        QCOMPARE(one->windowTitle(), QStringLiteral("DataReport1"));
        QCOMPARE(firstRows->counts, 1);

        // A second showing reads the table again in a fresh window.
        auto second = books(3);
        MemoryRows *secondRows = second.get();
        QPointer<ReportPreview> two = showCatalogueReport(std::move(second), nullptr);
        QCOMPARE(secondRows->counts, 1);
        QCOMPARE(two->pageCount(), 3);
        QTRY_VERIFY(!one);
        // Escape closes it, and it goes away.
        QVERIFY(QTest::qWaitForWindowActive(two));
        QTest::keyClick(two, Qt::Key_Escape);
        QTRY_VERIFY(!two);
    }

    void shouldShowTheLoanReportModallyUntilClosed()
    {
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        QString title;
        bool modal = false;
        QTimer::singleShot(0, [&] {
            QWidget *shown = QApplication::activeModalWidget();
            if (!shown)
                return;
            title = shown->windowTitle();
            modal = shown->isModal();
            shown->close();
        });
        execLoanReport(std::make_unique<MemoryRows>(QList<ReportRecord>{loan(1, false)}), &owner);
        QCOMPARE(title, QStringLiteral("DataReport2"));
        QVERIFY(modal);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestReports)
#include "tst_reports.moc"
