// The loan entry and the loan list, driven through their controls as the
// librarian would, with what the loan store then holds checked from outside.
#include "testsupport.h"

#include "catalogue/loanlistscreen.h"
#include "catalogue/reportpreview.h"
#include "loans/loanentryscreen.h"
#include "loans/loanvalues.h"
#include "store/records/querysource.h"
#include "ui/navigationbar.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTimer>

#include <optional>

namespace {

const QString Loans = QStringLiteral("tblBorrower");
const QString Incomplete = QStringLiteral("Please complete the Information below!");
const QString Saved = QStringLiteral("New Borrower has been successfully added!");

// The loan entry's inputs in the order fill() types them (the section goes
// before the borrower type, which may disable it), with their fields.
enum Input { InAccession, InBookNumber, InTitle, InBorrower, InCategory, InSection, InStatus, InDate };
const char *const Inputs[] = {"txtAccessionNumber", "txtBookNumber", "txtBookTitle", "txtBorrower",
                              "cmbCategory",        "cmbSection",    "cmbStatus",    "DTPicker1"};
const char *const Fields[] = {"AccessionNumber", "BookNumber", "BookTitle", "Borrower", "Category", "Section", "Status", "DateBorrowed"};

// A complete loan's texts, by Input.
const QStringList ALoan{"A-1001", "BN-77", "Noli Me Tangere", "Maria Santos", "FICTION", "2ICT1", "Student"};

QWidget *input(const QWidget *s, int i) { return control<QWidget>(s, Inputs[i]); }
void click(const QWidget *s, const char *name) { control<PushButton>(s, name)->click(); }

// The loan entry, with a new row open when `add` is set.
LoanEntryScreen *openEntry(bool add = false)
{
    auto *screen = qobject_cast<LoanEntryScreen *>(Navigator::instance().open(QStringLiteral("frmAddRecord")));
    if (screen && add)
        click(screen, "cmdAdd");
    return screen;
}

LoanListScreen *openList() { return qobject_cast<LoanListScreen *>(Navigator::instance().open(QStringLiteral("frmList"))); }

// Types every text of `loan` into the open row; an empty text is left
// untyped. The borrower type is picked when it is one of the list's items.
void fill(LoanEntryScreen *screen, const QStringList &loan)
{
    for (int i = InAccession; i < InDate; ++i) {
        if (i == InStatus && LoanValues::borrowerTypes().contains(loan.at(i)))
            pick(control<QComboBox>(screen, "cmbStatus"), loan.at(i));
        else
            type(input(screen, i), loan.at(i));
    }
}

// Browse mode, or with `newRow` an open row (where the section may be off).
bool inMode(LoanEntryScreen *s, bool newRow)
{
    for (int i = InAccession; i <= InDate; ++i)
        if (input(s, i)->isEnabled() != newRow && !(newRow && i == InSection))
            return false;
    return control<PushButton>(s, "cmdAdd")->isEnabled() != newRow && control<PushButton>(s, "cmdSave")->isEnabled() == newRow
           && control<PushButton>(s, "cmdCancel")->isEnabled() == newRow && control<PushButton>(s, "cmdMain")->isEnabled();
}

// The texts of the inputs, the date as ISO text.
QStringList shownTexts(LoanEntryScreen *s)
{
    QStringList texts;
    for (int i = InAccession; i < InDate; ++i)
        texts << input(s, i)->property(i >= InCategory ? "currentText" : "text").toString();
    return texts << control<DatePicker>(s, "DTPicker1")->nullableDate().toString(Qt::ISODate);
}

// The stored loan's texts, by Input.
QStringList stored(const QVariantMap &row)
{
    QStringList texts;
    for (const char *field : Fields)
        texts << row.value(field).toString();
    return texts;
}

void addLoans(TestData &data, int count)
{
    QSqlDatabase db = data.observe(DeskFile);
    db.transaction();
    for (int i = 1; i <= count; ++i)
        insertLoan(data, QStringLiteral("A-%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("Title %1").arg(i));
    db.commit();
}

QStringList accessionNumbers(LoanListScreen *list)
{
    QStringList result;
    QAbstractItemModel *model = control<QTableView>(list, "DataGrid1")->model();
    for (int row = 0; row < model->rowCount(); ++row)
        result << model->index(row, 0).data().toString();
    return result;
}

// Each loan's identity and version, in row order, as "identity:version".
QStringList identities(TestData &data)
{
    QStringList rows;
    QSqlQuery q(data.observe(DeskFile));
    q.exec(QStringLiteral("SELECT \"_id\", \"_version\" FROM \"tblBorrower\" ORDER BY \"_id\""));
    while (q.next())
        rows << q.value(0).toString() + QLatin1Char(':') + q.value(1).toString();
    return rows;
}

// The admin tool run on the desk's data folder; its exit code.
int admin(TestData &data, const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(ADMIN_PROGRAM), QStringList{QStringLiteral("--data"), data.folder()} + arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

bool holdsFocus(const QWidget *w)
{
    return w == QApplication::focusWidget() || w->isAncestorOf(QApplication::focusWidget());
}

// Tabs on from the focused control through `order`; the name of the first
// control missed, or empty.
QString tabThrough(const QList<QWidget *> &order)
{
    for (QWidget *next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (!holdsFocus(next))
            return next->objectName();
    }
    return QString();
}

} // namespace

class LoansTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init() { data.emplace(); dialogs = &data->dialogs; }
    // Every screen goes before the data folder does, also when a check ends a
    // test early.
    void cleanup()
    {
        closeAllScreens();
        data.reset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // A new row starts blank on today; Cancel drops it; a refused save keeps
    // it open with every typed text; Main leaves it unsaved. A hidden loan
    // list shows the saved loan when it is opened.
    void shouldAddALoanOnlyOnceItIsCompleteAndTheStoreFree()
    {
        insertLoan(*data, QStringLiteral("A-1"), QStringLiteral("First title"), QStringLiteral("First reader"));
        insertLoan(*data, QStringLiteral("A-2"), QStringLiteral("Second title"));
        const QStringList first = stored(data->rows(DeskFile, Loans).first());
        auto *hidden = Navigator::instance().createAs<LoanListScreen>(QStringLiteral("frmList"));
        QCOMPARE(control<QTableView>(hidden, "DataGrid1")->model()->rowCount(), 2); // loaded before the save
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(screen);
        QVERIFY(inMode(screen, true));
        const QString today = QDate::currentDate().toString(Qt::ISODate);
        QCOMPARE(shownTexts(screen), QStringList(InDate, QString()) << today);
        fill(screen, ALoan);
        click(screen, "cmdCancel");
        QVERIFY(inMode(screen, false));
        QCOMPARE(shownTexts(screen), first);

        click(screen, "cmdAdd");
        QStringList loan = ALoan;
        loan[InAccession].clear();
        fill(screen, loan);
        QStringList typed = shownTexts(screen);
        click(screen, "cmdSave");
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Critical);
        QCOMPARE(dialogs->boxes.first().text, Incomplete);
        QCOMPARE(data->count(DeskFile, Loans), 2);
        QVERIFY(inMode(screen, true));
        QCOMPARE(shownTexts(screen), typed);

        type(input(screen, InAccession), ALoan.at(InAccession));
        typed = shownTexts(screen);
        QVERIFY(data->holdDeskStore());
        click(screen, "cmdSave");
        QVERIFY(data->releaseDeskStore());
        QCOMPARE(dialogs->boxes.size(), 2);
        QCOMPARE(dialogs->boxes.last().icon, Dialogs::Critical);
        // The engine's text comes with a sentence that names the store.
        QVERIFY2(dialogs->boxes.last().text.contains("busy with another"), qPrintable(dialogs->boxes.last().text));
        QVERIFY(dialogs->boxes.last().text.contains(data->busySentence()));
        QCOMPARE(data->count(DeskFile, Loans), 2);
        QVERIFY(inMode(screen, true));
        QCOMPARE(shownTexts(screen), typed);

        click(screen, "cmdSave");
        QCOMPARE(dialogs->boxes.last().text, Saved);
        QCOMPARE(stored(data->rows(DeskFile, Loans).value(2)), QStringList(ALoan) << today);
        QCOMPARE(shownTexts(screen), first); // the first loan again
        QVERIFY(!hidden->isVisible());

        // Leaving for the menu with an open row drops it.
        click(screen, "cmdAdd");
        fill(screen, ALoan);
        click(screen, "cmdMain");
        QTRY_VERIFY(!Navigator::instance().existing(QStringLiteral("frmAddRecord")));
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu")));
        QCOMPARE(dialogs->boxes.size(), 3);
        QCOMPARE(openList(), hidden);
        QCOMPARE(accessionNumbers(hidden), (QStringList{"A-1", "A-2", "A-1001"}));
    }

    void shouldStoreTheEightFieldsAsTypedAndLeaveTheRestEmpty_data()
    {
        QTest::addColumn<QStringList>("loan");
        QTest::newRow("hand-typed list texts")
            << QStringList{"A-1003", "BN-79", "   ", "J. Cruz", "fiction (paperback)", "3ICT9", "Visitor"};
        for (const char *text : {"O'Brien's \"Dune\"; DROP TABLE tblBorrower;--", "100% *done* _x_ [a] #1 ?",
                                 "Ελληνικά Кириллица 日本語 Ñandú"}) {
            const QString t = QString::fromUtf8(text);
            QTest::newRow(text) << QStringList{t, "BN-1", t, t, t, "2ICT1", "Student"};
        }
        QTest::newRow("long category")
            << QStringList{"A-1004", "BN-80", "Gödel, Escher, Bach", "R. Reyes", "SCIENCE(Computer Books & Math)",
                           "4ICT2", "Student"};
        // The limit counts characters, as the store does, not UTF-16 units.
        QTest::newRow("255 characters beyond the BMP")
            << QStringList{"A-1", "BN-1", QStringLiteral("📚").repeated(255), "J. Cruz", "FICTION", "2ICT1", "Student"};
    }

    void shouldStoreTheEightFieldsAsTypedAndLeaveTheRestEmpty()
    {
        QFETCH(QStringList, loan);
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(screen);
        fill(screen, loan);
        input(screen, InDate)->setFocus();
        control<DatePicker>(screen, "DTPicker1")->setNullableDate(QDate(2026, 3, 7));
        input(screen, InBookNumber)->setFocus(); // leaving the lists finishes their edits
        click(screen, "cmdSave");
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, Saved);
        const auto rows = data->rows(DeskFile, Loans);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(stored(rows.first()), QStringList(loan) << "2026-03-07");
        for (const char *untouched : {"Remarks", "DateReturned", "Condition", "DaysBorrowed", "Overduedays",
                                      "howmanydays", "fines"})
            QVERIFY2(rows.first().value(untouched).isNull(), untouched);
        // The saved loan, the only one, is shown in browse mode.
        QVERIFY(inMode(screen, false));
        QCOMPARE(shownTexts(screen).mid(0, InDate), loan);
        // The lists show their texts from the start, however they were typed.
        for (int i : {InCategory, InSection, InStatus})
            QCOMPARE(control<QComboBox>(screen, Inputs[i])->lineEdit()->cursorPosition(), 0);
    }

    // Each required input on its own: the rest complete, the save is
    // refused and nothing stored; the borrower's name alone may be left out.
    void shouldRefuseASaveLackingAnyOneRequiredInput_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<bool>("refused");
        QTest::newRow("accession number") << int(InAccession) << true;
        QTest::newRow("book number") << int(InBookNumber) << true;
        QTest::newRow("book title") << int(InTitle) << true;
        QTest::newRow("category") << int(InCategory) << true;
        QTest::newRow("section") << int(InSection) << true;
        QTest::newRow("borrower type") << int(InStatus) << true;
        QTest::newRow("date borrowed") << int(InDate) << true;
        QTest::newRow("borrower's name") << int(InBorrower) << false;
    }

