#pragma once

#include "storesupport.h"
#include "ui/dialogs.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantList>

#include <source_location>
#include <stdexcept>

class QComboBox;
class QWidget;

// A scripted stand-in for the message boxes, handed to the screens in place
// of the real ones: records every box and answers from a queue (Yes/No
// boxes answer No when nothing is queued).
class FakeDialogs : public Dialogs
{
public:
    struct Box {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
        const QWidget *over = nullptr; // the window it was asked to open over
    };

    Answer message(const QString &text, const QString &title, Icon icon, Buttons buttons,
                   QWidget *over = nullptr) override;
    QString prompt(const QString &text, const QString &title) override;
    void beep() override { ++beeps; }

    void clear();

    QList<Box> boxes;
    QList<Answer> answers;
    QStringList prompts;        // the prompt texts shown
    QStringList promptTitles;   // and their titles
    QStringList promptAnswers;  // what the user types, in order
    int beeps = 0;
};

// Sets up the application name and locale the way the program does; call
// once from initTestCase().
void prepareTestApplication();

// A test's stores with the program's screens registered on them, as the
// program does at start, speaking through `dialogs`.
class DeskData : public TestData
{
public:
    DeskData();
    // Every screen is destroyed first: none may outlive its dialogs.
    ~DeskData();

    FakeDialogs dialogs;
};

// The data rows of a test of shown loan dates: a German and a United
// States locale, with 2 November and 15 October 2026 as each writes them
// (columns locale, borrowed, returned).
void addLoanDateRows();

// Destroys every screen the navigator holds.
void closeAllScreens();

// Picks `item` from the drop-down of `list` with the keyboard, the way the
// user chooses an entry of the open list.
void pick(QComboBox *list, const QString &item);

// Types `text` key by key into a box or the edit line of a list; letters
// beyond ASCII arrive as the key text an input method would deliver.
void type(QWidget *input, const QString &text);

// At the loan entry `screen`, clicks Add and types a new loan numbered
// `accession` (book PB-<accession>, title "Desk title <accession>", reader
// "Desk reader", FICTION, 2ICT1, Student), ready to be saved.
void typeNewLoan(QWidget *screen, const QString &accession);


// Thrown by control() once it has failed the test: a missing control ends
// the test program with its name rather than with a null pointer.
struct MissingControl : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// The child of `screen` of type T whose object name is `name`: the tests
// reach a screen's controls as assistive technology and the look do, by
// name, never by the screen's members.
template <typename T>
T *control(const QObject *screen, const char *name, std::source_location at = std::source_location::current())
{
    if (T *found = screen ? screen->findChild<T *>(QLatin1String(name)) : nullptr)
        return found;
    const QByteArray what = QByteArray("No ") + T::staticMetaObject.className() + " named " + name + " on "
                            + (screen ? screen->objectName().toUtf8() : QByteArray("a missing screen"));
    QTest::qFail(what.constData(), at.file_name(), int(at.line()));
    throw MissingControl(what.toStdString());
}
