// tallymere-admin run as a librarian runs it, each case on a temporary data
// folder given with --data, with the stores checked from outside.
#include "storesupport.h"

#include "store/csv.h"
#include "store/desklock.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Books = QStringLiteral("books");
const QString Loans = QStringLiteral("tblBorrower");
const QString Cost = QStringLiteral("Cost or") + QString(12, QLatin1Char(' ')) + QStringLiteral("(in Peso)");
const QString Price = QStringLiteral("Price") + QString(14, QLatin1Char(' ')) + QStringLiteral("(in Dollar)");

struct Run {
    int code = -1;
    QString out;
    QStringList errors; // the lines on standard error
};

Run admin(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(ADMIN_PROGRAM), arguments);
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.code = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.errors = QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

Run admin(TestData &data, const QStringList &arguments)
{
    return admin(QStringList{QStringLiteral("--data"), data.folder()} + arguments);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList column(TestData &data, const QString &file, const QString &table, const QString &field)
{
    QStringList out;
    for (const QVariantMap &row : data.rows(file, table))
        out << row.value(field).toString();
    return out;
}

// The one backup folder made inside `parent`.
QString onlyBackup(const QString &parent)
{
    const QStringList made = QDir(parent).entryList({QStringLiteral("Tallymere-*")}, QDir::Dirs);
    return made.size() == 1 ? QDir(parent).filePath(made.first()) : QString();
}

int count(const QString &path, const QString &table)
{
    const QString name = QStringLiteral("count");
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)) && q.next())
            n = q.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(name);
    return n;
}

} // namespace

