#pragma once

#include <QtCore/QtGlobal>

#include <ctime>

// An instant as the local calendar and clock show it, with the offset from UTC then in force. One
// implementation per platform: local_time_posix.cpp, local_time_win32.cpp.
struct LocalTime
{
    std::tm fields{};
    int milliseconds = 0;
    long utcOffsetSeconds = 0;
};

LocalTime localTime(qint64 timeMs);
