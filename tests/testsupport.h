#pragma once

#include "app/ui/dialogs.h"
#include "storesupport.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

// A scripted stand-in for the message boxes: records every box and answers
// from a queue (Yes/No boxes answer No when nothing is queued).
class FakeDialogs : public Dialogs
{
public:
    struct Box {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };

    FakeDialogs() { Dialogs::install(this); }
    ~FakeDialogs() override { Dialogs::install(nullptr); }

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

// Destroys every screen the navigator holds.
void closeAllScreens();

