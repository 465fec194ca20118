#include "time_axis.h"

#include <QtCore/QDateTime>
#include <QtCore/QLocale>

#include <array>

namespace {
using Unit = TimeAxis::Step::Unit;

constexpr qint64 Second = 1000;
constexpr qint64 Minute = 60 * Second;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;

constexpr std::array<TimeAxis::Step, 29> Steps{{
    {Unit::Milliseconds, Second},
    {Unit::Milliseconds, 2 * Second},
    {Unit::Milliseconds, 5 * Second},
    {Unit::Milliseconds, 10 * Second},
    {Unit::Milliseconds, 15 * Second},
    {Unit::Milliseconds, 30 * Second},
    {Unit::Milliseconds, Minute},
    {Unit::Milliseconds, 2 * Minute},
    {Unit::Milliseconds, 5 * Minute},
    {Unit::Milliseconds, 10 * Minute},
    {Unit::Milliseconds, 15 * Minute},
    {Unit::Milliseconds, 30 * Minute},
    {Unit::Milliseconds, Hour},
    {Unit::Milliseconds, 2 * Hour},
    {Unit::Milliseconds, 3 * Hour},
    {Unit::Milliseconds, 6 * Hour},
    {Unit::Milliseconds, 12 * Hour},
    {Unit::Days, 1},
    {Unit::Days, 2},
    {Unit::Days, 7},
    {Unit::Days, 14},
    {Unit::Months, 1},
    {Unit::Months, 2},
    {Unit::Months, 3},
    {Unit::Months, 6},
    {Unit::Years, 1},
    {Unit::Years, 2},
    {Unit::Years, 5},
    {Unit::Years, 10},
}};

// The least time between two ticks of a step: a day can be 23 hours, a month 28 days.
double shortestMs(const TimeAxis::Step &step)
{
    switch (step.unit) {
    case Unit::Milliseconds:
        return double(step.count);
    case Unit::Days:
        return double(step.count) * 23 * Hour;
    case Unit::Months:
        return double(step.count) * 28 * Day;
    case Unit::Years:
        return double(step.count) * 365 * Day;
    }
    return double(step.count);
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

qint64 floorMod(qint64 a, qint64 b)
{
    return a - floorDiv(a, b) * b;
}

// The first calendar date at or after `from`'s local date that the step's count divides.
QDate firstDate(const QDate &from, const TimeAxis::Step &step)
{
    switch (step.unit) {
    case Unit::Days: // Julian day 0 was a Monday, so weeks start on Mondays.
        return from.addDays(floorMod(-from.toJulianDay(), step.count));
    case Unit::Months: {
        const QDate first(from.year(), from.month(), 1);
        return first.addMonths(int(floorMod(-(from.month() - 1), step.count)));
    }
    case Unit::Years:
        return QDate(from.year(), 1, 1).addYears(int(floorMod(-from.year(), step.count)));
    case Unit::Milliseconds:
        break;
    }
    return from;
}

QDate nextDate(const QDate &date, const TimeAxis::Step &step)
{
    switch (step.unit) {
    case Unit::Days:
        return date.addDays(step.count);
    case Unit::Months:
        return date.addMonths(int(step.count));
    case Unit::Years:
        return date.addYears(int(step.count));
    case Unit::Milliseconds:
        break;
    }
    return date;
}
} // namespace

TimeAxis::Step TimeAxis::step(qint64 spanMs, int width, int spacing)
{
    const double pixelsPerMs = double(qMax(1, width)) / double(qMax<qint64>(1, spanMs));
    for (const Step &step : Steps) {
        if (shortestMs(step) * pixelsPerMs >= spacing)
            return step;
    }
    // Past ten years: 20, 50, 100, 200, 500 ... years.
    for (qint64 power = 10;; power *= 10) {
        for (qint64 m : {2, 5, 10}) {
            const Step years{Unit::Years, power * m};
            if (shortestMs(years) * pixelsPerMs >= spacing)
                return years;
        }
    }
}

std::vector<qint64> TimeAxis::ticks(qint64 fromMs, qint64 toMs, const Step &step)
{
    std::vector<qint64> ticks;
    if (toMs <= fromMs)
        return ticks;
    if (step.unit == Unit::Milliseconds) {
        // On round times of the local clock: its offset from UTC at the start of the span.
        const qint64 offset = qint64(QDateTime::fromMSecsSinceEpoch(fromMs).offsetFromUtc()) * Second;
        for (qint64 t = -floorDiv(-(fromMs + offset), step.count) * step.count - offset; t < toMs;
             t += step.count)
            ticks.push_back(t);
        return ticks;
    }
    QDate date = QDateTime::fromMSecsSinceEpoch(fromMs).date();
    for (date = firstDate(date, step); date.isValid(); date = nextDate(date, step)) {
        const qint64 t = date.startOfDay().toMSecsSinceEpoch();
        if (t >= toMs)
            break;
        if (t >= fromMs)
            ticks.push_back(t);
    }
    return ticks;
}

QString TimeAxis::label(qint64 timeMs, const Step &step, qint64 spanMs)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(timeMs);
    const QLocale locale;
    switch (step.unit) {
    case Unit::Years:
        return locale.toString(local, QStringLiteral("yyyy"));
    case Unit::Months:
        return locale.toString(local, QStringLiteral("MMM yyyy"));
    case Unit::Days:
        return locale.toString(local, QStringLiteral("ddd d MMM"));
    case Unit::Milliseconds:
        break;
    }
    if (spanMs > Day)
        return locale.toString(local, QStringLiteral("ddd HH:mm"));
    return locale.toString(local, step.count < Minute ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}
