#pragma once

#include <QDate>
#include <QString>
#include <QVariant>

// How dates are stored: ISO text (yyyy-MM-dd). How they are shown is the
// screens' business (ui/displayformats.h).
namespace Formats {

QString isoDate(const QDate &date);
QDate fromIso(const QVariant &stored);

} // namespace Formats
