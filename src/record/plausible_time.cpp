#include "plausible_time.h"

namespace {
constexpr qint64 Day = 24 * 3600 * 1000LL;
// Ten years of 365 days and their two or three leap days.
constexpr qint64 TenYears = 3653 * Day;
} // namespace

qint64 PlausibleTime::earliestMs()
{
    return 946684800000LL;
}

qint64 PlausibleTime::latestMs(qint64 nowMs)
{
    return nowMs + TenYears;
}

bool PlausibleTime::contains(qint64 timeMs, qint64 nowMs)
{
    return timeMs >= earliestMs() && timeMs <= latestMs(nowMs);
}
