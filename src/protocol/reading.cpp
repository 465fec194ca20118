#include "reading.h"

#include "protocol/temperature_text.h"

int16_t Reading::raw() const
{
    return int16_t(high * 256 + low);
}

Reading Reading::fromRaw(qint64 timeMs, int16_t raw)
{
    return {timeMs, uint8_t(raw & 0xFF), uint8_t(raw >> 8), temperatureHundredths(raw)};
}
