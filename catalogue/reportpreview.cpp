#include "catalogue/reportpreview.h"

#include "tallymere/version.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"

#include "store/engine/storeerror.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QSqlError>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The grey desk the page lies on, and its margin round the page in pixels.
const QColor DeskColour(0x70, 0x70, 0x70);
constexpr int Gap = 16;
// Rows read for pages already seen and kept for going back to them.
constexpr int KeptPages = 8;
// The zoom box's percentages.
constexpr int ZoomLevels[] = {50, 75, 100, 125, 150, 200};

// The maker a printed or saved report names.
const QString ProgramName = QStringLiteral("Tallymere " TALLYMERE_FEATURE_VERSION);

// The page in view, drawn on a grey desk; the preview does the drawing.
class PageView : public QWidget
{
public:
    explicit PageView(ReportPreview *preview)
        : m_preview(preview)
    {
        setObjectName(QStringLiteral("page"));
        setAccessibleName(QStringLiteral("Report page"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), DeskColour);
        if (m_preview->pageCount() == 0) {
            painter.setPen(Qt::white);
            painter.drawText(rect().adjusted(Gap, Gap, -Gap, -Gap), Qt::AlignCenter | Qt::TextWordWrap,
                             QStringLiteral("The report's rows could not be read."));
            return;
        }
        const double dpi = logicalDpiX() * m_preview->scale();
        const QRectF sheet(QPointF(Gap, Gap), m_preview->paperInches() * dpi);
        painter.fillRect(sheet.translated(3, 3), QColor(0, 0, 0, 90));
        painter.fillRect(sheet, Qt::white);
        m_preview->paintCurrentPage(painter, sheet.topLeft(), dpi);
        if (m_preview->currentPageFailed()) {
            // A note on the desk, not part of the report.
            painter.setPen(QColor(0xb0, 0x20, 0x20));
            painter.drawText(sheet, Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("This page could not be read."));
        }
    }

private:
    ReportPreview *m_preview;
};

QPushButton *makeButton(const QString &caption, const QString &name, const QString &accessibleName,
                        const QString &toolTip, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAccessibleName(accessibleName);
    button->setToolTip(toolTip);
    // Enter presses the focused button only; no button stands as the
    // window's default.
    button->setAutoDefault(false);
    pressOnEnter(button);
    return button;
}

} // namespace

ReportPreview::ReportPreview(const ReportLayout &layout, std::unique_ptr<ReportRows> rows, Dialogs &dialogs,
                             QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                          | Qt::WindowCloseButtonHint)
    , m_layout(layout)
    , m_painter(m_layout)
    , m_rows(std::move(rows))
    , m_fields(m_layout.fields())
    , m_dialogs(dialogs)
{
    setObjectName(m_layout.name);
    setWindowTitle(m_layout.name);
    m_choosePrinter = [this](QPrinter &printer) { return runPrintDialog(printer); };
    m_choosePdfFile = [this] { return runPdfFileDialog(); };
    createLayout();
    createShortcuts();
    countRows();
    if (m_rowCount >= 0)
        showPage(0, Report::Later);
    updateControls();
    updateScale();
    // The page takes the keys first: arrows scroll it, PgUp / PgDn turn it.
    m_scroll->setFocus();
}

ReportPreview::~ReportPreview() = default;

void ReportPreview::createLayout()
{
    QLayout *bar = createBar();
    m_view = new PageView(this);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("pageArea"));
    m_scroll->setAccessibleName(QStringLiteral("Report page"));
    QPalette desk = m_scroll->palette();
    desk.setColor(QPalette::Dark, DeskColour);
    m_scroll->setPalette(desk);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setWidget(m_view);
    m_scroll->installEventFilter(this);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->addLayout(bar);
    column->addWidget(m_scroll, 1);

    connectControls();

    // A page and the bar above it, within the screen.
    QSize size(900, 1000);
    if (const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 0.9);
    resize(size);
}

