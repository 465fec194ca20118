#include "recorded_files.h"

#include "protocol/reading_csv.h"
#include "record/plausible_time.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QRegularExpression>

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

namespace {
constexpr qint64 PieceBytes = qint64(1) << 18;
// A line longer than any reading is damaged whatever follows; it is handed on cut to this length.
constexpr size_t CarryLimit = ReadingCsv::LineCapacity + 1;
constexpr size_t HeaderLength = sizeof(ReadingCsv::Header) - 2; // without its line break and the nul
// A day taken from its summary costs about what parsing this much of a file does: its read, its digest
// and its minutes joined to the others'.
constexpr qint64 CachedDayCost = qint64(1) << 18;
constexpr qint64 DayMinutes = 25 * 60;

bool isHeader(const char *begin, const char *end)
{
    return size_t(end - begin) == HeaderLength && std::memcmp(begin, ReadingCsv::Header, HeaderLength) == 0;
}

// Same readings next to each other are kept once.
void dropRepeats(std::vector<qint64> &times, std::vector<StoredTemperature> &temperatures)
{
    size_t kept = 0;
    for (size_t i = 0; i < times.size(); ++i) {
        if (kept > 0 && times[kept - 1] == times[i] && temperatures[kept - 1] == temperatures[i])
            continue;
        times[kept] = times[i];
        temperatures[kept] = temperatures[i];
        ++kept;
    }
    times.resize(kept);
    temperatures.resize(kept);
}

// Sorted by time, equal times in file order.
void sortByTime(std::vector<qint64> &times, std::vector<StoredTemperature> &temperatures)
{
    std::vector<size_t> order(times.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return times[a] < times[b]; });
    // In place, one cycle of the permutation at a time: position i takes the reading at order[i].
    for (size_t start = 0; start < order.size(); ++start) {
        if (order[start] == start)
            continue;
        const qint64 time = times[start];
        const StoredTemperature temperature = temperatures[start];
        size_t at = start;
        for (size_t from = order[at]; from != start; from = order[at]) {
            times[at] = times[from];
            temperatures[at] = temperatures[from];
            order[at] = at;
            at = from;
        }
        times[at] = time;
        temperatures[at] = temperature;
        order[at] = at;
    }
    dropRepeats(times, temperatures);
}
} // namespace

RecordedFiles::RecordedFiles(const QString &folder, const QString &portName, qint64 nowMs, qsizetype room)
    : RecordedFiles(list(folder, portName), nowMs, room)
{}

RecordedFiles::RecordedFiles(QStringList paths, qint64 nowMs, qsizetype room)
    : m_paths(std::move(paths)), m_nowMs(nowMs), m_room(room)
{
    m_counted.assign(size_t(m_paths.size()), -1);
}

