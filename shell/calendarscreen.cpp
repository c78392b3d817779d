#include "shell/calendarscreen.h"
#include "ui/clock.h"
#include "ui/theme.h"

#include "store/formats.h"
#include "ui/dialogs.h"
#include "ui/widgets.h"

#include <QCalendarWidget>
#include <QDate>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// A white chevron that reads on the navy month bar (the style's own green
// arrows do not).
QIcon chevron(bool left)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    if (left) {
        path.moveTo(19, 8);
        path.lineTo(11, 16);
        path.lineTo(19, 24);
    } else {
        path.moveTo(13, 8);
        path.lineTo(21, 16);
        path.lineTo(13, 24);
    }
    p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    return QIcon(pixmap);
}
} // namespace

CalendarScreen::CalendarScreen(Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmCalendar"));
    setWindowTitle(QStringLiteral("Form1"));
    setWindowModality(Qt::ApplicationModal);
    createLayout();
    load();
}

void CalendarScreen::createLayout()
{
    resize(508, 282);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    AeroGroupBox1 = new FramedPanel(QStringLiteral("AeroGroupBox1"), this);
    AeroGroupBox1->setObjectName(QStringLiteral("AeroGroupBox1"));
    outer->addWidget(AeroGroupBox1);

    auto *inner = new QHBoxLayout(AeroGroupBox1);
    inner->setContentsMargins(8, 8, 12, 8);
    inner->setSpacing(16);

    MonthView1 = new QCalendarWidget(AeroGroupBox1);
    MonthView1->setAccessibleName(QStringLiteral("Calendar"));
    MonthView1->setObjectName(QStringLiteral("MonthView1"));
    MonthView1->setDateRange(QDate(1753, 1, 1), QDate(9999, 12, 31));
    MonthView1->setSelectedDate(QDate(2013, 11, 24));
    MonthView1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    MonthView1->setMinimumSize(260, 190);
    // The panel's bold heading font is not meant for the day numbers.
    QFont days = MonthView1->font();
    days.setBold(false);
    MonthView1->setFont(days);
    if (auto *previous = MonthView1->findChild<QToolButton *>(QStringLiteral("qt_calendar_prevmonth")))
        previous->setIcon(chevron(true));
    if (auto *next = MonthView1->findChild<QToolButton *>(QStringLiteral("qt_calendar_nextmonth")))
        next->setIcon(chevron(false));
    MonthView1->setStyleSheet(Theme::calendarStyle());
    inner->addWidget(MonthView1, 1);

    const QString captionStyle = Theme::labelStyle(10);
    const QString boxStyle = Theme::boxStyle(11, 3);

    auto *side = new QVBoxLayout;
    side->setSpacing(4);
    side->addStretch(1);
    Label1 = new QLabel(QStringLiteral("Current  Time"), AeroGroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setStyleSheet(captionStyle);
    side->addWidget(Label1);
    txtTime = new QLineEdit(AeroGroupBox1);
    txtTime->setObjectName(QStringLiteral("txtTime"));
    txtTime->setStyleSheet(boxStyle);
    txtTime->setMinimumWidth(170);
    Label1->setBuddy(txtTime);
    side->addWidget(txtTime);
    side->addSpacing(14);
    Label2 = new QLabel(QStringLiteral("Current Date"), AeroGroupBox1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setStyleSheet(captionStyle);
    side->addWidget(Label2);
    txtDate = new QLineEdit(AeroGroupBox1);
    txtDate->setObjectName(QStringLiteral("txtDate"));
    Label2->setBuddy(txtDate);
    txtDate->setStyleSheet(boxStyle);
    // Pasting would slip past the key filter.
    txtDate->setContextMenuPolicy(Qt::NoContextMenu);
    txtDate->setAcceptDrops(false);
    side->addWidget(txtDate);
    side->addStretch(1);
    inner->addLayout(side);

    // Any change of the time box, typed or not, shows the current time again.
    connect(txtTime, &QLineEdit::textChanged, this, &CalendarScreen::showCurrentTime);
    txtDate->installEventFilter(this);

    // The time box keeps running, like the main menu's clock.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &CalendarScreen::tick);
    Timer1->start();
}

void CalendarScreen::load()
{
    txtDate->setText(Formats::shortDate(Clock::today()));
    showCurrentTime();
}

void CalendarScreen::tick()
{
    showCurrentTime();
}

void CalendarScreen::showCurrentTime()
{
    // Setting the same text again changes nothing, so this settles at once.
    const QString now = Formats::clockTime(Clock::time());
    if (txtTime->text() != now)
        txtTime->setText(now);
}

bool CalendarScreen::refuseDateKey(QKeyEvent *event)
{
    // Only lowercase letters a to z may be typed; Backspace always passes.
    // Keys that type nothing (arrows, Shift, Delete) and focus moves are not
    // typed characters.
    const int key = event->key();
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete || key == Qt::Key_Tab || key == Qt::Key_Backtab)
        return false;
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    if (text.size() == 1 && text.at(0) >= QLatin1Char('a') && text.at(0) <= QLatin1Char('z'))
        return false;
    m_dialogs.beep();
    return true;
}

bool CalendarScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtDate && event->type() == QEvent::KeyPress)
        return refuseDateKey(static_cast<QKeyEvent *>(event));
    return QWidget::eventFilter(watched, event);
}
