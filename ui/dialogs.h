#pragma once

#include <QString>

class StoreError;
class QWidget;

// Every message box, input prompt and beep of the program goes through this
// one interface, handed to each screen when it is made, so that tests can
// hand in one that scripts the answers and counts the beeps.
class Dialogs
{
public:
    enum Icon { NoIcon, Information, Question, Critical };
    enum Buttons { Ok, YesNo };
    enum Answer { AnswerOk, AnswerYes, AnswerNo };

    virtual ~Dialogs() = default;

    // A box given an empty title shows "Tallymere". Yes is the default of
    // a Yes/No box. It opens over the window of `over`, else over the
    // active window.
    virtual Answer message(const QString &text, const QString &title, Icon icon, Buttons buttons,
                           QWidget *over = nullptr) = 0;
    // Cancel gives an empty text.
    virtual QString prompt(const QString &text, const QString &title) = 0;
    virtual void beep() = 0;

    // Shows a store failure in a critical box with the engine's own text.
    void showDatabaseError(const StoreError &error, QWidget *over = nullptr);

    static QString applicationTitle() { return QStringLiteral("Tallymere"); }
};

// The real boxes, modal over the active window; the program makes one.
class MessageBoxes final : public Dialogs
{
public:
    Answer message(const QString &text, const QString &title, Icon icon, Buttons buttons,
                   QWidget *over = nullptr) override;
    QString prompt(const QString &text, const QString &title) override;
    void beep() override;
};
