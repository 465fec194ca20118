#pragma once

#include <cstdint>

class LinkView;
struct LinkState;

namespace TemperatureReply {
constexpr int Length = 8;
constexpr int TerminatorOffset = 4;
constexpr int LowOffset = 2;
constexpr int HighOffset = 3;
constexpr uint8_t StartByte = 0x16;
constexpr uint8_t Terminator = 0x21;      // "!"
constexpr uint8_t LargestHighByte = 0x7F; // the raw reading is a signed 16-bit value

// One read is a reply only when it is exactly one whole reply: nothing is reassembled.
bool isReply(const uint8_t *bytes, int count);
} // namespace TemperatureReply

// Shows the raw bytes and the temperature of a reply and clears the received-byte count.
// A read that is not a reply changes nothing.
void recogniseReply(LinkState &state, const uint8_t *bytes, int count, LinkView &view);