QLayout *ReportPreview::createBar()
{
    m_first = makeButton(QStringLiteral("<< &First"), QStringLiteral("firstPage"), QStringLiteral("First page"),
                         QStringLiteral("First page (Ctrl+Home)"), this);
    m_previous = makeButton(QStringLiteral("< Pre&vious"), QStringLiteral("previousPage"),
                            QStringLiteral("Previous page"), QStringLiteral("Previous page (Page Up)"), this);
    auto *pageLabel = new QLabel(QStringLiteral("Pa&ge"), this);
    m_pageBox = new QSpinBox(this);
    m_pageBox->setObjectName(QStringLiteral("pageNumber"));
    m_pageBox->setAccessibleName(QStringLiteral("Page number"));
    m_pageBox->setToolTip(QStringLiteral("Type a page number and press Enter"));
    // Goes to the page on Enter, an arrow step or leaving the box, not at
    // every digit typed.
    m_pageBox->setKeyboardTracking(false);
    m_pageBox->setAccelerated(true);
    pageLabel->setBuddy(m_pageBox);
    m_pageOf = new QLabel(this);
    m_pageOf->setObjectName(QStringLiteral("pageCount"));
    m_next = makeButton(QStringLiteral("&Next >"), QStringLiteral("nextPage"), QStringLiteral("Next page"),
                        QStringLiteral("Next page (Page Down)"), this);
    m_last = makeButton(QStringLiteral("&Last >>"), QStringLiteral("lastPage"), QStringLiteral("Last page"),
                        QStringLiteral("Last page (Ctrl+End)"), this);
    auto *zoomLabel = new QLabel(QStringLiteral("&Zoom"), this);
    m_zoomBox = new QComboBox(this);
    m_zoomBox->setObjectName(QStringLiteral("zoom"));
    m_zoomBox->setAccessibleName(QStringLiteral("Zoom"));
    m_zoomBox->addItem(QStringLiteral("Fit width"), FitWidth);
    m_zoomBox->addItem(QStringLiteral("Whole page"), WholePage);
    for (int level : ZoomLevels)
        m_zoomBox->addItem(QStringLiteral("%1%").arg(level), level);
    fitPopupToItems(m_zoomBox);
    zoomLabel->setBuddy(m_zoomBox);
    m_print = makeButton(QStringLiteral("&Print..."), QStringLiteral("print"), QStringLiteral("Print"),
                         QStringLiteral("Print the report (Ctrl+P)"), this);
    m_pdf = makeButton(QStringLiteral("Save as P&DF..."), QStringLiteral("savePdf"), QStringLiteral("Save as PDF"),
                       QStringLiteral("Save the report as a PDF file"), this);
    m_close = makeButton(QStringLiteral("&Close"), QStringLiteral("close"), QStringLiteral("Close"),
                         QStringLiteral("Close the preview (Esc)"), this);

    auto *bar = new QHBoxLayout;
    bar->addWidget(m_first);
    bar->addWidget(m_previous);
    bar->addSpacing(8);
    bar->addWidget(pageLabel);
    bar->addWidget(m_pageBox);
    bar->addWidget(m_pageOf);
    bar->addSpacing(8);
    bar->addWidget(m_next);
    bar->addWidget(m_last);
    bar->addSpacing(16);
    bar->addWidget(zoomLabel);
    bar->addWidget(m_zoomBox);
    bar->addStretch(1);
    bar->addWidget(m_print);
    bar->addWidget(m_pdf);
    bar->addWidget(m_close);
    return bar;
}

void ReportPreview::connectControls()
{
    connect(m_first, &QPushButton::clicked, this, &ReportPreview::firstPage);
    connect(m_previous, &QPushButton::clicked, this, &ReportPreview::previousPage);
    connect(m_next, &QPushButton::clicked, this, &ReportPreview::nextPage);
    connect(m_last, &QPushButton::clicked, this, &ReportPreview::lastPage);
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int number) { setCurrentPage(number - 1); });
    connect(m_zoomBox, &QComboBox::activated, this,
            [this](int index) { setZoom(m_zoomBox->itemData(index).toInt()); });
    connect(m_print, &QPushButton::clicked, this, &ReportPreview::printReport);
    connect(m_pdf, &QPushButton::clicked, this, &ReportPreview::saveAsPdf);
    connect(m_close, &QPushButton::clicked, this, &ReportPreview::close);
}

