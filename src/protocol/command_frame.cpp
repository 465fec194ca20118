#include "command_frame.h"

#include "link/link_state.h"
#include "protocol/random_byte.h"

uint8_t CommandFrame::checksum(const uint8_t *bytes, int count)
{
    int32_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i];
    return uint8_t(sum % 256);
}

void InviaGenerico(LinkState &state, const int16_t &NEleData, FrameSender &sender)
{
    const int16_t n = NEleData;
    if (n < 0 || n > CommandFrame::MaxPayload)
        return;

    uint8_t *frame = state.BufferTx;
    frame[1] = CommandFrame::StartByte;
    frame[2] = uint8_t(n + CommandFrame::Overhead);
    for (int i = 1; i <= n; ++i)
        frame[i + 2] = state.DatiTx[i];
    frame[n + 3] = CommandFrame::Terminator;
    frame[n + 4] = 0;
    frame[n + 4] = CommandFrame::checksum(&frame[1], n + 3);

    const int16_t length = int16_t(n + CommandFrame::Overhead);
    sender.AvviaInvio(length);
}

void FillStartPayload(LinkState &state, RandomByte &random)
{
    state.DatiTx[1] = CommandFrame::StartCommand;
    state.DatiTx[2] = random.next();
}

void FillQueryPayload(LinkState &state, RandomByte &random)
{
    state.DatiTx[1] = CommandFrame::PresenceQuery;
    state.DatiTx[2] = random.next();
}
