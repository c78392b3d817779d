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

QWidget *open(const QString &screen)
{
    return Navigator::instance().open(screen);
}

template <typename T>
T *control(QWidget *screen, const char *name)
{
    return screen ? screen->findChild<T *>(QLatin1String(name)) : nullptr;
}

} // namespace

class ControlsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<DeskData> data;
    FakeDialogs *dialogs = nullptr;

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init()
    {
        data = std::make_unique<DeskData>();
        dialogs = &data->dialogs;
    }
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
        const char *boxes[] = {"txtAccessionNumber", "txtBookNumber", "txtBookTitle"};
        for (const char *box : boxes)
            type(control<QLineEdit>(entry, box), QStringLiteral("N-2"));
        for (const char *list : {"cmbCategory", "cmbStatus", "cmbSection"})
            pick(control<QComboBox>(entry, list), control<QComboBox>(entry, list)->itemText(0));
        control<QPushButton>(entry, "cmdSave")->click();
        QCOMPARE(data->column(DeskFile, QStringLiteral("tblBorrower"), QStringLiteral("DateBorrowed")),
                 (QStringList{"2026-11-02", "2026-12-07"}));
    }

    void shouldShowTheInitialTextsUntilARowFillsTheLists_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QString>("fromRow"); // what the inserted loan shows
        QTest::newRow("entry category") << ScreenNames::LoanEntry << "cmbCategory" << "Combo1" << "FICTION";
        QTest::newRow("entry type") << ScreenNames::LoanEntry << "cmbStatus" << "Select.." << "Student";
        QTest::newRow("entry section") << ScreenNames::LoanEntry << "cmbSection" << "Combo1" << "2ICT1";
        QTest::newRow("desk type") << ScreenNames::ReturnDesk << "cmbStatus" << "Select Type..." << "Student";
        QTest::newRow("desk section") << ScreenNames::ReturnDesk << "cmbSection" << "Select section" << "2ICT1";
        QTest::newRow("desk category") << ScreenNames::ReturnDesk << "cmbCategory" << "Select a category.."
                                       << "FICTION";
        QTest::newRow("desk condition") << ScreenNames::ReturnDesk << "cmbCondition" << "Select a condition.." << "";
    }

    void shouldShowTheInitialTextsUntilARowFillsTheLists()
    {
        QFETCH(QString, screen);
        QFETCH(QString, list);
        QFETCH(QString, initial);
        QFETCH(QString, fromRow);
        auto *box = control<QComboBox>(open(screen), qPrintable(list));
        QVERIFY(box);
        QCOMPARE(box->currentText(), initial);
        closeAllScreens();
        insertLoan(*data, QStringLiteral("A-1"));
        QCOMPARE(control<QComboBox>(open(screen), qPrintable(list))->currentText(), fromRow);
    }

    void shouldOpenANewRowOnAnEmptyTableWithEmptyLists()
    {
        QWidget *entry = open(ScreenNames::LoanEntry);
        control<QPushButton>(entry, "cmdAdd")->click();
        for (const char *list : {"cmbCategory", "cmbStatus", "cmbSection"})
            QCOMPARE(control<QComboBox>(entry, list)->currentText(), QString());
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
