#include "app/screens.h"

#include "app/loginscreen.h"
#include "app/navigator.h"
#include "app/placeholderscreen.h"
#include "app/splashscreen.h"

#include <QApplication>
#include <QIcon>

void registerScreens()
{
    Navigator &nav = Navigator::instance();
    nav.registerScreen(QStringLiteral("frmSplash"), [] { return new SplashScreen; });
    nav.registerScreen(QStringLiteral("frmLogin"), [] { return new LoginScreen; });
    nav.registerScreen(QStringLiteral("frmMenu"), [] {
        return new PlaceholderScreen(QStringLiteral("frmMenu"), QStringLiteral("Form1"), QSize(501, 500), true,
                                     QString(), QString());
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
