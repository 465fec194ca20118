// Feeds random input to the two places where bytes from outside meet the program: the reads of
// the receive poll and the payloads of the frame builder. A broken invariant aborts the run.
#include "fake_link_view.h"
#include "link/command_sender.h"
#include "link/link_state.h"
#include "link/port_access.h"
#include "link/receive_poller.h"
#include "protocol/command_frame.h"
#include "protocol/temperature_reply.h"
#include "protocol/temperature_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
void require(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

class RecordingSender final : public FrameSender
{
public:
    void AvviaInvio(const int16_t &n) override
    {
        ++calls;
        length = n;
    }
    int calls = 0;
    int16_t length = 0;
};

// Input: a flags byte (bit 0: logging, bit 1: start from a nearly full log), then reads,
// each a length byte (times 5, so a read can fill the 1024-byte buffer) and that many bytes.
void receivePath(const uint8_t *data, size_t size)
{
    LinkState state;
    PortAccess port;
    FakeLinkView view;
    ReceivePoller poller(state, port, view);
    view.logging = data[0] & 1;
    if (data[0] & 2)
        view.setText(TextBox::TextBin, QString(ReceivePoller::LogLimit - 2, QLatin1Char('-')));
    state.NByteRicevuti = int32_t(data[0]) << 23; // some runs start near the counter's top

    size_t at = 1;
    while (at < size) {
        const int wanted = qMin(int(data[at]) * 5, PortAccess::ReadCapacity);
        ++at;
        const int n = int(qMin(size - at, size_t(wanted)));
        const uint8_t *read = data + at;
        at += size_t(n);

        const QString captionBefore = view.caption;
        const int32_t countBefore = state.NByteRicevuti;
        poller.take(read, n);

        require(state.NByteRicevuti >= 0, "the received-byte count is never negative");
        require(view.text(TextBox::TextBin).size() <= ReceivePoller::LogLimit,
                "the log holds at most its limit after a read");
        const bool wholeReply = TemperatureReply::isReply(read, n);
        const bool showable =
            wholeReply && read[TemperatureReply::HighOffset] <= TemperatureReply::LargestHighByte;
        if (showable) {
            const auto raw =
                int16_t(read[TemperatureReply::HighOffset] * 256 + read[TemperatureReply::LowOffset]);
            require(view.caption == temperatureText(raw, localeDecimalPoint()),
                    "a reply shows its own reading");
            require(state.NByteRicevuti == 0, "a shown reply clears the count");
        } else {
            require(view.caption == captionBefore, "the temperature changes only for a whole reply");
            require(n == 0 || state.NByteRicevuti >= countBefore, "the count only grows between replies");
        }
    }
}

// Input: the length as two bytes, then the payload.
void frameBuilder(const uint8_t *data, size_t size)
{
    if (size < 2)
        return;
    LinkState state;
    const auto n = int16_t(uint16_t(data[0]) << 8 | data[1]);
    const size_t payload = qMin(size - 2, size_t(CommandFrame::MaxPayload));
    std::memcpy(&state.DatiTx[1], data + 2, payload);
    uint8_t payloadBefore[LinkState::BufferSize];
    std::memcpy(payloadBefore, state.DatiTx, sizeof payloadBefore);

    RecordingSender sender;
    InviaGenerico(state, n, sender);
    if (n < 0 || n > CommandFrame::MaxPayload) {
        require(sender.calls == 0, "a length outside the buffer sends nothing");
        const uint8_t untouched[LinkState::BufferSize] = {};
        require(std::memcmp(state.BufferTx, untouched, sizeof untouched) == 0,
                "a length outside the buffer builds nothing");
        return;
    }
    require(sender.calls == 1 && sender.length == n + CommandFrame::Overhead,
            "one frame of the payload's length");
    const uint8_t *frame = &state.BufferTx[1];
    require(frame[0] == CommandFrame::StartByte && frame[1] == n + CommandFrame::Overhead, "frame head");
    require(std::memcmp(frame + 2, &state.DatiTx[1], size_t(n)) == 0, "payload copied unchanged");
    require(frame[n + 2] == CommandFrame::Terminator, "terminator after the payload");
    unsigned sum = 0;
    for (int i = 0; i < n + 3; ++i)
        sum += frame[i];
    require(frame[n + 3] == sum % 256, "checksum of everything before it");
    require(std::memcmp(payloadBefore, state.DatiTx, sizeof payloadBefore) == 0, "the payload is left alone");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the target, so one corpus grows for both.
    if (data[0] & 0x80)
        frameBuilder(data + 1, size - 1);
    else
        receivePath(data, size);
    return 0;
}
