#pragma once

#include "record/span_summary.h"

#include <QtCore/QtGlobal>

#include <cstdint>
#include <optional>
#include <vector>

// The readings of a minute, as the history keeps its older days: 40 bytes a minute however many readings,
// so that a year costs 21 MB and not the 380 of its readings at one a second.
struct MinuteSummary
{
    int32_t minute = 0; // since the epoch
    uint32_t count = 0;
    int32_t min = 0;
    int32_t max = 0;
    int32_t first = 0;
    int32_t last = 0;
    qint64 sum = 0;
    // Milliseconds into the minute.
    uint16_t minMs = 0;
    uint16_t maxMs = 0;
    uint16_t firstMs = 0;
    uint16_t lastMs = 0;

    qint64 startMs() const;
    SpanSummary span() const;
};

// Minute summaries in time order, one per minute that holds readings.
class MinuteSummaries final
{
public:
    static constexpr qint64 MinuteMs = 60000;

    // A reading, in any order; those of a minute already here join it.
    void add(qint64 timeMs, int32_t hundredths);
    // Takes in another's minutes, joining those both have.
    void merge(const MinuteSummaries &other);
    void clear();
    // Room for this many minutes, so that a long history grows without copying what it holds.
    void reserve(qsizetype minutes);

    qsizetype size() const;
    bool isEmpty() const;
    const std::vector<MinuteSummary> &minutes() const;
    std::vector<MinuteSummary> &minutes();
    // The minutes whose first reading is from `fromMs` up to but not including `toMs`.
    SpanSummary summary(qint64 fromMs, qint64 toMs) const;
    bool anyIn(qint64 fromMs, qint64 toMs) const;
    // The time of the latest reading before `timeMs`.
    std::optional<qint64> timeBefore(qint64 timeMs) const;
    // The minute whose start is nearest `timeMs`; nothing when there are none.
    const MinuteSummary *nearest(qint64 timeMs) const;

private:
    std::vector<MinuteSummary>::const_iterator firstFrom(qint64 timeMs) const;

    std::vector<MinuteSummary> m_minutes;
};
