#include "loans/returndeskscreen.h"

#include "loans/fines.h"
#include "loans/loanvalues.h"
#include "loans/valuelists.h"
#include "store/engine/storeerror.h"
#include "store/records/rowsource.h"
#include "store/search/criterion.h"
#include "ui/binder.h"
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

constexpr int Margin = 10;
constexpr int GroupTop = 60;

// The transaction group: two columns, each label above its input.
constexpr int TransactionWidth = 482;
constexpr int TransactionHeight = 312;
constexpr int ColumnLeft[] = {14, 248};
constexpr int ColumnWidth = 220;
constexpr int FirstRow = 48;
constexpr int RowPitch = 43;
constexpr int LabelHeight = 16;
constexpr int InputHeight = 24;

// The penalty group: one row each, the label left of its box.
constexpr int PenaltyWidth = 330;
constexpr int PenaltyHeight = 196;
constexpr int PenaltyFirstRow = 52;
constexpr int PenaltyPitch = 34;
constexpr int PenaltyLabelWidth = 110;
constexpr int PenaltyInputWidth = 186;

constexpr int ButtonWidth = 104;
constexpr int ButtonHeight = 34;
constexpr int ButtonGap = 10;

const QString Yes = QStringLiteral("Yes");

} // namespace

ReturnDeskScreen::ReturnDeskScreen(const StoreLocation &stores, Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_stores(stores), m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Form1"));
    centerWhenFirstShown(this);
    createLayout();
}

