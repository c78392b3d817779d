// What assistive technology and a pointer find on every screen: names for
// every input and picture, the menu's items as buttons it can press, the
// record bars' arrows as targets big enough to hit, framed when focused.
#include "testsupport.h"

#include "app/screennames.h"
#include "shell/menuscreen.h"
#include "ui/navigationbar.h"
#include "ui/navigator.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

// Every screen the program registers, as the navigator knows them.
const QStringList Screens{ScreenNames::Splash,  ScreenNames::Login,     ScreenNames::Menu,
                          ScreenNames::Close,   ScreenNames::Utility,   ScreenNames::LoanEntry,
                          ScreenNames::LoanList, ScreenNames::Books,    ScreenNames::ReturnDesk,
                          ScreenNames::Accounts};

QWidget *show(const QString &name)
{
    QWidget *screen = Navigator::instance().open(name);
    return screen && QTest::qWaitForWindowExposed(screen) ? screen : nullptr;
}

QString describe(QAccessibleInterface *iface)
{
    const QObject *object = iface->object();
    return QStringLiteral("%1 \"%2\" (role %3)")
        .arg(object ? QString::fromLatin1(object->metaObject()->className()) + QLatin1Char(' ') + object->objectName()
                    : QStringLiteral("?"),
             iface->text(QAccessible::Name))
        .arg(int(iface->role()));
}

bool isPicture(const QObject *object)
{
    if (qobject_cast<const Picture *>(object))
        return true;
    const auto *label = qobject_cast<const QLabel *>(object);
    return label && !label->pixmap().isNull();
}

// Walks the tree under `iface` and notes every input that cannot be found
// by its name, and every picture or filler (a client or blank space with
// nothing inside) that has none. The rows of lists
// and grids are their data, named by it; they are not walked.
void walk(QAccessibleInterface *iface, QStringList &nameless, int &seen)
{
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        if (!child)
            continue;
        ++seen;
        const QAccessible::State state = child->state();
        const QAccessible::Role role = child->role();
        const bool named = !child->text(QAccessible::Name).trimmed().isEmpty();
        const bool input = state.focusable || state.editable || role == QAccessible::EditableText
                           || role == QAccessible::ComboBox || role == QAccessible::SpinBox;
        // A list's drop-down is a window of its own that the list speaks for.
        const bool dropDown = qobject_cast<QAbstractItemView *>(child->object())
                              && qobject_cast<QComboBox *>(iface->object());
        if (dropDown)
            continue;
        if (input && !named)
            nameless << QStringLiteral("input ") + describe(child);
        if (!named && (isPicture(child->object())
                       || ((role == QAccessible::Client || role == QAccessible::Whitespace) && child->childCount() == 0)))
            nameless << QStringLiteral("picture ") + describe(child);
        if (role != QAccessible::Table && role != QAccessible::List && role != QAccessible::Tree)
            walk(child, nameless, seen);
    }
}

// The shown child of the menu that is a button named `words`.
QAccessibleInterface *menuButton(QWidget *menu, const QString &words)
{
    QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(menu);
    for (int i = 0; i < tree->childCount(); ++i) {
        QAccessibleInterface *child = tree->child(i);
        if (child && child->role() == QAccessible::Button && child->text(QAccessible::Name) == words
            && !child->state().invisible)
            return child;
    }
    return nullptr;
}

