// The return desk and its overdue penalty, driven through their controls as
// the librarian would, with what the loan store then holds checked from
// outside.
#include "testsupport.h"

#include "store/rowsource.h"

#include "loans/returndeskscreen.h"
#include "store/schema.h"
#include "ui/clock.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTest>

#include <optional>

namespace {

const QString Loans = QStringLiteral("tblBorrower");
const QString Desk = QStringLiteral("frmRetrieve");
const QString RequireInformation = QStringLiteral("Please fill up the require information!");
const QString Updated = QStringLiteral("Record successfully updated!");
const QString NoRecord = QStringLiteral("No recod found!!");

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
        {control<PushButton>(s, "cmdFind"), "Find"}, {control<PushButton>(s, "cmdEdit"), "Edit"}, {control<PushButton>(s, "cmdSave"), "Save"}, {control<PushButton>(s, "cmdCancel"), "Cancel"}, {control<PushButton>(s, "cmdMain"), "Main"}};
    for (const auto &[button, name] : all)
        if (button->isEnabled())
            on << QLatin1String(name);
    return on.join(QLatin1Char(' '));
}

// The bound controls in the order of the table's fields.
QList<QWidget *> controls(const ReturnDeskScreen *s)
{
    return {control<QLineEdit>(s, "txtAccessionNumber"), control<QLineEdit>(s, "txtBookNumber"), control<QLineEdit>(s, "txtBookTitle"), control<QComboBox>(s, "cmbCategory"),   control<QLineEdit>(s, "txtBorrower"),
            control<DatePicker>(s, "DTPicker1"),          control<QComboBox>(s, "cmbRemarks"),    control<DatePicker>(s, "DTPicker2"),    control<QComboBox>(s, "cmbStatus"),     control<QComboBox>(s, "cmbSection"),
            control<QComboBox>(s, "cmbCondition"),       control<QLineEdit>(s, "txtDaysBorrow"), control<QComboBox>(s, "cmbOverdueDays"), control<QLineEdit>(s, "txtdays"),     control<QLineEdit>(s, "txtfines")};
}

// True when every input but the penalty's is enabled (or, with `enabled` false, disabled).
bool inputsAre(const ReturnDeskScreen *s, bool enabled)
{
    const auto all = controls(s).mid(0, 13);
    return std::all_of(all.begin(), all.end(), [&](QWidget *w) { return w->isEnabled() == enabled; });
}

// True when the overdue days and the fine are shown and usable (or, with
// `shown` false, hidden and disabled), labels included.
bool penaltyIs(const ReturnDeskScreen *s, bool shown)
{
    const QList<QWidget *> all{control<QLabel>(s, "lblDays"), control<QLabel>(s, "lblFines"), control<QLineEdit>(s, "txtdays"), control<QLineEdit>(s, "txtfines")};
    return std::all_of(all.begin(), all.end(), [&](QWidget *w) { return w->isVisibleTo(s) == shown; })
           && control<QLineEdit>(s, "txtdays")->isEnabled() == shown && control<QLineEdit>(s, "txtfines")->isEnabled() == shown;
}

