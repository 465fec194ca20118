#pragma once

#include <cstdint>

// The random byte that every command carries. Deliberately unseeded: each run draws
// the same sequence from the same fixed starting state.
class RandomByte final
{
public:
    // u in [0, 1), from 24 random bits so that it can never round up to 1.
    float nextUnit();
    // r = integer part of (u * 255) + 1, so 1 to 255 and never 0.
    uint8_t next();

    static uint8_t fromUnit(float u);

private:
    uint64_t m_state = 0x5EED0FBA7A000001ULL;
};
