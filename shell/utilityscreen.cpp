#include "shell/utilityscreen.h"

#include "shell/calendarscreen.h"
#include "ui/dialogs.h"
#include "ui/navigator.h"
#include "ui/theme.h"
#include "ui/widgets.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>

ToolLauncher::ToolLauncher(const QString &kind, const QString &tool, const QStringList &candidates,
                           const QString &examples)
    : m_kind(kind), m_tool(tool), m_candidates(candidates), m_examples(examples)
{
}

ToolLauncher ToolLauncher::textEditor()
{
#ifdef Q_OS_WIN
    const QStringList programs{QStringLiteral("NOTEPAD.EXE")};
#else
    const QStringList programs{QStringLiteral("gnome-text-editor"), QStringLiteral("gedit"), QStringLiteral("kate"),
                               QStringLiteral("kwrite"), QStringLiteral("mousepad"), QStringLiteral("pluma"),
                               QStringLiteral("xed"), QStringLiteral("leafpad"), QStringLiteral("featherpad")};
#endif
    return ToolLauncher(QStringLiteral("text editor"), QStringLiteral("NOTEPAD"), programs,
                        QStringLiteral("gedit or mousepad"));
}

ToolLauncher ToolLauncher::calculator()
{
#ifdef Q_OS_WIN
    const QStringList programs{QStringLiteral("CALC.EXE")};
#else
    const QStringList programs{QStringLiteral("gnome-calculator"), QStringLiteral("kcalc"),
                               QStringLiteral("galculator"), QStringLiteral("mate-calc"),
                               QStringLiteral("qalculate-gtk"), QStringLiteral("xcalc")};
#endif
    return ToolLauncher(QStringLiteral("calculator"), QStringLiteral("CALCULATOR"), programs,
                        QStringLiteral("gnome-calculator or galculator"));
}

QString ToolLauncher::program() const
{
    for (const QString &candidate : m_candidates) {
        const QString path = QStandardPaths::findExecutable(candidate);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool ToolLauncher::launch(Dialogs &dialogs) const
{
    const QString path = program();
    if (path.isEmpty()) {
        dialogs.message(QStringLiteral("No %1 was found on this computer. Install one, such as %2, to use %3.")
                            .arg(m_kind, m_examples, m_tool),
                        QString(), Dialogs::Information, Dialogs::Ok);
        return false;
    }
    // Detached: the panel neither waits for the program nor keeps a handle.
    if (!QProcess::startDetached(path, {}, QDir::homePath())) {
        dialogs.message(QStringLiteral("The %1 %2 could not be started.")
                            .arg(m_kind, QFileInfo(path).fileName()),
                        QString(), Dialogs::Information, Dialogs::Ok);
        return false;
    }
    return true;
}

namespace {
constexpr int Width = 696;
constexpr int Height = 416;
constexpr int ToolWidth = 208;
constexpr int ToolHeight = 284;
constexpr int PictureSize = 200;
constexpr int Gap = 12;
} // namespace

UtilityScreen::UtilityScreen(Dialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      m_dialogs(dialogs)
{
    setWindowTitle(QStringLiteral("Form1"));
    createLayout();
}

void UtilityScreen::createLayout()
{
    setFixedSize(Width, Height);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::paper());
    setPalette(pal);

    AeroGroupBox4 = new FramedPanel(QStringLiteral("Choose your Utility"), this);
    AeroGroupBox4->setObjectName(QStringLiteral("AeroGroupBox4"));
    AeroGroupBox4->setGeometry(Gap, Gap, Width - 2 * Gap, FramedPanel::HeadingHeight + Gap + ToolHeight + 14);

    AeroGroupBox1 = createTool(0, "Label1", QStringLiteral("CALENDAR"), Label1, "Image3",
                               QStringLiteral(":/assets/calendar.svg"), Image3);
    AeroGroupBox1->setObjectName(QStringLiteral("AeroGroupBox1"));
    AeroGroupBox2 = createTool(1, "Label2", QStringLiteral("CALCULATOR"), Label2, "Image2",
                               QStringLiteral(":/assets/calculator.svg"), Image2);
    AeroGroupBox2->setObjectName(QStringLiteral("AeroGroupBox2"));
    AeroGroupBox3 = createTool(2, "Label3", QStringLiteral("NOTEPAD"), Label3, "Image1",
                               QStringLiteral(":/assets/notepad.svg"), Image1);
    AeroGroupBox3->setObjectName(QStringLiteral("AeroGroupBox3"));

    jcbutton1 = new PushButton(QStringLiteral("Main Menu"), this);
    jcbutton1->setObjectName(QStringLiteral("jcbutton1"));
    const int top = AeroGroupBox4->geometry().bottom() + 1;
    jcbutton1->setGeometry(Width - Gap - 124, top + (Height - top - 36) / 2, 124, 36);

    connect(Image3, &Picture::clicked, this, &UtilityScreen::openCalendar);
    connect(Image2, &Picture::clicked, this, [this] { ToolLauncher::calculator().launch(m_dialogs); });
    connect(Image1, &Picture::clicked, this, [this] { ToolLauncher::textEditor().launch(m_dialogs); });
    connect(jcbutton1, &QPushButton::clicked, this, &UtilityScreen::menuRequested);
}

FramedPanel *UtilityScreen::createTool(int index, const char *labelName, const QString &name, QLabel *&label,
                                       const char *pictureName, const QString &artwork, Picture *&picture)
{
    auto *panel = new FramedPanel(QStringLiteral("AeroGroupBox1"), AeroGroupBox4);
    panel->setGeometry(Gap + index * (ToolWidth + Gap), FramedPanel::HeadingHeight + Gap, ToolWidth, ToolHeight);

    label = new QLabel(name, panel);
    label->setObjectName(QString::fromLatin1(labelName));
    label->setGeometry(0, FramedPanel::HeadingHeight + 10, ToolWidth, 28);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(Theme::labelStyle(13));

    picture = new Picture(artwork, panel);
    picture->setObjectName(QString::fromLatin1(pictureName));
    picture->setGeometry((ToolWidth - PictureSize) / 2, label->geometry().bottom() + 9, PictureSize, PictureSize);
    picture->setCursor(Qt::PointingHandCursor);
    picture->setFocusPolicy(Qt::NoFocus);
    picture->setAccessibleName(name);
    return panel;
}

void UtilityScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    jcbutton1->setFocus(Qt::OtherFocusReason);
}

void UtilityScreen::openCalendar()
{
    // A fresh calendar each time; it is modal, so the panel waits for it.
    auto *calendar = new CalendarScreen(m_dialogs, this);
    calendar->setAttribute(Qt::WA_DeleteOnClose);
    m_calendar = calendar;
    calendar->show();
}
