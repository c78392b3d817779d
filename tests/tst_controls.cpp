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
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QTest>

#include <memory>

namespace {

QWidget *open(const QString &screen) { return Navigator::instance().open(screen); }

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
