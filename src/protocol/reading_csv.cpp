#include "reading_csv.h"

#include "protocol/calibration.h"
#include "protocol/local_time.h"
#include "protocol/reading.h"
#include "protocol/temperature_text.h"

#include <QtCore/QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {
int dayOf(const std::tm &fields)
{
    return (fields.tm_year + 1900) * 10000 + (fields.tm_mon + 1) * 100 + fields.tm_mday;
}

// Days from 1970-01-01 to a proleptic Gregorian date.
qint64 daysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return qint64(era) * 146097 + dayOfEra - 719468;
}

// The lines of a day's file share their date: a year of them is read with one reckoning a day.
qint64 daysOfLine(int year, int month, int day)
{
    thread_local int lastYear = 0, lastMonth = 0, lastDay = 0;
    thread_local qint64 lastDays = 0;
    if (day != lastDay || month != lastMonth || year != lastYear) {
        lastDays = daysFromCivil(year, month, day);
        lastYear = year;
        lastMonth = month;
        lastDay = day;
    }
    return lastDays;
}

// Reads exactly `count` digits.
bool digits(const char *&at, const char *end, int count, int &value)
{
    if (end - at < count)
        return false;
    value = 0;
    for (int i = 0; i < count; ++i, ++at) {
        if (*at < '0' || *at > '9')
            return false;
        value = value * 10 + (*at - '0');
    }
    return true;
}

bool expect(const char *&at, const char *end, char c)
{
    if (at == end || *at != c)
        return false;
    ++at;
    return true;
}

// One to `most` digits, up to the next separator or the end.
bool number(const char *&at, const char *end, int most, int &value)
{
    const char *start = at;
    value = 0;
    while (at != end && *at >= '0' && *at <= '9' && at - start < most)
        value = value * 10 + (*at++ - '0');
    return at != start;
}
} // namespace

int ReadingCsv::localDay(qint64 timeMs)
{
    return dayOf(localTime(timeMs).fields);
}

int ReadingCsv::formatLine(const Reading &reading, char (&out)[LineCapacity], int &day)
{
    const LocalTime local = localTime(reading.timeMs);
    const std::tm &f = local.fields;
    day = dayOf(f);
    const long offsetMinutes = local.utcOffsetSeconds / 60;
    const long offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    const int32_t h = reading.hundredths;
    const int32_t magnitude = h < 0 ? -h : h;
    const int n = std::snprintf(
        out, LineCapacity, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld,%s%d.%02d,%u,%u\n",
        f.tm_year + 1900, f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec, local.milliseconds,
        offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60, h < 0 ? "-" : "", int(magnitude / 100),
        int(magnitude % 100), unsigned(reading.low), unsigned(reading.high));
    return n < LineCapacity ? n : LineCapacity - 1;
}

QByteArray ReadingCsv::line(const Reading &reading)
{
    char out[LineCapacity];
    int day = 0;
    const int n = formatLine(reading, out, day);
    return QByteArray(out, n);
}

QByteArray ReadingCsv::jsonLine(const Reading &reading)
{
    const QList<QByteArray> fields = line(reading).trimmed().split(',');
    return "{\"time\":\"" + fields[0] + "\",\"celsius\":" + fields[1] + ",\"low\":" + fields[2] +
           ",\"high\":" + fields[3] + "}\n";
}

std::optional<ReadingCsv::Row> ReadingCsv::parseLine(const char *begin, const char *end)
{
    if (end != begin && end[-1] == '\r')
        --end;
    const char *at = begin;
    int year, month, day, hour, minute, second, millis, offsetHours, offsetMinutes;
    if (!digits(at, end, 4, year) || !expect(at, end, '-') || !digits(at, end, 2, month) ||
        !expect(at, end, '-') || !digits(at, end, 2, day) || !expect(at, end, 'T') ||
        !digits(at, end, 2, hour) || !expect(at, end, ':') || !digits(at, end, 2, minute) ||
        !expect(at, end, ':') || !digits(at, end, 2, second) || !expect(at, end, '.') ||
        !digits(at, end, 3, millis) || at == end)
        return std::nullopt;
    const char sign = *at++;
    if ((sign != '+' && sign != '-') || !digits(at, end, 2, offsetHours) || !expect(at, end, ':') ||
        !digits(at, end, 2, offsetMinutes) || !expect(at, end, ','))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
        offsetHours > 18 || offsetMinutes > 59)
        return std::nullopt;

    const bool negative = at != end && *at == '-';
    at += negative ? 1 : 0;
    int whole, fraction, low, high;
    if (!number(at, end, 5, whole) || !expect(at, end, '.') || !digits(at, end, 2, fraction) ||
        !expect(at, end, ',') || !number(at, end, 3, low) || !expect(at, end, ',') ||
        !number(at, end, 3, high) || at != end || low > 255 || high > 127)
        return std::nullopt;
    const auto raw = int16_t(high * 256 + low);
    const int32_t hundredths = (negative ? -1 : 1) * (whole * 100 + fraction);
    // The temperature is the one its raw bytes give, calibrated: a line further from them than any offset
    // disagrees with itself, and is damaged.
    if (std::abs(hundredths - temperatureHundredths(raw)) > Calibration::LargestOffset)
        return std::nullopt;

    const int offset = (sign == '-' ? -1 : 1) * (offsetHours * 60 + offsetMinutes);
    const qint64 localMs =
        ((daysOfLine(year, month, day) * 24 + hour) * 60 + minute) * 60000LL + second * 1000LL + millis;
    return Row{localMs - offset * 60000LL, raw, hundredths};
}

QString ReadingCsv::portStem(const QString &portName)
{
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9._-]"));
    QString stem = portName.section(QLatin1Char('/'), -1);
    return stem.replace(other, QStringLiteral("_"));
}

QString ReadingCsv::fileName(int day, const QString &portName)
{
    return QStringLiteral("%1-%2-%3_%4.csv")
        .arg(day / 10000, 4, 10, QLatin1Char('0'))
        .arg(day / 100 % 100, 2, 10, QLatin1Char('0'))
        .arg(day % 100, 2, 10, QLatin1Char('0'))
        .arg(portStem(portName));
}
