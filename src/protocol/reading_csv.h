#pragma once

#include <QtCore/QString>

#include <cstdint>
#include <optional>

struct Reading;

// The recording's line format: 2026-12-07T11:22:33.456+01:00,21.97,45,0 - local time with milliseconds and
// its UTC offset, the temperature with a "." and two decimals in every locale, the two raw bytes in decimal.
namespace ReadingCsv {
inline constexpr char Header[] = "time,celsius,low,high\n";
inline constexpr int LineCapacity = 64;
// 2026-12-07T11:22:33.456+01:00,0.00,0,0: no line of a reading is shorter.
inline constexpr int ShortestLine = 38;

// The local calendar day of a time, as yyyymmdd.
int localDay(qint64 timeMs);
// Writes the line of a reading, with its line break, into `out`; returns its length. `day` takes the
// reading's local day.
int formatLine(const Reading &reading, char (&out)[LineCapacity], int &day);
QByteArray line(const Reading &reading);
// The same fields as one JSON object on a line: {"time":"...","celsius":21.97,"low":45,"high":0}
QByteArray jsonLine(const Reading &reading);

struct Row
{
    qint64 timeMs = 0;
    int16_t raw = 0;
    int32_t hundredths = 0; // the temperature as recorded, calibrated
};
// One line without its line break; nothing for a line that is not exactly a reading, or whose temperature
// is further from what its raw bytes give than any calibration offset.
std::optional<Row> parseLine(const char *begin, const char *end);

// The port part of a file name: the last path component, every character other than letters, digits,
// ".", "_" and "-" replaced by "_".
QString portStem(const QString &portName);
// YYYY-MM-DD_<port>.csv for a local day.
QString fileName(int day, const QString &portName);
} // namespace ReadingCsv
