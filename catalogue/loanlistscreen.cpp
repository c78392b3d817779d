#include "catalogue/loanlistscreen.h"

#include "catalogue/reportpreview.h"
#include "catalogue/tablereportrows.h"
#include "store/engine/storeerror.h"
#include "store/records/querysource.h"
#include "store/records/recordsource.h"
#include "ui/dialogs.h"
#include "ui/displayformats.h"
#include "ui/form.h"
#include "ui/navigationbar.h"
#include "ui/navigator.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QSqlError>
#include <QHeaderView>
#include <QShowEvent>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace {

// Grid columns by field, in pixels.
const std::pair<const char *, int> ColumnWidths[] = {
    {"AccessionNumber", 87}, {"BookNumber", 82},   {"BookTitle", 116},    {"Category", 104},
    {"Borrower", 101},       {"DateBorrowed", 94}, {"Remarks", 116},      {"DateReturned", 116},
    {"Status", 116},         {"Section", 116},     {"Condition", 116},    {"DaysBorrowed", 70},
    {"Overduedays", 116},    {"howmanydays", 68},  {"fines", 41},
};

constexpr int RowHeight = 22;

} // namespace

LoanListScreen::LoanListScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_stores(stores), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Form1"));
    centerWhenFirstShown(this);
    createLayout();
}

void LoanListScreen::createLayout()
{
    setFixedSize(752, 500);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(Theme::screenStyle(QStringLiteral("LoanListScreen"), true));

    AeroGroupBox1 = new FramedPanel(QStringLiteral("AeroGroupBox1"), this);
    AeroGroupBox1->setObjectName(QStringLiteral("AeroGroupBox1"));
    AeroGroupBox1->setGeometry(10, 10, 732, 434);

    DataGrid1 = new QTableView(AeroGroupBox1);
    DataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    DataGrid1->setAccessibleName(QStringLiteral("Loans"));
    DataGrid1->setGeometry(6, FramedPanel::HeadingHeight + 6, AeroGroupBox1->width() - 12,
                           AeroGroupBox1->height() - FramedPanel::HeadingHeight - 12);
    DataGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DataGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DataGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DataGrid1->setWordWrap(false);
    DataGrid1->setAlternatingRowColors(true);
    DataGrid1->setCornerButtonEnabled(false);
    DataGrid1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    DataGrid1->setFont(Theme::font(9));
    // One fixed row height: the grid never measures rows, however many.
    QHeaderView *rows = DataGrid1->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(RowHeight);
    rows->setMinimumSectionSize(RowHeight);
    rows->hide();
    QHeaderView *columns = DataGrid1->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setFont(Theme::narrowFont(8.5));
    DataGrid1->setStyleSheet(Theme::gridStyle());

    createButtons();
}

void LoanListScreen::createButtons()
{
    Adodc1Bar = new NavigationBar(QStringLiteral("Adodc1"), this);
    Adodc1Bar->setObjectName(QStringLiteral("Adodc1Bar"));
    Adodc1Bar->setGeometry(10, 456, 260, 32);

    constexpr int buttonWidth = 100;
    constexpr int buttonHeight = 34;
    constexpr int buttonTop = 455;
    const int right = AeroGroupBox1->geometry().right() + 1;
    cmdMain = new PushButton(QStringLiteral("Main"), this);
    cmdMain->setObjectName(QStringLiteral("cmdMain"));
    cmdMain->setGeometry(right - buttonWidth, buttonTop, buttonWidth, buttonHeight);
    cmdDelete = new PushButton(QStringLiteral("Delete"), this);
    cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    cmdDelete->setGeometry(cmdMain->x() - 10 - buttonWidth, buttonTop, buttonWidth, buttonHeight);
    jcbutton1 = new PushButton(QStringLiteral("Print"), this);
    jcbutton1->setObjectName(QStringLiteral("jcbutton1"));
    jcbutton1->setGeometry(cmdDelete->x() - 10 - buttonWidth, buttonTop, buttonWidth, buttonHeight);

    // The bar's arrows follow the grid they move in.
    Form::setTabOrder({cmdMain, cmdDelete, jcbutton1, DataGrid1}, Adodc1Bar->arrows());
    // Tab leaves the grid for the next control; the arrows move in it.
    DataGrid1->setTabKeyNavigation(false);

    connect(cmdDelete, &QPushButton::clicked, this, &LoanListScreen::delete_record);
    connect(jcbutton1, &QPushButton::clicked, this, &LoanListScreen::print_report);
    connect(cmdMain, &QPushButton::clicked, this, &LoanListScreen::menuRequested);
}

