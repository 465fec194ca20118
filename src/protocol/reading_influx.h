#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

struct Reading;

// InfluxDB's line protocol, one line a reading, for Telegraf or for a POST to /write?precision=ns:
//   vantro_temperature,port=ttyACM0 celsius=21.97,low=45i,high=0i 1765106553456000000
// The temperature with a "." and two decimals in every locale, the two raw bytes as integers, the time in
// nanoseconds since the epoch.
namespace ReadingInflux {
inline constexpr char Measurement[] = "vantro_temperature";

// The port tag: the last part of the port's path, as the recorded files name it, so that "ttyACM0" and
// "/dev/ttyACM0" are one series; kept as it is otherwise, escaped where the line needs it.
QString portTag(const QString &portName);
// A tag value as the line protocol carries it: a backslash before each comma, equals sign and space. The
// protocol has no escape for a backslash: InfluxDB 1.x and Telegraf read one as itself unless it stands
// before one of those three, and keep "\\" as two. So a backslash is written as it is, except at the end,
// where it would escape the space after the tag and no line can carry it: there it becomes "_", and so does
// each line break, which no line can carry either, as in the recorded files' names.
QByteArray escapedTag(const QString &value);
// The line of a reading, with its line break. A port with no name has no port tag: InfluxDB reads a missing
// tag as an empty one, which the line cannot carry.
QByteArray line(const Reading &reading, const QString &portName);
} // namespace ReadingInflux
