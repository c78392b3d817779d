#include "testsupport.h"

#include "app/screens.h"
#include "store/engine/database.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QDir>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <utility>

Dialogs::Answer FakeDialogs::message(const QString &text, const QString &title, Icon icon, Buttons buttons,
                                     QWidget *over)
{
    boxes.append({text, title.isEmpty() ? applicationTitle() : title, icon, buttons, over ? over->window() : nullptr});
    if (!answers.isEmpty())
        return answers.takeFirst();
    return buttons == YesNo ? AnswerNo : AnswerOk;
}

QString FakeDialogs::prompt(const QString &text, const QString &title)
{
    prompts.append(text);
    promptTitles.append(title.isEmpty() ? applicationTitle() : title);
    return promptAnswers.isEmpty() ? QString() : promptAnswers.takeFirst();
}

void FakeDialogs::clear()
{
    boxes.clear();
    answers.clear();
    prompts.clear();
    promptTitles.clear();
    promptAnswers.clear();
    beeps = 0;
}

void prepareTestApplication()
{
    QApplication::setApplicationName(QStringLiteral("Tallymere"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

DeskData::DeskData()
{
    registerScreens(location(), dialogs);
}

DeskData::~DeskData()
{
    closeAllScreens();
}

void addLoanDateRows()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("borrowed"); // 2 November 2026
    QTest::addColumn<QString>("returned"); // 15 October 2026
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "2.11.2026" << "15.10.2026";
    QTest::newRow("United States") << QLocale(QLocale::English, QLocale::UnitedStates) << "11/2/2026" << "10/15/2026";
}

void closeAllScreens()
{
    Navigator::instance().reset();
    flushDeletes();
}


void pick(QComboBox *list, const QString &item)
{
    const int row = list->findText(item, Qt::MatchExactly | Qt::MatchCaseSensitive);
    QVERIFY2(row >= 0, qPrintable(item));
    list->showPopup();
    QAbstractItemView *view = list->view();
    view->setCurrentIndex(list->model()->index(row, list->modelColumn()));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
}

void type(QWidget *input, const QString &text)
{
    if (auto *list = qobject_cast<QComboBox *>(input))
        input = list->lineEdit();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A character beyond the BMP arrives whole, as one key text.
        const qsizetype units = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        if (c.unicode() < 0x80)
            QTest::keyClick(input, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, input, Qt::Key_unknown, text.mid(i, units), Qt::NoModifier);
        i += units - 1;
    }
}

void typeNewLoan(QWidget *screen, const QString &accession)
{
    control<PushButton>(screen, "cmdAdd")->click();
    for (const auto &[box, text] : {std::pair("txtAccessionNumber", accession), {"txtBookNumber", "PB-" + accession},
                                    {"txtBookTitle", "Desk title " + accession}, {"txtBorrower", "Desk reader"}})
        type(control<QLineEdit>(screen, box), text);
    type(control<QComboBox>(screen, "cmbCategory"), QStringLiteral("FICTION"));
    type(control<QComboBox>(screen, "cmbSection"), QStringLiteral("2ICT1"));
    pick(control<QComboBox>(screen, "cmbStatus"), QStringLiteral("Student"));
}
