#include "command_frame.h"

uint8_t CommandFrame::checksum(const uint8_t *bytes, int count)
{
    int32_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i];
    return uint8_t(sum % 256);
}

int16_t CommandFrame::build(const uint8_t *payload, int16_t n, uint8_t *frame)
{
    if (n < 0 || n > MaxPayload)
        return 0;
    frame[0] = StartByte;
    frame[1] = uint8_t(n + Overhead);
    for (int i = 0; i < n; ++i)
        frame[i + 2] = payload[i];
    frame[n + 2] = Terminator;
    frame[n + 3] = 0;
    frame[n + 3] = checksum(frame, n + 3);
    return int16_t(n + Overhead);
}