void ReportPreview::createShortcuts()
{
    const std::pair<QKeySequence, void (ReportPreview::*)()> keys[] = {
        {QKeySequence(Qt::Key_PageUp), &ReportPreview::previousPage},
        {QKeySequence(Qt::Key_PageDown), &ReportPreview::nextPage},
        {QKeySequence(Qt::CTRL | Qt::Key_Home), &ReportPreview::firstPage},
        {QKeySequence(Qt::CTRL | Qt::Key_End), &ReportPreview::lastPage},
        {QKeySequence::Print, &ReportPreview::printReport},
    };
    for (const auto &[key, slot] : keys) {
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    }
}

void ReportPreview::countRows()
{
    m_rowCount = m_rows ? m_rows->count() : -1;
    if (m_rowCount < 0) {
        m_rowCount = -1;
        reportFailure(m_rows ? m_rows->errorText() : QString(), Report::Later);
    }
}

int ReportPreview::pageCount() const
{
    return m_rowCount < 0 ? 0 : ReportLayout::pageCount(m_rowCount);
}

QSizeF ReportPreview::paperInches() const
{
    return m_layout.paper.size(QPageSize::Inch);
}

void ReportPreview::setCurrentPage(int page)
{
    const int pages = pageCount();
    if (pages == 0)
        return;
    page = qBound(0, page, pages - 1);
    // The page in view is not read again, unless reading it failed.
    if (page == m_page && !m_pageFailed)
        return;
    showPage(page, Report::Now);
}

void ReportPreview::showPage(int page, Report report)
{
    m_page = page;
    m_pageFailed = false;
    m_record.clear();
    if (m_rowCount > 0) {
        if (m_cache.contains(page)) {
            m_record = m_cache.value(page);
            remember(page, m_record);
        } else if (readRecord(page, m_record)) {
            remember(page, m_record);
        } else {
            m_pageFailed = true;
            m_record.clear();
        }
    }
    updateControls();
    m_scroll->verticalScrollBar()->setValue(0);
    m_view->update();
    if (m_pageFailed)
        reportFailure(m_lastError, report);
}

bool ReportPreview::readRecord(int page, ReportRecord &record)
{
    record.clear();
    for (const QString &field : std::as_const(m_fields)) {
        const QVariant value = m_rows->value(page, field);
        if (value.isNull()) {
            const QString error = m_rows->errorText();
            if (!error.isEmpty()) {
                m_lastError = error;
                return false;
            }
        }
        record.insert(field, value);
    }
    return true;
}

void ReportPreview::remember(int page, const ReportRecord &record)
{
    m_cache.insert(page, record);
    m_recent.removeAll(page);
    m_recent.append(page);
    while (m_recent.size() > KeptPages)
        m_cache.remove(m_recent.takeFirst());
}

void ReportPreview::reportFailure(const QString &text, Report report)
{
    const StoreError error = StoreError::failure(text);
    if (report == Report::Later)
        QTimer::singleShot(0, this, [this, error] { m_dialogs.showDatabaseError(error); });
    else
        m_dialogs.showDatabaseError(error);
}

