#pragma once

#include <QtCore/QString>

#include <vector>

// The ticks of the trend's time axis, on the local clock's round times: seconds to hours, days at midnight,
// months on their first day, years on the first of January. The step is the shortest at which two labels
// stand at least `spacing` pixels apart however long the span, so there are never more labels than fit.
namespace TimeAxis {
struct Step
{
    enum class Unit
    {
        Milliseconds,
        Days,
        Months,
        Years
    };
    Unit unit = Unit::Milliseconds;
    qint64 count = 1000;

    friend bool operator==(const Step &, const Step &) = default;
};

Step step(qint64 spanMs, int width, int spacing);
// The ticks from `fromMs` up to but not including `toMs`.
std::vector<qint64> ticks(qint64 fromMs, qint64 toMs, const Step &step);
QString label(qint64 timeMs, const Step &step, qint64 spanMs);
} // namespace TimeAxis
