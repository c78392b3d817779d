#include "loans/valuelists.h"

#include "loans/loanvalues.h"
#include "ui/widgets.h"

#include <QComboBox>
#include <QLineEdit>

namespace LoanValues {

void setUpList(QComboBox *list, const QStringList &items, const QString &initialText)
{
    new ListPicks(list);
    // Typed text stays as typed: no inline completion (it would change the
    // letter case on leaving the field) and Enter adds no item.
    list->setCompleter(nullptr);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setMaxVisibleItems(int(items.size()));
    list->addItems(items);
    fitPopupToItems(list);
    list->setCurrentIndex(-1);
    list->setEditText(initialText);
    // A picked item or a text shown from a row reads from its start even when
    // longer than the box; typed text (marked modified) keeps its cursor.
    QLineEdit *edit = list->lineEdit();
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit] {
        if (!edit->isModified())
            edit->setCursorPosition(0);
    });
}

void applyBorrowerTypeRule(const QComboBox *status, QWidget *section)
{
    section->setEnabled(sectionApplies(status->currentText()));
}

void applyBorrowerTypeRuleOnPick(QComboBox *status, QWidget *section)
{
    ListPicks *picks = ListPicks::of(status);
    Q_ASSERT(picks);
    if (!picks)
        return;
    QObject::connect(picks, &ListPicks::picked, section, [status, section] {
        applyBorrowerTypeRule(status, section);
    });
}

ListPicks::ListPicks(QComboBox *list)
    : QObject(list)
{
    setObjectName(QStringLiteral("picks"));
    // The list matches a finished edit against its items in its own handler
    // of editingFinished; bracketing that handler (slots run in connection
    // order) tells its activations apart from the user's picks.
    auto *edit = new QLineEdit(list);
    connect(edit, &QLineEdit::editingFinished, this, [this] { m_finishingEdit = true; });
    list->setLineEdit(edit);
    connect(edit, &QLineEdit::editingFinished, this, [this] { m_finishingEdit = false; });
    connect(list, &QComboBox::activated, this, [this](int index) {
        if (!m_finishingEdit)
            emit picked(index);
    });
}

ListPicks *ListPicks::of(const QComboBox *list)
{
    return list->findChild<ListPicks *>(QStringLiteral("picks"), Qt::FindDirectChildrenOnly);
}

} // namespace LoanValues
