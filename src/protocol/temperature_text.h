#pragma once

#include <QtCore/QString>

#include <cstdint>

// The temperature as the "0.00" pattern shows it: at least one integer digit, two decimals
// rounded half away from zero, ASCII digits, no grouping, the given decimal separator.
QString temperatureText(int16_t raw, const QString &decimalPoint);

// The separator of the user's locale.
QString localeDecimalPoint();
