// The stores and both record sources, driven through the store's own
// interface (no widgets), with what the files hold checked from outside.
#include "storesupport.h"

#include "store/engine/csv.h"
#include "store/engine/database.h"
#include "store/engine/sqlitesql.h"
#include "store/engine/storeerror.h"
#include "store/records/browsesource.h"
#include "store/records/querysource.h"
#include "store/records/rowsource.h"
#include "store/search/booksearch.h"
#include "store/search/criterion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>
#include <QTest>

namespace {

const QString Loans = QStringLiteral("tblBorrower");
const QString Users = QStringLiteral("tblUser");
const QString Accession = QStringLiteral("AccessionNumber");

// What only the files do (journals, damaged pages, files made or missing)
// is not asked of the server.
#define FILES_ONLY(data)                                                                                             \
    if ((data).onServer())                                                                                           \
    QSKIP("a behaviour of the store files")

QStringList storedColumns(TestData &data, const QString &file, const QString &table)
{
    QStringList names;
    QSqlQuery q(data.observe(file));
    if (q.exec(QStringLiteral("SELECT * FROM \"%1\" WHERE 1 = 0").arg(table)))
        for (int i = 0; i < q.record().count(); ++i)
            names << q.record().fieldName(i);
    return names;
}

QString quotedFields()
{
    QStringList names;
    for (const QString &f : Schema::books().fields)
        names << Schema::quoted(f);
    return names.join(QLatin1Char(','));
}

const QStringList Hidden{Schema::IdColumn, Schema::VersionColumn};

// Each change the loan history keeps, oldest first: its columns by name,
// the fields before and after as JSON objects.
QList<QVariantMap> history(TestData &data)
{
    QList<QVariantMap> rows;
    QSqlQuery q(data.observe(DeskFile));
    q.exec(QStringLiteral("SELECT * FROM tallymere_history ORDER BY _id"));
    while (q.next()) {
        QVariantMap row;
        for (int i = 0; i < q.record().count(); ++i)
            row.insert(q.record().fieldName(i), q.value(i));
        for (const char *side : {"before", "after"})
            row.insert(side, QJsonDocument::fromJson(row.value(side).toString().toUtf8()).object().toVariantMap());
        rows << row;
    }
    return rows;
}

void insertLoans(TestData &data, int count, const QString &title = QStringLiteral("A title"))
{
    QSqlDatabase db = data.observe(DeskFile);
    db.transaction();
    for (int i = 1; i <= count; ++i)
        insertLoan(data, QStringLiteral("N%1").arg(i), title);
    db.commit();
}

QStringList accessions(TestData &data)
{
    return data.column(DeskFile, Loans, Accession);
}

bool ownerOnly(const QString &path)
{
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    return (QFileInfo(path).permissions() & others) == QFile::Permissions();
}

QString firstValue(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    return q.exec(sql) && q.next() ? q.value(0).toString() : q.lastError().text();
}

// The book numbers a search on the catalogue finds, in order.
QStringList found(TestData &data, const QString &field, const QString &text,
                  BookSearch::Path path = BookSearch::Path::Automatic)
{
    QuerySource books(data.location(), QStringLiteral("books"));
    books.setSearch(field, text, path);
    if (!books.open())
        return {books.lastError().text()};
    books.moveLast();
    QStringList numbers; // BookNumber is the first column
    for (int row = 0; row < books.model()->rowCount(); ++row)
        numbers << books.model()->data(books.model()->index(row, 0)).toString();
    return numbers;
}

} // namespace

class StoreTest : public QObject
{
    Q_OBJECT

private slots:
    // What the screens and the admin tool show of a store's failure: its
    // sentence, then the cause in brackets where that adds something, on one
    // line; the kind says what to do about it.
    void shouldShowAStoreErrorAsOneLineOfItsKind_data()
    {
        using Kind = StoreError::Kind;
        using Engine = StoreError::Engine;
        QTest::addColumn<StoreError>("error");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("shown");
        QTest::newRow("none") << StoreError() << Kind::None << QString();
        QTest::newRow("a sentence and its cause")
            << StoreError::make(Kind::Refused, QStringLiteral("The loan cannot be stored."), QStringLiteral("CHECK failed"))
            << Kind::Refused << QStringLiteral("The loan cannot be stored. (CHECK failed)");
        QTest::newRow("a cause the sentence already says")
            << StoreError::failure(QStringLiteral("Cannot read x: disk I/O error"), QStringLiteral("disk I/O error"))
            << Kind::Failed << QStringLiteral("Cannot read x: disk I/O error");
        QTest::newRow("a cause alone") << StoreError::failure(QString(), QStringLiteral("no such table: tblBook"))
                                       << Kind::Failed << QStringLiteral("no such table: tblBook");
        QTest::newRow("lines joined, spaces kept")
            << StoreError::failure(QStringLiteral("First\nsecond  field"), QStringLiteral("a\r\nb"))
            << Kind::Failed << QStringLiteral("First second  field (a b)");
        QTest::newRow("the engine's words, not yet explained")
            << StoreError(QSqlError(QStringLiteral("driver words"), QStringLiteral("engine words"),
                                    QSqlError::StatementError, QStringLiteral("5")))
            << Kind::Failed << QStringLiteral("engine words (driver words)");
        QTest::newRow("a busy file, explained")
            << StoreError::explain(Engine::Sqlite, QStringLiteral("/x/Tallymere.db"),
                                   QSqlError(QStringLiteral("Unable to fetch row"), QStringLiteral("database is locked"),
                                             QSqlError::StatementError, QStringLiteral("5")))
            << Kind::Busy
            << QStringLiteral("The store /x/Tallymere.db is busy with another program; try again in a moment. "
                              "(database is locked Unable to fetch row)");
        QTest::newRow("a refused row on the server, in its own words")
            << StoreError::explain(Engine::Server, QStringLiteral("db on host"),
                                   QSqlError(QStringLiteral("could not execute"), QStringLiteral("duplicate key"),
                                             QSqlError::StatementError, QStringLiteral("23505")))
            << Kind::Refused << QStringLiteral("duplicate key (could not execute)");
        QTest::newRow("explained once only")
            << StoreError::explain(Engine::Server, QStringLiteral("db on host"),
                                   StoreError::make(Kind::Conflict, QStringLiteral("This loan was changed at another desk.")))
            << Kind::Conflict << QStringLiteral("This loan was changed at another desk.");
    }
    void shouldShowAStoreErrorAsOneLineOfItsKind()
    {
        QFETCH(StoreError, error);
        QFETCH(StoreError::Kind, kind);
        QFETCH(QString, shown);
        QCOMPARE(error.kind(), kind);
        QCOMPARE(error.isValid(), kind != StoreError::Kind::None);
        QCOMPARE(error.text(), shown);
    }

