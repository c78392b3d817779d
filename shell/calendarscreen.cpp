#include "shell/calendarscreen.h"
#include "ui/clock.h"
#include "ui/theme.h"

#include "ui/dialogs.h"
#include "ui/displayformats.h"
#include "ui/form.h"
#include "ui/widgets.h"

#include <QCalendarWidget>
#include <QDate>
#include <QHBoxLayout>
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

    inner->addWidget(createMonthView(), 1);
    inner->addLayout(createClockBoxes());

    // Any change of the time box, typed or not, shows the current time again.
    connect(txtTime, &QLineEdit::textChanged, this, &CalendarScreen::showCurrentTime);
    // Only lowercase letters a to z may be typed into the date box; nor can
    // anything be pasted or dropped past that.
    Form::KeyRefuser::install(txtDate, m_dialogs,
                              Form::KeyRefuser::typesOutside(QLatin1Char('a'), QLatin1Char('z')),
                              Form::KeyRefuser::NoPasteMenu | Form::KeyRefuser::NoDrops);

    // The time box keeps running, like the main menu's clock.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &CalendarScreen::tick);
    Timer1->start();
}

QCalendarWidget *CalendarScreen::createMonthView()
{
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
    return MonthView1;
}

QLayout *CalendarScreen::createClockBoxes()
{
    const QString captionStyle = Theme::labelStyle(10);
    const QString boxStyle = Theme::boxStyle(11, 3);

    auto *side = new QVBoxLayout;
    side->setSpacing(4);
    side->addStretch(1);
    Form::labelled(Label1, {"Label1", QStringLiteral("Current  Time"), captionStyle}, txtTime, "txtTime",
                   AeroGroupBox1);
    side->addWidget(Label1);
    txtTime->setStyleSheet(boxStyle);
    txtTime->setMinimumWidth(170);
    side->addWidget(txtTime);
    side->addSpacing(14);
    Form::labelled(Label2, {"Label2", QStringLiteral("Current Date"), captionStyle}, txtDate, "txtDate",
                   AeroGroupBox1);
    side->addWidget(Label2);
    txtDate->setStyleSheet(boxStyle);
    side->addWidget(txtDate);
    side->addStretch(1);
    return side;
}

void CalendarScreen::load()
{
    txtDate->setText(Shown::monthFirstDate(Clock::today()));
    showCurrentTime();
}

void CalendarScreen::tick()
{
    showCurrentTime();
}

void CalendarScreen::showCurrentTime()
{
    // Setting the same text again changes nothing, so this settles at once.
    const QString now = Shown::clockTime(Clock::time());
    if (txtTime->text() != now)
        txtTime->setText(now);
}
