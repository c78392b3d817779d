// The start-up presentation and the login, driven as the librarian meets them.
#include "testsupport.h"

#include "app/dailybackupbox.h"
#include "app/screens.h"
#include "shell/loginscreen.h"
#include "shell/splashscreen.h"
#include "store/engine/clock.h"
#include "store/transfer/dailybackup.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {
const QString Desk = QStringLiteral("Tallymere.db");

QString text(QWidget *screen, const char *name) { return control<QLabel>(screen, name)->text(); }

LoginScreen *openLogin()
{
    auto *login = qobject_cast<LoginScreen *>(Navigator::instance().open(QStringLiteral("frmLogin")));
    return login && QTest::qWaitForWindowExposed(login) ? login : nullptr;
}

// The box `name` of the login emptied and `typed` typed into it.
QLineEdit *fill(LoginScreen *login, const char *name, const QString &typed)
{
    auto *box = control<QLineEdit>(login, name);
    box->clear();
    QTest::keyClicks(box, typed);
    return box;
}

// The password box's tool tip as the pointer resting on it shows it.
QString hint(LoginScreen *login)
{
    auto *box = control<QLineEdit>(login, "txtPassword");
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(box, &move);
    return box->toolTip();
}
// Logs in with the first account's password, as the librarian does.
bool logIn()
{
    LoginScreen *login = openLogin();
    if (!login)
        return false;
    fill(login, "txtPassword", QStringLiteral("tallymere"));
    control<PushButton>(login, "cmdLogin")->click();
    return Navigator::instance().existing(QStringLiteral("frmMenu"));
}