    void shouldCreateEveryFieldWithItsExactNameAndSeedOnlyEmptyStores()
    {
        TestData data;
        QCOMPARE(storedColumns(data, CatalogueFile, QStringLiteral("books")), Hidden + Schema::books().fields);
        QCOMPARE(storedColumns(data, DeskFile, Loans), Hidden + Schema::borrower().fields);
        QCOMPARE(storedColumns(data, DeskFile, Users), Hidden + Schema::user().fields);
        QVERIFY(Schema::books().fields.contains(QStringLiteral("Cost or            (in Peso)")));
        // Seeded: the one account and a sample catalogue.
        QCOMPARE(data.column(DeskFile, Users, QStringLiteral("Username")), QStringList{"Administrator"});
        QVERIFY(data.count(CatalogueFile, QStringLiteral("books")) >= 30);

        // A second install changes only what holds nothing.
        data.exec(DeskFile, QStringLiteral("UPDATE tblUser SET Password = 'changed'"));
        data.exec(CatalogueFile, QStringLiteral("DELETE FROM books WHERE \"_id\" > 1"));
        QVERIFY(!Database::install(data.location()).isValid());
        QCOMPARE(data.count(CatalogueFile, QStringLiteral("books")), 1);
        FILES_ONLY(data);

        // An empty file beside a store that holds rows is a loss, never a
        // first start: it is named, and nothing is made.
        const QString path = data.path(CatalogueFile);
        data.release(CatalogueFile);
        QVERIFY(QFile::remove(path) && QFile(path).open(QIODevice::WriteOnly));
        const StoreError refused = Database::install(data.folder());
        QVERIFY2(refused.kind() == StoreError::Kind::Missing && refused.text().contains(path)
                     && refused.text().contains("tallymere-admin restore"),
                 qPrintable(refused.text()));
        QCOMPARE(QFileInfo(path).size(), 0);
        QCOMPARE(data.column(DeskFile, Users, QStringLiteral("Password")), QStringList{"changed"});
        // Two empty files are made anew, owner-only.
        data.release(DeskFile);
        QVERIFY(QFile::remove(data.path(DeskFile)) && QFile(data.path(DeskFile)).open(QIODevice::WriteOnly));
        QVERIFY(!Database::install(data.folder()).isValid());
        QVERIFY(data.count(CatalogueFile, QStringLiteral("books")) > 1 && ownerOnly(path));
        QCOMPARE(data.column(DeskFile, Users, QStringLiteral("Password")), QStringList{"tallymere"});
    }

