#include "reading_history.h"

#include "record/recorded_files.h"

#include <QtCore/QDateTime>
#include <QtCore/QFileInfo>

#include <algorithm>
#include <limits>

ReadingHistory::ReadingHistory() = default;
ReadingHistory::~ReadingHistory() = default;

void ReadingHistory::add(const Reading &reading)
{
    const std::optional<StoredTemperature> temperature =
        StoredTemperature::of(reading.raw(), reading.hundredths);
    if (!temperature)
        return;
    insert(reading.timeMs, *temperature);
    if (size() - m_loaded > SessionLimit)
        dropOldestOfSession();
}

ReadingHistory::LoadReport ReadingHistory::loadRecorded(const QString &folder, const QString &portName)
{
    RecordedFiles files(folder, portName, QDateTime::currentMSecsSinceEpoch(), size());
    files.read(std::numeric_limits<qint64>::max());
    merge(std::move(files.times()), std::move(files.temperatures()), std::move(files.summaries()));
    setRecordedFiles(folder, portName);
    return files.report();
}

void ReadingHistory::merge(std::vector<qint64> &&times, std::vector<StoredTemperature> &&temperatures,
                           ReadingSummaries &&summaries, MinuteSummaries &&olderMinutes)
{
    m_older = std::move(olderMinutes);
    // From the newest down into the room at the end of the files' readings, which the files' storage was
    // allocated with: this session's readings are mostly the newest, so little moves.
    const size_t end = times.size() + m_times.size();
    size_t theirs = times.size();
    size_t mine = m_times.size();
    size_t at = end;
    times.resize(end);
    temperatures.resize(end);
    const auto put = [&](qint64 t, StoredTemperature temperature) {
        if (at < end && times[at] == t && temperatures[at] == temperature)
            return; // the same reading as the one after it
        --at;
        times[at] = t;
        temperatures[at] = temperature;
    };
    while (mine > 0) {
        if (theirs > 0 && times[theirs - 1] >= m_times[mine - 1]) {
            --theirs;
            put(times[theirs], temperatures[theirs]);
        } else {
            --mine;
            put(m_times[mine], m_temperatures[mine]);
        }
    }
    // Close the room left by readings that were here and in the files as well.
    times.erase(times.begin() + qsizetype(theirs), times.begin() + qsizetype(at));
    temperatures.erase(temperatures.begin() + qsizetype(theirs), temperatures.begin() + qsizetype(at));
    m_times = std::move(times);
    m_temperatures = std::move(temperatures);
    m_summaries = std::move(summaries);
    m_summaries.update(m_temperatures, qsizetype(theirs));
    m_loaded = size();
}

void ReadingHistory::clear()
{
    m_times = {};
    m_temperatures = {};
    m_summaries.clear();
    m_loaded = 0;
    m_older.clear();
    m_folder.clear();
    m_portName.clear();
}

void ReadingHistory::setRecordedFiles(const QString &folder, const QString &portName)
{
    m_folder = folder;
    m_portName = portName;
}

qsizetype ReadingHistory::size() const
{
    return qsizetype(m_times.size());
}

qint64 ReadingHistory::timeAt(qsizetype index) const
{
    return m_times[size_t(index)];
}

int16_t ReadingHistory::rawAt(qsizetype index) const
{
    return m_temperatures[size_t(index)].raw;
}

int32_t ReadingHistory::hundredthsAt(qsizetype index) const
{
    return m_temperatures[size_t(index)].hundredths();
}

Reading ReadingHistory::readingAt(qsizetype index) const
{
    Reading reading = Reading::fromRaw(timeAt(index), rawAt(index));
    reading.hundredths = hundredthsAt(index);
    return reading;
}

qsizetype ReadingHistory::lowerBound(qint64 timeMs) const
{
    return qsizetype(std::lower_bound(m_times.begin(), m_times.end(), timeMs) - m_times.begin());
}

ReadingSummaries::Summary ReadingHistory::summary(qsizetype from, qsizetype to) const
{
    return m_summaries.summary(m_temperatures, from, to);
}

