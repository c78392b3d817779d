#pragma once

#include <QAnyStringView>
#include <QFlags>
#include <QList>
#include <QObject>
#include <QRect>
#include <QString>

#include <functional>

class Dialogs;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QWidget;
class RecordSource;

// The small jobs every form does the same way: a label that names its
// control, the tab chain, keys refused with a beep, long texts shown from
// their start.
namespace Form {

// A label as its screen draws it.
struct Label {
    QAnyStringView name;  // its object name
    QString text;
    QString style = {};   // its style sheet; none when empty
    QRect place = {};     // its geometry; a null one is left to a layout or the caller
};

// What the label gives its control besides being its buddy (which lends
// the control the label's shortcut, and its text to screen readers that
// find none on the control itself).
enum class Naming {
    Buddy,          // nothing more
    AccessibleName, // the label's text as the control's accessible name too
};

// Makes a label as `look` draws it, on `parent`.
QLabel *label(const Label &look, QWidget *parent);

// Names `control` `controlName` and makes `label` its buddy.
void nameBy(QLabel *label, QWidget *control, QAnyStringView controlName, Naming naming = Naming::Buddy);

// Makes `label` as `look` draws it, then `control`, a new Control named
// `controlName`, both on `parent`, with the label as the control's buddy.
// The label is made first, so that it comes before its control for screen
// readers, as a label written above its input does. The caller places and
// dresses the control.
template <typename Control>
void labelled(QLabel *&label, const Label &look, Control *&control, QAnyStringView controlName, QWidget *parent,
              Naming naming = Naming::Buddy)
{
    label = Form::label(look, parent);
    control = new Control(parent);
    nameBy(label, control, controlName, naming);
}

// Tab goes from each widget of `chain` to the next, in that order, and on
// through the widgets of `then` (a record bar's arrows, say).
void setTabOrder(const QList<QWidget *> &chain);
template <typename Widget>
void setTabOrder(QList<QWidget *> chain, const QList<Widget *> &then)
{
    for (Widget *widget : then)
        chain << widget;
    setTabOrder(chain);
}

// Whether a box that has the focus is also shown from the start of its
// text: not when it is being typed in, where the caret stays put.
enum class Focused { Keep, Reset };

// A long text shown from a record reads from its start, not its end: every
// box of `boxes` (but a focused one, with Focused::Keep) has its caret put
// at the start of its text.
void showStartOfTexts(const QList<QLineEdit *> &boxes, Focused focused = Focused::Keep);
// The same now and each time `source` shows another record.
void showStartOfTexts(RecordSource *source, const QList<QLineEdit *> &boxes, Focused focused = Focused::Keep);

// An event filter that refuses, with a beep, the key presses its rule picks
// on the widget it is installed on; the widget owns it.
class KeyRefuser : public QObject
{
    Q_OBJECT
public:
    using Rule = std::function<bool(const QKeyEvent *)>;

    enum Guard {
        KeysOnly = 0,
        // A refused key that would reach a shortcut (Enter in an open list)
        // is claimed first, so that it arrives as a key press and is refused.
        ClaimShortcuts = 0x1,
        // What the keys cannot bring in does not come another way: no
        // context menu to paste from, no text dropped in.
        NoPasteMenu = 0x2,
        NoDrops = 0x4,
    };
    Q_DECLARE_FLAGS(Guards, Guard)

    static KeyRefuser *install(QWidget *widget, Dialogs &dialogs, Rule refused, Guards guards = KeysOnly);

    // A key that types anything but one character from `first` to `last`,
    // control characters and clipboard shortcuts included. Backspace,
    // Delete, Tab and the keys that type nothing (arrows, Shift) pass.
    static Rule typesOutside(QChar first, QChar last);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    KeyRefuser(QWidget *widget, Dialogs &dialogs, Rule refused, Guards guards);

    Dialogs &m_dialogs;
    Rule m_refused;
    Guards m_guards;
};

} // namespace Form

Q_DECLARE_OPERATORS_FOR_FLAGS(Form::KeyRefuser::Guards)