StoreError LoanListScreen::openStore()
{
    Adodc1 = new QuerySource(m_stores, QStringLiteral("tblBorrower"), this);
    Adodc1->setObjectName(QStringLiteral("Adodc1"));
    Adodc1->setCaption(QStringLiteral("Adodc1"));
    if (!Adodc1->open())
        return Adodc1->lastError();
    noteReadUnseen();
    // A loan stored or deleted anywhere is read again, shown or not.
    connect(&TableEvents::instance(), &TableEvents::changed, this, [this](const QString &table) {
        if (table == Schema::borrower().name)
            reload();
    });
    // A page that cannot be read while scrolling is reported once the
    // paint that asked for it is over.
    connect(Adodc1, &RecordSource::readFailed, this, [this](const StoreError &error) { m_dialogs.showDatabaseError(error); },
            Qt::QueuedConnection);
    createMappings();
    return {};
}

void LoanListScreen::createMappings()
{
    PagedModel *model = Adodc1->model();
    // The store hands out dates; the grid shows them as the locale writes them.
    auto *shown = new Shown::LocalDates(DataGrid1);
    shown->setSourceModel(model);
    DataGrid1->setModel(shown);
    auto applyWidths = [this, model] {
        for (const auto &[field, width] : ColumnWidths) {
            const int column = int(model->fields().indexOf(QLatin1String(field)));
            if (column >= 0)
                DataGrid1->setColumnWidth(column, width);
        }
    };
    applyWidths();
    // A reset gives the heading fresh sections of the default width.
    connect(model, &QAbstractItemModel::modelReset, DataGrid1, applyWidths);

    // The grid's current row is the record source's current row, both ways.
    // The grid goes before the source when the screen is destroyed, so each
    // connection lives only as long as the object it touches.
    connect(DataGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, Adodc1,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    Adodc1->setCurrentRow(current.row());
            });
    connect(Adodc1, &QuerySource::currentChanged, DataGrid1, [this] { showCurrentInGrid(Adodc1->currentRow()); });
    Adodc1Bar->attach(Adodc1);
    showCurrentInGrid(Adodc1->currentRow());
    cmdMain->setFocus(Qt::OtherFocusReason);
}

void LoanListScreen::showCurrentInGrid(int row)
{
    if (row < 0) {
        DataGrid1->selectionModel()->clearCurrentIndex();
        DataGrid1->clearSelection();
        return;
    }
    const QModelIndex current = DataGrid1->currentIndex();
    if (current.isValid() && current.row() == row && DataGrid1->selectionModel()->isRowSelected(row, QModelIndex()))
        return;
    DataGrid1->setCurrentIndex(DataGrid1->model()->index(row, current.isValid() ? current.column() : 0));
}

void LoanListScreen::reload()
{
    noteReadUnseen();
    if (!Adodc1->refresh())
        m_dialogs.showDatabaseError(Adodc1->lastError());
}

void LoanListScreen::noteReadUnseen()
{
    // Asked once the event loop runs again: a screen opened for the user
    // is shown before then, and its fresh rows are not read twice.
    QTimer::singleShot(0, this, [this] { m_readUnseen = !isVisible(); });
}

void LoanListScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A list made unseen (after a save) may be shown much later, after
    // other desks' saves or a server restart: it shows the rows as they
    // are stored when it opens, never the ones it read then.
    if (m_readUnseen && !event->spontaneous())
        reload();
}

void LoanListScreen::delete_record()
{
    const Dialogs::Answer answer = m_dialogs.message(
        QStringLiteral("Are you sure you want to delete this record?Data is not recoverable."),
        QStringLiteral("question"), Dialogs::Question, Dialogs::YesNo);
    if (answer != Dialogs::AnswerYes)
        return;
    if (!Adodc1->hasCurrent())
        return;
    // The deletion is announced, and the list reads its rows again then.
    if (!Adodc1->deleteCurrent())
        m_dialogs.showDatabaseError(Adodc1->lastError());
}

void LoanListScreen::print_report()
{
    // The report reads every loan afresh, whatever the grid shows.
    execLoanReport(std::make_unique<TableReportRows>(m_stores, Schema::borrower().name), m_dialogs, this);
}
