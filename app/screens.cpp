#include "app/screens.h"

#include "app/closescreen.h"
#include "app/loginscreen.h"
#include "app/menuscreen.h"
#include "app/navigator.h"
#include "app/placeholderscreen.h"
#include "app/splashscreen.h"
#include "app/utilityscreen.h"
#include "catalogue/loanlistscreen.h"
#include "loans/loanentryscreen.h"

#include <QApplication>
#include <QIcon>

void registerScreens()
{
    Navigator &nav = Navigator::instance();
    nav.registerScreen(QStringLiteral("frmSplash"), [] { return new SplashScreen; });
    nav.registerScreen(QStringLiteral("frmLogin"), [] { return new LoginScreen; });
    nav.registerScreen(QStringLiteral("frmMenu"), [] { return new MenuScreen; });
    nav.registerScreen(QStringLiteral("frmclose"), [] { return new CloseScreen; });
    nav.registerScreen(QStringLiteral("frmUtility"), [] { return new UtilityScreen; });
    nav.registerScreen(QStringLiteral("frmAddRecord"), [] { return new LoanEntryScreen; });
    nav.registerScreen(QStringLiteral("frmList"), [] { return new LoanListScreen; });
    nav.registerScreen(QStringLiteral("frmBooks"), [] {
        return new PlaceholderScreen(QStringLiteral("frmBooks"), QStringLiteral("Form1"), QSize(921, 528), true,
                                     QStringLiteral("cmdMain"), QStringLiteral("Main Menu"));
    });
    nav.registerScreen(QStringLiteral("frmRetrieve"), [] {
        return new PlaceholderScreen(QStringLiteral("frmRetrieve"), QStringLiteral("Form1"), QSize(844, 382), false,
                                     QStringLiteral("cmdMain"), QStringLiteral("Main"));
    });
    nav.registerScreen(QStringLiteral("frmUser"), [] {
        return new PlaceholderScreen(QStringLiteral("frmUser"), QStringLiteral("Form1"), QSize(601, 399), true,
                                     QStringLiteral("cmdMain"), QStringLiteral("Main Menu"));
    });
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
