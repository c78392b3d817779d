// The account screen, driven as the librarian changes the desk password,
// with the account table checked from outside and the new password tried
// at the login.
#include "testsupport.h"

#include "accounts/accountscreen.h"
#include "shell/loginscreen.h"
#include "shell/menuscreen.h"
#include "ui/navigationbar.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

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
const QString SaveQuestion = QStringLiteral("Are you sure you want to save changes?");
const QString Saved =
    QStringLiteral("Account has been Successfully Updated.Program will restart to update your new password.");
const QStringList Changed{"Quill42", "Quill42", "ink"}; // password, confirmation, hint

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

// Types the password, its confirmation and the hint.
void typeChange(AccountScreen *s, const QStringList &typed = Changed)
{
    retype(control<QLineEdit>(s, "txtpass"), typed[0]);
    retype(control<QLineEdit>(s, "txtretype"), typed[1]);
    retype(control<QLineEdit>(s, "txthint"), typed[2]);
}

// The screen's look: the labels swapped by Edit, the password boxes, Save and Cancel usable.
bool looks(AccountScreen *s, bool editing, bool passwordsOn, bool saveOn, bool cancelOn)
{
    // isHidden(), not isVisible(): a screen made unseen is judged as it will show.
    return control<QLabel>(s, "lblAdmin")->isHidden() != editing && control<QLabel>(s, "lblnew")->isHidden() != editing
           && control<QLabel>(s, "lbluser")->isHidden() == editing && control<QLabel>(s, "lblpass")->isHidden() == editing
           && control<QLineEdit>(s, "txtuname")->isHidden() == editing && control<QLineEdit>(s, "txtpass")->isEnabled() == passwordsOn
           && control<QLineEdit>(s, "txtretype")->isEnabled() == passwordsOn && control<QLineEdit>(s, "txthint")->isEnabled() && control<PushButton>(s, "cmdEdit")->isEnabled()
           && control<PushButton>(s, "cmdSave")->isEnabled() == saveOn && control<PushButton>(s, "cmdCancel")->isEnabled() == cancelOn && control<PushButton>(s, "cmdMain")->isEnabled();
}

QStringList shown(AccountScreen *s)
{
    return {control<QLineEdit>(s, "txtuname")->text(), control<QLineEdit>(s, "txtpass")->text(), control<QLineEdit>(s, "txtretype")->text(), control<QLineEdit>(s, "txthint")->text()};
}

QStringList account(const QVariantMap &r)
{
    return {r.value("Username").toString(), r.value("Password").toString(), r.value("Confirm").toString(), r.value("Hint").toString()};
}

// The box as "text | title | icon | buttons", so one comparison shows it all.
QString describe(const QString &text, const QString &title, int icon, int buttons)
{
    return QStringLiteral("%1 | %2 | %3 | %4").arg(text, title).arg(icon).arg(buttons);
}
QString describe(const FakeDialogs::Box &box) { return describe(box.text, box.title, box.icon, box.buttons); }

bool holdsFocus(QWidget *w)
{
    return QApplication::focusWidget() && (QApplication::focusWidget() == w || w->isAncestorOf(QApplication::focusWidget()));
}

bool tabTo(QWidget *expected)
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    return holdsFocus(expected);
}

} // namespace

class AccountsTest : public QObject
{
    Q_OBJECT

