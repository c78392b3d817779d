// The return desk and its overdue penalty, driven through their controls as
// the librarian would, with what the loan store then holds checked from
// outside.
#include "testsupport.h"

#include "app/ui/clock.h"
#include "app/ui/navigator.h"
#include "app/ui/widgets.h"
#include "catalogue/loanlistscreen.h"
#include "loans/returndeskscreen.h"
#include "store/schema.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QDir>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
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
        {s->cmdFind, "Find"}, {s->cmdEdit, "Edit"}, {s->cmdSave, "Save"}, {s->cmdCancel, "Cancel"}, {s->cmdMain, "Main"}};
    for (const auto &[button, name] : all)
        if (button->isEnabled())
            on << QLatin1String(name);
    return on.join(QLatin1Char(' '));
}

// The bound controls in the order of the table's fields.
QList<QWidget *> controls(const ReturnDeskScreen *s)
{
    return {s->txtAccessionNumber, s->txtBookNumber, s->txtBookTitle, s->cmbCategory,   s->txtBorrower,
            s->DTPicker1,          s->cmbRemarks,    s->DTPicker2,    s->cmbStatus,     s->cmbSection,
            s->cmbCondition,       s->txtDaysBorrow, s->cmbOverdueDays, s->txtdays,     s->txtfines};
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
    const QList<QWidget *> all{s->lblDays, s->lblFines, s->txtdays, s->txtfines};
    return std::all_of(all.begin(), all.end(), [&](QWidget *w) { return w->isVisibleTo(s) == shown; })
           && s->txtdays->isEnabled() == shown && s->txtfines->isEnabled() == shown;
}

