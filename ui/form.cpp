#include "ui/form.h"

#include "store/records/recordsource.h"
#include "ui/dialogs.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

namespace Form {

QLabel *label(const Label &look, QWidget *parent)
{
    auto *label = new QLabel(look.text, parent);
    label->setObjectName(look.name);
    if (!look.style.isEmpty())
        label->setStyleSheet(look.style);
    if (!look.place.isNull())
        label->setGeometry(look.place);
    return label;
}

void nameBy(QLabel *label, QWidget *control, QAnyStringView controlName, Naming naming)
{
    control->setObjectName(controlName);
    label->setBuddy(control);
    if (naming == Naming::AccessibleName)
        control->setAccessibleName(label->text());
}

void setTabOrder(const QList<QWidget *> &chain)
{
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain.at(i - 1), chain.at(i));
}

void showStartOfTexts(const QList<QLineEdit *> &boxes, Focused focused)
{
    for (QLineEdit *box : boxes)
        if (focused == Focused::Reset || !box->hasFocus())
            box->setCursorPosition(0);
}

void showStartOfTexts(RecordSource *source, const QList<QLineEdit *> &boxes, Focused focused)
{
    // A box may go before the source does; it is then left out.
    QList<QPointer<QLineEdit>> watched(boxes.cbegin(), boxes.cend());
    auto show = [watched, focused] {
        QList<QLineEdit *> alive;
        for (QLineEdit *box : watched)
            if (box)
                alive << box;
        showStartOfTexts(alive, focused);
    };
    QObject::connect(source, &RecordSource::currentChanged, source, show);
    show();
}

KeyRefuser::KeyRefuser(QWidget *widget, Dialogs &dialogs, Rule refused, Guards guards)
    : QObject(widget), m_dialogs(dialogs), m_refused(std::move(refused)), m_guards(guards)
{
}

KeyRefuser *KeyRefuser::install(QWidget *widget, Dialogs &dialogs, Rule refused, Guards guards)
{
    auto *refuser = new KeyRefuser(widget, dialogs, std::move(refused), guards);
    if (guards & NoPasteMenu)
        widget->setContextMenuPolicy(Qt::NoContextMenu);
    if (guards & NoDrops)
        widget->setAcceptDrops(false);
    widget->installEventFilter(refuser);
    return refuser;
}

KeyRefuser::Rule KeyRefuser::typesOutside(QChar first, QChar last)
{
    return [first, last](const QKeyEvent *event) {
        const int key = event->key();
        if (key == Qt::Key_Backspace || key == Qt::Key_Delete || key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return false;
        const QString text = event->text();
        if (text.isEmpty())
            return false;
        return !(text.size() == 1 && text.at(0) >= first && text.at(0) <= last);
    };
}

bool KeyRefuser::eventFilter(QObject *watched, QEvent *event)
{
    const bool press = event->type() == QEvent::KeyPress;
    const bool claim = event->type() == QEvent::ShortcutOverride && (m_guards & ClaimShortcuts);
    if ((press || claim) && m_refused(static_cast<const QKeyEvent *>(event))) {
        // A claimed shortcut comes back as the key press, refused then.
        if (press)
            m_dialogs.beep();
        else
            event->accept();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Form
