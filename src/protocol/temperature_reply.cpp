#include "temperature_reply.h"

bool TemperatureReply::Parsed::hasReading() const
{
    return high <= LargestHighByte;
}

int16_t TemperatureReply::Parsed::raw() const
{
    return int16_t(high * 256 + low);
}

bool TemperatureReply::isReply(const uint8_t *bytes, int count)
{
    return count == Length && bytes[0] == StartByte && bytes[TerminatorOffset] == Terminator;
}

std::optional<TemperatureReply::Parsed> TemperatureReply::parse(const uint8_t *bytes, int count)
{
    if (!isReply(bytes, count))
        return std::nullopt;
    return Parsed{bytes[LowOffset], bytes[HighOffset]};
}
