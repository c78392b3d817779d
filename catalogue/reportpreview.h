#pragma once

#include "catalogue/reportlayout.h"
#include "catalogue/reportpainter.h"
#include "catalogue/reportrows.h"

#include <QDialog>
#include <QHash>
#include <QList>

#include <functional>
#include <memory>

class Dialogs;
class QComboBox;
class QLabel;
class QLayout;
class QPagedPaintDevice;
class QPrinter;
class QPushButton;
class QScrollArea;
class QSpinBox;

// The preview window of a printed report, titled with the
// report's name. It counts the rows once when it opens and shows one page at
// a time, reading only the row of the page in view (and keeping the last few
// read), so it opens at once however large the table is. It pages (first,
// previous, next, last, a page number box, PgUp / PgDn, Ctrl+Home /
// Ctrl+End), zooms (fixed levels, fit width, whole page), prints through the
// print dialog and saves a PDF; both stream page by page under a cancellable
// progress dialog.
//
// An empty table shows, prints and saves one page with the report's headers
// and footers and no detail band, as a banded report of no rows does; the
// page box reads "of 1 (no records)". A read failure shows the engine's text
// in a critical box; the window stays open and usable.
class ReportPreview : public QDialog
{
    Q_OBJECT
public:
    // Zoom levels besides the percentages.
    static constexpr int FitWidth = 0;
    static constexpr int WholePage = -1;

    // Asks for a printer and sets it up (QPrintDialog); false on Cancel.
    using PrinterChooser = std::function<bool(QPrinter &printer)>;
    // Asks for the file to save the PDF in; empty on Cancel.
    using PdfFileChooser = std::function<QString()>;

    // Counts the rows and reads the first page's row; shows nothing.
    // Failures are told in `dialogs`.
    ReportPreview(const ReportLayout &layout, std::unique_ptr<ReportRows> rows, Dialogs &dialogs,
                  QWidget *parent = nullptr);
    ~ReportPreview() override;

    const ReportLayout &layout() const { return m_layout; }
    // The row count read at opening; -1 when it could not be read.
    int rowCount() const { return m_rowCount; }
    // The report's pages: one per row, one for an empty table, none when
    // the rows could not be counted.
    int pageCount() const;
    // 0-based.
    int currentPage() const { return m_page; }
    void setCurrentPage(int page);

    // A percentage, FitWidth or WholePage.
    int zoom() const { return m_zoom; }
    void setZoom(int zoom);
    // The page's current scale on screen: 1 is its real size.
    double scale() const { return m_scale; }

    // Streams the pages the printer's print range names (all, a range or
    // the current page); false when cancelled or failed.
    bool print(QPrinter &printer);
    // Streams every page into a PDF at `path`; false when cancelled or
    // failed, and then no file is left behind.
    bool savePdf(const QString &path);

    // Seams for the two modal choices, replaced by tests.
    void setPrinterChooser(PrinterChooser chooser) { m_choosePrinter = std::move(chooser); }
    void setPdfFileChooser(PdfFileChooser chooser) { m_choosePdfFile = std::move(chooser); }

    void firstPage() { setCurrentPage(0); }
    void previousPage() { setCurrentPage(m_page - 1); }
    void nextPage() { setCurrentPage(m_page + 1); }
    void lastPage() { setCurrentPage(pageCount() - 1); }
    // Asks for a printer, then prints.
    void printReport();
    // Asks for a file, then saves the PDF.
    void saveAsPdf();

    // Paints the page in view with its paper's top left corner at `origin`,
    // `dotsPerInch` screen units to the inch (used by the page view).
    void paintCurrentPage(QPainter &painter, QPointF origin, double dotsPerInch) const;
    bool currentPageFailed() const { return m_pageFailed; }
    QSizeF paperInches() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Report { Now, Later };
    enum class Outcome { Done, Cancelled, Failed };

    void createLayout();
    QLayout *createBar();
    void connectControls();
    void createShortcuts();
    void countRows();
    void showPage(int page, Report report);
    bool readRecord(int page, ReportRecord &record);
    void remember(int page, const ReportRecord &record);
    void reportFailure(const QString &text, Report report);
    void updateControls();
    void updateScale();
    bool runPrintDialog(QPrinter &printer);
    QString runPdfFileDialog();
    Outcome stream(QPainter &painter, QPagedPaintDevice &device, double dotsPerInch, QSizeF paper, int from, int to,
                   const QString &action);

    ReportLayout m_layout;
    ReportPainter m_painter;
    std::unique_ptr<ReportRows> m_rows;
    QStringList m_fields;
    int m_rowCount = 0;
    int m_page = 0;
    bool m_pageFailed = false;
    ReportRecord m_record;
    QHash<int, ReportRecord> m_cache;
    QList<int> m_recent; // cached pages, most recent last
    QString m_lastError;
    int m_zoom = FitWidth;
    double m_scale = 1;
    PrinterChooser m_choosePrinter;
    PdfFileChooser m_choosePdfFile;
    Dialogs &m_dialogs;

    QPushButton *m_first = nullptr;
    QPushButton *m_previous = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_pageOf = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_last = nullptr;
    QComboBox *m_zoomBox = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_pdf = nullptr;
    QPushButton *m_close = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_view = nullptr;
};

// Opens the catalogue report, DataReport1, without blocking the caller
// (modeless). A second call closes the open preview and shows a fresh one,
// which reads the table again. `parent` only places the window: the preview
// outlives the screen that opened it.
ReportPreview *showCatalogueReport(std::unique_ptr<ReportRows> rows, Dialogs &dialogs, QWidget *parent);

// Shows the loan report, DataReport2, modally over `parent`, and returns
// when the user closes it.
void execLoanReport(std::unique_ptr<ReportRows> rows, Dialogs &dialogs, QWidget *parent);
