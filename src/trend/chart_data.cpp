#include "chart_data.h"

#include "record/reading_history.h"

ChartData chartData(const ReadingHistory &history, qint64 fromMs, qint64 toMs, int width, qint64 gapMs)
{
    ChartData data;
    if (width <= 0 || toMs <= fromMs)
        return data;
    data.columns.resize(size_t(width));
    SpanStatistics &s = data.statistics;
    double sum = 0;
    const qint64 span = toMs - fromMs;
    const qsizetype end = history.lowerBound(toMs);
    for (qsizetype i = history.lowerBound(fromMs); i < end; ++i) {
        const qint64 t = history.timeAt(i);
        const int32_t value = history.hundredthsAt(i);
        ChartColumn &c = data.columns[size_t((t - fromMs) * width / span)];
        if (!c.hasData) {
            c = {value, value, value, value, t, true, i > 0 && t - history.timeAt(i - 1) <= gapMs};
        } else {
            c.min = qMin(c.min, value);
            c.max = qMax(c.max, value);
            c.last = value;
        }
        if (s.count == 0 || value < s.min) {
            s.min = value;
            s.minTime = t;
        }
        if (s.count == 0 || value > s.max) {
            s.max = value;
            s.maxTime = t;
        }
        s.now = value;
        s.nowTime = t;
        sum += value;
        ++s.count;
    }
    if (s.count > 0)
        s.mean = sum / double(s.count);
    return data;
}
