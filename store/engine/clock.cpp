#include "store/engine/clock.h"

#include <QMutex>
#include <QMutexLocker>

namespace Clock {

namespace {
// A background backup asks for the time while a test may set it.
QMutex guard;
QDateTime fixedTime;
} // namespace

QDateTime now()
{
    const QMutexLocker lock(&guard);
    return fixedTime.isValid() ? fixedTime : QDateTime::currentDateTime();
}

void set(const QDateTime &fixed)
{
    const QMutexLocker lock(&guard);
    fixedTime = fixed;
}

} // namespace Clock
