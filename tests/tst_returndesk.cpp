// The return desk and its overdue penalty, driven through their controls as
// the librarian would, with what the loan store then holds checked from
// outside.
#include "testsupport.h"

#include "loans/returndeskscreen.h"
#include "store/engine/schema.h"
#include "store/records/rowsource.h"
#include "ui/clock.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <optional>
#include <tuple>

namespace {

const QString Loans = QStringLiteral("tblBorrower");
const QString Desk = QStringLiteral("frmRetrieve");
const QString Updated = QStringLiteral("Record successfully updated!");
const QString NoRecord = QStringLiteral("No recod found!!");

// The button states of the screen, as the names of the enabled buttons.
const QString Browse = QStringLiteral("Find Main");
const QString Found = QStringLiteral("Edit Cancel Main");
const QString Editing = QStringLiteral("Save Cancel Main");
const QString Refused = QStringLiteral("Find Cancel Main");

// The bound controls in the order of the table's fields, the penalty's two boxes last.
const char *const Bound[] = {"txtAccessionNumber", "txtBookNumber", "txtBookTitle", "cmbCategory", "txtBorrower",
                             "DTPicker1", "cmbRemarks", "DTPicker2", "cmbStatus", "cmbSection", "cmbCondition",
                             "txtDaysBorrow", "cmbOverdueDays", "txtdays", "txtfines"};

QWidget *w(const QWidget *s, const char *name) { return control<QWidget>(s, name); }
QComboBox *list(const QWidget *s, const char *name) { return control<QComboBox>(s, name); }
void click(const QWidget *s, const char *name) { control<PushButton>(s, name)->click(); }
auto said(const FakeDialogs::Box &box) { return std::tuple(box.text, box.title, box.icon); }

QString buttons(const QWidget *s)
{
    QStringList on;
    for (const char *name : {"Find", "Edit", "Save", "Cancel", "Main"})
        if (w(s, (QByteArray("cmd") + name).constData())->isEnabled())
            on << QLatin1String(name);
    return on.join(QLatin1Char(' '));
}

// True when every input but the penalty's boxes is enabled (or, with `enabled` false, disabled).
bool inputsAre(const QWidget *s, bool enabled)
{
    return std::all_of(std::begin(Bound), std::end(Bound) - 2, [&](auto n) { return w(s, n)->isEnabled() == enabled; });
}

// True when the overdue days and the fine are shown and usable (or, with
// `shown` false, hidden and disabled), labels included.
bool penaltyIs(const QWidget *s, bool shown)
{
    for (const char *n : {"lblDays", "lblFines", "txtdays", "txtfines"})
        if (w(s, n)->isVisibleTo(s) != shown || (n[0] == 't' && w(s, n)->isEnabled() != shown))
            return false;
    return true;
}

// What the screen shows, field by field; dates as ISO text.
QStringList shown(const QWidget *s)
{
    QStringList texts;
    for (const char *n : Bound) {
        auto *picker = qobject_cast<DatePicker *>(w(s, n));
        texts << (picker ? picker->nullableDate().toString(Qt::ISODate)
                         : w(s, n)->property(n[0] == 'c' ? "currentText" : "text").toString());
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

// Replaces the whole text of a box or of a list's edit line by typing.
void retype(QWidget *input, const QString &text)
{
    auto *combo = qobject_cast<QComboBox *>(input);
    (combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(input))->clear();
    type(input, text);
}

// Completes the return: the remarks (when given) and the condition picked,
// the return date stepped to today when `dated`.
void complete(QWidget *s, const QString &remarks, bool dated, const QString &condition, const QString &days)
{
    if (!remarks.isEmpty())
        pick(list(s, "cmbRemarks"), remarks);
    if (!condition.isEmpty())
        pick(list(s, "cmbCondition"), condition);
    if (dated)
        QTest::keyClick(w(s, "DTPicker2"), Qt::Key_Up); // an empty picker steps to today
    retype(w(s, "txtDaysBorrow"), days);
}

bool holdsFocus(const QWidget *w)
{
    return w == QApplication::focusWidget() || w->isAncestorOf(QApplication::focusWidget());
}

} // namespace

class ReturnDeskTest : public QObject
{
    Q_OBJECT

    std::optional<DeskData> data;
    FakeDialogs *dialogs = nullptr;
    QList<QVariantMap> before; // the stored rows before the edit

    ReturnDeskScreen *openDesk() { return qobject_cast<ReturnDeskScreen *>(Navigator::instance().open(Desk)); }
    void find(QWidget *s, const QString &text) { dialogs->promptAnswers << text; click(s, "cmdFind"); }
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
            click(s, "cmdEdit");
        }
        return s;
    }

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init() { data.emplace(); dialogs = &data->dialogs; Clock::set(QDateTime(QDate(2026, 3, 2), QTime(10, 0))); }
    void cleanup() { closeAllScreens(); data.reset(); Clock::set(QDateTime()); }

