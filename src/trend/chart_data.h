#pragma once

#include <QtCore/QtGlobal>

#include <cstdint>
#include <vector>

class ReadingHistory;

// What the trend chart draws for a span of time: one column per pixel with the lowest, highest, first and
// last reading that falls in it, so that a week of readings costs a few points per column and a spike of
// one reading still shows. Readings further apart than the gap are not joined.
struct ChartColumn
{
    int32_t min = 0;
    int32_t max = 0;
    int32_t first = 0;
    int32_t last = 0;
    qint64 firstTime = 0;
    bool hasData = false;
    // The reading before this column's first is near enough in time to be joined to it by a line.
    bool joinsPrevious = false;
};

struct SpanStatistics
{
    qint64 count = 0;
    int32_t now = 0;
    qint64 nowTime = 0;
    int32_t min = 0;
    qint64 minTime = 0;
    int32_t max = 0;
    qint64 maxTime = 0;
    double mean = 0;
};

struct ChartData
{
    std::vector<ChartColumn> columns;
    SpanStatistics statistics;
};

// The readings from `fromMs` up to but not including `toMs`, in `width` columns.
ChartData chartData(const ReadingHistory &history, qint64 fromMs, qint64 toMs, int width, qint64 gapMs);
