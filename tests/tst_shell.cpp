// The application shell: the picture menu and its navigation, the closing
// sequence, the utilities panel and the calendar.
#include "testsupport.h"

#include "app/calendarscreen.h"
#include "app/closescreen.h"
#include "app/menuscreen.h"
#include "app/navigator.h"
#include "app/utilityscreen.h"
#include "app/widgets.h"
#include "store/formats.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QRegularExpression ClockText(QStringLiteral("^\\d{1,2}:\\d{2}:\\d{2} (AM|PM)$"));
const QRegularExpression DateText(QStringLiteral("^\\d{1,2}/\\d{1,2}/\\d{4}$"));

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

template <typename T>
T *openScreen(const QString &name)
{
    auto *screen = qobject_cast<T *>(Navigator::instance().open(name));
    if (screen && !QTest::qWaitForWindowExposed(screen))
        return nullptr;
    return screen;
}

MenuScreen *openMenu()
{
    return openScreen<MenuScreen>(QStringLiteral("frmMenu"));
}

QPoint centreInWindow(QWidget *widget)
{
    return widget->mapTo(widget->window(), widget->rect().center());
}

// Moves the pointer through the window system onto `widget` (by default its
// middle), so that whatever lies on top there gets the pointer, as on a real
// screen. Two steps, so that a pointer already resting there still moves.
void pointAt(QWidget *widget, QPoint local = QPoint(-1, -1))
{
    if (local == QPoint(-1, -1))
        local = widget->rect().center();
    const QPoint inWindow = widget->mapTo(widget->window(), local);
    QTest::mouseMove(widget->window()->windowHandle(), inWindow + QPoint(0, 1));
    QTest::mouseMove(widget->window()->windowHandle(), inWindow);
    QCoreApplication::processEvents();
}

void clickAt(QWidget *widget)
{
    QTest::mouseClick(widget->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier, centreInWindow(widget));
    QCoreApplication::processEvents();
}

QStringList visibleHighlights(MenuScreen *menu)
{
    QStringList shown;
    for (MenuItemPicture *picture : menu->highlights())
        if (picture->isVisible())
            shown << picture->objectName();
    return shown;
}

QList<QWidget *> visibleWindows()
{
    QList<QWidget *> windows;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible())
            windows << w;
    return windows;
}

// The current time as the clock shows it, allowing for a second that ticks
// over while the check runs.
bool isCurrentClockText(const QString &text, const QTime &before)
{
    const QTime after = QTime::currentTime();
    for (QTime t = before; t <= after.addSecs(1) && t >= before; t = t.addSecs(1))
        if (text == Formats::clockTime(t))
            return true;
    return false;
}

// A PATH of its own holding stand-in programs that note each start.
class FakePrograms
{
public:
    FakePrograms() : m_oldPath(qgetenv("PATH")) { qputenv("PATH", m_dir.path().toLocal8Bit()); }
    ~FakePrograms() { qputenv("PATH", m_oldPath); }

    void add(const QString &name)
    {
        QFile script(m_dir.filePath(name));
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\necho %1 >> '%2'\n").arg(name, marker()).toLocal8Bit());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString marker() const { return m_dir.filePath(QStringLiteral("started.txt")); }
    QStringList started() const
    {
        QFile file(marker());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

UtilityScreen *openUtilities()
{
    return openScreen<UtilityScreen>(QStringLiteral("frmUtility"));
}

} // namespace

class ShellTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    // The pointer rests in a corner, away from every screen, until a test moves it.
    void init() { QCursor::setPos(QGuiApplication::primaryScreen()->geometry().bottomRight()); }
    void cleanup() { closeAllScreens(); }

    // --- formats ---------------------------------------------------------

    void shouldFormatDatesWithoutLeadingZeros_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("shown");
        QTest::newRow("december") << QDate(2026, 12, 6) << QStringLiteral("12/6/2026");
        QTest::newRow("october") << QDate(2014, 10, 20) << QStringLiteral("10/20/2014");
        QTest::newRow("january") << QDate(2013, 1, 5) << QStringLiteral("1/5/2013");
    }
    void shouldFormatDatesWithoutLeadingZeros()
    {
        QFETCH(QDate, date);
        QFETCH(QString, shown);
        QCOMPARE(Formats::shortDate(date), shown);
    }

