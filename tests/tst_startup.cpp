// The start-up presentation and the login, driven as the librarian meets them.
#include "testsupport.h"

#include "shell/loginscreen.h"
#include "shell/splashscreen.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {
const QString Desk = QStringLiteral("Tallymere.db");

QString text(QWidget *screen, const char *name)
{
    auto *label = screen->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
}

LoginScreen *openLogin()
{
    auto *login = qobject_cast<LoginScreen *>(Navigator::instance().open(QStringLiteral("frmLogin")));
    return login && QTest::qWaitForWindowExposed(login) ? login : nullptr;
}

int bar(QWidget *splash)
{
    return splash->findChild<QProgressBar *>(QStringLiteral("pBar"))->value();
}

void hover(QWidget *widget)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void typePassword(LoginScreen *login, const QString &password)
{
    control<QLineEdit>(login, "txtPassword")->clear();
    QTest::keyClicks(control<QLineEdit>(login, "txtPassword"), password);
}
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void cleanup() { closeAllScreens(); }

    void shouldAdvanceTheStatusTextAtItsSteps_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<QString>("status");
        QTest::newRow("0") << 0 << "Loading";
        QTest::newRow("9") << 9 << "Loading";
        QTest::newRow("10") << 10 << "Loading forms...";
        QTest::newRow("20") << 20 << "Loading Reports...";
        QTest::newRow("30") << 30 << "Loading ...";
        QTest::newRow("40") << 40 << "Loading.";
        QTest::newRow("50") << 50 << "Loading Accounts Info...";
        QTest::newRow("60") << 60 << "Loading User Interface...";
        QTest::newRow("70") << 70 << "Checking connectivity...";
        QTest::newRow("80") << 80 << "Connecting to Database..";
        QTest::newRow("99") << 99 << "Loading Complete...";
    }
    void shouldAdvanceTheStatusTextAtItsSteps()
    {
        QFETCH(int, steps);
        QFETCH(QString, status);
        DeskData data;
        SplashScreen splash;
        QCOMPARE(text(&splash, "lblVersion"), QStringLiteral("Version 1.0.0"));
        for (int i = 0; i < steps; ++i)
            splash.tick();
        QCOMPARE(text(&splash, "lblLoading"), status);
        QCOMPARE(text(&splash, "lblPercent"), steps ? QStringLiteral("%1 %").arg(steps) : QStringLiteral("? %"));
        QCOMPARE(text(&splash, "lblProgress"), QString(steps, QLatin1Char('_')));
        QCOMPARE(bar(&splash), steps);
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmLogin")));
    }

    void shouldHandOverToTheLoginOnceAtTheLastStep()
    {
        DeskData data;
        QSignalSpy created(&Navigator::instance(), &Navigator::screenCreated);
        QPointer<SplashScreen> splash =
            qobject_cast<SplashScreen *>(Navigator::instance().open(QStringLiteral("frmSplash")));
        QVERIFY(splash && splash->timer()->isActive());
        for (int i = 0; i < 101; ++i) // a late tick never raises the bar past its maximum
            splash->tick();
        QCOMPARE(text(splash, "lblPercent"), QStringLiteral("100 %"));
        QCOMPARE(bar(splash), 100);
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
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmSplash")) == nullptr);
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmLogin")) == nullptr);
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
        FakeDialogs &dialogs = data.dialogs;
        QPointer<LoginScreen> login = openLogin();
        if (!userName.isEmpty()) {
            control<QLineEdit>(login, "txtUsername")->clear();
            QTest::keyClicks(control<QLineEdit>(login, "txtUsername"), userName);
        }
        typePassword(login, typed.chopped(typed.endsWith('\n')));
        if (typed.endsWith('\n'))
            QTest::keyClick(control<QLineEdit>(login, "txtPassword"), Qt::Key_Return);
        else
            control<PushButton>(login, "cmdLogin")->click();
        if (selected == QLatin1String("menu")) {
            flushDeletes();
            QVERIFY(login.isNull() && dialogs.boxes.isEmpty());
            QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu"))->isVisible());
            return;
        }
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().text, QStringLiteral("Your password is Invalid!"));
        QCOMPARE(dialogs.boxes.first().title, QStringLiteral("Invaldi password!"));
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        // The password is cleared for another try, the name selected.
        QCOMPARE(control<QLineEdit>(login, "txtPassword")->text(), QString());
        QCOMPARE(login->focusWidget(), control<QLineEdit>(login, "txtPassword"));
        QCOMPARE(control<QLineEdit>(login, "txtUsername")->selectedText(), selected);
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmMenu")));
    }

    void shouldFindTheAccountWhoseNameEndsWithTheTypedOne()
    {
        DeskData data;
        data.exec(Desk, QStringLiteral("INSERT INTO tblUser (Username, Password, Hint) VALUES ('1001', 'one', 'first'), "
                                       "('01', 'zero', 'second')"));
        FakeDialogs &dialogs = data.dialogs;
        LoginScreen *login = openLogin();
        control<QLineEdit>(login, "txtUsername")->clear();
        QTest::keyClicks(control<QLineEdit>(login, "txtUsername"), QStringLiteral("01"));
        typePassword(login, QStringLiteral("zero"));
        control<PushButton>(login, "cmdLogin")->click();
        // 1001 comes first, and its password is "one"; its hint is shown.
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(control<QLineEdit>(login, "txtUsername")->text(), QStringLiteral("1001"));
        hover(control<QLineEdit>(login, "txtPassword"));
        QCOMPARE(control<QLineEdit>(login, "txtPassword")->toolTip(), QStringLiteral("first"));
        typePassword(login, QStringLiteral("one"));
        control<PushButton>(login, "cmdLogin")->click();
        QVERIFY(dialogs.boxes.size() == 1 && Navigator::instance().existing(QStringLiteral("frmMenu")));
    }

    void shouldOpenWithTheFirstUserAndLetOnlyDigitsIntoTheName()
    {
        DeskData data;
        FakeDialogs &dialogs = data.dialogs;
        LoginScreen *login = openLogin();
        QCOMPARE(login->focusWidget(), control<QLineEdit>(login, "txtPassword"));
        QCOMPARE(control<QLineEdit>(login, "txtPassword")->echoMode(), QLineEdit::Password);
        hover(control<QLineEdit>(login, "txtPassword"));
        QCOMPARE(control<QLineEdit>(login, "txtPassword")->toolTip(), QStringLiteral("the name of this program"));
        control<QLineEdit>(login, "txtUsername")->setFocus();
        control<QLineEdit>(login, "txtUsername")->end(false);
        QTest::keyClicks(control<QLineEdit>(login, "txtUsername"), QStringLiteral("a1 B2-"));
        QTest::keyClick(control<QLineEdit>(login, "txtUsername"), Qt::Key_Return);
        QTest::keyClick(control<QLineEdit>(login, "txtUsername"), Qt::Key_Escape);
        QTest::keyClick(control<QLineEdit>(login, "txtUsername"), Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(control<QLineEdit>(login, "txtUsername"), Qt::Key_Backspace);
        QCOMPARE(control<QLineEdit>(login, "txtUsername")->text(), QStringLiteral("Administrator1"));
        QCOMPARE(dialogs.beeps, 7);
        QVERIFY(dialogs.boxes.isEmpty());
    }

    void shouldEndTheProgramOnlyWhenTheHiddenExitIsAnsweredYes()
    {
        DeskData data;
        FakeDialogs &dialogs = data.dialogs;
        QPointer<LoginScreen> login = openLogin();
        typePassword(login, QStringLiteral("abc"));
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

    void shouldReportAMissingAccountTable()
    {
        DeskData data;
        data.exec(Desk, QStringLiteral("DROP TABLE tblUser"));
        FakeDialogs &dialogs = data.dialogs;
        // A login that could never let anyone in is not shown: the failure
        // is reported once, naming the store, and nothing crashes.
        QVERIFY(openLogin() == nullptr);
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes.first().icon, Dialogs::Critical);
        QVERIFY(dialogs.boxes.first().text.contains(QStringLiteral("has no table tblUser")));
        QVERIFY(dialogs.boxes.first().text.contains(data.storeName(Desk)));
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmMenu")));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
