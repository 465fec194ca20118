#pragma once

#include <cstdint>

struct Reading;

namespace Calibration {
// 50 degrees either way, in hundredths. A board's sensor is off by a degree or two at most, so this is far
// beyond any real correction, yet a slip of the keyboard ("150" for "1.50") is refused; and a recorded line
// whose temperature is further than this from its own raw bytes is damaged, whatever it was recorded under.
inline constexpr int32_t LargestOffset = 5000;
} // namespace Calibration

// A board's reading corrected by its offset in hundredths of a degree: the offset added to the temperature,
// the time and the raw bytes as the board sent them.
Reading calibrated(const Reading &raw, int32_t offsetHundredths);
