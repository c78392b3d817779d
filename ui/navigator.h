#pragma once

#include "store/engine/storeerror.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSqlError>
#include <QWidget>

#include <functional>

class Dialogs;

// Owns the program's screens: at most one of each, created when first
// needed (shown, or unseen when another screen works on it), forgotten when
// destroyed. Screens are top-level widgets deleted on close. It knows them
// only by the names they are registered under.
class Navigator : public QObject
{
    Q_OBJECT
public:
    // What a factory made: the screen, and why it cannot open (its table
    // could not be read) when the error is valid.
    struct Made {
        QWidget *screen = nullptr;
        StoreError refusal;
    };
    using Factory = std::function<Made()>;

    static Navigator &instance();

    void registerScreen(const QString &name, Factory factory);
    // Where a screen's refusal to open is shown.
    void setDialogs(Dialogs &dialogs) { m_dialogs = &dialogs; }

    // The screen if it exists (seen or unseen), else nullptr. A screen that
    // has been closed and only awaits its deletion no longer exists.
    QWidget *existing(const QString &name) const;
    template <typename T>
    T *existingAs(const QString &name) const { return qobject_cast<T *>(existing(name)); }

    // The existing screen, or a new one that is not shown; nullptr when the
    // new screen refused to open: the refusal is shown in one critical box,
    // the screen destroyed, and the rest of the program goes on as it was.
    QWidget *create(const QString &name);
    template <typename T>
    T *createAs(const QString &name) { return qobject_cast<T *>(create(name)); }

    // Shows the screen: an existing one as it is, else a new one.
    QWidget *open(const QString &name);

    // Leaves `from` for the screen `to`: the next screen is shown before
    // `from` is destroyed, so the program never sees a moment with no window.
    // When `to` refuses to open, `from` stays as it is. False then.
    bool leave(QWidget *from, const QString &to);

    // Ends the program at once: every screen is destroyed, the loop quits.
    void quit();
    bool quitRequested() const { return m_quit; }

    // Destroys every screen and forgets the quit (for tests).
    void reset();

signals:
    void screenCreated(const QString &name, QWidget *screen);

private:
    QHash<QString, Factory> m_factories;
    QHash<QString, QPointer<QWidget>> m_screens;
    Dialogs *m_dialogs = nullptr;
    bool m_quit = false;
};

// Places `window` in the middle of its screen.
void centerOnScreen(QWidget *window);
// Centres `window` the first time it is shown (its size is final by then).
void centerWhenFirstShown(QWidget *window);
