// Two desk programs on the same stores: another program (a child process)
// saves loans and a return through the record source the screens use while
// this one's loan list is open and its loan entry saves loans of its own.
#include "testsupport.h"

#include "app/screennames.h"
#include "catalogue/loanlistscreen.h"
#include "loans/loanentryscreen.h"
#include "store/records/querysource.h"
#include "store/records/rowsource.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

#include <cstdio>
#include <utility>

namespace {

const QString Loans = QStringLiteral("tblBorrower");
constexpr int ChildLoans = 40;

QVariantMap childLoan(int n)
{
    const QString number = QString::number(n);
    return {{"AccessionNumber", "C-" + number}, {"BookNumber", "CB-" + number}, {"BookTitle", "Child title " + number},
            {"Category", "SCIENCE"}, {"Borrower", "Other desk reader"}, {"DateBorrowed", QDate(2026, 10, 1 + n % 28)},
            {"Status", "Staff"}, {"Section", "1ICT3"}};
}

// The other desk: saves `count` loans, then the return of the first one.
int saveLoans(const QString &path, int count)
{
    RowSource loans(DeskStore::of(QFileInfo(path).absolutePath()), Loans);
    if (!loans.open())
        return 2;
    qint64 first = -1;
    for (int n = 1; n <= count; ++n) {
        const QVariantMap loan = childLoan(n);
        if (!loans.addNew())
            return 3;
        for (auto it = loan.cbegin(); it != loan.cend(); ++it)
            loans.setValue(it.key(), it.value());
        if (!loans.update())
            return std::fprintf(stderr, "%s\n", qPrintable(loans.lastError().text())), 4;
        first = first < 0 ? loans.lastModified() : first;
    }
    if (!loans.setBookmark(first) || !loans.edit())
        return 5;
    loans.setValue(QStringLiteral("Remarks"), QStringLiteral("Returned"));
    return loans.update() ? 0 : 6;
}

// The other desk lists the loans as its loan list reads them.
int listLoans(const QString &path)
{
    QuerySource list(DeskStore::of(QFileInfo(path).absolutePath()), Loans);
    if (!list.open())
        return 2;
    list.moveLast();
    for (int row = 0; row < list.model()->rowCount(); ++row)
        list.setCurrentRow(row), std::printf("%s\n", qPrintable(list.value(QStringLiteral("AccessionNumber")).toString()));
    return 0;
}

QStringList gridAccessions(LoanListScreen *list)
{
    QAbstractItemModel *model = control<QTableView>(list, "DataGrid1")->model();
    while (model->canFetchMore(QModelIndex()))
        model->fetchMore(QModelIndex());
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row)
        shown << model->index(row, 0).data().toString();
    return shown;
}

void saveThroughLoanEntry(LoanEntryScreen *s, const QString &accession)
{
    typeNewLoan(s, accession);
    control<PushButton>(s, "cmdSave")->click();
}

} // namespace

class TwoDesksTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void cleanup() { closeAllScreens(); }

    void shouldListWhatTheOtherDeskSavedAndKeepEachDesksRows()
    {
        // GIVEN this desk's loan list open on a store with one loan
        DeskData data;
        insertLoan(data, QStringLiteral("P-0"));
        auto *list = Navigator::instance().createAs<LoanListScreen>(ScreenNames::LoanList);
        list->show();
        QCOMPARE(gridAccessions(list), QStringList{QStringLiteral("P-0")});

        // WHEN the other desk saves its loans while this desk saves its own
        QProcess other, lister;
        other.start(QCoreApplication::applicationFilePath(), {"--save-loans", data.path(DeskFile), QString::number(ChildLoans)});
        QVERIFY(other.waitForStarted());
        auto *entry = Navigator::instance().createAs<LoanEntryScreen>(ScreenNames::LoanEntry);
        entry->show();
        const QStringList ours{QStringLiteral("P-1"), QStringLiteral("P-2"), QStringLiteral("P-3")};
        for (const QString &accession : ours)
            saveThroughLoanEntry(entry, accession);
        QVERIFY(other.waitForFinished(60000));
        QVERIFY2(other.exitStatus() == QProcess::NormalExit && other.exitCode() == 0,
                 other.readAllStandardError().constData());
        QCOMPARE(data.dialogs.boxes.size(), ours.size()); // one "successfully added" a save
        QCOMPARE(data.dialogs.boxes.last().text, QStringLiteral("New Borrower has been successfully added!"));

        // THEN after this desk's next reload its list shows every loan of both
        list->reload();
        const QStringList shown = gridAccessions(list);
        QStringList expected = ours + QStringList{QStringLiteral("P-0")}, sorted = shown;
        for (int n = 1; n <= ChildLoans; ++n)
            expected << QStringLiteral("C-%1").arg(n);
        expected.sort(), sorted.sort();
        QCOMPARE(sorted, expected);

        // AND every row is as its own desk saved it, the other desk's return too
        QSqlQuery check(data.observe(DeskFile));
        if (!data.onServer()) {
            QVERIFY(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next());
            QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
            check.finish();
        }
        for (const QVariantMap &row : data.rows(DeskFile, Loans)) {
            const QString accession = row.value(QStringLiteral("AccessionNumber")).toString();
            const QVariantMap loan = accession.startsWith(QStringLiteral("C-")) ? childLoan(accession.mid(2).toInt())
                : QVariantMap{{QStringLiteral("BookTitle"), QStringLiteral("Desk title ") + accession},
                              {QStringLiteral("Status"), QStringLiteral("Student")}};
            for (auto it = loan.cbegin(); it != loan.cend() && accession != QStringLiteral("P-0"); ++it)
                QCOMPARE(row.value(it.key()).toString(), it.value().toString());
            QCOMPARE(row.value(QStringLiteral("Remarks")).toString(),
                     accession == QStringLiteral("C-1") ? QStringLiteral("Returned") : QString());
        }

        // AND the other desk, reading afresh, lists this desk's loans too
        lister.start(QCoreApplication::applicationFilePath(), {"--list-loans", data.path(DeskFile)});
        QVERIFY(lister.waitForFinished(60000) && lister.exitCode() == 0);
        QCOMPARE(QString::fromUtf8(lister.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts), shown);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--save-loans") == 0)
        return saveLoans(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    if (argc == 3 && qstrcmp(argv[1], "--list-loans") == 0)
        return listLoans(QString::fromLocal8Bit(argv[2]));
    TwoDesksTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_twodesks.moc"
