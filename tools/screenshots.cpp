// Saves a picture of every screen as it first appears, and both printed
// reports, for looking at the program side by side after a change. Runs on a throw-away data
// folder; usage: screenshots OUTPUT_FOLDER
#include "app/screens.h"
#include "catalogue/reportlayout.h"
#include "catalogue/reportpreview.h"
#include "catalogue/tablereportrows.h"
#include "store/engine/database.h"
#include "ui/dialogs.h"
#include "ui/navigator.h"
#include "ui/widgets.h"

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
    const StoreLocation stores = StoreLocation::files(folder);
    if (Database::install(stores).isValid())
        return 1;
    MessageBoxes dialogs;
    registerScreens(stores, dialogs);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    for (const char *name : {"frmSplash", "frmLogin", "frmMenu", "frmclose", "frmUtility",
                             "frmAddRecord", "frmList", "frmBooks", "frmRetrieve", "frmUser"}) {
        QWidget *screen = Navigator::instance().open(QString::fromLatin1(name));
        if (!screen)
            continue;
        QTest::qWait(300);
        screen->grab().save(QDir(out).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
        // The calendar is the utilities' own window, opened by its picture.
        if (auto *calendarPicture = screen->findChild<Picture *>(QStringLiteral("Image3"))) {
            QTest::mouseClick(calendarPicture, Qt::LeftButton);
            QTest::qWait(300);
            if (auto *calendar = screen->findChild<QWidget *>(QStringLiteral("frmCalendar"))) {
                calendar->grab().save(QDir(out).filePath(QStringLiteral("frmCalendar.png")));
                calendar->close();
            }
        }
        screen->close();
        QTest::qWait(50);
    }
    // Both printed reports: their previews, and the reports as PDF files.
    for (const ReportLayout &layout : {ReportLayout::catalogue(), ReportLayout::loans()}) {
        ReportPreview preview(layout, std::make_unique<TableReportRows>(stores, layout.table), dialogs);
        preview.show();
        QTest::qWait(300);
        preview.grab().save(QDir(out).filePath(layout.name + QStringLiteral(".png")));
        preview.savePdf(QDir(out).filePath(layout.name + QStringLiteral(".pdf")));
    }
    Navigator::instance().reset();
    return 0;
}
