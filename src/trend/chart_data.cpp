#include "chart_data.h"

#include "record/reading_history.h"

ChartData chartData(const ReadingHistory &history, qint64 fromMs, qint64 toMs, int width, qint64 gapMs)
{
    ChartData data;
    if (width <= 0 || toMs <= fromMs)
        return data;
    data.columns.resize(size_t(width));
    SpanStatistics &s = data.statistics;
    qint64 sum = 0;
    const qint64 span = toMs - fromMs;
    qsizetype begin = history.lowerBound(fromMs);
    const qsizetype end = history.lowerBound(toMs);
    for (int x = 0; x < width && begin < end; ++x) {
        // Column x holds the times t with (t - from) * width / span == x.
        const qint64 next = fromMs + (qint64(x + 1) * span + width - 1) / width;
        const qsizetype stop = qMin(end, history.lowerBound(next));
        if (stop == begin)
            continue;
        const ReadingSummaries::Summary readings = history.summary(begin, stop);
        const qint64 t = history.timeAt(begin);
        data.columns[size_t(x)] = {readings.min,
                                   readings.max,
                                   history.hundredthsAt(begin),
                                   history.hundredthsAt(stop - 1),
                                   t,
                                   true,
                                   begin > 0 && t - history.timeAt(begin - 1) <= gapMs};
        if (s.count == 0 || readings.min < s.min) {
            s.min = readings.min;
            s.minTime = history.timeAt(readings.minAt);
        }
        if (s.count == 0 || readings.max > s.max) {
            s.max = readings.max;
            s.maxTime = history.timeAt(readings.maxAt);
        }
        sum += readings.sum;
        s.count += readings.count;
        begin = stop;
    }
    if (s.count > 0) {
        s.now = history.hundredthsAt(end - 1);
        s.nowTime = history.timeAt(end - 1);
        s.mean = double(sum) / double(s.count);
    }
    return data;
}
