#include "reply_recognition.h"

#include "link/link_state.h"
#include "link/link_view.h"
#include "protocol/calibration.h"
#include "protocol/temperature_reply.h"
#include "protocol/temperature_text.h"

std::optional<Reading> recogniseReply(LinkState &state, const uint8_t *bytes, int count, LinkView &view,
                                      qint64 timeMs, int32_t offsetHundredths)
{
    const std::optional<TemperatureReply::Parsed> reply = TemperatureReply::parse(bytes, count);
    if (!reply)
        return std::nullopt;

    view.setForeColour(Label::LTemp, Colours::Black);
    view.setForeColour(Label::LGrado, Colours::Black);
    view.setText(TextBox::TTEMP,
                 QString::number(reply->low) + QLatin1Char('-') + QString::number(reply->high));

    // Keep the last temperature on screen rather than show a wrapped or invented one.
    if (!reply->hasReading())
        return std::nullopt;

    const Reading reading = calibrated(Reading::fromRaw(timeMs, reply->raw()), offsetHundredths);
    view.setTemperatureCaption(hundredthsText(reading.hundredths, localeDecimalPoint()));
    state.NByteRicevuti = 0;
    return reading;
}
