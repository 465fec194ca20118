#include "temperature_reply.h"

#include "link/link_state.h"
#include "link/link_view.h"
#include "protocol/temperature_text.h"

bool TemperatureReply::isReply(const uint8_t *bytes, int count)
{
    return count == Length && bytes[0] == StartByte && bytes[TerminatorOffset] == Terminator;
}

void recogniseReply(LinkState &state, const uint8_t *bytes, int count, LinkView &view)
{
    using namespace TemperatureReply;
    if (!isReply(bytes, count))
        return;

    const uint8_t low = bytes[LowOffset];
    const uint8_t high = bytes[HighOffset];
    view.setForeColour(Label::LTemp, Colours::Black);
    view.setForeColour(Label::LGrado, Colours::Black);
    view.setText(TextBox::TTEMP, QString::number(low) + QLatin1Char('-') + QString::number(high));

    // A high byte of 0x80 or more is no reading the board can make: keep the last temperature
    // on screen rather than show a wrapped or invented one.
    if (high > LargestHighByte)
        return;

    const auto raw = int16_t(high * 256 + low);
    view.setTemperatureCaption(temperatureText(raw, localeDecimalPoint()));
    state.NByteRicevuti = 0;
}
