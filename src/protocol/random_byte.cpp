#include "random_byte.h"

namespace {
constexpr int UnitBits = 24;
constexpr float UnitScale = 1.0f / float(1u << UnitBits);
} // namespace

float RandomByte::nextUnit()
{
    // splitmix64: small, fast and well distributed over every bit.
    m_state += 0x9E3779B97F4A7C15ULL;
    uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return float(z >> (64 - UnitBits)) * UnitScale;
}

uint8_t RandomByte::next()
{
    return fromUnit(nextUnit());
}

uint8_t RandomByte::fromUnit(float u)
{
    return uint8_t(int(double(u) * 255.0) + 1);
}
