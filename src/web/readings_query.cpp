#include "readings_query.h"

#include "protocol/reading_csv.h"
#include "protocol/temperature_text.h"
#include "record/reading_history.h"

#include <QtCore/QDateTime>
#include <QtCore/QRegularExpression>
#include <QtCore/QUrlQuery>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {
// Past any recorded time, and within what milliseconds since the epoch can hold.
constexpr double LatestSeconds = 1e13;

std::optional<qint64> parseTime(const QString &text)
{
    static const QRegularExpression seconds(QStringLiteral("^-?\\d{1,14}(\\.\\d{1,3})?$"));
    if (seconds.match(text).hasMatch()) {
        const double value = text.toDouble();
        if (std::abs(value) > LatestSeconds)
            return std::nullopt;
        return qint64(std::llround(value * 1000));
    }
    const QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    return time.toMSecsSinceEpoch();
}

QByteArray celsius(int32_t hundredths)
{
    return hundredthsText(hundredths, QStringLiteral(".")).toLatin1();
}

QByteArray localTime(qint64 ms)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1();
}

// The readings the query covers, from the history that holds them finely enough, and whether they go out
// as intervals.
struct Span
{
    qint64 fromMs = 0;
    qint64 toMs = 0;
    qint64 count = 0;
    qint64 intervalMs = 0; // 0: the readings themselves
    std::unique_ptr<ReadingHistory> fine;
    const ReadingHistory *readings = nullptr;

    Span(const ReadingHistory &history, const ReadingsQuery &query) : readings(&history)
    {
        const SpanSummary all = history.spanSummary(query.fromMs, query.toMs);
        if (all.count == 0)
            return;
        // An open end is where the readings end, so that intervals cover only what there is.
        fromMs = std::max(query.fromMs, all.firstTime);
        toMs = std::min(query.toMs, all.lastTime + 1);
        count = all.count;
        if (count > query.points)
            intervalMs = (toMs - fromMs + query.points - 1) / query.points;
        readings = &history.fineFor(fromMs, toMs, intervalMs, fine);
        // Files too large to read again: the older days go out as their minutes.
        if (!readings->isFineFor(fromMs, toMs, intervalMs))
            intervalMs = MinuteSummaries::MinuteMs;
    }
    qsizetype begin() const
    {
        return readings->lowerBound(fromMs);
    }
    qsizetype end() const
    {
        return readings->lowerBound(toMs);
    }
};

template <typename Each> void forEachInterval(const Span &span, Each each)
{
    for (qint64 from = span.fromMs; from < span.toMs; from += span.intervalMs) {
        const qint64 to = std::min(from + span.intervalMs, span.toMs);
        const SpanSummary summary = span.readings->spanSummary(from, to);
        if (summary.count > 0)
            each(from, to, summary);
    }
}

QByteArray mean(const SpanSummary &summary)
{
    return QByteArray::number(summary.mean() / 100.0, 'f', 2);
}
} // namespace

std::optional<ReadingsQuery> ReadingsQuery::parse(const QUrlQuery &query, QString &error)
{
    ReadingsQuery parsed;
    for (const char *name : {"from", "to"}) {
        const QString key = QString::fromLatin1(name);
        if (!query.hasQueryItem(key))
            continue;
        const std::optional<qint64> time = parseTime(query.queryItemValue(key, QUrl::FullyDecoded));
        if (!time) {
            error = key + QStringLiteral(" is neither an ISO 8601 time nor Unix seconds");
            return std::nullopt;
        }
        (key == QLatin1String("from") ? parsed.fromMs : parsed.toMs) = *time;
    }
    if (query.hasQueryItem(QStringLiteral("points"))) {
        bool ok = false;
        parsed.points = query.queryItemValue(QStringLiteral("points")).toInt(&ok);
        if (!ok || parsed.points < 1 || parsed.points > MostPoints) {
            error = QStringLiteral("points is a whole number from 1 to %1").arg(MostPoints);
            return std::nullopt;
        }
    }
    const QString format = query.queryItemValue(QStringLiteral("format"));
    if (!format.isEmpty() && format != QLatin1String("json") && format != QLatin1String("csv")) {
        error = QStringLiteral("format is json or csv");
        return std::nullopt;
    }
    parsed.csv = format == QLatin1String("csv");
    if (parsed.fromMs > parsed.toMs) {
        error = QStringLiteral("from is after to");
        return std::nullopt;
    }
    return parsed;
}

QByteArray ReadingsQuery::json(const ReadingHistory &history) const
{
    const Span span(history, *this);
    QByteArray out = "{\"from\":" + QByteArray::number(span.fromMs) +
                     ",\"to\":" + QByteArray::number(span.toMs) +
                     ",\"count\":" + QByteArray::number(span.count) +
                     ",\"gap_ms\":" + QByteArray::number(GapIntervals * history.usualIntervalMs());
    if (span.intervalMs == 0) {
        out += ",\"readings\":[";
        const ReadingHistory &readings = *span.readings;
        const qsizetype begin = span.begin();
        for (qsizetype i = begin, end = span.end(); i < end; ++i) {
            out += (i == begin ? "{\"t\":" : ",{\"t\":") + QByteArray::number(readings.timeAt(i)) +
                   ",\"c\":" + celsius(readings.hundredthsAt(i)) + '}';
        }
        return out + "]}";
    }
    out += ",\"intervals\":[";
    bool first = true;
    forEachInterval(span, [&](qint64 from, qint64 to, const SpanSummary &summary) {
        out += (first ? "{\"from\":" : ",{\"from\":") + QByteArray::number(from) +
               ",\"to\":" + QByteArray::number(to) + ",\"min\":" + celsius(summary.min) +
               ",\"max\":" + celsius(summary.max) + ",\"mean\":" + mean(summary) +
               ",\"count\":" + QByteArray::number(summary.count) + '}';
        first = false;
    });
    return out + "]}";
}

QByteArray ReadingsQuery::csvText(const ReadingHistory &history) const
{
    const Span span(history, *this);
    if (span.intervalMs == 0) {
        QByteArray out = ReadingCsv::Header;
        for (qsizetype i = span.begin(), end = span.end(); i < end; ++i)
            out += ReadingCsv::line(span.readings->readingAt(i));
        return out;
    }
    QByteArray out = "from,to,min,max,mean,count\n";
    forEachInterval(span, [&](qint64 from, qint64 to, const SpanSummary &summary) {
        out += localTime(from) + ',' + localTime(to) + ',' + celsius(summary.min) + ',' +
               celsius(summary.max) + ',' + mean(summary) + ',' + QByteArray::number(summary.count) + '\n';
    });
    return out;
}
