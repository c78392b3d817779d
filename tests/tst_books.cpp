// The library books screen driven as the librarian would: choosing the
// field, typing into the search box, stepping through the matches, and
// printing; the catalogue itself is never changed.
#include "testsupport.h"

#include "app/screennames.h"
#include "catalogue/booksscreen.h"
#include "catalogue/reportpreview.h"
#include "ui/navigationbar.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <optional>

namespace {

const QString Books = QStringLiteral("books");

BooksScreen *openBooks()
{
    auto *screen = qobject_cast<BooksScreen *>(Navigator::instance().open(ScreenNames::Books));
    return screen && QTest::qWaitForWindowActive(screen) ? screen : nullptr;
}

// The first book, in the catalogue's order, whose `field` contains `text`
// (letter case ignored), worked out here without the program's search.
QString firstContaining(TestData &data, const QString &field, const QString &text)
{
    for (const QVariantMap &row : data.rows(CatalogueFile, Books))
        if (!row.value(field).isNull() && row.value(field).toString().contains(text, Qt::CaseInsensitive))
            return row.value(QStringLiteral("BookNumber")).toString();
    return QString();
}

void chooseField(BooksScreen *screen, const QString &field)
{
    control<QComboBox>(screen, "cmbSearch")->setCurrentIndex(control<QComboBox>(screen, "cmbSearch")->findText(field));
}

} // namespace

class BooksTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTestApplication(); }
    void init()
    {
        data.emplace();
        dialogs = &data->dialogs;
        before = data->rows(CatalogueFile, Books);
    }
    void cleanup()
    {
        closeAllScreens();
        // Whatever the test did, the catalogue is as it was.
        if (data && !QTest::currentTestFailed())
            QCOMPARE(data->rows(CatalogueFile, Books), before);
        data.reset();
    }

    void shouldOpenOnTheFirstBookWithNothingChosen()
    {
        BooksScreen *screen = openBooks();
        QVERIFY(screen);
        QCOMPARE(control<QLineEdit>(screen, "Text9")->text(), QStringLiteral("B-0001"));
        QCOMPARE(control<QLineEdit>(screen, "Text16")->text(), before.first().value(QStringLiteral("Cost or            (in Peso)")).toString());
        QCOMPARE(control<QComboBox>(screen, "cmbSearch")->currentText(), QString());
        QCOMPARE(control<NavigationBar>(screen, "adoLibBar")->caption(), QStringLiteral("library books"));
        // Typed over, stepped away from: nothing reaches the catalogue.
        control<QLineEdit>(screen, "Text21")->selectAll();
        QTest::keyClicks(control<QLineEdit>(screen, "Text21"), QStringLiteral("changed title"));
        control<NavigationBar>(screen, "adoLibBar")->findChild<QToolButton *>(QStringLiteral("next"))->click();
        QCOMPARE(control<QLineEdit>(screen, "Text9")->text(), QStringLiteral("B-0002"));
        control<NavigationBar>(screen, "adoLibBar")->findChild<QToolButton *>(QStringLiteral("previous"))->click();
        QCOMPARE(control<QLineEdit>(screen, "Text21")->text(), before.first().value(QStringLiteral("Title")).toString());
    }

    void shouldAskForAFieldOnceAndRefuseTypingInTheList()
    {
        BooksScreen *screen = openBooks();
        control<QLineEdit>(screen, "Text22")->setFocus();
        QTest::keyClick(control<QLineEdit>(screen, "Text22"), Qt::Key_Tab); // into the field list
        QTest::keyClick(control<QComboBox>(screen, "cmbSearch"), Qt::Key_Tab); // into the search box
        QCOMPARE(dialogs->boxes.size(), 1);
        QCOMPARE(dialogs->boxes.first().text, QStringLiteral("select category first"));
        QCOMPARE(dialogs->boxes.first().title, QStringLiteral("search"));
        QCOMPARE(dialogs->boxes.first().icon, Dialogs::Information);
        QVERIFY(control<QComboBox>(screen, "cmbSearch")->hasFocus());
        // Keys typed in the list are refused, but its own keys choose.
        for (Qt::Key key : {Qt::Key_T, Qt::Key_Return, Qt::Key_Escape, Qt::Key_Backspace})
            QTest::keyClick(control<QComboBox>(screen, "cmbSearch"), key);
        QCOMPARE(dialogs->beeps, 3); // all but Backspace
        QCOMPARE(control<QComboBox>(screen, "cmbSearch")->currentIndex(), -1);
        QTest::keyClick(control<QComboBox>(screen, "cmbSearch"), Qt::Key_Down);
        QCOMPARE(control<QComboBox>(screen, "cmbSearch")->currentText(), QStringLiteral("Title"));
    }

    void shouldRefuseTypedKeysAlsoInTheOpenList()
    {
        BooksScreen *screen = openBooks();
        control<QComboBox>(screen, "cmbSearch")->setFocus();
        control<QComboBox>(screen, "cmbSearch")->showPopup();
        QAbstractItemView *view = control<QComboBox>(screen, "cmbSearch")->view();
        QTRY_VERIFY(view->isVisible());
        for (Qt::Key key : {Qt::Key_A, Qt::Key_Return, Qt::Key_Space})
            QTest::keyClick(view, key);
        QCOMPARE(dialogs->beeps, 3);
        QCOMPARE(control<QComboBox>(screen, "cmbSearch")->currentText(), QString()); // nothing picked
        QVERIFY(view->isVisible());
        // The open list's own navigation keys still move through it.
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(view->currentIndex().row(), 1);
        QCOMPARE(dialogs->beeps, 3);
        control<QComboBox>(screen, "cmbSearch")->hidePopup();
    }

    void shouldLeaveNoCaretInTheSearchBoxItSendsTheFocusFrom()
    {
        BooksScreen *screen = openBooks();
        control<QLineEdit>(screen, "Text22")->setFocus();
        const QImage idle = control<QLineEdit>(screen, "txtsearch")->grab().toImage();
        QTest::keyClick(control<QLineEdit>(screen, "Text22"), Qt::Key_Tab);
        QTest::keyClick(control<QComboBox>(screen, "cmbSearch"), Qt::Key_Tab); // warned, sent back
        QCOMPARE(dialogs->boxes.size(), 1);
        QTRY_VERIFY(control<QComboBox>(screen, "cmbSearch")->hasFocus());
        // A caret drawn in the box would make it differ from the idle box.
        QCOMPARE(control<QLineEdit>(screen, "txtsearch")->grab().toImage(), idle);
    }

    void shouldShowTheFirstMatchOnEveryKeystroke_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::newRow("author, inside a name") << "Author" << "ritch";
        QTest::newRow("title, letter case ignored") << "Title" << "PROGRAMMING LANG";
        QTest::newRow("title, nothing matches") << "Title" << "zzq";
    }

    void shouldShowTheFirstMatchOnEveryKeystroke()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        BooksScreen *screen = openBooks();
        chooseField(screen, field);
        control<QLineEdit>(screen, "txtsearch")->setFocus();
        for (qsizetype n = 1; n <= typed.size(); ++n) {
            QTest::keyClick(control<QLineEdit>(screen, "txtsearch"), typed.at(n - 1).toLatin1());
            QCOMPARE(control<QLineEdit>(screen, "Text9")->text(), firstContaining(*data, field, typed.left(n)));
        }
        if (firstContaining(*data, field, typed).isEmpty())
            QCOMPARE(control<QLineEdit>(screen, "Text21")->text(), QString()); // nothing matches: empty boxes
        // Cleared, the first book with the field again.
        control<QLineEdit>(screen, "txtsearch")->selectAll();
        QTest::keyClick(control<QLineEdit>(screen, "txtsearch"), Qt::Key_Backspace);
        QCOMPARE(control<QLineEdit>(screen, "Text9")->text(), QStringLiteral("B-0001"));
        QVERIFY(dialogs->boxes.isEmpty());
    }

    void shouldFindQuotesPercentSignsAndBracketsLiterally()
    {
        for (const auto &[number, title] : {std::pair{"Q-2", "100% Cotton"}, {"Q-3", "Finnegan's Wake"},
                                            {"Q-4", "Under_score [draft]"}})
            data->exec(CatalogueFile, QStringLiteral("INSERT INTO books (BookNumber, Title) VALUES (?, ?)"),
                       {QString::fromLatin1(number), QString::fromLatin1(title)});
        before = data->rows(CatalogueFile, Books);
        BooksScreen *screen = openBooks();
        chooseField(screen, QStringLiteral("Title"));
        control<QLineEdit>(screen, "txtsearch")->setFocus();
        for (const auto &[text, number] : {std::pair{"%", "Q-2"}, {"gan's", "Q-3"}, {"_", "Q-4"}, {"[d", "Q-4"},
                                           {"r_s", "Q-4"}, {"'", ""}}) {
            control<QLineEdit>(screen, "txtsearch")->clear();
            QTest::keyClicks(control<QLineEdit>(screen, "txtsearch"), QString::fromLatin1(text));
            // A quote alone finds the first title with one, wherever it is.
            const QString expected = *number ? QString::fromLatin1(number) : firstContaining(*data, "Title", "'");
            QCOMPARE(control<QLineEdit>(screen, "Text9")->text(), expected);
        }
        QVERIFY(dialogs->boxes.isEmpty());
    }

    void shouldSelectTheWholeTextWhenTheSearchBoxIsEnteredAgain()
    {
        BooksScreen *screen = openBooks();
        chooseField(screen, QStringLiteral("Author"));
        control<QLineEdit>(screen, "txtsearch")->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(control<QLineEdit>(screen, "txtsearch"), QStringLiteral("Knuth"));
        control<QLineEdit>(screen, "Text22")->setFocus(Qt::TabFocusReason);
        control<QLineEdit>(screen, "txtsearch")->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(control<QLineEdit>(screen, "txtsearch")->selectedText(), QStringLiteral("Knuth"));
        QTest::keyClicks(control<QLineEdit>(screen, "txtsearch"), QStringLiteral("Kern"));
        QCOMPARE(control<QLineEdit>(screen, "txtsearch")->text(), QStringLiteral("Kern"));
        QCOMPARE(control<QLineEdit>(screen, "Text9")->text(), firstContaining(*data, QStringLiteral("Author"), QStringLiteral("Kern")));
    }

    void shouldPrintTheWholeCatalogueWhateverTheSearch()
    {
        BooksScreen *screen = openBooks();
        chooseField(screen, QStringLiteral("Title"));
        control<QLineEdit>(screen, "txtsearch")->setText(QStringLiteral("Programming Language"));
        control<PushButton>(screen, "cmdPrint")->click();
        ReportPreview *preview = nullptr;
        QTRY_VERIFY((preview = qobject_cast<ReportPreview *>(QApplication::activeWindow())));
        QVERIFY(!preview->isModal());
        QCOMPARE(preview->pageCount(), int(before.size()));
        // The screen stays usable beside it.
        control<QLineEdit>(screen, "txtsearch")->setText(QStringLiteral("C Programming"));
        QCOMPARE(control<QLineEdit>(screen, "Text9")->text(), firstContaining(*data, QStringLiteral("Title"), QStringLiteral("C Programming")));
        preview->close();
        control<PushButton>(screen, "cmdMain")->click();
        QTRY_VERIFY(!Navigator::instance().existing(ScreenNames::Books));
        QVERIFY(Navigator::instance().existing(ScreenNames::Menu));
    }

    void shouldWalkTheScreenWithTabInItsOrder()
    {
        BooksScreen *screen = openBooks();
        chooseField(screen, QStringLiteral("Title"));
        control<QLineEdit>(screen, "Text12")->setFocus(Qt::TabFocusReason);
        QList<QWidget *> order{control<QLineEdit>(screen, "Text9"),  control<QLineEdit>(screen, "Text10"), control<QLineEdit>(screen, "Text11"), control<QLineEdit>(screen, "Text13"), control<QLineEdit>(screen, "Text14"),
                               control<QLineEdit>(screen, "Text15"), control<QLineEdit>(screen, "Text16"), control<QLineEdit>(screen, "Text17"), control<QLineEdit>(screen, "Text18"), control<QLineEdit>(screen, "Text19"),
                               control<QLineEdit>(screen, "Text20"), control<QLineEdit>(screen, "Text21"), control<QLineEdit>(screen, "Text22"), control<QComboBox>(screen, "cmbSearch"),
                               control<QLineEdit>(screen, "txtsearch"), control<PushButton>(screen, "cmdMain"), control<PushButton>(screen, "cmdPrint")};
        for (QToolButton *arrow : control<NavigationBar>(screen, "adoLibBar")->arrows())
            order << arrow;
        order << control<QLineEdit>(screen, "Text12");
        for (QWidget *next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(QApplication::focusWidget() == next, qPrintable(next->objectName()));
        }
    }

private:
    std::optional<DeskData> data;
    FakeDialogs *dialogs = nullptr;
    QList<QVariantMap> before;
};

QTEST_MAIN(BooksTest)
#include "tst_books.moc"
