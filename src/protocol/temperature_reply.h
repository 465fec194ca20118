#pragma once

#include <cstdint>
#include <optional>

namespace TemperatureReply {
constexpr int Length = 8;
constexpr int TerminatorOffset = 4;
constexpr int LowOffset = 2;
constexpr int HighOffset = 3;
constexpr uint8_t StartByte = 0x16;
constexpr uint8_t Terminator = 0x21;      // "!"
constexpr uint8_t LargestHighByte = 0x7F; // the raw reading is a signed 16-bit value

// The two bytes of a reply that carry the reading.
struct Parsed
{
    uint8_t low = 0;
    uint8_t high = 0;

    // A high byte of 0x80 or more is no reading the board can make.
    bool hasReading() const;
    int16_t raw() const;
};

// One read is a reply only when it is exactly one whole reply: nothing is reassembled.
bool isReply(const uint8_t *bytes, int count);
std::optional<Parsed> parse(const uint8_t *bytes, int count);
} // namespace TemperatureReply
