#include "app/screens.h"

#include "accounts/accountscreen.h"
#include "shell/closescreen.h"
#include "shell/loginscreen.h"
#include "shell/menuscreen.h"
#include "ui/dialogs.h"
#include "ui/navigator.h"
#include "app/screennames.h"
#include "shell/splashscreen.h"
#include "shell/utilityscreen.h"
#include "catalogue/booksscreen.h"
#include "catalogue/loanlistscreen.h"
#include "loans/loanentryscreen.h"
#include "loans/returndeskscreen.h"

#include "store/database.h"
#include "store/recordsource.h"
#include "tallymere/version.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QProgressDialog>

#include <memory>

void registerScreens(const StoreLocation &stores)
{
    Navigator &nav = Navigator::instance();
    nav.registerScreen(ScreenNames::Splash, [] { return new SplashScreen; });
    nav.registerScreen(ScreenNames::Login, [stores] { return new LoginScreen(stores); });
    nav.registerScreen(ScreenNames::Menu, [] { return new MenuScreen; });
    nav.registerScreen(ScreenNames::Close, [] { return new CloseScreen; });
    nav.registerScreen(ScreenNames::Utility, [] { return new UtilityScreen; });
    nav.registerScreen(ScreenNames::LoanEntry, [stores] { return new LoanEntryScreen(stores); });
    nav.registerScreen(ScreenNames::LoanList, [stores] { return new LoanListScreen(stores); });
    nav.registerScreen(ScreenNames::Books, [stores] { return new BooksScreen(stores); });
    nav.registerScreen(ScreenNames::ReturnDesk, [stores] { return new ReturnDeskScreen(stores); });
    // A loan stored while the loan list does not exist makes it, unseen; it
    // reads the rows as it is made and is the one the menu later shows.
    QObject::connect(&TableEvents::instance(), &TableEvents::changed, &nav, [](const QString &table) {
        if (table == Schema::borrower().name && !Navigator::instance().existing(ScreenNames::LoanList))
            Navigator::instance().create(ScreenNames::LoanList);
    });
    nav.registerScreen(ScreenNames::Accounts, [stores] { return new AccountScreen(stores); });
}

void prepareApplication(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("Tallymere"));
    QApplication::setOrganizationName(QString());
    QApplication::setApplicationVersion(QStringLiteral(TALLYMERE_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/emblem.svg")));
    QApplication::setQuitOnLastWindowClosed(true);
    app.setStyle(QStringLiteral("Fusion"));
}

QSqlError installStores(const StoreLocation &stores)
{
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> box;
    const QSqlError error = Database::install(stores, [&] {
        if (!box && clock.elapsed() > 400) {
            box = std::make_unique<QProgressDialog>(QStringLiteral("Preparing the catalogue for searching…"),
                                                    QString(), 0, 0);
            box->setWindowTitle(Dialogs::applicationTitle());
            box->setMinimumDuration(0);
            box->show();
        }
        QCoreApplication::processEvents();
    });
    return error;
}
