#pragma once

#include <cstdint>

namespace CommandFrame {
constexpr uint8_t StartByte = 0x0B;
constexpr uint8_t Terminator = 0x21;    // "!"
constexpr uint8_t PresenceQuery = 0x4C; // "L"
constexpr uint8_t StartCommand = 0x47;  // "G"
constexpr int16_t MaxPayload = 96;      // the checksum of the longest frame lands at BufferTx(100)
constexpr int16_t Overhead = 4;         // start byte, length, terminator, checksum

// Sum of the bytes modulo 256, as the board checks it.
uint8_t checksum(const uint8_t *bytes, int count);

// Builds the frame around payload[0..n) into frame[0..n+4) and returns its length. A length outside
// 0..96 would not fit the frame buffer, so such a payload builds nothing and returns 0.
int16_t build(const uint8_t *payload, int16_t n, uint8_t *frame);
} // namespace CommandFrame
