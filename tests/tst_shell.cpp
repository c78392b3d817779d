// The application shell: the picture menu and its navigation, the closing
// sequence, the utilities panel and the calendar.
#include "testsupport.h"

#include "ui/clock.h"

#include "app/screennames.h"
#include "shell/calendarscreen.h"
#include "shell/closescreen.h"
#include "shell/menuscreen.h"
#include "shell/utilityscreen.h"
#include "ui/displayformats.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <optional>

namespace {

const QString Menu = QStringLiteral("frmMenu");

template <typename T = MenuScreen>
T *open(const QString &name = Menu)
{
    auto *screen = qobject_cast<T *>(Navigator::instance().open(name));
    return screen && QTest::qWaitForWindowExposed(screen) ? screen : nullptr;
}
UtilityScreen *openUtilities() { return open<UtilityScreen>(QStringLiteral("frmUtility")); }

// Moves the pointer through the window system onto `widget` (by default its
// middle), so that whatever lies on top there gets the pointer, as on a real
// screen. Two steps, so that a pointer already resting there still moves.
void pointAt(QWidget *widget, std::optional<QPoint> local = {})
{
    const QPoint inWindow = widget->mapTo(widget->window(), local.value_or(widget->rect().center()));
    QTest::mouseMove(widget->window()->windowHandle(), inWindow + QPoint(0, 1));
    QTest::mouseMove(widget->window()->windowHandle(), inWindow);
    QCoreApplication::processEvents();
}

void clickAt(QWidget *widget)
{
    QTest::mouseClick(widget->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      widget->mapTo(widget->window(), widget->rect().center()));
    QCoreApplication::processEvents();
}

// Points at a menu item and clicks it, as the user does; returns what the
// navigator then holds under `screen`.
QWidget *choose(MenuScreen *menu, const char *item, const QString &screen)
{
    pointAt(control<QWidget>(menu, item));
    clickAt(control<QWidget>(menu, item));
    flushDeletes();
    return Navigator::instance().existing(screen);
}

QStringList visibleHighlights(MenuScreen *menu)
{
    QStringList shown;
    for (MenuItemPicture *picture : menu->highlights())
        if (picture->isVisible())
            shown << picture->objectName();
    return shown;
}

// The menu as it looks on opening: no highlight, no big exit.
bool plain(MenuScreen *menu)
{
    return menu && visibleHighlights(menu).isEmpty() && !control<Picture>(menu, "bigexit")->isVisible();
}

QWidgetList visibleWindows()
{
    QWidgetList windows = QApplication::topLevelWidgets();
    windows.removeIf([](QWidget *w) { return !w->isVisible(); });
    return windows;
}

// Holds the screens' clock at a moment just before midnight for one test,
// so that a clock that runs can be told from one that stands still.
struct HeldClock {
    QDateTime moment{QDate(2026, 12, 31), QTime(23, 59, 58)};
    HeldClock() { Clock::set(moment); }
    ~HeldClock() { Clock::set(QDateTime()); }
    void tick() { moment = moment.addSecs(1); Clock::set(moment); }
    QString time() const { return Shown::clockTime(moment.time()); }
    QString date() const { return Shown::monthFirstDate(moment.date()); }
};

// A PATH of its own holding stand-in programs that note each start in a
// marker file.
struct FakePrograms {
    QTemporaryDir dir;
    const QByteArray oldPath = qgetenv("PATH");
    FakePrograms() { qputenv("PATH", dir.path().toLocal8Bit()); }
    ~FakePrograms() { qputenv("PATH", oldPath); }
    void add(const QString &name)
    {
        QFile script(dir.filePath(name));
        QVERIFY(script.open(QIODevice::WriteOnly) && script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        script.write(QStringLiteral("#!/bin/sh\necho %1 >> '%2'\n").arg(name, dir.filePath("started")).toLocal8Bit());
    }
    QStringList started() const
    {
        QFile file(dir.filePath(QStringLiteral("started")));
        return QString::fromLocal8Bit(file.open(QIODevice::ReadOnly) ? file.readAll() : "").split('\n', Qt::SkipEmptyParts);
    }
};

} // namespace

class ShellTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    // The pointer rests in a corner, away from every screen, until a test moves it.
    void init() { QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight()); }
    void cleanup() { closeAllScreens(); }

    void shouldShowDatesAndTimesTheAmericanWayWithTheLocaleSeparator()
    {
        QCOMPARE(Shown::monthFirstDate(QDate(2013, 1, 5)), QStringLiteral("1/5/2013"));
        QCOMPARE(Shown::clockTime(QTime(15, 45, 12)), QStringLiteral("3:45:12 PM"));
        QCOMPARE(Shown::clockTime(QTime(0, 0, 5)), QStringLiteral("12:00:05 AM"));
        QStringList dates;
        // C has no separator of its own.
        for (const QLocale &locale : {QLocale(QLocale::German, QLocale::Germany), QLocale::c()}) {
            QLocale::setDefault(locale);
            dates << Shown::monthFirstDate(QDate(2014, 10, 20));
        }
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(dates, (QStringList{"10.20.2014", "10/20/2014"}));
    }

    void shouldOpenPlainWithTodayAndARunningClock()
    {
        DeskData data;
        HeldClock clock;
        MenuScreen *menu = open();
        QVERIFY(plain(menu));
        QCOMPARE(control<QLabel>(menu, "lblDate")->text(), clock.date());
        QCOMPARE(control<QLabel>(menu, "lblTime")->text(), clock.time());
        clock.tick();
        QTRY_COMPARE(control<QLabel>(menu, "lblTime")->text(), clock.time());
        // Worked with the pointer only.
        for (QWidget *child : menu->findChildren<QWidget *>())
            QVERIFY2(child->focusPolicy() == Qt::NoFocus, qPrintable(child->objectName()));
    }

    void shouldFollowThePointerWithOneHighlightAtATime_data()
    {
        // "~name": the pointer arrives there with no move after it.
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<QString>("highlight");
        QTest::addColumn<bool>("bigExit");
        QTest::newRow("first row straight onto the second") << QStringList{"bgAdd", "bgList"} << "mList" << false;
        QTest::newRow("exit then item keeps the big exit") << QStringList{"mexit", "bgRetrieve"} << "mRetrieve" << true;
        QTest::newRow("item then exit keeps the item") << QStringList{"bgAdd", "mexit"} << "mAdd" << true;
        QTest::newRow("background clears all") << QStringList{"mexit", "bgAdd", "Image1"} << "" << false;
        QTest::newRow("arriving without a move") << QStringList{"~bgManage"} << "mManage" << false;
        QTest::newRow("leaving without a move") << QStringList{"~bgManage", "~Image1"} << "" << false;
    }
    void shouldFollowThePointerWithOneHighlightAtATime()
    {
        QFETCH(QStringList, path);
        QFETCH(QString, highlight);
        QFETCH(bool, bigExit);
        DeskData data;
        MenuScreen *menu = open();
        QVERIFY(menu);
        for (const QString &step : path) {
            const bool enterOnly = step.startsWith(QLatin1Char('~'));
            auto *target = menu->findChild<QWidget *>(enterOnly ? step.mid(1) : step);
            QVERIFY2(target, qPrintable(step));
            QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), target->mapToGlobal(QPointF(3, 3)));
            if (enterOnly)
                QApplication::sendEvent(target, &enter);
            else // The background is open parchment left of the items.
                pointAt(target, step == QLatin1String("Image1") ? std::optional(QPoint(40, 250)) : std::nullopt);
        }
        QCOMPARE(visibleHighlights(menu), highlight.isEmpty() ? QStringList() : QStringList{highlight});
        QCOMPARE(control<Picture>(menu, "bigexit")->isVisible(), bigExit);
    }

    void shouldLeaveTheMenuForEachItemAndComeBackFresh_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<bool>("unseen"); // the screen already exists, not shown
        QTest::newRow("add record") << "bgAdd" << "frmAddRecord" << false;
        QTest::newRow("list") << "bgList" << "frmList" << false;
        QTest::newRow("list made unseen before") << "bgList" << "frmList" << true;
        QTest::newRow("library books") << "bgLibbooks" << "frmBooks" << false;
        QTest::newRow("utilities") << "bgUtility" << "frmUtility" << false;
        QTest::newRow("retrieve") << "bgRetrieve" << "frmRetrieve" << false;
        QTest::newRow("manage accounts") << "bgManage" << "frmUser" << false;
    }
    void shouldLeaveTheMenuForEachItemAndComeBackFresh()
    {
        QFETCH(QString, item);
        QFETCH(QString, screen);
        QFETCH(bool, unseen);
        const QString button = screen == QLatin1String("frmUtility") ? "jcbutton1" : "cmdMain"; // back to the menu
        DeskData data;
        QWidget *made = unseen ? Navigator::instance().create(screen) : nullptr;
        QPointer<MenuScreen> first = open();
        const QByteArray itemName = item.toLatin1();
        QPointer<QWidget> feature = choose(first, itemName.constData(), screen);
        QVERIFY(feature && (!made || feature == made) && first.isNull());

        // The return button brings a new menu, as it looks on opening.
        feature->findChild<QPushButton *>(button)->click();
        flushDeletes();
        QPointer<MenuScreen> menu = Navigator::instance().existingAs<MenuScreen>(Menu);
        QVERIFY(feature.isNull() && plain(menu));
        QCOMPARE(visibleWindows(), QList<QWidget *>{menu.data()});

        // Leaving and coming back within one turn of the event loop: the old
        // menu, closed but not yet deleted, must not be shown again.
        QPointer<MenuScreen> old = menu;
        Navigator::instance().leave(old, screen);
        Navigator::instance().existing(screen)->findChild<QPushButton *>(button)->click();
        menu = Navigator::instance().existingAs<MenuScreen>(Menu);
        QVERIFY(old && menu && menu != old);
        flushDeletes();
        QVERIFY(old.isNull() && menu && menu->isVisible());

        // Closed through the window system, the screen leads nowhere.
        feature = choose(menu, itemName.constData(), screen);
        QVERIFY(feature && feature->close());
        flushDeletes();
        QVERIFY(feature.isNull() && visibleWindows().isEmpty() && data.dialogs.boxes.isEmpty());
    }

    void shouldCloseOnlyWhenTheExitIsAnsweredYesAndEndAtStepOneHundred()
    {
        DeskData data;
        FakeDialogs &dialogs = data.dialogs;
        dialogs.answers << Dialogs::AnswerNo << Dialogs::AnswerYes;
        QPointer<QWidget> unseen = Navigator::instance().create(QStringLiteral("frmList"));
        QPointer<MenuScreen> menu = open();
        auto *exit = control<MenuExitSpot>(menu, "mexit");
        pointAt(exit);
        clickAt(exit);
        flushDeletes();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].text, QStringLiteral("Are you sure you want to exit?"));
        QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Close Application"));
        QCOMPARE(dialogs.boxes[0].buttons, Dialogs::YesNo);
        // No: the menu stays exactly as it was.
        QVERIFY(menu && menu->isVisible() && control<Picture>(menu, "bigexit")->isVisible());
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmclose")));

        clickAt(exit);
        flushDeletes();
        QVERIFY(dialogs.boxes.size() == 2 && menu.isNull());
        QPointer<CloseScreen> closing = Navigator::instance().existingAs<CloseScreen>(QStringLiteral("frmclose"));
        QVERIFY(closing && closing->isVisible() && closing->timer()->isActive());
        const QMap<int, QString> texts{{9, "Loading"}, {10, "Saving Data.."}, {20, "Saving Data ...."},
                                       {89, "Closing Database.."}, {100, "Closing Successfully Completed..."}};
        for (int step = 1; step <= 101; ++step) { // one tick past the end changes nothing
            QCOMPARE(Navigator::instance().quitRequested(), step > 100);
            closing->tick();
            const int shown = qMin(step, 100);
            if (texts.contains(shown))
                QVERIFY(control<QLabel>(closing, "lblLoading")->text() == texts[shown]
                        && control<QLabel>(closing, "lblPercent")->text() == QStringLiteral("%1 %").arg(shown)
                        && Navigator::instance().quitRequested() == (shown == 100));
        }
        // Ending closes every screen, the unseen ones too.
        flushDeletes();
        QVERIFY(closing.isNull() && unseen.isNull());
    }

    void shouldStartTheSystemsProgramOrExplainWhyNot()
    {
        DeskData data;
        FakeDialogs &dialogs = data.dialogs;
        {
            FakePrograms none;
            UtilityScreen *panel = openUtilities();
            clickAt(control<Picture>(panel, "Image1"));
            clickAt(control<Picture>(panel, "Image2"));
            QCOMPARE(dialogs.boxes.size(), 2);
            QCOMPARE(dialogs.boxes[0].text, "No text editor was found on this computer. Install one, such as gedit or "
                                            "mousepad, to use NOTEPAD.");
            QCOMPARE(dialogs.boxes[1].text, "No calculator was found on this computer. Install one, such as "
                                            "gnome-calculator or galculator, to use CALCULATOR.");
            QCOMPARE(dialogs.boxes[0].icon, Dialogs::Information);
            control<PushButton>(panel, "jcbutton1")->click(); // the panel still works
            flushDeletes();
            QVERIFY(Navigator::instance().existing(Menu));
        }
        // The first choice wins, and every click starts another instance.
        FakePrograms programs;
        for (const char *name : {"mousepad", "gnome-text-editor", "xcalc", "kcalc"})
            programs.add(QString::fromLatin1(name));
        UtilityScreen *panel = openUtilities();
        clickAt(control<Picture>(panel, "Image1"));
        clickAt(control<Picture>(panel, "Image1"));
        QTRY_COMPARE(programs.started(), (QStringList{"gnome-text-editor", "gnome-text-editor"}));
        clickAt(control<Picture>(panel, "Image2"));
        QTRY_COMPARE(programs.started().value(2), "kcalc");
        QCOMPARE(dialogs.boxes.size(), 2);
    }

    void shouldOpenTheCalendarOnItsDateAndBlockThePanel()
    {
        DeskData data;
        UtilityScreen *panel = openUtilities();
        HeldClock clock;
        clickAt(control<Picture>(panel, "Image3"));
        QPointer<CalendarScreen> calendar = panel->calendar();
        QVERIFY(calendar && QTest::qWaitForWindowExposed(calendar));
        QCOMPARE(control<QCalendarWidget>(calendar, "MonthView1")->selectedDate(), QDate(2013, 11, 24));
        auto *date = control<QLineEdit>(calendar, "txtDate");
        auto *time = control<QLineEdit>(calendar, "txtTime");
        QCOMPARE(date->text(), clock.date());
        QCOMPARE(time->text(), clock.time());
        // Only lowercase letters and backspace go into the date box; a digit
        // and a capital beep. The time box keeps showing the current time,
        // whatever is typed.
        date->end(false);
        QTest::keyClicks(date, QStringLiteral("7Xxaz\b"));
        QCOMPARE(date->text(), clock.date() + QStringLiteral("xa"));
        QCOMPARE(data.dialogs.beeps, 2);
        QTest::keyClicks(time, QStringLiteral("ab 12"));
        QCOMPARE(time->text(), clock.time());
        clock.tick();
        QTRY_COMPARE(time->text(), clock.time());

        // Clicks on the panel go nowhere while the calendar is open.
        QCOMPARE(QApplication::activeModalWidget(), calendar.data());
        clickAt(control<PushButton>(panel, "jcbutton1"));
        QVERIFY(!Navigator::instance().existing(Menu));

        // Closed, the panel carries on.
        calendar->close();
        flushDeletes();
        QVERIFY(calendar.isNull() && !QApplication::activeModalWidget());
        clickAt(control<PushButton>(panel, "jcbutton1"));
        flushDeletes();
        QVERIFY(Navigator::instance().existing(Menu));
    }
};

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
