// Moving rows into and out of the stores, backups, restores, checks and the
// desk's presence lock, through the store's own interface (no widgets), with
// what the files hold checked from outside.
#include "storesupport.h"

#include "store/backup.h"
#include "store/csv.h"
#include "store/database.h"
#include "store/desklock.h"
#include "store/transfer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

namespace {

const QString Books = QStringLiteral("books");
const QString Loans = QStringLiteral("tblBorrower");
const QString Users = QStringLiteral("tblUser");
const QString Cost = QStringLiteral("Cost or") + QString(12, QLatin1Char(' ')) + QStringLiteral("(in Peso)");
const QString Price = QStringLiteral("Price") + QString(14, QLatin1Char(' ')) + QStringLiteral("(in Dollar)");
const QString Empty = QString(QLatin1String(""));

// A database of another program held in memory.
class MemorySource : public Transfer::TableSource
{
public:
    struct Table {
        QStringList columns;
        QList<QVariantList> rows;
    };
    QString name() const override { return QStringLiteral("old.mdb"); }
    QStringList columns(const QString &table) override
    {
        m_error = tables.contains(table) ? QString() : QStringLiteral("There is no table %1 in old.mdb.").arg(table);
        return tables.value(table).columns;
    }
    bool readRows(const QString &table, const std::function<bool(const QVariantList &)> &row) override
    {
        for (const QVariantList &values : tables.value(table).rows)
            if (!row(values))
                break;
        return true;
    }
    QString errorText() const override { return m_error; }

    QMap<QString, Table> tables;

private:
    QString m_error;
};

// An old catalogue and desk with one row in each table, every field named
// as the desk names it, with an extra column the import has no use for.
void oldDesk(MemorySource &catalogue, MemorySource &desk)
{
    QStringList bookColumns = Schema::books().fields;
    bookColumns.prepend(QStringLiteral("ID"));
    QVariantList book{7};
    for (const QString &field : Schema::books().fields)
        book << QVariant(QStringLiteral("old ") + field);
    book[bookColumns.indexOf(QStringLiteral("Date received"))] = QDate(2003, 6, 1);
    book[bookColumns.indexOf(Price)] = 12.5;
    book[bookColumns.indexOf(QStringLiteral("Pages"))] = 420;
    catalogue.tables.insert(Books, {bookColumns, {book}});

    QVariantList loan;
    for (const QString &field : Schema::borrower().fields)
        loan << QVariant(QStringLiteral("L ") + field);
    loan[5] = QDateTime(QDate(2004, 2, 29), QTime(14, 30), Qt::UTC);
    loan[7] = QVariant();
    desk.tables.insert(Loans, {Schema::borrower().fields, {loan}});
    desk.tables.insert(Users, {Schema::user().fields,
                               {{QStringLiteral("1234"), QStringLiteral(" Pass "), QStringLiteral(" Pass "),
                                 QStringLiteral("hint")}}});
}

QStringList column(TestData &data, const QString &file, const QString &table, const QString &field)
{
    QStringList out;
    for (const QVariantMap &row : data.rows(file, table))
        out << row.value(field).toString();
    return out;
}

QList<QStringList> readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Csv::Reader reader(&file);
    QList<QStringList> rows;
    QStringList row;
    while (reader.next(row))
        rows << row;
    return rows;
}

// The first value `sql` gives on a connection of its own to `path`.
QVariant scalar(const QString &path, const QString &sql)
{
    const QString name = QStringLiteral("scalar");
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(sql) && q.next())
            value = q.value(0);
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A header of every books field, in an order of its own, and awkward rows.
QList<QStringList> awkwardBooks()
{
    QStringList header = Schema::books().fields;
    std::reverse(header.begin(), header.end());
    QList<QStringList> rows{header};
    const QStringList values{QStringLiteral("say \"hi\""), QStringLiteral("a, b"), QStringLiteral("two\r\nlines"),
                             QStringLiteral("Ωμέγα 東京 😀"), Empty, QString(), QStringLiteral("  spaced  ")};
    for (int r = 0; r < 5; ++r) {
        QStringList row;
        for (int c = 0; c < header.size(); ++c)
            row << values.at((r + c) % values.size());
        rows << row;
    }
    return rows;
}

