#include "local_time.h"

LocalTime localTime(qint64 timeMs)
{
    LocalTime local;
    const qint64 seconds = timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000;
    local.milliseconds = int(timeMs - seconds * 1000);
    const std::time_t t = std::time_t(seconds);
    localtime_r(&t, &local.fields);
    local.utcOffsetSeconds = local.fields.tm_gmtoff;
    return local;
}
