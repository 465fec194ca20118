#pragma once

#include <cstdint>

// The variables that the frame builder, the pacer, the poller and the controller share.
// Arrays are indexed from 1 as the board's documentation counts bytes; index 0 is never used.
struct LinkState
{
    static constexpr int BufferSize = 101;

    uint8_t DatiTx[BufferSize] = {};
    uint8_t BufferTx[BufferSize] = {};
    int16_t IndiceInvio = 0;
    int16_t NByteDaInviare = 0;
    int32_t NByteRicevuti = 0;
    int16_t NByteAttesi = 0;
    bool ErroreRisposta = false;
};
