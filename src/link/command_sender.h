#pragma once

#include <cstdint>

struct LinkState;
class RandomByte;

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
