#include "app/screens.h"

#include "accounts/accountscreen.h"
#include "app/closescreen.h"
#include "app/loginscreen.h"
#include "app/menuscreen.h"
#include "app/ui/navigator.h"
#include "app/ui/screennames.h"
#include "app/placeholderscreen.h"
#include "app/splashscreen.h"
#include "app/utilityscreen.h"
#include "catalogue/loanlistscreen.h"
#include "loans/loanentryscreen.h"

#include "store/recordsource.h"

#include <QApplication>
#include <QIcon>

void registerScreens()
{
    Navigator &nav = Navigator::instance();
    nav.registerScreen(ScreenNames::Splash, [] { return new SplashScreen; });
    nav.registerScreen(ScreenNames::Login, [] { return new LoginScreen; });
    nav.registerScreen(ScreenNames::Menu, [] { return new MenuScreen; });
    nav.registerScreen(ScreenNames::Close, [] { return new CloseScreen; });
    nav.registerScreen(ScreenNames::Utility, [] { return new UtilityScreen; });
    nav.registerScreen(ScreenNames::LoanEntry, [] { return new LoanEntryScreen; });
    nav.registerScreen(ScreenNames::LoanList, [] { return new LoanListScreen; });
    nav.registerScreen(ScreenNames::Books, [] {
        return new PlaceholderScreen(ScreenNames::Books, QStringLiteral("Form1"), QSize(921, 528), true,
                                     QStringLiteral("cmdMain"), QStringLiteral("Main Menu"));
    });
    nav.registerScreen(ScreenNames::ReturnDesk, [] {
        return new PlaceholderScreen(ScreenNames::ReturnDesk, QStringLiteral("Form1"), QSize(844, 382), false,
                                     QStringLiteral("cmdMain"), QStringLiteral("Main"));
    });
    // A loan stored while the loan list does not exist makes it, unseen; it
    // reads the rows as it is made and is the one the menu later shows.
    QObject::connect(&TableEvents::instance(), &TableEvents::changed, &nav, [](const QString &table) {
        if (table == Schema::borrower().name && !Navigator::instance().existing(ScreenNames::LoanList))
            Navigator::instance().create(ScreenNames::LoanList);
    });
    nav.registerScreen(ScreenNames::Accounts, [] { return new AccountScreen; });
}

void prepareApplication(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("Tallymere"));
    QApplication::setOrganizationName(QString());
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(TALLYMERE_VERSION_MAJOR)
                                            .arg(TALLYMERE_VERSION_MINOR)
                                            .arg(TALLYMERE_VERSION_PATCH));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/emblem.svg")));
    QApplication::setQuitOnLastWindowClosed(true);
    app.setStyle(QStringLiteral("Fusion"));
}
