// What the librarian sees when a store cannot be used: one critical box that
// names the file and the problem; the screen that needs it is not shown, and
// the rest of the program goes on.
#include "testsupport.h"

#include "app/screennames.h"
#include "shell/menuscreen.h"
#include "store/engine/database.h"
#include "store/engine/sqlitesql.h"
#include "store/engine/storeerror.h"
#include "ui/navigator.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSqlError>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

constexpr int Loans = 3000;

// Points at a menu item and clicks it, as the user does.
void choose(MenuScreen *menu, QWidget *item)
{
    const QPoint at = item->mapTo(menu, item->rect().center());
    QTest::mouseMove(menu->windowHandle(), at + QPoint(0, 1));
    QTest::mouseMove(menu->windowHandle(), at);
    QCoreApplication::processEvents();
    QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    flushDeletes();
}

// One critical box naming `path` and `problem`.
void verifyOneBox(const FakeDialogs &dialogs, const QString &store, const QString &problem)
{
    QVERIFY(dialogs.boxes.size() == 1 && dialogs.boxes.first().icon == Dialogs::Critical);
    const QString text = dialogs.boxes.first().text;
    QVERIFY2(text.contains(store) && text.contains(problem), qPrintable(text));
}

} // namespace

class StoreFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void cleanup() { closeAllScreens(); }

    void shouldNotShowAScreenWhoseTableCannotBeOpened_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sql"); // the damage, or empty for a file of garbage
        QTest::addColumn<QString>("problem");
        const struct {
            const char *name, *item;
            QString screen, file, table, field;
        } screens[] = {
            {"loan entry", "bgAdd", ScreenNames::LoanEntry, DeskFile, "tblBorrower", "fines"},
            {"return desk", "bgRetrieve", ScreenNames::ReturnDesk, DeskFile, "tblBorrower", "Overduedays"},
            {"loan list", "bgList", ScreenNames::LoanList, DeskFile, "tblBorrower", "BookTitle"},
            {"library books", "bgLibbooks", ScreenNames::Books, CatalogueFile, "books", "Pages"},
            {"accounts", "bgManage", ScreenNames::Accounts, DeskFile, "tblUser", "Hint"},
        };
        for (const auto &s : screens) {
            auto row = [&s](const char *fault) -> QTestData & {
                return QTest::addRow("%s, %s", s.name, fault) << QString::fromLatin1(s.item) << s.screen << s.file;
            };
            row("not a database") << QString() << "is damaged or is not a Tallymere database";
            row("no table") << QStringLiteral("DROP TABLE \"%1\"").arg(s.table) << QStringLiteral("has no table %1").arg(s.table);
            row("no field") << QStringLiteral("ALTER TABLE \"%1\" DROP COLUMN \"%2\"").arg(s.table, s.field)
                            << QStringLiteral("has no field \"%1\"").arg(s.field);
        }
    }

    void shouldNotShowAScreenWhoseTableCannotBeOpened()
    {
        QFETCH(QString, item);
        QFETCH(QString, screen);
        QFETCH(QString, file);
        QFETCH(QString, sql);
        QFETCH(QString, problem);
        // GIVEN the menu, and a store damaged while the program runs
        DeskData data;
        const FakeDialogs &dialogs = data.dialogs;
        QPointer<MenuScreen> menu = Navigator::instance().createAs<MenuScreen>(ScreenNames::Menu);
        menu->show();
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        if (sql.isEmpty()) {
            if (data.onServer())
                QSKIP("a file of garbage is a fault of the store files");
            data.release(file);
            for (const char *journal : {"-wal", "-shm"})
                QFile::remove(data.path(file) + QLatin1String(journal));
            QFile garbage(data.path(file));
            QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate) && garbage.write(QByteArray(8192, 'x')) == 8192);
        } else {
            // SQLite refuses to drop a column the loan history's triggers
            // name: a tool reshaping the loans drops them first.
            if (sql.contains(QStringLiteral("DROP COLUMN")) && !data.onServer())
                for (const QString &statement : SqliteSql::rebuildHistory())
                    if (statement.startsWith(QStringLiteral("DROP TRIGGER")))
                        data.exec(file, statement);
            data.exec(file, sql);
        }
        data.release(file);

        // WHEN the librarian picks the screen that needs it
        choose(menu, menu->findChild<QWidget *>(item));

        // THEN one critical box names the file and the problem, the screen
        // is not there, and the menu stays
        verifyOneBox(dialogs, data.storeName(file), problem);
        QCOMPARE(dialogs.boxes.value(0).title, Dialogs::applicationTitle());
        QVERIFY(!Navigator::instance().existing(screen) && menu && menu->isVisible());

        // AND the rest of the program is usable: the utilities open from the
        // same menu
        choose(menu, control<MenuItemPicture>(menu, "bgUtility"));
        QVERIFY(Navigator::instance().existing(ScreenNames::Utility) && dialogs.boxes.size() == 1);
    }

    void shouldNameAFullDiskWhenAScreenCannotOpenItsStore()
    {
        // GIVEN the menu, and stores on a disk that has filled up
        DeskData data;
        if (data.onServer())
            QSKIP("a full disk under the store files");
        data.release(DeskFile);
        data.release(CatalogueFile);
        const SmallDisk disk(data.folder());
        if (!disk.mounted())
            QSKIP("a small tmpfs cannot be mounted here (mounting needs root)");
        QVERIFY(disk.fill());
        QPointer<MenuScreen> menu = Navigator::instance().createAs<MenuScreen>(ScreenNames::Menu);
        menu->show();
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        // WHEN the librarian opens the loan list
        choose(menu, control<MenuItemPicture>(menu, "bgList"));
        // THEN one box names the full disk, not the folder's permissions,
        // with the engine's words after it in brackets
        verifyOneBox(data.dialogs, data.storeName(DeskFile), QStringLiteral("is full; free some space on it and try again. ("));
        QVERIFY(!Navigator::instance().existing(ScreenNames::LoanList) && menu->isVisible());
        closeAllScreens();
    }

    void shouldShowDamageTheFirstTimeALoanCannotBeRead_data()
    {
        QTest::addColumn<QString>("arrow");
        QTest::addColumn<int>("clicks"); // at most
        QTest::newRow("last") << "last" << 1;
        QTest::newRow("next, row by row") << "next" << Loans;
    }

    void shouldShowDamageTheFirstTimeALoanCannotBeRead()
    {
        QFETCH(QString, arrow);
        QFETCH(int, clicks);
        // GIVEN a loan store with two pages in the middle overwritten
        DeskData data;
        if (data.onServer())
            QSKIP("damaged pages are a fault of the store files");
        data.exec(DeskFile, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                           "INSERT INTO tblBorrower (AccessionNumber, BookTitle) "
                                           "SELECT 'N' || i, hex(zeroblob(60)) FROM n").arg(Loans));
        // The pages in the middle are the loans', not their history's.
        data.exec(DeskFile, QStringLiteral("DELETE FROM tallymere_history"));
        data.exec(DeskFile, QStringLiteral("VACUUM"));
        data.exec(DeskFile, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        data.release(DeskFile);
        QFile file(data.path(DeskFile));
        constexpr qint64 Page = 4096;
        QVERIFY(file.open(QIODevice::ReadWrite) && file.size() > 40 * Page && file.seek(file.size() / 2 / Page * Page));
        QVERIFY(file.write(QByteArray(2 * Page, '\xa5')) == 2 * Page && file.flush());
        file.close();

        // WHEN the librarian opens the loan list and moves through it
        QWidget *list = Navigator::instance().open(ScreenNames::LoanList);
        QVERIFY(list && data.dialogs.boxes.isEmpty());
        auto *grid = control<QTableView>(list, "DataGrid1");
        int clicked = 0;
        while (clicked < clicks && data.dialogs.boxes.isEmpty()) {
            control<QToolButton>(list, qPrintable(arrow))->click();
            ++clicked;
            QCoreApplication::processEvents();
        }

        // THEN the first read that fails shows one box naming the store and
        // the check, the engine's words in brackets after the sentence
        QTRY_COMPARE(data.dialogs.boxes.size(), 1);
        const QString text = data.dialogs.boxes.first().text;
        QVERIFY2(text.startsWith(QStringLiteral("The store %1 is damaged").arg(data.storeName(DeskFile)))
                     && text.contains(QStringLiteral("; run tallymere-admin check to see what is wrong. ("))
                     && text.endsWith(QLatin1Char(')')),
                 qPrintable(text));
        QVERIFY(grid->currentIndex().row() < Loans - 1);
        if (arrow == QLatin1String("last"))
            QCOMPARE(grid->currentIndex().row(), 0); // not the last row read, as if it were the last
        // AND the screen stays usable: the first row is shown again, and Main
        // leads back to the menu
        control<QToolButton>(list, "first")->click();
        QCOMPARE(grid->currentIndex().row(), 0);
        control<QPushButton>(list, "cmdMain")->click();
        flushDeletes();
        QVERIFY(Navigator::instance().existing(ScreenNames::Menu) && data.dialogs.boxes.size() == 1);
    }

    void shouldEndTheProgramWhenTheAccountsCannotBeOpened()
    {
        // GIVEN a desk store without its account table
        DeskData data;
        data.exec(DeskFile, QStringLiteral("DROP TABLE tblUser"));
        data.release(DeskFile);
        // WHEN the start-up screen hands over to the login
        QVERIFY(Navigator::instance().open(ScreenNames::Splash));
        // THEN one box says why, and the program ends instead of waiting on
        // a start-up screen that leads nowhere
        QTRY_VERIFY_WITH_TIMEOUT(Navigator::instance().quitRequested(), 30000);
        verifyOneBox(data.dialogs, data.storeName(DeskFile), QStringLiteral("has no table tblUser"));
        QVERIFY(!Navigator::instance().existing(ScreenNames::Login));
    }

    void shouldNameADataFolderThatCannotBeMadeOrWritten()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("a-file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        // A file stands where a folder on the path should be; no program,
        // not even the administrator's, can make files in /proc/self.
        for (const auto &[path, problem] : {std::pair{dir.filePath(QStringLiteral("a-file/Tallymere")), QStringLiteral("Cannot create the data folder")},
                                            std::pair{QStringLiteral("/proc/self"), QStringLiteral("cannot be written")}}) {
            // WHEN the first start installs the stores there (as the program
            // does before its first screen, and ends after the box) THEN one
            // critical box names the folder and the problem
            FakeDialogs dialogs;
            const StoreError error = Database::install(path);
            QVERIFY(error.isValid());
            dialogs.showDatabaseError(error);
            verifyOneBox(dialogs, path, problem);
        }
    }
};

QTEST_MAIN(StoreFaultsTest)
#include "tst_storefaults.moc"
