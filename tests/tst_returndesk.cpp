// The return desk and its overdue penalty, driven through their controls as
// the librarian would, with what the loan store then holds checked from
// outside.
#include "testsupport.h"

#include "app/ui/clock.h"
#include "app/ui/navigator.h"
#include "app/ui/widgets.h"
#include "catalogue/loanlistscreen.h"
#include "loans/loanentryscreen.h"
#include "loans/loanvalues.h"
#include "loans/returndeskscreen.h"
#include "store/schema.h"

#include <QApplication>
#include <QDir>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

#include <optional>

namespace {

const QString Loans = QStringLiteral("tblBorrower");
const QString Desk = QStringLiteral("frmRetrieve");
const QString RequireInformation = QStringLiteral("Please fill up the require information!");
const QString FillRemarks = QStringLiteral("Please fill up the Remarks!");
const QString FillDate = QStringLiteral("Please fill up the Date it was returned!");
const QString Updated = QStringLiteral("Record successfully updated!");
const QString NoRecord = QStringLiteral("No recod found!!");
const QString EnterFirst = QStringLiteral("Enter record first!");

// The button states of the screen, as the names of the enabled buttons.
const QString Browse = QStringLiteral("Find Main");
const QString Found = QStringLiteral("Edit Cancel Main");
const QString Editing = QStringLiteral("Save Cancel Main");
const QString Refused = QStringLiteral("Find Cancel Main");

const QDate Today(2026, 3, 2);

QString buttons(const ReturnDeskScreen *s)
{
    QStringList on;
    const std::pair<const QWidget *, const char *> all[] = {
        {s->cmdFind, "Find"}, {s->cmdEdit, "Edit"}, {s->cmdSave, "Save"}, {s->cmdCancel, "Cancel"}, {s->cmdMain, "Main"}};
    for (const auto &[button, name] : all)
        if (button->isEnabled())
            on << QLatin1String(name);
    return on.join(QLatin1Char(' '));
}

QList<QWidget *> inputs(const ReturnDeskScreen *s)
{
    return {s->txtAccessionNumber, s->txtBookNumber, s->txtBookTitle, s->txtBorrower, s->txtDaysBorrow,
            s->DTPicker1,          s->DTPicker2,     s->cmbRemarks,   s->cmbCategory, s->cmbStatus,
            s->cmbSection,         s->cmbCondition,  s->cmbOverdueDays};
}

// True when every input is enabled (or, with `enabled` false, disabled).
bool inputsAre(const ReturnDeskScreen *s, bool enabled)
{
    for (const QWidget *input : inputs(s))
        if (input->isEnabled() != enabled)
            return false;
    return true;
}

// True when the overdue days and the fine are shown and usable (or, with
// `shown` false, hidden and disabled), labels included.
bool penaltyIs(const ReturnDeskScreen *s, bool shown)
{
    for (const QWidget *w : std::initializer_list<const QWidget *>{s->lblDays, s->lblFines, s->txtdays, s->txtfines})
        if (w->isVisibleTo(s) != shown)
            return false;
    return s->txtdays->isEnabled() == shown && s->txtfines->isEnabled() == shown;
}

// The bound controls in the order of the table's fields.
QList<QWidget *> boundControls(const ReturnDeskScreen *s)
{
    return {s->txtAccessionNumber, s->txtBookNumber,  s->txtBookTitle, s->cmbCategory,   s->txtBorrower,
            s->DTPicker1,          s->cmbRemarks,     s->DTPicker2,    s->cmbStatus,     s->cmbSection,
            s->cmbCondition,       s->txtDaysBorrow,  s->cmbOverdueDays, s->txtdays,     s->txtfines};
}

// What the screen shows, field by field; dates as ISO text.
QStringList shown(const ReturnDeskScreen *s)
{
    QStringList texts;
    for (QWidget *w : boundControls(s)) {
        if (auto *list = qobject_cast<QComboBox *>(w))
            texts << list->currentText();
        else if (auto *picker = qobject_cast<DatePicker *>(w))
            texts << picker->nullableDate().toString(Qt::ISODate);
        else
            texts << static_cast<QLineEdit *>(w)->text();
    }
    return texts;
}

// A stored row as the screen shows it, field by field.
QStringList asShown(const QVariantMap &row)
{
    QStringList texts;
    for (const QString &field : Schema::borrower().fields)
        texts << row.value(field).toString();
    return texts;
}

// A loan row with the given fields; the others stay empty.
void insertRow(TestData &data, const QVariantMap &fields)
{
    QStringList columns;
    QStringList marks;
    QVariantList values;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        columns << Schema::quoted(it.key());
        marks << QStringLiteral("?");
        values << it.value();
    }
    data.exec(DeskFile,
              QStringLiteral("INSERT INTO tblBorrower (%1) VALUES (%2)").arg(columns.join(','), marks.join(',')),
              values);
}