QByteArray csvBytes(const QList<QStringList> &rows)
{
    QString text;
    for (const QStringList &row : rows)
        text += Csv::line(row);
    return text.toUtf8();
}

} // namespace

class TransferTest : public QObject
{
    Q_OBJECT

private slots:
    void shouldTellAMissingValueFromAnEmptyText()
    {
        const QList<QStringList> rows = Csv::parse(QStringLiteral(",\"\",x\n"));
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows.first().at(0).isNull());
        QVERIFY(!rows.first().at(1).isNull());
        QVERIFY(rows.first().at(1).isEmpty());
        QCOMPARE(Csv::line({QString(), Empty, QStringLiteral("x")}), QStringLiteral(",\"\",x\r\n"));
    }

    void shouldReadARecordAtATimeAcrossChunks()
    {
        // Records long enough to straddle the reader's chunks at every kind
        // of place: inside quotes, in a doubled quote, between CR and LF,
        // inside a character of several bytes.
        QList<QStringList> rows;
        QString text;
        for (int r = 0; r < 400; ++r) {
            QStringList row{QString(r * 7 % 300, QChar(0x6771)), QStringLiteral("\"q\"\r\n") + QString(r, 'x'),
                            r % 3 ? QString() : Empty, QStringLiteral("😀").repeated(r % 50)};
            rows << row;
            text += Csv::line(row);
        }
        QByteArray bytes = "\xef\xbb\xbf" + text.toUtf8();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        Csv::Reader reader(&buffer);
        QStringList row;
        for (const QStringList &expected : rows) {
            QVERIFY2(reader.next(row), qPrintable(reader.errorText()));
            QCOMPARE(row, expected);
            for (qsizetype i = 0; i < row.size(); ++i)
                QCOMPARE(row.at(i).isNull(), expected.at(i).isNull());
        }
        QVERIFY(!reader.next(row));
        QVERIFY(reader.errorText().isEmpty());
        QCOMPARE(reader.bytesRead(), qint64(bytes.size()));
    }

    void shouldNameWhereACsvFileGoesWrong_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("open quote") << QByteArray("a,b\n1,\"2\n3\n") << "it ends inside the quoted field that begins on line 2";
        QTest::newRow("not UTF-8") << QByteArray("a,b\n\xff\xfe,1\n") << "it is not UTF-8 text (near line 1)";
    }

    void shouldNameWhereACsvFileGoesWrong()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        Csv::Reader reader(&buffer);
        QStringList row;
        while (reader.next(row)) {
        }
        QCOMPARE(reader.errorText(), error);
    }

    void shouldTurnOldValuesIntoStoredText_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("stored"); // invalid: refused

        const QDateTime afternoon(QDate(2004, 2, 29), QTime(14, 30, 5), Qt::UTC);
        QTest::newRow("null") << Loans << "Borrower" << QVariant() << QVariant(QMetaType::fromType<QString>());
        QTest::newRow("text as stored") << Loans << "Borrower" << QVariant(" Ana ") << QVariant(" Ana ");
        QTest::newRow("empty text") << Loans << "Borrower" << QVariant(Empty) << QVariant(Empty);
        QTest::newRow("date") << Loans << "DateBorrowed" << QVariant(QDate(2004, 2, 29)) << QVariant("2004-02-29");
        QTest::newRow("date and time in a date field")
            << Loans << "DateReturned" << QVariant(afternoon) << QVariant("2004-02-29");
        QTest::newRow("date received") << Books << "Date received" << QVariant(afternoon) << QVariant("2004-02-29");
        QTest::newRow("date and time in a text field")
            << Loans << "Remarks" << QVariant(afternoon) << QVariant("2004-02-29 14:30:05");
        QTest::newRow("ISO text in a date field") << Loans << "DateBorrowed" << QVariant("2004-02-29") << QVariant("2004-02-29");
        QTest::newRow("no such day") << Loans << "DateBorrowed" << QVariant("2003-02-29") << QVariant();
        QTest::newRow("a number in a date field") << Loans << "DateBorrowed" << QVariant(-700000.5) << QVariant();
        QTest::newRow("integer") << Books << "Pages" << QVariant(420) << QVariant("420");
        QTest::newRow("currency") << Books << Price << QVariant(12.5) << QVariant("12.5");
        QTest::newRow("single") << Books << "Vol" << QVariant(0.1f) << QVariant("0.1");
        QTest::newRow("double") << Books << "Vol" << QVariant(0.1) << QVariant("0.1");
        QTest::newRow("yes/no") << Loans << "Overduedays" << QVariant(true) << QVariant("True");
        QTest::newRow("binary") << Books << "Remarks" << QVariant(QByteArray("\x01\x02")) << QVariant();
        QTest::newRow("too long") << Books << "Title" << QVariant(QString(256, 'x')) << QVariant();
        // 255 characters, each of two UTF-16 units.
        QTest::newRow("longest, outside the BMP") << Books << "Title" << QVariant(QStringLiteral("😀").repeated(255))
                                                  << QVariant(QStringLiteral("😀").repeated(255));
    }

    void shouldTurnOldValuesIntoStoredText()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(QVariant, stored);
        QString error;
        const std::optional<QVariant> result = Transfer::storedValue(*Schema::table(table), field, value, &error);
        if (!stored.isValid()) {
            QVERIFY(!result);
            QVERIFY2(error.contains(QLatin1Char('"') + field + QLatin1Char('"')), qPrintable(error));
            return;
        }
        QVERIFY2(result, qPrintable(error));
        QCOMPARE(result->isNull(), stored.isNull());
        QCOMPARE(result->toString(), stored.toString());
    }

    void shouldImportAnOldDeskByExactFieldNames()
    {
        TestData data;
        MemorySource catalogue, desk;
        oldDesk(catalogue, desk);
        const Transfer::Outcome outcome = Transfer::importTables(catalogue, desk, data.folder(), false);
        QVERIFY2(outcome.ok(), qPrintable(outcome.error));
        QCOMPARE(outcome.rows, 3);
        QVERIFY(outcome.backup.isEmpty());

        const auto books = data.rows(CatalogueFile, Books);
        QCOMPARE(books.size(), 1);
        QCOMPARE(books.first().value(Cost).toString(), QStringLiteral("old ") + Cost);
        QCOMPARE(books.first().value(Price).toString(), QStringLiteral("12.5"));
        QCOMPARE(books.first().value(QStringLiteral("Date received")).toString(), QStringLiteral("2003-06-01"));
        QCOMPARE(books.first().value(QStringLiteral("Pages")).toString(), QStringLiteral("420"));
        const auto loans = data.rows(DeskFile, Loans);
        QCOMPARE(loans.size(), 1);
        QCOMPARE(loans.first().value(QStringLiteral("DateBorrowed")).toString(), QStringLiteral("2004-02-29"));
        QVERIFY(loans.first().value(QStringLiteral("DateReturned")).isNull());
        QCOMPARE(loans.first().value(QStringLiteral("fines")).toString(), QStringLiteral("L fines"));
        QCOMPARE(column(data, DeskFile, Users, QStringLiteral("Password")), QStringList{" Pass "});

        // The search index follows the imported catalogue.
        QSqlQuery q(data.observe(CatalogueFile));
        QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM books_search WHERE books_search MATCH 'Title : \"old Tit\"'")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 1);
    }

    void shouldWriteNothingWhenATableOrFieldIsMissing_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field"); // empty: the whole table
        QTest::addColumn<QString>("named");
        QTest::newRow("no books") << Books << "" << "There is no table books in old.mdb.";
        QTest::newRow("no tblUser") << Users << "" << "There is no table tblUser in old.mdb.";
        QTest::newRow("a space short")
            << Books << Cost << QStringLiteral("Table books in old.mdb lacks the field \"%1\".").arg(Cost);
        QTest::newRow("no fines") << Loans << "fines" << "Table tblBorrower in old.mdb lacks the field \"fines\".";
    }

    void shouldWriteNothingWhenATableOrFieldIsMissing()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QString, named);
        TestData data;
        MemorySource catalogue, desk;
        oldDesk(catalogue, desk);
        MemorySource &source = table == Books ? catalogue : desk;
        if (field.isEmpty()) {
            source.tables.remove(table);
        } else {
            QStringList &columns = source.tables[table].columns;
            const qsizetype at = columns.indexOf(field);
            columns[at] = field == Cost ? QStringLiteral("Cost or") + QString(11, ' ') + QStringLiteral("(in Peso)")
                                        : QStringLiteral("penalty");
        }
        const int books = data.count(CatalogueFile, Books);
        const Transfer::Outcome outcome = Transfer::importTables(catalogue, desk, data.folder(), true);
        QCOMPARE(outcome.error, named);
        QCOMPARE(data.count(CatalogueFile, Books), books);
        QCOMPARE(column(data, DeskFile, Users, QStringLiteral("Username")), QStringList{"Administrator"});
        QVERIFY(!QFileInfo::exists(Transfer::backupParent(data.folder())));
    }

    void shouldLeaveBothStoresWhenALaterTableFails()
    {
        TestData data;
        MemorySource catalogue, desk;
        oldDesk(catalogue, desk);
        desk.tables[Users].rows.first()[1] = QByteArray("\x00\x01", 2);
        const QStringList before = column(data, CatalogueFile, Books, QStringLiteral("BookNumber"));
        const Transfer::Outcome outcome = Transfer::importTables(catalogue, desk, data.folder(), false);
        QCOMPARE(outcome.error, QStringLiteral("Row 1 of table tblUser in old.mdb: the field \"Password\" holds "
                                               "binary data, which the store cannot keep as text."));
        QCOMPARE(column(data, CatalogueFile, Books, QStringLiteral("BookNumber")), before);
        QCOMPARE(data.count(DeskFile, Loans), 0);
    }

    void shouldAskBeforeOverwritingLoansAndBackUpFirst()
    {
        TestData data;
        insertLoan(data, QStringLiteral("KEEP-1"));
        MemorySource catalogue, desk;
        oldDesk(catalogue, desk);

        Transfer::Outcome outcome = Transfer::importTables(catalogue, desk, data.folder(), false);
        QVERIFY(outcome.needsReplace);
        QVERIFY2(outcome.error.contains(QStringLiteral("already hold 1 loan;")), qPrintable(outcome.error));
        QCOMPARE(column(data, DeskFile, Loans, QStringLiteral("AccessionNumber")), QStringList{"KEEP-1"});

        outcome = Transfer::importTables(catalogue, desk, data.folder(), true);
        QVERIFY2(outcome.ok(), qPrintable(outcome.error));
        QCOMPARE(column(data, DeskFile, Loans, QStringLiteral("AccessionNumber")), QStringList{"L AccessionNumber"});
        // The backup holds the loans as they were.
        QVERIFY(outcome.backup.startsWith(Transfer::backupParent(data.folder())));
        QCOMPARE(scalar(QDir(outcome.backup).filePath(DeskFile),
                        QStringLiteral("SELECT group_concat(AccessionNumber) FROM tblBorrower"))
                     .toString(),
                 QStringLiteral("KEEP-1"));
    }

    void shouldKeepTheAccountsWhenTheOldDeskHasNone()
    {
        TestData data;
        MemorySource catalogue, desk;
        oldDesk(catalogue, desk);
        desk.tables[Users].rows.clear();
        const Transfer::Outcome outcome = Transfer::importTables(catalogue, desk, data.folder(), false);
        QVERIFY2(outcome.ok(), qPrintable(outcome.error));
        QCOMPARE(outcome.notes.size(), 1);
        QCOMPARE(column(data, DeskFile, Users, QStringLiteral("Username")), QStringList{"Administrator"});
        QCOMPARE(data.count(DeskFile, Loans), 1);
    }

    void shouldRoundTripBooksThroughCsv()
    {
        TestData data;
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.csv"));
        const QList<QStringList> rows = awkwardBooks();
        QVERIFY(writeFile(in, "\xef\xbb\xbf" + csvBytes(rows)));
        const Transfer::Outcome imported = Transfer::importBooks(data.folder(), in, true);
        QVERIFY2(imported.ok(), qPrintable(imported.error));
        QCOMPARE(imported.rows, rows.size() - 1);
        QCOMPARE(data.count(CatalogueFile, Books), rows.size() - 1);

        // NULL and the empty text stay apart in the store.
        const auto stored = data.rows(CatalogueFile, Books);
        const qsizetype title = rows.first().indexOf(QStringLiteral("Title"));
        for (qsizetype r = 1; r < rows.size(); ++r) {
            const QVariant value = stored.at(r - 1).value(QStringLiteral("Title"));
            QCOMPARE(value.isNull(), rows.at(r).at(title).isNull());
            QCOMPARE(value.toString(), rows.at(r).at(title));
        }

        const QString out = dir.filePath(QStringLiteral("out.csv"));
        const Transfer::Outcome exported = Transfer::exportTable(data.path(CatalogueFile), Schema::books(), out);
        QVERIFY2(exported.ok(), qPrintable(exported.error));
        const QList<QStringList> back = readAll(out);
        QCOMPARE(back.first(), Schema::books().fields);
        QCOMPARE(back.size(), rows.size());
        for (qsizetype r = 1; r < rows.size(); ++r)
            for (qsizetype c = 0; c < rows.first().size(); ++c) {
                const QString &was = rows.at(r).at(c);
                const QString &now = back.at(r).at(back.first().indexOf(rows.first().at(c)));
                QCOMPARE(now, was);
                QCOMPARE(now.isNull(), was.isNull());
            }
    }

    void shouldAddBooksUnlessReplacing()
    {
        TestData data;
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.csv"));
        QVERIFY(writeFile(in, csvBytes(awkwardBooks())));
        const int sample = data.count(CatalogueFile, Books);
        QVERIFY(Transfer::importBooks(data.folder(), in, false).ok());
        QCOMPARE(data.count(CatalogueFile, Books), sample + 5);
        const Transfer::Outcome replaced = Transfer::importBooks(data.folder(), in, true);
        QVERIFY(replaced.ok());
        QCOMPARE(data.count(CatalogueFile, Books), 5);
        QVERIFY(QFileInfo::exists(QDir(replaced.backup).filePath(CatalogueFile)));
        QSqlQuery check(data.observe(CatalogueFile));
        QVERIFY(check.exec(QStringLiteral("INSERT INTO books_search (books_search, rank) VALUES ('integrity-check', 1)")));
    }

    void shouldNameWhatIsWrongInABooksFileAndWriteNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error"); // %1: the file

        QStringList header = Schema::books().fields;
        QStringList row(header.size(), QStringLiteral("x"));
        QStringList renamed = header;
        renamed[renamed.indexOf(Cost)] = QStringLiteral("Cost or (in Peso)");
        renamed[renamed.indexOf(QStringLiteral("Vol"))] = QStringLiteral("Volume");
        QTest::newRow("unknown and missing")
            << csvBytes({renamed, row})
            << QStringLiteral("The header row of %1 names the unknown columns \"Cost or (in Peso)\", \"Volume\" and lacks "
                              "the columns \"%2\", \"Vol\"; it must name the 15 fields of books exactly.")
                   .arg("%1", Cost);
        QStringList twice = header;
        twice << QStringLiteral("Title");
        QTest::newRow("twice") << csvBytes({twice})
                               << "The header row of %1 names the column \"Title\" more than once; it must name "
                                  "the 15 fields of books exactly.";
        QStringList shortRow = row;
        shortRow.removeLast();
        QTest::newRow("short row") << csvBytes({header, row, row, shortRow})
                                   << "Line 4 of %1 has 14 fields where its header row has 15.";
        QStringList longValue = row;
        longValue[header.indexOf(Price)] = QString(300, 'y');
        QTest::newRow("too long") << csvBytes({header, row, longValue})
                                  << QStringLiteral("Line 3 of %1: the field \"%2\" holds 300 characters; the store "
                                                    "keeps 255 at most.")
                                         .arg("%1", Price);
        QTest::newRow("open quote") << csvBytes({header, row}) + "x,\"y\n"
                                    << "The file %1 cannot be read as CSV: it ends inside the quoted field that "
                                       "begins on line 3.";
        QTest::newRow("empty") << QByteArray("\xef\xbb\xbf") << "The file %1 is empty: it has no header row.";
    }

    void shouldNameWhatIsWrongInABooksFileAndWriteNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        TestData data;
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.csv"));
        QVERIFY(writeFile(in, bytes));
        const QStringList before = column(data, CatalogueFile, Books, QStringLiteral("BookNumber"));
        const Transfer::Outcome outcome = Transfer::importBooks(data.folder(), in, true);
        QCOMPARE(outcome.error, error.arg(QDir::toNativeSeparators(in)));
        QCOMPARE(column(data, CatalogueFile, Books, QStringLiteral("BookNumber")), before);
    }

    void shouldExportWholeOrNotAtAll()
    {
        TestData data;
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("loans.csv"));
        insertLoan(data, QStringLiteral("A,1"));
        QVERIFY(Transfer::exportTable(data.path(DeskFile), Schema::borrower(), out).ok());
        const QList<QStringList> rows = readAll(out);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(1).at(0), QStringLiteral("A,1"));
        QVERIFY(rows.at(1).at(6).isNull()); // Remarks, never set

        // A newer store is refused and the earlier file left as it was.
        data.exec(DeskFile, QStringLiteral("PRAGMA user_version = 99"));
        const Transfer::Outcome refused = Transfer::exportTable(data.path(DeskFile), Schema::borrower(), out);
        QVERIFY2(refused.error.contains(QStringLiteral("made by a newer Tallymere")), qPrintable(refused.error));
        QCOMPARE(readAll(out), rows);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"loans.csv"});
    }

    void shouldTakeAConsistentBackupWhileAnotherConnectionWrites()
    {
        TestData data;
        QTemporaryDir dir;
        for (int i = 0; i < 300; ++i)
            insertLoan(data, QStringLiteral("C-%1").arg(i), QString(200, 'T'));
        data.exec(DeskFile, QStringLiteral("DELETE FROM tblBorrower WHERE rowid % 7 = 0"));
        const QStringList committed = column(data, DeskFile, Loans, QStringLiteral("AccessionNumber"));
        QSqlDatabase writer = data.observe(DeskFile);
        QVERIFY(writer.transaction());
        insertLoan(data, QStringLiteral("UNCOMMITTED"));

        // A commit by another connection between two steps of the copy.
        const QString copy = dir.filePath(QStringLiteral("copy.db"));
        int steps = 0;
        const QSqlError error = Backup::copyStore(data.path(DeskFile), copy, [&](qint64, qint64) {
            if (++steps == 1) {
                QVERIFY(writer.commit());
                insertLoan(data, QStringLiteral("LATER"));
            }
        }, 1);
        QVERIFY2(!error.isValid(), qPrintable(error.text()));
        QVERIFY(steps > 5);

        const QString name = QStringLiteral("copy");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(copy);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
            QStringList rows;
            QList<qint64> ids, originalIds;
            QVERIFY(q.exec(QStringLiteral("SELECT rowid, AccessionNumber FROM tblBorrower ORDER BY rowid")));
            while (q.next()) {
                ids << q.value(0).toLongLong();
                rows << q.value(1).toString();
            }
            QCOMPARE(rows, committed);
            QSqlQuery o(data.observe(DeskFile));
            QVERIFY(o.exec(QStringLiteral("SELECT rowid FROM tblBorrower ORDER BY rowid LIMIT 300")));
            while (o.next())
                originalIds << o.value(0).toLongLong();
            QCOMPARE(ids, originalIds.mid(0, ids.size()));
        }
        QSqlDatabase::removeDatabase(name);
        QVERIFY(QFileInfo(copy).permissions() & QFile::ReadOwner);
        QVERIFY(!(QFileInfo(copy).permissions() & (QFile::ReadOther | QFile::ReadGroup)));
    }

    void shouldRestoreOnlyWhileNoDeskHoldsTheStores()
    {
        TestData data;
        QTemporaryDir dir;
        insertLoan(data, QStringLiteral("IN-BACKUP"));
        QString made;
        QVERIFY(!Backup::backup(data.folder(), dir.path(), &made).isValid());
        QCOMPARE(QFileInfo(made).fileName().left(10), QStringLiteral("Tallymere-"));
        insertLoan(data, QStringLiteral("AFTER-BACKUP"));
        data.release(DeskFile);

        QStringList kept;
        {
            const DeskLock desk(data.folder());
            QVERIFY(desk.isHeld());
            const QSqlError refused = Backup::restore(data.folder(), made, &kept);
            QVERIFY(refused.isValid());
            QVERIFY2(Database::sentence(refused).contains(QStringLiteral("desk program has the stores")),
                     qPrintable(Database::sentence(refused)));
            QCOMPARE(data.count(DeskFile, Loans), 2);
            data.release(DeskFile);
        }
        const QDateTime when(QDate(2031, 5, 4), QTime(3, 2, 1));
        const QSqlError error = Backup::restore(data.folder(), made, &kept, when);
        QVERIFY2(!error.isValid(), qPrintable(error.text()));
        QCOMPARE(column(data, DeskFile, Loans, QStringLiteral("AccessionNumber")), QStringList{"IN-BACKUP"});
        QCOMPARE(kept, (QStringList{QDir(data.folder()).filePath("Transactions.replaced-2031-05-04-030201.db"),
                                   QDir(data.folder()).filePath("Tallymere.replaced-2031-05-04-030201.db")}));
        QCOMPARE(scalar(kept.at(1), QStringLiteral("SELECT count(*) FROM tblBorrower")).toInt(), 2);
    }

    void shouldRefuseABackupFromANewerProgramBeforeTouchingAnything()
    {
        TestData data;
        QTemporaryDir dir;
        QString made;
        QVERIFY(!Backup::backup(data.folder(), dir.path(), &made).isValid());
        scalar(QDir(made).filePath(CatalogueFile), QStringLiteral("PRAGMA user_version = 99"));
        insertLoan(data, QStringLiteral("STAYS"));
        data.release(DeskFile);
        const QSqlError error = Backup::restore(data.folder(), made, nullptr);
        QVERIFY2(Database::sentence(error).contains(QStringLiteral("made by a newer Tallymere")),
                 qPrintable(Database::sentence(error)));
        QCOMPARE(data.count(DeskFile, Loans), 1);
        QCOMPARE(QDir(data.folder()).entryList({QStringLiteral("*.replaced-*")}), QStringList());
    }

    void shouldFindFaultsInEachStore()
    {
        TestData data;
        QList<Backup::Finding> findings = Backup::check(data.folder());
        QCOMPARE(findings.size(), 2);
        QCOMPARE(findings.at(0).text, QStringLiteral("ok; schema version 1, this program's 1"));
        QVERIFY(findings.at(0).ok && findings.at(1).ok);

        // An index out of step with the books it indexes.
        data.exec(CatalogueFile, QStringLiteral("INSERT INTO books_search (books_search, rowid, Title, Author) "
                                                "VALUES ('delete', 1, 'not', 'these')"));
        findings = Backup::check(data.folder());
        QVERIFY(!findings.at(0).ok);
        QVERIFY2(findings.at(0).text.contains(QStringLiteral("search index")), qPrintable(findings.at(0).text));
        QVERIFY(findings.at(1).ok);

        data.exec(DeskFile, QStringLiteral("PRAGMA user_version = 7"));
        findings = Backup::check(data.folder());
        QVERIFY(!findings.at(1).ok);
        QCOMPARE(findings.at(1).text, QStringLiteral("made by a newer Tallymere; schema version 7, this program's 0"));
    }

    void shouldLetDesksShareTheLockAndKeepARestoreOut()
    {
        QTemporaryDir dir;
        {
            const DeskLock first(dir.path());
            const DeskLock second(dir.path());
            QVERIFY(first.isHeld() && second.isHeld());
            const DeskLock restore(dir.path(), DeskLock::Kind::Exclusive);
            QVERIFY(!restore.isHeld());
            QVERIFY(restore.isBusy());
        }
        // A program the desk starts does not keep the lock after the desk.
        QProcess child;
        const auto stop = qScopeGuard([&] {
            child.kill();
            child.waitForFinished();
        });
        {
            const DeskLock desk(dir.path());
            child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
            QVERIFY(child.waitForStarted());
        }
        const DeskLock restore(dir.path(), DeskLock::Kind::Exclusive);
        QVERIFY2(restore.isHeld(), qPrintable(restore.errorText()));
        const DeskLock desk(dir.path(), DeskLock::Kind::Exclusive);
        QVERIFY(!desk.isHeld());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TransferTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_transfer.moc"
