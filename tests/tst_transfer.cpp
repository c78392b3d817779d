// Moving rows into and out of the stores, backups, restores, checks and the
// desk's presence lock, through the store's own interface (no widgets), with
// what the files hold checked from outside (TestData observes any file given
// by an absolute path, such as a backup's or a copy's).
#include "storesupport.h"

#include "store/engine/csv.h"
#include "store/engine/database.h"
#include "store/engine/desklock.h"
#include "store/engine/storeerror.h"
#include "store/transfer/backup.h"
#include "store/transfer/transfer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

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
    struct Table { QStringList columns; QList<QVariantList> rows; };
    QString name() const override { return QStringLiteral("old.mdb"); }
    QStringList columns(const QString &table) override
    {
        m_error = tables.contains(table) ? QString() : QStringLiteral("There is no table %1 in old.mdb.").arg(table);
        return tables.value(table).columns;
    }
    bool readRows(const QString &table, const std::function<bool(const QVariantList &)> &row) override
    {
        if (reading)
            reading(table);
        for (const QVariantList &values : tables.value(table).rows)
            if (!row(values))
                break;
        return true;
    }
    QString errorText() const override { return m_error; }
    QMap<QString, Table> tables;
    QString m_error;
    // Told of each table before its rows are read.
    std::function<void(const QString &table)> reading;
};

// An old catalogue and desk with one row in each table, every field named
// as the desk names it, the books with an extra column of no use here.
void oldDesk(MemorySource &catalogue, MemorySource &desk)
{
    QVariantList book{7}, loan;
    for (const QString &field : Schema::books().fields)
        book << QVariant(QStringLiteral("old ") + field);
    catalogue.tables.insert(Books, {QStringList{QStringLiteral("ID")} + Schema::books().fields, {book}});
    for (const QString &field : Schema::borrower().fields)
        loan << QVariant(QStringLiteral("L ") + field);
    loan[5] = QDateTime(QDate(2004, 2, 29), QTime(14, 30), Qt::UTC);
    loan[7] = QVariant();
    desk.tables.insert(Loans, {Schema::borrower().fields, {loan}});
    desk.tables.insert(Users, {Schema::user().fields, {{"1234", " Pass ", " Pass ", "hint"}}});
}

QList<QStringList> readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? Csv::parse(QString::fromUtf8(file.readAll())) : QList<QStringList>();
}

// The rows written by the program's writer after a byte-order mark, then
// the raw bytes `after` (alone, without the mark, when there are no rows).
bool writeCsv(const QString &path, const QList<QStringList> &rows, const QByteArray &after = {})
{
    QFile file(path);
    QByteArray bytes(rows.isEmpty() ? "" : "\xef\xbb\xbf");
    for (const QStringList &row : rows)
        bytes += Csv::line(row).toUtf8();
    return file.open(QIODevice::WriteOnly) && file.write(bytes + after) == bytes.size() + after.size();
}

} // namespace

