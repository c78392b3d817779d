#include "ui/widgets.h"

#include "ui/clock.h"
#include "ui/dialogs.h"
#include "ui/theme.h"

#include "ui/displayformats.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QLinearGradient>
#include <QLocale>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

namespace {

// Presses the button it watches on Enter or Return (the keypad's too).
class EnterPresses : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<const QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto *button = static_cast<QAbstractButton *>(watched);
        // A held key presses once, as Space does.
        if (!key->isAutoRepeat() && button->isEnabled())
            button->click();
        return true;
    }
};

} // namespace

void pressOnEnter(QAbstractButton *button)
{
    button->installEventFilter(new EnterPresses(button));
}

void nameListTypingBoxes(QWidget *screen)
{
    for (QComboBox *list : screen->findChildren<QComboBox *>()) {
        QLineEdit *box = list->lineEdit();
        if (!box || !box->accessibleName().isEmpty())
            continue;
        QString name = list->accessibleName();
        if (name.isEmpty()) {
            for (const QLabel *label : screen->findChildren<QLabel *>()) {
                if (label->buddy() == list) {
                    name = label->text();
                    break;
                }
            }
        }
        // A label's lone "&" marks its shortcut and is no part of its words;
        // "&&" stands for "&".
        QString words;
        for (qsizetype i = 0; i < name.size(); ++i) {
            if (name.at(i) == QLatin1Char('&') && ++i == name.size())
                break;
            words += name.at(i);
        }
        box->setAccessibleName(words);
    }
}

void fitPopupToItems(QComboBox *list)
{
    auto fit = [list] {
        // The items' own size hints are those of menu entries, not of their
        // words; measure the words and leave room for the entry's margins.
        QAbstractItemView *view = list->view();
        const QFontMetrics metrics(view->font());
        int words = 0;
        for (int row = 0; row < list->count(); ++row)
            words = qMax(words, metrics.horizontalAdvance(list->itemText(row)));
        int width = words + 3 * metrics.averageCharWidth() + 2 * view->frameWidth() + 8;
        if (list->count() > list->maxVisibleItems())
            width += view->verticalScrollBar()->sizeHint().width();
        view->setMinimumWidth(width);
    };
    QAbstractItemModel *model = list->model();
    QObject::connect(model, &QAbstractItemModel::rowsInserted, list, fit);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, list, fit);
    QObject::connect(model, &QAbstractItemModel::dataChanged, list, fit);
    QObject::connect(model, &QAbstractItemModel::modelReset, list, fit);
    fit();
}

PushButton::PushButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(Theme::buttonStyle());
    pressOnEnter(this);
}

FramedPanel::FramedPanel(const QString &caption, QWidget *parent)
    : QGroupBox(caption, parent)
{
    setContentsMargins(4, HeadingHeight + 4, 4, 4);
    QFont f = font();
    f.setBold(true);
    setFont(f);
}

void FramedPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient body(frame.topLeft(), frame.bottomLeft());
    body.setColorAt(0, QColor(0xfb, 0xf8, 0xf0));
    body.setColorAt(1, QColor(0xee, 0xe6, 0xd2));
    p.setPen(QColor(0x7a, 0x8c, 0xa5));
    p.setBrush(body);
    p.drawRoundedRect(frame, 5, 5);

    // Winding fill: the square lower corners overlap the rounded strip and
    // must add to it, not cancel it out.
    QPainterPath heading;
    heading.setFillRule(Qt::WindingFill);
    const QRectF strip(frame.left(), frame.top(), frame.width(), HeadingHeight);
    heading.addRoundedRect(strip, 5, 5);
    heading.addRect(strip.adjusted(0, strip.height() / 2, 0, 0));
    QLinearGradient headGrad(strip.topLeft(), strip.bottomLeft());
    headGrad.setColorAt(0, QColor(0x35, 0x52, 0x7f));
    headGrad.setColorAt(1, Theme::ink());
    p.setPen(Qt::NoPen);
    p.setBrush(headGrad);
    p.drawPath(heading.simplified());

    p.setPen(Qt::white);
    p.setFont(font());
    p.drawText(strip.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, title());
}

Picture::Picture(const QString &resource, QWidget *parent)
    : QWidget(parent), m_renderer(new QSvgRenderer(resource, this))
{
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
}

void Picture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    m_renderer->render(&p, QRectF(rect()));
}

void Picture::mouseMoveEvent(QMouseEvent *event)
{
    emit pointerMoved();
    QWidget::mouseMoveEvent(event);
}

void Picture::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

namespace {
// Held internally while the picker shows no date; never handed out.
const QDate NoDateMarker(1752, 9, 14);
} // namespace

