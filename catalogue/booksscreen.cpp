#include "catalogue/booksscreen.h"

#include "catalogue/reportpreview.h"
#include "catalogue/tablereportrows.h"
#include "store/engine/storeerror.h"
#include "store/records/browsesource.h"
#include "store/search/booksearch.h"
#include "ui/binder.h"
#include "ui/dialogs.h"
#include "ui/form.h"
#include "ui/navigationbar.h"
#include "ui/navigator.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QSqlError>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QTimer>

const BooksScreen::Detail BooksScreen::LeftColumn[7] = {
    {&BooksScreen::Text9, "Text9", "BookNumber", "Book Number:"},
    {&BooksScreen::Text11, "Text11", "Date received", "Date Recieved:"},
    {&BooksScreen::Text10, "Text10", "Classification", "Classification:"},
    {&BooksScreen::Text22, "Text22", "Author", "Author:"},
    {&BooksScreen::Text21, "Text21", "Title", "Title:"},
    {&BooksScreen::Text20, "Text20", "Edition", "Edition"},
    {&BooksScreen::Text19, "Text19", "Vol", "Volume:"},
};
const BooksScreen::Detail BooksScreen::RightColumn[7] = {
    {&BooksScreen::Text18, "Text18", "Pages", "Pages:"},
    {&BooksScreen::Text17, "Text17", "Source of Fund", "Source of fund:"},
    {&BooksScreen::Text16, "Text16", "Cost or            (in Peso)", "Cost:"},
    {&BooksScreen::Text15, "Text15", "Publisher", "Publisher"},
    {&BooksScreen::Text14, "Text14", "Year", "Year"},
    {&BooksScreen::Text13, "Text13", "Remarks", "Remarks"},
    {&BooksScreen::Text12, "Text12", "ISBN", "ISBN No.:"},
};

namespace {

constexpr int DetailTop = 128;
constexpr int RowPitch = 42;
constexpr int BoxHeight = 28;

} // namespace

BooksScreen::BooksScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_stores(stores), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Form1"));
    centerWhenFirstShown(this);
    createLayout();
}

void BooksScreen::createLayout()
{
    setFixedSize(921, 528);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(Theme::screenStyle(QStringLiteral("BooksScreen"), true));

    AeroGroupBox1 = new FramedPanel(QStringLiteral("AeroGroupBox1"), this);
    AeroGroupBox1->setObjectName(QStringLiteral("AeroGroupBox1"));
    AeroGroupBox1->setGeometry(10, 10, 901, 446);

    lblTitle = new QLabel(QStringLiteral("LIBRARY BOOKS"), AeroGroupBox1);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setGeometry(0, FramedPanel::HeadingHeight + 8, AeroGroupBox1->width(), 34);
    lblTitle->setAlignment(Qt::AlignCenter);
    lblTitle->setStyleSheet(Theme::labelStyle(16) + QStringLiteral(" letter-spacing: 2px;"));

    const QString labelStyle = Theme::labelStyle(9);
    const QFont boxFont = Theme::font(10);

    Form::labelled(lblSearch, {"lblSearch", QStringLiteral("SEARCH "), labelStyle, QRect(40, 78, 70, BoxHeight)},
                   cmbSearch, "cmbSearch", AeroGroupBox1);
    cmbSearch->setGeometry(112, 78, 150, BoxHeight);
    cmbSearch->setFont(boxFont);
    cmbSearch->addItems({QStringLiteral("Title"), QStringLiteral("Author")});
    cmbSearch->setCurrentIndex(-1);
    fitPopupToItems(cmbSearch);
    txtsearch = new QLineEdit(AeroGroupBox1);
    txtsearch->setObjectName(QStringLiteral("txtsearch"));
    txtsearch->setGeometry(272, 78, 360, BoxHeight);
    txtsearch->setFont(boxFont);
    txtsearch->setAccessibleName(QStringLiteral("Search text"));
    txtsearch->setPlaceholderText(QStringLiteral("part of a title or an author"));

    createDetails(labelStyle, boxFont);

    createButtons();
}

// The book's details in two columns, a label beside each box.
void BooksScreen::createDetails(const QString &labelStyle, const QFont &boxFont)
{
    auto column = [&](const auto &details, int labelX, int boxX, int boxWidth) {
        int y = DetailTop;
        for (const Detail &d : details) {
            QLabel *label = nullptr;
            QLineEdit *&box = this->*(d.box);
            Form::labelled(label,
                           {QString(QStringLiteral("lbl") + QLatin1String(d.name)), QString::fromLatin1(d.caption),
                            labelStyle, QRect(labelX, y, boxX - labelX - 8, BoxHeight)},
                           box, d.name, AeroGroupBox1);
            box->setGeometry(boxX, y, boxWidth, BoxHeight);
            box->setFont(boxFont);
            y += RowPitch;
        }
    };
    column(LeftColumn, 40, 160, 270);
    column(RightColumn, 472, 600, 270);
}