    void shouldRefuseASaveLackingAnyOneRequiredInput()
    {
        QFETCH(int, left);
        QFETCH(bool, refused);
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(QTest::qWaitForWindowActive(screen));
        QStringList loan = ALoan;
        if (left < InDate)
            loan[left].clear();
        fill(screen, loan);
        if (left == InDate) { // emptied as the user does: all of it selected, Delete
            auto *picker = control<DatePicker>(screen, "DTPicker1");
            picker->setFocus();
            picker->selectAll();
            QTest::keyClick(picker, Qt::Key_Delete);
            QVERIFY(!picker->hasDate());
        }
        click(screen, "cmdSave");
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, refused ? Incomplete : Saved);
        QCOMPARE(data->count(DeskFile, Loans), refused ? 0 : 1);
        QCOMPARE(inMode(screen, refused), true);
    }

    void shouldDisableTheSectionOnlyWhenStaffIsPickedAndStillRequireIt()
    {
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(QTest::qWaitForWindowActive(screen));
        auto *status = control<QComboBox>(screen, "cmbStatus");
        status->setFocus();
        // Typing an item, even finishing the edit with Enter, is not picking it.
        type(status, "Staff");
        QTest::keyClick(status->lineEdit(), Qt::Key_Return);
        QVERIFY(input(screen, InSection)->isEnabled());
        status->lineEdit()->clear();
        QStringList loan = ALoan;
        loan[InSection].clear();
        loan[InStatus] = QStringLiteral("Staff");
        fill(screen, loan);
        QVERIFY(!input(screen, InSection)->isEnabled());
        click(screen, "cmdSave");
        QCOMPARE(dialogs->boxes.first().text, Incomplete);
        pick(status, QStringLiteral("Student"));
        QVERIFY(input(screen, InSection)->isEnabled());
        type(input(screen, InSection), QStringLiteral("1ICT3"));
        pick(status, QStringLiteral("Staff"));
        click(screen, "cmdSave");
        QCOMPARE(dialogs->boxes.last().text, Saved);
        QCOMPARE(stored(data->rows(DeskFile, Loans).value(0)).mid(InSection, 2), (QStringList{"1ICT3", "Staff"}));
    }

    void shouldShowGridDatesInTheLocalesShortDate_data() { addLoanDateRows(); }

    void shouldShowGridDatesInTheLocalesShortDate()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, borrowed);
        QFETCH(QString, returned);
        insertLoan(*data, QStringLiteral("A-1"));
        data->exec(DeskFile, QStringLiteral("UPDATE tblBorrower SET DateReturned = '2026-10-15'"));
        QLocale::setDefault(locale);
        LoanListScreen *list = openList();
        QAbstractItemModel *grid = control<QTableView>(list, "DataGrid1")->model();
        auto cell = [grid](const char *field) {
            for (int column = 0; column < grid->columnCount(); ++column)
                if (grid->headerData(column, Qt::Horizontal).toString() == QLatin1String(field))
                    return grid->index(0, column).data().toString();
            return QStringLiteral("no column %1").arg(QLatin1String(field));
        };
        QCOMPARE(cell("DateBorrowed"), borrowed);
        QCOMPARE(cell("DateReturned"), returned);
    }

    void shouldDeleteOnlyTheClickedLoanOnlyOnYesAndPrintTheRest()
    {
        addLoans(*data, 5);
        const QList<QVariantMap> all = data->rows(DeskFile, Loans);
        const QStringList versions = identities(*data);
        LoanListScreen *list = openList();
        QVERIFY(QTest::qWaitForWindowExposed(list));
        auto *grid = control<QTableView>(list, "DataGrid1");
        QCOMPARE(grid->model()->index(0, 5).data().toString(), QStringLiteral("11/2/2026"));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(2, 2)).center());
        QStringList left{"A-0001", "A-0002", "A-0003", "A-0004", "A-0005"};
        for (const Dialogs::Answer answer : {Dialogs::AnswerNo, Dialogs::AnswerYes}) {
            dialogs->answers << answer;
            click(list, "cmdDelete");
            QCOMPARE(dialogs->boxes.last().text,
                     QStringLiteral("Are you sure you want to delete this record?Data is not recoverable."));
            QCOMPARE(dialogs->boxes.last().buttons, Dialogs::YesNo);
            if (answer == Dialogs::AnswerYes)
                left.removeAt(2);
            QCOMPARE(data->column(DeskFile, Loans, QStringLiteral("AccessionNumber")), left);
            QCOMPARE(accessionNumbers(list), left);
        }

        // The modal report prints every loan left, one a page.
        QString title;
        int pages = 0;
        QTimer::singleShot(0, [&] {
            if (auto *preview = qobject_cast<ReportPreview *>(QApplication::activeModalWidget())) {
                title = preview->windowTitle();
                pages = preview->pageCount();
                preview->close();
            }
        });
        click(list, "jcbutton1");
        QCOMPARE(title, QStringLiteral("DataReport2"));
        QCOMPARE(pages, 4);

        // "Not recoverable" on the screen, but the admin tool brings the
        // loan back from the history: the same row, its version moved on,
        // shown when the list is opened again.
        QCOMPARE(admin(*data, {QStringLiteral("undelete"), QStringLiteral("A-0003")}), 0);
        QCOMPARE(data->rows(DeskFile, Loans), all);
        QStringList moved = versions;
        moved[2] = moved.at(2).section(':', 0, 0) + ':' + QString::number(moved.at(2).section(':', 1).toInt() + 1);
        QCOMPARE(identities(*data), moved);
        list->close();
        flushDeletes();
        QCOMPARE(accessionNumbers(openList()), (QStringList{"A-0001", "A-0002", "A-0003", "A-0004", "A-0005"}));
    }

    void shouldWalkTheLoanEntryAndTheListWithTabInTheirOrder()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        LoanEntryScreen *e = openEntry(true);
        QVERIFY(QTest::qWaitForWindowActive(e));
        QTRY_VERIFY(holdsFocus(input(e, InAccession)));
        // Add is off while a row is open, so Tab passes it by; the date
        // picker is left by Tab like every other input.
        QList<QWidget *> order;
        for (const char *name : {"txtBookNumber", "txtBookTitle", "txtBorrower", "cmbCategory", "cmbStatus",
                                 "cmbSection", "DTPicker1", "cmdMain", "cmdSave", "cmdCancel"})
            order << control<QWidget>(e, name);
        QCOMPARE(tabThrough(order), QString());
        // Space on a focused button presses it.
        QTest::keyClick(control<PushButton>(e, "cmdCancel"), Qt::Key_Space);
        QVERIFY(control<PushButton>(e, "cmdAdd")->isEnabled());

        click(e, "cmdMain");
        LoanListScreen *list = openList();
        QVERIFY(QTest::qWaitForWindowActive(list));
        QTRY_VERIFY(holdsFocus(control<PushButton>(list, "cmdMain")));
        order = {control<PushButton>(list, "cmdDelete"), control<PushButton>(list, "jcbutton1"), control<QTableView>(list, "DataGrid1")};
        for (QToolButton *arrow : control<NavigationBar>(list, "Adodc1Bar")->arrows())
            order << arrow;
        QCOMPARE(tabThrough(order << control<PushButton>(list, "cmdMain")), QString());
    }

private:
    // Fresh for each test function and each row of its table.
    std::optional<DeskData> data;
    FakeDialogs *dialogs = nullptr;
};

QTEST_MAIN(LoansTest)
#include "tst_loans.moc"
