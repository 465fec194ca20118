#include "span_summary.h"

void SpanSummary::add(const SpanSummary &other)
{
    if (other.count == 0)
        return;
    if (count == 0) {
        *this = other;
        return;
    }
    if (other.min < min || (other.min == min && other.minTime < minTime)) {
        min = other.min;
        minTime = other.minTime;
    }
    if (other.max > max || (other.max == max && other.maxTime < maxTime)) {
        max = other.max;
        maxTime = other.maxTime;
    }
    if (other.firstTime < firstTime) {
        first = other.first;
        firstTime = other.firstTime;
    }
    if (other.lastTime >= lastTime) {
        last = other.last;
        lastTime = other.lastTime;
    }
    count += other.count;
    sum += other.sum;
}

double SpanSummary::mean() const
{
    return count > 0 ? double(sum) / double(count) : 0.0;
}
