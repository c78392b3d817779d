#pragma once

#include <QDateEdit>
#include <QGroupBox>
#include <QPushButton>
#include <QWidget>

class QAbstractButton;
class QComboBox;
class Dialogs;
class QSvgRenderer;

// Widens the drop-down of `list` to its longest item, so that no item is
// cut however narrow the box; kept up as items come and go.
void fitPopupToItems(QComboBox *list);

// Gives the typing box of every editable list in `screen` the list's name
// (its own accessible name, else the text of the label it is the buddy
// of): assistive technology reads that box apart from its list, and would
// find it nameless.
void nameListTypingBoxes(QWidget *screen);

// Enter and Return press `button` while it has the focus, as Space does.
// Every button of the screens gets this; a message box's own buttons do not,
// so that Enter there still presses the box's default button.
void pressOnEnter(QAbstractButton *button);

// The push button every screen uses: one look, clicks only while enabled,
// pressed by Enter as by Space.
class PushButton : public QPushButton
{
    Q_OBJECT
public:
    explicit PushButton(const QString &caption, QWidget *parent = nullptr);
};

// A framed panel with a heading strip that carries its caption.
class FramedPanel : public QGroupBox
{
    Q_OBJECT
public:
    explicit FramedPanel(const QString &caption, QWidget *parent = nullptr);

    static constexpr int HeadingHeight = 22;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A picture drawn from an SVG resource, stretched over the widget. Reports
// clicks and pointer moves, so that screens can use it as a hot spot.
class Picture : public QWidget
{
    Q_OBJECT
public:
    explicit Picture(const QString &resource, QWidget *parent = nullptr);

signals:
    void clicked();
    void pointerMoved();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QSvgRenderer *m_renderer;
};

// A date picker that can also hold no date at all (shown empty). Tab
// leaves it, as it leaves every other input; the arrow keys and the
// separators move between its parts. A date may also be typed whole, in
// the locale's short form, over an empty picker or its selected text: it is
// read when the picker is left or on Enter, and one that is no date is
// refused with a beep. Escape closes the drop-down calendar and leaves the
// picker as it was.
class DatePicker : public QDateEdit
{
    Q_OBJECT
    Q_PROPERTY(QDate nullableDate READ nullableDate WRITE setNullableDate NOTIFY nullableDateChanged USER true)
public:
    explicit DatePicker(QWidget *parent = nullptr);

    // Where the beep of a refused date goes.
    void setDialogs(Dialogs &dialogs) { m_dialogs = &dialogs; }

    bool hasDate() const { return m_hasDate; }
    // An invalid date when the picker holds none.
    QDate nullableDate() const;
    void setNullableDate(const QDate &date);

signals:
    void nullableDateChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    QValidator::State validate(QString &input, int &pos) const override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void takeDate(const QDate &date);
    bool startsTyping(const QKeyEvent *event) const;
    // Reads the typed text; a text that is no date is refused with a beep
    // and the picker shows what it held before.
    void finishTyping();

    Dialogs *m_dialogs = nullptr;
    bool m_hasDate = false;
    bool m_settingNull = false;
    bool m_typing = false;
    QDate m_beforeTyping;
    QDate m_beforeCalendar;
};