void ReportPreview::updateControls()
{
    const int pages = pageCount();
    m_first->setEnabled(m_page > 0);
    m_previous->setEnabled(m_page > 0);
    m_next->setEnabled(m_page < pages - 1);
    m_last->setEnabled(m_page < pages - 1);
    {
        const QSignalBlocker blocker(m_pageBox);
        m_pageBox->setRange(pages > 0 ? 1 : 0, pages);
        m_pageBox->setValue(pages > 0 ? m_page + 1 : 0);
    }
    m_pageBox->setEnabled(pages > 1);
    if (pages == 0)
        m_pageOf->setText(QStringLiteral("of 0"));
    else if (m_rowCount == 0)
        m_pageOf->setText(QStringLiteral("of 1 (no records)"));
    else
        m_pageOf->setText(QStringLiteral("of %1").arg(pages));
    m_print->setEnabled(pages > 0);
    m_pdf->setEnabled(pages > 0);
}

void ReportPreview::setZoom(int zoom)
{
    const int index = m_zoomBox->findData(zoom);
    if (index < 0)
        return;
    m_zoom = zoom;
    m_zoomBox->setCurrentIndex(index);
    updateScale();
}

void ReportPreview::updateScale()
{
    const double dpi = m_view->logicalDpiX();
    const QSizeF paper = paperInches() * dpi; // pixels at real size
    const QSize room = m_scroll->maximumViewportSize();
    const double width = room.width() - 2 * Gap;
    const double height = room.height() - 2 * Gap;
    double scale = m_zoom / 100.0;
    if (m_zoom == FitWidth) {
        scale = width / paper.width();
        // A page taller than the room brings a scroll bar, which takes
        // some of the width.
        if (paper.height() * scale > height)
            scale = (width - m_scroll->verticalScrollBar()->sizeHint().width()) / paper.width();
    } else if (m_zoom == WholePage) {
        scale = qMin(width / paper.width(), height / paper.height());
    }
    m_scale = qBound(0.1, scale, 8.0);
    m_view->setFixedSize(qRound(paper.width() * m_scale) + 2 * Gap, qRound(paper.height() * m_scale) + 2 * Gap);
    m_view->update();
}

void ReportPreview::paintCurrentPage(QPainter &painter, QPointF origin, double dotsPerInch) const
{
    const PageFrame frame{origin, dotsPerInch, paperInches()};
    m_painter.paintPage(painter, frame, m_page, qMax(m_rowCount, 0), m_record);
}

bool ReportPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll && event->type() == QEvent::Resize && (m_zoom == FitWidth || m_zoom == WholePage))
        updateScale();
    return QDialog::eventFilter(watched, event);
}

void ReportPreview::printReport()
{
    if (pageCount() == 0)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_layout.name);
    printer.setCreator(ProgramName);
    printer.setPageSize(m_layout.paper);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(true);
    if (!m_choosePrinter || !m_choosePrinter(printer))
        return;
    print(printer);
}

bool ReportPreview::runPrintDialog(QPrinter &printer)
{
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, pageCount());
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    return dialog.exec() == QDialog::Accepted;
}

bool ReportPreview::print(QPrinter &printer)
{
    const int pages = pageCount();
    if (pages == 0)
        return false;
    int from = 0;
    int to = pages - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = qBound(0, printer.fromPage() - 1, pages - 1);
        to = printer.toPage() > 0 ? qBound(from, printer.toPage() - 1, pages - 1) : pages - 1;
    } else if (printer.printRange() == QPrinter::CurrentPage) {
        from = to = m_page;
    }
    printer.setFullPage(true); // the layout keeps its own margins
    QPainter painter;
    if (!painter.begin(&printer)) {
        m_dialogs.message(QStringLiteral("The report could not be printed."), QString(),
                          Dialogs::Critical, Dialogs::Ok);
        return false;
    }
    const QSizeF paper = printer.pageLayout().fullRect(QPageLayout::Inch).size();
    const Outcome outcome = stream(painter, printer, printer.resolution(), paper, from, to,
                                   QStringLiteral("Printing"));
    // Not every printer can take back what it was sent already.
    if (outcome != Outcome::Done)
        printer.abort();
    painter.end();
    if (outcome != Outcome::Done && printer.outputFormat() == QPrinter::PdfFormat
        && !printer.outputFileName().isEmpty())
        QFile::remove(printer.outputFileName());
    return outcome == Outcome::Done;
}