// What the screen shows, field by field; dates as ISO text.
QStringList shown(const ReturnDeskScreen *s)
{
    QStringList texts;
    for (QWidget *w : controls(s)) {
        auto *picker = qobject_cast<DatePicker *>(w);
        texts << (picker ? picker->nullableDate().toString(Qt::ISODate)
                         : w->property(qobject_cast<QComboBox *>(w) ? "currentText" : "text").toString());
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
    QStringList columns, marks;
    for (const QString &field : fields.keys())
        columns << Schema::quoted(field), marks << QStringLiteral("?");
    data.exec(DeskFile, QStringLiteral("INSERT INTO tblBorrower (%1) VALUES (%2)").arg(columns.join(','), marks.join(',')),
              fields.values());
}

// Replaces the whole text of a box or of a list's edit line by typing.
void retype(QWidget *input, const QString &text)
{
    auto *list = qobject_cast<QComboBox *>(input);
    QLineEdit *edit = list ? list->lineEdit() : qobject_cast<QLineEdit *>(input);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    type(edit, text);
}

// Completes the return: the remarks (when given) and the condition picked,
// the return date stepped to today when `dated`.
void complete(ReturnDeskScreen *s, const QString &remarks, bool dated, const QString &condition, const QString &days)
{
    if (!remarks.isEmpty())
        pick(control<QComboBox>(s, "cmbRemarks"), remarks);
    pick(control<QComboBox>(s, "cmbCondition"), condition);
    if (dated)
        QTest::keyClick(control<DatePicker>(s, "DTPicker2"), Qt::Key_Up); // an empty picker steps to today
    retype(control<QLineEdit>(s, "txtDaysBorrow"), days);
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

    ReturnDeskScreen *openDesk() { return qobject_cast<ReturnDeskScreen *>(Navigator::instance().open(Desk)); }
    void find(ReturnDeskScreen *s, const QString &text)
    {
        dialogs->promptAnswers << text;
        control<PushButton>(s, "cmdFind")->click();
    }
    // The desk with loans A-1 and A-2 (titled "Second") stored, A-2 found
    // and open for editing.
    ReturnDeskScreen *editLoan()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        insertLoan(*data, QStringLiteral("A-2"), QStringLiteral("Second"));
        before = data->rows(DeskFile, Loans);
        ReturnDeskScreen *s = openDesk();
        if (s) {
            find(s, "A-2");
            control<PushButton>(s, "cmdEdit")->click();
        }
        return s;
    }

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init()
    {
        data.emplace();
        dialogs = &data->dialogs;
        Clock::set(QDateTime(Today, QTime(10, 0)));
    }
    void cleanup()
    {
        closeAllScreens();
        data.reset();
        Clock::set(QDateTime());
    }

    void shouldOpenOnTheFirstLoanWithNothingToEdit()
    {
        insertRow(*data, {{"AccessionNumber", "A-1"}, {"DateBorrowed", "2026-02-20"}, {"Overduedays", "Yes"},
                          {"howmanydays", "3"}, {"fines", "20"}});
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        QCOMPARE(buttons(s), Browse);
        QVERIFY(inputsAre(s, false));
        // Showing a row is no pick: its penalty stays hidden. Its stored fine
        // is shown, not five times its days; its empty return date is no date.
        QVERIFY(penaltyIs(s, false));
        QCOMPARE(shown(s), asShown(data->rows(DeskFile, Loans).first()));
        QVERIFY(!control<DatePicker>(s, "DTPicker2")->hasDate());
    }

    void shouldFindTheFirstLoanWhoseNumberContainsTheText_data()
    {
        QTest::addColumn<QVariantList>("numbers");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("current"); // the accession number shown after the find
        QTest::addColumn<QString>("message"); // empty when the loan is found

        QTest::newRow("12 in A-120") << QVariantList{"A-7", "A-120", "312"} << "12" << "A-120" << "";
        QTest::newRow("apostrophe") << QVariantList{"OBrien", "O'Brien"} << "O'Brien" << "O'Brien" << "";
        QTest::newRow("star matched as a star") << QVariantList{"12-3", "1*2"} << "1*2" << "1*2" << "";
        QTest::newRow("percent matched as a percent") << QVariantList{"150", "1%"} << "1%" << "1%" << "";
        QTest::newRow("underscore matched as one") << QVariantList{"1x2", "1_2"} << "1_2" << "1_2" << "";
        QTest::newRow("no such number") << QVariantList{"A-1", "A-2"} << "B" << "A-1" << NoRecord;
        QTest::newRow("empty text moves to the first number")
            << QVariantList{QVariant(), "A-2", "A-3"} << "" << "A-2" << "Enter record first!";
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
        find(s, typed);
        QCOMPARE(dialogs->prompts, QStringList{"enter accession number"});
        QCOMPARE(control<QLineEdit>(s, "txtBookTitle")->text(), current.isEmpty() ? QString() : "Title of " + current);
        QCOMPARE(buttons(s), message.isEmpty() ? Found : Browse);
        QCOMPARE(dialogs->boxes.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(dialogs->boxes.first().text, message);
            QCOMPARE(dialogs->boxes.first().title, QString(message == NoRecord ? "Error" : "Tallymere"));
        }
    }

    void shouldRefuseTheSaveKeepTheEditAndStoreNothing_data()
    {
        QTest::addColumn<QString>("remarks");
        QTest::addColumn<bool>("dated");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("lock");    // what another program holds
        QTest::addColumn<QString>("message"); // what the box says
        QTest::addColumn<QString>("title");   // the store's refusals have no fixed title
        // The checks run in order: days borrowed and condition, remarks, date.
        QTest::newRow("no days borrowed, before the remarks") << "" << true << "" << "" << RequireInformation << "error";
        QTest::newRow("no remarks") << "" << true << "5" << "" << "Please fill up the Remarks!" << "Tallymere";
        QTest::newRow("no return date")
            << "Returned" << false << "5" << "" << "Please fill up the Date it was returned!" << "Tallymere";
        QTest::newRow("file locked by another program")
            << "Returned" << true << "7" << "hold" << "busy with another" << "";
    }

    void shouldRefuseTheSaveKeepTheEditAndStoreNothing()
    {
        QFETCH(QString, remarks);
        QFETCH(bool, dated);
        QFETCH(QString, days);
        QFETCH(QString, lock);
        QFETCH(QString, message);
        QFETCH(QString, title);
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        QVERIFY(inputsAre(s, true));
        complete(s, remarks, dated, "Damage", days);
        const QStringList typed = shown(s);
        QVERIFY(lock.isEmpty() || data->holdDeskStore());
        control<PushButton>(s, "cmdSave")->click();
        QVERIFY(lock.isEmpty() || data->releaseDeskStore());

        QCOMPARE(dialogs->boxes.size(), 1);
        const auto box = dialogs->boxes.first();
        QVERIFY2(lock.isEmpty() ? box.text == message : box.text.contains(message), qPrintable(box.text));
        QCOMPARE(box.title, lock.isEmpty() ? title : box.title);
        QCOMPARE(box.icon, title == "Tallymere" ? Dialogs::NoIcon : Dialogs::Critical);
        QCOMPARE(data->rows(DeskFile, Loans), before);
        QCOMPARE(buttons(s), lock.isEmpty() ? Refused : Editing);
        QCOMPARE(shown(s), typed);
    }

    void shouldStoreExactlyTheReturn()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        insertRow(*data, {{"AccessionNumber", "A-1001"}, {"BookNumber", "BN-77"}, {"BookTitle", "Noli"},
                          {"Category", "FICTION"}, {"Borrower", "Maria Santos"}, {"DateBorrowed", "2026-03-02"},
                          {"Status", "Student"}, {"Section", "2ICT1"}});
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        find(s, "1001");
        control<PushButton>(s, "cmdEdit")->click();
        complete(s, "Returned", true, "Lost", "12");
        pick(control<QComboBox>(s, "cmbOverdueDays"), "Yes");
        type(control<QLineEdit>(s, "txtdays"), "2.5");
        retype(control<QLineEdit>(s, "txtBorrower"), "Maria S. Santos");
        control<PushButton>(s, "cmdSave")->click();

        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, Updated);
        QCOMPARE(dialogs->boxes.first().title, QStringLiteral("save"));
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Information);
        const auto rows = data->rows(DeskFile, Loans);
        QCOMPARE(asShown(rows.last()), (QStringList{"A-1001", "BN-77", "Noli", "FICTION", "Maria S. Santos",
                                                    "2026-03-02", "Returned", "2026-03-02", "Student", "2ICT1",
                                                    "Lost", "12", "Yes", "2.5", "12.5"}));
        // The first loan is shown again, and the penalty keeps its last pick.
        QCOMPARE(shown(s), asShown(rows.first()));
        QCOMPARE(buttons(s), Browse);
        QVERIFY(penaltyIs(s, true));
    }

    void shouldRefuseToOverwriteALoanSavedAtAnotherDesk()
    {
        // GIVEN this desk editing the second loan, and another desk that
        // records its return meanwhile
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        complete(s, "Returned", true, "Lost", "12");
        RowSource otherDesk(data->location(), Loans);
        QVERIFY(otherDesk.open() && otherDesk.moveNext() && otherDesk.edit());
        otherDesk.setValue(QStringLiteral("Remarks"), QStringLiteral("Returned"));
        otherDesk.setValue(QStringLiteral("Condition"), QStringLiteral("Good"));
        QVERIFY(otherDesk.update());
        const QList<QVariantMap> stored = data->rows(DeskFile, Loans);

        // WHEN this desk saves THEN it is refused in one box, nothing of it is
        // written, and the loan is shown as the other desk stored it
        control<PushButton>(s, "cmdSave")->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Critical);
        QVERIFY2(dialogs->boxes.first().text.startsWith(QStringLiteral("This loan was changed at another desk")),
                 qPrintable(dialogs->boxes.first().text));
        QCOMPARE(data->rows(DeskFile, Loans), stored);
        QCOMPARE(shown(s), asShown(stored.last()));
        QCOMPARE(buttons(s), Found);
        QVERIFY(inputsAre(s, false));

        // AND an edit of the loan as it now stands is saved
        control<PushButton>(s, "cmdEdit")->click();
        complete(s, QString(), true, "Damage", "12");
        control<PushButton>(s, "cmdSave")->click();
        QCOMPARE(dialogs->boxes.last().text, Updated);
        QCOMPARE(data->rows(DeskFile, Loans).last().value("Condition").toString(), QStringLiteral("Damage"));
    }

    void shouldStoreNothingWhenAnEditIsDroppedOrLeft_data()
    {
        QTest::addColumn<QString>("leaveBy");
        QTest::newRow("Cancel, without asking") << "Cancel";
        QTest::newRow("Main") << "Main";
        QTest::newRow("Find after a refused save") << "Find";
        QTest::newRow("the window's close button") << "close";
    }

    void shouldStoreNothingWhenAnEditIsDroppedOrLeft()
    {
        QFETCH(QString, leaveBy);
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        complete(s, QString(), true, "Lost", "30");
        retype(control<QLineEdit>(s, "txtBookTitle"), "Changed");
        if (leaveBy == QLatin1String("Cancel")) {
            control<PushButton>(s, "cmdCancel")->click();
            QVERIFY(dialogs->boxes.isEmpty());
            QVERIFY(inputsAre(s, false));
            QCOMPARE(shown(s), asShown(before.first()));
        } else if (leaveBy == QLatin1String("Find")) {
            control<PushButton>(s, "cmdSave")->click(); // refused: no remarks
            find(s, "A-2");
            QCOMPARE(shown(s), asShown(before.last()));
        } else {
            leaveBy == QLatin1String("Main") ? control<PushButton>(s, "cmdMain")->click() : void(s->close());
            QTRY_VERIFY(!Navigator::instance().existing(Desk));
            QCOMPARE(Navigator::instance().existing(QStringLiteral("frmMenu")) != nullptr, leaveBy == "Main");
        }
        QCOMPARE(data->rows(DeskFile, Loans), before);
    }

    void shouldDisableTheSectionOnlyWhileStaffIsPicked()
    {
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        pick(control<QComboBox>(s, "cmbStatus"), "Staff");
        QVERIFY(!control<QComboBox>(s, "cmbSection")->isEnabled());
        pick(control<QComboBox>(s, "cmbStatus"), "Student");
        QVERIFY(control<QComboBox>(s, "cmbSection")->isEnabled());
        retype(control<QComboBox>(s, "cmbStatus"), "Staff"); // typed, not picked
        QVERIFY(control<QComboBox>(s, "cmbSection")->isEnabled());
    }

    // The fine follows each change of the days, a typed fine lasting until
    // then; "No" hides the penalty, which is stored as it stands.
    void shouldFollowTheDaysAndStoreAHiddenPenaltyUnchanged()
    {
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        pick(control<QComboBox>(s, "cmbOverdueDays"), "Yes");
        QVERIFY(penaltyIs(s, true));
        type(control<QLineEdit>(s, "txtdays"), "12");
        QCOMPARE(control<QLineEdit>(s, "txtfines")->text(), QStringLiteral("60"));
        retype(control<QLineEdit>(s, "txtfines"), "50");
        QTest::keyClick(control<QLineEdit>(s, "txtdays"), Qt::Key_Backspace);
        QCOMPARE(control<QLineEdit>(s, "txtfines")->text(), QStringLiteral("5"));

        pick(control<QComboBox>(s, "cmbOverdueDays"), "No");
        QVERIFY(penaltyIs(s, false));
        retype(control<QComboBox>(s, "cmbOverdueDays"), "Yes"); // typed text is no pick: the boxes stay hidden
        QVERIFY(penaltyIs(s, false));
        complete(s, "Not yet Returned", true, "Lost", "40");
        control<PushButton>(s, "cmdSave")->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        const QVariantMap stored = data->rows(DeskFile, Loans).last();
        QCOMPARE(stored.value("howmanydays").toString(), QStringLiteral("1"));
        QCOMPARE(stored.value("fines").toString(), QStringLiteral("5"));
    }

    void shouldWalkTheDeskWithTabSpaceAndEnterInItsOrder()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        ReturnDeskScreen *s = openDesk();
        QVERIFY(QTest::qWaitForWindowActive(s));
        control<PushButton>(s, "cmdFind")->setFocus();
        dialogs->promptAnswers << QStringLiteral("1");
        QTest::keyClick(control<PushButton>(s, "cmdFind"), Qt::Key_Space);
        QCOMPARE(buttons(s), Found);
        QTRY_VERIFY(holdsFocus(control<PushButton>(s, "cmdEdit"))); // Find is off now; the next button has the focus
        QTest::keyClick(control<PushButton>(s, "cmdEdit"), Qt::Key_Return);
        QCOMPARE(buttons(s), Editing);

        // With "Yes" picked every control takes its turn.
        pick(control<QComboBox>(s, "cmbOverdueDays"), "Yes");
        control<PushButton>(s, "cmdSave")->setFocus();
        for (QWidget *next : QList<QWidget *>{control<PushButton>(s, "cmdCancel"), control<PushButton>(s, "cmdMain"), control<QLineEdit>(s, "txtfines"), control<QComboBox>(s, "cmbOverdueDays"), control<QLineEdit>(s, "txtdays"),
                                              control<QLineEdit>(s, "txtDaysBorrow"), control<QComboBox>(s, "cmbCondition"), control<QComboBox>(s, "cmbStatus"), control<QComboBox>(s, "cmbSection"),
                                              control<QComboBox>(s, "cmbCategory"), control<DatePicker>(s, "DTPicker2"), control<QComboBox>(s, "cmbRemarks"), control<QLineEdit>(s, "txtAccessionNumber"),
                                              control<QLineEdit>(s, "txtBookNumber"), control<QLineEdit>(s, "txtBookTitle"), control<QLineEdit>(s, "txtBorrower"), control<DatePicker>(s, "DTPicker1"),
                                              control<PushButton>(s, "cmdSave"), control<PushButton>(s, "cmdCancel")}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(holdsFocus(next), qPrintable(next->objectName()));
        }
        QTest::keyClick(control<PushButton>(s, "cmdCancel"), Qt::Key_Space);
        QCOMPARE(buttons(s), Browse);
    }

private:
    std::optional<DeskData> data;
    FakeDialogs *dialogs = nullptr;
    QList<QVariantMap> before; // the stored rows before the edit
};

QTEST_MAIN(ReturnDeskTest)
#include "tst_returndesk.moc"
