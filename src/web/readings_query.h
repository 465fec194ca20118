#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <limits>
#include <optional>

class QUrlQuery;
class ReadingHistory;

// What /api/readings is asked: from=T&to=T&points=N&format=csv, T in ISO 8601 or Unix seconds. A span of
// more readings than `points` is answered in at most `points` intervals of equal time, each with its
// lowest, highest and mean, so that a year answers as fast and as small as an hour.
struct ReadingsQuery
{
    static constexpr int DefaultPoints = 1000;
    static constexpr int MostPoints = 10000;
    // As the trend joins readings: no further apart than this many of the board's usual intervals.
    static constexpr int GapIntervals = 5;

    qint64 fromMs = std::numeric_limits<qint64>::min();
    qint64 toMs = std::numeric_limits<qint64>::max();
    int points = DefaultPoints;
    bool csv = false;

    // Nothing and a one-line reason in `error` for a parameter that cannot be read.
    static std::optional<ReadingsQuery> parse(const QUrlQuery &query, QString &error);

    // {"from":ms,"to":ms,"count":N,"gap_ms":ms,"readings":[{"t":ms,"c":21.37},...]}, or "intervals":
    // [{"from":ms,"to":ms,"min":..,"max":..,"mean":..,"count":N},...] in place of "readings".
    QByteArray json(const ReadingHistory &history) const;
    // The readings as the recording writes them or, for intervals, from,to,min,max,mean,count a line.
    QByteArray csvText(const ReadingHistory &history) const;
};
