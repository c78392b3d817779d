#pragma once

#include "storesupport.h"
#include "ui/dialogs.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

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
    };

    Answer message(const QString &text, const QString &title, Icon icon, Buttons buttons) override;
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

// Destroys every screen the navigator holds.
void closeAllScreens();

// Picks `item` from the drop-down of `list` with the keyboard, the way the
// user chooses an entry of the open list.
void pick(QComboBox *list, const QString &item);

// Types `text` key by key into a box or the edit line of a list; letters
// beyond ASCII arrive as the key text an input method would deliver.
void type(QWidget *input, const QString &text);

