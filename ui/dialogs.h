#pragma once

#include <QString>

class QSqlError;

// Every message box, input prompt and beep of the program goes through this
// one interface, so that tests can script the answers and count the beeps.
class Dialogs
{
public:
    enum Icon { NoIcon, Information, Question, Critical };
    enum Buttons { Ok, YesNo };
    enum Answer { AnswerOk, AnswerYes, AnswerNo };

    virtual ~Dialogs() = default;

    // A box given an empty title shows "Tallymere". Yes is the default of
    // a Yes/No box.
    virtual Answer message(const QString &text, const QString &title, Icon icon, Buttons buttons) = 0;
    // Cancel gives an empty text.
    virtual QString prompt(const QString &text, const QString &title) = 0;
    virtual void beep() = 0;

    static Dialogs &instance();
    // Installs `dialogs` (not owned) in place of the real boxes; nullptr
    // restores the real ones.
    static void install(Dialogs *dialogs);

    static QString applicationTitle() { return QStringLiteral("Tallymere"); }
};

// Shows a store failure in a critical box with the engine's own text.
void showDatabaseError(const QSqlError &error);
