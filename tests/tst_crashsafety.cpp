// A desk program killed in the middle of its work loses nothing it had
// confirmed: a child process saves loans through the record source the
// screens use and prints each save once update() has returned; the test
// kills it with SIGKILL at seeded random moments and checks the store. An
// import of an old desk, stopped at each of its steps in turn, leaves the
// old stores or the new ones.
#include "storesupport.h"

#include "store/engine/database.h"
#include "store/engine/schema.h"
#include "store/engine/stoppoint.h"
#include "store/records/rowsource.h"
#include "store/transfer/transfer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>

namespace {

const QString Loans = QStringLiteral("tblBorrower");
const QString Returned = QStringLiteral("Returned");

// Every field of loan `n`, derived from `n` alone, so that the test knows
// what a confirmed loan must hold.
QVariantMap loanFor(int n)
{
    return {{QStringLiteral("AccessionNumber"), QStringLiteral("C-%1").arg(n)},
            {QStringLiteral("BookNumber"), QStringLiteral("BN-%1").arg(n * 7)},
            {QStringLiteral("BookTitle"), QStringLiteral("Title %1 ").arg(n).repeated(1 + n % 9)},
            {QStringLiteral("Category"), QStringLiteral("FICTION")},
            {QStringLiteral("Borrower"), QStringLiteral("Reader %1").arg(n % 97)},
            {QStringLiteral("DateBorrowed"), QDate(2026, 1, 1).addDays(n % 300)},
            {QStringLiteral("Status"), n % 2 ? QStringLiteral("Staff") : QStringLiteral("Student")},
            {QStringLiteral("Section"), QStringLiteral("2ICT1")}};
}

// The child: saves loans from `first` on and records the return of every
// third one, printing each only once update() has returned true; left alone
// it stops after 100000.
int saveLoans(const QString &path, int first)
{
    RowSource loans(DeskStore::of(QFileInfo(path).absolutePath()), Loans);
    auto confirmed = [&loans](const char *what, int n) {
        if (!loans.update())
            return std::fprintf(stderr, "%s\n", qPrintable(loans.lastError().text())), false;
        return std::printf("%s %d\n", what, n), std::fflush(stdout), true;
    };
    if (!loans.open())
        return std::fprintf(stderr, "%s\n", qPrintable(loans.lastError().text())), 2;
    for (int n = first; n < first + 100000; ++n) {
        const QVariantMap loan = loanFor(n);
        if (!loans.addNew())
            return 3;
        for (auto it = loan.cbegin(); it != loan.cend(); ++it)
            loans.setValue(it.key(), it.value());
        if (!confirmed("saved", n))
            return 4;
        if (n % 3 == 0) {
            if (!loans.setBookmark(loans.lastModified()) || !loans.edit())
                return 5;
            loans.setValue(QStringLiteral("Remarks"), Returned);
            loans.setValue(QStringLiteral("DateReturned"), QDate(2026, 12, 1));
            if (!confirmed("returned", n))
                return 6;
        }
    }
    return 0;
}

// An old desk's three tables, a few rows each, every field but the one
// that names a row left empty.
class OldDesk : public Transfer::TableSource
{
public:
    QString name() const override { return QStringLiteral("old desk"); }
    QStringList columns(const QString &table) override { return Schema::table(table)->fields; }
    bool readRows(const QString &table, const std::function<bool(const QVariantList &)> &row) override
    {
        const QStringList fields = columns(table);
        const QString named = table == QLatin1String("tblUser") ? QStringLiteral("Password") : fields.first();
        for (int n = 1; n <= 3; ++n) {
            QVariantList values(fields.size());
            values[fields.indexOf(named)] = QStringLiteral("IMPORTED-%1").arg(n);
            if (!row(values))
                return false;
        }
        return true;
    }
    QString errorText() const override { return {}; }
};

// The child: imports the old desk over the stores of `folder`.
int importOldDesk(const QString &folder)
{
    OldDesk old;
    const Transfer::Outcome outcome = Transfer::importTables(old, old, folder, StoreLocation::files(folder), true);
    if (!outcome.ok())
        std::fprintf(stderr, "%s\n", qPrintable(outcome.error));
    return outcome.ok() ? 0 : 1;
}

} // namespace

class CrashSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void shouldKeepEveryConfirmedLoanWhenTheDeskIsKilled()
    {
        // GIVEN a store and a seed (TALLYMERE_CRASH_SEED repeats a run)
        TestData data;
        const QString path = data.path(DeskFile);
        bool seeded = false;
        const quint32 seed = qEnvironmentVariableIntValue("TALLYMERE_CRASH_SEED", &seeded);
        QRandomGenerator random(seeded ? seed : 20261106u);
        QSet<int> saved, returned;
        int next = 1;
        for (int round = 0; round < 60; ++round) {
            // WHEN a desk saving loans is killed after a random number of
            // confirmed saves and a random fraction of the next one
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-loans"), path, QString::number(next)});
            const int savesBeforeKill = 1 + int(random.bounded(12));
            QByteArray output;
            while (output.count("saved ") < savesBeforeKill && child.waitForReadyRead(10000))
                output += child.readAllStandardOutput();
            QVERIFY2(child.state() == QProcess::Running, child.readAllStandardError().constData());
            QVERIFY2(output.count("saved ") >= savesBeforeKill, "the desk stopped saving");
            QThread::usleep(random.bounded(4000));
            child.kill();
            QVERIFY(child.waitForFinished(10000) && child.exitStatus() == QProcess::CrashExit);
            output += child.readAllStandardOutput();

            // Only whole lines were printed after update() returned true.
            const QList<QByteArray> lines = output.split('\n');
            for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
                const QList<QByteArray> words = lines.at(i).split(' ');
                QCOMPARE(words.size(), 2);
                (words.at(0) == "saved" ? saved : returned).insert(words.at(1).toInt());
                next = qMax(next, words.at(1).toInt() + 1);
            }
            // A loan in flight at the kill may have been stored unconfirmed.
            next += 1;

            // THEN the store is whole and holds every confirmed loan as it
            // was confirmed
            checkStore(data, saved, returned);
            data.release(DeskFile);
        }
        // The program's own start still finds the store in order.
        QVERIFY(!Database::install(data.folder()).isValid());
        RowSource loans(DeskStore::of(QFileInfo(path).absolutePath()), Loans);
        QVERIFY2(loans.open(), qPrintable(loans.lastError().text()));
    }

    void shouldLeaveTheOldDeskOrTheImportedOneWholeWhereverTheImportIsStopped()
    {
        // GIVEN a desk with loans
        QTemporaryDir dir;
        const QString old = dir.filePath(QStringLiteral("old"));
        QVERIFY(!Database::install(old).isValid());
        {
            RowSource loans(StoreLocation::files(old), Loans);
            QVERIFY(loans.open() && loans.addNew());
            loans.setValue(QStringLiteral("AccessionNumber"), QStringLiteral("OLD-1"));
            QVERIFY(loans.update());
        }
        const QString before = pairSeenAtStart(old);
        const QString whole = copyOfStores(old, dir.filePath(QStringLiteral("whole")));
        QCOMPARE(runImport(whole, {}), 0);
        const QString after = pairSeenAtStart(whole);
        QVERIFY(after != before);
        int stops = 0;
        for (const char *work : {"backup", "stage", "import", "swap"}) {
            for (int step = 1;; ++step) {
                QVERIFY2(step < 40, "the import never ran past its last step");
                // WHEN the import of an old desk is stopped at this step
                const QString at = QStringLiteral("%1:%2").arg(QLatin1String(work)).arg(step);
                const QString folder = copyOfStores(old, dir.filePath(at));
                const int code = runImport(folder, at);
                if (code == 0)
                    break;
                QCOMPARE(code, StopPoint::ExitCode);
                ++stops;
                // THEN the next start finds the old desk or the imported one, whole
                const QString seen = pairSeenAtStart(folder);
                QVERIFY2(seen == before || seen == after, qPrintable(at + QStringLiteral(" left ") + seen));
                QCOMPARE(Database::leftovers(folder), QStringList());
            }
        }
        QVERIFY(stops >= 6);
    }

private:
    // Runs the child that imports an old desk into `folder`, stopped at
    // `stopAt` (see StopPoint); its exit status.
    static int runImport(const QString &folder, const QString &stopAt)
    {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!stopAt.isEmpty())
            environment.insert(QStringLiteral("TALLYMERE_TEST_STOP_AT"), stopAt);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--import-old-desk"), folder});
        if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit)
            return -1;
        return child.exitCode();
    }

    static void checkStore(TestData &data, const QSet<int> &saved, const QSet<int> &returned)
    {
        {
            QSqlQuery check(data.observe(DeskFile));
            QVERIFY(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next() && check.value(0).toString() == "ok");
        }
        QHash<int, QVariantMap> stored;
        for (const QVariantMap &row : data.rows(DeskFile, Loans)) {
            const int n = row.value(QStringLiteral("AccessionNumber")).toString().mid(2).toInt();
            QVERIFY2(!stored.contains(n), qPrintable(QString::number(n))); // never saved twice
            stored.insert(n, row);
        }
        for (const int n : saved) {
            QVERIFY2(stored.contains(n), qPrintable(QStringLiteral("confirmed loan C-%1 is missing").arg(n)));
            const QVariantMap row = stored.value(n), loan = loanFor(n);
            for (auto it = loan.cbegin(); it != loan.cend(); ++it)
                QCOMPARE(row.value(it.key()).toString(), it.value().toString());
            // A return is there whole or not at all; a confirmed one is there.
            const bool isReturned = row.value(QStringLiteral("Remarks")).toString() == Returned;
            QVERIFY2(isReturned || !returned.contains(n), qPrintable(QStringLiteral("return of C-%1 is missing").arg(n)));
            QCOMPARE(row.value(QStringLiteral("DateReturned")).toString(), isReturned ? QStringLiteral("2026-12-01") : QString());
        }
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The desk program the test kills.
    if (argc == 4 && qstrcmp(argv[1], "--save-loans") == 0)
        return saveLoans(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    // The import the test stops.
    if (argc == 3 && qstrcmp(argv[1], "--import-old-desk") == 0)
        return importOldDesk(QString::fromLocal8Bit(argv[2]));
    CrashSafetyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
