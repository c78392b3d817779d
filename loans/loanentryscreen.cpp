#include "loans/loanentryscreen.h"

#include "loans/loanvalues.h"
#include "loans/valuelists.h"
#include "store/engine/storeerror.h"
#include "store/records/rowsource.h"
#include "ui/binder.h"
#include "ui/clock.h"
#include "ui/dialogs.h"
#include "ui/form.h"
#include "ui/navigator.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QSqlError>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace {

// Two columns of four inputs, each under its label.
constexpr int LeftColumn = 30;
constexpr int RightColumn = 298;
constexpr int ColumnWidth = 244;
constexpr int FirstRow = 66;
constexpr int RowPitch = 58;
constexpr int LabelHeight = 18;
constexpr int InputHeight = 28;
constexpr int ButtonWidth = 117;
constexpr int ButtonHeight = 34;

QRect labelPlace(int column, int row)
{
    return {column, FirstRow + row * RowPitch, ColumnWidth, LabelHeight};
}

QRect inputPlace(int column, int row)
{
    return {column, FirstRow + row * RowPitch + LabelHeight + 2, ColumnWidth, InputHeight};
}

} // namespace

LoanEntryScreen::LoanEntryScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_stores(stores), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Form1"));
    centerWhenFirstShown(this);
    createLayout();
}

