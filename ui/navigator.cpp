#include "ui/navigator.h"

#include "ui/dialogs.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QScreen>

namespace {
// Closing a screen drops its WA_DeleteOnClose and leaves only the deferred
// deletion: from then on the screen is gone for the program, so a screen
// opened again in the same turn of the event loop is a fresh one.
bool isLeft(const QWidget *screen)
{
    return !screen || !screen->testAttribute(Qt::WA_DeleteOnClose);
}
} // namespace

Navigator &Navigator::instance()
{
    static Navigator navigator;
    return navigator;
}

void Navigator::registerScreen(const QString &name, Factory factory)
{
    m_factories.insert(name, std::move(factory));
}

QWidget *Navigator::existing(const QString &name) const
{
    QWidget *screen = m_screens.value(name).data();
    return isLeft(screen) ? nullptr : screen;
}

QWidget *Navigator::create(const QString &name)
{
    if (QWidget *screen = existing(name))
        return screen;
    const auto factory = m_factories.constFind(name);
    if (factory == m_factories.cend()) {
        qWarning("Tallymere: no screen named %s", qPrintable(name));
        return nullptr;
    }
    const Made made = (*factory)();
    QWidget *screen = made.screen;
    if (made.refusal.isValid()) {
        // Gone before the box shows, so that nothing can reach it meanwhile.
        delete screen;
        if (m_dialogs)
            m_dialogs->showDatabaseError(made.refusal);
        else
            qWarning("Tallymere: %s cannot open: %s", qPrintable(name), qPrintable(made.refusal.text()));
        return nullptr;
    }
    nameListTypingBoxes(screen);
    screen->setAttribute(Qt::WA_DeleteOnClose);
    screen->setObjectName(name);
    m_screens.insert(name, screen);
    emit screenCreated(name, screen);
    return screen;
}

QWidget *Navigator::open(const QString &name)
{
    QWidget *screen = create(name);
    if (!screen)
        return nullptr;
    screen->show();
    screen->raise();
    screen->activateWindow();
    return screen;
}

bool Navigator::leave(QWidget *from, const QString &to)
{
    if (!open(to))
        return false;
    if (from)
        from->close();
    return true;
}

void Navigator::quit()
{
    m_quit = true;
    const auto screens = m_screens;
    for (const QPointer<QWidget> &screen : screens)
        if (screen)
            screen->close();
    QCoreApplication::quit();
}

void Navigator::reset()
{
    const auto screens = m_screens;
    for (const QPointer<QWidget> &screen : screens)
        delete screen.data();
    m_screens.clear();
    m_quit = false;
}

namespace {
class CentreOnFirstShow : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            centerOnScreen(static_cast<QWidget *>(watched));
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};
} // namespace

void centerWhenFirstShown(QWidget *window)
{
    window->installEventFilter(new CentreOnFirstShow(window));
}

void centerOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size().expandedTo(window->size());
    window->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}