    void shouldOpenOnTheFirstLoanAndFindTheFirstWhoseNumberContainsTheText()
    {
        data->exec(DeskFile, "INSERT INTO tblBorrower (DateBorrowed, Overduedays, howmanydays, fines)"
                             " VALUES ('2026-02-20', 'Yes', '3', '20')");
        for (const char *number : {"A-7", "A-120", "312", "OBrien", "O'Brien", "12-3", "1*2", "150", "1%", "1x2", "1_2"})
            data->exec(DeskFile, "INSERT INTO tblBorrower (AccessionNumber, BookTitle) VALUES (?, ?)",
                       {number, QStringLiteral("Title of ") + number});
        const QVariantMap first = data->rows(DeskFile, Loans).first();
        ReturnDeskScreen *s = openDesk();
        QVERIFY(s);
        QCOMPARE(buttons(s), Browse);
        QVERIFY(inputsAre(s, false));
        // Showing a row is no pick: its penalty stays hidden. Its stored fine
        // is shown, not five times its days; its empty return date is no date.
        QVERIFY(penaltyIs(s, false));
        QCOMPARE(shown(s), asShown(first));
        QVERIFY(!control<DatePicker>(s, "DTPicker2")->hasDate());

        find(s, "Z");
        QCOMPARE(dialogs->prompts, QStringList{"enter accession number"});
        QCOMPARE(said(dialogs->boxes.value(0)), std::tuple(NoRecord, QStringLiteral("Error"), Dialogs::Critical));
        QCOMPARE(shown(s), asShown(first));
        // An empty text moves to the first number, past the loan without one.
        find(s, "");
        QCOMPARE(said(dialogs->boxes.value(1)),
                 std::tuple(QStringLiteral("Enter record first!"), QStringLiteral("Tallymere"), Dialogs::NoIcon));
        QCOMPARE(control<QLineEdit>(s, "txtAccessionNumber")->text(), QStringLiteral("A-7"));
        QCOMPARE(buttons(s), Browse);
        // A quote, a star, a percent sign or an underscore is matched as itself.
        for (const char *typed : {"12", "O'Brien", "1*2", "1%", "1_2"}) {
            find(s, typed);
            QCOMPARE(control<QLineEdit>(s, "txtAccessionNumber")->text(), QString(typed == QByteArray("12") ? "A-120" : typed));
            QCOMPARE(buttons(s), Found);
            click(s, "cmdCancel");
        }
        QCOMPARE(dialogs->boxes.size(), 2);
    }

    // The checks run in order: days borrowed and condition, remarks, date;
    // then the store itself may refuse. A refused save stores nothing and
    // keeps what was typed; a loan stored meanwhile at another desk is not
    // overwritten. Find shows the stored loan again, ready for another edit.
    void shouldRefuseEachFaultySaveStoringNothingAndThenStoreExactlyTheReturn()
    {
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        QVERIFY(inputsAre(s, true));
        complete(s, QString(), true, "Lost", "30");
        retype(w(s, "txtBookTitle"), "Changed");
        click(s, "cmdCancel"); // without asking
        QVERIFY(dialogs->boxes.isEmpty());
        QVERIFY(inputsAre(s, false));
        QCOMPARE(shown(s), asShown(before.first()));
        QCOMPARE(data->rows(DeskFile, Loans), before);
        find(s, "A-2");
        click(s, "cmdEdit");

        complete(s, "Returned", true, "Lost", "12");
        const QStringList typed = shown(s);
        dialogs->boxes.clear();
        QVERIFY(data->holdDeskStore());
        click(s, "cmdSave");
        QVERIFY(data->releaseDeskStore());
        QCOMPARE(dialogs->boxes.size(), 1);
        QVERIFY2(dialogs->boxes.first().text.contains("busy with another"), qPrintable(dialogs->boxes.first().text));
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Critical);
        QCOMPARE(data->rows(DeskFile, Loans), before);
        QCOMPARE(buttons(s), Editing);
        QCOMPARE(shown(s), typed);

