#include "local_time.h"

LocalTime localTime(qint64 timeMs)
{
    LocalTime local;
    const qint64 seconds = timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000;
    local.milliseconds = int(timeMs - seconds * 1000);
    const std::time_t t = std::time_t(seconds);
    if (localtime_s(&local.fields, &t) != 0)
        return local;
    // Windows' calendar fields carry no offset: the local fields read as UTC are that far from the instant.
    std::tm asUtc = local.fields;
    local.utcOffsetSeconds = long(_mkgmtime(&asUtc) - t);
    return local;
}
