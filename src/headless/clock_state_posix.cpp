#include "clock_state.h"

#include <sys/timex.h>

ClockState systemClockState()
{
    timex state{}; // no modes: only asks
    const int result = ::ntp_adjtime(&state);
    if (result == TIME_ERROR)
        return ClockState::Unsynchronised;
    return result < 0 ? ClockState::Unknown : ClockState::Synchronised;
}
