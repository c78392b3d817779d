#include "app/dailybackupbox.h"
#include "app/runningdesk.h"
#include "app/screennames.h"
#include "app/screens.h"
#include "store/engine/desklock.h"
#include "store/engine/location.h"
#include "ui/dialogs.h"
#include "ui/navigator.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareApplication(app);
    // The one set of message boxes every screen speaks through.
    MessageBoxes dialogs;
    // The desk's data folder holds its stores, or names the server that does.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    // A second start on the folder brings the desk already open forward
    // and ends, before anything of its own shows or opens a store.
    RunningDesk running(folder);
    if (running.askRunningDesk())
        return 0;
    QObject::connect(&running, &RunningDesk::showRequested, &app, &bringDeskToFront);
    const DeskLock presence(folder);
    StoreLocation stores;
    if (!openStores(folder, dialogs, &stores))
        return 1;
    registerScreens(stores, dialogs);
    // The day's backup, if it is due, goes on beside the splash and the login.
    const DailyBackupBox daily(folder, stores, dialogs);
    Navigator::instance().open(ScreenNames::Splash);
    return app.exec();
}
