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

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <optional>

namespace {

const QString Books = QStringLiteral("books");

// The first book, in the catalogue's order, whose `field` contains `text`
// (letter case ignored, every character literal), worked out here without
// the program's search.
QString firstContaining(TestData &data, const QString &field, const QString &text)
{
    for (const QVariantMap &row : data.rows(CatalogueFile, Books))
        if (!row.value(field).isNull() && row.value(field).toString().contains(text, Qt::CaseInsensitive))
            return row.value(QStringLiteral("BookNumber")).toString();
    return QString();
}

} // namespace

class BooksTest : public QObject
{
    Q_OBJECT

    BooksScreen *s = nullptr;
    QLineEdit *box(const char *name) { return control<QLineEdit>(s, name); }
    QComboBox *fields() { return control<QComboBox>(s, "cmbSearch"); }
    // Opens the screen, with `field` chosen in the list when one is given.
    bool open(const QString &field = QString())
    {
        s = qobject_cast<BooksScreen *>(Navigator::instance().open(ScreenNames::Books));
        if (!s || !QTest::qWaitForWindowActive(s))
            return false;
        if (!field.isEmpty())
            fields()->setCurrentIndex(fields()->findText(field));
        return true;
    }

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

    void shouldOpenOnTheFirstBookStoreNothingTypedAndTabInOrder()
    {
        QVERIFY(open());
        QCOMPARE(box("Text9")->text(), QStringLiteral("B-0001"));
        QCOMPARE(box("Text16")->text(), before.first().value(QStringLiteral("Cost or            (in Peso)")).toString());
        QCOMPARE(fields()->currentText(), QString());
        // Typed over, stepped away from: nothing reaches the catalogue.
        box("Text21")->selectAll();
        QTest::keyClicks(box("Text21"), QStringLiteral("changed title"));
        const QList<QToolButton *> arrows = control<NavigationBar>(s, "adoLibBar")->arrows(); // first, previous, next, last
        arrows[2]->click();
        QCOMPARE(box("Text9")->text(), QStringLiteral("B-0002"));
        arrows[1]->click();
        QCOMPARE(box("Text21")->text(), before.first().value(QStringLiteral("Title")).toString());
        // With a field chosen, Tab walks the whole screen in its order.
        fields()->setCurrentIndex(fields()->findText(QStringLiteral("Title")));
        box("Text12")->setFocus(Qt::TabFocusReason);
        QList<QWidget *> order;
        for (const char *name : {"Text9", "Text10", "Text11", "Text13", "Text14", "Text15", "Text16", "Text17", "Text18",
                                 "Text19", "Text20", "Text21", "Text22", "cmbSearch", "txtsearch", "cmdMain", "cmdPrint"})
            order << control<QWidget>(s, name);
        for (QToolButton *arrow : arrows)
            order << arrow;
        for (QWidget *next : order << box("Text12")) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(QApplication::focusWidget() == next, qPrintable(next->objectName()));
        }
        QVERIFY(dialogs->boxes.isEmpty());
    }

    void shouldAskForAFieldOnceAndRefuseTypingInTheList()
    {
        QVERIFY(open());
        box("Text22")->setFocus();
        const QImage idle = box("txtsearch")->grab().toImage();
        QTest::keyClick(box("Text22"), Qt::Key_Tab); // into the field list
        QTest::keyClick(fields(), Qt::Key_Tab);      // into the search box: warned, sent back
        QCOMPARE(dialogs->boxes.size(), 1);
        const FakeDialogs::Box warning = dialogs->boxes.first();
        QVERIFY(warning.text == "select category first" && warning.title == "search" && warning.icon == Dialogs::Information);
        QTRY_VERIFY(fields()->hasFocus());
        // A caret drawn in the box it was sent from would make it differ from the idle box.
        QCOMPARE(box("txtsearch")->grab().toImage(), idle);
        // Keys typed in the open list are refused, but its navigation keys
        // still move through it.
        fields()->showPopup();
        QAbstractItemView *view = fields()->view();
        QTRY_VERIFY(view->isVisible());
        for (Qt::Key key : {Qt::Key_A, Qt::Key_Return, Qt::Key_Space})
            QTest::keyClick(view, key);
        QCOMPARE(dialogs->beeps, 3);
        QCOMPARE(fields()->currentText(), QString()); // nothing picked
        QVERIFY(view->isVisible());
        const int row = view->currentIndex().row();
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(view->currentIndex().row(), row + 1);
        QCOMPARE(dialogs->beeps, 3);
        fields()->hidePopup();
        QTest::keyClick(fields(), Qt::Key_Down);
        QCOMPARE(fields()->currentText(), QStringLiteral("Title"));
    }

    void shouldRefuseOnlyTheKeysThatTypeInTheFieldList_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("refused");
        QTest::newRow("letter") << int(Qt::Key_T) << true;
        QTest::newRow("digit") << int(Qt::Key_5) << true;
        QTest::newRow("space") << int(Qt::Key_Space) << true;
        QTest::newRow("Enter") << int(Qt::Key_Return) << true;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << true;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << false;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << false;
        QTest::newRow("Left") << int(Qt::Key_Left) << false;
        QTest::newRow("Home") << int(Qt::Key_Home) << false;
        QTest::newRow("F2") << int(Qt::Key_F2) << false;
    }

    void shouldRefuseOnlyTheKeysThatTypeInTheFieldList()
    {
        QFETCH(int, key);
        QFETCH(bool, refused);
        QVERIFY(open());
        fields()->setFocus();
        QTest::keyClick(fields(), Qt::Key(key));
        QCOMPARE(dialogs->beeps, refused ? 1 : 0);
        QVERIFY(fields()->hasFocus());
        if (refused)
            QCOMPARE(fields()->currentIndex(), -1);
    }

    void shouldSearchAgainOnlyWhenTheTypedTextChanges()
    {
        QVERIFY(open(QStringLiteral("Author")));
        box("txtsearch")->setFocus();
        QTest::keyClicks(box("txtsearch"), QStringLiteral("Knuth"));
        const QString found = box("Text9")->text();
        QCOMPARE(found, firstContaining(*data, QStringLiteral("Author"), QStringLiteral("Knuth")));
        QVERIFY(firstContaining(*data, QStringLiteral("Title"), QStringLiteral("Knuth")) != found);
        // Another field picked with the list's own key: the book shown stays
        // until the text changes.
        QTest::keyClick(fields(), Qt::Key_Up);
        QCOMPARE(fields()->currentText(), QStringLiteral("Title"));
        QCOMPARE(box("Text9")->text(), found);
        QTest::keyClick(box("txtsearch"), Qt::Key_Backspace);
        QCOMPARE(box("Text9")->text(), firstContaining(*data, QStringLiteral("Title"), QStringLiteral("Knut")));
        QVERIFY(dialogs->boxes.isEmpty());
    }

    void shouldShowTheFirstMatchOnEveryKeystroke_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::newRow("author, inside a name") << "Author" << "ritch";
        QTest::newRow("title, letter case ignored") << "Title" << "PROGRAMMING LANG";
        QTest::newRow("title, nothing matches") << "Title" << "zzq";
        // Quotes, percent signs, underscores and brackets are found literally.
        for (const char *typed : {"%", "gan's", "_", "[d", "r_s", "'"})
            QTest::newRow(typed) << "Title" << typed;
    }

    void shouldShowTheFirstMatchOnEveryKeystroke()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        for (const auto &[number, title] : {std::pair{"Q-2", "100% Cotton"}, {"Q-3", "Finnegan's Wake"},
                                            {"Q-4", "Under_score [draft]"}})
            data->exec(CatalogueFile, QStringLiteral("INSERT INTO books (BookNumber, Title) VALUES (?, ?)"),
                       {QString::fromLatin1(number), QString::fromLatin1(title)});
        before = data->rows(CatalogueFile, Books);
        QVERIFY(open(field));
        box("txtsearch")->setFocus();
        for (qsizetype n = 1; n <= typed.size(); ++n) {
            QTest::keyClick(box("txtsearch"), typed.at(n - 1).toLatin1());
            QCOMPARE(box("Text9")->text(), firstContaining(*data, field, typed.left(n)));
        }
        if (firstContaining(*data, field, typed).isEmpty())
            QCOMPARE(box("Text21")->text(), QString()); // nothing matches: empty boxes
        // Cleared, the first book with the field again.
        box("txtsearch")->selectAll();
        QTest::keyClick(box("txtsearch"), Qt::Key_Backspace);
        QCOMPARE(box("Text9")->text(), QStringLiteral("B-0001"));
        QVERIFY(dialogs->boxes.isEmpty());
    }

    void shouldReplaceTheSearchWhenEnteredAgainAndPrintTheWholeCatalogue()
    {
        QVERIFY(open(QStringLiteral("Author")));
        box("txtsearch")->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(box("txtsearch"), QStringLiteral("Knuth"));
        // Entered again, the whole text is selected and typing replaces it.
        box("Text22")->setFocus(Qt::TabFocusReason);
        box("txtsearch")->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(box("txtsearch")->selectedText(), QStringLiteral("Knuth"));
        QTest::keyClicks(box("txtsearch"), QStringLiteral("Kern"));
        QCOMPARE(box("Text9")->text(), firstContaining(*data, QStringLiteral("Author"), QStringLiteral("Kern")));
        control<PushButton>(s, "cmdPrint")->click();
        ReportPreview *preview = nullptr;
        QTRY_VERIFY((preview = qobject_cast<ReportPreview *>(QApplication::activeWindow())));
        QVERIFY(!preview->isModal());
        QCOMPARE(preview->pageCount(), int(before.size()));
        // The screen stays usable beside it.
        box("txtsearch")->setText(QStringLiteral("Ritch"));
        QCOMPARE(box("Text9")->text(), firstContaining(*data, QStringLiteral("Author"), QStringLiteral("Ritch")));
        preview->close();
        control<PushButton>(s, "cmdMain")->click();
        QTRY_VERIFY(!Navigator::instance().existing(ScreenNames::Books) && Navigator::instance().existing(ScreenNames::Menu));
    }

private:
    std::optional<DeskData> data;
    FakeDialogs *dialogs = nullptr;
    QList<QVariantMap> before;
};

QTEST_MAIN(BooksTest)
#include "tst_books.moc"
