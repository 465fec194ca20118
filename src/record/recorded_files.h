#pragma once

#include "record/reading_history.h"
#include "record/summary_cache.h"

#include <QtCore/QFile>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstdint>
#include <vector>

// Reads the recorded files of one port a piece at a time, so that a long history can be read between other
// work. It first counts the lines that could be readings, so that their storage is allocated once, then
// parses them. No allocation follows what a file's size claims; a file larger than a day's recording can be
// is refused.
class QFileInfo;

class RecordedFiles final
{
    Q_DISABLE_COPY_MOVE(RecordedFiles)

public:
    // More than a day of readings at the link's fastest (one per 10 ms receive poll) could take.
    static constexpr qint64 LargestFile = qint64(1) << 30;

    // `room` more readings fit in the storage without a new allocation: those that the history holds.
    RecordedFiles(const QString &folder, const QString &portName, qint64 nowMs, qsizetype room);
    // The files given, in order of their days.
    RecordedFiles(QStringList paths, qint64 nowMs, qsizetype room);
    ~RecordedFiles();

    // The files of a port, oldest day first.
    static QStringList list(const QString &folder, const QString &portName);
    // All but the newest `detailedDays` files are read into minute summaries, through the cache, and not
    // kept reading by reading. Before the first read.
    void summarizeOlder(int detailedDays, const SummaryCache &cache);

    // Reads about `bytes` more of the files; true once all are read. Then the readings are in time order.
    bool read(qint64 bytes);
    std::vector<qint64> &times();
    std::vector<StoredTemperature> &temperatures();
    ReadingSummaries &summaries();
    MinuteSummaries &minutes();
    const ReadingHistory::LoadReport &report() const;

private:
    enum class Phase
    {
        Summarizing,
        Counting,
        Parsing,
        Done
    };

    struct Line
    {
        const char *begin;
        const char *end;
    };

    // Opens the next file to read, or takes the next summary from the cache; the bytes that took.
    qint64 openNext();
    bool takeCached(const QFileInfo &info);
    void finishDay();
    void takeReading(qint64 timeMs, StoredTemperature temperature);
    void closeFile();
    void takePiece(const char *at, const char *end);
    void takeLine(Line line);
    void startParsing();
    void finish();

    QStringList m_paths;
    qsizetype m_summarized = 0; // the first files, read into m_minutes
    SummaryCache m_cache;
    DaySummary m_day; // of the file being summarized
    bool m_dayUnreadable = false;
    qint64 m_dayLastTime = 0;
    StoredTemperature m_dayLast;
    MinuteSummaries m_minutes;
    qint64 m_summarizedReadings = 0;
    std::vector<qint64> m_counted; // the bytes of each file that were counted, and are parsed
    qint64 m_nowMs;
    qsizetype m_room;
    Phase m_phase = Phase::Counting;
    qsizetype m_file = -1;
    QFile m_open;
    qint64 m_left = 0; // bytes of the open file still to read
    std::vector<char> m_piece;
    std::vector<char> m_carry; // the start of a line that runs on into the next piece
    qsizetype m_lines = 0;     // lines that could be readings, counted in the first pass
    std::vector<qint64> m_times;
    std::vector<StoredTemperature> m_temperatures;
    ReadingSummaries m_summaries;
    bool m_sorted = true;
    ReadingHistory::LoadReport m_report;
};