// The desk started at `when`: its daily backup, and the login when
// `loggedIn` comes before the backup is done. The boxes shown until then.
QList<FakeDialogs::Box> startDesk(DeskData &data, const QDateTime &when, bool loggedIn)
{
    closeAllScreens();
    data.dialogs.clear();
    Clock::set(when);
    if (loggedIn && !logIn())
        return {{QStringLiteral("cannot log in"), {}, Dialogs::NoIcon, Dialogs::Ok}};
    const DailyBackupBox daily(data.folder(), data.location(), data.dialogs);
    if (!daily.runner())
        return {{QStringLiteral("no backup"), {}, Dialogs::NoIcon, Dialogs::Ok}};
    QSignalSpy finished(daily.runner(), &DailyBackup::Runner::finished);
    if (!finished.wait(60000) && finished.isEmpty())
        return {{QStringLiteral("no end"), {}, Dialogs::NoIcon, Dialogs::Ok}};
    QCoreApplication::processEvents();
    // Nothing is said before the librarian is in.
    if (!loggedIn && (!data.dialogs.boxes.isEmpty() || !logIn()))
        return {{QStringLiteral("told before the login"), {}, Dialogs::NoIcon, Dialogs::Ok}};
    return data.dialogs.boxes;
}
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void cleanup()
    {
        closeAllScreens();
        Clock::set({});
    }

    void shouldTellAFailedDailyBackupInOneBoxAfterTheLoginOnceADay_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::addColumn<bool>("loggedInFirst");
        QTest::newRow("made during the splash") << false << false;
        QTest::newRow("made after the login") << false << true;
        QTest::newRow("failed during the splash") << true << false;
        QTest::newRow("failed after the login") << true << true;
    }

    void shouldTellAFailedDailyBackupInOneBoxAfterTheLoginOnceADay()
    {
        QFETCH(bool, fails);
        QFETCH(bool, loggedInFirst);
        // GIVEN a desk whose backups folder is there, or cannot be made
        DeskData data;
        const QString backups = DailyBackup::defaultFolder(data.folder());
        if (fails) {
            QFile blocking(backups);
            QVERIFY(blocking.open(QIODevice::WriteOnly));
        }
        const QDateTime morning(QDate(2026, 12, 9), QTime(8, 0));
        // WHEN it starts on a morning
        const QList<FakeDialogs::Box> boxes = startDesk(data, morning, loggedInFirst);
        if (data.onServer()) {
            // THEN a desk on a server makes none: the server's backups serve it
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes.first().text, QStringLiteral("no backup"));
            QVERIFY(!QFileInfo(backups).isDir());
            return;
        }
        if (!fails) {
            // THEN the backup is made without a word
            QVERIFY2(boxes.isEmpty(), qPrintable(boxes.value(0).text));
            QCOMPARE(QDir(backups).entryList({QStringLiteral("Tallymere-2026-12-09-080000")}, QDir::Dirs).size(), 1);
            return;
        }
        // THEN one box after the login names the cause
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text, QStringLiteral("Today's backup of the stores was not made: cannot create the "
                                                    "folder %1.")
                                         .arg(QDir::toNativeSeparators(backups)));
        QCOMPARE(boxes.first().title, QStringLiteral("Tallymere"));
        QCOMPARE(boxes.first().icon, Dialogs::Critical);
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu"))->isVisible());
        // AND a second start that day tries again but says nothing; the next day's says it again
        QVERIFY(startDesk(data, morning.addSecs(4 * 3600), loggedInFirst).isEmpty());
        QCOMPARE(startDesk(data, morning.addDays(1), loggedInFirst).size(), 1);
    }

    void shouldCountUpAndHandOverToTheLoginOnceAtTheLastStep()
    {
        DeskData data;
        QSignalSpy created(&Navigator::instance(), &Navigator::screenCreated);
        QPointer<SplashScreen> splash =
            qobject_cast<SplashScreen *>(Navigator::instance().open(QStringLiteral("frmSplash")));
        QVERIFY(splash && splash->timer()->isActive());
        QCOMPARE(text(splash, "lblVersion"), QStringLiteral("Version 1.0.0"));
        const QMap<int, QString> status{{0, "Loading"}, {9, "Loading"}, {10, "Loading forms..."}, {20, "Loading Reports..."},
                                        {30, "Loading ..."}, {40, "Loading."}, {50, "Loading Accounts Info..."},
                                        {60, "Loading User Interface..."}, {70, "Checking connectivity..."},
                                        {80, "Connecting to Database.."}, {99, "Loading Complete..."}};
        for (int step = 0; step <= 101; ++step) { // a late tick never raises the bar past its maximum
            if (step > 0)
                splash->tick();
            const int shown = qMin(step, 100);
            if (status.contains(step))
                QCOMPARE(text(splash, "lblLoading"), status[step]);
            QCOMPARE(text(splash, "lblPercent"), step ? QStringLiteral("%1 %").arg(shown) : QStringLiteral("? %"));
            QCOMPARE(splash->findChild<QProgressBar *>(QStringLiteral("pBar"))->value(), shown);
            if (step < 100)
                QVERIFY(text(splash, "lblProgress") == QString(step, QLatin1Char('_'))
                        && !Navigator::instance().existing(QStringLiteral("frmLogin")));
        }
        QVERIFY(!splash->timer()->isActive());
        flushDeletes();
        QVERIFY(splash.isNull());
        QWidget *login = Navigator::instance().existing(QStringLiteral("frmLogin"));
        QVERIFY(login && login->isVisible());
        QCOMPARE(std::count_if(created.cbegin(), created.cend(),
                               [](const QList<QVariant> &args) { return args.at(0) == QStringLiteral("frmLogin"); }),
                 1);
    }

    void shouldOpenNothingWhenTheSplashIsClosedEarly()
    {
        DeskData data;
        QWidget *splash = Navigator::instance().open(QStringLiteral("frmSplash"));
        static_cast<SplashScreen *>(splash)->tick();
        splash->close();
        flushDeletes();
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmSplash")));
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmLogin")));
    }

    void shouldOpenTheMenuOnlyForTheRightPassword_data()
    {
        QTest::addColumn<QString>("setup");    // SQL run on the desk store first
        QTest::addColumn<QString>("userName"); // typed over the pre-filled one, unless empty
        QTest::addColumn<QString>("typed");    // then the button, or Enter after a "\n"
        QTest::addColumn<QString>("selected"); // the user-name text selected after a refusal, or "menu"
        const QString admin = QStringLiteral("Administrator");
        QTest::newRow("button") << "" << "" << "tallymere" << "menu";
        QTest::newRow("enter key") << "" << "" << "tallymere\n" << "menu";
        QTest::newRow("surrounding spaces") << "" << "" << "  tallymere  " << "menu";
        // The account screen stores a password as typed; the login trims
        // what is typed, so a stored space at either end must not lock the
        // desk out.
        QTest::newRow("stored with spaces") << "UPDATE tblUser SET Password = ' tallymere '" << "" << "tallymere"
                                            << "menu";
        QTest::newRow("letter case") << "" << "" << "Tallymere" << admin;
        QTest::newRow("empty") << "" << "" << "" << admin;
        QTest::newRow("quote") << "" << "" << "tallymere'" << admin;
        QTest::newRow("null stored, empty typed") << "UPDATE tblUser SET Password = NULL" << "" << "" << admin;
        // An unknown name is never checked against the current row's password.
        QTest::newRow("name matches no account") << "" << "5" << "tallymere" << "5";
        QTest::newRow("no account at all") << "DELETE FROM tblUser" << "" << "tallymere" << "";
    }
    void shouldOpenTheMenuOnlyForTheRightPassword()
    {
        QFETCH(QString, setup);
        QFETCH(QString, userName);
        QFETCH(QString, typed);
        QFETCH(QString, selected);
        DeskData data;
        if (!setup.isEmpty())
            data.exec(Desk, setup);
        QPointer<LoginScreen> login = openLogin();
        if (!userName.isEmpty())
            fill(login, "txtUsername", userName);
        QLineEdit *password = fill(login, "txtPassword", typed.chopped(typed.endsWith('\n')));
        if (typed.endsWith('\n'))
            QTest::keyClick(password, Qt::Key_Return);
        else
            control<PushButton>(login, "cmdLogin")->click();
        const QList<FakeDialogs::Box> &boxes = data.dialogs.boxes;
        if (selected == QLatin1String("menu")) {
            flushDeletes();
            QVERIFY(login.isNull() && boxes.isEmpty());
            QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu"))->isVisible());
            return;
        }
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text, QStringLiteral("Your password is Invalid!"));
        QCOMPARE(boxes.first().title, QStringLiteral("Invaldi password!"));
        QCOMPARE(boxes.first().icon, Dialogs::Critical);
        // The password is cleared for another try, the name selected.
        QVERIFY(password->text().isEmpty() && login->focusWidget() == password);
        QCOMPARE(control<QLineEdit>(login, "txtUsername")->selectedText(), selected);
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmMenu")));
    }

    void shouldOpenOnTheFirstUserAndFindTheAccountWhoseNameEndsWithTheTypedOne()
    {
        DeskData data;
        data.exec(Desk, QStringLiteral("INSERT INTO tblUser (Username, Password, Hint) VALUES ('1001', 'one', 'first'), "
                                       "('01', 'zero', 'second')"));
        FakeDialogs &dialogs = data.dialogs;
        LoginScreen *login = openLogin();
        auto *password = control<QLineEdit>(login, "txtPassword");
        auto *name = control<QLineEdit>(login, "txtUsername");
        QVERIFY(login->focusWidget() == password && password->echoMode() == QLineEdit::Password);
        QCOMPARE(hint(login), QStringLiteral("the name of this program"));
        // Only digits go into the name.
        name->setFocus();
        name->end(false);
        QTest::keyClicks(name, QStringLiteral("a1 B2-"));
        for (const int key : {Qt::Key_Return, Qt::Key_Escape})
            QTest::keyClick(name, Qt::Key(key));
        QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(name, Qt::Key_Backspace);
        QCOMPARE(name->text(), QStringLiteral("Administrator1"));
        QVERIFY(dialogs.beeps == 7 && dialogs.boxes.isEmpty());

        // 1001 comes first of the names ending in 01, and its password is
        // "one"; its hint is shown.
        fill(login, "txtUsername", QStringLiteral("01"));
        fill(login, "txtPassword", QStringLiteral("zero"));
        control<PushButton>(login, "cmdLogin")->click();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(name->text(), QStringLiteral("1001"));
        QCOMPARE(hint(login), QStringLiteral("first"));
        fill(login, "txtPassword", QStringLiteral("one"));
        control<PushButton>(login, "cmdLogin")->click();
        QVERIFY(dialogs.boxes.size() == 1 && Navigator::instance().existing(QStringLiteral("frmMenu")));
    }

    void shouldEndTheProgramOnlyWhenTheHiddenExitIsAnsweredYes()
    {
        DeskData data;
        FakeDialogs &dialogs = data.dialogs;
        QPointer<LoginScreen> login = openLogin();
        fill(login, "txtPassword", QStringLiteral("abc"));
        dialogs.answers << Dialogs::AnswerNo << Dialogs::AnswerYes;
        QTest::mouseClick(control<QLabel>(login, "lblsmall"), Qt::LeftButton);
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, QStringLiteral("Are you sure you want to close the Program?"));
        QCOMPARE(dialogs.boxes.first().title, QStringLiteral("Exit!"));
        QCOMPARE(dialogs.boxes.first().buttons, Dialogs::YesNo);
        QVERIFY(login->isVisible() && !Navigator::instance().quitRequested());
        QCOMPARE(control<QLineEdit>(login, "txtPassword")->text(), QStringLiteral("abc"));
        QTest::mouseClick(control<QLabel>(login, "lblsmall"), Qt::LeftButton);
        QVERIFY(Navigator::instance().quitRequested());
        flushDeletes();
        QVERIFY(login.isNull() && !Navigator::instance().existing(QStringLiteral("frmMenu")));
    }

    void shouldShowOneBoxAndStartNothingWhenOneStoreIsMissing_data()
    {
        QTest::addColumn<QString>("lost");
        QTest::newRow("catalogue") << QStringLiteral("Transactions.db");
        QTest::newRow("loans and accounts") << Desk;
    }
    void shouldShowOneBoxAndStartNothingWhenOneStoreIsMissing()
    {
        QFETCH(QString, lost);
        DeskData data;
        if (data.onServer())
            QSKIP("a server keeps both stores in one database");
        // GIVEN a data folder that lost one store
        data.release(lost);
        QVERIFY(QFile::remove(data.path(lost)));
        // WHEN the desk starts THEN one box names the lost file and the
        // restore that brings it back, and nothing is made or opened
        FakeDialogs dialogs;
        StoreLocation stores;
        QVERIFY(!openStores(data.folder(), dialogs, &stores));
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QVERIFY2(dialogs.boxes.first().text.contains(data.path(lost))
                     && dialogs.boxes.first().text.contains(QStringLiteral("tallymere-admin restore")),
                 qPrintable(dialogs.boxes.first().text));
        QVERIFY(!QFileInfo::exists(data.path(lost)));
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmSplash")));
    }

    void shouldReportAMissingAccountTable()
    {
        DeskData data;
        data.exec(Desk, QStringLiteral("DROP TABLE tblUser"));
        const QList<FakeDialogs::Box> &boxes = data.dialogs.boxes;
        // A login that could never let anyone in is not shown: the failure
        // is reported once, naming the store, and nothing crashes.
        QVERIFY(openLogin() == nullptr);
        QVERIFY(boxes.size() == 1 && boxes.first().icon == Dialogs::Critical);
        QVERIFY(boxes.first().text.contains(QStringLiteral("has no table tblUser")));
        QVERIFY(boxes.first().text.contains(data.storeName(Desk)));
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmMenu")));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
