#pragma once

#include <QDateTime>

// The time the program goes by: what the screens show and start from, the
// day a daily backup belongs to, how long a loan has been out. Tests set
// it, so that a check cannot fail at midnight and days can pass at once.
// Safe to read from any thread.
namespace Clock {

QDateTime now();
inline QDate today() { return now().date(); }
inline QTime time() { return now().time(); }

// Holds the clock at `fixed`; an invalid time lets it run again.
void set(const QDateTime &fixed);

} // namespace Clock