class TransferTest : public QObject
{
    Q_OBJECT

private slots:
    void shouldReadARecordAtATimeAcrossChunks()
    {
        // Records long enough to straddle the reader's chunks at every kind
        // of place: inside quotes, in a doubled quote, between CR and LF,
        // inside a character of several bytes.
        QList<QStringList> rows;
        QByteArray bytes("\xef\xbb\xbf");
        for (int r = 0; r < 400; ++r) {
            rows << QStringList{QString(r * 7 % 300, QChar(0x6771)), QStringLiteral("\"q\"\r\n") + QString(r, 'x'),
                                r % 3 ? QString() : Empty, QStringLiteral("😀").repeated(r % 50)};
            bytes += Csv::line(rows.last()).toUtf8();
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        Csv::Reader reader(&buffer);
        QStringList row;
        for (const QStringList &expected : rows)
            QVERIFY2(reader.next(row) && row == expected && row.at(2).isNull() == expected.at(2).isNull(), qPrintable(reader.errorText()));
        QVERIFY(!reader.next(row) && reader.errorText().isEmpty());
        QCOMPARE(reader.bytesRead(), qint64(bytes.size()));
    }

    void shouldKeepAByteOrderMarkInTheData()
    {
        // GIVEN a file whose second record holds U+FEFF at the very start of
        // the reader's second chunk of 64 KiB, after the file's own mark
        const QByteArray mark("\xef\xbb\xbf");
        const QByteArray first = mark + "\"" + QByteArray(65536 - 8, 'a') + "\"\r\n";
        QCOMPARE(first.size(), 65536 - 1);
        QByteArray bytes = first + "\"" + mark + "b\",c\r\n";
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        Csv::Reader reader(&buffer);
        // WHEN it is read THEN only the file's mark is dropped
        QStringList row;
        QVERIFY(reader.next(row) && row == QStringList{QString(65536 - 8, 'a')});
        QVERIFY(reader.next(row));
        QCOMPARE(row, (QStringList{QChar(0xfeff) + QStringLiteral("b"), "c"}));
    }

    void shouldNameTheLineOfAByteThatIsNotUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        const QByteArray row("a,\"b\",\xc3\xa9t\xc3\xa9\r\n"); // one line, with two-byte characters
        QTest::newRow("first line") << QByteArray("\xff\xfe,1\n") << 1;
        QTest::newRow("third line") << row.repeated(2) + "x,\x80\n" << 3;
        QTest::newRow("after blank lines and CRs") << QByteArray("a\n\n\rb\r\n\xc0\xaf\n") << 5;
        QTest::newRow("inside a quoted field") << QByteArray("a\n\"b\nc\xed\xa0\x80\"\n") << 3;
        QTest::newRow("cut off at the end") << row + "x,\xe6\x9d" << 2;
        // Far beyond the first chunk the reader takes in.
        QTest::newRow("line 5001") << row.repeated(5000) + "\xf5\n" << 5001;
        QTest::newRow("line 5001, unread lines ahead") << row.repeated(5000) + "\xf5\n" + row.repeated(3000) << 5001;
    }

