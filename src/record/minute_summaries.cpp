#include "minute_summaries.h"

#include <algorithm>
#include <limits>

namespace {
// The minute a time falls in, held within what a minute's number can be, for times as far off as a query
// may ask.
int32_t minuteOf(qint64 timeMs)
{
    qint64 minute = timeMs / MinuteSummaries::MinuteMs;
    if (timeMs % MinuteSummaries::MinuteMs < 0)
        --minute;
    return int32_t(
        std::clamp<qint64>(minute, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

qint64 firstTimeOf(const MinuteSummary &m)
{
    return m.startMs() + m.firstMs;
}

bool earlier(const MinuteSummary &m, int32_t minute)
{
    return m.minute < minute;
}

// One more reading of the minute, as join() would take it, without building its summary: a year's
// readings pass through here once.
void take(MinuteSummary &m, uint16_t ms, int32_t value)
{
    if (value < m.min || (value == m.min && ms < m.minMs)) {
        m.min = value;
        m.minMs = ms;
    }
    if (value > m.max || (value == m.max && ms < m.maxMs)) {
        m.max = value;
        m.maxMs = ms;
    }
    if (ms < m.firstMs) {
        m.first = value;
        m.firstMs = ms;
    }
    if (ms >= m.lastMs) {
        m.last = value;
        m.lastMs = ms;
    }
    ++m.count;
    m.sum += value;
}

void join(MinuteSummary &into, const MinuteSummary &other)
{
    SpanSummary s = into.span();
    s.add(other.span());
    const qint64 start = into.startMs();
    into.count = uint32_t(s.count);
    into.sum = s.sum;
    into.min = s.min;
    into.minMs = uint16_t(s.minTime - start);
    into.max = s.max;
    into.maxMs = uint16_t(s.maxTime - start);
    into.first = s.first;
    into.firstMs = uint16_t(s.firstTime - start);
    into.last = s.last;
    into.lastMs = uint16_t(s.lastTime - start);
}
} // namespace

qint64 MinuteSummary::startMs() const
{
    return qint64(minute) * MinuteSummaries::MinuteMs;
}

SpanSummary MinuteSummary::span() const
{
    const qint64 start = startMs();
    return {count, sum, min, start + minMs, max, start + maxMs, first, start + firstMs, last, start + lastMs};
}

void MinuteSummaries::add(qint64 timeMs, int32_t hundredths)
{
    const int32_t minute = minuteOf(timeMs);
    const auto ms = uint16_t(timeMs - qint64(minute) * MinuteMs);
    // Readings come in time order but for a clock set back.
    auto at = m_minutes.end();
    if (!m_minutes.empty() && m_minutes.back().minute >= minute)
        at = std::lower_bound(m_minutes.begin(), m_minutes.end(), minute, earlier);
    if (at != m_minutes.end() && at->minute == minute)
        take(*at, ms, hundredths);
    else
        m_minutes.insert(
            at, {minute, 1, hundredths, hundredths, hundredths, hundredths, hundredths, ms, ms, ms, ms});
}

void MinuteSummaries::merge(const MinuteSummaries &other)
{
    if (m_minutes.empty() || other.m_minutes.empty() ||
        m_minutes.back().minute < other.m_minutes.front().minute) {
        m_minutes.insert(m_minutes.end(), other.m_minutes.begin(), other.m_minutes.end());
        return;
    }
    std::vector<MinuteSummary> merged;
    merged.reserve(m_minutes.size() + other.m_minutes.size());
    auto mine = m_minutes.cbegin();
    auto theirs = other.m_minutes.cbegin();
    while (mine != m_minutes.cend() || theirs != other.m_minutes.cend()) {
        const bool takeMine =
            theirs == other.m_minutes.cend() || (mine != m_minutes.cend() && mine->minute <= theirs->minute);
        const MinuteSummary &next = takeMine ? *mine++ : *theirs++;
        if (!merged.empty() && merged.back().minute == next.minute)
            join(merged.back(), next);
        else
            merged.push_back(next);
    }
    m_minutes = std::move(merged);
}

void MinuteSummaries::reserve(qsizetype minutes)
{
    m_minutes.reserve(size_t(minutes));
}

void MinuteSummaries::clear()
{
    m_minutes = {};
}

qsizetype MinuteSummaries::size() const
{
    return qsizetype(m_minutes.size());
}

bool MinuteSummaries::isEmpty() const
{
    return m_minutes.empty();
}

const std::vector<MinuteSummary> &MinuteSummaries::minutes() const
{
    return m_minutes;
}

std::vector<MinuteSummary> &MinuteSummaries::minutes()
{
    return m_minutes;
}

std::vector<MinuteSummary>::const_iterator MinuteSummaries::firstFrom(qint64 timeMs) const
{
    // A minute belongs to the span its first reading falls in: a span that starts at a reading has it.
    return std::lower_bound(m_minutes.begin(), m_minutes.end(), timeMs,
                            [](const MinuteSummary &m, qint64 t) { return firstTimeOf(m) < t; });
}

SpanSummary MinuteSummaries::summary(qint64 fromMs, qint64 toMs) const
{
    SpanSummary s;
    for (auto m = firstFrom(fromMs); m != m_minutes.end() && firstTimeOf(*m) < toMs; ++m)
        s.add(m->span());
    return s;
}

bool MinuteSummaries::anyIn(qint64 fromMs, qint64 toMs) const
{
    const auto m = firstFrom(fromMs);
    return m != m_minutes.end() && firstTimeOf(*m) < toMs;
}

std::optional<qint64> MinuteSummaries::timeBefore(qint64 timeMs) const
{
    // The minute the time falls in may hold readings before it, or only after; the one before it holds
    // none after it.
    for (auto m = firstFrom(timeMs); m != m_minutes.begin();) {
        const SpanSummary s = (--m)->span();
        if (s.lastTime < timeMs)
            return s.lastTime;
        if (s.firstTime < timeMs)
            return s.firstTime;
    }
    return std::nullopt;
}

const MinuteSummary *MinuteSummaries::nearest(qint64 timeMs) const
{
    if (m_minutes.empty())
        return nullptr;
    const auto after = std::lower_bound(m_minutes.begin(), m_minutes.end(), minuteOf(timeMs), earlier);
    if (after == m_minutes.end())
        return &m_minutes.back();
    if (after == m_minutes.begin() || after->startMs() - timeMs < timeMs - std::prev(after)->startMs())
        return &*after;
    return &*std::prev(after);
}
