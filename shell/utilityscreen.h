#pragma once

#include "shell/calendarscreen.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

class Dialogs;
class QLabel;
class FramedPanel;
class Picture;
class PushButton;

// Starts one of the system's own programs for a tool of the utilities panel:
// the first of its candidate programs found on the search path, detached,
// a new instance on every call. When none can be started the user is told
// in plain words and nothing else changes.
class ToolLauncher
{
public:
    // `kind` names the program for the user ("text editor"), `tool` is the
    // panel's name for it ("NOTEPAD"), `examples` suggests what to install.
    ToolLauncher(const QString &kind, const QString &tool, const QStringList &candidates,
                 const QString &examples);

    static ToolLauncher textEditor();
    static ToolLauncher calculator();

    // The full path of the program that would be started, or empty.
    QString program() const;
    // False, and the user told why in `dialogs`, when none could start.
    bool launch(Dialogs &dialogs) const;

private:
    QString m_kind;
    QString m_tool;
    QStringList m_candidates;
    QString m_examples;
};

// frmUtility: the calendar, the calculator and the text editor, each behind
// a large picture.
class UtilityScreen : public QWidget
{
    Q_OBJECT
public:
    explicit UtilityScreen(Dialogs &dialogs, QWidget *parent = nullptr);

signals:
    // The main menu is to take the screen's place.
    void menuRequested();

public:

    // The calendar while it is open.
    CalendarScreen *calendar() const { return m_calendar.data(); }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createLayout();
    FramedPanel *createTool(int index, const char *labelName, const QString &name, QLabel *&label,
                            const char *pictureName, const QString &artwork, Picture *&picture);
    void openCalendar();

    QPointer<CalendarScreen> m_calendar;
    Dialogs &m_dialogs;

    FramedPanel *AeroGroupBox4 = nullptr;
    FramedPanel *AeroGroupBox1 = nullptr;
    QLabel *Label1 = nullptr;
    Picture *Image3 = nullptr;
    FramedPanel *AeroGroupBox2 = nullptr;
    QLabel *Label2 = nullptr;
    Picture *Image2 = nullptr;
    FramedPanel *AeroGroupBox3 = nullptr;
    QLabel *Label3 = nullptr;
    Picture *Image1 = nullptr;
    PushButton *jcbutton1 = nullptr;
};