    void shouldNameAStoreThatIsNotADatabaseOrIsMissing()
    {
        TestData data;
        FILES_ONLY(data);
        data.release(DeskFile);
        const QString path = data.path(DeskFile);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile garbage(path);
        QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate) && garbage.write(QByteArray(4096, 'x')) && garbage.flush());
        const QString installed = Database::install(data.folder()).text();
        QVERIFY2(installed.contains(QDir::toNativeSeparators(path)) && installed.contains("damaged"), qPrintable(installed));
        QCOMPARE(QFileInfo(path).size(), 4096); // never touched

        // A store that is not there at all is named missing, and not made by opening it.
        data.release(CatalogueFile);
        QVERIFY(QFile::remove(data.path(CatalogueFile)));
        QuerySource books(data.location(), QStringLiteral("books"));
        QVERIFY(!books.open() && books.lastError().kind() == StoreError::Kind::Missing);
        QVERIFY(!QFileInfo::exists(data.path(CatalogueFile)));
    }

    void shouldUpgradeAStoreInOneStepOrLeaveItAsItWas()
    {
        TestData data;
        FILES_ONLY(data);
        insertLoan(data, QStringLiteral("A-1"));
        data.release(DeskFile);
        const QString path = data.path(DeskFile);
        const int now = Schema::currentVersion(Schema::File::Tallymere);
        const QString notes = QStringLiteral("CREATE TABLE \"notes\" (\"text\" TEXT)");
        const QString failed = Database::upgrade(path, {{now + 1, {notes}}, {now + 2, {QStringLiteral("CREATE INDEX \"bad\" ON \"nowhere\" (\"x\")")}}}).text();
        QVERIFY2(failed.contains(QStringLiteral("from version %1 to version %2").arg(now).arg(now + 2)) && failed.contains("nowhere"),
                 qPrintable(failed));
        QCOMPARE(Database::version(path), now);
        QCOMPARE(storedColumns(data, DeskFile, QStringLiteral("notes")), QStringList()); // the first step undone too
        data.release(DeskFile);

        const QString index = QStringLiteral("CREATE INDEX \"loan_accession\" ON \"tblBorrower\" (\"AccessionNumber\")");
        QVERIFY(!Database::upgrade(path, {{now + 1, {notes, index}}}).isValid() && Database::version(path) == now + 1);
        data.release(DeskFile);

        // This program's own steps stop at an older version: refused.
        const StoreError refused = Database::install(data.folder());
        QVERIFY2(refused.kind() == StoreError::Kind::Newer && refused.text().contains(QDir::toNativeSeparators(path))
                     && refused.text().contains(QStringLiteral("version %1").arg(now + 1)), qPrintable(refused.text()));
        QCOMPARE(accessions(data), QStringList{QStringLiteral("A-1")});
    }

    // The desk's saves and another program's alike are kept: what a change
    // changed, a deleted loan whole, and of an account only the time and desk.
    void shouldKeepEveryChangeOfALoanAndOnlyTheTimeAndDeskOfAnAccounts()
    {
        TestData data;
        RowSource loans(data.location(), Loans);
        QVERIFY(loans.open() && loans.addNew());
        loans.setValue(Accession, QStringLiteral("H-1"));
        loans.setValue(QStringLiteral("Borrower"), QStringLiteral("Ana"));
        QVERIFY(loans.update() && loans.setBookmark(loans.lastModified()) && loans.edit());
        loans.setValue(QStringLiteral("Remarks"), QStringLiteral("Returned"));
        QVERIFY(loans.update());
        const QString change = QStringLiteral("UPDATE \"tblBorrower\" SET \"Borrower\" = 'Ben'");
        if (data.onServer()) {
            data.exec(DeskFile, change);
        } else { // the sqlite3 shell, which knows nothing of the desk
            data.release(DeskFile);
            QProcess shell;
            shell.start(QStringLiteral("sqlite3"), {data.path(DeskFile), change});
            QVERIFY2(shell.waitForFinished() && shell.exitCode() == 0, shell.readAllStandardError().constData());
        }
        data.exec(DeskFile, QStringLiteral("DELETE FROM \"tblBorrower\""));
        data.exec(DeskFile, QStringLiteral("UPDATE \"tblUser\" SET \"Password\" = 'sesame-42', \"Hint\" = 'hint-42'"));

        const QList<QVariantMap> kept = history(data);
        QStringList kinds, desks;
        for (const QVariantMap &row : kept) {
            kinds << row.value("table_name").toString() + ':' + row.value("kind").toString();
            desks << row.value("desk").toString();
        }
        QCOMPARE(kinds, (QStringList{"tblBorrower:added", "tblBorrower:changed", "tblBorrower:changed",
                                     "tblBorrower:deleted", "tblUser:changed"}));
        const QString desk = QSysInfo::machineHostName();
        QCOMPARE(desks.mid(0, 2), (QStringList{desk, desk}));
        QVERIFY(!desks.at(2).isEmpty() && desks.at(2) != desk);
        if (!data.onServer())
            QCOMPARE(desks.at(2), Schema::History::UnknownDesk);
        QCOMPARE(kept.at(1).value("before").toMap(), (QVariantMap{{"Remarks", QVariant::fromValue(nullptr)}}));
        QCOMPARE(kept.at(1).value("after").toMap(), (QVariantMap{{"Remarks", "Returned"}}));
        QCOMPARE(kept.at(2).value("after").toMap(), (QVariantMap{{"Borrower", "Ben"}}));
        const QVariantMap gone = kept.at(3).value("before").toMap();
        QCOMPARE(gone.size(), Schema::borrower().fields.size() + 2);
        QVERIFY(gone.value("Borrower") == "Ben" && gone.value("Remarks") == "Returned" && gone.value(Schema::IdColumn) == loans.lastModified());
        for (const QVariantMap &row : kept)
            QVERIFY(row.value("accession").toString() == (row.value("table_name") == Loans ? "H-1" : ""));
        const QVariantMap account = kept.last();
        for (const char *column : {"row_id", "accession"})
            QVERIFY(account.value(column).isNull());
        QVERIFY(account.value("before").toMap().isEmpty() && account.value("after").toMap().isEmpty());
    }

    // An older loan store gains the history, empty, its rows untouched.
    void shouldGiveAnOlderLoanStoreAnEmptyHistory()
    {
        TestData data;
        FILES_ONLY(data);
        insertLoan(data, QStringLiteral("A-1"));
        for (const QString &statement : SqliteSql::rebuildHistory())
            if (statement.startsWith(QStringLiteral("DROP")))
                data.exec(DeskFile, statement);
        data.exec(DeskFile, QStringLiteral("DROP TABLE tallymere_history"));
        data.exec(DeskFile, QStringLiteral("PRAGMA user_version = 1"));
        data.release(DeskFile);
        QVERIFY(!Database::install(data.folder()).isValid());
        QCOMPARE(Database::version(data.path(DeskFile)), Schema::currentVersion(Schema::File::Tallymere));
        QCOMPARE(accessions(data), QStringList{QStringLiteral("A-1")});
        QCOMPARE(history(data), QList<QVariantMap>());
        data.exec(DeskFile, QStringLiteral("DELETE FROM tblBorrower"));
        QCOMPARE(history(data).size(), 1);

        // A trigger lost to another tool is made again at the next start.
        data.exec(DeskFile, QStringLiteral("DROP TRIGGER tblBorrower_history_update"));
        data.release(DeskFile);
        QVERIFY(Database::historyIsIncomplete(data.location()));
        QVERIFY(!Database::install(data.folder()).isValid());
        QVERIFY(!Database::historyIsIncomplete(data.location()));
        QCOMPARE(history(data).size(), 1);
    }

    void shouldLeaveCompleteOwnerOnlyStoresWhenProgramsStartTogether()
    {
        for (int round = 0; round < 4; ++round) {
            QTemporaryDir dir;
            const QString folder = dir.filePath(QStringLiteral("Tallymere"));
            QProcess programs[4];
            for (QProcess &p : programs)
                p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--install-into"), folder});
            for (QProcess &p : programs)
                QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
            for (const auto &[file, table] : {std::pair{DeskFile, Users}, std::pair{CatalogueFile, QStringLiteral("books")}}) {
                const QString path = QDir(folder).filePath(file);
                QVERIFY2(RowSource(StoreLocation::files(folder), table).open() && ownerOnly(path), qPrintable(path));
            }
            QCOMPARE(QDir(folder).entryList({QStringLiteral(".*.db.*")}, QDir::Files | QDir::Hidden), QStringList());
        }
    }

    void shouldKeepTheRollbackJournalOnANetworkFolder()
    {
        const auto unprobe = qScopeGuard([] { Database::setFilesystemProbe({}); });
        qint64 type = 0x6969; // NFS
        Database::setFilesystemProbe([&](const QString &) { return type; });
        auto journals = [](TestData &data) {
            return QList{Database::journalOf(data.path(DeskFile)), Database::journalOf(data.path(CatalogueFile))};
        };
        // GIVEN a first start in a network folder
        TestData data;
        FILES_ONLY(data);
        QCOMPARE(journals(data), QList<Database::Journal>(2, Database::Journal::Rollback));
        insertLoan(data, QStringLiteral("A-1"));
        // WHEN the folder moves to a local file system (ext4) THEN the next
        // start changes the journal and keeps every row
        for (const QString &file : {DeskFile, CatalogueFile})
            data.release(file);
        type = 0xef53;
        QVERIFY(!Database::install(data.folder()).isValid());
        QCOMPARE(journals(data), QList<Database::Journal>(2, Database::Journal::Wal));
        QCOMPARE(accessions(data), QStringList{QStringLiteral("A-1")});
    }

    void shouldMatchCriteriaLikeTheDeskEngine_data()
    {
        QTest::addColumn<QVariantList>("names");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QVariant>("found"); // null: no match
        const QVariant none;
        QTest::newRow("ends with 7, not 71") << QVariantList{"71", "17", "7"} << "*7" << QVariant("17");
        QTest::newRow("no match") << QVariantList{"71", "1001"} << "*5" << none;
        QTest::newRow("two stars skip null") << QVariantList{QVariant(), "", "9"} << "**" << QVariant("");
        QTest::newRow("star inside") << QVariantList{"xay", "acb"} << "a*b" << QVariant("acb");
        QTest::newRow("bracketed star literal") << QVariantList{"a1b", "a*b"} << "a[*]b" << QVariant("a*b");
        // Characters the engine's LIKE would read otherwise match themselves only.
        for (const auto &[decoy, name] : QList<std::pair<QString, QString>>{
                 {"OBrien", "O'Brien"}, {"500", "50%"}, {"axb", "a_b"}, {"a", "[a]"}, {"11", "#1"}, {"ab", "a?"}, {"a", "a\\"}})
            QTest::newRow(qPrintable(name)) << QVariantList{decoy, name} << QStringLiteral("*") + name << QVariant(name);
        // Typed text made literal matches itself only, whatever it holds.
        for (const char *typed : {"12*", "[*]", "*", "O'Brien*", "[*", "a[b]*%_\\"}) {
            const QString t = QString::fromLatin1(typed);
            QTest::newRow(qPrintable(QStringLiteral("literal ") + t))
                << QVariantList{t + QStringLiteral("x"), QStringLiteral("y") + t.left(t.size() - 1) + QStringLiteral("Z"), t}
                << QStringLiteral("*") + Criterion::literal(t) << QVariant(t);
        }
    }

    void shouldMatchCriteriaLikeTheDeskEngine()
    {
        QFETCH(QVariantList, names);
        QFETCH(QString, pattern);
        QFETCH(QVariant, found);
        TestData data;
        data.exec(DeskFile, QStringLiteral("DELETE FROM tblUser"));
        for (const QVariant &name : names)
            data.exec(DeskFile, QStringLiteral("INSERT INTO tblUser (Username, Password) VALUES (?, 'pw')"), {name});
        RowSource source(data.location(), Users);
        QVERIFY(source.open() && source.findFirst(Criterion::build(QStringLiteral("Username"), pattern)));
        QCOMPARE(source.noMatch(), found.isNull());
        QCOMPARE(source.noMatch() ? QString() : source.value(QStringLiteral("Username")).toString(), found.toString());
    }

    void shouldRefuseBrokenCriteriaKeepingTheRowThenWriteBoundValuesThenExplicitOnes()
    {
        TestData data;
        RowSource source(data.location(), Users);
        QVERIFY(source.open());
        // The engine's LIKE would stop at a NUL and find "Administrator" (a
        // case found by fuzzing).
        const QString withNul = QStringLiteral("[Username]like'Administrator") + QChar(0) + QStringLiteral("x'");
        for (const QString &bad : {QStringLiteral("[Nope]like'x'"), QStringLiteral("[Username]like'a'b'"),
                                   QStringLiteral("Username like 'x'"), QStringLiteral("[Username]='x'"), withNul}) {
            QVERIFY2(!source.findFirst(bad) && !source.lastError().text().isEmpty(), qPrintable(bad));
            QCOMPARE(source.value(QStringLiteral("Username")).toString(), QStringLiteral("Administrator"));
        }

        // Another desk changes the name after this source read the row: an
        // edit writes the changed bound values, then the explicit ones.
        data.exec(DeskFile, QStringLiteral("UPDATE tblUser SET Username = 'Elsewhere'"));
        QVERIFY(source.edit() && source.edit()); // again: still editing, nothing lost
        connect(&source, &RecordSource::aboutToStore, this, [&source] {
            source.setBoundValue(QStringLiteral("Password"), QStringLiteral("typed"));
            source.setBoundValue(QStringLiteral("Hint"), QStringLiteral("typed hint"));
        });
        source.setValue(QStringLiteral("Hint"), QStringLiteral("a new hint"));
        QSignalSpy announced(&TableEvents::instance(), &TableEvents::changed);
        QVERIFY(source.update());
        QCOMPARE(data.rows(DeskFile, Users), (QList<QVariantMap>{{{"Username", "Elsewhere"}, {"Password", "typed"},
                                                                  {"Confirm", "tallymere"}, {"Hint", "a new hint"}}}));
        QVERIFY(announced.size() == 1 && announced.first().first().toString() == Users);
    }

    void shouldNotFailOnAnEmptyTableAndStoreNothingWithoutUpdate()
    {
        TestData data;
        RowSource source(data.location(), Loans);
        QVERIFY(source.open() && !source.hasCurrent());
        QVERIFY(source.moveFirst() && source.moveLast() && source.edit() && source.update());
        QVERIFY(source.findFirst(QStringLiteral("[AccessionNumber]like'**'")) && source.noMatch());
        QuerySource list(data.location(), Loans);
        QVERIFY(list.open() && !list.hasCurrent() && list.deleteCurrent());
        QCOMPARE(data.count(DeskFile, Loans), 0);

        // A new row given up, or an edit dropped by a move, is never stored.
        insertLoans(data, 2);
        QVERIFY(source.refresh() && source.addNew() && source.value(Accession).isNull());
        source.setBoundValue(Accession, QStringLiteral("N3"));
        source.cancelUpdate();
        QVERIFY(source.value(Accession).toString() == QStringLiteral("N1") && source.edit());
        source.setValue(QStringLiteral("Remarks"), QStringLiteral("typed"));
        QVERIFY(source.moveNext() && source.moveNext()); // past the end stays on the last row
        QCOMPARE(source.value(Accession).toString(), QStringLiteral("N2"));
        QCOMPARE(accessions(data), (QStringList{"N1", "N2"}));
        QCOMPARE(firstValue(data.observe(DeskFile), QStringLiteral("SELECT count(\"Remarks\") FROM \"tblBorrower\"")), "0");
    }

    void shouldPageThroughAQueryKeepingFewPagesAndDeleteTheRowShownLast()
    {
        // Seven pages of ten, three held.
        TestData data;
        insertLoans(data, 70);
        QuerySource list(data.location(), Loans), fromTheEnd(data.location(), Loans);
        list.model()->setPageLimits(10, 3);
        fromTheEnd.model()->setPageLimits(10, 3);
        QVERIFY(list.open() && list.model()->canFetchMore());
        for (int row = 0; row < 70; ++row) {
            list.setCurrentRow(row);
            list.moveNext();
            QCOMPARE(list.value(Accession).toString(), QStringLiteral("N%1").arg(qMin(row + 2, 70)));
            QVERIFY(list.model()->pagesHeld() <= 3);
        }
        QVERIFY(list.model()->rowCount() == 70 && !list.model()->canFetchMore());
        // Back to the start: an evicted page is read again.
        QCOMPARE(list.model()->data(list.model()->index(3, 0)).toString(), QStringLiteral("N4"));

        // Last reads the end pages backwards; the row deleted is still the one shown last.
        QVERIFY(fromTheEnd.open());
        fromTheEnd.moveLast();
        fromTheEnd.movePrevious();
        QCOMPARE(fromTheEnd.value(Accession).toString(), QStringLiteral("N69"));
        QVERIFY(fromTheEnd.deleteCurrent());
        const QStringList left = accessions(data);
        QVERIFY(left.size() == 69 && !left.contains(QStringLiteral("N69")));
    }

    void shouldReportADamagedPageInsteadOfAShorterList()
    {
        TestData data;
        FILES_ONLY(data);
        insertLoans(data, 3000, QString(120, QLatin1Char('t')));
        firstValue(data.observe(DeskFile), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        data.release(DeskFile);
        QFile file(data.path(DeskFile));
        const qint64 page = 4096;
        QVERIFY(file.open(QIODevice::ReadWrite) && file.size() > 40 * page && file.seek(file.size() / 2 / page * page));
        QVERIFY(file.write(QByteArray(2 * page, '\xa5')) && file.flush());
        QuerySource list(data.location(), Loans);
        list.model()->setPageLimits(100, 4);
        QSignalSpy failed(&list, &RecordSource::readFailed);
        QVERIFY(list.open());
        while (list.model()->canFetchMore())
            list.model()->fetchMore();
        QVERIFY(failed.size() == 1 && list.model()->rowCount() < 3000);
        QCOMPARE(failed.first().first().value<StoreError>().kind(), StoreError::Kind::Damaged);
    }

    void shouldTellAFailedStepByItsResultAndOneSignal_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("step");
        for (const char *source : {"row", "browse"})
            for (const char *step : {"first", "previous", "next", "last"})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(source, step))) << source << step;
        // The grid's other steps move among rows it holds and read none.
        QTest::newRow("query next past the rows read") << "query" << "next";
        QTest::newRow("query last") << "query" << "last";
    }

    void shouldTellAFailedStepByItsResultAndOneSignal()
    {
        QFETCH(QString, source);
        QFETCH(QString, step);
        TestData data;
        insertLoans(data, 5);
        RowSource row(data.location(), Loans);
        BrowseSource browse(data.location(), Loans);
        QuerySource query(data.location(), Loans);
        query.model()->setPageLimits(2, 4);
        RecordSource *chosen = source == QLatin1String("row")      ? static_cast<RecordSource *>(&row)
                               : source == QLatin1String("browse") ? static_cast<RecordSource *>(&browse)
                                                                   : static_cast<RecordSource *>(&query);
        QVERIFY(chosen == &row ? row.open() : chosen == &browse ? browse.open() : query.open());
        // On the second row, the last of the grid's first page.
        QVERIFY(chosen->moveNext());
        QCOMPARE(chosen->value(Accession).toString(), QStringLiteral("N2"));

        data.exec(DeskFile, QStringLiteral("ALTER TABLE \"tblBorrower\" RENAME TO gone"));
        QSignalSpy failed(chosen, &RecordSource::readFailed);
        const QHash<QString, bool (RecordSource::*)()> steps{{"first", &RecordSource::moveFirst},
                                                             {"previous", &RecordSource::movePrevious},
                                                             {"next", &RecordSource::moveNext},
                                                             {"last", &RecordSource::moveLast}};
        QVERIFY(!(chosen->*steps.value(step))());
        QVERIFY(chosen->lastError().isValid());
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().value<StoreError>().text(), chosen->lastError().text());
        QCOMPARE(chosen->value(Accession).toString(), QStringLiteral("N2"));
    }

    void shouldFindTheSameBooksThroughTheIndexAndTheScan()
    {
        TestData data;
        for (const char *title : {"War and Peace", "Война и мир", "ВОЙНА", "Ἰλιάς", "ΟΔΥΣΣΕΙΑ", "Die Straße",
                                  "O'Brien at war", "50% off", "a_b and axb", "[x] marks", "say \"q\"", "mir",
                                  "📚 Reading Emoji", "Σοφία ς", "İstanbul"})
            data.exec(CatalogueFile, QStringLiteral("INSERT INTO books (BookNumber, Title, Author) VALUES (?, ?, ?)"),
                      {QStringLiteral("T-") + QString::fromUtf8(title), QString::fromUtf8(title), QStringLiteral("Лев Толстой / Leo Tolstoy")});
        for (const char *search : {"Title:WAR", "Title:война", "Title:ιλι", "Title:ΟΔΥΣ", "Title:STRASSE", "Title:o'b",
                                   "Title:50%", "Title:a_b", "Title:[x]", "Title:\"q\"", "Title:zzz", "Author:ТОЛСТ",
                                   // Texts too short for a trigram, some with characters outside the BMP.
                                   "Title:w", "Title:W", "Title:ВО", "Title:мИ", "Title:σ", "Title:Σ", "Title:ß",
                                   "Title:%", "Title:_", "Title:'", "Title:\"", "Title:q", "Title:qz", "Title:📚",
                                   "Title:📚 ", "Title:📚 R", "Title:İ", "Title:i", "Author:ЛЕ", "Author:/"}) {
            const QString field = QString::fromUtf8(search).section(QLatin1Char(':'), 0, 0);
            const QString text = QString::fromUtf8(search).section(QLatin1Char(':'), 1);
            const QStringList scanned = found(data, field, text, BookSearch::Path::Scan);
            // Whatever the path, exactly the books whose field holds the
            // text, in row order, both through the grid and browsing.
            QStringList expected;
            for (const QVariantMap &row : data.rows(CatalogueFile, QStringLiteral("books")))
                if (BookSearch::fold(row.value(field).toString()).contains(BookSearch::fold(text)))
                    expected << row.value(QStringLiteral("BookNumber")).toString();
            if (!data.onServer())
                QVERIFY2(scanned == expected, search);
            for (const BookSearch::Path path : {BookSearch::Path::Automatic, BookSearch::Path::Index}) {
                QVERIFY2(found(data, field, text, path) == scanned, search);
                QVERIFY2(browsed(data, field, text, path) == scanned, search);
            }
            QVERIFY2(browsed(data, field, text, BookSearch::Path::Scan) == scanned, search);
        }
    }

    void shouldNarrowShortSearchesToTheBlocksThatHoldThemAndStayRight()
    {
        // Ten blocks of plain titles; a rare piece in a few books far apart.
        TestData data;
        data.exec(CatalogueFile, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000)"
                                                " INSERT INTO books (BookNumber, Title, Author) SELECT 'P-' || i,"
                                                " CASE WHEN i IN (7, 4100, 9990) THEN 'The Qzar ' || i ELSE 'Plain ' || i END,"
                                                " 'Someone' FROM n"));
        const QStringList rare{"P-7", "P-4100", "P-9990"};
        QCOMPARE(browsed(data, QStringLiteral("Title"), QStringLiteral("qz")), rare);
        QCOMPARE(browsed(data, QStringLiteral("Title"), QStringLiteral("Q")), rare);
        QCOMPARE(browsed(data, QStringLiteral("Title"), QStringLiteral("zq")), QStringList());
        // Filled anew in bulk, the index finds the same.
        QVERIFY(!Database::repairSearch(data.location(), nullptr).isValid());
        QCOMPARE(browsed(data, QStringLiteral("Title"), QStringLiteral("qz")), rare);
        const QStringList common = found(data, QStringLiteral("Author"), QStringLiteral("NE"));
        QVERIFY(common.size() > 10000);
        QCOMPARE(common, found(data, QStringLiteral("Author"), QStringLiteral("NE"), BookSearch::Path::Scan));
        // A book that stops matching leaves its block listed: the search
        // looks on and still finds just the others.
        data.exec(CatalogueFile, QStringLiteral("UPDATE books SET Title = 'Plain again' WHERE BookNumber = 'P-4100'"));
        data.exec(CatalogueFile, QStringLiteral("DELETE FROM books WHERE BookNumber = 'P-9990'"));
        // One that starts matching is found at once, whoever wrote it.
        data.exec(CatalogueFile, QStringLiteral("UPDATE books SET Title = 'Mozzarella qz' WHERE BookNumber = 'P-5000'"));
        QCOMPARE(browsed(data, QStringLiteral("Title"), QStringLiteral("qZ")), (QStringList{"P-7", "P-5000"}));
        QCOMPARE(browsed(data, QStringLiteral("Title"), QStringLiteral("qz"), BookSearch::Path::Scan),
                 (QStringList{"P-7", "P-5000"}));

        // Stepping past either end keeps the row shown.
        BrowseSource books(data.location(), QStringLiteral("books"));
        books.setSearch(QStringLiteral("Title"), QStringLiteral("qz"));
        QVERIFY(books.open());
        QSignalSpy moved(&books, &RecordSource::currentChanged);
        books.movePrevious();
        QCOMPARE(books.value(QStringLiteral("BookNumber")).toString(), QStringLiteral("P-7"));
        books.moveLast();
        books.moveNext();
        QCOMPARE(books.value(QStringLiteral("BookNumber")).toString(), QStringLiteral("P-5000"));
        QCOMPARE(moved.size(), 1);
        // Last finding the rows gone shows none.
        data.exec(CatalogueFile, QStringLiteral("DELETE FROM books WHERE Title LIKE '%zz%' OR Title LIKE '%Qz%'"));
        books.moveFirst();
        QVERIFY(!books.hasCurrent() && books.value(QStringLiteral("Title")).isNull());
    }

    void shouldGiveAnOlderCatalogueItsIndexAndKeepItInStepAfterLostTriggersAndACompaction()
    {
        TestData data;
        FILES_ONLY(data);
        // The catalogue as the first version of the program made it: no
        // index, no hidden columns, a gap in its rows.
        data.exec(CatalogueFile, QStringLiteral("DELETE FROM books WHERE BookNumber = 'B-0002'"));
        QStringList steps{"DROP TRIGGER books_search_insert", "DROP TRIGGER books_search_update",
                          "DROP TRIGGER books_search_delete", "DROP TABLE books_search", "DROP TABLE books_grams",
                          "DROP TABLE books_gram_positions",
                          "CREATE TABLE old AS SELECT * FROM books", "DROP TABLE books"};
        steps << SqliteSql::createFirstShape(Schema::books())
              << "INSERT INTO books (rowid, " + quotedFields() + ") SELECT \"_id\", " + quotedFields() + " FROM old"
              << "DROP TABLE old" << "PRAGMA user_version = 0";
        for (const QString &step : std::as_const(steps))
            data.exec(CatalogueFile, step);
        const QStringList before = data.column(CatalogueFile, QStringLiteral("books"), QStringLiteral("BookNumber"));
        data.release(CatalogueFile);
        QVERIFY(!Database::install(data.folder()).isValid());
        QCOMPARE(Database::version(data.path(CatalogueFile)), Schema::currentVersion(Schema::File::Transactions));
        QCOMPARE(data.column(CatalogueFile, QStringLiteral("books"), QStringLiteral("BookNumber")), before);
        QCOMPARE(firstValue(data.observe(CatalogueFile), "SELECT \"_id\" FROM books WHERE BookNumber = 'B-0003'"), "3");
        auto title = [&data](const QString &text) {
            return found(data, QStringLiteral("Title"), text, BookSearch::Path::Index);
        };
        QCOMPARE(title(QStringLiteral("c programming")).value(0), QStringLiteral("B-0003"));
        // Whoever writes books, the index follows.
        data.exec(CatalogueFile, QStringLiteral("UPDATE books SET Title = 'Quixotic' WHERE BookNumber = 'B-0003'"));
        QCOMPARE(title(QStringLiteral("xot")), QStringList{"B-0003"});
        QVERIFY(!title(QStringLiteral("c programming")).contains(QStringLiteral("B-0003")));
        QVERIFY(firstValue(data.observe(CatalogueFile), "INSERT INTO books_search (books_search) VALUES ('integrity-check')").isEmpty());

        // Someone rebuilt books by hand: its triggers went with it, and the
        // next start puts them back.
        for (const char *drop : {"DROP TRIGGER books_search_insert", "DROP TRIGGER books_search_update"})
            data.exec(CatalogueFile, QString::fromLatin1(drop));
        data.exec(CatalogueFile, QStringLiteral("UPDATE books SET Title = 'Zanzibar' WHERE BookNumber = 'B-0003'"));
        QVERIFY(Database::searchIsIncomplete(data.location()));
        data.release(CatalogueFile);
        QVERIFY(!Database::install(data.location()).isValid() && !Database::searchIsIncomplete(data.location()));
        QCOMPARE(title(QStringLiteral("nzib")), QStringList{"B-0003"});
        QVERIFY(firstValue(data.observe(CatalogueFile), SqliteSql::searchIndexCheck()).isEmpty());

        // A gap in the rows, then another tool compacts the file: the
        // index still leads to the right books.
        data.exec(CatalogueFile, QStringLiteral("DELETE FROM books WHERE BookNumber IN ('B-0001', 'B-0004')"));
        data.exec(CatalogueFile, QStringLiteral("VACUUM"));
        const QList<QVariantMap> books = data.rows(CatalogueFile, QStringLiteral("books"));
        for (const QVariantMap &book : books.mid(0, 6)) {
            const QString title = BookSearch::fold(book.value(QStringLiteral("Title")).toString());
            QStringList expected;
            for (const QVariantMap &row : books)
                if (BookSearch::fold(row.value(QStringLiteral("Title")).toString()).contains(title))
                    expected << row.value(QStringLiteral("BookNumber")).toString();
            QCOMPARE(found(data, QStringLiteral("Title"), title, BookSearch::Path::Index), expected);
        }
    }

    void shouldRefuseASaveOverARowChangedAtAnotherDesk_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("word");
        QTest::newRow("loan") << Loans << QStringLiteral("Remarks") << QStringLiteral("loan");
        QTest::newRow("account") << Users << QStringLiteral("Hint") << QStringLiteral("account");
    }

    void shouldRefuseASaveOverARowChangedAtAnotherDesk()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(QString, word);
        TestData data;
        insertLoans(data, 2);
        // GIVEN two desks showing the same row
        RowSource first(data.location(), table), second(data.location(), table);
        QVERIFY(first.open() && second.open());
        QVERIFY(first.edit() && second.edit());
        // WHEN both save a change, the first one first
        first.setValue(field, QStringLiteral("from the first desk"));
        QVERIFY(first.update());
        second.setValue(field, QStringLiteral("from the second desk"));
        QSignalSpy shown(&second, &RecordSource::currentChanged);
        QVERIFY(!second.update());
        // THEN the second is refused, shown the row as stored, and nothing of it is written
        QCOMPARE(second.lastError().kind(), StoreError::Kind::Conflict);
        QVERIFY2(second.lastError().text().startsWith(QStringLiteral("This %1 was changed at another desk").arg(word)),
                 qPrintable(second.lastError().text()));
        QVERIFY(shown.size() >= 1 && second.editMode() == RowSource::Idle);
        QCOMPARE(second.value(field).toString(), QStringLiteral("from the first desk"));
        QCOMPARE(data.column(DeskFile, table, field).value(0), QStringLiteral("from the first desk"));
        // A fresh edit of the row as it now stands is stored.
        QVERIFY(second.edit());
        second.setValue(field, QStringLiteral("second, after a look"));
        QVERIFY(second.update());
        QCOMPARE(data.column(DeskFile, table, field).value(0), QStringLiteral("second, after a look"));

        // A row removed meanwhile is not made again by a save.
        QVERIFY(first.refresh() && first.edit());
        data.exec(DeskFile, QStringLiteral("DELETE FROM %1 WHERE \"_id\" = ?").arg(Schema::quoted(table)), {first.bookmark()});
        const int left = data.count(DeskFile, table);
        first.setValue(field, QStringLiteral("too late"));
        QVERIFY(!first.update() && first.lastError().kind() == StoreError::Kind::Conflict);
        QCOMPARE(data.count(DeskFile, table), left);
    }

    void shouldNameAServerThatCannotBeReachedWithoutWaiting()
    {
        TestData data;
        QTemporaryDir nowhere;
        const StoreLocation gone = StoreLocation::server(
            QStringLiteral("host=%1 port=55439 user=tallymere dbname=nothing").arg(nowhere.path()));
        RowSource loans(gone, Loans);
        QVERIFY(!loans.open() && loans.lastError().kind() == StoreError::Kind::Unreachable);
        QVERIFY2(loans.lastError().text().startsWith(QStringLiteral("The server nothing on this computer cannot be reached")),
                 qPrintable(loans.lastError().text()));
    }

    void shouldWorkAgainWhenTheServerComesBack()
    {
        TestData data;
        if (!data.onServer())
            QSKIP("a behaviour of the server");
        insertLoans(data, 1);
        RowSource loans(data.location(), Loans);
        QVERIFY(loans.open() && loans.edit());
        // The server ends the desk's connection (as on a restart) mid-edit.
        firstValue(data.observe(DeskFile), QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity"
                                                          " WHERE application_name LIKE 'Tallymere@%'"));
        loans.setValue(QStringLiteral("Remarks"), QStringLiteral("after the restart"));
        // The save finds the connection broken, connects again and is stored,
        // once, without a failure said first.
        QVERIFY2(loans.update(), qPrintable(loans.lastError().text()));
        QCOMPARE(loans.editMode(), RowSource::Idle);
        QCOMPARE(data.column(DeskFile, Loans, QStringLiteral("Remarks")), QStringList{"after the restart"});
    }

    void shouldReadCsvAsRfc4180Has()
    {
        QCOMPARE(Csv::parse(QStringLiteral("a,b\r\n1,2")), (QList<QStringList>{{"a", "b"}, {"1", "2"}})); // no last break
        // Blank lines are skipped; found by fuzzing: rows the writer once wrote as something else.
        QCOMPARE(Csv::parse(QStringLiteral("a\n\n\"\"\nb\n")), (QList<QStringList>{{"a"}, {""}, {"b"}}));
        QCOMPARE(Csv::parse(QStringLiteral("\"\xfeffy\",z\n")), (QList<QStringList>{{QStringLiteral("\xfeffy"), "z"}}));
    }
};

int main(int argc, char *argv[])
{
    // A second program installing the same folder, for the start-together test.
    if (argc == 3 && qstrcmp(argv[1], "--install-into") == 0) {
        QCoreApplication app(argc, argv);
        return Database::install(QString::fromLocal8Bit(argv[2])).isValid() ? 1 : 0;
    }
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    StoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_store.moc"