bool showsGold(QWidget *widget)
{
    const QImage picture = widget->grab().toImage();
    const QRgb gold = Theme::gold().rgb();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((picture.pixel(x, y) & 0xffffff) == (gold & 0xffffff))
                return true;
    return false;
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<DeskData> data;
    FakeDialogs *dialogs = nullptr;

private slots:
    void initTestCase()
    {
        prepareTestApplication();
        QAccessible::setActive(true);
    }
    void init()
    {
        data = std::make_unique<DeskData>();
        dialogs = &data->dialogs;
        insertLoan(*data, QStringLiteral("A-1"));
    }
    void cleanup()
    {
        closeAllScreens();
        data.reset();
    }

    // --- every screen ------------------------------------------------------------

    void shouldNameEveryInputAndPictureAndGiveEveryArrowRoom_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QStringList>("names"); // boxes told apart by name though their labels read alike
        for (const QString &screen : Screens)
            QTest::newRow(qPrintable(screen))
                << screen << (screen == ScreenNames::ReturnDesk ? QStringList{"txtDaysBorrow", "Days borrowed", "txtdays", "Overdue days"} : QStringList());
    }
    void shouldNameEveryInputAndPictureAndGiveEveryArrowRoom()
    {
        QFETCH(QString, screen);
        QFETCH(QStringList, names);
        QWidget *shown = show(screen);
        QVERIFY(shown);
        QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(shown);
        QVERIFY(tree);
        QStringList nameless;
        int seen = 0;
        walk(tree, nameless, seen);
        QVERIFY(seen > 5);
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QStringLiteral("; "))));
        for (qsizetype i = 0; i < names.size(); i += 2)
            QCOMPARE(QAccessible::queryAccessibleInterface(control<QWidget>(shown, qPrintable(names[i])))->text(QAccessible::Name), names[i + 1]);

        // The typing box of every list is named by the list or by its label.
        for (QComboBox *list : shown->findChildren<QComboBox *>()) {
            if (!list->lineEdit())
                continue;
            QString label;
            for (const QLabel *l : shown->findChildren<QLabel *>())
                if (l->buddy() == list)
                    label = l->text();
            const QString expected = list->accessibleName().isEmpty() ? label : list->accessibleName();
            QVERIFY2(!expected.isEmpty(), qPrintable(list->objectName()));
            QCOMPARE(QAccessible::queryAccessibleInterface(list->lineEdit())->text(QAccessible::Name), expected);
        }

        // The record bars: four named arrows big enough to hit, and the whole caption.
        for (NavigationBar *bar : shown->findChildren<NavigationBar *>()) {
            const QString what = bar->objectName();
            QVERIFY2(shown->rect().contains(QRect(bar->mapTo(shown, QPoint()), bar->size())), qPrintable(what));
            QCOMPARE(bar->arrows().size(), 4);
            for (QToolButton *arrow : bar->arrows())
                QVERIFY2(arrow->isVisible() && arrow->width() >= 20 && !arrow->accessibleName().isEmpty(),
                         qPrintable(what + QLatin1Char(' ') + arrow->objectName() + QLatin1Char(' ') + QString::number(arrow->width())));
            auto *caption = bar->findChild<QLabel *>(QStringLiteral("caption"));
            QVERIFY(caption && caption->isVisible());
            QCOMPARE(caption->text(), bar->caption());
            QVERIFY2(caption->width() >= caption->sizeHint().width(),
                     qPrintable(what + QStringLiteral(": %1 of %2").arg(caption->width()).arg(caption->sizeHint().width())));
        }
    }

    void shouldFrameTheArrowThatTabReaches_data()
    {
        QTest::addColumn<QString>("screen");
        QTest::newRow("books") << ScreenNames::Books;
        QTest::newRow("loan list") << ScreenNames::LoanList;
        QTest::newRow("accounts") << ScreenNames::Accounts;
    }
    void shouldFrameTheArrowThatTabReaches()
    {
        QFETCH(QString, screen);
        QWidget *shown = show(screen);
        QVERIFY(shown && QTest::qWaitForWindowActive(shown));
        auto *bar = shown->findChild<NavigationBar *>();
        QVERIFY(bar);
        QToolButton *next = bar->arrows().at(2);
        QVERIFY(!showsGold(next));
        // Tab from the arrow before it, as the user goes along the bar.
        bar->arrows().at(1)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), next);
        QVERIFY(showsGold(next));
        // A click moves the row and leaves the focus where it was.
        QToolButton *first = bar->arrows().first();
        QTest::mouseClick(first, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), next);
    }

    void shouldNameTheIconOfEveryMessageBox_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("name");
        QTest::newRow("information") << int(Dialogs::Information) << "Information";
        QTest::newRow("question") << int(Dialogs::Question) << "Question";
        QTest::newRow("critical") << int(Dialogs::Critical) << "Error";
    }
    void shouldNameTheIconOfEveryMessageBox()
    {
        QFETCH(int, icon);
        QFETCH(QString, name);
        MessageBoxes real;
        QString read;
        bool found = false;
        QTimer::singleShot(0, this, [&] {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(window);
                if (!box || !box->isVisible())
                    continue;
                found = true;
                QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(box);
                for (int i = 0; i < tree->childCount(); ++i) {
                    QAccessibleInterface *child = tree->child(i);
                    if (child && isPicture(child->object()))
                        read = child->text(QAccessible::Name);
                }
                box->done(QMessageBox::Ok);
            }
        });
        real.message(QStringLiteral("Saved."), QString(), Dialogs::Icon(icon), Dialogs::Ok);
        QVERIFY(found);
        QCOMPARE(read, name);
    }

    // --- the menu ----------------------------------------------------------------

    void shouldOfferEveryMenuItemAsAButtonThatOpensItsScreen_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("screen");
        QTest::newRow("add") << "ADD RECORD" << ScreenNames::LoanEntry;
        QTest::newRow("list") << "LIST OF BOOKS BORROWED" << ScreenNames::LoanList;
        QTest::newRow("books") << "LIBRARY BOOKS" << ScreenNames::Books;
        QTest::newRow("utilities") << "UTILITIES" << ScreenNames::Utility;
        QTest::newRow("retrieve") << "RETRIEVE BOOKS" << ScreenNames::ReturnDesk;
        QTest::newRow("accounts") << "MANAGE ACCOUNTS" << ScreenNames::Accounts;
        QTest::newRow("exit, asked first") << "Exit" << ScreenNames::Close;
    }
    void shouldOfferEveryMenuItemAsAButtonThatOpensItsScreen()
    {
        QFETCH(QString, words);
        QFETCH(QString, screen);
        QWidget *menu = show(ScreenNames::Menu);
        QVERIFY(menu);
        QAccessibleInterface *item = menuButton(menu, words);
        QVERIFY(item);
        QVERIFY(!item->state().focusable);
        QAccessibleActionInterface *actions = item->actionInterface();
        QVERIFY(actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        QVERIFY(!Navigator::instance().existing(screen));
        dialogs->answers << Dialogs::AnswerYes;
        actions->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(Navigator::instance().existing(screen) && Navigator::instance().existing(screen)->isVisible());
        if (screen == ScreenNames::Close) {
            QCOMPARE(dialogs->boxes.size(), 1);
            QCOMPARE(dialogs->boxes[0].text, QStringLiteral("Are you sure you want to exit?"));
            return;
        }
        flushDeletes();
        QVERIFY(!Navigator::instance().existing(ScreenNames::Menu));
        QVERIFY(dialogs->boxes.isEmpty());
    }
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
