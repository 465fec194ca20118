#pragma once

#include "protocol/reading.h"

#include <optional>

class LinkView;
struct LinkState;

// Shows the raw bytes and the temperature of a reply and clears the received-byte count.
// A read that is not a reply changes nothing. Returns the reading, taken at `timeMs`, when the reply
// showed a temperature; the temperature shown and returned has the board's calibration offset added.
std::optional<Reading> recogniseReply(LinkState &state, const uint8_t *bytes, int count, LinkView &view,
                                      qint64 timeMs = 0, int32_t offsetHundredths = 0);
