// Controls bound to a record source's fields through the binder: what they
// show for each row, and what a stored row takes from them.
#include "testsupport.h"

#include "store/records/querysource.h"
#include "store/records/rowsource.h"
#include "ui/binder.h"
#include "ui/widgets.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

class BindingTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }

    void shouldShowEachRowAndStoreOnlyWhatTheUserChangedFromAnyControl()
    {
        DeskData data;
        insertLoan(data, QStringLiteral("A-1"), QStringLiteral("Dune"));
        insertLoan(data, QStringLiteral("A-2"), QStringLiteral("Emma"));
        RowSource source(data.location(), QStringLiteral("tblBorrower"));
        QLineEdit accession, title;
        QComboBox category;
        category.setEditable(true);
        category.addItems({QStringLiteral("FICTION"), QStringLiteral("REFERENCE")});
        DatePicker borrowed, returned;
        QSpinBox days; // any control with a user property binds
        auto *gone = new QLineEdit;
        auto *binder = new Binder(&source);
        for (const auto &[control, field] : {std::pair<QWidget *, const char *>{&accession, "AccessionNumber"},
                                             {&title, "BookTitle"}, {&category, "Category"},
                                             {&borrowed, "DateBorrowed"}, {&returned, "DateReturned"},
                                             {&days, "DaysBorrowed"}, {gone, "Borrower"}})
            binder->bind(control, QString::fromLatin1(field));
        QVERIFY(source.open());
        QCOMPARE(accession.text(), QStringLiteral("A-1"));
        QCOMPARE(category.currentText(), QStringLiteral("FICTION"));
        QCOMPARE(borrowed.nullableDate(), QDate(2026, 11, 2));
        QVERIFY(!returned.hasDate()); // an empty date shows no date at all
        QVERIFY(source.moveNext());
        QCOMPARE(title.text(), QStringLiteral("Emma"));

        // Another desk renames the book after it was shown here.
        data.exec(DeskFile, QStringLiteral("UPDATE tblBorrower SET BookTitle = 'Persuasion' WHERE \"_id\" = 2"));
        delete gone; // a control that goes first is simply left out
        QVERIFY(source.edit());
        category.setEditText(QStringLiteral("hand typed"));
        days.setValue(14);
        returned.setNullableDate(QDate(2026, 11, 20));
        QVERIFY(source.update());
        const QVariantMap row = data.rows(DeskFile, QStringLiteral("tblBorrower")).at(1);
        QStringList values;
        for (const char *field : {"BookTitle", "Category", "DateReturned", "DaysBorrowed", "Borrower"})
            values << row.value(field).toString();
        QCOMPARE(values, (QStringList{"Persuasion", "hand typed", "2026-11-20", "14", "A. Reader"}));
        QCOMPARE(title.text(), QStringLiteral("Persuasion")); // the stored row is shown again

        // A new row starts empty; emptying a date stores no date.
        QVERIFY(source.addNew());
        QCOMPARE(accession.text(), QString());
        QVERIFY(!borrowed.hasDate());
        accession.setText(QStringLiteral("A-3"));
        QVERIFY(source.update());
        QVERIFY(data.rows(DeskFile, QStringLiteral("tblBorrower")).at(2).value(QStringLiteral("DateBorrowed")).isNull());
    }

    void shouldShowAQueryRowAndNothingWhenNoRowMatches()
    {
        DeskData data;
        QuerySource books(data.location(), QStringLiteral("Books"));
        QLineEdit title, cost;
        auto *binder = new Binder(&books);
        binder->bind(&title, QStringLiteral("Title"));
        binder->bind(&cost, QStringLiteral("Cost or            (in Peso)"));
        books.setCondition(QStringLiteral("\"Title\" LIKE ?"), {QStringLiteral("%'%")});
        QVERIFY(books.open());
        QVERIFY(title.text().contains(QLatin1Char('\'')));
        QVERIFY(!cost.text().isEmpty());
        books.setCondition(QStringLiteral("\"Title\" LIKE ?"), {QStringLiteral("%no such book%")});
        QVERIFY(books.refresh());
        QCOMPARE(title.text(), QString());
        QCOMPARE(cost.text(), QString());
    }
};

QTEST_MAIN(BindingTest)
#include "tst_binding.moc"