    void shouldNameTheLineOfAByteThatIsNotUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QBuffer buffer(&bytes); // read to its end or its first fault
        buffer.open(QIODevice::ReadOnly);
        Csv::Reader reader(&buffer);
        QStringList row;
        while (reader.next(row)) {
        }
        QCOMPARE(reader.errorText(), QStringLiteral("it is not UTF-8 text (line %1)").arg(line));
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
        QTest::newRow("date and time in a date field") << Loans << "DateReturned" << QVariant(afternoon) << QVariant("2004-02-29");
        QTest::newRow("date and time in a text field") << Loans << "Remarks" << QVariant(afternoon) << QVariant("2004-02-29 14:30:05");
        QTest::newRow("no such day") << Loans << "DateBorrowed" << QVariant("2003-02-29") << QVariant();
        QTest::newRow("single") << Books << "Vol" << QVariant(0.1f) << QVariant("0.1");
        QTest::newRow("yes/no") << Loans << "Overduedays" << QVariant(true) << QVariant("True");
        QTest::newRow("too long") << Books << "Title" << QVariant(QString(256, 'x')) << QVariant();
        // 255 characters, each of two UTF-16 units.
        const QString longest = QStringLiteral("😀").repeated(255);
        QTest::newRow("longest, outside the BMP") << Books << "Title" << QVariant(longest) << QVariant(longest);
    }

    void shouldTurnOldValuesIntoStoredText()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(QVariant, stored);
        QString error;
        const std::optional<QVariant> result = Transfer::storedValue(*Schema::table(table), field, value, &error);
        QVERIFY(result.has_value() == stored.isValid() && result.value_or(QVariant()).toString() == stored.toString() && result.value_or(QVariant()).isNull() == stored.isNull());
        if (!result)
            QVERIFY2(error.contains(QLatin1Char('"') + field + QLatin1Char('"')), qPrintable(error));
    }

    // Run on the test server too (see CMakeLists.txt): the same import through
    // either engine, one transaction for all three tables.
    void shouldImportAnOldDeskIntoEitherEngineAtOnce()
    {
        TestData data;
        insertLoan(data, QStringLiteral("KEEP-1"));
        const QStringList books = data.column(CatalogueFile, Books, QStringLiteral("BookNumber"));
        MemorySource catalogue, desk;
        oldDesk(catalogue, desk);
        // GIVEN loans in the stores THEN an import without replace is refused
        Transfer::Outcome outcome = Transfer::importTables(catalogue, desk, data.folder(), data.location(), false);
        QVERIFY(outcome.needsReplace);
        QCOMPARE(outcome.error, (data.onServer() ? QStringLiteral("The stores on the server %1")
                                                       .arg(data.location().name(Schema::File::Tallymere))
                                                 : QStringLiteral("The stores in %1").arg(data.folder()))
                                    + QStringLiteral(" already hold 1 loan; nothing was imported."));
        QCOMPARE(data.column(DeskFile, Loans, QStringLiteral("AccessionNumber")), QStringList{"KEEP-1"});

        // A fault in the last table leaves the books and loans as they were.
        QVariant &password = desk.tables[Users].rows.first()[1];
        password = QByteArray("\x00\x01", 2);
        outcome = Transfer::importTables(catalogue, desk, data.folder(), data.location(), true);
        QCOMPARE(outcome.error, QStringLiteral("Row 1 of table tblUser in old.mdb: the field \"Password\" holds binary data, "
                                               "which the store cannot keep as text."));
        QCOMPARE(data.column(CatalogueFile, Books, QStringLiteral("BookNumber")), books);
        QCOMPARE(data.column(DeskFile, Loans, QStringLiteral("AccessionNumber")) + data.column(DeskFile, Users, QStringLiteral("Username")),
                 (QStringList{"KEEP-1", "Administrator"}));

        password = QStringLiteral(" Pass ");
        // The files are put in place anew: the observers look again.
        data.release(CatalogueFile);
        data.release(DeskFile);
        outcome = Transfer::importTables(catalogue, desk, data.folder(), data.location(), true);
        QVERIFY2(outcome.ok() && outcome.rows == 3, qPrintable(outcome.error));
        QCOMPARE(data.column(CatalogueFile, Books, Cost) + data.column(DeskFile, Loans, QStringLiteral("AccessionNumber"))
                     + data.column(DeskFile, Users, QStringLiteral("Username")),
                 (QStringList{"old " + Cost, "L AccessionNumber", "1234"}));
        // The backup made first is a pair of store files on either engine,
        // with the loans as they were.
        QVERIFY(QDir(outcome.backup).exists(CatalogueFile) && QDir(outcome.backup).exists(DeskFile));
        {
            Database::Connection backedUp(QDir(outcome.backup).filePath(DeskFile));
            QVERIFY(backedUp.open());
            QSqlQuery q(backedUp.database());
            QVERIFY(q.exec(QStringLiteral("SELECT AccessionNumber FROM tblBorrower")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("KEEP-1"));
            QVERIFY(!q.next());
        }
        for (const Backup::Finding &finding : Backup::check(outcome.backup))
            QVERIFY2(finding.ok, qPrintable(finding.text));
        // The search indexes follow the imported catalogue.
        QVERIFY(!Database::searchIsIncomplete(data.location()));
        QCOMPARE(browsed(data, QStringLiteral("Title"), QStringLiteral("lD")), data.column(CatalogueFile, Books, QStringLiteral("BookNumber")));
        if (!data.onServer()) {
            QSqlQuery q(data.observe(CatalogueFile));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO books_search (books_search, rank) VALUES ('integrity-check', 1)")));
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM books_search WHERE books_search MATCH 'Title : \"old Tit\"'")) && q.next());
            QCOMPARE(q.value(0).toInt(), 1);
        }

        // An old desk without accounts leaves the desk's own, with a note.
        desk.tables[Users].rows.clear();
        data.release(CatalogueFile);
        data.release(DeskFile);
        outcome = Transfer::importTables(catalogue, desk, data.folder(), data.location(), true);
        QVERIFY2(outcome.ok() && outcome.notes.size() == 1, qPrintable(outcome.error));
        QCOMPARE(data.column(DeskFile, Users, QStringLiteral("Username")), QStringList{"1234"});
    }

    void shouldWriteNothingWhenAnOldTableIsMissingOrCannotBeKept_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field"); // empty: the whole table is missing
        QTest::addColumn<QString>("renamed"); // the field's other name
        QTest::addColumn<QString>("named");
        QTest::newRow("no books") << Books << "" << QString() << "There is no table books in old.mdb.";
        QTest::newRow("a space short") << Books << Cost << QString(Cost).remove(7, 1)
                                       << "Table books in old.mdb lacks the field \"" + Cost + "\".";
    }

    void shouldWriteNothingWhenAnOldTableIsMissingOrCannotBeKept()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QString, renamed);
        QFETCH(QString, named);
        TestData data;
        MemorySource catalogue, desk;
        oldDesk(catalogue, desk);
        if (field.isEmpty())
            catalogue.tables.remove(table);
        else
            catalogue.tables[table].columns.replace(catalogue.tables[table].columns.indexOf(field), renamed);
        const QStringList books = data.column(CatalogueFile, Books, QStringLiteral("BookNumber"));
        QCOMPARE(Transfer::importTables(catalogue, desk, data.folder(), data.location(), true).error, named);
        QCOMPARE(data.column(CatalogueFile, Books, QStringLiteral("BookNumber")), books);
        QCOMPARE(data.column(DeskFile, Users, QStringLiteral("Username")) + data.column(DeskFile, Loans, QStringLiteral("AccessionNumber")),
                 QStringList{"Administrator"});
        // Found before anything is backed up.
        QVERIFY(!QFileInfo::exists(Transfer::backupParent(data.folder())));
    }

    // The files of a desk are written as staged copies: a loan store that
    // cannot be committed leaves the catalogue as it was too, and the
    // message does not say that the catalogue was imported.
    void shouldImportNothingWhenTheLoanStoreCannotBeCommitted()
    {
        // GIVEN a desk on a network folder (the rollback journal, whose
        // commit waits for every reader)
        const auto unprobe = qScopeGuard([] { Database::setFilesystemProbe({}); });
        Database::setFilesystemProbe([](const QString &) { return qint64(0x6969); }); // NFS
        TestData data;
        if (data.onServer())
            QSKIP("a behaviour of the store files");
        insertLoan(data, QStringLiteral("KEEP-1"));
        const QStringList books = data.column(CatalogueFile, Books, QStringLiteral("BookNumber"));
        MemorySource catalogue, desk;
        oldDesk(catalogue, desk);
        // WHEN another program reads the staged loan store while the
        // accounts are imported
        const QString reader = QStringLiteral("staged-reader");
        const auto closeReader = qScopeGuard([&] { QSqlDatabase::removeDatabase(reader); });
        std::optional<QSqlQuery> reading;
        desk.reading = [&](const QString &table) {
            if (table != Users)
                return;
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), reader);
            db.setDatabaseName(QDir(data.folder()).filePath(QStringLiteral(".swap-staging/") + DeskFile));
            QVERIFY(db.open() && db.transaction());
            reading.emplace(db);
            QVERIFY(reading->exec(QStringLiteral("SELECT count(*) FROM tblUser")) && reading->next());
        };
        const Transfer::Outcome outcome = Transfer::importTables(catalogue, desk, data.folder(), data.location(), true);
        reading.reset();
        QSqlDatabase::database(reader, false).rollback();
        QSqlDatabase::database(reader, false).close();
        // THEN the import fails as a whole, and says so
        QVERIFY(!outcome.ok() && outcome.rows == 0);
        QVERIFY2(outcome.error.startsWith(
                     QStringLiteral("Nothing was imported, since the loans and accounts could not be stored: ")),
                 qPrintable(outcome.error));
        QCOMPARE(data.column(CatalogueFile, Books, QStringLiteral("BookNumber")), books);
        QCOMPARE(data.column(DeskFile, Loans, QStringLiteral("AccessionNumber")), QStringList{"KEEP-1"});
    }

    void shouldAddBooksByHeaderNamesAndWriteThemBack()
    {
        TestData data;
        QTemporaryDir dir;
        // Every books field, in an order of its own, with awkward values.
        QStringList header = Schema::books().fields;
        std::reverse(header.begin(), header.end());
        QList<QStringList> rows{header};
        const QStringList values{"say \"hi\"", "a, b", "two\r\nlines", "Ωμέγα 東京 😀", Empty, QString(), "  spaced  "};
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < header.size(); ++c)
                (c ? rows.last() : rows.emplaceBack()) << values.at((r + c) % values.size());
        const QString in = dir.filePath(QStringLiteral("in.csv"));
        QVERIFY(writeCsv(in, rows));
        const int sample = data.count(CatalogueFile, Books);
        const Transfer::Outcome added = Transfer::importBooks(data.folder(), data.location(), in, false);
        QVERIFY2(added.ok() && added.rows == 2 && added.backup.isEmpty(), qPrintable(added.error));
        QSqlQuery check(data.observe(CatalogueFile));
        QVERIFY(check.exec(QStringLiteral("INSERT INTO books_search (books_search, rank) VALUES ('integrity-check', 1)")));
        // The short-text index, filled anew after the import, finds what a scan finds.
        for (const char *text : {"東", "😀", "ω", "\"", ",", "hI", "  "})
            for (const QString &field : {QStringLiteral("Title"), QStringLiteral("Author")})
                QCOMPARE(browsed(data, field, QString::fromUtf8(text)),
                         browsed(data, field, QString::fromUtf8(text), BookSearch::Path::Scan));
        QCOMPARE(browsed(data, QStringLiteral("Title"), QStringLiteral("😀")).size(), 1);

        // Written back in the store's field order, after the sample; NULL and the empty text stay apart.
        const QString out = dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(Transfer::exportTable(data.location(), Schema::books(), out).ok());
        const QList<QStringList> back = readAll(out);
        QCOMPARE(back.size(), sample + rows.size());
        for (qsizetype r = 1; r < rows.size(); ++r)
            for (qsizetype c = 0; c < header.size(); ++c) {
                const QString &was = rows.at(r).at(c), &now = back.at(sample + r).at(back.first().indexOf(header.at(c)));
                QVERIFY(now == was && now.isNull() == was.isNull());
            }

        // A newer store is refused and the earlier file left as it was.
        data.exec(CatalogueFile, QStringLiteral("PRAGMA user_version = 99"));
        QVERIFY(!Transfer::exportTable(data.location(), Schema::books(), out).ok());
        QCOMPARE(readAll(out), back);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"in.csv", "out.csv"}));
    }

    void shouldNameWhatIsWrongInABooksFileAndWriteNothing_data()
    {
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("error"); // %1: the file
        const QStringList header = Schema::books().fields;
        const QStringList row(header.size(), QStringLiteral("x"));
        QStringList renamed = header, twice = header + QStringList{"Title"}, longValue = row;
        renamed.replace(renamed.indexOf(Cost), QStringLiteral("Cost or (in Peso)"));
        renamed.replace(renamed.indexOf(QStringLiteral("Vol")), QStringLiteral("Volume"));
        longValue.replace(header.indexOf(Price), QString(300, 'y'));
        QTest::newRow("unknown and missing") << QList<QStringList>{renamed, row} << QByteArray()
            << "The header row of %1 names the unknown columns \"Cost or (in Peso)\", \"Volume\" and lacks the columns \""
                   + Cost + "\", \"Vol\"; it must name the 15 fields of books exactly.";
        QTest::newRow("twice") << QList<QStringList>{twice} << QByteArray()
            << "The header row of %1 names the column \"Title\" more than once; it must name the 15 fields of books exactly.";
        QTest::newRow("short row") << QList<QStringList>{header, row, row, row.mid(1)} << QByteArray()
                                   << "Line 4 of %1 has 14 fields where its header row has 15.";
        QTest::newRow("too long") << QList<QStringList>{header, row, longValue} << QByteArray()
            << "Line 3 of %1: the field \"" + Price + "\" holds 300 characters; the store keeps 255 at most.";
        QTest::newRow("open quote") << QList<QStringList>{header, row} << QByteArray("x,\"y\n")
            << "The file %1 cannot be read as CSV: it ends inside the quoted field that begins on line 3.";
        QTest::newRow("not UTF-8") << QList<QStringList>{header} << QByteArray("\xff\xfe,1\n")
            << "The file %1 cannot be read as CSV: it is not UTF-8 text (line 2).";
        QTest::newRow("empty") << QList<QStringList>{} << QByteArray() << "The file %1 is empty: it has no header row.";
        // Nothing outside RFC 4180 is read as something else.
        const QString notCsv = QStringLiteral("The file %1 cannot be read as CSV: it has ");
        const QString written = QStringLiteral(" (a quote inside a quoted field is written twice).");
        const QList<QStringList> header2{header, row};
        QTest::newRow("quote in an unquoted field") << header2 << QByteArray("x,A \"quoted\" Title\n")
                                                    << notCsv + "a quote inside the unquoted field 2 on line 3.";
        QTest::newRow("doubled quote in an unquoted field") << header2 << QByteArray("x,a\"\"b\n")
                                                            << notCsv + "a quote inside the unquoted field 2 on line 3.";
        QTest::newRow("text after a closing quote") << header2 << QByteArray("x,\"abc\"def\n")
                                                    << notCsv + "text after the closing quote of field 2 on line 3" + written;
        QTest::newRow("lone quote in a quoted field") << header2 << QByteArray("x,y,\"a \"lone\" quote\"\n")
                                                      << notCsv + "text after the closing quote of field 3 on line 3" + written;
        QTest::newRow("NUL in a field") << header2 << QByteArray("x,a\0b\n", 7) << notCsv + "a NUL byte in field 2 on line 3.";
        QTest::newRow("NUL in a quoted field") << header2 << QByteArray("\"x\0\"\n", 5)
                                               << notCsv + "a NUL byte in field 1 on line 3.";
        QByteArray nulHeader = Csv::line(header).toUtf8();
        nulHeader.insert(nulHeader.indexOf("Class") + 4, '\0');
        QTest::newRow("NUL in the header") << QList<QStringList>{} << nulHeader << notCsv + "a NUL byte in field 2 on line 1.";
        const QString utf16 = Csv::line(header);
        QTest::newRow("UTF-16 without a byte-order mark")
            << QList<QStringList>{} << QByteArray(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2)
            << "The file %1 cannot be read as CSV: it is UTF-16 text; save it as UTF-8 first.";
        // Each line break inside a quoted field counts: LF, CRLF and a lone CR.
        QStringList twoLines = row, threeLines = row;
        twoLines.replace(2, QStringLiteral("two\rlines"));
        threeLines.replace(8, QStringLiteral("three\r\nline\nbreaks"));
        QTest::newRow("after fields of several lines") << QList<QStringList>{header, row, twoLines, threeLines} << QByteArray("x,\"y")
            << "The file %1 cannot be read as CSV: it ends inside the quoted field that begins on line 8.";
    }

    void shouldNameWhatIsWrongInABooksFileAndWriteNothing()
    {
        QFETCH(QList<QStringList>, rows);
        QFETCH(QByteArray, after);
        QFETCH(QString, error);
        TestData data;
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.csv"));
        QVERIFY(writeCsv(in, rows, after));
        const QStringList before = data.column(CatalogueFile, Books, QStringLiteral("BookNumber"));
        QCOMPARE(Transfer::importBooks(data.folder(), data.location(), in, true).error, error.arg(QDir::toNativeSeparators(in)));
        QCOMPARE(data.column(CatalogueFile, Books, QStringLiteral("BookNumber")), before);
    }

    void shouldBackUpWhileAnotherConnectionWritesAndRestoreKeepingTheReplacedStores()
    {
        TestData data;
        QTemporaryDir dir;
        for (int i = 0; i < 300; ++i)
            insertLoan(data, QStringLiteral("C-%1").arg(i), QString(200, 'T'));
        data.exec(DeskFile, QStringLiteral("DELETE FROM tblBorrower WHERE rowid % 7 = 0"));
        const QStringList committed = data.column(DeskFile, Loans, QStringLiteral("AccessionNumber"));
        {
            QSqlDatabase writer = data.observe(DeskFile);
            QVERIFY(writer.transaction());
            insertLoan(data, QStringLiteral("UNCOMMITTED"));
            // A commit by another connection between two steps of the copy.
            const QString copy = dir.filePath(QStringLiteral("copy.db"));
            int steps = 0;
            const StoreError error = Backup::copyStore(data.path(DeskFile), copy, [&](qint64, qint64) {
                if (++steps == 1) {
                    QVERIFY(writer.commit());
                    insertLoan(data, QStringLiteral("LATER"));
                }
            }, 1);
            QVERIFY2(!error.isValid() && steps > 5, qPrintable(error.text()));
            QCOMPARE(data.column(copy, Loans, QStringLiteral("AccessionNumber")), committed);
            QVERIFY(!(QFileInfo(copy).permissions() & (QFile::ReadOther | QFile::ReadGroup)));
        }

        // A restore keeps the stores it replaces, named by the time.
        const QStringList backedUp = data.column(DeskFile, Loans, QStringLiteral("AccessionNumber"));
        QString made;
        QVERIFY(!Backup::backup(data.folder(), dir.path(), &made).isValid());
        insertLoan(data, QStringLiteral("AFTER-BACKUP"));
        data.release(DeskFile);
        QStringList kept; // a desk holding the stores keeps a restore out: see tst_admin
        const StoreError error = Backup::restore(data.folder(), made, &kept, QDateTime(QDate(2031, 5, 4), QTime(3, 2, 1)));
        QVERIFY2(!error.isValid(), qPrintable(error.text()));
        QCOMPARE(data.column(DeskFile, Loans, QStringLiteral("AccessionNumber")), backedUp);
        QCOMPARE(kept, (QStringList{QDir(data.folder()).filePath("Transactions.replaced-2031-05-04-030201.db"),
                                   QDir(data.folder()).filePath("Tallymere.replaced-2031-05-04-030201.db")}));

        // A backup from a newer program is refused before anything is touched.
        data.exec(QDir(made).filePath(CatalogueFile), QStringLiteral("PRAGMA user_version = 99"));
        data.release(QDir(made).filePath(CatalogueFile));
        data.release(DeskFile);
        const QString newer = Backup::restore(data.folder(), made, nullptr).text();
        QVERIFY2(newer.contains(QStringLiteral("made by a newer Tallymere")), qPrintable(newer));
        QCOMPARE(data.column(DeskFile, Loans, QStringLiteral("AccessionNumber")), backedUp);
        QCOMPARE(QDir(data.folder()).entryList({QStringLiteral("*.replaced-*.db")}).size(), 2);
    }

    void shouldFindFaultsInEachStore()
    {
        TestData data;
        // An index out of step with the books it indexes; a newer desk store.
        data.exec(CatalogueFile, QStringLiteral("INSERT INTO books_search (books_search, rowid, Title, Author) "
                                                "VALUES ('delete', 1, 'not', 'these')"));
        data.exec(DeskFile, QStringLiteral("PRAGMA user_version = 7"));
        const QList<Backup::Finding> findings = Backup::check(data.folder());
        QVERIFY2(!findings.at(0).ok && findings.at(0).text.contains("search index"), qPrintable(findings.at(0).text));
        QVERIFY(!findings.at(1).ok);
        QCOMPARE(findings.at(1).text, QStringLiteral("made by a newer Tallymere; schema version 7, this program's %1")
                                          .arg(Schema::currentVersion(Schema::File::Tallymere)));
    }

    void shouldLetDesksShareTheLockAndKeepARestoreOut()
    {
        QTemporaryDir dir;
        {
            const DeskLock first(dir.path()), second(dir.path()), restore(dir.path(), DeskLock::Kind::Exclusive);
            QVERIFY(first.isHeld() && second.isHeld() && !restore.isHeld() && restore.isBusy());
        }
        // A program the desk starts does not keep the lock after the desk.
        QProcess child;
        {
            const DeskLock desk(dir.path());
            child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
            QVERIFY(child.waitForStarted());
        }
        const DeskLock restore(dir.path(), DeskLock::Kind::Exclusive);
        QVERIFY2(restore.isHeld(), qPrintable(restore.errorText()));
        QVERIFY(!DeskLock(dir.path(), DeskLock::Kind::Exclusive).isHeld());
        child.kill();
        child.waitForFinished();
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TransferTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_transfer.moc"