ReturnDeskScreen *openDesk()
{
    return qobject_cast<ReturnDeskScreen *>(Navigator::instance().open(Desk));
}

// Replaces the whole text of a box or of a list's edit line by typing.
void retype(QWidget *input, const QString &text)
{
    QLineEdit *edit = qobject_cast<QLineEdit *>(input);
    if (auto *list = qobject_cast<QComboBox *>(input))
        edit = list->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    type(edit, text);
}

// The return as the librarian completes it.
struct Return {
    QString remarks;  // picked when an item, else typed
    bool dated = true;
    QString condition;
    QString daysBorrowed;
};

void complete(ReturnDeskScreen *s, const Return &r)
{
    for (auto [list, text] : {std::pair{s->cmbRemarks, r.remarks}, std::pair{s->cmbCondition, r.condition}}) {
        if (list->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            pick(list, text);
        else
            retype(list, text);
    }
    if (r.dated)
        QTest::keyClick(s->DTPicker2, Qt::Key_Up); // an empty picker steps to today
    retype(s->txtDaysBorrow, r.daysBorrowed);
}

QStringList gridRow(LoanListScreen *list, int row)
{
    QStringList texts;
    QAbstractItemModel *model = list->DataGrid1->model();
    for (int column = 0; column < model->columnCount(); ++column)
        texts << model->index(row, column).data().toString();
    return texts;
}

bool holdsFocus(const QWidget *w)
{
    const QWidget *focused = QApplication::focusWidget();
    return focused && (focused == w || w->isAncestorOf(focused));
}

} // namespace

class ReturnDeskTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init()
    {
        data.emplace();
        dialogs.emplace();
        Clock::set(QDateTime(Today, QTime(10, 0)));
    }
    void cleanup()
    {
        closeAllScreens();
        dialogs.reset();
        data.reset();
        Clock::set(QDateTime());
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // --- opening ------------------------------------------------------------

    void shouldOpenOnTheFirstLoanWithNothingToEdit()
    {
        insertRow(*data, {{"AccessionNumber", "A-1"}, {"BookTitle", "First"}, {"DateBorrowed", "2026-02-20"},
                          {"Overduedays", "Yes"}, {"howmanydays", "3"}, {"fines", "20"}});
        insertLoan(*data, QStringLiteral("A-2"));
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        QCOMPARE(buttons(s), Browse);
        QVERIFY(inputsAre(s, false));
        // Showing a row is no pick: its penalty stays hidden. Its stored fine
        // is shown, not five times its days; its empty return date is no date.
        QVERIFY(penaltyIs(s, false));
        QCOMPARE(shown(s), asShown(data->rows(DeskFile, Loans).first()));
        QCOMPARE(s->txtfines->text(), QStringLiteral("20"));
        QVERIFY(!s->DTPicker2->hasDate());
        QVERIFY(dialogs->boxes.isEmpty());
        // The lists offer the loan entry's very items.
        auto items = [](const QComboBox *list) {
            QStringList texts;
            for (int i = 0; i < list->count(); ++i)
                texts << list->itemText(i);
            return texts;
        };
        QCOMPARE(items(s->cmbStatus), LoanValues::borrowerTypes());
        QCOMPARE(items(s->cmbSection), LoanValues::sections());
        QCOMPARE(items(s->cmbCategory), LoanValues::categories());
        // Every input is named by its label.
        for (QLabel *label : s->findChildren<QLabel *>())
            if (label->objectName() != QLatin1String("lblTitle") && !label->objectName().endsWith(QLatin1String("Details"))
                && label->objectName() != QLatin1String("lblPenalty"))
                QVERIFY2(label->buddy(), qPrintable(label->objectName()));
        QVERIFY(!s->Image1->accessibleName().isEmpty());
    }

    // --- find ---------------------------------------------------------------

    void shouldFindTheFirstLoanWhoseNumberContainsTheText_data()
    {
        QTest::addColumn<QVariantList>("numbers");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("current"); // the accession number shown after the find
        QTest::addColumn<QString>("message"); // empty when the loan is found

        const QVariant none;
        QTest::newRow("12 in A-120") << QVariantList{"A-7", "A-120", "312"} << "12" << "A-120" << "";
        QTest::newRow("12 in 312") << QVariantList{"A-7", "312", "A-120"} << "12" << "312" << "";
        QTest::newRow("the whole number") << QVariantList{"A-1", "A-12"} << "A-12" << "A-12" << "";
        QTest::newRow("apostrophe") << QVariantList{"OBrien", "O'Brien"} << "O'Brien" << "O'Brien" << "";
        QTest::newRow("star matched as a star") << QVariantList{"12-3", "1*2"} << "1*2" << "1*2" << "";
        QTest::newRow("percent matched as a percent") << QVariantList{"150", "1%"} << "1%" << "1%" << "";
        QTest::newRow("underscore matched as one") << QVariantList{"1x2", "1_2"} << "1_2" << "1_2" << "";
        QTest::newRow("brackets and hash") << QVariantList{"1", "[#1]"} << "[#1]" << "[#1]" << "";
        QTest::newRow("no such number") << QVariantList{"A-1", "A-2"} << "B" << "A-1" << NoRecord;
        QTest::newRow("a lone star finds no star") << QVariantList{"A-1"} << "*" << "A-1" << NoRecord;
        QTest::newRow("empty table") << QVariantList{} << "12" << "" << NoRecord;
        QTest::newRow("empty table, empty text") << QVariantList{} << "" << "" << NoRecord;
        QTest::newRow("empty text moves to the first number")
            << QVariantList{none, "A-2", "A-3"} << "" << "A-2" << EnterFirst;
    }

    void shouldFindTheFirstLoanWhoseNumberContainsTheText()
    {
        QFETCH(QVariantList, numbers);
        QFETCH(QString, typed);
        QFETCH(QString, current);
        QFETCH(QString, message);
        for (const QVariant &number : numbers)
            insertRow(*data, {{"AccessionNumber", number}, {"BookTitle", "Title of " + number.toString()}});
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);

        dialogs->promptAnswers << typed;
        s->cmdFind->click();
        QCOMPARE(dialogs->prompts, QStringList{"enter accession number"});
        QCOMPARE(dialogs->promptTitles, QStringList{"Search"});
        QCOMPARE(s->txtAccessionNumber->text(), current);
        QCOMPARE(s->txtBookTitle->text(), current.isEmpty() ? QString() : "Title of " + current);
        if (message.isEmpty()) {
            QVERIFY(dialogs->boxes.isEmpty());
            QCOMPARE(buttons(s), Found);
        } else {
            QCOMPARE(dialogs->boxes.size(), 1);
            QCOMPARE(dialogs->boxes.first().text, message);
            QCOMPARE(dialogs->boxes.first().title,
                     message == NoRecord ? QStringLiteral("Error") : QStringLiteral("Tallymere"));
            QCOMPARE(dialogs->boxes.first().icon, message == NoRecord ? Dialogs::Critical : Dialogs::NoIcon);
            QCOMPARE(buttons(s), Browse);
        }
        QVERIFY(inputsAre(s, false));
        QCOMPARE(data->count(DeskFile, Loans), numbers.size());
    }

    void shouldGoBackToTheFirstLoanOnCancelWithoutAsking()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        insertLoan(*data, QStringLiteral("A-2"), QStringLiteral("Second"));
        const auto before = data->rows(DeskFile, Loans);
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);

        // Right after a find nothing is pending.
        dialogs->promptAnswers << QStringLiteral("2");
        s->cmdFind->click();
        QCOMPARE(s->txtBookTitle->text(), QStringLiteral("Second"));
        s->cmdCancel->click();
        QCOMPARE(buttons(s), Browse);
        QCOMPARE(shown(s), asShown(before.first()));

        // An edit is dropped.
        dialogs->promptAnswers << QStringLiteral("2");
        s->cmdFind->click();
        s->cmdEdit->click();
        complete(s, {QStringLiteral("Returned"), true, QStringLiteral("OK"), QStringLiteral("4")});
        retype(s->txtBookTitle, QStringLiteral("Changed"));
        s->cmdCancel->click();
        QCOMPARE(buttons(s), Browse);
        QVERIFY(inputsAre(s, false));
        QCOMPARE(shown(s), asShown(before.first()));
        QVERIFY(dialogs->boxes.isEmpty());
        QCOMPARE(data->rows(DeskFile, Loans), before);

        // The same loan found again shows what is stored.
        dialogs->promptAnswers << QStringLiteral("2");
        s->cmdFind->click();
        QCOMPARE(shown(s), asShown(before.last()));
    }

    // --- save ---------------------------------------------------------------

    void shouldRefuseAnIncompleteReturnInOrderAndStoreNothing_data()
    {
        QTest::addColumn<QString>("remarks");
        QTest::addColumn<bool>("dated");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("message");

        QTest::newRow("no days borrowed, before the remarks") << "" << true << "OK" << "" << RequireInformation;
        QTest::newRow("no condition") << "Returned" << true << "" << "5" << RequireInformation;
        QTest::newRow("no remarks") << "" << true << "OK" << "5" << FillRemarks;
        QTest::newRow("a blank is days borrowed") << "" << true << "OK" << " " << FillRemarks;
        QTest::newRow("no return date") << "Returned" << false << "Damage" << "5" << FillDate;
    }

    void shouldRefuseAnIncompleteReturnInOrderAndStoreNothing()
    {
        QFETCH(QString, remarks);
        QFETCH(bool, dated);
        QFETCH(QString, condition);
        QFETCH(QString, days);
        QFETCH(QString, message);
        insertLoan(*data, QStringLiteral("A-1"));
        insertLoan(*data, QStringLiteral("A-2"), QStringLiteral("Second"));
        const auto before = data->rows(DeskFile, Loans);
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        dialogs->promptAnswers << QStringLiteral("A-2");
        s->cmdFind->click();
        s->cmdEdit->click();
        QCOMPARE(buttons(s), Editing);
        QVERIFY(inputsAre(s, true));
        complete(s, {remarks, dated, condition, days});
        const QStringList typed = shown(s);

        s->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, message);
        QCOMPARE(dialogs->boxes.first().title,
                 message == RequireInformation ? QStringLiteral("error") : QStringLiteral("Tallymere"));
        QCOMPARE(dialogs->boxes.first().icon, message == RequireInformation ? Dialogs::Critical : Dialogs::NoIcon);
        QCOMPARE(data->rows(DeskFile, Loans), before);
        QCOMPARE(buttons(s), Refused);
        QVERIFY(inputsAre(s, true));
        QCOMPARE(shown(s), typed);

        // Cancel drops the edit: the stored row is as it was.
        s->cmdCancel->click();
        QCOMPARE(buttons(s), Browse);
        QCOMPARE(shown(s), asShown(before.first()));
        QCOMPARE(data->rows(DeskFile, Loans), before);
        dialogs->promptAnswers << QStringLiteral("A-2");
        s->cmdFind->click();
        QCOMPARE(shown(s), asShown(before.last()));
    }

    void shouldStoreExactlyTheReturnOfALoanMadeAtTheLoanEntry()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        // The loan is made at the loan entry screen, which leaves the loan
        // list made but unseen.
        auto *entry = qobject_cast<LoanEntryScreen *>(Navigator::instance().open(QStringLiteral("frmAddRecord")));
        QVERIFY(entry);
        entry->cmdAdd->click();
        type(entry->txtAccessionNumber, QStringLiteral("A-1001"));
        type(entry->txtBookNumber, QStringLiteral("BN-77"));
        type(entry->txtBookTitle, QStringLiteral("Noli Me Tangere"));
        type(entry->txtBorrower, QStringLiteral("Maria Santos"));
        type(entry->cmbCategory, QStringLiteral("FICTION"));
        type(entry->cmbSection, QStringLiteral("2ICT1"));
        pick(entry->cmbStatus, QStringLiteral("Student"));
        entry->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(data->count(DeskFile, Loans), 2);
        auto *list = Navigator::instance().existingAs<LoanListScreen>(QStringLiteral("frmList"));
        QVERIFY(list);
        entry->cmdMain->click();
        QTRY_VERIFY(!Navigator::instance().existing(QStringLiteral("frmAddRecord")));
        dialogs->clear();

        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        dialogs->promptAnswers << QStringLiteral("1001");
        s->cmdFind->click();
        QCOMPARE(s->txtBookTitle->text(), QStringLiteral("Noli Me Tangere"));
        QCOMPARE(s->DTPicker1->nullableDate(), Today);
        s->cmdEdit->click();
        complete(s, {QStringLiteral("Returned"), true, QStringLiteral("Damage"), QStringLiteral("12")});
        pick(s->cmbOverdueDays, QStringLiteral("Yes"));
        QVERIFY(penaltyIs(s, true));
        type(s->txtdays, QStringLiteral("2.5"));
        QCOMPARE(s->txtfines->text(), QStringLiteral("12.5"));
        retype(s->txtBorrower, QStringLiteral("Maria S. Santos"));
        s->cmdSave->click();

        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, Updated);
        QCOMPARE(dialogs->boxes.first().title, QStringLiteral("save"));
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Information);
        const auto rows = data->rows(DeskFile, Loans);
        QCOMPARE(rows.size(), 2);
        QVariantMap expected{{"AccessionNumber", "A-1001"}, {"BookNumber", "BN-77"},
                             {"BookTitle", "Noli Me Tangere"}, {"Category", "FICTION"},
                             {"Borrower", "Maria S. Santos"}, {"DateBorrowed", "2026-03-02"},
                             {"Remarks", "Returned"}, {"DateReturned", "2026-03-02"},
                             {"Status", "Student"}, {"Section", "2ICT1"},
                             {"Condition", "Damage"}, {"DaysBorrowed", "12"},
                             {"Overduedays", "Yes"}, {"howmanydays", "2.5"}, {"fines", "12.5"}};
        QCOMPARE(asShown(rows.last()), asShown(expected));
        // The first loan is shown again, and the penalty keeps its last pick.
        QCOMPARE(shown(s), asShown(rows.first()));
        QCOMPARE(buttons(s), Browse);
        QVERIFY(inputsAre(s, false));
        QVERIFY(penaltyIs(s, true));

        // The loan list, still unseen, shows the completed loan once opened.
        QVERIFY(!list->isVisible());
        s->cmdMain->click();
        QTRY_VERIFY(!Navigator::instance().existing(Desk));
        QCOMPARE(Navigator::instance().open(QStringLiteral("frmList")), list);
        QStringList shownInList = gridRow(list, 1);
        QCOMPARE(shownInList.at(Schema::borrower().fields.indexOf("DateReturned")), QStringLiteral("3/2/2026"));
        shownInList.replace(Schema::borrower().fields.indexOf("DateReturned"), "2026-03-02");
        shownInList.replace(Schema::borrower().fields.indexOf("DateBorrowed"), "2026-03-02");
        QCOMPARE(shownInList, asShown(expected));
    }

    void shouldKeepTheEditWhenTheStoreRefuses_data()
    {
        QTest::addColumn<QString>("lock"); // what the other program holds
        QTest::addColumn<QString>("engineText");
        QTest::newRow("remarks over 255 characters") << QString() << QStringLiteral("The text for Remarks is too long");
        QTest::newRow("file locked by another program")
            << QStringLiteral("BEGIN EXCLUSIVE") << QStringLiteral("database is locked");
        QTest::newRow("another program saving") << QStringLiteral("BEGIN IMMEDIATE")
                                                << QStringLiteral("database is locked");
    }

    void shouldKeepTheEditWhenTheStoreRefuses()
    {
        QFETCH(QString, lock);
        QFETCH(QString, engineText);
        const bool locked = !lock.isEmpty();
        insertLoan(*data, QStringLiteral("A-1"));
        const auto before = data->rows(DeskFile, Loans);
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        dialogs->promptAnswers << QStringLiteral("A-1");
        s->cmdFind->click();
        s->cmdEdit->click();
        const QString remarks = locked ? QStringLiteral("Returned") : QString(300, QLatin1Char('r'));
        complete(s, {remarks, true, QStringLiteral("OK"), QStringLiteral("7")});
        const QStringList typed = shown(s);
        QSqlDatabase other = data->observe(DeskFile);
        if (locked)
            QVERIFY(QSqlQuery(other).exec(lock));
        s->cmdSave->click();
        if (locked)
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("ROLLBACK")));

        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Critical);
        QVERIFY2(dialogs->boxes.first().text.contains(engineText), qPrintable(dialogs->boxes.first().text));
        // The engine's text comes with a sentence that names the store.
        if (locked)
            QVERIFY(dialogs->boxes.first().text.contains(
                QStringLiteral("The store %1 is busy with another program").arg(QDir::toNativeSeparators(data->path(DeskFile)))));
        QCOMPARE(data->rows(DeskFile, Loans), before);
        QCOMPARE(buttons(s), Editing);
        QCOMPARE(shown(s), typed);
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmList")));

        if (!locked)
            pick(s->cmbRemarks, QStringLiteral("Returned"));
        s->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 2);
        QCOMPARE(dialogs->boxes.last().text, Updated);
        const QVariantMap stored = data->rows(DeskFile, Loans).first();
        QCOMPARE(stored.value("Remarks").toString(), QStringLiteral("Returned"));
        QCOMPARE(stored.value("DaysBorrowed").toString(), QStringLiteral("7"));
    }

    void shouldStoreNothingWhenLeftWithAnEditPending_data()
    {
        QTest::addColumn<QString>("leaveBy");
        QTest::newRow("Main") << "Main";
        QTest::newRow("Find after a refused save") << "Find";
        QTest::newRow("the window's close button") << "close";
    }

    void shouldStoreNothingWhenLeftWithAnEditPending()
    {
        QFETCH(QString, leaveBy);
        insertLoan(*data, QStringLiteral("A-1"));
        insertLoan(*data, QStringLiteral("A-2"), QStringLiteral("Second"));
        const auto before = data->rows(DeskFile, Loans);
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        dialogs->promptAnswers << QStringLiteral("A-2");
        s->cmdFind->click();
        s->cmdEdit->click();
        complete(s, {QString(), true, QStringLiteral("Lost"), QStringLiteral("30")});
        retype(s->txtBookTitle, QStringLiteral("Changed"));

        if (leaveBy == QLatin1String("Main")) {
            s->cmdMain->click();
            QTRY_VERIFY(!Navigator::instance().existing(Desk));
            QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu")));
        } else if (leaveBy == QLatin1String("close")) {
            s->close();
            QTRY_VERIFY(!Navigator::instance().existing(Desk));
            QVERIFY(!Navigator::instance().existing(QStringLiteral("frmMenu")));
        } else {
            s->cmdSave->click(); // refused: no remarks
            QCOMPARE(buttons(s), Refused);
            dialogs->promptAnswers << QStringLiteral("A-2");
            s->cmdFind->click();
            QCOMPARE(shown(s), asShown(before.last()));
            QCOMPARE(buttons(s), Found);
        }
        QCOMPARE(data->rows(DeskFile, Loans), before);
    }

    // --- the borrower type and the overdue penalty --------------------------

    void shouldDisableTheSectionOnlyWhileStaffIsPicked()
    {
        insertRow(*data, {{"AccessionNumber", "A-1"}, {"Status", "Staff"}, {"Section", "WT"}});
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        dialogs->promptAnswers << QStringLiteral("A-1");
        s->cmdFind->click();
        s->cmdEdit->click();
        QVERIFY(s->cmbSection->isEnabled()); // a stored Staff is no pick
        pick(s->cmbStatus, QStringLiteral("Staff"));
        QVERIFY(!s->cmbSection->isEnabled());
        QCOMPARE(s->cmbSection->currentText(), QStringLiteral("WT"));
        pick(s->cmbStatus, QStringLiteral("Student"));
        QVERIFY(s->cmbSection->isEnabled());
        retype(s->cmbStatus, QStringLiteral("Staff")); // typed, not picked
        QVERIFY(s->cmbSection->isEnabled());
    }

    void shouldWorkOutTheFineAsTheOverdueDaysAreTyped_data()
    {
        QTest::addColumn<QString>("days");
        QTest::addColumn<bool>("commaLocale");
        QTest::addColumn<QString>("fine");

        QTest::newRow("3") << "3" << false << "15";
        QTest::newRow("2.5") << "2.5" << false << "12.5";
        QTest::newRow("2.5, comma locale") << "2.5" << true << "12,5";
        QTest::newRow("2,5 stops at the comma, comma locale") << "2,5" << true << "10";
        QTest::newRow("abc") << "abc" << false << "0";
        QTest::newRow("3 overdue") << "3 overdue" << false << "15";
        QTest::newRow("1,5") << "1,5" << false << "5";
        QTest::newRow("-2") << "-2" << false << "-10";
        QTest::newRow("1 2") << "1 2" << false << "60";
        QTest::newRow("exponent with D") << "1D2" << false << "500";
        QTest::newRow("just below 1E15") << "199999999999999.8" << false << "999999999999999";
        QTest::newRow("1E15 in exponent form") << "2E14" << false << "1E+15";
        QTest::newRow("5E+15") << "1e15" << false << "5E+15";
        QTest::newRow("beyond the double range") << "1e308" << false << "";
        QTest::newRow("far beyond the double range") << "9e999" << false << "";
        QTest::newRow("hexadecimal form reads as 0") << "&H10" << false << "0";
        QTest::newRow("octal form reads as 0") << "&O10" << false << "0";
    }

    void shouldWorkOutTheFineAsTheOverdueDaysAreTyped()
    {
        QFETCH(QString, days);
        QFETCH(bool, commaLocale);
        QFETCH(QString, fine);
        if (commaLocale)
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        insertLoan(*data, QStringLiteral("A-1"));
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        dialogs->promptAnswers << QStringLiteral("A-1");
        s->cmdFind->click();
        s->cmdEdit->click();
        pick(s->cmbOverdueDays, QStringLiteral("Yes"));
        type(s->txtdays, days);
        QCOMPARE(s->txtfines->text(), fine);
        QVERIFY(dialogs->boxes.isEmpty());
    }

    void shouldFollowEveryChangeOfTheDaysAndKeepATypedFineUntilThen()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        dialogs->promptAnswers << QStringLiteral("A-1");
        s->cmdFind->click();
        s->cmdEdit->click();
        pick(s->cmbOverdueDays, QStringLiteral("Yes"));
        type(s->txtdays, QStringLiteral("1"));
        QCOMPARE(s->txtfines->text(), QStringLiteral("5"));
        type(s->txtdays, QStringLiteral("2"));
        QCOMPARE(s->txtfines->text(), QStringLiteral("60"));
        retype(s->txtfines, QStringLiteral("50"));
        QCOMPARE(s->txtfines->text(), QStringLiteral("50"));
        QTest::keyClick(s->txtdays, Qt::Key_Backspace);
        QCOMPARE(s->txtfines->text(), QStringLiteral("5"));
        s->txtdays->selectAll();
        QTest::keyClick(s->txtdays, Qt::Key_Delete);
        QCOMPARE(s->txtfines->text(), QStringLiteral("0"));
    }

    void shouldHideTheOverdueDaysOnNoAndStoreThemUnchanged()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        dialogs->promptAnswers << QStringLiteral("A-1");
        s->cmdFind->click();
        s->cmdEdit->click();
        QVERIFY(penaltyIs(s, false));
        complete(s, {QStringLiteral("Not yet Returned"), true, QStringLiteral("Lost"), QStringLiteral("40")});
        pick(s->cmbOverdueDays, QStringLiteral("Yes"));
        QVERIFY(penaltyIs(s, true));
        type(s->txtdays, QStringLiteral("-3"));
        QCOMPARE(s->txtfines->text(), QStringLiteral("-15"));
        pick(s->cmbOverdueDays, QStringLiteral("No"));
        QVERIFY(penaltyIs(s, false));
        QCOMPARE(s->txtdays->text(), QStringLiteral("-3"));
        // Typed text is no pick: the boxes stay hidden.
        retype(s->cmbOverdueDays, QStringLiteral("Yes"));
        QVERIFY(penaltyIs(s, false));
        s->cmdSave->click();

        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, Updated);
        const QVariantMap stored = data->rows(DeskFile, Loans).first();
        QCOMPARE(stored.value("Overduedays").toString(), QStringLiteral("Yes"));
        QCOMPARE(stored.value("howmanydays").toString(), QStringLiteral("-3"));
        QCOMPARE(stored.value("fines").toString(), QStringLiteral("-15"));
        QCOMPARE(stored.value("Remarks").toString(), QStringLiteral("Not yet Returned"));
        // The loan list, made unseen by the save, has the stored row.
        auto *list = Navigator::instance().existingAs<LoanListScreen>(QStringLiteral("frmList"));
        QVERIFY(list);
        QVERIFY(!list->isVisible());
        QCOMPARE(gridRow(list, 0).last(), QStringLiteral("-15"));
    }

    // --- keyboard -----------------------------------------------------------

    void shouldWalkTheDeskWithTabSpaceAndEnterInItsOrder()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        insertLoan(*data, QStringLiteral("A-2"));
        ReturnDeskScreen *s = openDesk();
        QVERIFY(QTest::qWaitForWindowActive(s));
        s->cmdFind->setFocus();
        QTRY_VERIFY(holdsFocus(s->cmdFind));
        dialogs->promptAnswers << QStringLiteral("2");
        QTest::keyClick(s->cmdFind, Qt::Key_Space);
        QCOMPARE(buttons(s), Found);
        QTRY_VERIFY(holdsFocus(s->cmdEdit)); // Find is off now; the next button has the focus
        QTest::keyClick(s->cmdEdit, Qt::Key_Return);
        QCOMPARE(buttons(s), Editing);
        QVERIFY(holdsFocus(s->cmdSave));

        // With "Yes" picked every control takes its turn.
        pick(s->cmbOverdueDays, QStringLiteral("Yes"));
        s->cmdSave->setFocus();
        const QList<QWidget *> order{s->cmdCancel,      s->cmdMain,       s->txtfines,     s->cmbOverdueDays,
                                     s->txtdays,        s->txtDaysBorrow, s->cmbCondition, s->cmbStatus,
                                     s->cmbSection,     s->cmbCategory,   s->DTPicker2,    s->cmbRemarks,
                                     s->txtAccessionNumber, s->txtBookNumber, s->txtBookTitle, s->txtBorrower,
                                     s->DTPicker1,      s->cmdSave};
        for (QWidget *next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(holdsFocus(next), qPrintable(next->objectName()));
        }
        QTest::keyClick(s->cmdSave, Qt::Key_Tab);
        QVERIFY(holdsFocus(s->cmdCancel));
        QTest::keyClick(s->cmdCancel, Qt::Key_Space);
        QCOMPARE(buttons(s), Browse);
        QCOMPARE(s->txtAccessionNumber->text(), QStringLiteral("A-1"));
    }

private:
    std::optional<TestData> data;
    std::optional<FakeDialogs> dialogs;
};

QTEST_MAIN(ReturnDeskTest)
#include "tst_returndesk.moc"
