#pragma once

#include <cstdint>
#include <optional>

// A temperature as the history keeps it, in four bytes: the board's raw bytes and the calibration offset
// it was taken under, which together give the temperature as it was recorded, whatever the offset is now.
struct StoredTemperature
{
    int16_t raw = 0;
    int16_t offset = 0; // hundredths of a degree, within Calibration::LargestOffset

    int32_t hundredths() const;
    // Nothing when the temperature is further from the one its raw bytes give than any offset.
    static std::optional<StoredTemperature> of(int16_t raw, int32_t hundredths);

    friend bool operator==(const StoredTemperature &, const StoredTemperature &) = default;
};