void LoanEntryScreen::createLayout()
{
    setFixedSize(572, 395);
    // Browse mode shows a loan in disabled inputs; keep it easy to read.
    Theme::setBrowsePalette(this);

    Image1 = new Picture(QStringLiteral(":/assets/addrecord.svg"), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(rect());

    lblTitle = new QLabel(QStringLiteral("NEW BORROWER"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setGeometry(0, 0, width(), 48);
    lblTitle->setAlignment(Qt::AlignCenter);
    lblTitle->setStyleSheet(Theme::titleStyle());

    const QString labelStyle = Theme::labelStyle(9);
    const QFont inputFont = Theme::font(10);

    // Each label names its input for screen readers and its shortcut.
    auto field = [&](QLabel *&label, const char *labelName, const QString &caption, auto *&input,
                     const char *inputName, int column, int row) {
        Form::labelled(label, {labelName, caption, labelStyle, labelPlace(column, row)}, input, inputName, this,
                       Form::Naming::AccessibleName);
        input->setGeometry(inputPlace(column, row));
        input->setFont(inputFont);
    };

    field(lblStatus, "lblStatus", QStringLiteral("Type of Borrower"), cmbStatus, "cmbStatus", LeftColumn, 0);
    LoanValues::setUpList(cmbStatus, LoanValues::borrowerTypes(), QStringLiteral("Select.."));
    field(lblSection, "lblSection", QStringLiteral("Section"), cmbSection, "cmbSection", LeftColumn, 1);
    LoanValues::setUpList(cmbSection, LoanValues::sections(), QStringLiteral("Combo1"));
    field(lblBorrower, "lblBorrower", QStringLiteral("Borrower's Name"), txtBorrower, "txtBorrower", LeftColumn, 2);
    field(lblAccessionNumber, "lblAccessionNumber", QStringLiteral("Accession Number"), txtAccessionNumber,
          "txtAccessionNumber", LeftColumn, 3);
    field(lblBookNumber, "lblBookNumber", QStringLiteral("Book Number"), txtBookNumber, "txtBookNumber", RightColumn,
          0);
    field(lblBookTitle, "lblBookTitle", QStringLiteral("Book Title"), txtBookTitle, "txtBookTitle", RightColumn, 1);
    field(lblCategory, "lblCategory", QStringLiteral("Book Category"), cmbCategory, "cmbCategory", RightColumn, 2);
    LoanValues::setUpList(cmbCategory, LoanValues::categories(), QStringLiteral("Combo1"));
    field(lblDateBorrowed, "lblDateBorrowed", QStringLiteral("Date Borrowed"), DTPicker1, "DTPicker1", RightColumn,
          3);
    DTPicker1->setDialogs(m_dialogs);
    Image1->setAccessibleName(QStringLiteral("New borrower artwork"));

    createButtons();
}

void LoanEntryScreen::createButtons()
{
    const int buttonsTop = inputPlace(RightColumn, 3).bottom() + 18;
    const int secondButton = RightColumn + ColumnWidth - ButtonWidth;
    auto button = [&](PushButton *&member, const char *name, const QString &caption, int x, int y) {
        member = new PushButton(caption, this);
        member->setObjectName(QLatin1String(name));
        member->setGeometry(x, y, ButtonWidth, ButtonHeight);
    };
    button(cmdSave, "cmdSave", QStringLiteral("Save"), RightColumn, buttonsTop);
    button(cmdMain, "cmdMain", QStringLiteral("Main"), secondButton, buttonsTop);
    button(cmdAdd, "cmdAdd", QStringLiteral("Add"), RightColumn, buttonsTop + ButtonHeight + 8);
    button(cmdCancel, "cmdCancel", QStringLiteral("Cancel"), secondButton, buttonsTop + ButtonHeight + 8);

    Form::setTabOrder({cmdMain, cmdSave, cmdCancel, cmdAdd, txtAccessionNumber, txtBookNumber, txtBookTitle,
                       txtBorrower, cmbCategory, cmbStatus, cmbSection, DTPicker1});

    connect(cmdAdd, &QPushButton::clicked, this, &LoanEntryScreen::add_record);
    connect(cmdSave, &QPushButton::clicked, this, &LoanEntryScreen::save_record);
    connect(cmdCancel, &QPushButton::clicked, this, &LoanEntryScreen::cancel_record);
    connect(cmdMain, &QPushButton::clicked, this, &LoanEntryScreen::menuRequested);
    LoanValues::applyBorrowerTypeRuleOnPick(cmbStatus, cmbSection);
}

StoreError LoanEntryScreen::openStore()
{
    dataBorrow = new RowSource(m_stores, QStringLiteral("tblBorrower"), this);
    dataBorrow->setObjectName(QStringLiteral("dataBorrow"));
    dataBorrow->setCaption(QStringLiteral("borrower"));
    auto *binder = new Binder(dataBorrow);
    binder->bind(txtAccessionNumber, QStringLiteral("AccessionNumber"));
    binder->bind(txtBookNumber, QStringLiteral("BookNumber"));
    binder->bind(txtBookTitle, QStringLiteral("BookTitle"));
    binder->bind(cmbCategory, QStringLiteral("Category"));
    binder->bind(txtBorrower, QStringLiteral("Borrower"));
    binder->bind(DTPicker1, QStringLiteral("DateBorrowed"));
    binder->bind(cmbStatus, QStringLiteral("Status"));
    binder->bind(cmbSection, QStringLiteral("Section"));
    // A long text shown from a row reads from its start, not its end, in the
    // lists too (a row shown again after a save keeps the text as typed).
    Form::showStartOfTexts(dataBorrow, {txtAccessionNumber, txtBookNumber, txtBookTitle, txtBorrower,
                                        cmbCategory->lineEdit(), cmbStatus->lineEdit(), cmbSection->lineEdit()});
    if (!dataBorrow->open())
        return dataBorrow->lastError();
    load();
    return {};
}

void LoanEntryScreen::load()
{
    setInputsEnabled(false);
    cmdAdd->setEnabled(true);
    cmdSave->setEnabled(false);
    cmdCancel->setEnabled(false);
    cmdMain->setEnabled(true);
}

void LoanEntryScreen::setInputsEnabled(bool enabled)
{
    for (QWidget *input : std::initializer_list<QWidget *>{txtAccessionNumber, txtBookNumber, txtBookTitle,
                                                            txtBorrower, DTPicker1, cmbCategory, cmbStatus,
                                                            cmbSection})
        input->setEnabled(enabled);
}

void LoanEntryScreen::editnew_validation()
{
    cmdAdd->setEnabled(false);
    cmdSave->setEnabled(true);
    cmdCancel->setEnabled(true);
    setInputsEnabled(true);
}

void LoanEntryScreen::normal_validation()
{
    cmdAdd->setEnabled(true);
    cmdSave->setEnabled(false);
    cmdCancel->setEnabled(false);
    setInputsEnabled(false);
}

void LoanEntryScreen::add_record()
{
    if (!dataBorrow->addNew()) {
        m_dialogs.showDatabaseError(dataBorrow->lastError());
        return;
    }
    // The picker starts on today's date, so what it shows is what is stored.
    DTPicker1->setNullableDate(Clock::today());
    editnew_validation();
    txtAccessionNumber->setFocus(Qt::OtherFocusReason);
}

bool LoanEntryScreen::isComplete() const
{
    // Only an empty text counts as missing; the borrower's name is optional.
    return !txtAccessionNumber->text().isEmpty() && !txtBookNumber->text().isEmpty()
           && !txtBookTitle->text().isEmpty() && DTPicker1->hasDate() && !cmbCategory->currentText().isEmpty()
           && !cmbStatus->currentText().isEmpty() && !cmbSection->currentText().isEmpty();
}

void LoanEntryScreen::save_record()
{
    if (!isComplete()) {
        m_dialogs.message(QStringLiteral("Please complete the Information below!"), QStringLiteral("error"),
                          Dialogs::Critical, Dialogs::Ok);
        return;
    }
    // A refused row stays open with every typed text, so it can be corrected.
    if (!dataBorrow->update()) {
        m_dialogs.showDatabaseError(dataBorrow->lastError(), this);
        return;
    }
    if (!dataBorrow->refresh() || !dataBorrow->moveFirst())
        m_dialogs.showDatabaseError(dataBorrow->lastError());
    normal_validation();
    m_dialogs.message(QStringLiteral("New Borrower has been successfully added!"), QStringLiteral("Save"),
                      Dialogs::Information, Dialogs::Ok);
}

void LoanEntryScreen::cancel_record()
{
    dataBorrow->cancelUpdate();
    if (!dataBorrow->moveFirst())
        m_dialogs.showDatabaseError(dataBorrow->lastError());
    normal_validation();
}
