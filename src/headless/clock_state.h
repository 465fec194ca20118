#pragma once

enum class ClockState
{
    Synchronised,
    Unsynchronised,
    Unknown
};

// What the kernel says of the system clock: unsynchronised until a time service has set it.
ClockState systemClockState();