    // The account screen with a change typed after Edit, no box recorded yet.
    AccountScreen *openEdited(const QStringList &typed = Changed)
    {
        AccountScreen *screen = openAccounts();
        if (screen) {
            control<PushButton>(screen, "cmdEdit")->click();
            typeChange(screen, typed);
        }
        dialogs->clear();
        return screen;
    }
    QStringList storedAccount() { return account(data->rows(DeskFile, Users).first()); }
    // The seeded account with the password, confirmation and hint changed.
    QStringList seededWith() { return QStringList{seeded[0]} + Changed; }

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init()
    {
        QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight());
        data.emplace();
        dialogs = &data->dialogs;
        seeded = storedAccount();
    }
    void cleanup()
    {
        closeAllScreens();
        data.reset();
    }

    void shouldSwapTheLabelsOnEditThenRefuseTheSaveOrAskAndStoreNothing_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("typed"); // password, confirmation, hint
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("hintAfter");
        const QString incomplete = describe("Incomplete Information!", "Admin account", Dialogs::NoIcon, Dialogs::Ok);
        const QString sameAsHint = describe("You password and passwordhint must not be the same", "Password", Dialogs::Information, Dialogs::Ok);
        const QString noMatch = describe("password not match", "admin account", Dialogs::Information, Dialogs::Ok);
        // Only "Administrator" itself is told on Edit that just the password changes.
        // Each of the three boxes is required on its own.
        QTest::newRow("confirmation empty, lower-case administrator")
            << "administrator" << QStringList{"Quill42", "", "ink"} << incomplete << "ink";
        QTest::newRow("password empty") << "Administrator" << QStringList{"", "Quill42", "ink"} << incomplete << "ink";
        QTest::newRow("hint empty") << "Administrator" << QStringList{"Quill42", "Quill42", ""} << incomplete << "";
        QTest::newRow("password is the hint, Administrator with a space") << "Administrator " << QStringList{"Quill42", "Quill42", "Quill42"} << sameAsHint << "";
        QTest::newRow("confirmation differs in case") << "Administrator" << QStringList{"Quill42", "quill42", "ink"} << noMatch << "ink";
        QTest::newRow("confirmation differs by a space") << "Administrator" << QStringList{"Quill42", "Quill42 ", "ink"} << noMatch << "ink";
        // The checks run in order and stop at the first refusal.
        QTest::newRow("incomplete before same as hint") << "Administrator" << QStringList{"Quill42", "", "Quill42"} << incomplete << "Quill42";
        QTest::newRow("same as hint before no match") << "Administrator" << QStringList{"Quill42", "other", "Quill42"} << sameAsHint << "";
        // Every check passed, the question is answered No.
        QTest::newRow("answered No") << "Administrator" << Changed << describe(SaveQuestion, "Save Changes", Dialogs::Question, Dialogs::YesNo) << "ink";
    }

    void shouldSwapTheLabelsOnEditThenRefuseTheSaveOrAskAndStoreNothing()
    {
        QFETCH(QString, user);
        QFETCH(QStringList, typed);
        QFETCH(QString, box);
        QFETCH(QString, hintAfter);
        data->exec(DeskFile, QStringLiteral("UPDATE tblUser SET Username = ?"), {user});
        const QStringList before = storedAccount();
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        QVERIFY(looks(screen, false, true, true, true));
        QCOMPARE(shown(screen), before);
        QVERIFY(control<QLineEdit>(screen, "txtpass")->echoMode() == QLineEdit::Password && control<QLineEdit>(screen, "txtretype")->echoMode() == QLineEdit::Password);

        control<PushButton>(screen, "cmdEdit")->click();
        const bool warned = user == QStringLiteral("Administrator");
        QCOMPARE(dialogs->boxes.size(), warned ? 1 : 0);
        if (warned)
            QCOMPARE(describe(dialogs->boxes.first()), describe("Only Password can edit", "Tallymere", Dialogs::Information, Dialogs::Ok));
        QVERIFY(looks(screen, true, true, true, true));
        QCOMPARE(shown(screen), (QStringList{user, "", "", ""}));

        dialogs->clear();
        typeChange(screen, typed);
        control<PushButton>(screen, "cmdSave")->click(); // a question is answered No
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(describe(dialogs->boxes.first()), box);
        QCOMPARE(shown(screen), (QStringList{user, typed[0], typed[1], hintAfter}));
        QVERIFY(looks(screen, true, true, true, true));
        QCOMPARE(storedAccount(), before);
    }

    void shouldStoreExactlyWhatWasTypedInTheChosenRowOnceConfirmed_data()
    {
        QTest::addColumn<QString>("user"); // typed without Edit when set
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<bool>("second"); // the second row chosen with the bar
        QTest::newRow("a single space is not empty") << "" << QStringList{" ", " ", " hint "} << false;
        QTest::newRow("hint differs only in case") << "" << QStringList{"Quill42", "Quill42", "quill42"} << false;
        QTest::newRow("quotes and pattern characters") << "" << QStringList{"O'Neil\";--", "O'Neil\";--", "it's 100% *_x_* [a]"} << false;
        // Without Edit the boxes are open as well, the user name among them.
        QTest::newRow("a user name changed without Edit") << "1001" << Changed << false;
        QTest::newRow("the second row") << "" << Changed << true;
    }

    void shouldStoreExactlyWhatWasTypedInTheChosenRowOnceConfirmed()
    {
        QFETCH(QString, user);
        QFETCH(QStringList, typed);
        QFETCH(bool, second);
        for (const char *other : {"1002", "1003"})
            data->exec(DeskFile, QStringLiteral("INSERT INTO tblUser (Username, Password, Confirm, Hint) VALUES (?, 'p', 'p', 'h')"), {other});
        QList<QStringList> expected{seeded, {"1002", "p", "p", "h"}, {"1003", "p", "p", "h"}};
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        if (second) {
            // An edit left open on the first row is dropped by the move.
            control<PushButton>(screen, "cmdEdit")->click();
            control<NavigationBar>(screen, "Data1Bar")->arrows().at(2)->click();
            QCOMPARE(shown(screen), expected[1]);
        }
        if (user.isEmpty())
            control<PushButton>(screen, "cmdEdit")->click();
        else
            retype(control<QLineEdit>(screen, "txtuname"), user);
        dialogs->clear();
        typeChange(screen, typed);
        dialogs->answers << Dialogs::AnswerYes;
        control<PushButton>(screen, "cmdSave")->click();

        QCOMPARE(dialogs->boxes.size(), 2); // the question and the success, no "Only Password" for 1002
        QCOMPARE(describe(dialogs->boxes[1]), describe(Saved, " Account", Dialogs::NoIcon, Dialogs::Ok));
        expected[second] = QStringList{user.isEmpty() ? expected[second][0] : user} + typed;
        QList<QStringList> stored;
        for (const QVariantMap &row : data->rows(DeskFile, Users))
            stored << account(row);
        QCOMPARE(stored, expected);
    }

    void shouldKeepCancelOffAndStoreNothingUntilASave_data()
    {
        QTest::addColumn<bool>("throughTheWindow"); // else by Main Menu
        QTest::newRow("left by Main Menu") << false;
        QTest::newRow("closed through the window system") << true;
    }

    void shouldKeepCancelOffAndStoreNothingUntilASave()
    {
        QFETCH(bool, throughTheWindow);
        QPointer<AccountScreen> screen = openEdited();
        QVERIFY(screen);
        dialogs->answers << Dialogs::AnswerNo << Dialogs::AnswerYes;
        control<PushButton>(screen, "cmdCancel")->click(); // No: nothing changes
        QCOMPARE(describe(dialogs->boxes.first()),
                 describe("are you sure you want to cancel?", "Cancel", Dialogs::Question, Dialogs::YesNo));
        QVERIFY(looks(screen, true, true, true, true));
        control<PushButton>(screen, "cmdCancel")->click(); // Yes: the passwords lock, the layout and the texts stay
        QVERIFY(looks(screen, true, false, false, false));
        QCOMPARE(shown(screen), seededWith());

        // Leaving with the edit open stores nothing; opened again, the screen is fresh.
        throughTheWindow ? void(screen->close()) : control<PushButton>(screen, "cmdMain")->click();
        flushDeletes();
        QVERIFY(screen.isNull());
        QCOMPARE(Navigator::instance().existing(QStringLiteral("frmMenu")) != nullptr, !throughTheWindow);
        QCOMPARE(storedAccount(), seeded);
        screen = openAccounts();
        QVERIFY(looks(screen, false, true, true, true) && shown(screen) == seeded);
    }

    void shouldStoreNothingAndReportNoSuccessOnAnEmptyTable()
    {
        data->exec(DeskFile, QStringLiteral("DELETE FROM tblUser"));
        AccountScreen *screen = openAccounts();
        QVERIFY(screen);
        QCOMPARE(shown(screen), QStringList(4, QString()));
        control<PushButton>(screen, "cmdEdit")->click();
        typeChange(screen);
        dialogs->answers << Dialogs::AnswerYes;
        control<PushButton>(screen, "cmdSave")->click();
        QVERIFY(dialogs->boxes.isEmpty() && dialogs->beeps == 1);
        QCOMPARE(data->count(DeskFile, Users), 0);
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmLogin")));
    }

    void shouldSayWhyTheNextAccountCannotBeReadAndKeepTheOneShown()
    {
        // GIVEN the account screen on the first of two accounts
        data->exec(DeskFile, QStringLiteral("INSERT INTO tblUser (Username, Password, Confirm, Hint) VALUES ('1002', 'p', 'p', 'h')"));
        AccountScreen *screen = openAccounts();
        QVERIFY(screen && dialogs->boxes.isEmpty());
        // WHEN the accounts' table is gone and the librarian steps to the next one
        data->exec(DeskFile, QStringLiteral("ALTER TABLE \"tblUser\" RENAME TO gone"));
        control<NavigationBar>(screen, "Data1Bar")->arrows().at(2)->click();
        // THEN one box says why at once, and the account shown stays
        QCOMPARE(dialogs->boxes.size(), 1);
        const FakeDialogs::Box failed = dialogs->boxes.first();
        QVERIFY2(failed.icon == Dialogs::Critical && failed.text.contains(Users), qPrintable(failed.text));
        QVERIFY(screen->isVisible() && shown(screen) == seeded);
    }

    void shouldKeepTheEditOpenWhileTheStoreIsLockedThenLogInWithOnlyTheNewPassword()
    {
        QPointer<AccountScreen> screen = openEdited();
        QVERIFY(screen);
        QVERIFY(data->holdDeskStore());
        dialogs->answers << Dialogs::AnswerYes;
        control<PushButton>(screen, "cmdSave")->click();
        QVERIFY(data->releaseDeskStore());
        const FakeDialogs::Box failed = dialogs->boxes.last();
        QVERIFY2(dialogs->boxes.size() == 2 && failed.icon == Dialogs::Critical && failed.text.contains(data->busySentence())
                     && !failed.text.contains("Quill42"), qPrintable(failed.text));
        QVERIFY(screen->isVisible() && !Navigator::instance().existing(QStringLiteral("frmLogin")));
        QCOMPARE(storedAccount(), seeded);

        // The edit stays open: Save again stores it and returns to the login,
        // the screen made again, unseen, locked.
        dialogs->answers << Dialogs::AnswerYes;
        control<PushButton>(screen, "cmdSave")->click();
        QCOMPARE(storedAccount(), seededWith());
        flushDeletes();
        QVERIFY(screen.isNull());
        auto *login = Navigator::instance().existingAs<LoginScreen>(QStringLiteral("frmLogin"));
        QVERIFY(login && QTest::qWaitForWindowExposed(login));
        QPointer<AccountScreen> unseen = Navigator::instance().existingAs<AccountScreen>(Accounts);
        QVERIFY(unseen && !unseen->isVisible() && shown(unseen) == seededWith());

        // The old password is refused, the new one logs in.
        dialogs->clear();
        QTest::keyClicks(control<QLineEdit>(login, "txtPassword"), QStringLiteral("tallymere"));
        control<PushButton>(login, "cmdLogin")->click();
        QCOMPARE(dialogs->boxes.size(), 1);
        QTest::keyClicks(control<QLineEdit>(login, "txtPassword"), "Quill42");
        control<PushButton>(login, "cmdLogin")->click();
        flushDeletes();
        auto *menu = Navigator::instance().existingAs<MenuScreen>(QStringLiteral("frmMenu"));
        QVERIFY(menu && QTest::qWaitForWindowExposed(menu));

        // Opened from the menu, the screen shows as it was left; Edit opens the passwords again, with Cancel still off.
        QVERIFY(openAccounts() == unseen.data() && looks(unseen, false, false, false, false));
        control<PushButton>(unseen, "cmdEdit")->click();
        QVERIFY(looks(unseen, true, true, true, false));
    }

    void shouldWorkWithTabSpaceAndEnterAlongTheTabOrder()
    {
        AccountScreen *s = openAccounts();
        QVERIFY(QTest::qWaitForWindowActive(s));
        QTRY_VERIFY(holdsFocus(control<PushButton>(s, "cmdEdit")));
        // Tab goes from the buttons to the boxes, bottom up, then through the
        // bar's arrows.
        QList<QWidget *> order;
        for (const char *name : {"cmdSave", "cmdCancel", "cmdMain", "txthint", "txtretype", "txtpass", "txtuname"})
            order << control<QWidget>(s, name);
        for (QToolButton *arrow : control<NavigationBar>(s, "Data1Bar")->arrows())
            order << arrow;
        for (QWidget *next : order << control<PushButton>(s, "cmdEdit"))
            QVERIFY2(tabTo(next), qPrintable(next->objectName()));
        // Space presses Edit; the new password is typed where it is asked for.
        QTest::keyClick(control<PushButton>(s, "cmdEdit"), Qt::Key_Space);
        QVERIFY(looks(s, true, true, true, true) && holdsFocus(control<QLineEdit>(s, "txtpass")));
        QTest::keyClicks(control<QLineEdit>(s, "txtpass"), "Quill42");
        // The user-name box is hidden now, so Tab passes it by.
        QVERIFY(tabTo(control<NavigationBar>(s, "Data1Bar")->arrows().first()));
        // Enter presses the focused button: Cancel, answered No.
        control<PushButton>(s, "cmdCancel")->setFocus();
        dialogs->clear();
        QTest::keyClick(control<PushButton>(s, "cmdCancel"), Qt::Key_Return);
        QCOMPARE(dialogs->boxes.size(), 1);
        retype(control<QLineEdit>(s, "txthint"), "ink");
        retype(control<QLineEdit>(s, "txtretype"), "Quill42");
        // Enter in a box saves.
        dialogs->answers << Dialogs::AnswerYes;
        QTest::keyClick(control<QLineEdit>(s, "txtretype"), Qt::Key_Return);
        QCOMPARE(storedAccount(), seededWith());
    }

private:
    std::optional<DeskData> data;
    FakeDialogs *dialogs = nullptr;
    QStringList seeded; // the installed account: user, password, confirmation, hint
};

QTEST_MAIN(AccountsTest)
#include "tst_accounts.moc"