void ReturnDeskScreen::createLayout()
{
    setFixedSize(844, 382);
    // Browse mode shows a loan in disabled inputs; keep it easy to read.
    Theme::setBrowsePalette(this);

    Image1 = new Picture(QStringLiteral(":/assets/retrieve.svg"), this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAccessibleName(QStringLiteral("Returning of books"));
    Image1->setGeometry(rect());

    lblTitle = new QLabel(QStringLiteral("RETURNING OF BOOKS"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setGeometry(0, 0, width(), 48);
    lblTitle->setAlignment(Qt::AlignCenter);
    lblTitle->setStyleSheet(Theme::titleStyle());

    createTransactionGroup();
    createPenaltyGroup();
    createButtons();

    Form::setTabOrder({cmdEdit,     cmdSave,        cmdCancel,          cmdMain,       cmdFind,
                       txtfines,    cmbOverdueDays, txtdays,            txtDaysBorrow, cmbCondition,
                       cmbStatus,   cmbSection,     cmbCategory,        DTPicker2,     cmbRemarks,
                       txtAccessionNumber, txtBookNumber, txtBookTitle, txtBorrower,   DTPicker1});

    LoanValues::applyBorrowerTypeRuleOnPick(cmbStatus, cmbSection);
    connect(LoanValues::ListPicks::of(cmbOverdueDays), &LoanValues::ListPicks::picked, this,
            &ReturnDeskScreen::overdue_pick);
    connect(txtdays, &QLineEdit::textChanged, this, &ReturnDeskScreen::days_changed);
}

namespace {

// A label and the input it names (its buddy, so its text reaches readers).
template <typename Input>
void makeLabelled(QLabel *&label, const char *labelName, const QString &caption, Input *&input,
                  const char *inputName, QWidget *group)
{
    Form::labelled(label, {labelName, caption, Theme::labelStyle(9)}, input, inputName, group);
    input->setFont(Theme::font(9.5));
}

void makeHeading(QLabel *&member, const char *name, const QString &caption, QWidget *group)
{
    member = new QLabel(caption, group);
    member->setObjectName(QLatin1String(name));
    member->setStyleSheet(Theme::labelStyle(10));
    member->setGeometry(12, FramedPanel::HeadingHeight + 4, group->width() - 24, 18);
}

} // namespace

void ReturnDeskScreen::createTransactionGroup()
{
    AeroGroupBox2 = new FramedPanel(QStringLiteral("AeroGroupBox2"), this);
    AeroGroupBox2->setObjectName(QStringLiteral("AeroGroupBox2"));
    AeroGroupBox2->setGeometry(Margin, GroupTop, TransactionWidth, TransactionHeight);
    makeHeading(lblTransactionDetails, "lblTransactionDetails", QStringLiteral("TRANSACTION DETAILS"), AeroGroupBox2);

    QWidget *g = AeroGroupBox2;
    auto place = [](QLabel *label, QWidget *input, int column, int row) {
        const int top = FirstRow + row * RowPitch;
        label->setGeometry(ColumnLeft[column], top, ColumnWidth, LabelHeight);
        input->setGeometry(ColumnLeft[column], top + LabelHeight + 1, ColumnWidth, InputHeight);
    };

    makeLabelled(lblStatus, "lblStatus", QStringLiteral("Type of Borrower"), cmbStatus, "cmbStatus", g);
    place(lblStatus, cmbStatus, 0, 0);
    LoanValues::setUpList(cmbStatus, LoanValues::borrowerTypes(), QStringLiteral("Select Type..."));
    makeLabelled(lblSection, "lblSection", QStringLiteral("Section"), cmbSection, "cmbSection", g);
    place(lblSection, cmbSection, 0, 1);
    LoanValues::setUpList(cmbSection, LoanValues::sections(), QStringLiteral("Select section"));
    makeLabelled(lblBorrower, "lblBorrower", QStringLiteral("Borrower"), txtBorrower, "txtBorrower", g);
    place(lblBorrower, txtBorrower, 0, 2);
    makeLabelled(lblAccessionNumber, "lblAccessionNumber", QStringLiteral("Accession Number"), txtAccessionNumber,
                 "txtAccessionNumber", g);
    place(lblAccessionNumber, txtAccessionNumber, 0, 3);
    makeLabelled(lblBookTitle, "lblBookTitle", QStringLiteral("Book Title"), txtBookTitle, "txtBookTitle", g);
    place(lblBookTitle, txtBookTitle, 0, 4);
    makeLabelled(lblBookNumber, "lblBookNumber", QStringLiteral("Book Number"), txtBookNumber, "txtBookNumber", g);
    place(lblBookNumber, txtBookNumber, 0, 5);

    makeLabelled(lblDateBorrowed, "lblDateBorrowed", QStringLiteral("Date Borrowed"), DTPicker1, "DTPicker1", g);
    place(lblDateBorrowed, DTPicker1, 1, 0);
    makeLabelled(lblCategory, "lblCategory", QStringLiteral("Book Category"), cmbCategory, "cmbCategory", g);
    place(lblCategory, cmbCategory, 1, 1);
    LoanValues::setUpList(cmbCategory, LoanValues::categories(), QStringLiteral("Select a category.."));
    makeLabelled(lblDateReturned, "lblDateReturned", QStringLiteral("Date Returned"), DTPicker2, "DTPicker2", g);
    place(lblDateReturned, DTPicker2, 1, 2);
    DTPicker1->setDialogs(m_dialogs);
    DTPicker2->setDialogs(m_dialogs);
    makeLabelled(lblRemarks, "lblRemarks", QStringLiteral("Remarks"), cmbRemarks, "cmbRemarks", g);
    place(lblRemarks, cmbRemarks, 1, 3);
    LoanValues::setUpList(cmbRemarks, {QStringLiteral("Returned"), QStringLiteral("Not yet Returned")}, QString());
    makeLabelled(lblCondition, "lblCondition", QStringLiteral("Condition"), cmbCondition, "cmbCondition", g);
    place(lblCondition, cmbCondition, 1, 4);
    LoanValues::setUpList(cmbCondition, {QStringLiteral("OK"), QStringLiteral("Damage"), QStringLiteral("Lost")},
                          QStringLiteral("Select a condition.."));
}

void ReturnDeskScreen::createPenaltyGroup()
{
    AeroGroupBox1 = new FramedPanel(QStringLiteral("Penalty"), this);
    AeroGroupBox1->setObjectName(QStringLiteral("AeroGroupBox1"));
    AeroGroupBox1->setGeometry(width() - Margin - PenaltyWidth, GroupTop, PenaltyWidth, PenaltyHeight);
    makeHeading(lblPenalty, "lblPenalty", QStringLiteral("PENALTY"), AeroGroupBox1);

    QWidget *g = AeroGroupBox1;
    auto place = [](QLabel *label, QWidget *input, int row) {
        const int top = PenaltyFirstRow + row * PenaltyPitch;
        label->setGeometry(14, top, PenaltyLabelWidth, InputHeight + 2);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        input->setGeometry(14 + PenaltyLabelWidth + 4, top, PenaltyInputWidth, InputHeight + 2);
    };

    makeLabelled(lblDaysBorrow, "lblDaysBorrow", QStringLiteral("Days:"), txtDaysBorrow, "txtDaysBorrow", g);
    place(lblDaysBorrow, txtDaysBorrow, 0);
    makeLabelled(lblOverdueDays, "lblOverdueDays", QStringLiteral("Overdue days:"), cmbOverdueDays, "cmbOverdueDays",
                 g);
    place(lblOverdueDays, cmbOverdueDays, 1);
    LoanValues::setUpList(cmbOverdueDays, {Yes, QStringLiteral("No")}, QString());
    makeLabelled(lblDays, "lblDays", QStringLiteral("Days:"), txtdays, "txtdays", g);
    place(lblDays, txtdays, 2);
    // Both boxes show "Days:"; read out alone, each says which days it holds.
    txtDaysBorrow->setAccessibleName(QStringLiteral("Days borrowed"));
    txtdays->setAccessibleName(QStringLiteral("Overdue days"));
    makeLabelled(lblFines, "lblFines", QStringLiteral("Fines:"), txtfines, "txtfines", g);
    place(lblFines, txtfines, 3);
}

void ReturnDeskScreen::createButtons()
{
    const int left = AeroGroupBox1->x();
    const int firstRow = AeroGroupBox1->geometry().bottom() + 1 + 12;
    auto button = [&](PushButton *&member, const char *name, const QString &caption, int column, int row) {
        member = new PushButton(caption, this);
        member->setObjectName(QLatin1String(name));
        member->setGeometry(left + column * (ButtonWidth + (PenaltyWidth - 3 * ButtonWidth) / 2),
                            firstRow + row * (ButtonHeight + ButtonGap), ButtonWidth, ButtonHeight);
    };
    button(cmdFind, "cmdFind", QStringLiteral("Find Record"), 0, 0);
    button(cmdEdit, "cmdEdit", QStringLiteral("Edit Record"), 1, 0);
    button(cmdSave, "cmdSave", QStringLiteral("Save"), 2, 0);
    button(cmdCancel, "cmdCancel", QStringLiteral("Cancel"), 0, 1);
    button(cmdMain, "cmdMain", QStringLiteral("Main"), 1, 1);

    connect(cmdFind, &QPushButton::clicked, this, &ReturnDeskScreen::find_record);
    connect(cmdEdit, &QPushButton::clicked, this, &ReturnDeskScreen::edit_record);
    connect(cmdSave, &QPushButton::clicked, this, &ReturnDeskScreen::save_record);
    connect(cmdCancel, &QPushButton::clicked, this, &ReturnDeskScreen::cancel_record);
    // A pending edit is left to the record source, which stores nothing.
    connect(cmdMain, &QPushButton::clicked, this, &ReturnDeskScreen::menuRequested);
}

StoreError ReturnDeskScreen::openStore()
{
    // No navigation bar: a loan is reached only by Find Record.
    dataRetrieve = new RowSource(m_stores, QStringLiteral("tblBorrower"), this);
    dataRetrieve->setObjectName(QStringLiteral("dataRetrieve"));
    dataRetrieve->setCaption(QStringLiteral("dataRetrieve"));
    auto *binder = new Binder(dataRetrieve);
    binder->bind(cmbStatus, QStringLiteral("Status"));
    binder->bind(cmbSection, QStringLiteral("Section"));
    binder->bind(txtBorrower, QStringLiteral("Borrower"));
    binder->bind(txtAccessionNumber, QStringLiteral("AccessionNumber"));
    binder->bind(txtBookTitle, QStringLiteral("BookTitle"));
    binder->bind(txtBookNumber, QStringLiteral("BookNumber"));
    binder->bind(DTPicker1, QStringLiteral("DateBorrowed"));
    binder->bind(cmbCategory, QStringLiteral("Category"));
    binder->bind(DTPicker2, QStringLiteral("DateReturned"));
    binder->bind(cmbRemarks, QStringLiteral("Remarks"));
    binder->bind(cmbCondition, QStringLiteral("Condition"));
    binder->bind(txtDaysBorrow, QStringLiteral("DaysBorrowed"));
    binder->bind(cmbOverdueDays, QStringLiteral("Overduedays"));
    // The fines box is filled after the days box: showing a row's days runs
    // the fines rule, and the row's stored fine then takes its place.
    binder->bind(txtdays, QStringLiteral("howmanydays"));
    binder->bind(txtfines, QStringLiteral("fines"));
    // A long text shown from a row reads from its start, not its end, in the
    // lists too (a row shown again after a save keeps the text as typed).
    Form::showStartOfTexts(dataRetrieve, {txtAccessionNumber, txtBookNumber, txtBookTitle, txtBorrower,
                                          txtDaysBorrow, txtdays, txtfines, cmbCategory->lineEdit(),
                                          cmbStatus->lineEdit(), cmbSection->lineEdit(), cmbRemarks->lineEdit(),
                                          cmbCondition->lineEdit()});
    if (!dataRetrieve->open())
        return dataRetrieve->lastError();
    load();
    return {};
}

void ReturnDeskScreen::load()
{
    setInputsEnabled(false);
    cmdFind->setEnabled(true);
    cmdMain->setEnabled(true);
    cmdEdit->setEnabled(false);
    cmdSave->setEnabled(false);
    cmdCancel->setEnabled(false);
    for (QWidget *penalty : std::initializer_list<QWidget *>{lblDays, lblFines, txtdays, txtfines})
        penalty->hide();
    txtfines->setEnabled(false);
    txtdays->setEnabled(false);
}

void ReturnDeskScreen::setInputsEnabled(bool enabled)
{
    for (QWidget *input : std::initializer_list<QWidget *>{
             txtAccessionNumber, txtBookNumber, txtBookTitle, txtBorrower, txtDaysBorrow, DTPicker1, DTPicker2,
             cmbRemarks, cmbCategory, cmbStatus, cmbSection, cmbCondition, cmbOverdueDays})
        input->setEnabled(enabled);
}

void ReturnDeskScreen::editnew_validation()
{
    cmdFind->setEnabled(false);
    cmdCancel->setEnabled(true);
    cmdSave->setEnabled(true);
    cmdMain->setEnabled(true);
    setInputsEnabled(true);
}

void ReturnDeskScreen::normal_validation()
{
    cmdCancel->setEnabled(false);
    cmdMain->setEnabled(true);
    cmdEdit->setEnabled(false);
    setInputsEnabled(false);
}

void ReturnDeskScreen::find_record()
{
    const QString typed =
        m_dialogs.prompt(QStringLiteral("enter accession number"), QStringLiteral("Search"));
    // The typed text is matched as it is: a quote or a star in it is a
    // character of the accession number, never part of the criterion.
    const QString criterion = Criterion::build(QStringLiteral("AccessionNumber"),
                                               QStringLiteral("*") + Criterion::literal(typed) + QStringLiteral("*"));
    if (!dataRetrieve->findFirst(criterion)) {
        m_dialogs.showDatabaseError(dataRetrieve->lastError());
        return;
    }
    if (dataRetrieve->noMatch()) {
        m_dialogs.message(QStringLiteral("No recod found!!"), QStringLiteral("Error"), Dialogs::Critical,
                          Dialogs::Ok);
        return;
    }
    if (typed.isEmpty()) {
        m_dialogs.message(QStringLiteral("Enter record first!"), Dialogs::applicationTitle(),
                          Dialogs::NoIcon, Dialogs::Ok);
        return;
    }
    // The find has made the found row current, and that is the row to edit.
    // Finding it a second time would only repeat a scan that no index can
    // shorten, and the last-modified row is never a row asked for here.
    cmdEdit->setEnabled(true);
    cmdCancel->setEnabled(true);
    cmdFind->setEnabled(false);
}

void ReturnDeskScreen::showFoundAgain()
{
    normal_validation();
    cmdSave->setEnabled(false);
    cmdFind->setEnabled(false);
    cmdEdit->setEnabled(dataRetrieve->hasCurrent());
    cmdCancel->setEnabled(true);
}

void ReturnDeskScreen::edit_record()
{
    if (!dataRetrieve->edit()) {
        m_dialogs.showDatabaseError(dataRetrieve->lastError());
        return;
    }
    editnew_validation();
    cmdEdit->setEnabled(false);
}

bool ReturnDeskScreen::refuseIncomplete()
{
    // Only a text of length zero is missing; the first failing check speaks.
    auto refuse = [this](const QString &text, const QString &title, Dialogs::Icon icon) {
        m_dialogs.message(text, title, icon, Dialogs::Ok);
        return true;
    };
    if (txtDaysBorrow->text().isEmpty() || cmbCondition->currentText().isEmpty())
        return refuse(QStringLiteral("Please fill up the require information!"), QStringLiteral("error"),
                      Dialogs::Critical);
    if (cmbRemarks->currentText().isEmpty())
        return refuse(QStringLiteral("Please fill up the Remarks!"), Dialogs::applicationTitle(), Dialogs::NoIcon);
    if (!DTPicker2->hasDate())
        return refuse(QStringLiteral("Please fill up the Date it was returned!"), Dialogs::applicationTitle(),
                      Dialogs::NoIcon);
    return false;
}

void ReturnDeskScreen::save_record()
{
    if (!refuseIncomplete()) {
        // A refused write keeps the row in edit mode with every change on
        // the screen, and Save usable, so the librarian can put it right.
        if (!dataRetrieve->update()) {
            // Over this screen: at a second desk the box names a conflict
            // with another desk, and belongs with the loan it is about.
            m_dialogs.showDatabaseError(dataRetrieve->lastError(), this);
            // Another desk changed the loan meanwhile: the source shows it as
            // stored, and the librarian may edit that afresh.
            if (dataRetrieve->lastError().kind() == StoreError::Kind::Conflict)
                showFoundAgain();
            return;
        }
        // The stored change is announced by the record source; the loan
        // list reads its rows again on that, made unseen if need be.
        if (!dataRetrieve->refresh()) // reopens on the first row
            m_dialogs.showDatabaseError(dataRetrieve->lastError());
        normal_validation();
        m_dialogs.message(QStringLiteral("Record successfully updated!"), QStringLiteral("save"),
                          Dialogs::Information, Dialogs::Ok);
    }
    cmdMain->setEnabled(true);
    cmdFind->setEnabled(true);
    cmdSave->setEnabled(false);
}

void ReturnDeskScreen::cancel_record()
{
    // With nothing pending (right after a find) there is nothing to drop.
    dataRetrieve->cancelUpdate();
    if (!dataRetrieve->moveFirst())
        m_dialogs.showDatabaseError(dataRetrieve->lastError());
    normal_validation();
    cmdMain->setEnabled(true);
    cmdFind->setEnabled(true);
    cmdSave->setEnabled(false);
}

void ReturnDeskScreen::overdue_pick()
{
    // Hidden boxes keep their texts, and a save stores them as they are.
    const bool overdue = cmbOverdueDays->currentText() == Yes;
    for (QWidget *penalty : std::initializer_list<QWidget *>{lblDays, lblFines, txtdays, txtfines})
        penalty->setVisible(overdue);
    txtfines->setEnabled(overdue);
    txtdays->setEnabled(overdue);
}

void ReturnDeskScreen::days_changed()
{
    // Beyond the double range there is no fine to show: the box is emptied.
    txtfines->setText(Fines::fineFor(txtdays->text()));
}
