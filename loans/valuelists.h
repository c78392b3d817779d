#pragma once

#include <QObject>
#include <QStringList>

class QComboBox;
class QWidget;

// The drop-down lists that offer the loan values, set up alike on every
// screen that shows a loan.
namespace LoanValues {

// Makes `list` an editable drop-down list of `items` in the given order
// (never sorted, never growing from typed text, no completion that would
// change what is typed) showing `initialText` until a row fills it.
void setUpList(QComboBox *list, const QStringList &items, const QString &initialText);

// Enables or disables `section` from the text of `status`.
void applyBorrowerTypeRule(const QComboBox *status, QWidget *section);

// Applies the borrower-type rule each time the user picks an item of
// `status` (set up with setUpList), with the mouse or the arrow keys.
// Typing a text, even one equal to an item, does not apply it.
void applyBorrowerTypeRuleOnPick(QComboBox *status, QWidget *section);

// Reports the items the user picks from a list set up with setUpList. An
// editable QComboBox also reports as activated a typed text that happens to
// equal an item when editing finishes; that is typing, not a pick.
class ListPicks : public QObject
{
    Q_OBJECT
public:
    explicit ListPicks(QComboBox *list);

    static ListPicks *of(const QComboBox *list);

signals:
    void picked(int index);

private:
    bool m_finishingEdit = false;
};

} // namespace LoanValues
