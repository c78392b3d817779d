// The loan entry and the loan list, driven through their controls as the
// librarian would, with what the loan store then holds checked from outside.
#include "testsupport.h"

#include "app/navigator.h"
#include "app/widgets.h"
#include "catalogue/loanlistscreen.h"
#include "loans/loanentryscreen.h"
#include "loans/loanvalues.h"
#include "store/navigationbar.h"
#include "store/querysource.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <utility>

namespace {

const QString Desk = QStringLiteral("Tallymere.db");
const QString Loans = QStringLiteral("tblBorrower");
const QString Incomplete = QStringLiteral("Please complete the Information below!");
const QString Saved = QStringLiteral("New Borrower has been successfully added!");
const QString DeleteQuestion = QStringLiteral("Are you sure you want to delete this record?Data is not recoverable.");

// Field positions in a tblBorrower row.
enum Field {
    AccessionNumber, BookNumber, BookTitle, Category, Borrower, DateBorrowed, Remarks, DateReturned,
    Status, Section, Condition, DaysBorrowed, Overduedays, Howmanydays, Fines
};

// Destroys every screen before the data folder goes away, also when a check
// ends a test early.
struct ScreensClosed {
    ~ScreensClosed() { closeAllScreens(); }
};

struct Loan {
    QString accession = QStringLiteral("A-1001");
    QString bookNumber = QStringLiteral("BN-77");
    QString title = QStringLiteral("Noli Me Tangere");
    QString borrower = QStringLiteral("Maria Santos");
    QString category = QStringLiteral("FICTION");
    QString status = QStringLiteral("Student");
    QString section = QStringLiteral("2ICT1");
};

LoanEntryScreen *openEntry()
{
    return qobject_cast<LoanEntryScreen *>(Navigator::instance().open(QStringLiteral("frmAddRecord")));
}

// Picks `item` from the drop-down of `list` with the keyboard, the way the
// user chooses an entry of the open list.
void pick(QComboBox *list, const QString &item)
{
    const int row = list->findText(item, Qt::MatchExactly | Qt::MatchCaseSensitive);
    QVERIFY2(row >= 0, qPrintable(item));
    list->showPopup();
    QAbstractItemView *view = list->view();
    view->setCurrentIndex(list->model()->index(row, list->modelColumn()));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
}

// Types `text` key by key; letters beyond ASCII arrive as the key text
// an input method would deliver.
void type(QWidget *input, const QString &text)
{
    if (auto *list = qobject_cast<QComboBox *>(input))
        input = list->lineEdit();
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(input, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, input, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void clearDate(DatePicker *picker)
{
    picker->setFocus();
    picker->selectAll();
    QTest::keyClick(picker, Qt::Key_Delete);
}

// Types every text of `loan` into the open new row; an empty text is left
// untyped. The borrower type is picked when it is one of the list's items.
void fill(LoanEntryScreen *screen, const Loan &loan)
{
    type(screen->txtAccessionNumber, loan.accession);
    type(screen->txtBookNumber, loan.bookNumber);
    type(screen->txtBookTitle, loan.title);
    type(screen->txtBorrower, loan.borrower);
    type(screen->cmbCategory, loan.category);
    type(screen->cmbSection, loan.section);
    if (LoanValues::borrowerTypes().contains(loan.status))
        pick(screen->cmbStatus, loan.status);
    else
        type(screen->cmbStatus, loan.status);
}

QList<QWidget *> inputs(LoanEntryScreen *s)
{
    return {s->txtAccessionNumber, s->txtBookNumber, s->txtBookTitle, s->txtBorrower,
            s->cmbCategory,        s->cmbStatus,     s->cmbSection,   s->DTPicker1};
}

bool inBrowseMode(LoanEntryScreen *s)
{
    for (QWidget *input : inputs(s))
        if (input->isEnabled())
            return false;
    return s->cmdAdd->isEnabled() && !s->cmdSave->isEnabled() && !s->cmdCancel->isEnabled() && s->cmdMain->isEnabled();
}

bool inNewLoanMode(LoanEntryScreen *s)
{
    for (QWidget *input : inputs(s))
        if (!input->isEnabled() && input != s->cmbSection)
            return false;
    return !s->cmdAdd->isEnabled() && s->cmdSave->isEnabled() && s->cmdCancel->isEnabled() && s->cmdMain->isEnabled();
}

QStringList shownTexts(LoanEntryScreen *s)
{
    return {s->txtAccessionNumber->text(), s->txtBookNumber->text(), s->txtBookTitle->text(),
            s->txtBorrower->text(),        s->cmbCategory->currentText(), s->cmbStatus->currentText(),
            s->cmbSection->currentText(),  s->DTPicker1->text()};
}

void addLoans(TestData &data, int count)
{
    QSqlDatabase db = data.observe(Desk);
    db.transaction();
    for (int i = 1; i <= count; ++i)
        insertLoan(data, QStringLiteral("A-%1").arg(i, 4, 10, QLatin1Char('0')), QStringLiteral("Title %1").arg(i));
    db.commit();
}

QStringList storedAccessions(TestData &data)
{
    QStringList result;
    for (const QVariantList &row : data.rows(Desk, Loans))
        result << row.at(AccessionNumber).toString();
    return result;
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

// Holds the loan store's write lock from another connection, as a second
// program working on the same file would.
class StoreLock
{
public:
    explicit StoreLock(TestData &data) : m_db(data.observe(Desk))
    {
        QSqlQuery q(m_db);
        m_locked = q.exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
    ~StoreLock() { release(); }
    bool isLocked() const { return m_locked; }
    void release()
    {
        if (m_locked)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        m_locked = false;
    }

private:
    QSqlDatabase m_db;
    bool m_locked = false;
};

} // namespace

class LoansTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void cleanup() { closeAllScreens(); }

    // --- the value lists ---------------------------------------------------

    void shouldOfferTheListsItemForItemWithTheirInitialTexts()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        auto items = [](QComboBox *list) {
            QStringList texts;
            for (int i = 0; i < list->count(); ++i)
                texts << list->itemText(i);
            return texts;
        };
        QCOMPARE(items(screen->cmbCategory).size(), 13);
        QCOMPARE(items(screen->cmbCategory).first(), QStringLiteral("SCIENCE(Computer Books & Math)"));
        QCOMPARE(items(screen->cmbCategory).at(5), QStringLiteral("PHILISOPHY,PSYCHOLOGY,RELIGION"));
        QCOMPARE(items(screen->cmbCategory).last(), QStringLiteral("FICTION"));
        QCOMPARE(items(screen->cmbSection),
                 (QStringList{"2ICT1", "2ICT2", "2ICT3", "2ICT4", "2ECT1", "2ECT2", "1ICT1", "1ICT2", "1ICT3",
                              "1ICT4", "1ECT1", "1ECT2", "WT"}));
        QCOMPARE(items(screen->cmbStatus), (QStringList{"Student", "Staff"}));
        for (QComboBox *list : {screen->cmbCategory, screen->cmbSection, screen->cmbStatus})
            QVERIFY(list->isEditable());

        // Before a row fills them the lists show their initial texts.
        QComboBox fresh;
        LoanValues::setUpList(&fresh, LoanValues::borrowerTypes(), QStringLiteral("Select.."));
        QCOMPARE(fresh.currentText(), QStringLiteral("Select.."));
        QCOMPARE(fresh.count(), 2);
    }

    // --- loan entry: opening, add, cancel, main ------------------------------

    void shouldShowTheFirstLoanInDisabledInputsOnOpening()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        insertLoan(data, QStringLiteral("A-1"), QStringLiteral("First title"), QStringLiteral("First reader"));
        insertLoan(data, QStringLiteral("A-2"), QStringLiteral("Second title"));
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        QCOMPARE(screen->objectName(), QStringLiteral("frmAddRecord"));
        QCOMPARE(screen->windowTitle(), QStringLiteral("Form1"));
        QCOMPARE(screen->size(), QSize(572, 395));
        QVERIFY(!(screen->windowFlags() & Qt::FramelessWindowHint));
        QCOMPARE(screen->txtAccessionNumber->text(), QStringLiteral("A-1"));
        QCOMPARE(screen->txtBookTitle->text(), QStringLiteral("First title"));
        QCOMPARE(screen->txtBorrower->text(), QStringLiteral("First reader"));
        QCOMPARE(screen->cmbCategory->currentText(), QStringLiteral("FICTION"));
        QCOMPARE(screen->DTPicker1->nullableDate(), QDate(2026, 11, 2));
        QVERIFY(inBrowseMode(screen));
        QVERIFY(dialogs.boxes.isEmpty());
    }

    void shouldOpenABlankRowDatedTodayOnAdd()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        insertLoan(data, QStringLiteral("A-1"));
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        QVERIFY(inNewLoanMode(screen));
        QVERIFY(screen->cmbSection->isEnabled());
        QCOMPARE(shownTexts(screen).mid(0, 7), QStringList(7, QString()));
        QCOMPARE(screen->DTPicker1->nullableDate(), QDate::currentDate());
        QCOMPARE(screen->focusWidget(), screen->txtAccessionNumber);
        QCOMPARE(data.count(Desk, Loans), 1);
    }

