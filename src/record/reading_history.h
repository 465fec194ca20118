#pragma once

#include "protocol/reading.h"
#include "record/minute_summaries.h"
#include "record/reading_summaries.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The readings the trend shows, in time order: the recorded files of one port and this session's readings,
// each once, with their temperatures as recorded, whatever the calibration is now. Twelve bytes a reading.
// The readings loaded from the files are all kept; those this session adds after them are bounded, oldest
// dropped first. The older days of a long recording may be kept as minute summaries instead, and read
// from their files again when a span of them is looked at reading by reading.
class ReadingHistory final
{
    Q_DISABLE_COPY_MOVE(ReadingHistory)

public:
    // A little over 12 days at one reading a second.
    static constexpr qsizetype SessionLimit = qsizetype(1) << 20;
    // The most of the files read again for a span of the older days: three weeks at one reading a second.
    static constexpr qint64 LargestSpanBytes = qint64(64) << 20;

    struct LoadReport
    {
        int files = 0;
        qint64 readings = 0;
        qint64 damagedLines = 0;
        // Of the damaged lines, those whose time is not plausible.
        qint64 implausibleTimes = 0;
        QStringList unreadable; // "file: reason"
    };

    ReadingHistory();
    ~ReadingHistory();

    // A reading whose temperature is further from its raw bytes' than any calibration offset is not taken,
    // as it would not be from the files.
    void add(const Reading &reading);
    // Adds the recorded files of a port found in `folder` at once. A reading that is already here is kept
    // once.
    LoadReport loadRecorded(const QString &folder, const QString &portName);
    // Takes readings in time order, as read from the files, with their summaries, and adds those here to
    // them, each once.
    void merge(std::vector<qint64> &&times, std::vector<StoredTemperature> &&temperatures,
               ReadingSummaries &&summaries, MinuteSummaries &&olderMinutes = {});
    // Where the older days' files are, to read them again.
    void setRecordedFiles(const QString &folder, const QString &portName);
    void clear();

    qsizetype size() const;
    qint64 timeAt(qsizetype index) const;
    int16_t rawAt(qsizetype index) const;
    int32_t hundredthsAt(qsizetype index) const;
    Reading readingAt(qsizetype index) const;
    // The first reading at or after `timeMs`; size() when there is none.
    qsizetype lowerBound(qint64 timeMs) const;
    // The lowest, highest and sum of the readings from `from` up to but not including `to`.
    ReadingSummaries::Summary summary(qsizetype from, qsizetype to) const;
    // The time between readings as the board usually sends them: the median of the latest intervals.
    qint64 usualIntervalMs() const;

    // The older days, as minutes; their readings are not among those above.
    const MinuteSummaries &olderMinutes() const;
    // All readings from `fromMs` up to but not including `toMs`: the older days' by the minutes that start
    // in the span.
    SpanSummary spanSummary(qint64 fromMs, qint64 toMs) const;
    // The time of the latest reading before `timeMs`, kept either way.
    std::optional<qint64> timeBefore(qint64 timeMs) const;
    // Whether the readings of the span are here one by one, or in minutes no longer than `resolutionMs`.
    bool isFineFor(qint64 fromMs, qint64 toMs, qint64 resolutionMs) const;
    // This history if it is fine for the span; otherwise the span's readings one by one, read from the
    // files into `holder` (kept there for another look within the span). This history still when the files
    // are more than LargestSpanBytes.
    const ReadingHistory &fineFor(qint64 fromMs, qint64 toMs, qint64 resolutionMs,
                                  std::unique_ptr<ReadingHistory> &holder) const;

private:
    void insert(qint64 timeMs, StoredTemperature temperature);
    void dropOldestOfSession();

    std::vector<qint64> m_times;
    std::vector<StoredTemperature> m_temperatures;
    ReadingSummaries m_summaries;
    qsizetype m_loaded = 0;
    MinuteSummaries m_older;
    QString m_folder;
    QString m_portName;
    // Of a history read for a span: the span it covers, and how many readings the history it was read for
    // held in it, so that it is read again when one more comes into the span.
    qint64 m_spanFrom = 0;
    qint64 m_spanTo = 0;
    qsizetype m_spanOf = -1;
};
