#include "temperature_text.h"

#include <QtCore/QLocale>

int32_t temperatureHundredths(int16_t raw)
{
    // One raw step is 500/1024 = 125/256 of a degree, so hundredths are raw * 3125 / 64.
    // Every value is exact in binary, and exact ties round up, as the board's readers expect
    // (raw 32 is 15.625 and shows as 15.63); printf-style formatting would round them to even.
    return (int32_t(raw) * 3125 + 32) / 64;
}

QString hundredthsText(int32_t hundredths, const QString &decimalPoint)
{
    const QString sign = hundredths < 0 ? QStringLiteral("-") : QString();
    const int32_t magnitude = hundredths < 0 ? -hundredths : hundredths;
    const int32_t fraction = magnitude % 100;
    return sign + QString::number(magnitude / 100) + decimalPoint + QLatin1Char(char('0' + fraction / 10)) +
           QLatin1Char(char('0' + fraction % 10));
}

QString temperatureText(int16_t raw, const QString &decimalPoint)
{
    return hundredthsText(temperatureHundredths(raw), decimalPoint);
}

QString localeDecimalPoint()
{
    return QLocale::system().decimalPoint();
}
