#include "temperature_text.h"

#include <QtCore/QLocale>

QString temperatureText(int16_t raw, const QString &decimalPoint)
{
    // One raw step is 500/1024 = 125/256 of a degree, so hundredths are raw * 3125 / 64.
    // Every value is exact in binary, and exact ties round up, as the board's readers expect
    // (raw 32 is 15.625 and shows as 15.63); printf-style formatting would round them to even.
    const int32_t hundredths = (int32_t(raw) * 3125 + 32) / 64;
    const int32_t fraction = hundredths % 100;
    return QString::number(hundredths / 100) + decimalPoint + QLatin1Char(char('0' + fraction / 10)) +
           QLatin1Char(char('0' + fraction % 10));
}

QString localeDecimalPoint()
{
    return QLocale::system().decimalPoint();
}
