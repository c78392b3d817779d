// The loan entry and the loan list, driven through their controls as the
// librarian would, with what the loan store then holds checked from outside.
#include "testsupport.h"

#include "app/ui/navigator.h"
#include "app/ui/widgets.h"
#include "catalogue/loanlistscreen.h"
#include "catalogue/reportpreview.h"
#include "catalogue/tablereportrows.h"
#include "loans/loanentryscreen.h"
#include "loans/loanvalues.h"
#include "app/ui/navigationbar.h"
#include "store/querysource.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QComboBox>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <optional>

namespace {

const QString Desk = QStringLiteral("Tallymere.db");
const QString Loans = QStringLiteral("tblBorrower");
const QString Incomplete = QStringLiteral("Please complete the Information below!");
const QString Saved = QStringLiteral("New Borrower has been successfully added!");
const QString DeleteQuestion = QStringLiteral("Are you sure you want to delete this record?Data is not recoverable.");

// Field positions in a tblBorrower row, as the grid shows them.
enum Field {
    AccessionNumber, BookNumber, BookTitle, Category, Borrower, DateBorrowed, Remarks, DateReturned,
    Status, Section, Condition, DaysBorrowed, Overduedays, Howmanydays, Fines
};

QString name(Field field)
{
    return Schema::borrower().fields.at(field);
}

// The loan entry's inputs in the order fill() types them: the section goes
// before the borrower type, which may disable it.
enum Input { InAccession, InBookNumber, InTitle, InBorrower, InCategory, InSection, InStatus, InDate };
const QList<Field> InputFields{AccessionNumber, BookNumber, BookTitle, Borrower, Category, Section, Status};

// A complete loan's texts, by Input.
QStringList aLoan()
{
    return {"A-1001", "BN-77", "Noli Me Tangere", "Maria Santos", "FICTION", "2ICT1", "Student"};
}

QList<QWidget *> inputs(LoanEntryScreen *s)
{
    return {s->txtAccessionNumber, s->txtBookNumber, s->txtBookTitle, s->txtBorrower,
            s->cmbCategory,        s->cmbSection,    s->cmbStatus,    s->DTPicker1};
}

// The loan entry, with a new row open when `add` is set.
LoanEntryScreen *openEntry(bool add = false)
{
    auto *screen = qobject_cast<LoanEntryScreen *>(Navigator::instance().open(QStringLiteral("frmAddRecord")));
    if (screen && add)
        screen->cmdAdd->click();
    return screen;
}

QStringList items(const QComboBox *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

// Types every text of `loan` into the open row; an empty text is left
// untyped. The borrower type is picked when it is one of the list's items.
void fill(LoanEntryScreen *screen, const QStringList &loan)
{
    for (int i = InAccession; i < InDate; ++i) {
        if (i == InStatus && LoanValues::borrowerTypes().contains(loan.at(i)))
            pick(screen->cmbStatus, loan.at(i));
        else
            type(inputs(screen).at(i), loan.at(i));
    }
}

// Browse mode, or with `newRow` an open row (where the section may be off).
bool inMode(LoanEntryScreen *s, bool newRow)
{
    for (QWidget *input : inputs(s))
        if (input->isEnabled() != newRow && !(newRow && input == s->cmbSection))
            return false;
    return s->cmdAdd->isEnabled() != newRow && s->cmdSave->isEnabled() == newRow
           && s->cmdCancel->isEnabled() == newRow && s->cmdMain->isEnabled();
}

QStringList shownTexts(LoanEntryScreen *s)
{
    QStringList texts;
    for (QWidget *input : inputs(s)) {
        auto *list = qobject_cast<QComboBox *>(input);
        texts << (list ? list->currentText() : input->property("text").toString());
    }
    return texts;
}

void addLoans(TestData &data, int count)
{
    QSqlDatabase db = data.observe(Desk);
    db.transaction();
    for (int i = 1; i <= count; ++i)
        insertLoan(data, QStringLiteral("A-%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("Title %1").arg(i));
    db.commit();
}

LoanListScreen *openList()
{
    return qobject_cast<LoanListScreen *>(Navigator::instance().open(QStringLiteral("frmList")));
}

QStringList gridColumn(LoanListScreen *list, int column)
{
    QStringList result;
    QAbstractItemModel *model = list->DataGrid1->model();
    for (int row = 0; row < model->rowCount(); ++row)
        result << model->index(row, column).data().toString();
    return result;
}

} // namespace

class LoansTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init() { data.emplace(); dialogs.emplace(); }
    // Every screen goes before the data folder does, also when a check ends a
    // test early.
    void cleanup()
    {
        closeAllScreens();
        dialogs.reset();
        data.reset();
    }

    // --- loan entry: opening, add, cancel, main -----------------------------

    void shouldOpenABlankRowOnAddAndStoreNothingOnCancelOrMain_data()
    {
        QTest::addColumn<bool>("withLoans");
        QTest::newRow("loans stored") << true;
        QTest::newRow("empty table") << false;
    }

    void shouldOpenABlankRowOnAddAndStoreNothingOnCancelOrMain()
    {
        QFETCH(bool, withLoans);
        if (withLoans) {
            insertLoan(*data, QStringLiteral("A-1"), QStringLiteral("First title"), QStringLiteral("First reader"));
            insertLoan(*data, QStringLiteral("A-2"), QStringLiteral("Second title"));
        }
        const QStringList first = withLoans ? QStringList{"A-1", "B-A-1", "First title", "First reader", "FICTION",
                                                          "2ICT1", "Student"}
                                            : QStringList(InDate, QString());
        const QDate firstDate = withLoans ? QDate(2026, 11, 2) : QDate();
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        QVERIFY(inMode(screen, false));
        QCOMPARE(shownTexts(screen).mid(0, InDate), first);
        QCOMPARE(screen->DTPicker1->nullableDate(), firstDate);

        screen->cmdAdd->click();
        QVERIFY(inMode(screen, true));
        QCOMPARE(shownTexts(screen).mid(0, InDate), QStringList(InDate, QString()));
        QCOMPARE(screen->DTPicker1->nullableDate(), QDate::currentDate());
        QCOMPARE(screen->focusWidget(), screen->txtAccessionNumber);
        fill(screen, aLoan());
        screen->cmdCancel->click();
        QVERIFY(inMode(screen, false));
        QCOMPARE(shownTexts(screen).mid(0, InDate), first);
        QCOMPARE(screen->DTPicker1->nullableDate(), firstDate);

        // Leaving for the menu with an open row drops it as well.
        screen->cmdAdd->click();
        fill(screen, aLoan());
        screen->cmdMain->click();
        QTRY_VERIFY(!Navigator::instance().existing(QStringLiteral("frmAddRecord")));
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu")));
        QVERIFY(dialogs->boxes.isEmpty());
        QCOMPARE(data->count(Desk, Loans), withLoans ? 2 : 0);
    }

    // --- loan entry: save ---------------------------------------------------

    void shouldRefuseAnIncompleteLoanAndSaveOnceCompleted_data()
    {
        QTest::addColumn<int>("missing");
        QTest::newRow("accession number") << int(InAccession);
        QTest::newRow("book number") << int(InBookNumber);
        QTest::newRow("book title") << int(InTitle);
        QTest::newRow("category") << int(InCategory);
        QTest::newRow("section") << int(InSection);
        QTest::newRow("borrower type") << int(InStatus);
        QTest::newRow("date borrowed") << int(InDate);
    }

    void shouldRefuseAnIncompleteLoanAndSaveOnceCompleted()
    {
        QFETCH(int, missing);
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(screen);
        QStringList loan = aLoan();
        if (missing != InDate)
            loan[missing].clear();
        fill(screen, loan);
        if (missing == InDate) {
            screen->DTPicker1->setFocus();
            screen->DTPicker1->selectAll();
            QTest::keyClick(screen->DTPicker1, Qt::Key_Delete);
        }
        const QStringList typed = shownTexts(screen);

        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, Incomplete);
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Critical);
        QCOMPARE(data->count(Desk, Loans), 0);
        QCOMPARE(shownTexts(screen), typed);
        QVERIFY(inMode(screen, true));

        if (missing == InDate)
            QTest::keyClick(screen->DTPicker1, Qt::Key_Up); // an empty picker steps to today
        else
            type(inputs(screen).at(missing), aLoan().at(missing));
        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 2);
        QCOMPARE(dialogs->boxes.last().text, Saved);
        const auto rows = data->rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        for (int i = InAccession; i < InDate; ++i)
            QCOMPARE(rows.first().value(name(InputFields.at(i))).toString(), aLoan().at(i));
        QCOMPARE(rows.first().value(name(DateBorrowed)).toString(), QDate::currentDate().toString(Qt::ISODate));
    }

    void shouldStoreTheEightFieldsAsTypedAndLeaveTheRestEmpty_data()
    {
        QTest::addColumn<QStringList>("loan");
        QTest::newRow("listed items")
            << QStringList{"A-1001", "BN-77", "Noli Me Tangere", "Maria Santos", "WORLD HISTORY", "1ECT2", "Student"};
        QTest::newRow("no borrower name") << QStringList{"A-1002", "BN-78", "Florante", "", "FICTION", "WT", "Student"};
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
        screen->DTPicker1->setFocus();
        screen->DTPicker1->setNullableDate(QDate(2026, 3, 7));
        screen->txtBookNumber->setFocus(); // leaving the lists finishes their edits
        screen->cmdSave->click();

        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, Saved);
        const auto rows = data->rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        const QVariantMap stored = rows.first();
        for (int i = InAccession; i < InDate; ++i)
            QCOMPARE(stored.value(name(InputFields.at(i))).toString(), loan.at(i));
        QCOMPARE(stored.value(name(DateBorrowed)).toString(), QStringLiteral("2026-03-07"));
        for (Field untouched : {Remarks, DateReturned, Condition, DaysBorrowed, Overduedays, Howmanydays, Fines})
            QVERIFY2(stored.value(name(untouched)).isNull(), qPrintable(QString::number(untouched)));
        // The lists offer the shared items, and typed texts never join them.
        QCOMPARE(items(screen->cmbCategory), LoanValues::categories());
        QCOMPARE(items(screen->cmbSection), LoanValues::sections());
        QCOMPARE(items(screen->cmbStatus), LoanValues::borrowerTypes());
        // The saved loan, the only one, is shown in browse mode.
        QVERIFY(inMode(screen, false));
        QCOMPARE(shownTexts(screen).mid(0, InDate), loan);
    }

    // --- loan entry: the borrower-type rule ---------------------------------

    void shouldDisableTheSectionOnlyWhenStaffIsPickedAndStillRequireIt()
    {
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        QVERIFY(QTest::qWaitForWindowActive(screen));
        screen->cmdAdd->click();
        // Typing an item, even finishing the edit with Enter and leaving the
        // list, is not picking it.
        for (const QString &typed : {QStringLiteral("Staff"), QStringLiteral("staff")}) {
            screen->cmbStatus->setFocus();
            screen->cmbStatus->lineEdit()->clear();
            type(screen->cmbStatus, typed);
            QTest::keyClick(screen->cmbStatus->lineEdit(), Qt::Key_Return);
            screen->txtBookTitle->setFocus();
            QVERIFY(screen->cmbSection->isEnabled());
            QCOMPARE(screen->cmbStatus->currentText(), typed);
        }
        QStringList loan = aLoan();
        loan[InSection].clear();
        loan[InStatus] = QStringLiteral("Staff");
        fill(screen, loan);
        QVERIFY(!screen->cmbSection->isEnabled());
        pick(screen->cmbStatus, QStringLiteral("Student"));
        QVERIFY(screen->cmbSection->isEnabled());
        pick(screen->cmbStatus, QStringLiteral("Staff"));
        QVERIFY(!screen->cmbSection->isEnabled());
        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, Incomplete);
        QCOMPARE(data->count(Desk, Loans), 0);

        // A new row has the section list usable again.
        screen->cmdCancel->click();
        screen->cmdAdd->click();
        QVERIFY(screen->cmbSection->isEnabled());
        loan[InSection] = QStringLiteral("1ICT3");
        fill(screen, loan); // the section is typed before Staff is picked
        QVERIFY(!screen->cmbSection->isEnabled());
        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.last().text, Saved);
        const auto rows = data->rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().value(name(Status)).toString(), QStringLiteral("Staff"));
        QCOMPARE(rows.first().value(name(Section)).toString(), QStringLiteral("1ICT3"));
    }

    // --- loan entry: refusals by the store ----------------------------------

    void shouldKeepTheRowOpenWhenTheStoreRefuses_data()
    {
        QTest::addColumn<QString>("lock"); // what the other program holds
        QTest::addColumn<QString>("engineText");
        QTest::newRow("title over 255 characters") << QString() << QStringLiteral("The text for BookTitle is too long");
        QTest::newRow("file locked by another program")
            << QStringLiteral("BEGIN EXCLUSIVE") << QStringLiteral("database is locked");
        QTest::newRow("another program saving") << QStringLiteral("BEGIN IMMEDIATE")
                                                << QStringLiteral("database is locked");
    }

    void shouldKeepTheRowOpenWhenTheStoreRefuses()
    {
        QFETCH(QString, lock);
        QFETCH(QString, engineText);
        const bool locked = !lock.isEmpty();
        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(screen);
        QStringList loan = aLoan();
        if (!locked)
            loan[InTitle] = QString(300, QLatin1Char('x'));
        fill(screen, loan);
        const QStringList typed = shownTexts(screen);
        // A second program holding the write lock; the save waits out its busy timeout.
        QSqlDatabase other = data->observe(Desk);
        if (locked)
            QVERIFY(QSqlQuery(other).exec(lock));
        screen->cmdSave->click();
        if (locked)
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("ROLLBACK")));

        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Critical);
        QVERIFY2(dialogs->boxes.first().text.contains(engineText), qPrintable(dialogs->boxes.first().text));
        // The engine's text comes with a sentence that names the store.
        if (locked)
            QVERIFY(dialogs->boxes.first().text.contains(
                QStringLiteral("The store %1 is busy with another program").arg(QDir::toNativeSeparators(data->path(Desk)))));
        QCOMPARE(data->count(Desk, Loans), 0);
        QVERIFY(inMode(screen, true));
        QCOMPARE(shownTexts(screen), typed);
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmList")));

        if (!locked) {
            screen->txtBookTitle->selectAll();
            type(screen->txtBookTitle, aLoan().at(InTitle));
        }
        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 2);
        QCOMPARE(dialogs->boxes.last().text, Saved);
        const auto rows = data->rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().value(name(BookTitle)).toString(), aLoan().at(InTitle));
    }

    // --- the loan list ------------------------------------------------------

    void shouldListEveryLoanUnderTheFieldNamesAndFollowTheBar()
    {
        addLoans(*data, 1000);
        LoanListScreen *list = openList();
        QVERIFY(list);
        QAbstractItemModel *model = list->DataGrid1->model();
        QStringList headings;
        for (int c = 0; c < model->columnCount(); ++c)
            headings << model->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headings, (QStringList{"AccessionNumber", "BookNumber", "BookTitle", "Category", "Borrower",
                                        "DateBorrowed", "Remarks", "DateReturned", "Status", "Section", "Condition",
                                        "DaysBorrowed", "Overduedays", "howmanydays", "fines"}));
        QCOMPARE(gridColumn(list, AccessionNumber).mid(0, 3), (QStringList{"A-0001", "A-0002", "A-0003"}));
        QCOMPARE(gridColumn(list, DateBorrowed).first(), QStringLiteral("11/2/2026"));

        // The grid's current row follows the bar's moves.
        list->Adodc1Bar->findChild<QToolButton *>(QStringLiteral("last"))->click();
        QCOMPARE(list->DataGrid1->currentIndex().row(), 999);
        QCOMPARE(list->Adodc1->value(QStringLiteral("AccessionNumber")).toString(), QStringLiteral("A-1000"));
        list->Adodc1Bar->findChild<QToolButton *>(QStringLiteral("first"))->click();
        QCOMPARE(list->DataGrid1->currentIndex().row(), 0);
        QVERIFY(list->DataGrid1->selectionModel()->isRowSelected(0, QModelIndex()));
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
        QTest::newRow("empty table, Yes") << 0 << -1 << int(Dialogs::AnswerYes) << QStringList();
    }

    void shouldDeleteOnlyTheClickedLoanAndOnlyOnYes()
    {
        QFETCH(int, loans);
        QFETCH(int, clicked);
        QFETCH(int, answer);
        QFETCH(QStringList, left);
        addLoans(*data, loans);
        LoanListScreen *list = openList();
        QVERIFY(list);
        QVERIFY(QTest::qWaitForWindowExposed(list));
        if (clicked >= 0) {
            const QRect row = list->DataGrid1->visualRect(list->DataGrid1->model()->index(clicked, BookTitle));
            QTest::mouseClick(list->DataGrid1->viewport(), Qt::LeftButton, {}, row.center());
            QCOMPARE(list->Adodc1->value(QStringLiteral("AccessionNumber")).toString(),
                     QStringLiteral("A-%1").arg(clicked + 1, 4, 10, QLatin1Char('0')));
        }
        dialogs->answers << Dialogs::Answer(answer);
        list->cmdDelete->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, DeleteQuestion);
        QCOMPARE(dialogs->boxes.first().buttons, Dialogs::YesNo);
        QStringList stored;
        for (const QVariantMap &row : data->rows(Desk, Loans))
            stored << row.value(name(AccessionNumber)).toString();
        QCOMPARE(stored, left);
        QCOMPARE(gridColumn(list, AccessionNumber), left);
    }

    // --- across the two screens ---------------------------------------------

    void shouldListALoanSavedWhileTheListWasNotShown_data()
    {
        QTest::addColumn<bool>("listExists");
        QTest::newRow("list not created yet") << false;
        QTest::newRow("list created unseen") << true;
    }

    void shouldListALoanSavedWhileTheListWasNotShown()
    {
        QFETCH(bool, listExists);
        insertLoan(*data, QStringLiteral("A-1"));
        auto *hidden = listExists ? Navigator::instance().createAs<LoanListScreen>(QStringLiteral("frmList")) : nullptr;
        if (listExists)
            QCOMPARE(hidden->DataGrid1->model()->rowCount(), 1);

        LoanEntryScreen *screen = openEntry(true);
        QVERIFY(screen);
        fill(screen, aLoan());
        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.last().text, Saved);
        QCOMPARE(screen->txtAccessionNumber->text(), QStringLiteral("A-1")); // the first loan again
        if (!listExists)
            hidden = Navigator::instance().existingAs<LoanListScreen>(QStringLiteral("frmList"));
        QVERIFY(hidden);
        QVERIFY(!hidden->isVisible());

        screen->cmdMain->click();
        LoanListScreen *list = openList();
        QCOMPARE(list, hidden);
        QVERIFY(list->isVisible());
        QCOMPARE(gridColumn(list, AccessionNumber), (QStringList{"A-1", "A-1001"}));

        list->cmdMain->click();
        QTRY_VERIFY(!Navigator::instance().existing(QStringLiteral("frmList")));
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu")));
    }

    void shouldPrintEveryLoanInTheModalLoanReport()
    {
        addLoans(*data, 3);
        LoanListScreen *list = openList();
        QVERIFY(QTest::qWaitForWindowExposed(list));
        QString title;
        int pages = 0;
        QString firstAccession, thirdBorrowed;
        QTimer::singleShot(0, [&] {
            auto *preview = qobject_cast<ReportPreview *>(QApplication::activeModalWidget());
            if (!preview)
                return;
            title = preview->windowTitle();
            pages = preview->pageCount();
            TableReportRows rows(Schema::File::Tallymere, Loans);
            if (rows.count() == 3) {
                firstAccession = rows.value(0, QStringLiteral("AccessionNumber")).toString();
                thirdBorrowed = rows.value(2, QStringLiteral("DateBorrowed")).toString();
            }
            preview->close();
        });
        list->jcbutton1->click();
        QCOMPARE(title, QStringLiteral("DataReport2"));
        QCOMPARE(pages, 3);
        QCOMPARE(firstAccession, QStringLiteral("A-0001"));
        QCOMPARE(thirdBorrowed, QStringLiteral("2026-11-02"));
        QVERIFY(dialogs->boxes.isEmpty());
    }

    // --- keyboard ---------------------------------------------------------

    void shouldWalkTheLoanEntryAndTheListWithTabInTheirOrder()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        LoanEntryScreen *entry = openEntry(true);
        QVERIFY(QTest::qWaitForWindowActive(entry));
        QTRY_VERIFY(holdsFocus(entry->txtAccessionNumber));
        // Add is off while a row is open, so Tab passes it by; the date
        // picker is left by Tab like every other input.
        const QList<QWidget *> entryOrder{entry->txtBookNumber, entry->txtBookTitle, entry->txtBorrower,
                                          entry->cmbCategory,   entry->cmbStatus,    entry->cmbSection,
                                          entry->DTPicker1,     entry->cmdMain,      entry->cmdSave,
                                          entry->cmdCancel,     entry->txtAccessionNumber};
        for (QWidget *next : entryOrder) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(holdsFocus(next), qPrintable(next->objectName()));
        }
        // Space on a focused button presses it.
        entry->cmdCancel->setFocus();
        QTest::keyClick(entry->cmdCancel, Qt::Key_Space);
        QVERIFY(entry->cmdAdd->isEnabled());

        entry->cmdMain->click();
        LoanListScreen *list = openList();
        QVERIFY(QTest::qWaitForWindowActive(list));
        QTRY_VERIFY(holdsFocus(list->cmdMain));
        for (QWidget *next : {static_cast<QWidget *>(list->cmdDelete), static_cast<QWidget *>(list->jcbutton1),
                              static_cast<QWidget *>(list->DataGrid1), static_cast<QWidget *>(list->cmdMain)}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(holdsFocus(next), qPrintable(next->objectName()));
        }
    }

private:
    static bool holdsFocus(QWidget *w)
    {
        QWidget *focused = QApplication::focusWidget();
        return focused && (focused == w || w->isAncestorOf(focused));
    }

    // Fresh for each test function and each row of its table.
    std::optional<TestData> data;
    std::optional<FakeDialogs> dialogs;
};

QTEST_MAIN(LoansTest)
#include "tst_loans.moc"