qint64 ReadingHistory::usualIntervalMs() const
{
    constexpr size_t Window = 64;
    std::vector<qint64> intervals;
    for (size_t i = m_times.size(); i > 1 && intervals.size() < Window; --i)
        intervals.push_back(m_times[i - 1] - m_times[i - 2]);
    if (intervals.empty())
        return 1000;
    const auto middle = intervals.begin() + qsizetype(intervals.size() / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    return std::max<qint64>(*middle, 1);
}

void ReadingHistory::insert(qint64 timeMs, StoredTemperature temperature)
{
    // Readings arrive in time order unless the clock was set back.
    auto at = m_times.end();
    if (!m_times.empty() && m_times.back() > timeMs)
        at = std::upper_bound(m_times.begin(), m_times.end(), timeMs);
    const auto index = at - m_times.begin();
    if (index > 0 && m_times[size_t(index - 1)] == timeMs && m_temperatures[size_t(index - 1)] == temperature)
        return;
    m_times.insert(at, timeMs);
    m_temperatures.insert(m_temperatures.begin() + index, temperature);
    m_summaries.update(m_temperatures, index);
}

void ReadingHistory::dropOldestOfSession()
{
    // An eighth of the limit at a time, so that dropping costs little per reading.
    const auto from = m_times.begin() + m_loaded;
    m_times.erase(from, from + SessionLimit / 8);
    m_temperatures.erase(m_temperatures.begin() + m_loaded,
                         m_temperatures.begin() + m_loaded + SessionLimit / 8);
    m_summaries.update(m_temperatures, m_loaded);
}

const MinuteSummaries &ReadingHistory::olderMinutes() const
{
    return m_older;
}

SpanSummary ReadingHistory::spanSummary(qint64 fromMs, qint64 toMs) const
{
    SpanSummary s = m_older.summary(fromMs, toMs);
    const qsizetype begin = lowerBound(fromMs);
    const qsizetype end = lowerBound(toMs);
    if (end > begin) {
        const ReadingSummaries::Summary r = summary(begin, end);
        s.add({r.count, r.sum, r.min, timeAt(r.minAt), r.max, timeAt(r.maxAt), hundredthsAt(begin),
               timeAt(begin), hundredthsAt(end - 1), timeAt(end - 1)});
    }
    return s;
}

std::optional<qint64> ReadingHistory::timeBefore(qint64 timeMs) const
{
    std::optional<qint64> before = m_older.timeBefore(timeMs);
    const qsizetype at = lowerBound(timeMs);
    if (at > 0 && (!before || timeAt(at - 1) > *before))
        before = timeAt(at - 1);
    return before;
}

bool ReadingHistory::isFineFor(qint64 fromMs, qint64 toMs, qint64 resolutionMs) const
{
    // A minute that starts before the span may hold readings in it.
    return resolutionMs >= MinuteSummaries::MinuteMs ||
           !m_older.anyIn(fromMs - MinuteSummaries::MinuteMs + 1, toMs);
}

const ReadingHistory &ReadingHistory::fineFor(qint64 fromMs, qint64 toMs, qint64 resolutionMs,
                                              std::unique_ptr<ReadingHistory> &holder) const
{
    if (isFineFor(fromMs, toMs, resolutionMs) || m_folder.isEmpty())
        return *this;
    const auto heldIn = [this](qint64 from, qint64 to) { return lowerBound(to) - lowerBound(from); };
    if (holder && holder->m_spanFrom <= fromMs && toMs <= holder->m_spanTo &&
        holder->m_spanOf == heldIn(holder->m_spanFrom, holder->m_spanTo))
        return *holder;
    // A day's file may hold the first readings of the next, or the last of the day before, near midnight
    // or across a change of the clocks.
    const QDate first = QDateTime::fromMSecsSinceEpoch(fromMs).date().addDays(-1);
    const QDate last = QDateTime::fromMSecsSinceEpoch(toMs - 1).date().addDays(1);
    QStringList paths;
    qint64 bytes = 0;
    for (const QString &path : RecordedFiles::list(m_folder, m_portName)) {
        const QFileInfo info(path);
        const QDate day = QDate::fromString(info.fileName().left(10), QStringLiteral("yyyy-MM-dd"));
        if (day >= first && day <= last) {
            paths << path;
            bytes += info.size();
        }
    }
    if (bytes > LargestSpanBytes)
        return *this;
    auto fine = std::make_unique<ReadingHistory>();
    RecordedFiles files(paths, QDateTime::currentMSecsSinceEpoch(), 0);
    files.read(std::numeric_limits<qint64>::max());
    fine->merge(std::move(files.times()), std::move(files.temperatures()), std::move(files.summaries()));
    // This session's readings, and the newer days', where they fall in the span; each is kept once.
    for (qsizetype i = lowerBound(fromMs), end = lowerBound(toMs); i < end; ++i)
        fine->add(readingAt(i));
    fine->m_spanFrom = fromMs;
    fine->m_spanTo = toMs;
    fine->m_spanOf = heldIn(fromMs, toMs);
    holder = std::move(fine);
    return *holder;
}