DatePicker::DatePicker(QWidget *parent)
    : QDateEdit(parent)
{
    setCalendarPopup(true);
    setDisplayFormat(Shown::dateFormat());
    setMinimumDate(NoDateMarker);
    setMaximumDate(QDate(9999, 12, 31));
    setSpecialValueText(QStringLiteral(" "));
    setNullableDate(QDate());
    connect(this, &QDateEdit::dateChanged, this, [this](const QDate &date) {
        if (m_settingNull)
            return;
        m_hasDate = date != NoDateMarker;
        emit nullableDateChanged();
    });
    // The drop-down is watched as it opens and for Escape in its days.
    QCalendarWidget *calendar = calendarWidget();
    calendar->window()->installEventFilter(this);
    for (QWidget *part : calendar->findChildren<QAbstractItemView *>())
        part->installEventFilter(this);
}

QDate DatePicker::nullableDate() const
{
    return m_hasDate ? date() : QDate();
}

void DatePicker::setNullableDate(const QDate &value)
{
    // A date set from outside (a row shown) ends any typing.
    m_typing = false;
    const bool had = m_hasDate;
    const QDate before = nullableDate();
    if (value.isValid() && value > NoDateMarker) {
        m_hasDate = true;
        m_settingNull = true;
        setDate(value);
        m_settingNull = false;
    } else {
        m_hasDate = false;
        m_settingNull = true;
        setDate(NoDateMarker);
        m_settingNull = false;
    }
    if (had != m_hasDate || before != nullableDate())
        emit nullableDateChanged();
}

void DatePicker::takeDate(const QDate &value)
{
    if (!m_hasDate)
        setNullableDate(value);
}

bool DatePicker::startsTyping(const QKeyEvent *event) const
{
    const QString text = event->text();
    if (text.isEmpty() || !text.at(0).isPrint() || (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)))
        return false;
    return !m_hasDate || lineEdit()->selectedText() == lineEdit()->text();
}

void DatePicker::finishTyping()
{
    if (!m_typing)
        return;
    m_typing = false;
    const QString typed = lineEdit()->text().trimmed();
    // The year in full: a two-digit one would be read as the 1900s.
    const QDate date = QLocale().toDate(typed, Shown::dateFormat());
    if (typed.isEmpty() || (date.isValid() && date > NoDateMarker)) {
        setNullableDate(date);
        return;
    }
    if (m_dialogs)
        m_dialogs->beep();
    setNullableDate(m_beforeTyping);
    // The typed text goes even when the date held stays the same.
    lineEdit()->setText(m_hasDate ? textFromDateTime(dateTime()) : specialValueText());
}

QValidator::State DatePicker::validate(QString &input, int &pos) const
{
    // A date typed whole is read when the picker is left or on Enter; until
    // then any text may stand (the parts' own rules would put a day that
    // its month lacks right at once, 31.2. as 28.2.).
    if (m_typing)
        return QValidator::Intermediate;
    return QDateEdit::validate(input, pos);
}

void DatePicker::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (m_typing && (key == Qt::Key_Return || key == Qt::Key_Enter))
        finishTyping();
    if (m_typing || startsTyping(event)) {
        // Typed as text, not part by part: the parts' own rules would drop
        // the separators and refuse a day before its month is known.
        if (!m_typing) {
            m_beforeTyping = nullableDate();
            m_typing = true;
            // The key replaces the whole text (an empty picker's blank too).
            lineEdit()->selectAll();
        }
        QCoreApplication::sendEvent(lineEdit(), event);
        return;
    }
    // Delete empties the picker; stepping from an empty picker starts today.
    if (key == Qt::Key_Delete && m_hasDate && lineEdit()->selectedText() == lineEdit()->text()) {
        setNullableDate(QDate());
        return;
    }
    if (!m_hasDate && (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown)) {
        takeDate(Clock::today());
        return;
    }
    if (m_hasDate && (key == Qt::Key_Left || key == Qt::Key_Right) && event->modifiers() == Qt::NoModifier) {
        const int step = key == Qt::Key_Right ? 1 : -1;
        setCurrentSectionIndex(qBound(0, currentSectionIndex() + step, sectionCount() - 1));
        setSelectedSection(currentSection());
        return;
    }
    QDateEdit::keyPressEvent(event);
}

void DatePicker::focusOutEvent(QFocusEvent *event)
{
    // Leaving the window for a moment (a message box, a menu) is not
    // leaving the picker.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        finishTyping();
    QDateEdit::focusOutEvent(event);
}

bool DatePicker::focusNextPrevChild(bool next)
{
    // QDateEdit steps through day, month and year on Tab; here Tab moves on.
    return QWidget::focusNextPrevChild(next);
}

bool DatePicker::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && watched == calendarWidget()->window()) {
        finishTyping();
        m_beforeCalendar = nullableDate();
        // An empty picker's calendar opens on this month, with no day picked.
        if (!m_hasDate)
            calendarWidget()->setCurrentPage(Clock::today().year(), Clock::today().month());
    }
    // Escape closes the calendar (the key goes on to do that) and leaves
    // the picker as it was before it opened, however far the days were
    // browsed.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && calendarWidget()->window()->isVisible())
        setNullableDate(m_beforeCalendar);
    return QDateEdit::eventFilter(watched, event);
}