    void shouldShowTheClockWithSecondsAndNoTimeZone_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("shown");
        QTest::newRow("afternoon") << QTime(15, 45, 12) << QStringLiteral("3:45:12 PM");
        QTest::newRow("midnight") << QTime(0, 0, 5) << QStringLiteral("12:00:05 AM");
        QTest::newRow("morning") << QTime(9, 7, 0) << QStringLiteral("9:07:00 AM");
    }
    void shouldShowTheClockWithSecondsAndNoTimeZone()
    {
        QFETCH(QTime, time);
        QFETCH(QString, shown);
        QCOMPARE(Formats::clockTime(time), shown);
    }

    // --- main menu -------------------------------------------------------

    void shouldOpenWithNormalItemsTheTimeAndTheDate()
    {
        TestData data;
        const QTime before = QTime::currentTime();
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        QCOMPARE(menu->size(), QSize(501, 500));
        QVERIFY(menu->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(menu->windowTitle(), QStringLiteral("Form1"));
        QVERIFY(visibleHighlights(menu).isEmpty());
        QVERIFY(!menu->bigexit->isVisible());
        for (const char *name : {"bgAdd", "bgList", "bgLibbooks", "bgUtility", "bgRetrieve", "bgManage"})
            QVERIFY2(menu->findChild<MenuItemPicture *>(QString::fromLatin1(name))->isVisible(), name);
        QCOMPARE(menu->Label1->text(), QStringLiteral("Time:"));
        QCOMPARE(menu->Label2->text(), QStringLiteral("Date:"));
        QCOMPARE(menu->lblDate->text(), Formats::shortDate(QDate::currentDate()));
        QVERIFY2(DateText.match(menu->lblDate->text()).hasMatch(), qPrintable(menu->lblDate->text()));
        QVERIFY2(ClockText.match(menu->lblTime->text()).hasMatch(), qPrintable(menu->lblTime->text()));
        QVERIFY(isCurrentClockText(menu->lblTime->text(), before));
        QCOMPARE(menu->Timer1->interval(), 500);
        QVERIFY(menu->Timer1->isActive());
    }

    void shouldNeverTakeTheKeyboardFocus()
    {
        TestData data;
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        QCOMPARE(menu->focusPolicy(), Qt::NoFocus);
        for (QWidget *child : menu->findChildren<QWidget *>())
            QVERIFY2(child->focusPolicy() == Qt::NoFocus, qPrintable(child->objectName()));
    }

    void shouldPlaceEachItemWithItsWordsAndHighlight_data()
    {
        QTest::addColumn<QString>("normal");
        QTest::addColumn<QString>("highlighted");
        QTest::addColumn<QString>("words");
        QTest::addColumn<QRect>("place");
        QTest::newRow("add") << "bgAdd" << "mAdd" << "ADD RECORD" << QRect(80, 120, 338, 46);
        QTest::newRow("list") << "bgList" << "mList" << "LIST OF BOOKS BORROWED" << QRect(80, 168, 338, 46);
        QTest::newRow("books") << "bgLibbooks" << "mLibBooks" << "LIBRARY BOOKS" << QRect(80, 216, 166, 48);
        QTest::newRow("utility") << "bgUtility" << "mUtility" << "UTILITIES" << QRect(248, 216, 169, 48);
        QTest::newRow("retrieve") << "bgRetrieve" << "mRetrieve" << "RETRIEVE BOOKS" << QRect(80, 266, 338, 46);
        QTest::newRow("manage") << "bgManage" << "mManage" << "MANAGE ACCOUNTS" << QRect(80, 314, 338, 46);
    }
    void shouldPlaceEachItemWithItsWordsAndHighlight()
    {
        QFETCH(QString, normal);
        QFETCH(QString, highlighted);
        QFETCH(QString, words);
        QFETCH(QRect, place);
        TestData data;
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        auto *bg = menu->findChild<MenuItemPicture *>(normal);
        auto *m = menu->findChild<MenuItemPicture *>(highlighted);
        QVERIFY(bg && m);
        QCOMPARE(bg->geometry(), place);
        QCOMPARE(m->geometry(), place);
        QCOMPARE(bg->words(), words);
        QCOMPARE(m->words(), words);
        QVERIFY(!bg->isHighlighted());
        QVERIFY(m->isHighlighted());
        // Later children lie above earlier ones.
        const QObjectList order = menu->children();
        QVERIFY(order.indexOf(m) > order.indexOf(bg));
        QVERIFY(order.indexOf(menu->bigexit) > order.indexOf(m));
        QVERIFY(order.indexOf(bg) > order.indexOf(menu->lblDate));
    }

    void shouldStackTheExitAboveTheBigExitAboveTheBackground()
    {
        TestData data;
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        QCOMPARE(menu->mexit->geometry(), QRect(440, 432, 57, 65));
        QCOMPARE(menu->bigexit->geometry(), QRect(432, 432, 72, 72));
        QCOMPARE(menu->Image1->geometry(), QRect(0, 0, 501, 500));
        const QObjectList order = menu->children();
        QVERIFY(order.indexOf(menu->mexit) > order.indexOf(menu->bigexit));
        for (QLabel *label : {menu->Label1, menu->lblTime, menu->Label2, menu->lblDate})
            QVERIFY(order.indexOf(label) > order.indexOf(menu->Image1));
        QVERIFY(menu->mexit->text().isEmpty());
    }

    void shouldFollowThePointerWithOneHighlightAtATime_data()
    {
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<QString>("highlight");
        QTest::addColumn<bool>("bigExit");
        QTest::newRow("first row straight onto the second") << QStringList{"bgAdd", "bgList"} << "mList" << false;
        QTest::newRow("library books then utilities") << QStringList{"bgLibbooks", "bgUtility"} << "mUtility" << false;
        QTest::newRow("utilities then manage accounts") << QStringList{"bgUtility", "bgManage"} << "mManage" << false;
        QTest::newRow("item then background") << QStringList{"bgRetrieve", "Image1"} << "" << false;
        QTest::newRow("item then clock") << QStringList{"bgAdd", "lblTime"} << "" << false;
        QTest::newRow("exit") << QStringList{"mexit"} << "" << true;
        QTest::newRow("exit then item keeps the big exit") << QStringList{"mexit", "bgRetrieve"} << "mRetrieve" << true;
        QTest::newRow("item then exit keeps the item") << QStringList{"bgAdd", "mexit"} << "mAdd" << true;
        QTest::newRow("exit, item, background") << QStringList{"mexit", "bgAdd", "Image1"} << "" << false;
        QTest::newRow("background alone") << QStringList{"Image1"} << "" << false;
    }
    void shouldFollowThePointerWithOneHighlightAtATime()
    {
        QFETCH(QStringList, path);
        QFETCH(QString, highlight);
        QFETCH(bool, bigExit);
        TestData data;
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        for (const QString &name : path) {
            auto *target = menu->findChild<QWidget *>(name);
            QVERIFY2(target, qPrintable(name));
            // The background is open parchment left of the items.
            pointAt(target, target == menu->Image1 ? QPoint(40, 250) : QPoint(-1, -1));
        }
        QCOMPARE(visibleHighlights(menu), highlight.isEmpty() ? QStringList() : QStringList{highlight});
        QCOMPARE(menu->bigexit->isVisible(), bigExit);
    }

    void shouldReactWhenThePointerArrivesWithoutAMove()
    {
        // An Enter with no move event after it still highlights.
        TestData data;
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), menu->bgManage->mapToGlobal(QPointF(3, 3)));
        QApplication::sendEvent(menu->bgManage, &enter);
        QCOMPARE(visibleHighlights(menu), QStringList{QStringLiteral("mManage")});
        QEnterEvent back(QPointF(3, 3), QPointF(3, 3), menu->Image1->mapToGlobal(QPointF(3, 3)));
        QApplication::sendEvent(menu->Image1, &back);
        QVERIFY(visibleHighlights(menu).isEmpty());
    }

    void shouldOpenTheItemsScreenAndLeaveTheMenu_data()
    {
        QTest::addColumn<QString>("normal");
        QTest::addColumn<QString>("screen");
        QTest::newRow("add record") << "bgAdd" << "frmAddRecord";
        QTest::newRow("list") << "bgList" << "frmList";
        QTest::newRow("library books") << "bgLibbooks" << "frmBooks";
        QTest::newRow("utilities") << "bgUtility" << "frmUtility";
        QTest::newRow("retrieve") << "bgRetrieve" << "frmRetrieve";
        QTest::newRow("manage accounts") << "bgManage" << "frmUser";
    }
    void shouldOpenTheItemsScreenAndLeaveTheMenu()
    {
        QFETCH(QString, normal);
        QFETCH(QString, screen);
        TestData data;
        FakeDialogs dialogs;
        QPointer<MenuScreen> menu = openMenu();
        QVERIFY(menu);
        auto *item = menu->findChild<QWidget *>(normal);
        pointAt(item);
        clickAt(item);
        flushDeletes();
        QVERIFY(menu.isNull());
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmMenu")));
        QWidget *opened = Navigator::instance().existing(screen);
        QVERIFY(opened);
        QVERIFY(opened->isVisible());
        QCOMPARE(visibleWindows(), QList<QWidget *>{opened});
    }

    void shouldNotOpenAnythingFromAnItemThatIsNotHighlighted()
    {
        TestData data;
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        // Straight at the normal picture, with no pointer move before.
        QTest::mouseClick(menu->bgUtility, Qt::LeftButton);
        flushDeletes();
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmUtility")));
        QCOMPARE(Navigator::instance().existing(QStringLiteral("frmMenu")), menu);
    }

    void shouldStayUnchangedWhenTheExitIsAnsweredNo()
    {
        TestData data;
        FakeDialogs dialogs;
        dialogs.answers << Dialogs::AnswerNo;
        QPointer<MenuScreen> menu = openMenu();
        QVERIFY(menu);
        pointAt(menu->bgList);
        pointAt(menu->mexit);
        clickAt(menu->mexit);
        flushDeletes();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].text, QStringLiteral("Are you sure you want to exit?"));
        QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Close Application"));
        QCOMPARE(dialogs.boxes[0].icon, Dialogs::NoIcon);
        QCOMPARE(dialogs.boxes[0].buttons, Dialogs::YesNo);
        QVERIFY(menu && menu->isVisible());
        QCOMPARE(visibleHighlights(menu), QStringList{QStringLiteral("mList")});
        QVERIFY(menu->bigexit->isVisible());
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmclose")));
    }

    void shouldOpenTheClosingScreenWhenTheExitIsAnsweredYes()
    {
        TestData data;
        FakeDialogs dialogs;
        dialogs.answers << Dialogs::AnswerYes;
        QPointer<MenuScreen> menu = openMenu();
        QVERIFY(menu);
        pointAt(menu->mexit);
        clickAt(menu->mexit);
        flushDeletes();
        QCOMPARE(dialogs.boxes.size(), 1);
        QVERIFY(menu.isNull());
        auto *closing = Navigator::instance().existingAs<CloseScreen>(QStringLiteral("frmclose"));
        QVERIFY(closing);
        QVERIFY(closing->isVisible());
        QVERIFY(closing->timer()->isActive());
        QVERIFY(!Navigator::instance().quitRequested());
    }

    void shouldRenewTheTimeOnEveryTick()
    {
        TestData data;
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        const QString date = menu->lblDate->text();
        menu->lblTime->setText(QStringLiteral("stale"));
        menu->lblDate->setText(QStringLiteral("kept"));
        const QTime before = QTime::currentTime();
        menu->tick();
        QVERIFY(isCurrentClockText(menu->lblTime->text(), before));
        // The date is set when the menu opens, not by the clock.
        QCOMPARE(menu->lblDate->text(), QStringLiteral("kept"));
        QVERIFY(!date.isEmpty());
    }

    // --- navigation ------------------------------------------------------

    void shouldShowAnUnseenScreenInsteadOfMakingANewOne()
    {
        TestData data;
        QWidget *unseen = Navigator::instance().create(QStringLiteral("frmList"));
        QVERIFY(unseen);
        QVERIFY(!unseen->isVisible());
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        pointAt(menu->bgList);
        clickAt(menu->mList);
        flushDeletes();
        QCOMPARE(Navigator::instance().existing(QStringLiteral("frmList")), unseen);
        QVERIFY(unseen->isVisible());
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmMenu")));
    }

    void returnButtons_data()
    {
        QTest::addColumn<QString>("normal");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("caption");
        QTest::newRow("add record") << "bgAdd" << "frmAddRecord" << "cmdMain" << "Main";
        QTest::newRow("list") << "bgList" << "frmList" << "cmdMain" << "Main";
        QTest::newRow("library books") << "bgLibbooks" << "frmBooks" << "cmdMain" << "Main Menu";
        QTest::newRow("utilities") << "bgUtility" << "frmUtility" << "jcbutton1" << "Main Menu";
        QTest::newRow("retrieve") << "bgRetrieve" << "frmRetrieve" << "cmdMain" << "Main";
        QTest::newRow("manage accounts") << "bgManage" << "frmUser" << "cmdMain" << "Main Menu";
    }

    void shouldReturnToAFreshMenuWithNoHighlight_data() { returnButtons_data(); }
    void shouldReturnToAFreshMenuWithNoHighlight()
    {
        QFETCH(QString, normal);
        QFETCH(QString, screen);
        QFETCH(QString, button);
        QFETCH(QString, caption);
        TestData data;
        FakeDialogs dialogs;
        QPointer<MenuScreen> first = openMenu();
        QVERIFY(first);
        auto *item = first->findChild<QWidget *>(normal);
        pointAt(item);
        clickAt(item);
        flushDeletes();
        QVERIFY(first.isNull());
        QPointer<QWidget> feature = Navigator::instance().existing(screen);
        QVERIFY(feature);
        auto *back = feature->findChild<QPushButton *>(button);
        QVERIFY(back);
        QCOMPARE(back->text(), caption);
        back->click();
        flushDeletes();
        QVERIFY(feature.isNull());
        auto *menu = Navigator::instance().existingAs<MenuScreen>(QStringLiteral("frmMenu"));
        QVERIFY(menu);
        QVERIFY(menu->isVisible());
        QVERIFY(visibleHighlights(menu).isEmpty());
        QVERIFY(!menu->bigexit->isVisible());
        QCOMPARE(menu->lblDate->text(), Formats::shortDate(QDate::currentDate()));
        QCOMPARE(visibleWindows(), QList<QWidget *>{menu});
    }

    void shouldOpenNothingWhenAScreenIsClosedByTheWindowSystem_data() { returnButtons_data(); }
    void shouldOpenNothingWhenAScreenIsClosedByTheWindowSystem()
    {
        QFETCH(QString, normal);
        QFETCH(QString, screen);
        TestData data;
        FakeDialogs dialogs;
        MenuScreen *menu = openMenu();
        QVERIFY(menu);
        auto *item = menu->findChild<QWidget *>(normal);
        pointAt(item);
        clickAt(item);
        flushDeletes();
        QPointer<QWidget> feature = Navigator::instance().existing(screen);
        QVERIFY(feature);
        QVERIFY(feature->close());
        flushDeletes();
        QVERIFY(feature.isNull());
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmMenu")));
        QVERIFY(visibleWindows().isEmpty());
        QCOMPARE(dialogs.boxes.size(), 0);
    }

    void shouldMakeAFreshMenuEvenBeforeTheOldOneIsDeleted()
    {
        // Leaving and coming back within one turn of the event loop must not
        // bring back the menu that is about to be deleted.
        TestData data;
        QPointer<MenuScreen> first = openMenu();
        QVERIFY(first);
        Navigator::instance().leave(first, QStringLiteral("frmUtility"));
        auto *panel = Navigator::instance().existingAs<UtilityScreen>(QStringLiteral("frmUtility"));
        QVERIFY(panel);
        panel->jcbutton1->click();
        auto *second = Navigator::instance().existingAs<MenuScreen>(QStringLiteral("frmMenu"));
        QVERIFY(second);
        QVERIFY(second != first.data());
        flushDeletes();
        QVERIFY(first.isNull());
        QCOMPARE(Navigator::instance().existing(QStringLiteral("frmMenu")), second);
        QVERIFY(second->isVisible());
    }

    // --- closing sequence -----------------------------------------------

    void shouldStartTheClosingSequenceEmpty()
    {
        TestData data;
        CloseScreen closing;
        QCOMPARE(closing.objectName(), QStringLiteral("frmclose"));
        QCOMPARE(closing.size(), QSize(490, 277));
        QVERIFY(closing.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(closing.findChild<QLabel *>(QStringLiteral("lblLoading"))->text(), QStringLiteral("Loading"));
        QCOMPARE(closing.findChild<QLabel *>(QStringLiteral("lblPercent"))->text(), QStringLiteral("? %"));
        QCOMPARE(closing.findChild<QLabel *>(QStringLiteral("lblProgress"))->text(), QString());
        QCOMPARE(closing.findChild<QProgressBar *>(QStringLiteral("pBar"))->value(), 0);
        QVERIFY(!closing.findChild<QLabel *>(QStringLiteral("lblVersion")));
        QCOMPARE(closing.timer()->interval(), 75);
    }

    void shouldShowTheClosingTextsAtTheirSteps_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<QString>("status");
        QTest::newRow("9") << 9 << "Loading";
        QTest::newRow("10") << 10 << "Saving Data..";
        QTest::newRow("19") << 19 << "Saving Data..";
        QTest::newRow("20") << 20 << "Saving Data ....";
        QTest::newRow("30") << 30 << "Saving Reports..";
        QTest::newRow("40") << 40 << "Saving Reports...";
        QTest::newRow("50") << 50 << "Closing Accounts Info...";
        QTest::newRow("60") << 60 << "Closing User Interface...";
        QTest::newRow("70") << 70 << "Closing connectivity...";
        QTest::newRow("80") << 80 << "Closing Database..";
        QTest::newRow("89") << 89 << "Closing Database..";
        QTest::newRow("90") << 90 << "Closing Successfully Completed...";
        QTest::newRow("99") << 99 << "Closing Successfully Completed...";
    }
    void shouldShowTheClosingTextsAtTheirSteps()
    {
        QFETCH(int, steps);
        QFETCH(QString, status);
        TestData data;
        CloseScreen closing;
        for (int i = 0; i < steps; ++i)
            closing.tick();
        QCOMPARE(closing.findChild<QLabel *>(QStringLiteral("lblLoading"))->text(), status);
        QCOMPARE(closing.findChild<QLabel *>(QStringLiteral("lblPercent"))->text(), QStringLiteral("%1 %").arg(steps));
        QCOMPARE(closing.findChild<QLabel *>(QStringLiteral("lblProgress"))->text(), QString(steps, QLatin1Char('_')));
        QCOMPARE(closing.step(), steps);
        QVERIFY(!Navigator::instance().quitRequested());
    }

    void shouldEndTheProgramAtStepOneHundred()
    {
        TestData data;
        QPointer<QWidget> unseen = Navigator::instance().create(QStringLiteral("frmList"));
        QPointer<CloseScreen> closing = openScreen<CloseScreen>(QStringLiteral("frmclose"));
        QVERIFY(closing);
        for (int i = 0; i < 99; ++i)
            closing->tick();
        QVERIFY(!Navigator::instance().quitRequested());
        QVERIFY(closing->isVisible());
        closing->tick();
        QVERIFY(Navigator::instance().quitRequested());
        QCOMPARE(closing->step(), 100);
        QCOMPARE(closing->findChild<QLabel *>(QStringLiteral("lblLoading"))->text(),
                 QStringLiteral("Closing Successfully Completed..."));
        QVERIFY(!closing->timer()->isActive());
        closing->tick();
        QCOMPARE(closing->step(), 100);
        flushDeletes();
        QVERIFY(closing.isNull());
        QVERIFY(unseen.isNull());
    }

    // --- utilities panel -------------------------------------------------

    void shouldLayOutTheUtilitiesPanel()
    {
        TestData data;
        UtilityScreen *panel = openUtilities();
        QVERIFY(panel);
        QCOMPARE(panel->windowTitle(), QStringLiteral("Form1"));
        QCOMPARE(panel->size(), QSize(696, 416));
        QCOMPARE(panel->minimumSize(), panel->maximumSize());
        QVERIFY(panel->windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(panel->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(panel->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(panel->AeroGroupBox4->title(), QStringLiteral("Choose your Utility"));
        const QList<std::tuple<FramedPanel *, QLabel *, Picture *, QString>> tools{
            {panel->AeroGroupBox1, panel->Label1, panel->Image3, QStringLiteral("CALENDAR")},
            {panel->AeroGroupBox2, panel->Label2, panel->Image2, QStringLiteral("CALCULATOR")},
            {panel->AeroGroupBox3, panel->Label3, panel->Image1, QStringLiteral("NOTEPAD")}};
        int left = -1;
        for (const auto &[box, label, picture, name] : tools) {
            QCOMPARE(box->title(), QStringLiteral("AeroGroupBox1"));
            QCOMPARE(box->parentWidget(), panel->AeroGroupBox4);
            QVERIFY(box->x() > left);
            left = box->x();
            QCOMPARE(label->text(), name);
            QCOMPARE(label->parentWidget(), box);
            QCOMPARE(picture->size(), QSize(200, 200));
            QCOMPARE(picture->parentWidget(), box);
            QVERIFY(label->y() < picture->y());
            QVERIFY(box->rect().contains(picture->geometry()));
        }
        QCOMPARE(panel->jcbutton1->text(), QStringLiteral("Main Menu"));
        QVERIFY(panel->jcbutton1->x() > panel->width() / 2);
        QVERIFY(panel->jcbutton1->y() > panel->AeroGroupBox4->geometry().bottom());
        for (QWidget *child : panel->findChildren<QWidget *>())
            if (child != panel->jcbutton1)
                QVERIFY2(child->focusPolicy() == Qt::NoFocus, qPrintable(child->objectName()));
        QVERIFY(panel->jcbutton1->focusPolicy() != Qt::NoFocus);
    }

    void shouldStartTheSystemsProgramForEachClick_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("editor gedit") << "Image1" << QStringList{"gedit"} << "gedit";
        QTest::newRow("editor first choice wins") << "Image1" << QStringList{"mousepad", "gnome-text-editor"}
                                                  << "gnome-text-editor";
        QTest::newRow("editor last choice") << "Image1" << QStringList{"featherpad"} << "featherpad";
        QTest::newRow("calculator") << "Image2" << QStringList{"galculator"} << "galculator";
        QTest::newRow("calculator first choice wins") << "Image2" << QStringList{"xcalc", "kcalc"} << "kcalc";
        QTest::newRow("editor ignores calculators") << "Image1" << QStringList{"xcalc", "leafpad"} << "leafpad";
    }
    void shouldStartTheSystemsProgramForEachClick()
    {
        QFETCH(QString, picture);
        QFETCH(QStringList, installed);
        QFETCH(QString, expected);
        TestData data;
        FakeDialogs dialogs;
        FakePrograms programs;
        for (const QString &name : installed)
            programs.add(name);
        UtilityScreen *panel = openUtilities();
        QVERIFY(panel);
        auto *image = panel->findChild<Picture *>(picture);
        clickAt(image);
        QTRY_COMPARE(programs.started(), QStringList{expected});
        // A second click starts a second instance.
        clickAt(image);
        QTRY_COMPARE(programs.started(), (QStringList{expected, expected}));
        QCOMPARE(dialogs.boxes.size(), 0);
        QVERIFY(panel->isVisible());
        QCOMPARE(Navigator::instance().existing(QStringLiteral("frmUtility")), panel);
    }

    void shouldExplainAMissingProgramAndStayUsable_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("message");
        QTest::newRow("editor") << "Image1"
                                << "No text editor was found on this computer. Install one, such as gedit or "
                                   "mousepad, to use NOTEPAD.";
        QTest::newRow("calculator") << "Image2"
                                    << "No calculator was found on this computer. Install one, such as "
                                       "gnome-calculator or galculator, to use CALCULATOR.";
    }
    void shouldExplainAMissingProgramAndStayUsable()
    {
        QFETCH(QString, picture);
        QFETCH(QString, message);
        TestData data;
        FakeDialogs dialogs;
        FakePrograms nothingInstalled;
        UtilityScreen *panel = openUtilities();
        QVERIFY(panel);
        clickAt(panel->findChild<Picture *>(picture));
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].text, message);
        QCOMPARE(dialogs.boxes[0].icon, Dialogs::Information);
        QCOMPARE(dialogs.boxes[0].buttons, Dialogs::Ok);
        QVERIFY(panel->isVisible());
        // Still usable: the calendar opens and the way back works.
        clickAt(panel->Image3);
        QVERIFY(panel->calendar());
        panel->calendar()->close();
        flushDeletes();
        panel->jcbutton1->click();
        flushDeletes();
        QVERIFY(Navigator::instance().existing(QStringLiteral("frmMenu")));
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmUtility")));
    }

    // --- calendar ---------------------------------------------------------

    void shouldOpenTheCalendarOnItsStoredDate()
    {
        TestData data;
        UtilityScreen *panel = openUtilities();
        QVERIFY(panel);
        clickAt(panel->Image3);
        CalendarScreen *calendar = panel->calendar();
        QVERIFY(calendar);
        QVERIFY(QTest::qWaitForWindowExposed(calendar));
        QCOMPARE(calendar->windowTitle(), QStringLiteral("Form1"));
        QCOMPARE(calendar->size(), QSize(508, 282));
        QVERIFY(calendar->minimumSize() != calendar->maximumSize());
        QCOMPARE(calendar->AeroGroupBox1->title(), QStringLiteral("AeroGroupBox1"));
        QCOMPARE(calendar->MonthView1->selectedDate(), QDate(2013, 11, 24));
        QCOMPARE(calendar->MonthView1->yearShown(), 2013);
        QCOMPARE(calendar->MonthView1->monthShown(), 11);
        QCOMPARE(calendar->MonthView1->minimumDate(), QDate(1753, 1, 1));
        QCOMPARE(calendar->MonthView1->maximumDate(), QDate(9999, 12, 31));
        QCOMPARE(calendar->Label1->text(), QStringLiteral("Current  Time"));
        QCOMPARE(calendar->Label2->text(), QStringLiteral("Current Date"));
        QCOMPARE(calendar->txtDate->text(), Formats::shortDate(QDate::currentDate()));
        QVERIFY2(ClockText.match(calendar->txtTime->text()).hasMatch(), qPrintable(calendar->txtTime->text()));
        QVERIFY(calendar->Timer1->isActive());
    }

    void shouldBlockThePanelWhileTheCalendarIsOpen()
    {
        TestData data;
        FakeDialogs dialogs;
        FakePrograms programs;
        programs.add(QStringLiteral("gedit"));
        UtilityScreen *panel = openUtilities();
        QVERIFY(panel);
        clickAt(panel->Image3);
        QPointer<CalendarScreen> calendar = panel->calendar();
        QVERIFY(calendar);
        QVERIFY(QTest::qWaitForWindowExposed(calendar));
        QCOMPARE(QApplication::activeModalWidget(), calendar.data());

        // Clicks on the panel go nowhere while the calendar is open.
        clickAt(panel->Image3);
        clickAt(panel->Image1);
        clickAt(panel->jcbutton1);
        QCOMPARE(panel->calendar(), calendar.data());
        QCOMPARE(panel->findChildren<CalendarScreen *>().size(), 1);
        QVERIFY(panel->isVisible());
        QVERIFY(!Navigator::instance().existing(QStringLiteral("frmMenu")));

        // Closed, the panel carries on, and a fresh calendar opens each time.
        calendar->close();
        flushDeletes();
        QVERIFY(calendar.isNull());
        QVERIFY(panel->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        clickAt(panel->Image3);
        QVERIFY(panel->calendar());
        panel->calendar()->close();
        flushDeletes();
        QCOMPARE(programs.started(), QStringList());
        clickAt(panel->Image1);
        QTRY_COMPARE(programs.started(), QStringList{QStringLiteral("gedit")});
    }

    void shouldFilterTheKeysOfTheDateBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("digit") << "7" << false;
        QTest::newRow("separator") << "/" << false;
        QTest::newRow("capital") << "X" << false;
        QTest::newRow("space") << " " << false;
        QTest::newRow("lowercase x") << "x" << true;
        QTest::newRow("lowercase a") << "a" << true;
        QTest::newRow("lowercase z") << "z" << true;
    }
    void shouldFilterTheKeysOfTheDateBox()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        TestData data;
        FakeDialogs dialogs;
        CalendarScreen calendar;
        const QString before = calendar.txtDate->text();
        calendar.txtDate->setFocus();
        calendar.txtDate->end(false);
        QTest::keyClicks(calendar.txtDate, typed);
        QCOMPARE(calendar.txtDate->text(), accepted ? before + typed : before);
        QCOMPARE(dialogs.beeps, accepted ? 0 : 1);
    }

    void shouldLetBackspaceThroughTheDateBox()
    {
        TestData data;
        FakeDialogs dialogs;
        CalendarScreen calendar;
        const QString before = calendar.txtDate->text();
        calendar.txtDate->end(false);
        QTest::keyClick(calendar.txtDate, Qt::Key_Backspace);
        QCOMPARE(calendar.txtDate->text(), before.chopped(1));
        QCOMPARE(dialogs.beeps, 0);
    }

    void shouldShowTheCurrentTimeAgainWhenTheTimeBoxChanges_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("letters") << "abc";
        QTest::newRow("digits") << "12";
        QTest::newRow("space") << " ";
    }
    void shouldShowTheCurrentTimeAgainWhenTheTimeBoxChanges()
    {
        QFETCH(QString, typed);
        TestData data;
        CalendarScreen calendar;
        const QTime before = QTime::currentTime();
        calendar.txtTime->end(false);
        QTest::keyClicks(calendar.txtTime, typed);
        QVERIFY2(isCurrentClockText(calendar.txtTime->text(), before), qPrintable(calendar.txtTime->text()));
        calendar.txtTime->setText(QStringLiteral("set by hand"));
        QVERIFY(isCurrentClockText(calendar.txtTime->text(), before));
    }

    void shouldKeepTheTimeBoxRunning()
    {
        TestData data;
        CalendarScreen calendar;
        QCOMPARE(calendar.Timer1->interval(), 500);
        QVERIFY(calendar.Timer1->isActive());
        calendar.txtTime->blockSignals(true);
        calendar.txtTime->setText(QStringLiteral("3:00:00 AM"));
        calendar.txtTime->blockSignals(false);
        const QTime before = QTime::currentTime();
        calendar.tick();
        QVERIFY(isCurrentClockText(calendar.txtTime->text(), before));
    }
};

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