    void shouldFollowTheTabOrder()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        QVERIFY(QTest::qWaitForWindowActive(screen));
        const QList<QWidget *> expected{screen->cmdMain, screen->cmdSave, screen->cmdCancel,
                                        screen->txtAccessionNumber, screen->txtBookNumber, screen->txtBookTitle,
                                        screen->txtBorrower, screen->cmbCategory, screen->cmbStatus,
                                        screen->cmbSection, screen->DTPicker1};
        // Add is disabled while a row is open, so Tab passes over it.
        screen->cmdMain->setFocus(Qt::TabFocusReason);
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            QWidget *owner = focus && qobject_cast<QComboBox *>(focus->parentWidget()) ? focus->parentWidget() : focus;
            if (auto *picker = qobject_cast<DatePicker *>(focus ? focus->parentWidget() : nullptr))
                owner = picker;
            QCOMPARE(owner, expected.at(i));
        }
    }

    void shouldStoreNothingOnCancel()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        insertLoan(data, QStringLiteral("A-1"), QStringLiteral("First title"));
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        fill(screen, Loan());
        screen->cmdCancel->click();
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(data.count(Desk, Loans), 1);
        QVERIFY(inBrowseMode(screen));
        QCOMPARE(screen->txtAccessionNumber->text(), QStringLiteral("A-1"));
        QCOMPARE(screen->txtBookTitle->text(), QStringLiteral("First title"));
    }

    void shouldShowEmptyDisabledInputsAfterCancelOnAnEmptyTable()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        fill(screen, Loan());
        screen->cmdCancel->click();
        QVERIFY(dialogs.boxes.isEmpty());
        QVERIFY(inBrowseMode(screen));
        QCOMPARE(shownTexts(screen).mid(0, 7), QStringList(7, QString()));
        QVERIFY(!screen->DTPicker1->hasDate());
        QCOMPARE(data.count(Desk, Loans), 0);
    }

    void shouldStoreNothingWhenLeavingForTheMenuWithAnOpenRow()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        fill(screen, Loan());
        screen->cmdMain->click();
        QTRY_VERIFY(!Navigator::instance().existing(QStringLiteral("frmAddRecord")));
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu")));
        QCOMPARE(data.count(Desk, Loans), 0);
        QVERIFY(dialogs.boxes.isEmpty());
    }

    // --- loan entry: save ----------------------------------------------------

    void shouldRefuseAnIncompleteLoanAndSaveOnceCompleted_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::newRow("accession number") << "accession";
        QTest::newRow("book number") << "bookNumber";
        QTest::newRow("book title") << "title";
        QTest::newRow("category") << "category";
        QTest::newRow("borrower type") << "status";
        QTest::newRow("section") << "section";
        QTest::newRow("date borrowed") << "date";
    }

    void shouldRefuseAnIncompleteLoanAndSaveOnceCompleted()
    {
        QFETCH(QString, missing);
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        Loan loan;
        QWidget *input = nullptr;
        QString value;
        if (missing == QLatin1String("accession")) {
            input = screen->txtAccessionNumber;
            value = std::exchange(loan.accession, QString());
        } else if (missing == QLatin1String("bookNumber")) {
            input = screen->txtBookNumber;
            value = std::exchange(loan.bookNumber, QString());
        } else if (missing == QLatin1String("title")) {
            input = screen->txtBookTitle;
            value = std::exchange(loan.title, QString());
        } else if (missing == QLatin1String("category")) {
            input = screen->cmbCategory;
            value = std::exchange(loan.category, QString());
        } else if (missing == QLatin1String("status")) {
            input = screen->cmbStatus;
            value = std::exchange(loan.status, QString());
        } else if (missing == QLatin1String("section")) {
            input = screen->cmbSection;
            value = std::exchange(loan.section, QString());
        }
        fill(screen, loan);
        if (missing == QLatin1String("date"))
            clearDate(screen->DTPicker1);
        const QStringList typed = shownTexts(screen);

        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, Incomplete);
        QCOMPARE(dialogs.boxes.first().title, QStringLiteral("error"));
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QCOMPARE(dialogs.boxes.first().buttons, Dialogs::Ok);
        QCOMPARE(data.count(Desk, Loans), 0);
        QCOMPARE(shownTexts(screen), typed);
        QVERIFY(inNewLoanMode(screen));

        if (input)
            type(input, value);
        else
            QTest::keyClick(screen->DTPicker1, Qt::Key_Up); // an empty picker steps to today
        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.size(), 2);
        QCOMPARE(dialogs.boxes.last().text, Saved);
        const auto rows = data.rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(AccessionNumber).toString(), QStringLiteral("A-1001"));
        QCOMPARE(rows.first().at(Section).toString(), QStringLiteral("2ICT1"));
        QCOMPARE(rows.first().at(DateBorrowed).toString(), QDate::currentDate().toString(Qt::ISODate));
    }

    void shouldStoreExactlyTheEightFieldsAndShowTheFirstLoanAfterwards()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        insertLoan(data, QStringLiteral("A-1"), QStringLiteral("First title"));
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        Loan loan;
        loan.category = QStringLiteral("WORLD HISTORY");
        loan.section = QStringLiteral("1ECT2");
        fill(screen, loan);
        screen->DTPicker1->setFocus();
        screen->DTPicker1->setNullableDate(QDate(2026, 3, 7));
        screen->cmdSave->click();

        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, Saved);
        QCOMPARE(dialogs.boxes.first().title, QStringLiteral("Save"));
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Information);
        QCOMPARE(dialogs.boxes.first().buttons, Dialogs::Ok);
        const auto rows = data.rows(Desk, Loans);
        QCOMPARE(rows.size(), 2);
        const QVariantList stored = rows.at(1);
        QCOMPARE(stored.size(), 15);
        QCOMPARE(stored.at(AccessionNumber).toString(), QStringLiteral("A-1001"));
        QCOMPARE(stored.at(BookNumber).toString(), QStringLiteral("BN-77"));
        QCOMPARE(stored.at(BookTitle).toString(), QStringLiteral("Noli Me Tangere"));
        QCOMPARE(stored.at(Category).toString(), QStringLiteral("WORLD HISTORY"));
        QCOMPARE(stored.at(Borrower).toString(), QStringLiteral("Maria Santos"));
        QCOMPARE(stored.at(DateBorrowed).toString(), QStringLiteral("2026-03-07"));
        QCOMPARE(stored.at(Status).toString(), QStringLiteral("Student"));
        QCOMPARE(stored.at(Section).toString(), QStringLiteral("1ECT2"));
        for (Field untouched : {Remarks, DateReturned, Condition, DaysBorrowed, Overduedays, Howmanydays, Fines})
            QVERIFY2(stored.at(untouched).isNull(), qPrintable(QString::number(untouched)));

        QVERIFY(inBrowseMode(screen));
        QCOMPARE(screen->txtAccessionNumber->text(), QStringLiteral("A-1"));
        QCOMPARE(screen->txtBookTitle->text(), QStringLiteral("First title"));
    }

    void shouldSaveALoanWithoutBorrowerName()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        Loan loan;
        loan.borrower.clear();
        fill(screen, loan);
        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, Saved);
        const auto rows = data.rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows.first().at(Borrower).toString().isEmpty());
    }

    void shouldStoreSpacesAndHandTypedValuesAsTyped()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        Loan loan;
        loan.title = QStringLiteral("   ");
        loan.category = QStringLiteral("fiction (paperback)");
        loan.section = QStringLiteral("3ICT9");
        loan.status = QStringLiteral("Visitor");
        fill(screen, loan);
        screen->txtBookNumber->setFocus(); // leaving the lists finishes their edits
        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, Saved);
        const auto rows = data.rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(BookTitle).toString(), QStringLiteral("   "));
        QCOMPARE(rows.first().at(Category).toString(), QStringLiteral("fiction (paperback)"));
        QCOMPARE(rows.first().at(Section).toString(), QStringLiteral("3ICT9"));
        QCOMPARE(rows.first().at(Status).toString(), QStringLiteral("Visitor"));
        // Typed texts never become items of the lists.
        QCOMPARE(screen->cmbCategory->count(), 13);
        QCOMPARE(screen->cmbSection->count(), 13);
        QCOMPARE(screen->cmbStatus->count(), 2);
    }

    void shouldStoreQuotesWildcardsAndNonLatinLettersExactly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quotes") << QStringLiteral("O'Brien's \"Dune\"; DROP TABLE tblBorrower;--");
        QTest::newRow("wildcards") << QStringLiteral("100% *done* _x_ [a] #1 ?");
        QTest::newRow("non-Latin") << QStringLiteral("Ελληνικά Кириллица 日本語 Ñandú");
    }

    void shouldStoreQuotesWildcardsAndNonLatinLettersExactly()
    {
        QFETCH(QString, text);
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        Loan loan;
        loan.accession = text;
        loan.title = text;
        loan.borrower = text;
        loan.category = text;
        fill(screen, loan);
        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, Saved);
        const auto rows = data.rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        for (Field f : {AccessionNumber, BookTitle, Borrower, Category})
            QCOMPARE(rows.first().at(f).toString(), text);
        QCOMPARE(screen->txtAccessionNumber->text(), text);
    }

    // --- loan entry: the borrower-type rule -----------------------------------

    void shouldDisableTheSectionWhenStaffIsPicked()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        type(screen->cmbSection, QStringLiteral("WT"));
        pick(screen->cmbStatus, QStringLiteral("Staff"));
        QVERIFY(!screen->cmbSection->isEnabled());
        QCOMPARE(screen->cmbSection->currentText(), QStringLiteral("WT")); // the rule keeps the text
        pick(screen->cmbStatus, QStringLiteral("Student"));
        QVERIFY(screen->cmbSection->isEnabled());
        pick(screen->cmbStatus, QStringLiteral("Staff"));
        QVERIFY(!screen->cmbSection->isEnabled());

        // Cancel, then Add: the section list is usable again.
        screen->cmdCancel->click();
        screen->cmdAdd->click();
        QVERIFY(screen->cmbSection->isEnabled());
    }

    void shouldNotApplyTheRuleToATypedType_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("exact") << QStringLiteral("Staff");
        QTest::newRow("lower case") << QStringLiteral("staff");
    }

    void shouldNotApplyTheRuleToATypedType()
    {
        QFETCH(QString, typed);
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        QVERIFY(QTest::qWaitForWindowActive(screen));
        screen->cmdAdd->click();
        screen->cmbStatus->setFocus();
        type(screen->cmbStatus, typed);
        QVERIFY(screen->cmbSection->isEnabled());
        // Finishing the edit (Enter, then leaving the list) is still typing.
        QTest::keyClick(screen->cmbStatus->lineEdit(), Qt::Key_Return);
        screen->txtBookTitle->setFocus();
        QVERIFY(screen->cmbSection->isEnabled());
        QCOMPARE(screen->cmbStatus->currentText(), typed);
        QCOMPARE(screen->cmbStatus->count(), 2);
    }

    void shouldSaveAStaffLoanOnlyWithASectionChosenBeforehand()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        Loan loan;
        loan.section.clear();
        loan.status = QStringLiteral("Staff");
        fill(screen, loan);
        QVERIFY(!screen->cmbSection->isEnabled());
        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, Incomplete);
        QCOMPARE(data.count(Desk, Loans), 0);

        screen->cmdCancel->click();
        screen->cmdAdd->click();
        loan.section = QStringLiteral("1ICT3");
        fill(screen, loan); // the section is typed before Staff is picked
        QVERIFY(!screen->cmbSection->isEnabled());
        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.last().text, Saved);
        const auto rows = data.rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(Status).toString(), QStringLiteral("Staff"));
        QCOMPARE(rows.first().at(Section).toString(), QStringLiteral("1ICT3"));
    }

    // --- loan entry: refusals by the store --------------------------------------

    void shouldKeepTheRowOpenWhenTheStoreRefusesAValue()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        Loan loan;
        loan.title = QString(300, QLatin1Char('x'));
        fill(screen, loan);
        const QStringList typed = shownTexts(screen);
        screen->cmdSave->click();

        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QVERIFY2(dialogs.boxes.first().text.contains(QStringLiteral("CHECK constraint failed")),
                 qPrintable(dialogs.boxes.first().text));
        QCOMPARE(data.count(Desk, Loans), 0);
        QVERIFY(inNewLoanMode(screen));
        QCOMPARE(shownTexts(screen), typed);
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmList")));

        screen->txtBookTitle->selectAll();
        type(screen->txtBookTitle, QStringLiteral("Short title"));
        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.size(), 2);
        QCOMPARE(dialogs.boxes.last().text, Saved);
        const auto rows = data.rows(Desk, Loans);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(BookTitle).toString(), QStringLiteral("Short title"));
        QCOMPARE(rows.first().at(AccessionNumber).toString(), QStringLiteral("A-1001"));
    }

    void shouldReportALockedStoreAndSaveOnceItIsFree()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        fill(screen, Loan());
        const QStringList typed = shownTexts(screen);
        {
            StoreLock lock(data);
            QVERIFY(lock.isLocked());
            screen->cmdSave->click();
        }
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QVERIFY2(dialogs.boxes.first().text.contains(QStringLiteral("locked")), qPrintable(dialogs.boxes.first().text));
        QCOMPARE(data.count(Desk, Loans), 0);
        QVERIFY(inNewLoanMode(screen));
        QCOMPARE(shownTexts(screen), typed);

        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.last().text, Saved);
        QCOMPARE(data.count(Desk, Loans), 1);
    }

    void shouldReportAMissingLoanTableAndStayUsable()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        data.exec(Desk, QStringLiteral("DROP TABLE tblBorrower"));
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        QTRY_COMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QVERIFY(dialogs.boxes.first().text.contains(QStringLiteral("tblBorrower")));
        screen->cmdAdd->click();
        QCOMPARE(dialogs.boxes.size(), 2);
        QVERIFY(inBrowseMode(screen));

        LoanListScreen *list = openList();
        QVERIFY(list);
        QTRY_COMPARE(dialogs.boxes.size(), 3);
        QCOMPARE(dialogs.boxes.last().icon, Dialogs::Critical);
        dialogs.answers << Dialogs::AnswerYes;
        list->cmdDelete->click();
        QCOMPARE(dialogs.boxes.size(), 4);
        QCOMPARE(dialogs.boxes.last().text, DeleteQuestion);
        QVERIFY(list->isVisible());
    }

    // --- the loan list ------------------------------------------------------------

    void shouldListEveryLoanInFifteenColumnsHeadedByTheFieldNames()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        addLoans(data, 3);
        LoanListScreen *list = openList();
        QVERIFY(list);
        QCOMPARE(list->size(), QSize(752, 500));
        QVERIFY(list->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(list->AeroGroupBox1->title(), QStringLiteral("AeroGroupBox1"));
        QCOMPARE(list->Adodc1Bar->caption(), QStringLiteral("Adodc1"));
        QAbstractItemModel *model = list->DataGrid1->model();
        QCOMPARE(model->columnCount(), 15);
        const QList<QPair<QString, int>> columns{
            {"AccessionNumber", 87}, {"BookNumber", 82}, {"BookTitle", 116}, {"Category", 104},
            {"Borrower", 101},       {"DateBorrowed", 94}, {"Remarks", 116}, {"DateReturned", 116},
            {"Status", 116},         {"Section", 116},   {"Condition", 116}, {"DaysBorrowed", 70},
            {"Overduedays", 116},    {"howmanydays", 68}, {"fines", 41}};
        for (int c = 0; c < 15; ++c) {
            QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), columns.at(c).first);
            QCOMPARE(list->DataGrid1->columnWidth(c), columns.at(c).second);
        }
        QCOMPARE(gridColumn(list, AccessionNumber), (QStringList{"A-0001", "A-0002", "A-0003"}));
        QCOMPARE(gridColumn(list, DateBorrowed).first(), QStringLiteral("11/2/2026"));
        QCOMPARE(gridColumn(list, DateReturned).first(), QString());
        QCOMPARE(gridColumn(list, Fines).first(), QString());
        QCOMPARE(list->DataGrid1->currentIndex().row(), 0);
        QCOMPARE(list->Adodc1->currentRow(), 0);
        QCOMPARE(list->DataGrid1->editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    void shouldDeleteExactlyTheSelectedLoan()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        addLoans(data, 5);
        LoanListScreen *list = openList();
        QVERIFY(list);
        QVERIFY(QTest::qWaitForWindowExposed(list));
        const QRect third = list->DataGrid1->visualRect(list->DataGrid1->model()->index(2, BookTitle));
        QTest::mouseClick(list->DataGrid1->viewport(), Qt::LeftButton, {}, third.center());
        QCOMPARE(list->Adodc1->currentRow(), 2);
        QCOMPARE(list->Adodc1->value(QStringLiteral("AccessionNumber")).toString(), QStringLiteral("A-0003"));

        dialogs.answers << Dialogs::AnswerYes;
        list->cmdDelete->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, DeleteQuestion);
        QCOMPARE(dialogs.boxes.first().title, QStringLiteral("question"));
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Question);
        QCOMPARE(dialogs.boxes.first().buttons, Dialogs::YesNo);
        QCOMPARE(storedAccessions(data), (QStringList{"A-0001", "A-0002", "A-0004", "A-0005"}));
        QCOMPARE(gridColumn(list, AccessionNumber), (QStringList{"A-0001", "A-0002", "A-0004", "A-0005"}));
        QCOMPARE(list->Adodc1->currentRow(), 0);
        QCOMPARE(list->DataGrid1->currentIndex().row(), 0);
    }

    void shouldNotDeleteWhenAnsweredNo()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        addLoans(data, 3);
        LoanListScreen *list = openList();
        QVERIFY(list);
        list->DataGrid1->selectRow(1);
        dialogs.answers << Dialogs::AnswerNo;
        list->cmdDelete->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(data.count(Desk, Loans), 3);
        QCOMPARE(list->DataGrid1->model()->rowCount(), 3);
        QCOMPARE(list->Adodc1->currentRow(), 1);
    }

    void shouldAskAndChangeNothingWhenThereIsNoLoanToDelete()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanListScreen *list = openList();
        QVERIFY(list);
        QCOMPARE(list->DataGrid1->model()->rowCount(), 0);
        dialogs.answers << Dialogs::AnswerYes;
        list->cmdDelete->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, DeleteQuestion);
        QCOMPARE(data.count(Desk, Loans), 0);
        QVERIFY(list->isVisible());
    }

    void shouldReportALockedStoreOnDeleteAndKeepTheLoan()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        addLoans(data, 2);
        LoanListScreen *list = openList();
        QVERIFY(list);
        dialogs.answers << Dialogs::AnswerYes;
        {
            StoreLock lock(data);
            QVERIFY(lock.isLocked());
            list->cmdDelete->click();
        }
        QCOMPARE(dialogs.boxes.size(), 2);
        QCOMPARE(dialogs.boxes.last().icon, Dialogs::Critical);
        QVERIFY2(dialogs.boxes.last().text.contains(QStringLiteral("locked")), qPrintable(dialogs.boxes.last().text));
        QCOMPARE(data.count(Desk, Loans), 2);
        QCOMPARE(list->DataGrid1->model()->rowCount(), 2);
    }

    void shouldMoveToTheLastLoanAndBackWithTheNavigationBar()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        addLoans(data, 1000);
        LoanListScreen *list = openList();
        QVERIFY(list);
        QVERIFY(list->DataGrid1->model()->rowCount() < 1000); // read a page at a time
        list->Adodc1Bar->findChild<QToolButton *>(QStringLiteral("last"))->click();
        QCOMPARE(list->DataGrid1->model()->rowCount(), 1000);
        QCOMPARE(list->Adodc1->currentRow(), 999);
        QCOMPARE(list->DataGrid1->currentIndex().row(), 999);
        QCOMPARE(list->Adodc1->value(QStringLiteral("AccessionNumber")).toString(), QStringLiteral("A-1000"));
        list->Adodc1Bar->findChild<QToolButton *>(QStringLiteral("previous"))->click();
        QCOMPARE(list->DataGrid1->currentIndex().row(), 998);
        list->Adodc1Bar->findChild<QToolButton *>(QStringLiteral("first"))->click();
        QCOMPARE(list->DataGrid1->currentIndex().row(), 0);
        QVERIFY(list->DataGrid1->selectionModel()->isRowSelected(0, QModelIndex()));
    }

    void shouldSayThatTheReportIsNotAvailableYet()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanListScreen *list = openList();
        QVERIFY(list);
        list->jcbutton1->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, QStringLiteral("The loan report is not available yet."));
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Information);
    }

    // --- across the two screens -----------------------------------------------------

    void shouldListALoanSavedWhileTheListDidNotExist()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        insertLoan(data, QStringLiteral("A-1"));
        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmList")));
        screen->cmdAdd->click();
        fill(screen, Loan());
        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.last().text, Saved);
        QWidget *hidden = Navigator::instance().existing(QStringLiteral("frmList"));
        QVERIFY(hidden);
        QVERIFY(!hidden->isVisible());

        screen->cmdMain->click();
        LoanListScreen *list = openList();
        QCOMPARE(list, hidden);
        QVERIFY(list->isVisible());
        QCOMPARE(gridColumn(list, AccessionNumber), (QStringList{"A-1", "A-1001"}));
    }

    void shouldListALoanSavedWhileTheListExistedUnseen()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        insertLoan(data, QStringLiteral("A-1"));
        auto *hidden = Navigator::instance().createAs<LoanListScreen>(QStringLiteral("frmList"));
        QVERIFY(hidden);
        QCOMPARE(hidden->DataGrid1->model()->rowCount(), 1);

        LoanEntryScreen *screen = openEntry();
        QVERIFY(screen);
        screen->cmdAdd->click();
        fill(screen, Loan());
        screen->cmdSave->click();
        QCOMPARE(dialogs.boxes.last().text, Saved);
        screen->cmdMain->click();

        LoanListScreen *list = openList();
        QCOMPARE(list, hidden);
        QCOMPARE(gridColumn(list, AccessionNumber), (QStringList{"A-1", "A-1001"}));
        QCOMPARE(list->Adodc1->currentRow(), 0);
    }

    void shouldReturnToTheMenuFromTheList()
    {
        TestData data;
        ScreensClosed closed;
        FakeDialogs dialogs;
        LoanListScreen *list = openList();
        QVERIFY(list);
        list->cmdMain->click();
        QTRY_VERIFY(!Navigator::instance().existing(QStringLiteral("frmList")));
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu")));
        QVERIFY(dialogs.boxes.isEmpty());
    }
};

QTEST_MAIN(LoansTest)
#include "tst_loans.moc"
