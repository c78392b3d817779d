// What the shared controls show on every screen that uses them: the date
// pickers in the locale's short date, the lists' initial texts and whole
// items.
#include "testsupport.h"

#include "app/screennames.h"
#include "ui/clock.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QVBoxLayout>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QWidget *open(const QString &screen) { return Navigator::instance().open(screen); }

// A picker holding `start` (none when invalid) with a box after it to Tab
// to, in an active window.
struct PickerForm {
    explicit PickerForm(Dialogs &dialogs, const QDate &start)
    {
        auto *column = new QVBoxLayout(&window);
        column->addWidget(picker = new DatePicker);
        column->addWidget(next = new QLineEdit);
        picker->setDialogs(dialogs);
        picker->setNullableDate(start);
        window.show();
    }
    QWidget window;
    DatePicker *picker;
    QLineEdit *next;
};

} // namespace

class ControlsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<DeskData> data;
    FakeDialogs *dialogs = nullptr;

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init() { data = std::make_unique<DeskData>(); dialogs = &data->dialogs; }
    void cleanup()
    {
        closeAllScreens();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        Clock::set(QDateTime());
        data.reset();
    }

    void shouldShowPickerDatesInTheLocalesShortDateAndStoreThemAsIso_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("borrowed"); // 2 November 2026
        QTest::addColumn<QString>("today");    // 7 December 2026
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "2.11.2026" << "7.12.2026";
        QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << "02/11/2026" << "07/12/2026";
        QTest::newRow("United States") << QLocale(QLocale::English, QLocale::UnitedStates) << "11/2/2026"
                                       << "12/7/2026";
    }

    void shouldShowPickerDatesInTheLocalesShortDateAndStoreThemAsIso()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, borrowed);
        QFETCH(QString, today);
        insertLoan(*data, QStringLiteral("A-1"));
        QLocale::setDefault(locale);
        Clock::set(QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
        for (const QString &screen : {ScreenNames::ReturnDesk, ScreenNames::LoanEntry}) {
            auto *picker = control<DatePicker>(open(screen), "DTPicker1");
            QVERIFY(picker);
            QCOMPARE(picker->text(), borrowed);
        }
        // A new loan starts on today, shown the same way and stored as ISO text.
        QWidget *entry = Navigator::instance().existing(ScreenNames::LoanEntry);
        control<QPushButton>(entry, "cmdAdd")->click();
        QCOMPARE(control<DatePicker>(entry, "DTPicker1")->text(), today);
        for (const char *box : {"txtAccessionNumber", "txtBookNumber", "txtBookTitle"})
            type(control<QLineEdit>(entry, box), QStringLiteral("N-2"));
        for (const char *list : {"cmbCategory", "cmbStatus", "cmbSection"})
            pick(control<QComboBox>(entry, list), control<QComboBox>(entry, list)->itemText(0));
        control<QPushButton>(entry, "cmdSave")->click();
        QCOMPARE(data->column(DeskFile, QStringLiteral("tblBorrower"), QStringLiteral("DateBorrowed")),
                 (QStringList{"2026-11-02", "2026-12-07"}));
    }

    void shouldTakeADateTypedInTheLocalesShortFormAndRefuseOtherTexts_data()
    {
        const QLocale german(QLocale::German, QLocale::Germany);
        const QLocale american(QLocale::English, QLocale::UnitedStates);
        const QDate november2(2026, 11, 2);
        const QDate january5(2026, 1, 5);
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDate>("start"); // invalid: the picker is empty
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("leaveBy");
        QTest::addColumn<QDate>("held");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("beeps");
        QTest::newRow("German, empty picker") << german << QDate() << "2.11.2026" << int(Qt::Key_Tab) << november2
                                              << "2.11.2026" << 0;
        QTest::newRow("German, leading zeros, Enter") << german << QDate() << "02.11.2026" << int(Qt::Key_Return)
                                                      << november2 << "2.11.2026" << 0;
        QTest::newRow("United States, over a date") << american << january5 << "11/2/2026" << int(Qt::Key_Tab)
                                                    << november2 << "11/2/2026" << 0;
        QTest::newRow("German, no such day") << german << QDate() << "31.2.2026" << int(Qt::Key_Tab) << QDate() << ""
                                             << 1;
        QTest::newRow("United States, day first") << american << january5 << "15/10/2026" << int(Qt::Key_Tab)
                                                  << january5 << "1/5/2026" << 1;
        QTest::newRow("United States, two-digit year") << american << january5 << "11/2/26" << int(Qt::Key_Tab)
                                                       << january5 << "1/5/2026" << 1;
        QTest::newRow("words, Enter") << german << january5 << "morgen" << int(Qt::Key_Return) << january5
                                      << "5.1.2026" << 1;
    }

    void shouldTakeADateTypedInTheLocalesShortFormAndRefuseOtherTexts()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDate, start);
        QFETCH(QString, typed);
        QFETCH(int, leaveBy);
        QFETCH(QDate, held);
        QFETCH(QString, shown);
        QFETCH(int, beeps);
        QLocale::setDefault(locale);
        PickerForm form(*dialogs, start);
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        form.picker->setFocus(Qt::TabFocusReason);
        form.picker->selectAll();
        QTest::keyClicks(form.picker, typed);
        QTest::keyClick(form.picker, Qt::Key(leaveBy));
        QCOMPARE(form.picker->nullableDate(), held);
        QCOMPARE(form.picker->text().trimmed(), shown);
        QCOMPARE(dialogs->beeps, beeps);
    }

    void shouldLeaveThePickerAsItWasOnEscapeInItsCalendar_data()
    {
        QTest::addColumn<QDate>("start"); // invalid: the picker is empty
        QTest::addColumn<int>("browsed"); // days moved before Escape
        QTest::newRow("empty") << QDate() << 0;
        QTest::newRow("empty, days browsed") << QDate() << 2;
        QTest::newRow("a date, days browsed") << QDate(2026, 3, 9) << 3;
    }

    void shouldLeaveThePickerAsItWasOnEscapeInItsCalendar()
    {
        QFETCH(QDate, start);
        QFETCH(int, browsed);
        Clock::set(QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
        PickerForm form(*dialogs, start);
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        DatePicker *picker = form.picker;
        QTest::mouseClick(picker, Qt::LeftButton, {}, QPoint(picker->width() - 6, picker->height() / 2));
        QCalendarWidget *calendar = picker->calendarWidget();
        QTRY_VERIFY(calendar->isVisible());
        // It opens on the picker's month, or on this month when it is empty.
        const QDate shownMonth = start.isValid() ? start : Clock::today();
        QCOMPARE(std::pair(calendar->yearShown(), calendar->monthShown()), std::pair(shownMonth.year(), shownMonth.month()));
        auto *days = calendar->findChild<QAbstractItemView *>();
        for (int i = 0; i < browsed; ++i)
            QTest::keyClick(days, Qt::Key_Right);
        QTest::keyClick(days, Qt::Key_Escape);
        QTRY_VERIFY(!calendar->isVisible());
        QCOMPARE(picker->nullableDate(), start);
        QCOMPARE(picker->hasDate(), start.isValid());
    }

    void shouldPressTheFocusedButtonOnEnterOnEveryScreen_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("pressed");
        QTest::newRow("login") << ScreenNames::Login << "cmdLogin" << int(Qt::Key_Return) << true;
        QTest::newRow("loan entry") << ScreenNames::LoanEntry << "cmdAdd" << int(Qt::Key_Return) << true;
        QTest::newRow("loan entry, disabled Save") << ScreenNames::LoanEntry << "cmdSave" << int(Qt::Key_Return)
                                                   << false;
        QTest::newRow("return desk, keypad Enter") << ScreenNames::ReturnDesk << "cmdFind" << int(Qt::Key_Enter)
                                                   << true;
        QTest::newRow("loan list") << ScreenNames::LoanList << "cmdDelete" << int(Qt::Key_Return) << true;
        QTest::newRow("books, record bar arrow") << ScreenNames::Books << "next" << int(Qt::Key_Return) << true;
        QTest::newRow("accounts") << ScreenNames::Accounts << "cmdEdit" << int(Qt::Key_Enter) << true;
        QTest::newRow("utilities") << ScreenNames::Utility << "jcbutton1" << int(Qt::Key_Return) << true;
    }

    void shouldPressTheFocusedButtonOnEnterOnEveryScreen()
    {
        QFETCH(QString, screen);
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(bool, pressed);
        insertLoan(*data, QStringLiteral("A-1"));
        auto *target = control<QAbstractButton>(open(screen), qPrintable(button));
        QSignalSpy clicks(target, &QAbstractButton::clicked);
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(clicks.size(), pressed ? 1 : 0);
    }

    // A list shows its initial text on an empty table, none on a new row,
    // and a loan's text once a row fills it (an empty one included).
    void shouldShowTheInitialTextsUntilARowFillsTheLists()
    {
        QWidget *entry = open(ScreenNames::LoanEntry);
        QCOMPARE(control<QComboBox>(entry, "cmbStatus")->currentText(), QStringLiteral("Select.."));
        QCOMPARE(control<QComboBox>(open(ScreenNames::ReturnDesk), "cmbCondition")->currentText(),
                 QStringLiteral("Select a condition.."));
        control<QPushButton>(entry, "cmdAdd")->click();
        for (const char *list : {"cmbCategory", "cmbStatus", "cmbSection"})
            QCOMPARE(control<QComboBox>(entry, list)->currentText(), QString());
        closeAllScreens();
        insertLoan(*data, QStringLiteral("A-1"));
        QCOMPARE(control<QComboBox>(open(ScreenNames::LoanEntry), "cmbStatus")->currentText(), QStringLiteral("Student"));
        QCOMPARE(control<QComboBox>(open(ScreenNames::ReturnDesk), "cmbCondition")->currentText(), QString());
    }

    void shouldDropDownWholeItemsInEveryList_data()
    {
        QTest::addColumn<QString>("screen");
        for (const QString &screen : {ScreenNames::LoanEntry, ScreenNames::ReturnDesk, ScreenNames::Books})
            QTest::newRow(qPrintable(screen)) << screen;
    }

    void shouldDropDownWholeItemsInEveryList()
    {
        QFETCH(QString, screen);
        const QList<QComboBox *> lists = open(screen)->findChildren<QComboBox *>();
        QVERIFY(!lists.isEmpty());
        for (QComboBox *list : lists) {
            list->setEnabled(true);
            list->showPopup();
            QAbstractItemView *view = list->view();
            QTRY_VERIFY(view->isVisible());
            // Each item's words, with a little room for the item's margins.
            for (int row = 0; row < list->count(); ++row)
                QVERIFY2(view->viewport()->width() >= view->fontMetrics().horizontalAdvance(list->itemText(row)) + 8,
                         qPrintable(list->objectName() + QLatin1Char(' ') + list->itemText(row)));
            list->hidePopup();
            QTRY_VERIFY(!view->isVisible());
        }
    }
};

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"
