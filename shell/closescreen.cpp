#include "shell/closescreen.h"

#include <QHash>

CloseScreen::CloseScreen(QWidget *parent)
    : ProgressScreen(QStringLiteral(":/assets/close.svg"), QStringLiteral("TALLYMERE (LOADING)"), false,
                     {{10, QStringLiteral("Saving Data..")},
                      {20, QStringLiteral("Saving Data ....")},
                      {30, QStringLiteral("Saving Reports..")},
                      {40, QStringLiteral("Saving Reports...")},
                      {50, QStringLiteral("Closing Accounts Info...")},
                      {60, QStringLiteral("Closing User Interface...")},
                      {70, QStringLiteral("Closing connectivity...")},
                      {80, QStringLiteral("Closing Database..")},
                      {90, QStringLiteral("Closing Successfully Completed...")}},
                     parent)
{
}
