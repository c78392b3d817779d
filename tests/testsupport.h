#pragma once

#include "app/dialogs.h"

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
    QStringList promptAnswers;  // what the user types, in order
    int beeps = 0;
};

// A fresh, installed data folder for one test case (XDG_DATA_HOME points
// into a temporary folder); the real one is never touched.
class TestData
{
public:
    TestData();
    ~TestData();

    QString folder() const;
    // A separate connection to one store, as an outside observer.
    QSqlDatabase observe(const QString &fileName);
    // Every row of `table`, as lists of values in column order.
    QList<QVariantList> rows(const QString &fileName, const QString &table);
    int count(const QString &fileName, const QString &table);
    void exec(const QString &fileName, const QString &sql, const QVariantList &params = {});

private:
    QTemporaryDir m_dir;
    QStringList m_connections;
};

// Sets up the application name and locale the way the program does; call
// once from initTestCase().
void prepareTestApplication();

// Destroys every screen the navigator holds.
void closeAllScreens();

// A loan with the fields the loan entry writes; the rest stay empty.
void insertLoan(TestData &data, const QString &accession, const QString &title = QStringLiteral("A title"),
                const QString &borrower = QStringLiteral("A. Reader"));