        RowSource otherDesk(data->location(), Loans);
        QVERIFY(otherDesk.open() && otherDesk.moveNext() && otherDesk.edit());
        otherDesk.setValue(QStringLiteral("Remarks"), QStringLiteral("Returned"));
        otherDesk.setValue(QStringLiteral("Condition"), QStringLiteral("Good"));
        QVERIFY(otherDesk.update());
        const QList<QVariantMap> stored = data->rows(DeskFile, Loans);
        click(s, "cmdSave");
        QCOMPARE(dialogs->boxes.size(), 2);
        QCOMPARE(dialogs->boxes.last().icon, Dialogs::Critical);
        QVERIFY2(dialogs->boxes.last().text.startsWith(QStringLiteral("This loan was changed at another desk")),
                 qPrintable(dialogs->boxes.last().text));
        QCOMPARE(dialogs->boxes.last().over, s); // over the desk's screen, not centred on the display
        QCOMPARE(data->rows(DeskFile, Loans), stored);
        QCOMPARE(shown(s), asShown(stored.last()));
        QCOMPARE(buttons(s), Found);
        QVERIFY(inputsAre(s, false));

        // An edit of the loan as it now stands is saved, exactly.
        click(s, "cmdEdit");
        complete(s, QString(), true, "Lost", "12");
        pick(list(s, "cmbOverdueDays"), "Yes");
        retype(w(s, "txtdays"), "2.5");
        retype(w(s, "txtBorrower"), "Maria S. Santos");
        click(s, "cmdSave");
        QCOMPARE(said(dialogs->boxes.last()), std::tuple(Updated, QStringLiteral("save"), Dialogs::Information));
        const auto rows = data->rows(DeskFile, Loans);
        QCOMPARE(rows.first(), before.first());
        QCOMPARE(asShown(rows.last()), (QStringList{"A-2", "B-A-2", "Second", "FICTION", "Maria S. Santos",
                                                    "2026-11-02", "Returned", "2026-03-02", "Student", "2ICT1",
                                                    "Lost", "12", "Yes", "2.5", "12.5"}));
        // The first loan is shown again, and the penalty keeps its last pick.
        QCOMPARE(shown(s), asShown(rows.first()));
        QCOMPARE(buttons(s), Browse);
        QVERIFY(penaltyIs(s, true));
    }

    // Each required field on its own: the rest complete, the save is refused
    // with that field's message, nothing is stored and the typing stays.
    void shouldRefuseASaveLackingAnyOneRequiredField_data()
    {
        QTest::addColumn<QString>("remarks");
        QTest::addColumn<bool>("dated");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");
        const QString required = QStringLiteral("Please fill up the require information!");
        QTest::newRow("days borrowed") << "Returned" << true << "Damage" << "" << required << "error";
        QTest::newRow("condition") << "Returned" << true << "" << "5" << required << "error";
        QTest::newRow("remarks") << "" << true << "Damage" << "5" << "Please fill up the Remarks!" << "Tallymere";
        QTest::newRow("date returned") << "Returned" << false << "Damage" << "5"
                                       << "Please fill up the Date it was returned!" << "Tallymere";
    }

    void shouldRefuseASaveLackingAnyOneRequiredField()
    {
        QFETCH(QString, remarks);
        QFETCH(bool, dated);
        QFETCH(QString, condition);
        QFETCH(QString, days);
        QFETCH(QString, message);
        QFETCH(QString, title);
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        complete(s, remarks, dated, condition, days);
        const QStringList typed = shown(s);
        click(s, "cmdSave");
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(said(dialogs->boxes.first()),
                 std::tuple(message, title, title == QLatin1String("error") ? Dialogs::Critical : Dialogs::NoIcon));
        QCOMPARE(data->rows(DeskFile, Loans), before);
        QCOMPARE(buttons(s), Refused);
        QCOMPARE(shown(s), typed);
        find(s, "A-2");
        QCOMPARE(shown(s), asShown(before.last()));
    }

    void shouldCountCharactersAndNameTheBoxOfATextTooLong_data()
    {
        QTest::addColumn<QByteArray>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label"); // of the box named in the refusal; empty when stored
        const QString emoji = QStringLiteral("😀");
        QTest::newRow("128 emoji") << QByteArray("txtBookTitle") << emoji.repeated(128) << QString();
        QTest::newRow("254 letters and an emoji") << QByteArray("txtBorrower") << QString(254, 'b') + emoji << QString();
        QTest::newRow("255 emoji") << QByteArray("txtBookNumber") << emoji.repeated(255) << QString();
        QTest::newRow("256 letters") << QByteArray("txtBookTitle") << QString(256, 't') << "Book Title";
        QTest::newRow("255 emoji and a letter") << QByteArray("txtBookNumber") << emoji.repeated(255) + "n" << "Book Number";
        // Both boxes are labelled "Days:".
        QTest::newRow("days borrowed") << QByteArray("txtDaysBorrow") << QString(256, '7') << "Days borrowed";
        QTest::newRow("overdue days") << QByteArray("txtdays") << QString(256, '7') << "Overdue days";
    }

    void shouldCountCharactersAndNameTheBoxOfATextTooLong()
    {
        QFETCH(QByteArray, box);
        QFETCH(QString, text);
        QFETCH(QString, label);
        // GIVEN a return being completed
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        complete(s, "Returned", true, "Lost", "12");
        pick(list(s, "cmbOverdueDays"), "Yes");
        // WHEN one box is given the text and the return is saved
        retype(w(s, box.constData()), text);
        click(s, "cmdSave");
        // THEN a text of at most 255 characters is stored, however many
        // UTF-16 units it takes; a longer one is refused naming its box
        const QString field = Schema::borrower().fields.at(std::find(std::begin(Bound), std::end(Bound), box) - std::begin(Bound));
        QCOMPARE(dialogs->boxes.size(), 1);
        if (label.isEmpty()) {
            QCOMPARE(said(dialogs->boxes.first()), std::tuple(Updated, QStringLiteral("save"), Dialogs::Information));
            QCOMPARE(data->rows(DeskFile, Loans).last().value(field).toString(), text);
        } else {
            QCOMPARE(said(dialogs->boxes.first()),
                     std::tuple(QStringLiteral("The text for %1 is too long: it may hold at most 255 characters.").arg(label),
                                Dialogs::applicationTitle(), Dialogs::Critical));
            QCOMPARE(data->rows(DeskFile, Loans), before);
        }
    }

    void shouldStoreNothingWhenAnEditIsLeft_data()
    {
        QTest::addColumn<bool>("byMain"); // or by the window's close button
        QTest::newRow("Main") << true;
        QTest::newRow("close") << false;
    }

    void shouldStoreNothingWhenAnEditIsLeft()
    {
        QFETCH(bool, byMain);
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        complete(s, QString(), true, "Lost", "30");
        retype(w(s, "txtBookTitle"), "Changed");
        byMain ? click(s, "cmdMain") : void(s->close());
        QTRY_VERIFY(!Navigator::instance().existing(Desk));
        QCOMPARE(Navigator::instance().existing(QStringLiteral("frmMenu")) != nullptr, byMain);
        QCOMPARE(data->rows(DeskFile, Loans), before);
    }

    // The fine follows each change of the days, a typed fine lasting until
    // then; "No" hides the penalty, which is stored as it stands. (The
    // borrower-type rule itself is tried on the loan entry; here only that
    // the desk applies it.)
    void shouldFollowTheDaysAndStoreAHiddenPenaltyUnchanged()
    {
        ReturnDeskScreen *s = editLoan();
        QVERIFY(s);
        pick(list(s, "cmbStatus"), "Staff");
        QVERIFY(!w(s, "cmbSection")->isEnabled());
        pick(list(s, "cmbOverdueDays"), "Yes");
        QVERIFY(penaltyIs(s, true));
        type(w(s, "txtdays"), "12");
        QCOMPARE(control<QLineEdit>(s, "txtfines")->text(), QStringLiteral("60"));
        retype(w(s, "txtfines"), "50");
        QTest::keyClick(w(s, "txtdays"), Qt::Key_Backspace);
        QCOMPARE(control<QLineEdit>(s, "txtfines")->text(), QStringLiteral("5"));

        pick(list(s, "cmbOverdueDays"), "No");
        QVERIFY(penaltyIs(s, false));
        retype(w(s, "cmbOverdueDays"), "Yes"); // typed text is no pick: the boxes stay hidden
        QVERIFY(penaltyIs(s, false));
        complete(s, "Not yet Returned", true, "Lost", "40");
        click(s, "cmdSave");
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
        w(s, "cmdFind")->setFocus();
        dialogs->promptAnswers << QStringLiteral("1");
        QTest::keyClick(w(s, "cmdFind"), Qt::Key_Space);
        QCOMPARE(buttons(s), Found);
        QTRY_VERIFY(holdsFocus(w(s, "cmdEdit"))); // Find is off now; the next button has the focus
        QTest::keyClick(w(s, "cmdEdit"), Qt::Key_Return);
        QCOMPARE(buttons(s), Editing);

        // With "Yes" picked every control takes its turn.
        pick(list(s, "cmbOverdueDays"), "Yes");
        w(s, "cmdSave")->setFocus();
        for (const char *next : {"cmdCancel", "cmdMain", "txtfines", "cmbOverdueDays", "txtdays", "txtDaysBorrow",
                                 "cmbCondition", "cmbStatus", "cmbSection", "cmbCategory", "DTPicker2", "cmbRemarks",
                                 "txtAccessionNumber", "txtBookNumber", "txtBookTitle", "txtBorrower", "DTPicker1",
                                 "cmdSave", "cmdCancel"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(holdsFocus(w(s, next)), next);
        }
        QTest::keyClick(w(s, "cmdCancel"), Qt::Key_Space);
        QCOMPARE(buttons(s), Browse);
    }
};

QTEST_MAIN(ReturnDeskTest)
#include "tst_returndesk.moc"
