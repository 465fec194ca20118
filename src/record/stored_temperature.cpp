#include "stored_temperature.h"

#include "protocol/calibration.h"
#include "protocol/temperature_text.h"

#include <cstdlib>

int32_t StoredTemperature::hundredths() const
{
    return temperatureHundredths(raw) + offset;
}

std::optional<StoredTemperature> StoredTemperature::of(int16_t raw, int32_t hundredths)
{
    const int32_t offset = hundredths - temperatureHundredths(raw);
    if (std::abs(offset) > Calibration::LargestOffset)
        return std::nullopt;
    return StoredTemperature{raw, int16_t(offset)};
}
