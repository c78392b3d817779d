#include "app/screens.h"
#include "app/ui/dialogs.h"
#include "app/ui/navigator.h"
#include "app/ui/screennames.h"
#include "store/database.h"
#include "store/desklock.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareApplication(app);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    Database::setFolder(folder);
    const DeskLock presence(folder);
    if (const QSqlError error = installStores(folder); error.isValid()) {
        showDatabaseError(error);
        return 1;
    }
    registerScreens();
    Navigator::instance().open(ScreenNames::Splash);
    return app.exec();
}
