// The loan entry and the loan list, driven through their controls as the
// librarian would, with what the loan store then holds checked from outside.
#include "testsupport.h"

#include "catalogue/loanlistscreen.h"
#include "catalogue/reportpreview.h"
#include "loans/loanentryscreen.h"
#include "loans/loanvalues.h"
#include "store/querysource.h"
#include "ui/navigationbar.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
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
const QStringList Fields{"AccessionNumber", "BookNumber", "BookTitle", "Borrower", "Category", "Section", "Status"};

// A complete loan's texts, by Input.
const QStringList ALoan{"A-1001", "BN-77", "Noli Me Tangere", "Maria Santos", "FICTION", "2ICT1", "Student"};

QList<QWidget *> inputs(LoanEntryScreen *s)
{
    return {control<QLineEdit>(s, "txtAccessionNumber"), control<QLineEdit>(s, "txtBookNumber"), control<QLineEdit>(s, "txtBookTitle"), control<QLineEdit>(s, "txtBorrower"),
            control<QComboBox>(s, "cmbCategory"),        control<QComboBox>(s, "cmbSection"),    control<QComboBox>(s, "cmbStatus"),    control<DatePicker>(s, "DTPicker1")};
}

// The loan entry, with a new row open when `add` is set.
LoanEntryScreen *openEntry(bool add = false)
{
    auto *screen = qobject_cast<LoanEntryScreen *>(Navigator::instance().open(QStringLiteral("frmAddRecord")));
    if (screen && add)
        control<PushButton>(screen, "cmdAdd")->click();
    return screen;
}

// Types every text of `loan` into the open row; an empty text is left
// untyped. The borrower type is picked when it is one of the list's items.
void fill(LoanEntryScreen *screen, const QStringList &loan)
{
    for (int i = InAccession; i < InDate; ++i) {
        if (i == InStatus && LoanValues::borrowerTypes().contains(loan.at(i)))
            pick(control<QComboBox>(screen, "cmbStatus"), loan.at(i));
        else
            type(inputs(screen).at(i), loan.at(i));
    }
}

// Browse mode, or with `newRow` an open row (where the section may be off).
bool inMode(LoanEntryScreen *s, bool newRow)
{
    for (QWidget *input : inputs(s))
        if (input->isEnabled() != newRow && !(newRow && input == control<QComboBox>(s, "cmbSection")))
            return false;
    return control<PushButton>(s, "cmdAdd")->isEnabled() != newRow && control<PushButton>(s, "cmdSave")->isEnabled() == newRow
           && control<PushButton>(s, "cmdCancel")->isEnabled() == newRow && control<PushButton>(s, "cmdMain")->isEnabled();
}

// The texts of the inputs, the date as ISO text.
QStringList shownTexts(LoanEntryScreen *s)
{
    QStringList texts;
    for (QWidget *input : inputs(s).mid(0, InDate)) {
        auto *list = qobject_cast<QComboBox *>(input);
        texts << (list ? list->currentText() : input->property("text").toString());
    }
    return texts << control<DatePicker>(s, "DTPicker1")->nullableDate().toString(Qt::ISODate);
}

// The stored loan's texts, by Input.
QStringList stored(const QVariantMap &row)
{
    QStringList texts;
    for (const QString &field : Fields)
        texts << row.value(field).toString();
    return texts << row.value("DateBorrowed").toString();
}

