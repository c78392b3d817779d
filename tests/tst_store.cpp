// The stores and the two kinds of record source, seen from outside: what a
// screen does through them and what another connection then finds stored.
#include "testsupport.h"

#include "app/widgets.h"
#include "store/criterion.h"
#include "store/database.h"
#include "store/querysource.h"
#include "store/rowsource.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTest>

namespace {
const QString Desk = QStringLiteral("Tallymere.db");
const QString Catalogue = QStringLiteral("Transactions.db");

QStringList storedColumns(TestData &data, const QString &file, const QString &table)
{
    QStringList names;
    QSqlQuery q(data.observe(file));
    q.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table));
    while (q.next())
        names << q.value(1).toString();
    return names;
}

void setUsers(TestData &data, const QList<QVariant> &names)
{
    data.exec(Desk, QStringLiteral("DELETE FROM tblUser"));
    for (const QVariant &name : names)
        data.exec(Desk, QStringLiteral("INSERT INTO tblUser (Username, Password) VALUES (?, 'pw')"), {name});
}
} // namespace

class StoreTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }

    void shouldCreateEveryFieldWithItsExactName()
    {
        TestData data;
        QCOMPARE(storedColumns(data, Catalogue, QStringLiteral("books")), Schema::books().fields);
        QCOMPARE(storedColumns(data, Desk, QStringLiteral("tblBorrower")), Schema::borrower().fields);
        QCOMPARE(storedColumns(data, Desk, QStringLiteral("tblUser")), Schema::user().fields);
        const QStringList books = storedColumns(data, Catalogue, QStringLiteral("books"));
        QVERIFY(books.contains(QStringLiteral("Cost or") + QString(12, QLatin1Char(' ')) + QStringLiteral("(in Peso)")));
        QVERIFY(books.contains(QStringLiteral("Price") + QString(14, QLatin1Char(' ')) + QStringLiteral("(in Dollar)")));
        QVERIFY(!books.contains(QStringLiteral("Cost or") + QString(11, QLatin1Char(' ')) + QStringLiteral("(in Peso)")));
    }

    void shouldSeedTheAccountAndTheCatalogueOnFirstRun()
    {
        TestData data;
        const auto users = data.rows(Desk, QStringLiteral("tblUser"));
        QCOMPARE(users.size(), 1);
        QCOMPARE(users.first(), (QVariantList{QStringLiteral("Administrator"), QStringLiteral("tallymere"),
                                              QStringLiteral("tallymere"), QStringLiteral("the name of this program")}));
        QCOMPARE(data.count(Desk, QStringLiteral("tblBorrower")), 0);
        const auto books = data.rows(Catalogue, QStringLiteral("books"));
        QVERIFY(books.size() >= 30);
        QSet<QString> distinct;
        for (const QVariantList &row : books) {
            for (const QVariant &v : row)
                QVERIFY2(!v.toString().isEmpty(), "every field of the sample catalogue holds a value");
            distinct.insert(row.at(0).toString());
        }
        QCOMPARE(distinct.size(), books.size());
        for (const QString &file : {Desk, Catalogue}) {
            const QFileInfo info(QDir(data.folder()).filePath(file));
            QCOMPARE(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                     QFile::Permissions());
        }
        QSqlQuery q(data.observe(Desk));
        QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
    }

    void shouldLeaveExistingFilesAloneWhenInstalledAgain()
    {
        TestData data;
        data.exec(Desk, QStringLiteral("UPDATE tblUser SET Password = 'changed'"));
        data.exec(Catalogue, QStringLiteral("DELETE FROM books WHERE rowid > 1"));
        QVERIFY(!Database::install().isValid());
        QCOMPARE(data.rows(Desk, QStringLiteral("tblUser")).first().at(1).toString(), QStringLiteral("changed"));
        QCOMPARE(data.count(Catalogue, QStringLiteral("books")), 1);

        // Only the missing file is made anew.
        QSqlDatabase::database(QStringLiteral("observer-Transactions.db")).close();
        QVERIFY(QFile::remove(QDir(data.folder()).filePath(Catalogue)));
        QVERIFY(!Database::install().isValid());
        QSqlDatabase::database(QStringLiteral("observer-Transactions.db")).open();
        QVERIFY(data.count(Catalogue, QStringLiteral("books")) > 1);
        QCOMPARE(data.rows(Desk, QStringLiteral("tblUser")).first().at(1).toString(), QStringLiteral("changed"));
    }

    void shouldMatchCriteriaLikeTheDeskEngine_data()
    {
        QTest::addColumn<QVariantList>("names");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QVariant>("found"); // null: no match

        const QVariant none;
        QTest::newRow("ends with 7, not 71") << QVariantList{"71", "17", "7"} << "*7" << QVariant("17");
        QTest::newRow("7 alone when 17 is absent") << QVariantList{"71", "7"} << "*7" << QVariant("7");
        QTest::newRow("no match") << QVariantList{"71", "1001"} << "*5" << none;
        QTest::newRow("suffix of another") << QVariantList{"2002", "1001"} << "*01" << QVariant("1001");
        QTest::newRow("two stars skip null") << QVariantList{QVariant(), "", "9"} << "**" << QVariant("");
        QTest::newRow("two stars on nulls only") << QVariantList{QVariant(), QVariant()} << "**" << none;
        QTest::newRow("letter case ignored") << QVariantList{"Administrator"} << "*STRATOR" << QVariant("Administrator");
        QTest::newRow("quote literal") << QVariantList{"OBrien", "O'Brien"} << "*O'Brien" << QVariant("O'Brien");
        QTest::newRow("percent literal") << QVariantList{"500", "50%"} << "*50%" << QVariant("50%");
        QTest::newRow("underscore literal") << QVariantList{"axb", "a_b"} << "*a_b" << QVariant("a_b");
        QTest::newRow("brackets literal") << QVariantList{"a", "[a]"} << "*[a]" << QVariant("[a]");
        QTest::newRow("hash literal") << QVariantList{"11", "#1"} << "*#1" << QVariant("#1");
        QTest::newRow("question mark literal") << QVariantList{"ab", "a?"} << "*a?" << QVariant("a?");
        QTest::newRow("backslash literal") << QVariantList{"a", "a\\"} << "*a\\" << QVariant("a\\");
        QTest::newRow("star inside") << QVariantList{"xay", "acb"} << "a*b" << QVariant("acb");
    }

    void shouldMatchCriteriaLikeTheDeskEngine()
    {
        QFETCH(QVariantList, names);
        QFETCH(QString, pattern);
        QFETCH(QVariant, found);
        TestData data;
        setUsers(data, names);
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblUser"));
        QVERIFY(source.open());
        QVERIFY(source.findFirst(Criterion::build(QStringLiteral("Username"), pattern)));
        QCOMPARE(source.noMatch(), found.isNull());
        if (!found.isNull())
            QCOMPARE(source.value(QStringLiteral("Username")).toString(), found.toString());
    }

    void shouldRoundTripQuotesThroughTheCriterionText()
    {
        const QString text = Criterion::build(QStringLiteral("Username"), QStringLiteral("it's ''x"));
        QCOMPARE(text, QStringLiteral("[Username]like'it''s ''''x'"));
        const Criterion::Parsed parsed = Criterion::parse(text, {QStringLiteral("Username")});
        QVERIFY(parsed.ok);
        QCOMPARE(parsed.likePattern, QStringLiteral("it's ''x"));
    }

    void shouldRefuseABrokenCriterionWithoutTouchingTheRow()
    {
        TestData data;
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblUser"));
        QVERIFY(source.open());
        for (const QString &bad : {QStringLiteral("[Nope]like'x'"), QStringLiteral("[Username]like'a'b'"),
                                   QStringLiteral("Username like 'x'"), QStringLiteral("[Username]='x'")}) {
            QVERIFY2(!source.findFirst(bad), qPrintable(bad));
            QVERIFY(!source.lastError().text().isEmpty());
            QCOMPARE(source.value(QStringLiteral("Username")).toString(), QStringLiteral("Administrator"));
        }
    }

    void shouldStoreNothingAfterAddNewAndCancelUpdate()
    {
        TestData data;
        insertLoan(data, QStringLiteral("A-1"));
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QLineEdit box;
        source.bind(&box, QStringLiteral("AccessionNumber"));
        QVERIFY(source.open());
        QCOMPARE(box.text(), QStringLiteral("A-1"));
        QVERIFY(source.addNew());
        QCOMPARE(box.text(), QString());
        box.setText(QStringLiteral("A-2"));
        source.cancelUpdate();
        QCOMPARE(source.editMode(), RowSource::Idle);
        QCOMPARE(box.text(), QStringLiteral("A-1"));
        QCOMPARE(data.count(Desk, QStringLiteral("tblBorrower")), 1);
        source.cancelUpdate(); // nothing pending: a no-op
        QCOMPARE(data.count(Desk, QStringLiteral("tblBorrower")), 1);
    }

    void shouldKeepEveryValueWhenEditIsCalledTwice()
    {
        TestData data;
        insertLoan(data, QStringLiteral("A-1"));
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QLineEdit remarks, borrower;
        source.bind(&remarks, QStringLiteral("Remarks"));
        source.bind(&borrower, QStringLiteral("Borrower"));
        QVERIFY(source.open());
        QVERIFY(source.edit());
        remarks.setText(QStringLiteral("Returned"));
        QVERIFY(source.edit());
        borrower.setText(QStringLiteral("B. Reader"));
        QVERIFY(source.update());
        const QVariantList row = data.rows(Desk, QStringLiteral("tblBorrower")).first();
        QCOMPARE(row.at(6).toString(), QStringLiteral("Returned"));
        QCOMPARE(row.at(4).toString(), QStringLiteral("B. Reader"));
        QCOMPARE(source.lastModified(), source.bookmark());
    }

    void shouldWriteOnlyChangedBoundFieldsAndExplicitOnes()
    {
        TestData data;
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblUser"));
        QLineEdit name, password;
        source.bind(&name, QStringLiteral("Username"));
        source.bind(&password, QStringLiteral("Password"));
        QVERIFY(source.open());
        // Another desk changes the name after this screen showed the row.
        data.exec(Desk, QStringLiteral("UPDATE tblUser SET Username = 'Elsewhere'"));
        QVERIFY(source.edit());
        password.setText(QStringLiteral("new secret"));
        source.setValue(QStringLiteral("Hint"), QStringLiteral("a new hint"));
        QVERIFY(source.update());
        const QVariantList row = data.rows(Desk, QStringLiteral("tblUser")).first();
        QCOMPARE(row, (QVariantList{QStringLiteral("Elsewhere"), QStringLiteral("new secret"),
                                    QStringLiteral("tallymere"), QStringLiteral("a new hint")}));
    }

    void shouldDropPendingEditsWhenTheRowMoves()
    {
        TestData data;
        insertLoan(data, QStringLiteral("A-1"));
        insertLoan(data, QStringLiteral("A-2"));
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QLineEdit box;
        source.bind(&box, QStringLiteral("AccessionNumber"));
        QVERIFY(source.open());
        QVERIFY(source.edit());
        box.setText(QStringLiteral("typed"));
        QVERIFY(source.moveNext());
        QCOMPARE(box.text(), QStringLiteral("A-2"));
        QVERIFY(source.update()); // idle: nothing to store
        QVERIFY(source.moveFirst());
        QCOMPARE(box.text(), QStringLiteral("A-1"));
        QVERIFY(source.moveLast());
        QVERIFY(source.moveNext()); // past the end stays on the last row
        QCOMPARE(box.text(), QStringLiteral("A-2"));
        QCOMPARE(data.rows(Desk, QStringLiteral("tblBorrower")).first().at(0).toString(), QStringLiteral("A-1"));
    }

    void shouldKeepTheFoundRowWhenNothingWasModified()
    {
        TestData data;
        insertLoan(data, QStringLiteral("A-1"));
        insertLoan(data, QStringLiteral("A-2"));
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QVERIFY(source.open());
        QCOMPARE(source.lastModified(), -1);
        QVERIFY(source.findFirst(Criterion::build(QStringLiteral("AccessionNumber"), QStringLiteral("*2*"))));
        QVERIFY(source.setBookmark(source.lastModified()));
        QCOMPARE(source.value(QStringLiteral("AccessionNumber")).toString(), QStringLiteral("A-2"));
    }

    void shouldStoreDatesAsIsoTextThroughThePicker()
    {
        TestData data;
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        DatePicker picker;
        QLineEdit accession;
        source.bind(&accession, QStringLiteral("AccessionNumber"));
        source.bind(&picker, QStringLiteral("DateBorrowed"));
        QVERIFY(source.open());
        QVERIFY(!picker.hasDate());
        QVERIFY(source.addNew());
        accession.setText(QStringLiteral("A-9"));
        picker.setNullableDate(QDate(2026, 2, 3));
        QVERIFY(source.update());
        QVERIFY(source.refresh());
        QCOMPARE(picker.nullableDate(), QDate(2026, 2, 3));
        const QVariantList row = data.rows(Desk, QStringLiteral("tblBorrower")).first();
        QCOMPARE(row.at(5).toString(), QStringLiteral("2026-02-03"));
        QVERIFY(row.at(7).isNull());
    }

    void shouldKeepTheRowOpenWhenTheStoreRefusesIt()
    {
        TestData data;
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QLineEdit accession, title;
        source.bind(&accession, QStringLiteral("AccessionNumber"));
        source.bind(&title, QStringLiteral("BookTitle"));
        QVERIFY(source.open());
        QVERIFY(source.addNew());
        accession.setText(QStringLiteral("A-1"));
        title.setText(QString(256, QLatin1Char('x')));
        QVERIFY(!source.update());
        QVERIFY(source.lastError().text().contains(QStringLiteral("CHECK constraint failed")));
        QCOMPARE(source.editMode(), RowSource::Adding);
        QCOMPARE(accession.text(), QStringLiteral("A-1"));
        QCOMPARE(data.count(Desk, QStringLiteral("tblBorrower")), 0);
        title.setText(QString(255, QLatin1Char('x')));
        QVERIFY(source.update());
        QCOMPARE(data.count(Desk, QStringLiteral("tblBorrower")), 1);
    }

    void shouldReportALockedFileAndStoreNothing()
    {
        TestData data;
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QLineEdit accession;
        source.bind(&accession, QStringLiteral("AccessionNumber"));
        QVERIFY(source.open());
        QVERIFY(source.addNew());
        accession.setText(QStringLiteral("A-1"));
        QSqlQuery lock(data.observe(Desk));
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        QVERIFY(!source.update());
        QVERIFY(source.lastError().text().contains(QStringLiteral("locked")));
        QVERIFY(lock.exec(QStringLiteral("COMMIT")));
        QCOMPARE(data.count(Desk, QStringLiteral("tblBorrower")), 0);
        QVERIFY(source.update());
        QCOMPARE(data.count(Desk, QStringLiteral("tblBorrower")), 1);
    }

    void shouldReportAMissingFileOrTable()
    {
        TestData data;
        data.exec(Desk, QStringLiteral("DROP TABLE tblUser"));
        RowSource users(Schema::File::Tallymere, QStringLiteral("tblUser"));
        QVERIFY(!users.open());
        QVERIFY(users.lastError().text().contains(QStringLiteral("no such table")));
        QVERIFY(!users.moveFirst());

        QSqlDatabase::database(QStringLiteral("observer-Transactions.db")).close();
        QVERIFY(QFile::remove(QDir(data.folder()).filePath(Catalogue)));
        QuerySource books(Schema::File::Transactions, QStringLiteral("books"));
        QVERIFY(!books.open());
        QVERIFY(books.lastError().text().contains(QStringLiteral("missing")));
        QVERIFY(!QFileInfo::exists(QDir(data.folder()).filePath(Catalogue)));
    }

    void shouldNotFailOnAnEmptyTable()
    {
        TestData data;
        RowSource source(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QLineEdit box;
        box.setText(QStringLiteral("Combo1"));
        source.bind(&box, QStringLiteral("BookTitle"));
        QVERIFY(source.open());
        QVERIFY(!source.hasCurrent());
        QCOMPARE(box.text(), QString());
        QVERIFY(source.moveFirst());
        QVERIFY(source.moveLast());
        QVERIFY(source.edit());
        QVERIFY(source.update());
        source.cancelUpdate();
        QVERIFY(source.value(QStringLiteral("BookTitle")).isNull());
        QVERIFY(source.findFirst(QStringLiteral("[AccessionNumber]like'**'")));
        QVERIFY(source.noMatch());
        QCOMPARE(data.count(Desk, QStringLiteral("tblBorrower")), 0);

        QuerySource list(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QVERIFY(list.open());
        QVERIFY(!list.hasCurrent());
        QVERIFY(list.deleteCurrent());
        list.moveLast();
        list.moveNext();
        QCOMPARE(list.model()->rowCount(), 0);
    }

    void shouldDeleteExactlyTheCurrentRowOfAQuery()
    {
        TestData data;
        for (const char *a : {"A-1", "A-2", "A-3", "A-4"})
            insertLoan(data, QString::fromLatin1(a));
        QuerySource list(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QVERIFY(list.open());
        QCOMPARE(list.currentRow(), 0);
        list.setCurrentRow(2);
        QCOMPARE(list.value(QStringLiteral("AccessionNumber")).toString(), QStringLiteral("A-3"));
        QVERIFY(list.deleteCurrent());
        QVERIFY(list.refresh());
        QCOMPARE(list.currentRow(), 0);
        QStringList left;
        for (const QVariantList &row : data.rows(Desk, QStringLiteral("tblBorrower")))
            left << row.at(0).toString();
        QCOMPARE(left, (QStringList{"A-1", "A-2", "A-4"}));
        QCOMPARE(list.model()->rowCount(), 3);
    }

    void shouldPageThroughAQueryWithoutReadingItAll()
    {
        TestData data;
        QSqlDatabase db = data.observe(Desk);
        db.transaction();
        for (int i = 1; i <= 700; ++i)
            insertLoan(data, QStringLiteral("N%1").arg(i));
        db.commit();
        QuerySource list(Schema::File::Tallymere, QStringLiteral("tblBorrower"));
        QVERIFY(list.open());
        QCOMPARE(list.model()->rowCount(), PagedModel::PageSize);
        QVERIFY(list.model()->canFetchMore());
        list.setCurrentRow(PagedModel::PageSize - 1);
        list.moveNext(); // reads the next page on demand
        QCOMPARE(list.value(QStringLiteral("AccessionNumber")).toString(), QStringLiteral("N257"));
        list.moveLast();
        QCOMPARE(list.model()->rowCount(), 700);
        QCOMPARE(list.value(QStringLiteral("AccessionNumber")).toString(), QStringLiteral("N700"));
        QCOMPARE(list.model()->data(list.model()->index(599, 0)).toString(), QStringLiteral("N600"));
        QCOMPARE(list.model()->data(list.model()->index(0, 5)).toString(), QStringLiteral("11/2/2026"));
        QCOMPARE(list.model()->headerData(14, Qt::Horizontal).toString(), QStringLiteral("fines"));
    }

    void shouldFilterAQueryWithBoundParameters()
    {
        TestData data;
        QuerySource books(Schema::File::Transactions, QStringLiteral("Books"));
        books.setCondition(QStringLiteral("\"Title\" LIKE ? ESCAPE '\\'"), {QStringLiteral("%'%")});
        QVERIFY(books.open());
        QLineEdit title;
        books.bind(&title, QStringLiteral("Title"));
        QVERIFY(books.hasCurrent());
        QVERIFY(title.text().contains(QLatin1Char('\'')));
        books.setCondition(QStringLiteral("\"Title\" LIKE ?"), {QStringLiteral("%no such book%")});
        QVERIFY(books.refresh());
        QVERIFY(!books.hasCurrent());
        QCOMPARE(title.text(), QString());
    }
};

QTEST_MAIN(StoreTest)
#include "tst_store.moc"
