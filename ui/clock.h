#pragma once

#include <QDateTime>

// The time the screens show and start from. Tests set it, so that a check
// of a running clock cannot fail at midnight.
namespace Clock {

QDateTime now();
inline QDate today() { return now().date(); }
inline QTime time() { return now().time(); }

// Holds the clock at `fixed`; an invalid time lets it run again.
void set(const QDateTime &fixed);

} // namespace Clock
