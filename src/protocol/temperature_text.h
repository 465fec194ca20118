#pragma once

#include <QtCore/QString>

#include <cstdint>

// One raw step is 500/1024 of a degree; the temperature in hundredths, rounded half away from zero.
int32_t temperatureHundredths(int16_t raw);

// A temperature in hundredths as the "0.00" pattern shows it: at least one integer digit, two decimals,
// ASCII digits, no grouping, the given decimal separator.
QString hundredthsText(int32_t hundredths, const QString &decimalPoint);

// The temperature of a raw reading, as above.
QString temperatureText(int16_t raw, const QString &decimalPoint);

// The separator of the user's locale.
QString localeDecimalPoint();
