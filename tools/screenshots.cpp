// Saves a picture of every screen as it first appears, for looking at the
// program's screens side by side after a change. Runs on a throw-away data
// folder; usage: screenshots OUTPUT_FOLDER
#include "app/ui/navigator.h"
#include "app/screens.h"
#include "store/database.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

int main(int argc, char *argv[])
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QApplication app(argc, argv);
    prepareApplication(app);
    const QString folder = data.filePath(QStringLiteral("Tallymere"));
    Database::setFolder(folder);
    if (Database::install(folder).isValid())
        return 1;
    registerScreens();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    for (const char *name : {"frmSplash", "frmLogin", "frmMenu", "frmclose", "frmUtility", "frmCalendar",
                             "frmAddRecord", "frmList", "frmBooks", "frmRetrieve", "frmUser"}) {
        QWidget *screen = Navigator::instance().open(QString::fromLatin1(name));
        if (!screen)
            continue;
        QTest::qWait(300);
        screen->grab().save(QDir(out).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
        screen->close();
        QTest::qWait(50);
    }
    Navigator::instance().reset();
    return 0;
}