// What the screen shows, field by field; dates as ISO text.
QStringList shown(const ReturnDeskScreen *s)
{
    QStringList texts;
    for (QWidget *w : controls(s)) {
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

// Completes the return: remarks and condition picked when an item, else
// typed; the return date stepped to today when `dated`.
void complete(ReturnDeskScreen *s, const QString &remarks, bool dated, const QString &condition, const QString &days)
{
    for (auto [list, text] : {std::pair{s->cmbRemarks, remarks}, std::pair{s->cmbCondition, condition}}) {
        if (list->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            pick(list, text);
        else
            retype(list, text);
    }
    if (dated)
        QTest::keyClick(s->DTPicker2, Qt::Key_Up); // an empty picker steps to today
    retype(s->txtDaysBorrow, days);
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
        s->cmdFind->click();
    }
    // The desk with loan A-1 stored, found and open for editing; with
    // `second`, loan A-2 titled "Second" as well, and it is the one found.
    ReturnDeskScreen *editLoan(bool second = false)
    {
        insertLoan(*data, QStringLiteral("A-1"));
        if (second)
            insertLoan(*data, QStringLiteral("A-2"), QStringLiteral("Second"));
        before = data->rows(DeskFile, Loans);
        ReturnDeskScreen *s = openDesk();
        if (s) {
            find(s, second ? "A-2" : "A-1");
            s->cmdEdit->click();
        }
        return s;
    }

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

    void shouldOpenOnTheFirstLoanWithNothingToEdit()
    {
        insertRow(*data, {{"AccessionNumber", "A-1"}, {"DateBorrowed", "2026-02-20"}, {"Overduedays", "Yes"},
                          {"howmanydays", "3"}, {"fines", "20"}});
        insertLoan(*data, QStringLiteral("A-2"));
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        QCOMPARE(buttons(s), Browse);
        QVERIFY(inputsAre(s, false));
        // Showing a row is no pick: its penalty stays hidden. Its stored fine
        // is shown, not five times its days; its empty return date is no date.
        QVERIFY(penaltyIs(s, false));
        QCOMPARE(shown(s), asShown(data->rows(DeskFile, Loans).first()));
        QVERIFY(!s->DTPicker2->hasDate());
        QVERIFY(dialogs->boxes.isEmpty());
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
        QTest::newRow("brackets and hash") << QVariantList{"1", "[#1]"} << "[#1]" << "[#1]" << "";
        QTest::newRow("no such number") << QVariantList{"A-1", "A-2"} << "B" << "A-1" << NoRecord;
        QTest::newRow("a lone star finds no star") << QVariantList{"A-1"} << "*" << "A-1" << NoRecord;
        QTest::newRow("empty table") << QVariantList{} << "12" << "" << NoRecord;
        QTest::newRow("empty table, empty text") << QVariantList{} << "" << "" << NoRecord;
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
        QCOMPARE(s->txtBookTitle->text(), current.isEmpty() ? QString() : "Title of " + current);
        QCOMPARE(buttons(s), message.isEmpty() ? Found : Browse);
        QCOMPARE(dialogs->boxes.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            const bool error = message == NoRecord;
            QCOMPARE(dialogs->boxes.first().text, message);
            QCOMPARE(dialogs->boxes.first().title, error ? QStringLiteral("Error") : QStringLiteral("Tallymere"));
            QCOMPARE(dialogs->boxes.first().icon, error ? Dialogs::Critical : Dialogs::NoIcon);
        }
    }

    void shouldRefuseTheSaveKeepTheEditAndStoreNothing_data()
    {
        QTest::addColumn<QString>("remarks");
        QTest::addColumn<bool>("dated");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("lock");    // what another program holds
        QTest::addColumn<QString>("message"); // what the box says
        QTest::addColumn<QString>("title");   // the store's refusals have no fixed title
        QTest::addColumn<int>("icon");
        const QString fillRemarks = QStringLiteral("Please fill up the Remarks!");
        const int critical = Dialogs::Critical, none = Dialogs::NoIcon;
        // The checks run in order: days borrowed and condition, remarks, date.
        QTest::newRow("no days borrowed, before the remarks")
            << "" << true << "OK" << "" << "" << RequireInformation << "error" << critical;
        QTest::newRow("no condition") << "Returned" << true << "" << "5" << "" << RequireInformation << "error"
                                      << critical;
        QTest::newRow("no remarks") << "" << true << "OK" << "5" << "" << fillRemarks << "Tallymere" << none;
        QTest::newRow("a blank is days borrowed") << "" << true << "OK" << " " << "" << fillRemarks << "Tallymere"
                                                  << none;
        QTest::newRow("no return date") << "Returned" << false << "Damage" << "5" << ""
                                        << "Please fill up the Date it was returned!" << "Tallymere" << none;
        QTest::newRow("remarks over 255 characters") << QString(300, QLatin1Char('r')) << true << "OK" << "7" << ""
                                                     << "The text for Remarks is too long" << "" << critical;
        QTest::newRow("file locked by another program")
            << "Returned" << true << "OK" << "7" << "BEGIN EXCLUSIVE" << "database is locked" << "" << critical;
        QTest::newRow("another program saving")
            << "Returned" << true << "OK" << "7" << "BEGIN IMMEDIATE" << "database is locked" << "" << critical;
    }

    void shouldRefuseTheSaveKeepTheEditAndStoreNothing()
    {
        QFETCH(QString, remarks);
        QFETCH(bool, dated);
        QFETCH(QString, condition);
        QFETCH(QString, days);
        QFETCH(QString, lock);
        QFETCH(QString, message);
        QFETCH(QString, title);
        QFETCH(int, icon);
        const bool byStore = title.isEmpty();
        ReturnDeskScreen *s = editLoan(true);
        QVERIFY(s);
        QVERIFY(inputsAre(s, true));
        complete(s, remarks, dated, condition, days);
        const QStringList typed = shown(s);
        QSqlDatabase other = data->observe(DeskFile);
        QVERIFY(lock.isEmpty() || QSqlQuery(other).exec(lock));
        s->cmdSave->click();
        QVERIFY(lock.isEmpty() || QSqlQuery(other).exec(QStringLiteral("ROLLBACK")));

        QCOMPARE(dialogs->boxes.size(), 1);
        const auto box = dialogs->boxes.first();
        QVERIFY2(byStore ? box.text.contains(message) : box.text == message, qPrintable(box.text));
        QCOMPARE(box.title, byStore ? box.title : title);
        QCOMPARE(int(box.icon), icon);
        // The engine's text comes with a sentence that names the store.
        const QString busy = QStringLiteral("The store %1 is busy with another program");
        QVERIFY(lock.isEmpty() || box.text.contains(busy.arg(QDir::toNativeSeparators(data->path(DeskFile)))));
        QCOMPARE(data->rows(DeskFile, Loans), before);
        QCOMPARE(buttons(s), byStore ? Editing : Refused);
        QCOMPARE(shown(s), typed);
        if (!byStore)
            return;

        // Once the store lets it, the same edit saves.
        pick(s->cmbRemarks, "Returned");
        s->cmdSave->click();
        QCOMPARE(dialogs->boxes.last().text, Updated);
        QCOMPARE(data->rows(DeskFile, Loans).last().value("Remarks").toString(), QStringLiteral("Returned"));
    }

    void shouldStoreExactlyTheReturnAndShowItInTheUnseenLoanList()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        insertRow(*data, {{"AccessionNumber", "A-1001"}, {"BookNumber", "BN-77"}, {"BookTitle", "Noli"},
                          {"Category", "FICTION"}, {"Borrower", "Maria Santos"}, {"DateBorrowed", "2026-03-02"},
                          {"Status", "Student"}, {"Section", "2ICT1"}});
        auto *list = Navigator::instance().createAs<LoanListScreen>(QStringLiteral("frmList"));
        QVERIFY(list);
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        find(s, "1001");
        s->cmdEdit->click();
        complete(s, "Returned", true, "Damage", "12");
        pick(s->cmbOverdueDays, "Yes");
        type(s->txtdays, "2.5");
        retype(s->txtBorrower, "Maria S. Santos");
        s->cmdSave->click();

        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, Updated);
        QCOMPARE(dialogs->boxes.first().title, QStringLiteral("save"));
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Information);
        const auto rows = data->rows(DeskFile, Loans);
        QCOMPARE(asShown(rows.last()), (QStringList{"A-1001", "BN-77", "Noli", "FICTION", "Maria S. Santos",
                                                    "2026-03-02", "Returned", "2026-03-02", "Student", "2ICT1",
                                                    "Damage", "12", "Yes", "2.5", "12.5"}));
        // The first loan is shown again, and the penalty keeps its last pick.
        QCOMPARE(shown(s), asShown(rows.first()));
        QCOMPARE(buttons(s), Browse);
        QVERIFY(penaltyIs(s, true));

        // The loan list, still unseen, shows the completed loan once opened.
        QVERIFY(!list->isVisible());
        s->cmdMain->click();
        QCOMPARE(Navigator::instance().open(QStringLiteral("frmList")), list);
        const int returned = Schema::borrower().fields.indexOf("DateReturned");
        QCOMPARE(list->DataGrid1->model()->index(1, returned).data().toString(), QStringLiteral("3/2/2026"));
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
        ReturnDeskScreen *s = editLoan(true);
        QVERIFY(s);
        complete(s, QString(), true, "Lost", "30");
        retype(s->txtBookTitle, "Changed");

        if (leaveBy == QLatin1String("Cancel")) {
            s->cmdCancel->click();
            QVERIFY(dialogs->boxes.isEmpty());
            QCOMPARE(buttons(s), Browse);
            QVERIFY(inputsAre(s, false));
            QCOMPARE(shown(s), asShown(before.first()));
        } else if (leaveBy == QLatin1String("Find")) {
            s->cmdSave->click(); // refused: no remarks
            find(s, "A-2");
            QCOMPARE(shown(s), asShown(before.last()));
            QCOMPARE(buttons(s), Found);
        } else {
            if (leaveBy == QLatin1String("Main"))
                s->cmdMain->click();
            else
                s->close();
            QTRY_VERIFY(!Navigator::instance().existing(Desk));
            QCOMPARE(Navigator::instance().existing(QStringLiteral("frmMenu")) != nullptr, leaveBy == "Main");
        }
        QCOMPARE(data->rows(DeskFile, Loans), before);
    }

    void shouldDisableTheSectionOnlyWhileStaffIsPicked()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        data->exec(DeskFile, QStringLiteral("UPDATE tblBorrower SET Status = 'Staff', Section = 'WT'"));
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        find(s, "A-1");
        s->cmdEdit->click();
        QVERIFY(s->cmbSection->isEnabled()); // a stored Staff is no pick
        pick(s->cmbStatus, "Staff");
        QVERIFY(!s->cmbSection->isEnabled());
        QCOMPARE(s->cmbSection->currentText(), QStringLiteral("WT"));
        pick(s->cmbStatus, "Student");
        QVERIFY(s->cmbSection->isEnabled());
        retype(s->cmbStatus, "Staff"); // typed, not picked
        QVERIFY(s->cmbSection->isEnabled());
    }

    void shouldWorkOutTheFineAsTheOverdueDaysAreTyped_data()
    {
        QTest::addColumn<QString>("days");
        QTest::addColumn<bool>("commaLocale");
        QTest::addColumn<QString>("fine");
        QTest::newRow("2.5, comma locale") << "2.5" << true << "12,5";
        QTest::newRow("2,5 stops at the comma, comma locale") << "2,5" << true << "10";
        QTest::newRow("abc") << "abc" << false << "0";
        QTest::newRow("3 overdue") << "3 overdue" << false << "15";
        QTest::newRow("1 2") << "1 2" << false << "60";
        QTest::newRow("exponent with D") << "1D2" << false << "500";
        QTest::newRow("just below 1E15") << "199999999999999.8" << false << "999999999999999";
        QTest::newRow("1E15 in exponent form") << "2E14" << false << "1E+15";
        QTest::newRow("beyond the double range") << "1e308" << false << "";
        QTest::newRow("hexadecimal form reads as 0") << "&H10" << false << "0";
    }

    void shouldWorkOutTheFineAsTheOverdueDaysAreTyped()
    {
        QFETCH(QString, days);
        QFETCH(bool, commaLocale);
        QFETCH(QString, fine);
        if (commaLocale)
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        pick(s->cmbOverdueDays, "Yes");
        type(s->txtdays, days);
        QCOMPARE(s->txtfines->text(), fine);
        QVERIFY(dialogs->boxes.isEmpty());
    }

    // The fine follows each change of the days, a typed fine lasting until
    // then; "No" hides the penalty, which is stored as it stands.
    void shouldFollowTheDaysAndStoreAHiddenPenaltyUnchanged()
    {
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        QVERIFY(penaltyIs(s, false));
        pick(s->cmbOverdueDays, "Yes");
        QVERIFY(penaltyIs(s, true));
        type(s->txtdays, "1");
        QCOMPARE(s->txtfines->text(), QStringLiteral("5"));
        type(s->txtdays, "2");
        QCOMPARE(s->txtfines->text(), QStringLiteral("60"));
        retype(s->txtfines, "50");
        QTest::keyClick(s->txtdays, Qt::Key_Backspace);
        QCOMPARE(s->txtfines->text(), QStringLiteral("5"));
        retype(s->txtdays, "-3");
        QCOMPARE(s->txtfines->text(), QStringLiteral("-15"));

        pick(s->cmbOverdueDays, "No");
        QVERIFY(penaltyIs(s, false));
        retype(s->cmbOverdueDays, "Yes"); // typed text is no pick: the boxes stay hidden
        QVERIFY(penaltyIs(s, false));
        complete(s, "Not yet Returned", true, "Lost", "40");
        s->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        const QVariantMap stored = data->rows(DeskFile, Loans).first();
        QCOMPARE(stored.value("howmanydays").toString(), QStringLiteral("-3"));
        QCOMPARE(stored.value("fines").toString(), QStringLiteral("-15"));
    }

    void shouldWalkTheDeskWithTabSpaceAndEnterInItsOrder()
    {
        insertLoan(*data, QStringLiteral("A-1"));
        ReturnDeskScreen *s = openDesk();
        QVERIFY(QTest::qWaitForWindowActive(s));
        s->cmdFind->setFocus();
        dialogs->promptAnswers << QStringLiteral("1");
        QTest::keyClick(s->cmdFind, Qt::Key_Space);
        QCOMPARE(buttons(s), Found);
        QTRY_VERIFY(holdsFocus(s->cmdEdit)); // Find is off now; the next button has the focus
        QTest::keyClick(s->cmdEdit, Qt::Key_Return);
        QCOMPARE(buttons(s), Editing);
        QVERIFY(holdsFocus(s->cmdSave));

        // With "Yes" picked every control takes its turn.
        pick(s->cmbOverdueDays, "Yes");
        s->cmdSave->setFocus();
        for (QWidget *next : QList<QWidget *>{s->cmdCancel, s->cmdMain, s->txtfines, s->cmbOverdueDays, s->txtdays,
                                              s->txtDaysBorrow, s->cmbCondition, s->cmbStatus, s->cmbSection,
                                              s->cmbCategory, s->DTPicker2, s->cmbRemarks, s->txtAccessionNumber,
                                              s->txtBookNumber, s->txtBookTitle, s->txtBorrower, s->DTPicker1,
                                              s->cmdSave, s->cmdCancel}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(holdsFocus(next), qPrintable(next->objectName()));
        }
        QTest::keyClick(s->cmdCancel, Qt::Key_Space);
        QCOMPARE(buttons(s), Browse);
    }

private:
    std::optional<TestData> data;
    std::optional<FakeDialogs> dialogs;
    QList<QVariantMap> before; // the stored rows before the edit
};

QTEST_MAIN(ReturnDeskTest)
#include "tst_returndesk.moc"
