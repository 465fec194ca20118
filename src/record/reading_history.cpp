#include "reading_history.h"

#include "protocol/temperature_text.h"
#include "record/reading_csv.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QRegularExpression>

#include <algorithm>
#include <cstring>
#include <malloc.h>

namespace {
struct Rows
{
    std::vector<qint64> times;
    std::vector<int16_t> raws;
};

// Reads every line of one file; the header and an empty last line are not readings, anything else that does
// not parse is counted as damaged.
bool readFile(const QString &path, Rows &rows, ReadingHistory::LoadReport &report)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report.unreadable << QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const qint64 size = file.size();
    if (size == 0)
        return true;
    // Mapped, the file is read once without a copy; a file system that cannot map gets read whole.
    const char *at = reinterpret_cast<const char *>(file.map(0, size));
    const char *end = at + size;
    QByteArray copy;
    if (!at) {
        copy = file.readAll();
        at = copy.constData();
        end = at + copy.size();
    }
    const size_t headerLength = std::strlen(ReadingCsv::Header) - 1;
    rows.times.reserve(rows.times.size() + size_t(size / 38));
    rows.raws.reserve(rows.raws.size() + size_t(size / 38));
    while (at < end) {
        const char *lineEnd = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
        if (!lineEnd)
            lineEnd = end;
        const bool header =
            size_t(lineEnd - at) == headerLength && std::memcmp(at, ReadingCsv::Header, headerLength) == 0;
        if (!header && lineEnd != at) {
            if (const auto row = ReadingCsv::parseLine(at, lineEnd)) {
                rows.times.push_back(row->timeMs);
                rows.raws.push_back(row->raw);
            } else {
                ++report.damagedLines;
            }
        }
        at = lineEnd + 1;
    }
    ++report.files;
    return true;
}
} // namespace

ReadingHistory::ReadingHistory() = default;
ReadingHistory::~ReadingHistory() = default;

void ReadingHistory::add(const Reading &reading)
{
    insert(reading.timeMs, reading.raw());
    if (qsizetype(m_times.size()) > m_loaded + SessionLimit)
        dropOldest();
}

ReadingHistory::LoadReport ReadingHistory::loadRecorded(const QString &folder, const QString &portName)
{
    LoadReport report;
    const QString stem = ReadingCsv::portStem(portName);
    static const QRegularExpression dated(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_"));
    Rows rows;
    QDir dir(folder);
    // Sorted by name is sorted by day.
    for (const QString &name :
         dir.entryList({QStringLiteral("*_") + stem + QStringLiteral(".csv")}, QDir::Files, QDir::Name)) {
        if (name.size() == 11 + stem.size() + 4 && dated.match(name).hasMatch())
            readFile(dir.filePath(name), rows, report);
    }

    // Files are in time order but for a clock set back; only then are they sorted, equal times in file order.
    if (!std::is_sorted(rows.times.begin(), rows.times.end())) {
        std::vector<size_t> order(rows.times.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return rows.times[a] < rows.times[b]; });
        Rows sorted;
        sorted.times.reserve(order.size());
        sorted.raws.reserve(order.size());
        for (size_t k : order) {
            sorted.times.push_back(rows.times[k]);
            sorted.raws.push_back(rows.raws[k]);
        }
        rows = std::move(sorted);
    }

    // Merge with what is here, each reading once, into storage of exactly the needed size.
    std::vector<qint64> times;
    std::vector<int16_t> raws;
    times.reserve(m_times.size() + rows.times.size());
    raws.reserve(m_times.size() + rows.times.size());
    size_t mine = 0;
    size_t theirs = 0;
    auto push = [&](qint64 t, int16_t raw) {
        if (!times.empty() && times.back() == t && raws.back() == raw)
            return;
        times.push_back(t);
        raws.push_back(raw);
    };
    while (mine < m_times.size() || theirs < rows.times.size()) {
        const bool takeMine =
            theirs == rows.times.size() || (mine < m_times.size() && m_times[mine] <= rows.times[theirs]);
        if (takeMine) {
            push(m_times[mine], m_raws[mine]);
            ++mine;
        } else {
            push(rows.times[theirs], rows.raws[theirs]);
            ++theirs;
        }
    }
    report.readings = qint64(rows.times.size());
    m_times = std::move(times);
    m_raws = std::move(raws);
    m_times.shrink_to_fit();
    m_raws.shrink_to_fit();
    m_loaded = qsizetype(m_times.size());
    // The parse's scratch was as large as the history itself; hand it back to the system rather than keep it.
    malloc_trim(0);
    return report;
}

void ReadingHistory::clear()
{
    m_times = {};
    m_raws = {};
    m_loaded = 0;
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
    return m_raws[size_t(index)];
}

int32_t ReadingHistory::hundredthsAt(qsizetype index) const
{
    return temperatureHundredths(m_raws[size_t(index)]);
}

Reading ReadingHistory::readingAt(qsizetype index) const
{
    return Reading::fromRaw(timeAt(index), rawAt(index));
}

qsizetype ReadingHistory::lowerBound(qint64 timeMs) const
{
    return qsizetype(std::lower_bound(m_times.begin(), m_times.end(), timeMs) - m_times.begin());
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

void ReadingHistory::insert(qint64 timeMs, int16_t raw)
{
    // Readings arrive in time order unless the clock was set back.
    auto at = m_times.end();
    if (!m_times.empty() && m_times.back() > timeMs)
        at = std::upper_bound(m_times.begin(), m_times.end(), timeMs);
    const auto index = at - m_times.begin();
    if (index > 0 && m_times[size_t(index - 1)] == timeMs && m_raws[size_t(index - 1)] == raw)
        return;
    m_times.insert(at, timeMs);
    m_raws.insert(m_raws.begin() + index, raw);
}

void ReadingHistory::dropOldest()
{
    // An eighth at a time, so that dropping costs little per reading.
    const auto drop = qsizetype(m_times.size()) / 8;
    m_times.erase(m_times.begin(), m_times.begin() + drop);
    m_raws.erase(m_raws.begin(), m_raws.begin() + drop);
    m_loaded = std::max<qsizetype>(0, m_loaded - drop);
}