class AdminTest : public QObject
{
    Q_OBJECT

private slots:
    void shouldHelpAndRefuseWhatItDoesNotKnowInOneLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("no command") << QStringList{} << "tallymere-admin: No command given; see tallymere-admin --help.";
        QTest::newRow("unknown command") << QStringList{"frobnicate"}
                                         << "tallymere-admin: Unknown command \"frobnicate\"; see tallymere-admin --help.";
        QTest::newRow("missing argument") << QStringList{"import-mdb", "a.mdb"}
                                          << "tallymere-admin: import-mdb takes TRANSACTIONS.mdb TALLYMERE.mdb.";
        QTest::newRow("replace where it means nothing") << QStringList{"check", "--replace"}
                                                        << "tallymere-admin: check does not take --replace.";
        QTest::newRow("unknown option") << QStringList{"check", "--force"} << "tallymere-admin: Unknown option 'force'.";
    }

    void shouldHelpAndRefuseWhatItDoesNotKnowInOneLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const Run help = admin({QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        for (const char *command : {"import-mdb", "import-books", "export-books", "export-loans", "backup",
                                       "restore", "check", "--data", "--replace"})
            QVERIFY2(help.out.contains(command), qPrintable(command));

        const Run run = admin(arguments);
        QVERIFY(run.code > 0);
        QCOMPARE(run.errors, QStringList{error});
    }

    void shouldRoundTripACatalogueThroughCsv()
    {
        TestData data;
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("catalogue.csv"));
        const QList<QStringList> rows{
            Schema::books().fields,
            {"B-1", "QA 1", "2006-03-14", "978-0", "Reserve", "1997", "O'Reilly, \"Media\"", "4,890.00",
             "Library Fund", "672", "1 of 4", "3rd", "Line one\r\nline two", "Достоевский, 東京", "89.99"},
            {"B-2", "", "", "", "", "", "", "", "", "", "", "", "\"Quoted\"", "Ωμέγα", ""},
        };
        QString text;
        for (const QStringList &row : rows)
            text += Csv::line(row);
        QVERIFY(writeFile(in, "\xef\xbb\xbf" + text.toUtf8()));

        const Run imported = admin(data, {QStringLiteral("import-books"), in, QStringLiteral("--replace")});
        QVERIFY2(imported.code == 0, qPrintable(imported.errors.join('\n')));
        QVERIFY(imported.errors.isEmpty());
        QCOMPARE(column(data, CatalogueFile, Books, QStringLiteral("Title")),
                 (QStringList{"Line one\r\nline two", "\"Quoted\""}));
        QCOMPARE(column(data, CatalogueFile, Books, Cost), (QStringList{"4,890.00", ""}));
        QCOMPARE(column(data, CatalogueFile, Books, Price), (QStringList{"89.99", ""}));

        const QString out = dir.filePath(QStringLiteral("again.csv"));
        const Run exported = admin(data, {QStringLiteral("export-books"), out});
        QCOMPARE(exported.code, 0);
        QCOMPARE(Csv::parse(QString::fromUtf8(readFile(out))), rows);
        QCOMPARE(readFile(out), text.toUtf8());

        const Run loans = admin(data, {QStringLiteral("export-loans"), dir.filePath(QStringLiteral("loans.csv"))});
        QCOMPARE(loans.code, 0);
        QCOMPARE(Csv::parse(QString::fromUtf8(readFile(dir.filePath(QStringLiteral("loans.csv"))))),
                 QList<QStringList>{Schema::borrower().fields});
    }

    void shouldNameUnknownAndMissingColumns()
    {
        TestData data;
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("catalogue.csv"));
        QStringList header = Schema::books().fields;
        header.removeAll(Price);
        header << QStringLiteral("Price (in Dollar)");
        QVERIFY(writeFile(in, Csv::line(header).toUtf8() + Csv::line(QStringList(header.size(), "x")).toUtf8()));
        const QStringList before = column(data, CatalogueFile, Books, QStringLiteral("BookNumber"));
        const Run run = admin(data, {QStringLiteral("import-books"), in});
        QVERIFY(run.code > 0);
        QCOMPARE(run.errors.size(), 1);
        QVERIFY2(run.errors.first().contains(QStringLiteral("unknown column \"Price (in Dollar)\"")), qPrintable(run.errors.first()));
        QVERIFY2(run.errors.first().contains(QStringLiteral("lacks the column \"%1\"").arg(Price)), qPrintable(run.errors.first()));
        QCOMPARE(column(data, CatalogueFile, Books, QStringLiteral("BookNumber")), before);
    }

    void shouldNameWhatAnOldFileLacksAndWriteNothing()
    {
        // The fixture is a real Jet file, but not a desk's: it has no books.
        const QString fruit = QStringLiteral(TEST_DATA_DIR "/fruit.mdb");
        QTemporaryDir dir;
        const QString fresh = dir.filePath(QStringLiteral("never-made"));
        Run run = admin({QStringLiteral("--data"), fresh, QStringLiteral("import-mdb"), fruit, fruit});
        QVERIFY(run.code > 0);
        QCOMPARE(run.errors, QStringList{QStringLiteral("tallymere-admin: There is no table books in %1.").arg(fruit)});
        QVERIFY(!QFileInfo::exists(fresh));

        TestData data;
        insertLoan(data, QStringLiteral("STAYS"));
        const int books = data.count(CatalogueFile, Books);
        run = admin(data, {QStringLiteral("import-mdb"), fruit, fruit, QStringLiteral("--replace")});
        QVERIFY(run.code > 0);
        QCOMPARE(run.errors.size(), 1);
        QCOMPARE(data.count(CatalogueFile, Books), books);
        QCOMPARE(column(data, DeskFile, Loans, QStringLiteral("AccessionNumber")), QStringList{"STAYS"});

        const QString notJet = dir.filePath(QStringLiteral("Tallymere.mdb"));
        QVERIFY(writeFile(notJet, QByteArray(8192, 'x')));
        run = admin(data, {QStringLiteral("import-mdb"), fruit, notJet});
        QCOMPARE(run.errors, QStringList{QStringLiteral("tallymere-admin: The file %1 is not a Jet database.").arg(notJet)});
        QVERIFY(run.code > 0);
    }

    void shouldBackUpBeforeReplacingTheCatalogue()
    {
        TestData data;
        QTemporaryDir dir;
        const int sample = data.count(CatalogueFile, Books);
        const QString in = dir.filePath(QStringLiteral("catalogue.csv"));
        QVERIFY(writeFile(in, Csv::line(Schema::books().fields).toUtf8()
                                  + Csv::line(QStringList(Schema::books().fields.size(), "x")).toUtf8()));
        const Run run = admin(data, {QStringLiteral("import-books"), in, QStringLiteral("--replace")});
        QCOMPARE(run.code, 0);
        QCOMPARE(data.count(CatalogueFile, Books), 1);
        const QString backup = onlyBackup(QDir(data.folder()).filePath(QStringLiteral("backups")));
        QVERIFY(!backup.isEmpty());
        QVERIFY2(run.out.contains(backup), qPrintable(run.out));
        QCOMPARE(count(QDir(backup).filePath(CatalogueFile), Books), sample);
    }

    void shouldBackUpWhileAConnectionWrites()
    {
        TestData data;
        QTemporaryDir dir;
        insertLoan(data, QStringLiteral("COMMITTED"));
        QSqlDatabase writer = data.observe(DeskFile);
        QVERIFY(writer.transaction());
        insertLoan(data, QStringLiteral("PENDING"));

        const Run run = admin(data, {QStringLiteral("backup"), dir.path()});
        QVERIFY2(run.code == 0, qPrintable(run.errors.join('\n')));
        QVERIFY(writer.commit());
        const QString backup = onlyBackup(dir.path());
        QVERIFY(!backup.isEmpty());
        QCOMPARE(count(QDir(backup).filePath(DeskFile), Loans), 1);
        QCOMPARE(count(QDir(backup).filePath(CatalogueFile), Books), data.count(CatalogueFile, Books));
        const Run check = admin({QStringLiteral("--data"), backup, QStringLiteral("check")});
        QCOMPARE(check.code, 0);
    }

    void shouldRestoreOnlyWhenNoDeskHoldsTheStores()
    {
        TestData data;
        QTemporaryDir dir;
        insertLoan(data, QStringLiteral("IN-BACKUP"));
        QCOMPARE(admin(data, {QStringLiteral("backup"), dir.path()}).code, 0);
        const QString backup = onlyBackup(dir.path());
        insertLoan(data, QStringLiteral("LATER"));
        data.release(DeskFile);
        data.release(CatalogueFile);

        {
            const DeskLock desk(data.folder());
            QVERIFY(desk.isHeld());
            const Run refused = admin(data, {QStringLiteral("restore"), backup});
            QVERIFY(refused.code > 0);
            QCOMPARE(refused.errors, QStringList{QStringLiteral("tallymere-admin: A Tallymere desk program has the "
                                                                "stores in %1 open; close it and try again.")
                                                     .arg(data.folder())});
            QCOMPARE(data.count(DeskFile, Loans), 2);
            data.release(DeskFile);
        }
        const Run run = admin(data, {QStringLiteral("restore"), backup});
        QVERIFY2(run.code == 0, qPrintable(run.errors.join('\n')));
        QCOMPARE(column(data, DeskFile, Loans, QStringLiteral("AccessionNumber")), QStringList{"IN-BACKUP"});
        const QStringList kept = QDir(data.folder()).entryList({QStringLiteral("*.replaced-*.db")}, QDir::Files);
        QCOMPARE(kept.size(), 2);
        QVERIFY(kept.first().startsWith(QStringLiteral("Tallymere.replaced-")));
        QCOMPARE(count(QDir(data.folder()).filePath(kept.first()), Loans), 2);

        // Onto a new machine: the data folder is made, the owner's alone.
        const QString fresh = dir.filePath(QStringLiteral("new-machine"));
        QCOMPARE(admin({QStringLiteral("--data"), fresh, QStringLiteral("restore"), backup}).code, 0);
        QCOMPARE(QFileInfo(fresh).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(count(QDir(fresh).filePath(DeskFile), Loans), 1);
        QCOMPARE(admin({QStringLiteral("--data"), fresh, QStringLiteral("check")}).code, 0);
    }

    void shouldCheckEachStoreAndFailOnDamage()
    {
        TestData data;
        for (int i = 0; i < 200; ++i)
            insertLoan(data, QStringLiteral("D-%1").arg(i), QString(200, 'x'));
        Run run = admin(data, {QStringLiteral("check")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts),
                 (QStringList{"Transactions.db: ok; schema version 1, this program's 1",
                              "Tallymere.db: ok; schema version 0, this program's 0"}));

        // Garbage over one page of the loans' table.
        data.release(DeskFile);
        QFile file(data.path(DeskFile));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.size() > 8 * 4096);
        file.seek(5 * 4096);
        file.write(QByteArray(4096, '\x5a'));
        file.close();
        run = admin(data, {QStringLiteral("check")});
        QVERIFY(run.code > 0);
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(QStringLiteral("Transactions.db: ok")));
        QVERIFY2(lines.at(1).startsWith(QStringLiteral("Tallymere.db: ")) && !lines.at(1).contains(QStringLiteral(": ok")),
                 qPrintable(lines.at(1)));
    }

    void shouldRefuseANewerStore()
    {
        TestData data;
        QTemporaryDir dir;
        data.exec(CatalogueFile, QStringLiteral("PRAGMA user_version = 99"));
        data.release(CatalogueFile);
        const QString in = dir.filePath(QStringLiteral("catalogue.csv"));
        QVERIFY(writeFile(in, Csv::line(Schema::books().fields).toUtf8()));
        for (const QStringList &arguments : {QStringList{"import-books", in}, QStringList{"export-books", dir.filePath("out.csv")}}) {
            const Run run = admin(data, arguments);
            QVERIFY(run.code > 0);
            QCOMPARE(run.errors.size(), 1);
            QVERIFY2(run.errors.first().contains(data.path(CatalogueFile)) && run.errors.first().contains("newer"),
                     qPrintable(run.errors.first()));
        }
        QVERIFY(!QFileInfo::exists(dir.filePath("out.csv")));
        QVERIFY(admin(data, {QStringLiteral("check")}).code > 0);
    }

    void shouldLinkNoWidgetsOrGui()
    {
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {QStringLiteral(ADMIN_PROGRAM)});
        if (!ldd.waitForFinished() || ldd.exitCode() != 0)
            QSKIP("ldd cannot list the program's libraries here");
        const QString libraries = QString::fromUtf8(ldd.readAllStandardOutput());
        QVERIFY(libraries.contains(QStringLiteral("libQt6Sql")));
        QVERIFY(!libraries.contains(QStringLiteral("libQt6Widgets")));
        QVERIFY(!libraries.contains(QStringLiteral("libQt6Gui")));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    AdminTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_admin.moc"
