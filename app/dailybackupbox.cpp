#include "app/dailybackupbox.h"

#include "app/screennames.h"
#include "store/engine/clock.h"
#include "store/engine/location.h"
#include "store/transfer/dailybackup.h"
#include "ui/dialogs.h"
#include "ui/navigator.h"

DailyBackupBox::DailyBackupBox(const QString &dataFolder, const StoreLocation &stores, Dialogs &dialogs,
                               QObject *parent)
    : QObject(parent), m_dataFolder(dataFolder), m_dialogs(dialogs)
{
    if (stores.isServer())
        return;
    m_loggedIn = Navigator::instance().existing(ScreenNames::Menu);
    m_runner = new DailyBackup::Runner(dataFolder, this);
    connect(m_runner, &DailyBackup::Runner::finished, this, [this] {
        m_done = true;
        tell();
    });
    // The menu is made only by a login that let the librarian in.
    connect(&Navigator::instance(), &Navigator::screenCreated, this, [this](const QString &name) {
        if (name != ScreenNames::Menu || m_loggedIn)
            return;
        m_loggedIn = true;
        tell();
    });
    m_runner->start();
}

void DailyBackupBox::tell()
{
    if (!m_loggedIn || !m_done)
        return;
    const DailyBackup::Outcome outcome = m_runner->outcome();
    const QDate today = Clock::today();
    if (outcome.error.isEmpty() || DailyBackup::failureToldOn(m_dataFolder, today))
        return;
    DailyBackup::noteFailureTold(m_dataFolder, today);
    // The cause, a sentence of its own, carried on after what it stopped.
    QString cause = outcome.error;
    cause[0] = cause.at(0).toLower();
    const QString text = outcome.kind == DailyBackup::Outcome::Kind::Failed
                             ? QStringLiteral("Today's backup of the stores was not made: %1").arg(cause)
                             : QStringLiteral("Today's backup of the stores was made, but %1").arg(cause);
    m_dialogs.message(text, QString(), Dialogs::Critical, Dialogs::Ok);
}
