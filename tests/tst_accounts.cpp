// The account screen, driven as the librarian changes the desk password,
// with the account table checked from outside and the new password tried
// at the login.
#include "testsupport.h"

#include "accounts/accountscreen.h"
#include "app/loginscreen.h"
#include "app/menuscreen.h"
#include "app/ui/navigationbar.h"
#include "app/ui/navigator.h"
#include "app/ui/widgets.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

#include <optional>

namespace {

const QString Accounts = QStringLiteral("frmUser");
const QString Users = QStringLiteral("tblUser");
const QString SeedPassword = QStringLiteral("tallymere");
const QString Incomplete = QStringLiteral("Incomplete Information!");
const QString SameAsHint = QStringLiteral("You password and passwordhint must not be the same");
const QString NoMatch = QStringLiteral("password not match");
const QString SaveQuestion = QStringLiteral("Are you sure you want to save changes?");
const QString Saved =
    QStringLiteral("Account has been Successfully Updated.Program will restart to update your new password.");
const QString OnlyPassword = QStringLiteral("Only Password can edit");

AccountScreen *openAccounts()
{
    auto *screen = qobject_cast<AccountScreen *>(Navigator::instance().open(Accounts));
    return screen && QTest::qWaitForWindowExposed(screen) ? screen : nullptr;
}

// Replaces the text of `box` as typed from the keyboard.
void retype(QLineEdit *box, const QString &text)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

void typeChange(AccountScreen *s, const QString &password, const QString &confirm, const QString &hint)
{
    retype(s->txtpass, password);
    retype(s->txtretype, confirm);
    retype(s->txthint, hint);
}

void addAccount(TestData &data, const QString &user, const QString &password, const QString &hint)
{
    data.exec(DeskFile, QStringLiteral("INSERT INTO tblUser (Username, Password, Confirm, Hint) VALUES (?, ?, ?, ?)"),
              {user, password, password, hint});
}

struct Looks {
    bool editing;        // the labels swapped by Edit
    bool passwordsOn;    // password and confirm boxes enabled
    bool saveOn;
    bool cancelOn;
};

bool looks(AccountScreen *s, Looks want)
{
    // isHidden(), not isVisible(): a screen made unseen is judged as it will show.
    return s->lblAdmin->isHidden() != want.editing && s->lblnew->isHidden() != want.editing
           && s->lbluser->isHidden() == want.editing && s->lblpass->isHidden() == want.editing
           && s->txtuname->isHidden() == want.editing && s->txtpass->isEnabled() == want.passwordsOn
           && s->txtretype->isEnabled() == want.passwordsOn && s->txthint->isEnabled() && s->cmdEdit->isEnabled()
           && s->cmdSave->isEnabled() == want.saveOn && s->cmdCancel->isEnabled() == want.cancelOn
           && s->cmdMain->isEnabled();
}

QStringList shown(AccountScreen *s)
{
    return {s->txtuname->text(), s->txtpass->text(), s->txtretype->text(), s->txthint->text()};
}

QStringList account(const QVariantMap &row)
{
    return {row.value("Username").toString(), row.value("Password").toString(), row.value("Confirm").toString(),
            row.value("Hint").toString()};
}

// Chooses the menu's MANAGE ACCOUNTS item as the user does:
// the pointer brings up the highlight, which takes the click.
void chooseManageAccounts(MenuScreen *menu)
{
    const auto at = [menu](QWidget *w) { return w->mapTo(menu, w->rect().center()); };
    QTest::mouseMove(menu->windowHandle(), at(menu->bgManage) + QPoint(0, 1));
    QTest::mouseMove(menu->windowHandle(), at(menu->bgManage));
    QCoreApplication::processEvents();
    QTest::mouseClick(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(menu->mManage));
    flushDeletes();
}

// The box as "text | title | icon | buttons", so one comparison shows it all.
QString describe(const FakeDialogs::Box &box)
{
    return QStringLiteral("%1 | %2 | %3 | %4").arg(box.text, box.title).arg(box.icon).arg(box.buttons);
}

QString describe(const QString &text, const QString &title, Dialogs::Icon icon, Dialogs::Buttons buttons)
{
    return describe(FakeDialogs::Box{text, title, icon, buttons});
}

bool holdsFocus(QWidget *w)
{
    QWidget *focused = QApplication::focusWidget();
    return focused && (focused == w || w->isAncestorOf(focused));
}

} // namespace

class AccountsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init()
    {
        QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());
        data.emplace();
        dialogs.emplace();
        seeded = account(data->rows(DeskFile, Users).first());
    }
    void cleanup()
    {
        closeAllScreens();
        dialogs.reset();
        data.reset();
    }

    // --- Edit -----------------------------------------------------------------

    void shouldSwapTheLabelsAndEmptyOnlyTheBoxesOnEdit_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("warned");
        QTest::newRow("Administrator") << "Administrator" << true;
        QTest::newRow("lower-case administrator") << "administrator" << false;
        QTest::newRow("Administrator with a space") << "Administrator " << false;
        QTest::newRow("another account") << "1001" << false;
    }

    void shouldSwapTheLabelsAndEmptyOnlyTheBoxesOnEdit()
    {
        QFETCH(QString, user);
        QFETCH(bool, warned);
        data->exec(DeskFile, QStringLiteral("UPDATE tblUser SET Username = ?"), {user});
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        // GIVEN the account as it opens: everything enabled, the row shown
        QVERIFY(looks(screen, {false, true, true, true}));
        QCOMPARE(shown(screen), (QStringList{user, seeded[1], seeded[2], seeded[3]}));
        QCOMPARE(screen->txtpass->echoMode(), QLineEdit::Password);
        QCOMPARE(screen->txtretype->echoMode(), QLineEdit::Password);

        // WHEN Edit is pressed
        screen->cmdEdit->click();

        // THEN only "Administrator" itself is told that just the password changes
        QCOMPARE(dialogs->boxes.size(), warned ? 1 : 0);
        if (warned)
            QCOMPARE(describe(dialogs->boxes.first()),
                     describe(OnlyPassword, "Tallymere", Dialogs::Information, Dialogs::Ok));
        QVERIFY(looks(screen, {true, true, true, true}));
        QVERIFY(!screen->txtuname->isEnabled());
        QCOMPARE(shown(screen), (QStringList{user, "", "", ""}));
        // and the emptied boxes are not the stored row
        QCOMPARE(account(data->rows(DeskFile, Users).first()), (QStringList{user, seeded[1], seeded[2], seeded[3]}));
    }

    // --- Save: the three checks -----------------------------------------------

    void shouldRefuseTheSaveOrAskAndStoreNothing_data()
    {
        QTest::addColumn<QStringList>("typed"); // password, confirmation, hint
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("hintAfter");
        const QString incomplete = describe(Incomplete, "Admin account", Dialogs::NoIcon, Dialogs::Ok);
        const QString sameAsHint = describe(SameAsHint, "Password", Dialogs::Information, Dialogs::Ok);
        const QString noMatch = describe(NoMatch, "admin account", Dialogs::Information, Dialogs::Ok);
        QTest::newRow("confirmation empty") << QStringList{"Quill42", "", "ink"} << incomplete << "ink";
        QTest::newRow("password empty") << QStringList{"", "Quill42", "ink"} << incomplete << "ink";
        QTest::newRow("hint empty") << QStringList{"Quill42", "Quill42", ""} << incomplete << "";
        QTest::newRow("password is the hint") << QStringList{"Quill42", "Quill42", "Quill42"} << sameAsHint << "";
        QTest::newRow("confirmation differs in case") << QStringList{"Quill42", "quill42", "ink"} << noMatch << "ink";
        QTest::newRow("confirmation differs by a space") << QStringList{"Quill42", "Quill42 ", "ink"} << noMatch
                                                         << "ink";
        // The checks run in order and stop at the first refusal.
        QTest::newRow("incomplete before same as hint") << QStringList{"Quill42", "", "Quill42"} << incomplete
                                                        << "Quill42";
        QTest::newRow("same as hint before no match") << QStringList{"Quill42", "other", "Quill42"} << sameAsHint
                                                      << "";
        // Every check passed, the question is answered No.
        QTest::newRow("answered No") << QStringList{"Quill42", "Quill42", "ink"}
                                     << describe(SaveQuestion, "Save Changes", Dialogs::Question, Dialogs::YesNo)
                                     << "ink";
    }

    void shouldRefuseTheSaveOrAskAndStoreNothing()
    {
        QFETCH(QStringList, typed);
        QFETCH(QString, box);
        QFETCH(QString, hintAfter);
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        screen->cmdEdit->click();
        dialogs->clear();
        typeChange(screen, typed[0], typed[1], typed[2]);

        screen->cmdSave->click(); // a question is answered No

        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(describe(dialogs->boxes.first()), box);
        QCOMPARE(shown(screen), (QStringList{seeded[0], typed[0], typed[1], hintAfter}));
        QVERIFY(looks(screen, {true, true, true, true}));
        QCOMPARE(account(data->rows(DeskFile, Users).first()), seeded);
        QVERIFY(screen->isVisible());
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmLogin")));
    }

    void shouldStoreExactlyWhatWasTypedOnceConfirmed_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::newRow("a single space is not empty") << QStringList{" ", " ", " hint "};
        QTest::newRow("hint differs only in case") << QStringList{"Quill42", "Quill42", "quill42"};
        QTest::newRow("surrounding spaces kept") << QStringList{"  Quill 42 ", "  Quill 42 ", "Ink"};
        QTest::newRow("quotes and pattern characters")
            << QStringList{"O'Neil\";--", "O'Neil\";--", "it's 100% *_x_* [a]"};
    }

    void shouldStoreExactlyWhatWasTypedOnceConfirmed()
    {
        QFETCH(QStringList, typed);
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        screen->cmdEdit->click();
        dialogs->clear();
        typeChange(screen, typed[0], typed[1], typed[2]);
        dialogs->answers << Dialogs::AnswerYes;

        screen->cmdSave->click();

        QCOMPARE(dialogs->boxes.size(), 2);
        QCOMPARE(describe(dialogs->boxes[0]),
                 describe(SaveQuestion, "Save Changes", Dialogs::Question, Dialogs::YesNo));
        QCOMPARE(describe(dialogs->boxes[1]), describe(Saved, " Account", Dialogs::NoIcon, Dialogs::Ok));
        const auto rows = data->rows(DeskFile, Users);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(account(rows.first()), (QStringList{seeded[0], typed[0], typed[1], typed[2]}));
    }

    // Without Edit the boxes are open as well, the user name among them.
    void shouldSaveWithoutEditAndStoreAChangedUserName()
    {
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        retype(screen->txtuname, "1001");
        typeChange(screen, "Quill42", "Quill42", "ink");
        dialogs->answers << Dialogs::AnswerYes;
        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 2);
        QCOMPARE(dialogs->boxes.last().text, Saved);
        QCOMPARE(account(data->rows(DeskFile, Users).first()), (QStringList{"1001", "Quill42", "Quill42", "ink"}));
    }

    // --- after a save ---------------------------------------------------------

    void shouldReturnToTheLoginWhereOnlyTheNewPasswordLogsIn()
    {
        // GIVEN a confirmed change of the desk password
        QPointer<AccountScreen> screen = openAccounts();
        QVERIFY(screen);
        screen->cmdEdit->click();
        typeChange(screen, "Quill42", "Quill42", "ink");
        dialogs->clear();
        dialogs->answers << Dialogs::AnswerYes;
        screen->cmdSave->click();
        flushDeletes();

        // THEN the login is shown and the screen is made again, unseen, locked
        QVERIFY(screen.isNull());
        auto *login = Navigator::instance().existingAs<LoginScreen>(QStringLiteral("frmLogin"));
        QVERIFY(login && login->isVisible());
        QPointer<AccountScreen> unseen = Navigator::instance().existingAs<AccountScreen>(Accounts);
        QVERIFY(unseen && !unseen->isVisible());
        QVERIFY(looks(unseen, {false, false, false, false}));
        QCOMPARE(shown(unseen), (QStringList{seeded[0], "Quill42", "Quill42", "ink"}));

        // WHEN the old password is tried, then the new one
        QVERIFY(QTest::qWaitForWindowExposed(login));
        dialogs->clear();
        QTest::keyClicks(login->txtPassword, SeedPassword);
        login->cmdLogin->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, QStringLiteral("Your password is Invalid!"));
        QTest::keyClicks(login->txtPassword, "Quill42");
        login->cmdLogin->click();
        flushDeletes();
        QCOMPARE(dialogs->boxes.size(), 1);
        auto *menu = Navigator::instance().existingAs<MenuScreen>(QStringLiteral("frmMenu"));
        QVERIFY(menu && menu->isVisible());

        // THEN MANAGE ACCOUNTS shows the unseen screen as it was left
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        chooseManageAccounts(menu);
        QCOMPARE(Navigator::instance().existingAs<AccountScreen>(Accounts), unseen.data());
        QVERIFY(unseen->isVisible());
        QVERIFY(looks(unseen, {false, false, false, false}));
        // and Edit opens the passwords again, with Cancel still off
        unseen->cmdEdit->click();
        QVERIFY(looks(unseen, {true, true, true, false}));
    }

    // --- Cancel and leaving ---------------------------------------------------

    void shouldKeepCancelOffAndStoreNothingUntilASave_data()
    {
        QTest::addColumn<bool>("throughTheWindow"); // else by Main Menu
        QTest::newRow("left by Main Menu") << false;
        QTest::newRow("closed through the window system") << true;
    }

    void shouldKeepCancelOffAndStoreNothingUntilASave()
    {
        QFETCH(bool, throughTheWindow);
        QPointer<AccountScreen> screen = openAccounts();
        QVERIFY(screen);
        screen->cmdEdit->click();
        typeChange(screen, "Quill42", "Quill42", "ink");
        dialogs->clear();

        // No: nothing changes.
        dialogs->answers << Dialogs::AnswerNo;
        screen->cmdCancel->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(describe(dialogs->boxes.first()),
                 describe("are you sure you want to cancel?", "Cancel", Dialogs::Question, Dialogs::YesNo));
        QVERIFY(looks(screen, {true, true, true, true}));

        // Yes: the passwords lock, the layout and the texts stay.
        dialogs->answers << Dialogs::AnswerYes;
        screen->cmdCancel->click();
        QVERIFY(looks(screen, {true, false, false, false}));
        QCOMPARE(shown(screen), (QStringList{seeded[0], "Quill42", "Quill42", "ink"}));

        // A second Edit empties the boxes again; Cancel stays off.
        screen->cmdEdit->click();
        QVERIFY(looks(screen, {true, true, true, false}));
        QCOMPARE(shown(screen), (QStringList{seeded[0], "", "", ""}));

        // Leaving with the edit open stores nothing.
        if (throughTheWindow)
            screen->close();
        else
            screen->cmdMain->click();
        flushDeletes();
        QVERIFY(screen.isNull());
        QCOMPARE(Navigator::instance().existing(QStringLiteral("frmMenu")) != nullptr, !throughTheWindow);
        QCOMPARE(account(data->rows(DeskFile, Users).first()), seeded);

        // Opened again, the screen is fresh.
        screen = openAccounts();
        QVERIFY(looks(screen, {false, true, true, true}));
        QCOMPARE(shown(screen), seeded);
    }

    // --- the navigation bar ---------------------------------------------------

    void shouldChangeTheRowChosenWithTheBar()
    {
        addAccount(*data, "1002", "Second1", "second hint");
        addAccount(*data, "1003", "Third1", "third hint");
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        auto *next = screen->Data1Bar->findChild<QToolButton *>(QStringLiteral("next"));
        QVERIFY(next);
        QCOMPARE(screen->Data1Bar->caption(), QStringLiteral("Data1"));

        // An edit left open on the first row is dropped by the move.
        screen->cmdEdit->click();
        next->click();
        QCOMPARE(shown(screen), (QStringList{"1002", "Second1", "Second1", "second hint"}));

        screen->cmdEdit->click();
        typeChange(screen, "Quill42", "Quill42", "ink");
        dialogs->clear();
        dialogs->answers << Dialogs::AnswerYes;
        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 2); // no "Only Password" for 1002
        QCOMPARE(dialogs->boxes.last().text, Saved);

        const auto rows = data->rows(DeskFile, Users);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(account(rows[0]), seeded);
        QCOMPARE(account(rows[1]), (QStringList{"1002", "Quill42", "Quill42", "ink"}));
        QCOMPARE(account(rows[2]), (QStringList{"1003", "Third1", "Third1", "third hint"}));
    }

    // --- an empty table and a refusing store ---------------------------------

    void shouldStoreNothingAndReportNoSuccessOnAnEmptyTable()
    {
        data->exec(DeskFile, QStringLiteral("DELETE FROM tblUser"));
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        QCOMPARE(shown(screen), QStringList(4, QString()));
        screen->cmdEdit->click();
        typeChange(screen, "Quill42", "Quill42", "ink");
        dialogs->answers << Dialogs::AnswerYes;
        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.size(), 0);
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(data->count(DeskFile, Users), 0);
        QVERIFY(screen->isVisible());
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmLogin")));
    }

    void shouldKeepTheEditOpenWhenTheStoreIsLocked()
    {
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        screen->cmdEdit->click();
        typeChange(screen, "Quill42", "Quill42", "ink");
        dialogs->clear();
        QSqlDatabase other = data->observe(DeskFile);
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        dialogs->answers << Dialogs::AnswerYes;
        screen->cmdSave->click();
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("ROLLBACK")));

        QCOMPARE(dialogs->boxes.size(), 2);
        QCOMPARE(dialogs->boxes.last().icon, Dialogs::Critical);
        QVERIFY2(dialogs->boxes.last().text.contains("locked"), qPrintable(dialogs->boxes.last().text));
        QVERIFY(!dialogs->boxes.last().text.contains("Quill42"));
        QVERIFY(screen->isVisible());
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmLogin")));
        QCOMPARE(account(data->rows(DeskFile, Users).first()), seeded);

        dialogs->answers << Dialogs::AnswerYes;
        screen->cmdSave->click();
        QCOMPARE(dialogs->boxes.last().text, Saved);
        QCOMPARE(account(data->rows(DeskFile, Users).first()), (QStringList{seeded[0], "Quill42", "Quill42", "ink"}));
    }

    // --- keyboard -------------------------------------------------------------

    void shouldWorkWithTabSpaceAndEnterAlongTheTabOrder()
    {
        AccountScreen *screen = openAccounts();
        QVERIFY(QTest::qWaitForWindowActive(screen));
        QTRY_VERIFY(holdsFocus(screen->cmdEdit));
        const auto tab = [](QWidget *expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            return holdsFocus(expected);
        };
        for (QWidget *next : QList<QWidget *>{screen->cmdSave, screen->cmdCancel, screen->cmdMain, screen->txthint,
                                              screen->txtretype, screen->txtpass, screen->txtuname, screen->cmdEdit})
            QVERIFY2(tab(next), qPrintable(next->objectName()));

        // Space presses Edit; the new password is typed where it is asked for.
        QTest::keyClick(screen->cmdEdit, Qt::Key_Space);
        QVERIFY(looks(screen, {true, true, true, true}));
        QVERIFY(holdsFocus(screen->txtpass));
        QTest::keyClicks(screen->txtpass, "Quill42");
        // The user-name box is hidden now, so Tab passes it by.
        QVERIFY(tab(screen->cmdEdit));
        QVERIFY(tab(screen->cmdSave));
        QVERIFY(tab(screen->cmdCancel));
        // Enter presses the focused button: Cancel, answered No.
        dialogs->clear();
        QTest::keyClick(screen->cmdCancel, Qt::Key_Return);
        QCOMPARE(dialogs->boxes.size(), 1);
        QVERIFY(looks(screen, {true, true, true, true}));
        QVERIFY(tab(screen->cmdMain));
        QVERIFY(tab(screen->txthint));
        QTest::keyClicks(screen->txthint, "ink");
        QVERIFY(tab(screen->txtretype));
        QTest::keyClicks(screen->txtretype, "Quill42");
        // Enter in a box saves.
        dialogs->answers << Dialogs::AnswerYes;
        QTest::keyClick(screen->txtretype, Qt::Key_Return);
        QCOMPARE(dialogs->boxes.size(), 3);
        QCOMPARE(dialogs->boxes.last().text, Saved);
        QCOMPARE(account(data->rows(DeskFile, Users).first()), (QStringList{seeded[0], "Quill42", "Quill42", "ink"}));
    }

private:
    std::optional<TestData> data;
    std::optional<FakeDialogs> dialogs;
    QStringList seeded; // the installed account: user, password, confirmation, hint
};

QTEST_MAIN(AccountsTest)
#include "tst_accounts.moc"
