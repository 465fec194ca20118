#pragma once

#include <QtCore/QtGlobal>

#include <cstdint>

// What a chart column or an interval tells of a run of readings: how many, their sum, and the lowest,
// highest, first and last with their times, in hundredths of a degree.
struct SpanSummary
{
    qint64 count = 0;
    qint64 sum = 0;
    int32_t min = 0;
    qint64 minTime = 0; // the earliest reading with the lowest temperature
    int32_t max = 0;
    qint64 maxTime = 0;
    int32_t first = 0;
    qint64 firstTime = 0;
    int32_t last = 0;
    qint64 lastTime = 0;

    // Takes in another run, earlier or later than this one.
    void add(const SpanSummary &other);
    double mean() const;
};
