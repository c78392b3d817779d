#include "shell/splashscreen.h"

#include <QHash>

SplashScreen::SplashScreen(QWidget *parent)
    : ProgressScreen(QStringLiteral(":/assets/splash.svg"), QStringLiteral("TALLYMERE (LOADING)"), true,
                     {{10, QStringLiteral("Loading forms...")},
                      {20, QStringLiteral("Loading Reports...")},
                      {30, QStringLiteral("Loading ...")},
                      {40, QStringLiteral("Loading.")},
                      {50, QStringLiteral("Loading Accounts Info...")},
                      {60, QStringLiteral("Loading User Interface...")},
                      {70, QStringLiteral("Checking connectivity...")},
                      {80, QStringLiteral("Connecting to Database..")},
                      {90, QStringLiteral("Loading Complete...")}},
                     parent)
{
}
