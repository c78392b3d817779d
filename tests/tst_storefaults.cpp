// What the librarian sees when a store cannot be used: one critical box that
// names the file and the problem; the screen that needs it is not shown, and
// the rest of the program goes on.
#include "testsupport.h"

#include "app/menuscreen.h"
#include "app/ui/navigator.h"
#include "app/ui/screennames.h"
#include "store/database.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSqlError>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Damage { NotADatabase, NoTable, NoField };

// Breaks `table` of `file` in the way `how` names.
void damage(TestData &data, const QString &file, const QString &table, const QString &field, Damage how)
{
    switch (how) {
    case Damage::NotADatabase: {
        data.release(file);
        const QString path = data.path(file);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        QFile garbage(path);
        QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
        garbage.write(QByteArray(8192, 'x'));
        break;
    }
    case Damage::NoTable:
        data.exec(file, QStringLiteral("DROP TABLE \"%1\"").arg(table));
        break;
    case Damage::NoField:
        data.exec(file, QStringLiteral("ALTER TABLE \"%1\" DROP COLUMN \"%2\"").arg(table, field));
        break;
    }
    data.release(file);
}

QString problem(const QString &table, const QString &field, Damage how)
{
    switch (how) {
    case Damage::NotADatabase:
        return QStringLiteral("is damaged or is not a Tallymere database");
    case Damage::NoTable:
        return QStringLiteral("has no table %1").arg(table);
    case Damage::NoField:
        return QStringLiteral("has no field \"%1\"").arg(field);
    }
    return {};
}

// Points at a menu item and clicks it, as the user does.
void choose(MenuScreen *menu, QWidget *item)
{
    QWindow *window = menu->windowHandle();
    const QPoint at = item->mapTo(menu, item->rect().center());
    QTest::mouseMove(window, at + QPoint(0, 1));
    QTest::mouseMove(window, at);
    QCoreApplication::processEvents();
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
    flushDeletes();
}

} // namespace

Q_DECLARE_METATYPE(Damage)

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
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<Damage>("how");
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
        const struct {
            const char *name;
            Damage how;
        } damages[] = {{"not a database", Damage::NotADatabase},
                       {"no table", Damage::NoTable},
                       {"no field", Damage::NoField}};
        for (const auto &s : screens)
            for (const auto &d : damages)
                QTest::addRow("%s, %s", s.name, d.name)
                    << QString::fromLatin1(s.item) << s.screen << s.file << s.table << s.field << d.how;
    }

    void shouldNotShowAScreenWhoseTableCannotBeOpened()
    {
        QFETCH(QString, item);
        QFETCH(QString, screen);
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(Damage, how);
        // GIVEN the menu, and a store damaged while the program runs
        TestData data;
        FakeDialogs dialogs;
        QPointer<MenuScreen> menu = Navigator::instance().createAs<MenuScreen>(ScreenNames::Menu);
        QVERIFY(menu);
        menu->show();
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        damage(data, file, table, field, how);

        // WHEN the librarian picks the screen that needs it
        QWidget *picture = menu->findChild<QWidget *>(item);
        QVERIFY(picture);
        choose(menu, picture);

        // THEN one critical box names the file and the problem, the screen
        // is not there, and the menu stays
        QCOMPARE(dialogs.boxes.size(), 1);
        const FakeDialogs::Box box = dialogs.boxes.first();
        QCOMPARE(box.icon, Dialogs::Critical);
        QCOMPARE(box.title, Dialogs::applicationTitle());
        QVERIFY2(box.text.contains(QDir::toNativeSeparators(data.path(file))), qPrintable(box.text));
        QVERIFY2(box.text.contains(problem(table, field, how)), qPrintable(box.text));
        QVERIFY(!Navigator::instance().existing(screen));
        QVERIFY(menu && menu->isVisible());
        QCOMPARE(Navigator::instance().existing(ScreenNames::Menu), menu.data());

        // AND the rest of the program is usable: the utilities open from the
        // same menu and lead back to it
        choose(menu, menu->bgUtility);
        QVERIFY(Navigator::instance().existing(ScreenNames::Utility));
        QVERIFY(menu.isNull());
        QCOMPARE(dialogs.boxes.size(), 1);
    }

    void shouldEndTheProgramWhenTheAccountsCannotBeOpened()
    {
        // GIVEN a desk store without its account table
        TestData data;
        FakeDialogs dialogs;
        damage(data, DeskFile, QStringLiteral("tblUser"), QString(), Damage::NoTable);
        // WHEN the start-up screen hands over to the login
        QVERIFY(Navigator::instance().open(ScreenNames::Splash));
        // THEN one box says why, and the program ends instead of waiting on
        // a start-up screen that leads nowhere
        QTRY_VERIFY_WITH_TIMEOUT(Navigator::instance().quitRequested(), 30000);
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(dialogs.boxes.first().text.contains(QDir::toNativeSeparators(data.path(DeskFile))));
        QVERIFY(dialogs.boxes.first().text.contains(QStringLiteral("has no table tblUser")));
        QVERIFY(!Navigator::instance().existing(ScreenNames::Login));
    }

    void shouldNameADataFolderThatCannotBeMadeOrWritten_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("problem");
        // A file stands where a folder on the path should be.
        QTest::newRow("cannot be created") << QStringLiteral("a-file/Tallymere")
                                           << QStringLiteral("Cannot create the data folder");
        // No program, not even the administrator's, can make files here.
        QTest::newRow("cannot be written") << QStringLiteral("/proc/self")
                                           << QStringLiteral("cannot be written");
    }

    void shouldNameADataFolderThatCannotBeMadeOrWritten()
    {
        QFETCH(QString, folder);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("a-file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString path = QDir::isAbsolutePath(folder) ? folder : dir.filePath(folder);
        FakeDialogs dialogs;
        // WHEN the first start installs the stores there (as the program
        // does before its first screen, and ends after the box)
        const QSqlError error = Database::install(path);
        QVERIFY(error.isValid());
        showDatabaseError(error);
        // THEN one critical box names the folder and the problem
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QVERIFY2(dialogs.boxes.first().text.contains(QDir::toNativeSeparators(path)),
                 qPrintable(dialogs.boxes.first().text));
        QVERIFY2(dialogs.boxes.first().text.contains(problem), qPrintable(dialogs.boxes.first().text));
    }
};

QTEST_MAIN(StoreFaultsTest)
#include "tst_storefaults.moc"
