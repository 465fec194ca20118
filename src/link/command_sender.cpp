#include "command_sender.h"

#include "link/link_state.h"
#include "protocol/command_frame.h"
#include "protocol/random_byte.h"

void InviaGenerico(LinkState &state, const int16_t &NEleData, FrameSender &sender)
{
    // Both buffers count from 1, as the board's documentation does.
    const int16_t length = CommandFrame::build(&state.DatiTx[1], NEleData, &state.BufferTx[1]);
    if (length > 0)
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
