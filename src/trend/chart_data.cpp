#include "chart_data.h"

#include "record/reading_history.h"

ChartData chartData(const ReadingHistory &history, qint64 fromMs, qint64 toMs, int width, qint64 gapMs)
{
    ChartData data;
    if (width <= 0 || toMs <= fromMs)
        return data;
    data.columns.resize(size_t(width));
    const qint64 span = toMs - fromMs;
    SpanSummary all;
    qint64 columnFrom = fromMs;
    for (int x = 0; x < width; ++x) {
        // Column x holds the times t with (t - from) * width / span == x.
        const qint64 next = fromMs + (qint64(x + 1) * span + width - 1) / width;
        const SpanSummary s = history.spanSummary(columnFrom, next);
        columnFrom = next;
        if (s.count == 0)
            continue;
        const std::optional<qint64> before = history.timeBefore(s.firstTime);
        data.columns[size_t(x)] = {
            s.min, s.max, s.first, s.last, s.firstTime, true, before && s.firstTime - *before <= gapMs};
        all.add(s);
    }
    SpanStatistics &statistics = data.statistics;
    if (all.count > 0)
        statistics = {all.count,   all.last, all.lastTime, all.min,
                      all.minTime, all.max,  all.maxTime,  all.mean()};
    return data;
}
