#include "app/dialogs.h"
#include "app/navigator.h"
#include "app/screens.h"
#include "store/database.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareApplication(app);
    if (const QSqlError error = Database::install(); error.isValid()) {
        showDatabaseError(error);
        return 1;
    }
    registerScreens();
    Navigator::instance().open(QStringLiteral("frmSplash"));
    return app.exec();
}
