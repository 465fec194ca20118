#include "local_time.h"

#include <windows.h>

namespace {
// FILETIME counts 100 ns from 1601-01-01.
constexpr qint64 TicksPerSecond = 10'000'000;
constexpr qint64 SecondsFrom1601To1970 = 11'644'473'600;

qint64 ticksOf(const SYSTEMTIME &time)
{
    FILETIME file{};
    if (!SystemTimeToFileTime(&time, &file))
        return 0;
    return qint64((quint64(file.dwHighDateTime) << 32) | file.dwLowDateTime);
}
} // namespace

// The system's own time zone and its rules, as the clock in the task bar shows them. Not the C library's
// localtime, which takes a TZ variable where one is set and then applies the United States' summer time.
LocalTime localTime(qint64 timeMs)
{
    LocalTime local;
    const qint64 seconds = timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000;
    local.milliseconds = int(timeMs - seconds * 1000);
    const qint64 utcTicks = (seconds + SecondsFrom1601To1970) * TicksPerSecond;
    const FILETIME utcFile{DWORD(quint64(utcTicks)), DWORD(quint64(utcTicks) >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME there{};
    if (!FileTimeToSystemTime(&utcFile, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &there))
        return local;
    local.fields.tm_year = there.wYear - 1900;
    local.fields.tm_mon = there.wMonth - 1;
    local.fields.tm_mday = there.wDay;
    local.fields.tm_wday = there.wDayOfWeek;
    local.fields.tm_hour = there.wHour;
    local.fields.tm_min = there.wMinute;
    local.fields.tm_sec = there.wSecond;
    local.utcOffsetSeconds = long((ticksOf(there) - utcTicks) / TicksPerSecond);
    local.fields.tm_isdst = -1;
    return local;
}
