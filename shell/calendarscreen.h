#pragma once

#include <QWidget>

class Dialogs;
class QCalendarWidget;
class QLabel;
class QLayout;
class QLineEdit;
class QTimer;
class FramedPanel;

// frmCalendar: a month calendar with today's date and the running clock.
// Modal: while it is open no other window of the program takes input.
class CalendarScreen : public QWidget
{
    Q_OBJECT
public:
    explicit CalendarScreen(Dialogs &dialogs, QWidget *parent = nullptr);

public slots:
    // Timer1: keeps the time box current.
    void tick();

private:
    void createLayout();
    QCalendarWidget *createMonthView();
    QLayout *createClockBoxes();
    void load();
    void showCurrentTime();
    Dialogs &m_dialogs;

    FramedPanel *AeroGroupBox1 = nullptr;
    QCalendarWidget *MonthView1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtTime = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtDate = nullptr;
    QTimer *Timer1 = nullptr;
};
