#pragma once

#include <QObject>
#include <QString>

class Dialogs;
class StoreLocation;
namespace DailyBackup {
class Runner;
}

// The day's backup of a file desk, started with the desk and made in the
// background while the splash, the login and the screens go on. A backup
// that cannot be made is told in one box once the librarian has logged in
// (when the menu first shows), and only once a day; the desk works on.
class DailyBackupBox : public QObject
{
    Q_OBJECT
public:
    // Nothing is made for a desk on a server: the server's own backups
    // serve it. `dialogs` must outlive this.
    DailyBackupBox(const QString &dataFolder, const StoreLocation &stores, Dialogs &dialogs,
                   QObject *parent = nullptr);

    // The backup under way or done; nullptr on a server desk.
    DailyBackup::Runner *runner() const { return m_runner; }

private:
    void tell();

    QString m_dataFolder;
    Dialogs &m_dialogs;
    DailyBackup::Runner *m_runner = nullptr;
    bool m_loggedIn = false;
    bool m_done = false;
};
