#pragma once

#include <QDateEdit>
#include <QGroupBox>
#include <QPushButton>
#include <QWidget>

class QComboBox;
class QSvgRenderer;

// Widens the drop-down of `list` to its longest item, so that no item is
// cut however narrow the box; kept up as items come and go.
void fitPopupToItems(QComboBox *list);

// Gives the typing box of every editable list in `screen` the list's name
// (its own accessible name, else the text of the label it is the buddy
// of): assistive technology reads that box apart from its list, and would
// find it nameless.
void nameListTypingBoxes(QWidget *screen);

// The push button every screen uses: one look, clicks only while enabled.
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
// separators move between its parts.
class DatePicker : public QDateEdit
{
    Q_OBJECT
    Q_PROPERTY(QDate nullableDate READ nullableDate WRITE setNullableDate NOTIFY nullableDateChanged USER true)
public:
    explicit DatePicker(QWidget *parent = nullptr);

    bool hasDate() const { return m_hasDate; }
    // An invalid date when the picker holds none.
    QDate nullableDate() const;
    void setNullableDate(const QDate &date);

signals:
    void nullableDateChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void takeDate(const QDate &date);
    bool m_hasDate = false;
    bool m_settingNull = false;
};