void addLoans(TestData &data, int count)
{
    QSqlDatabase db = data.observe(DeskFile);
    db.transaction();
    for (int i = 1; i <= count; ++i)
        insertLoan(data, QStringLiteral("A-%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("Title %1").arg(i));
    db.commit();
}

LoanListScreen *openList()
{
    return qobject_cast<LoanListScreen *>(Navigator::instance().open(QStringLiteral("frmList")));
}

QStringList accessionNumbers(LoanListScreen *list)
{
    QStringList result;
    QAbstractItemModel *model = control<QTableView>(list, "DataGrid1")->model();
    for (int row = 0; row < model->rowCount(); ++row)
        result << model->index(row, 0).data().toString();
    return result;
}

bool holdsFocus(QWidget *w)
{
    QWidget *focused = QApplication::focusWidget();
    return focused && (focused == w || w->isAncestorOf(focused));
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
    }

    void shouldOpenABlankRowOnAddAndStoreNothingOnCancelOrMain()
    {
        insertLoan(*data, QStringLiteral("A-1"), QStringLiteral("First title"), QStringLiteral("First reader"));
        insertLoan(*data, QStringLiteral("A-2"), QStringLiteral("Second title"));
        const QStringList first = stored(data->rows(DeskFile, Loans).first());
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(screen);
        QVERIFY(inMode(screen, true));
        QCOMPARE(shownTexts(screen), QStringList(InDate, QString()) << QDate::currentDate().toString(Qt::ISODate));
        fill(screen, ALoan);
        control<PushButton>(screen, "cmdCancel")->click();
        QVERIFY(inMode(screen, false));
        QCOMPARE(shownTexts(screen), first);

        // Leaving for the menu with an open row drops it as well.
        control<PushButton>(screen, "cmdAdd")->click();
        fill(screen, ALoan);
        control<PushButton>(screen, "cmdMain")->click();
        QTRY_VERIFY(!Navigator::instance().existing(QStringLiteral("frmAddRecord")));
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu")));
        QVERIFY(dialogs->boxes.isEmpty());
        QCOMPARE(data->count(DeskFile, Loans), 2);
    }

    void shouldRefuseTheLoanKeepTheRowOpenAndSaveOnceRight_data()
    {
        QTest::addColumn<int>("missing"); // the Input left empty, or -1
        QTest::addColumn<QString>("lock"); // what another program holds
        QTest::addColumn<QString>("message");
        QTest::newRow("accession number") << int(InAccession) << "" << Incomplete;
        QTest::newRow("store held by another program") << -1 << "hold" << "busy with another";
    }

    void shouldRefuseTheLoanKeepTheRowOpenAndSaveOnceRight()
    {
        QFETCH(int, missing);
        QFETCH(QString, lock);
        QFETCH(QString, message);
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(screen);
        QStringList loan = ALoan;
        if (missing >= 0)
            loan[missing].clear();
        fill(screen, loan);
        const QStringList typed = shownTexts(screen);
        QVERIFY(lock.isEmpty() || data->holdDeskStore());
        control<PushButton>(screen, "cmdSave")->click();
        QVERIFY(lock.isEmpty() || data->releaseDeskStore());

        QCOMPARE(dialogs->boxes.size(), 1);
        const auto box = dialogs->boxes.first();
        QCOMPARE(box.icon, Dialogs::Critical);
        QVERIFY2(missing >= 0 ? box.text == message : box.text.contains(message), qPrintable(box.text));
        // The engine's text comes with a sentence that names the store.
        QVERIFY(lock.isEmpty() || box.text.contains(data->busySentence()));
        QCOMPARE(data->count(DeskFile, Loans), 0);
        QVERIFY(inMode(screen, true));
        QCOMPARE(shownTexts(screen), typed);

        if (missing >= 0)
            type(inputs(screen).at(missing), ALoan.at(missing));
        control<PushButton>(screen, "cmdSave")->click();
        QCOMPARE(dialogs->boxes.last().text, Saved);
        QCOMPARE(stored(data->rows(DeskFile, Loans).value(0)),
                 QStringList(ALoan) << QDate::currentDate().toString(Qt::ISODate));
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
    }

    void shouldStoreTheEightFieldsAsTypedAndLeaveTheRestEmpty()
    {
        QFETCH(QStringList, loan);
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(screen);
        fill(screen, loan);
        control<DatePicker>(screen, "DTPicker1")->setFocus();
        control<DatePicker>(screen, "DTPicker1")->setNullableDate(QDate(2026, 3, 7));
        control<QLineEdit>(screen, "txtBookNumber")->setFocus(); // leaving the lists finishes their edits
        control<PushButton>(screen, "cmdSave")->click();

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
    }

    void shouldDisableTheSectionOnlyWhenStaffIsPickedAndStillRequireIt()
    {
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(QTest::qWaitForWindowActive(screen));
        control<QComboBox>(screen, "cmbStatus")->setFocus();
        // Typing an item, even finishing the edit with Enter, is not picking it.
        type(control<QComboBox>(screen, "cmbStatus"), "Staff");
        QTest::keyClick(control<QComboBox>(screen, "cmbStatus")->lineEdit(), Qt::Key_Return);
        QVERIFY(control<QComboBox>(screen, "cmbSection")->isEnabled());
        control<QComboBox>(screen, "cmbStatus")->lineEdit()->clear();
        QStringList loan = ALoan;
        loan[InSection].clear();
        loan[InStatus] = QStringLiteral("Staff");
        fill(screen, loan);
        QVERIFY(!control<QComboBox>(screen, "cmbSection")->isEnabled());
        control<PushButton>(screen, "cmdSave")->click();
        QCOMPARE(dialogs->boxes.first().text, Incomplete);
        pick(control<QComboBox>(screen, "cmbStatus"), QStringLiteral("Student"));
        QVERIFY(control<QComboBox>(screen, "cmbSection")->isEnabled());
        type(control<QComboBox>(screen, "cmbSection"), QStringLiteral("1ICT3"));
        pick(control<QComboBox>(screen, "cmbStatus"), QStringLiteral("Staff"));
        control<PushButton>(screen, "cmdSave")->click();
        QCOMPARE(dialogs->boxes.last().text, Saved);
        QCOMPARE(stored(data->rows(DeskFile, Loans).value(0)).mid(InSection, 2), (QStringList{"1ICT3", "Staff"}));
    }

    void shouldDeleteOnlyTheClickedLoanAndOnlyOnYes_data()
    {
        QTest::addColumn<int>("loans");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("third of five, Yes")
            << 5 << 2 << int(Dialogs::AnswerYes) << QStringList{"A-0001", "A-0002", "A-0004", "A-0005"};
        QTest::newRow("second of three, No")
            << 3 << 1 << int(Dialogs::AnswerNo) << QStringList{"A-0001", "A-0002", "A-0003"};
    }

    void shouldDeleteOnlyTheClickedLoanAndOnlyOnYes()
    {
        QFETCH(int, loans);
        QFETCH(int, clicked);
        QFETCH(int, answer);
        QFETCH(QStringList, left);
        addLoans(*data, loans);
        LoanListScreen *list = openList();
        QVERIFY(QTest::qWaitForWindowExposed(list));
        const QRect row = control<QTableView>(list, "DataGrid1")->visualRect(control<QTableView>(list, "DataGrid1")->model()->index(clicked, 2));
        QTest::mouseClick(control<QTableView>(list, "DataGrid1")->viewport(), Qt::LeftButton, {}, row.center());
        dialogs->answers << Dialogs::Answer(answer);
        control<PushButton>(list, "cmdDelete")->click();
        QCOMPARE(dialogs->boxes.first().text,
                 QStringLiteral("Are you sure you want to delete this record?Data is not recoverable."));
        QCOMPARE(dialogs->boxes.first().buttons, Dialogs::YesNo);
        QStringList stored;
        for (const QVariantMap &row : data->rows(DeskFile, Loans))
            stored << row.value("AccessionNumber").toString();
        QCOMPARE(stored, left);
        QCOMPARE(accessionNumbers(list), left);
    }

    void shouldListALoanSavedWhileTheListWasNotShown()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        auto *hidden = Navigator::instance().createAs<LoanListScreen>(QStringLiteral("frmList"));
        QCOMPARE(control<QTableView>(hidden, "DataGrid1")->model()->rowCount(), 1); // loaded before the save

        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(screen);
        fill(screen, ALoan);
        control<PushButton>(screen, "cmdSave")->click();
        QCOMPARE(dialogs->boxes.last().text, Saved);
        QCOMPARE(control<QLineEdit>(screen, "txtAccessionNumber")->text(), QStringLiteral("A-1")); // the first loan again
        QVERIFY(!hidden->isVisible());

        control<PushButton>(screen, "cmdMain")->click();
        LoanListScreen *list = openList();
        QCOMPARE(list, hidden);
        QCOMPARE(accessionNumbers(list), (QStringList{"A-1", "A-1001"}));
    }

    void shouldPrintEveryLoanInTheModalLoanReport()
    {
        addLoans(*data, 3);
        LoanListScreen *list = openList();
        QVERIFY(QTest::qWaitForWindowExposed(list));
        QCOMPARE(control<QTableView>(list, "DataGrid1")->model()->index(0, 5).data().toString(), QStringLiteral("11/2/2026"));
        QString title;
        int pages = 0;
        QTimer::singleShot(0, [&] {
            auto *preview = qobject_cast<ReportPreview *>(QApplication::activeModalWidget());
            if (!preview)
                return;
            title = preview->windowTitle();
            pages = preview->pageCount();
            preview->close();
        });
        control<PushButton>(list, "jcbutton1")->click();
        QCOMPARE(title, QStringLiteral("DataReport2"));
        QCOMPARE(pages, 3);
    }

    void shouldWalkTheLoanEntryAndTheListWithTabInTheirOrder()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        LoanEntryScreen *e = openEntry(true);
        QVERIFY(QTest::qWaitForWindowActive(e));
        QTRY_VERIFY(holdsFocus(control<QLineEdit>(e, "txtAccessionNumber")));
        // Add is off while a row is open, so Tab passes it by; the date
        // picker is left by Tab like every other input.
        QCOMPARE(tabThrough({control<QLineEdit>(e, "txtBookNumber"), control<QLineEdit>(e, "txtBookTitle"), control<QLineEdit>(e, "txtBorrower"), control<QComboBox>(e, "cmbCategory"), control<QComboBox>(e, "cmbStatus"),
                             control<QComboBox>(e, "cmbSection"), control<DatePicker>(e, "DTPicker1"), control<PushButton>(e, "cmdMain"), control<PushButton>(e, "cmdSave"), control<PushButton>(e, "cmdCancel")}),
                 QString());
        // Space on a focused button presses it.
        QTest::keyClick(control<PushButton>(e, "cmdCancel"), Qt::Key_Space);
        QVERIFY(control<PushButton>(e, "cmdAdd")->isEnabled());

        control<PushButton>(e, "cmdMain")->click();
        LoanListScreen *list = openList();
        QVERIFY(QTest::qWaitForWindowActive(list));
        QTRY_VERIFY(holdsFocus(control<PushButton>(list, "cmdMain")));
        QList<QWidget *> listOrder{control<PushButton>(list, "cmdDelete"), control<PushButton>(list, "jcbutton1"), control<QTableView>(list, "DataGrid1")};
        for (QToolButton *arrow : control<NavigationBar>(list, "Adodc1Bar")->arrows())
            listOrder << arrow;
        QCOMPARE(tabThrough(listOrder << control<PushButton>(list, "cmdMain")), QString());
    }

private:
    // Fresh for each test function and each row of its table.
    std::optional<DeskData> data;
    FakeDialogs *dialogs = nullptr;
};

QTEST_MAIN(LoansTest)
#include "tst_loans.moc"