QStringList RecordedFiles::list(const QString &folder, const QString &portName)
{
    const QString stem = ReadingCsv::portStem(portName);
    static const QRegularExpression dated(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_"));
    const QDir dir(folder);
    QStringList paths;
    // Sorted by name is sorted by day.
    for (const QString &name :
         dir.entryList({QStringLiteral("*_") + stem + QStringLiteral(".csv")}, QDir::Files, QDir::Name)) {
        if (name.size() == 11 + stem.size() + 4 && dated.match(name).hasMatch())
            paths << dir.filePath(name);
    }
    return paths;
}

void RecordedFiles::summarizeOlder(int detailedDays, const SummaryCache &cache)
{
    m_summarized = std::max<qsizetype>(0, m_paths.size() - detailedDays);
    m_cache = cache;
    if (m_summarized > 0)
        m_phase = Phase::Summarizing;
    // A day's file holds at most a reading per line and a day at most 25 hours of minutes. Growing a year's
    // minutes by doubling would copy megabytes in one slice.
    qsizetype minutes = 0;
    for (qsizetype i = 0; i < m_summarized; ++i)
        minutes += qsizetype(
            std::min<qint64>(DayMinutes, QFileInfo(m_paths.at(i)).size() / ReadingCsv::ShortestLine));
    m_minutes.reserve(minutes);
}

RecordedFiles::~RecordedFiles() = default;

bool RecordedFiles::read(qint64 bytes)
{
    if (m_piece.empty() && m_phase != Phase::Done)
        m_piece.resize(size_t(PieceBytes));
    while (m_phase != Phase::Done && bytes > 0) {
        if (!m_open.isOpen()) {
            bytes -= openNext();
            continue;
        }
        const qint64 n = m_open.read(m_piece.data(), qMin(m_left, PieceBytes));
        if (n > 0) {
            bytes -= n;
            m_left -= n;
            if (m_phase == Phase::Counting)
                m_counted[size_t(m_file)] += n;
            const auto before = qsizetype(m_temperatures.size());
            takePiece(m_piece.data(), m_piece.data() + n);
            if (m_phase == Phase::Parsing)
                m_summaries.update(m_temperatures, before);
        }
        m_dayUnreadable = m_dayUnreadable || n < 0;
        if (n < 0)
            m_report.unreadable << QStringLiteral("%1: %2").arg(m_open.fileName(), m_open.errorString());
        if (n <= 0 || m_left == 0)
            closeFile();
    }
    return m_phase == Phase::Done;
}

std::vector<qint64> &RecordedFiles::times()
{
    return m_times;
}

std::vector<StoredTemperature> &RecordedFiles::temperatures()
{
    return m_temperatures;
}

ReadingSummaries &RecordedFiles::summaries()
{
    return m_summaries;
}

MinuteSummaries &RecordedFiles::minutes()
{
    return m_minutes;
}

const ReadingHistory::LoadReport &RecordedFiles::report() const
{
    return m_report;
}

qint64 RecordedFiles::openNext()
{
    while (++m_file < m_paths.size()) {
        const QString &path = m_paths.at(m_file);
        if (m_phase == Phase::Summarizing && m_file == m_summarized)
            m_phase = Phase::Counting;
        if (m_phase == Phase::Parsing && m_counted[size_t(m_file)] < 0)
            continue;
        const QFileInfo info(path);
        QString failure;
        if (!info.isFile())
            failure = QStringLiteral("not a regular file");
        else if (info.size() > LargestFile)
            failure = QStringLiteral("larger than a day's recording can be");
        else if (m_phase == Phase::Summarizing && takeCached(info))
            return CachedDayCost;
        m_open.setFileName(path);
        if (failure.isEmpty() && !m_open.open(QIODevice::ReadOnly))
            failure = m_open.errorString();
        if (failure.isEmpty()) {
            m_left = m_phase == Phase::Parsing ? m_counted[size_t(m_file)] : LargestFile;
            if (m_phase == Phase::Counting)
                m_counted[size_t(m_file)] = 0;
            m_day = {};
            return 0;
        }
        m_report.unreadable << QStringLiteral("%1: %2").arg(path, failure);
        m_counted[size_t(m_file)] = -1;
    }
    if (m_phase != Phase::Parsing)
        startParsing();
    else
        finish();
    return 0;
}

bool RecordedFiles::takeCached(const QFileInfo &info)
{
    std::optional<DaySummary> day = m_cache.load(info);
    if (!day)
        return false;
    m_day = std::move(*day);
    finishDay();
    return true;
}

void RecordedFiles::finishDay()
{
    ++m_report.files;
    m_summarizedReadings += m_day.readings;
    m_report.damagedLines += m_day.damagedLines;
    m_report.implausibleTimes += m_day.implausibleTimes;
    m_minutes.merge(m_day.minutes);
}

void RecordedFiles::closeFile()
{
    // The last line of a file may have no line break.
    if (!m_carry.empty())
        takeLine({m_carry.data(), m_carry.data() + m_carry.size()});
    m_carry.clear();
    m_open.close();
    if (m_phase == Phase::Parsing)
        ++m_report.files;
    if (m_phase == Phase::Summarizing) {
        if (!m_dayUnreadable)
            m_cache.store(QFileInfo(m_paths.at(m_file)), m_day);
        m_dayUnreadable = false;
        finishDay();
        m_day = {};
    }
}

void RecordedFiles::takePiece(const char *at, const char *end)
{
    while (at < end) {
        const char *lineEnd = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
        if (m_carry.empty() && lineEnd) {
            takeLine({at, lineEnd});
        } else {
            const char *stop = lineEnd ? lineEnd : end;
            m_carry.insert(m_carry.end(), at, at + std::min(size_t(stop - at), CarryLimit - m_carry.size()));
            if (lineEnd) {
                takeLine({m_carry.data(), m_carry.data() + m_carry.size()});
                m_carry.clear();
            }
        }
        at = lineEnd ? lineEnd + 1 : end;
    }
}

void RecordedFiles::takeLine(Line line)
{
    if (line.end != line.begin && line.end[-1] == '\r')
        --line.end;
    if (m_phase == Phase::Counting) {
        const auto length = line.end - line.begin;
        if (length >= ReadingCsv::ShortestLine && length < ReadingCsv::LineCapacity)
            ++m_lines;
        return;
    }
    // The header and an empty last line are not readings; anything else that does not parse is damaged.
    if (line.begin == line.end || isHeader(line.begin, line.end))
        return;
    qint64 &damaged = m_phase == Phase::Summarizing ? m_day.damagedLines : m_report.damagedLines;
    const auto row = ReadingCsv::parseLine(line.begin, line.end);
    const auto temperature = row ? StoredTemperature::of(row->raw, row->hundredths) : std::nullopt;
    if (!temperature) {
        ++damaged;
        return;
    }
    if (!PlausibleTime::contains(row->timeMs, m_nowMs)) {
        ++damaged;
        ++(m_phase == Phase::Summarizing ? m_day.implausibleTimes : m_report.implausibleTimes);
        return;
    }
    takeReading(row->timeMs, *temperature);
}

void RecordedFiles::takeReading(qint64 timeMs, StoredTemperature temperature)
{
    if (m_phase == Phase::Summarizing) {
        if (m_day.readings > 0 && m_dayLastTime == timeMs && m_dayLast == temperature)
            return;
        m_dayLastTime = timeMs;
        m_dayLast = temperature;
        ++m_day.readings;
        m_day.minutes.add(timeMs, temperature.hundredths());
        return;
    }
    if (!m_times.empty() && m_times.back() == timeMs && m_temperatures.back() == temperature)
        return;
    m_sorted = m_sorted && (m_times.empty() || m_times.back() <= timeMs);
    m_times.push_back(timeMs);
    m_temperatures.push_back(temperature);
}

void RecordedFiles::startParsing()
{
    m_phase = Phase::Parsing;
    m_file = m_summarized - 1;
    try {
        m_times.reserve(size_t(m_lines + m_room));
        m_temperatures.reserve(size_t(m_lines + m_room));
    } catch (const std::bad_alloc &) {
        m_report.unreadable << QStringLiteral("%1 readings: more than there is memory for").arg(m_lines);
        m_times = {};
        m_temperatures = {};
        finish();
    }
}

void RecordedFiles::finish()
{
    m_phase = Phase::Done;
    m_piece = {};
    // Files are in time order but for a clock set back; only then are they sorted.
    if (!m_sorted) {
        sortByTime(m_times, m_temperatures);
        m_summaries.update(m_temperatures, 0);
    }
    m_report.readings = qint64(m_times.size()) + m_summarizedReadings;
}
