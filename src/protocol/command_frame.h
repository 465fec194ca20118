#pragma once

#include <cstdint>

struct LinkState;
class RandomByte;

namespace CommandFrame {
constexpr uint8_t StartByte = 0x0B;
constexpr uint8_t Terminator = 0x21;    // "!"
constexpr uint8_t PresenceQuery = 0x4C; // "L"
constexpr uint8_t StartCommand = 0x47;  // "G"
constexpr int16_t MaxPayload = 96;      // the checksum of the longest frame lands at BufferTx(100)
constexpr int16_t Overhead = 4;         // start byte, length, terminator, checksum

// Sum of the bytes modulo 256, as the board checks it.
uint8_t checksum(const uint8_t *bytes, int count);
} // namespace CommandFrame

// Whoever sends BufferTx to the board, one byte per tick.
class FrameSender
{
public:
    virtual ~FrameSender() = default;
    virtual void AvviaInvio(const int16_t &n) = 0;
};

// Builds the frame around DatiTx(1..NEleData) in BufferTx and hands it to the sender.
// A length outside 0..96 would run past BufferTx, so such a call builds and sends nothing.
void InviaGenerico(LinkState &state, const int16_t &NEleData, FrameSender &sender);

void FillStartPayload(LinkState &state, RandomByte &random);
void FillQueryPayload(LinkState &state, RandomByte &random);