void ReportPreview::saveAsPdf()
{
    if (pageCount() == 0 || !m_choosePdfFile)
        return;
    const QString path = m_choosePdfFile();
    if (!path.isEmpty())
        savePdf(path);
}

QString ReportPreview::runPdfFileDialog()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save as PDF"),
                                                folder + QLatin1Char('/') + m_layout.name + QStringLiteral(".pdf"),
                                                QStringLiteral("PDF files (*.pdf)"));
    if (!path.isEmpty() && !path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    return path;
}

bool ReportPreview::savePdf(const QString &path)
{
    const int pages = pageCount();
    if (pages == 0)
        return false;
    QPdfWriter writer(path);
    writer.setTitle(m_layout.name);
    writer.setCreator(ProgramName);
    writer.setPageSize(m_layout.paper);
    writer.setPageOrientation(QPageLayout::Portrait);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0)); // the layout keeps its own margins
    QPainter painter;
    if (!painter.begin(&writer)) {
        m_dialogs.message(QStringLiteral("The file %1 could not be written.").arg(path), QString(),
                          Dialogs::Critical, Dialogs::Ok);
        return false;
    }
    const Outcome outcome = stream(painter, writer, writer.resolution(), paperInches(), 0, pages - 1,
                                   QStringLiteral("Saving"));
    painter.end();
    if (outcome != Outcome::Done)
        QFile::remove(path);
    return outcome == Outcome::Done;
}

ReportPreview::Outcome ReportPreview::stream(QPainter &painter, QPagedPaintDevice &device, double dotsPerInch,
                                             QSizeF paper, int from, int to, const QString &action)
{
    const int total = to - from + 1;
    QProgressDialog progress(this);
    progress.setObjectName(QStringLiteral("progress"));
    progress.setWindowTitle(m_layout.name);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setRange(0, total);
    progress.setCancelButtonText(QStringLiteral("Cancel"));
    const PageFrame frame{QPointF(0, 0), dotsPerInch, paper};
    for (int page = from; page <= to; ++page) {
        progress.setLabelText(QStringLiteral("%1 page %2 of %3...").arg(action).arg(page - from + 1).arg(total));
        progress.setValue(page - from); // lets the Cancel button be clicked
        if (progress.wasCanceled())
            return Outcome::Cancelled;
        ReportRecord record;
        if (m_rowCount > 0 && !readRecord(page, record)) {
            progress.cancel();
            reportFailure(m_lastError, Report::Now);
            return Outcome::Failed;
        }
        if (page > from && !device.newPage())
            return Outcome::Failed;
        m_painter.paintPage(painter, frame, page, m_rowCount, record);
    }
    progress.setValue(total);
    return Outcome::Done;
}

ReportPreview *showCatalogueReport(std::unique_ptr<ReportRows> rows, Dialogs &dialogs, QWidget *parent)
{
    // One catalogue preview at a time; a new showing reads the table again.
    static QPointer<ReportPreview> open;
    QRect geometry;
    if (open) {
        geometry = open->geometry();
        open->close();
    }
    auto *preview = new ReportPreview(ReportLayout::catalogue(), std::move(rows), dialogs);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    if (geometry.isValid()) {
        preview->setGeometry(geometry);
    } else if (parent) {
        QRect frame(QPoint(), preview->size());
        frame.moveCenter(parent->window()->geometry().center());
        if (const QScreen *screen = parent->screen())
            frame.moveTop(qMax(frame.top(), screen->availableGeometry().top()));
        preview->move(frame.topLeft());
    }
    open = preview;
    preview->show();
    preview->raise();
    preview->activateWindow();
    return preview;
}

void execLoanReport(std::unique_ptr<ReportRows> rows, Dialogs &dialogs, QWidget *parent)
{
    ReportPreview preview(ReportLayout::loans(), std::move(rows), dialogs, parent);
    preview.exec();
}
