#include "ui/clock.h"

namespace Clock {

namespace {
QDateTime fixedTime;
} // namespace

QDateTime now()
{
    return fixedTime.isValid() ? fixedTime : QDateTime::currentDateTime();
}

void set(const QDateTime &fixed)
{
    fixedTime = fixed;
}

} // namespace Clock