void BooksScreen::createButtons()
{
    adoLibBar = new NavigationBar(QStringLiteral("library books"), this);
    adoLibBar->setObjectName(QStringLiteral("adoLibBar"));
    adoLibBar->setGeometry(10, 476, 280, 32);

    cmdMain = new PushButton(QStringLiteral("Main Menu"), this);
    cmdMain->setObjectName(QStringLiteral("cmdMain"));
    cmdMain->setGeometry(801, 474, 110, 36);
    cmdPrint = new PushButton(QStringLiteral("Print"), this);
    cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    cmdPrint->setGeometry(681, 474, 110, 36);

    // The bar's arrows close the round, from the buttons back to the fields.
    Form::setTabOrder({Text12, Text9, Text10, Text11, Text13, Text14, Text15, Text16, Text17, Text18, Text19, Text20,
                       Text21, Text22, cmbSearch, txtsearch, cmdMain, cmdPrint},
                      adoLibBar->arrows());

    // The open list is a window of its own that takes the keys itself. It
    // picks on Enter already as a shortcut: a refused key is claimed first,
    // so that it arrives as a key press and is refused there.
    Form::KeyRefuser::install(cmbSearch, m_dialogs, &isRefusedListKey, Form::KeyRefuser::ClaimShortcuts);
    Form::KeyRefuser::install(cmbSearch->view(), m_dialogs, &isRefusedListKey,
                              Form::KeyRefuser::ClaimShortcuts);
    txtsearch->installEventFilter(this);
    // The search runs on a change of the typed text only: picking another
    // field takes effect with the next keystroke.
    connect(txtsearch, &QLineEdit::textChanged, this, &BooksScreen::search);
    connect(cmdPrint, &QPushButton::clicked, this, &BooksScreen::print_report);
    connect(cmdMain, &QPushButton::clicked, this, &BooksScreen::menuRequested);
}

StoreError BooksScreen::openStore()
{
    adoLib = new BrowseSource(m_stores, Schema::books().name, this);
    adoLib->setObjectName(QStringLiteral("adoLib"));
    adoLib->setCaption(QStringLiteral("library books"));
    // The first books shown are those with a book number.
    adoLib->setCondition(BookSearch::numbered());
    if (!adoLib->open())
        return adoLib->lastError();
    connect(adoLib, &RecordSource::readFailed, this, [this](const StoreError &error) { m_dialogs.showDatabaseError(error); },
            Qt::QueuedConnection);
    createMappings();
    return {};
}

void BooksScreen::createMappings()
{
    auto *binder = new Binder(adoLib);
    for (const auto *details : {&LeftColumn, &RightColumn})
        for (const Detail &d : *details)
            binder->bind(this->*(d.box), QString::fromLatin1(d.field));
    adoLibBar->attach(adoLib);
    // A long title reads from its start, in the focused box too: nothing is
    // typed here to keep.
    QList<QLineEdit *> boxes;
    for (const auto *details : {&LeftColumn, &RightColumn})
        for (const Detail &d : *details)
            boxes << this->*(d.box);
    Form::showStartOfTexts(adoLib, boxes, Form::Focused::Reset);
}

bool BooksScreen::isRefusedListKey(const QKeyEvent *event)
{
    // The field is chosen with the mouse or the list's own keys; a key that
    // types a character, Enter or Escape is dropped. Keys that type no
    // character (Delete, the arrows, Tab) and shortcuts pass.
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)
        return true;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & Qt::ControlModifier);
}

bool BooksScreen::searchBoxEntered(Qt::FocusReason reason)
{
    // The focus coming back when a message box closes is not the user
    // entering the box again.
    if (m_warning || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return true;
    if (cmbSearch->currentText().isEmpty()) {
        m_warning = true;
        m_dialogs.message(QStringLiteral("select category first"), QStringLiteral("search"),
                          Dialogs::Information, Dialogs::Ok);
        cmbSearch->setFocus(Qt::OtherFocusReason);
        txtsearch->clear();
        m_warning = false;
        return txtsearch->hasFocus();
    }
    if (!txtsearch->text().isEmpty()) {
        // After the click that gave the focus, so the click keeps the selection.
        QTimer::singleShot(0, txtsearch, [box = txtsearch] { box->selectAll(); });
    }
    return true;
}

bool BooksScreen::eventFilter(QObject *watched, QEvent *event)
{
    // Sent away at once, the box must not go on to start its caret.
    if (watched == txtsearch && event->type() == QEvent::FocusIn)
        return !searchBoxEntered(static_cast<QFocusEvent *>(event)->reason());
    return QWidget::eventFilter(watched, event);
}

void BooksScreen::search()
{
    // Without a field there is nothing to search in; the books shown stay.
    const QString field = cmbSearch->currentText();
    if (!BookSearch::isSearchField(field))
        return;
    adoLib->setSearch(field, txtsearch->text());
    if (!adoLib->refresh())
        m_dialogs.showDatabaseError(adoLib->lastError());
}

void BooksScreen::print_report()
{
    // The report lists every book, whatever the search shows here.
    showCatalogueReport(std::make_unique<TableReportRows>(m_stores, Schema::books().name), m_dialogs, this);
}
