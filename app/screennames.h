#pragma once

#include <QString>

// The names under which the navigator knows the program's screens.
namespace ScreenNames {
inline const QString Splash = QStringLiteral("frmSplash");
inline const QString Login = QStringLiteral("frmLogin");
inline const QString Menu = QStringLiteral("frmMenu");
inline const QString Close = QStringLiteral("frmclose");
inline const QString Utility = QStringLiteral("frmUtility");
inline const QString Calendar = QStringLiteral("frmCalendar");
inline const QString LoanEntry = QStringLiteral("frmAddRecord");
inline const QString LoanList = QStringLiteral("frmList");
inline const QString Books = QStringLiteral("frmBooks");
inline const QString ReturnDesk = QStringLiteral("frmRetrieve");
inline const QString Accounts = QStringLiteral("frmUser");
} // namespace ScreenNames
