#pragma once

#include <QtCore/QMetaType>
#include <QtCore/QtGlobal>

#include <cstdint>

// One temperature the board reported, as every listener of the link receives it.
struct Reading
{
    qint64 timeMs = 0; // wall-clock time it was recognised, ms since the epoch
    uint8_t low = 0;
    uint8_t high = 0;
    int32_t hundredths = 0; // the temperature in hundredths of a degree

    [[nodiscard]] int16_t raw() const;
    // The reading of raw bytes, taken at timeMs.
    [[nodiscard]] static Reading fromRaw(qint64 timeMs, int16_t raw);

    friend bool operator==(const Reading &, const Reading &) = default;
};

Q_DECLARE_METATYPE(Reading)
