#include "reading_influx.h"

#include "protocol/reading.h"
#include "protocol/temperature_text.h"

QString ReadingInflux::portTag(const QString &portName)
{
    return portName.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
}

QByteArray ReadingInflux::escapedTag(const QString &value)
{
    const QByteArray text = value.toUtf8();
    QByteArray escaped;
    escaped.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r' || (c == '\\' && i == text.size() - 1)) {
            escaped += '_';
            continue;
        }
        if (c == ',' || c == '=' || c == ' ')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

QByteArray ReadingInflux::line(const Reading &reading, const QString &portName)
{
    QByteArray out = Measurement;
    const QString port = portTag(portName);
    if (!port.isEmpty())
        out += ",port=" + escapedTag(port);
    out += " celsius=" + hundredthsText(reading.hundredths, QStringLiteral(".")).toLatin1();
    out += ",low=" + QByteArray::number(reading.low) + "i,high=" + QByteArray::number(reading.high) + 'i';
    out += ' ' + QByteArray::number(reading.timeMs * 1000000) + '\n';
    return out;
}
