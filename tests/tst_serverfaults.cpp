// A desk on a server that stops answering, restarts or refuses it: one box
// naming the server and the cause, nothing reported saved that was not,
// the typed loan kept, and the desk working again once the server answers.
// Most cases need the test server (the _server run) and skip on the files.
#include "servertest.h"
#include "testsupport.h"

#include "app/screennames.h"
#include "catalogue/booksscreen.h"
#include "catalogue/loanlistscreen.h"
#include "loans/loanentryscreen.h"
#include "store/engine/database.h"
#include "store/engine/storeerror.h"
#include "store/records/rowsource.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSqlError>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTest>

#include <csignal>
#include <utility>

namespace {

const QString Loans = QStringLiteral("tblBorrower");
const QString Accession = QStringLiteral("AccessionNumber");
const QString Saved = QStringLiteral("New Borrower has been successfully added!");

#define SERVER_ONLY(data)                                                                                              \
    if (!(data).onServer())                                                                                            \
    QSKIP("a behaviour of the server desk")

QString databaseOf(const TestData &data)
{
    return parseServerOptions(data.location().connection()).database;
}

// The desk's server processes stopped, as a network that drops without
// closing the connection leaves them. They always go on again, even when a
// check fails, so that the cluster is never left frozen.
class Stopped
{
public:
    explicit Stopped(const QList<qint64> &pids) : m_pids(pids)
    {
        for (qint64 pid : m_pids)
            ::kill(pid_t(pid), SIGSTOP);
    }
    ~Stopped() { resume(); }
    Stopped(const Stopped &) = delete;
    Stopped &operator=(const Stopped &) = delete;
    void resume()
    {
        for (qint64 pid : std::exchange(m_pids, {}))
            ::kill(pid_t(pid), SIGCONT);
    }
    bool any() const { return !m_pids.isEmpty(); }

private:
    QList<qint64> m_pids;
};

LoanEntryScreen *typedLoan(const QString &accession)
{
    auto *s = Navigator::instance().createAs<LoanEntryScreen>(ScreenNames::LoanEntry);
    s->show();
    typeNewLoan(s, accession);
    return s;
}

// One critical box, naming the server's database and `problem`.
void verifyServerBox(DeskData &data, const QString &problem)
{
    QCOMPARE(data.dialogs.boxes.size(), 1);
    const FakeDialogs::Box box = data.dialogs.boxes.first();
    QVERIFY2(box.icon == Dialogs::Critical && box.text.startsWith("The server " + data.storeName(DeskFile))
                 && box.text.contains(problem) && box.text.count(data.storeName(DeskFile)) == 1,
             qPrintable(box.text));
}

// Makes every insert into or update of the loans wait, inside the server,
// until the test opens the gate: the server finishes the save only after
// the desk has given up waiting for its answer.
void closeGate(TestData &data)
{
    data.exec(DeskFile, QStringLiteral("CREATE TABLE gate (open boolean)"));
    data.exec(DeskFile, QStringLiteral(
        "CREATE FUNCTION wait_at_gate() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
        " LOOP EXIT WHEN EXISTS (SELECT 1 FROM gate); PERFORM pg_sleep(0.05); END LOOP; RETURN NEW; END $$"));
    data.exec(DeskFile, QStringLiteral("CREATE TRIGGER wait_at_gate BEFORE INSERT OR UPDATE ON \"tblBorrower\""
                                       " FOR EACH ROW EXECUTE FUNCTION wait_at_gate()"));
}

} // namespace

class ServerFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        prepareTestApplication();
        // No password of the machine's user may answer for the tests' roles.
        qputenv("PGPASSFILE", "/nonexistent/pgpass");
    }
    void cleanup() { closeAllScreens(); }

    void shouldGiveOneBoxAndKeepTheLoanWhenTheServerStopsAnsweringASave()
    {
        // GIVEN a loan typed at the loan entry
        DeskData data;
        SERVER_ONLY(data);
        LoanEntryScreen *entry = typedLoan(QStringLiteral("S-1"));
        {
            // WHEN the server stops answering the desk and the librarian saves
            Stopped stopped(TestServer::deskBackends(databaseOf(data)));
            QVERIFY(stopped.any());
            control<PushButton>(entry, "cmdSave")->click();
            // THEN one box names the server; nothing is said saved or stored,
            // and the loan stays as typed, to be saved again
            QTRY_VERIFY_WITH_TIMEOUT(!data.dialogs.boxes.isEmpty(), 60000);
            verifyServerBox(data, QStringLiteral("did not answer"));
            QCOMPARE(control<QLineEdit>(entry, "txtAccessionNumber")->text(), QStringLiteral("S-1"));
            QCOMPARE(control<QLineEdit>(entry, "txtBookTitle")->text(), QStringLiteral("Desk title S-1"));
            QVERIFY(control<PushButton>(entry, "cmdSave")->isEnabled());
            QVERIFY(data.column(DeskFile, Loans, Accession).isEmpty());
        }
        // WHEN the server answers again and the librarian saves once more
        data.dialogs.clear();
        control<PushButton>(entry, "cmdSave")->click();
        // THEN the loan is stored, once
        QCOMPARE(data.dialogs.boxes.size(), 1);
        QCOMPARE(data.dialogs.boxes.first().text, Saved);
        QCOMPARE(data.column(DeskFile, Loans, Accession), QStringList{"S-1"});
    }

    void shouldGiveOneBoxWhenTheServerStopsAnsweringASearch()
    {
        DeskData data;
        SERVER_ONLY(data);
        auto *books = qobject_cast<BooksScreen *>(Navigator::instance().open(ScreenNames::Books));
        QVERIFY(books && QTest::qWaitForWindowActive(books));
        auto *fields = control<QComboBox>(books, "cmbSearch");
        fields->setCurrentIndex(fields->findText(QStringLiteral("Title")));
        auto *search = control<QLineEdit>(books, "txtsearch");
        search->setFocus();
        data.dialogs.clear();
        {
            Stopped stopped(TestServer::deskBackends(databaseOf(data)));
            QVERIFY(stopped.any());
            QTest::keyClick(search, 'a');
            QTRY_VERIFY_WITH_TIMEOUT(!data.dialogs.boxes.isEmpty(), 60000);
            verifyServerBox(data, QStringLiteral("did not answer"));
        }
        // The next letter is searched as usual once the server answers.
        QTest::keyClick(search, 'n');
        QCOMPARE(data.dialogs.boxes.size(), 1);
        QString first;
        for (const QVariantMap &book : data.rows(CatalogueFile, QStringLiteral("books")))
            if (first.isEmpty() && book.value("Title").toString().contains(QStringLiteral("an"), Qt::CaseInsensitive))
                first = book.value("BookNumber").toString();
        QVERIFY(!first.isEmpty());
        QCOMPARE(control<QLineEdit>(books, "Text9")->text(), first);
    }

    void shouldGiveOneBoxWhenTheServerStopsAnsweringTheLoanList()
    {
        // GIVEN the loan list open on more loans than its first page holds
        DeskData data;
        SERVER_ONLY(data);
        data.exec(DeskFile, QStringLiteral("INSERT INTO \"tblBorrower\" (\"AccessionNumber\")"
                                           " SELECT 'M-' || n FROM generate_series(1, 300) AS n"));
        auto *list = qobject_cast<LoanListScreen *>(Navigator::instance().open(ScreenNames::LoanList));
        QVERIFY(list);
        auto *last = control<QToolButton>(list, "last");
        {
            // WHEN the server stops answering and the librarian asks for the last loan
            Stopped stopped(TestServer::deskBackends(databaseOf(data)));
            QVERIFY(stopped.any());
            last->click();
            // THEN one box names the server
            QTRY_VERIFY_WITH_TIMEOUT(!data.dialogs.boxes.isEmpty(), 60000);
            verifyServerBox(data, QStringLiteral("did not answer"));
        }
        // AND once it answers, the same click reads the list again and shows
        // the last loan
        last->click();
        QCOMPARE(data.dialogs.boxes.size(), 1);
        QTableView *grid = control<QTableView>(list, "DataGrid1");
        QCOMPARE(grid->currentIndex().row(), 299);
        QCOMPARE(grid->model()->index(299, 0).data().toString(), QStringLiteral("M-300"));
    }

    void shouldSettleASaveWhoseAnswerWasLost_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::newRow("new loan") << true;
        QTest::newRow("changed loan") << false;
    }
    void shouldSettleASaveWhoseAnswerWasLost()
    {
        QFETCH(bool, adding);
        DeskData data; // the program's screens hear of the save as they would
        SERVER_ONLY(data);
        insertLoan(data, QStringLiteral("K-0"));
        RowSource loans(data.location(), Loans);
        QVERIFY(loans.open() && (adding ? loans.addNew() : loans.edit()));
        loans.setValue(Accession, QStringLiteral("K-1"));
        // GIVEN a server that finishes the save only after the desk gave up
        closeGate(data);
        QVERIFY(!loans.update());
        QVERIFY2(loans.lastError().text().contains(QStringLiteral("did not answer")), qPrintable(loans.lastError().text()));
        data.exec(DeskFile, QStringLiteral("INSERT INTO gate VALUES (true)"));
        QTRY_VERIFY_WITH_TIMEOUT(data.column(DeskFile, Loans, Accession).contains(QStringLiteral("K-1")), 60000);
        // WHEN the librarian saves again THEN the save is found stored: it is
        // reported done, and neither made twice nor refused as a change made
        // at another desk
        QVERIFY2(loans.update(), qPrintable(loans.lastError().text()));
        QCOMPARE(data.column(DeskFile, Loans, Accession),
                 adding ? QStringList({"K-0", "K-1"}) : QStringList({"K-1"}));
        QCOMPARE(loans.editMode(), RowSource::Idle);
    }

    void shouldSaveOnceAndSaySoAfterTheServerRestarts()
    {
        DeskData data;
        SERVER_ONLY(data);
        LoanEntryScreen *entry = typedLoan(QStringLiteral("R-1"));
        TestServer::restart();
        control<PushButton>(entry, "cmdSave")->click();
        QCOMPARE(data.dialogs.boxes.size(), 1);
        QCOMPARE(data.dialogs.boxes.first().text, Saved);
        data.release(DeskFile);
        QCOMPARE(data.column(DeskFile, Loans, Accession), QStringList{"R-1"});
    }

    void shouldShowTheLoansAsStoredWhenTheListOpensAfterARestart()
    {
        // GIVEN the loan list made unseen, as after a save, with one loan
        DeskData data;
        SERVER_ONLY(data);
        insertLoan(data, QStringLiteral("L-1"));
        Navigator::instance().create(ScreenNames::LoanList);
        QCoreApplication::processEvents(); // the desk goes on after the save
        // WHEN the server restarts, another desk saves a loan, and the list opens
        TestServer::restart();
        data.release(DeskFile);
        insertLoan(data, QStringLiteral("L-2"));
        auto *list = qobject_cast<LoanListScreen *>(Navigator::instance().open(ScreenNames::LoanList));
        QVERIFY(list);
        // THEN it shows the loans as stored now, without a box
        QAbstractItemModel *grid = control<QTableView>(list, "DataGrid1")->model();
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->index(1, 0).data().toString(), QStringLiteral("L-2"));
        QVERIFY(data.dialogs.boxes.isEmpty());
    }

    void shouldNameTheCauseOfARefusedConnection_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("cause");
        QTest::newRow("wrong password") << "user=tallymere_pw password=wrong"
                                        << "refused the password of the user tallymere_pw";
        QTest::newRow("no password") << "user=tallymere_pw" << "asks a password of the user tallymere_pw and none";
        QTest::newRow("unknown user") << "user=nobody_known" << "has no user nobody_known that may log in";
        QTest::newRow("unknown database") << "dbname=no_such_library" << "has no database no_such_library.";
        QTest::newRow("no right to create") << "user=tallymere_plain"
                                            << "does not give this desk's user the right to create";
    }
    void shouldNameTheCauseOfARefusedConnection()
    {
        QFETCH(QString, options);
        QFETCH(QString, cause);
        if (!TestServer::active())
            QSKIP("needs the test server");
        const QString database = TestServer::freshDatabase();
        const StoreLocation server =
            StoreLocation::server(TestServer::options() + " dbname=" + database + QLatin1Char(' ') + options);
        const StoreError error = Database::install(server);
        TestServer::dropDatabase(database);
        const QString said = error.text();
        QVERIFY2(said.startsWith(QStringLiteral("The server ")) && said.contains(cause), qPrintable(said));
        QVERIFY2(!said.contains(QStringLiteral("cannot be reached")) && !said.contains(QStringLiteral("wrong")),
                 qPrintable(said));
    }

    void shouldSayWhereAServicePoints()
    {
        QTemporaryDir dir;
        QFile services(dir.filePath(QStringLiteral("pg_service.conf")));
        QVERIFY(services.open(QIODevice::WriteOnly));
        services.write("[library]\nhost=192.0.2.10\ndbname=lending\n");
        services.close();
        qputenv("PGSERVICEFILE", QFile::encodeName(services.fileName()));
        const QString named = StoreLocation::server(QStringLiteral("service=library")).name(Schema::File::Tallymere);
        qunsetenv("PGSERVICEFILE");
        QCOMPARE(named, QStringLiteral("lending on 192.0.2.10"));
    }
};

QTEST_MAIN(ServerFaultsTest)
#include "tst_serverfaults.moc"
