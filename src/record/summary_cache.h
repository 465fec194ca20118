#pragma once

#include "record/minute_summaries.h"

#include <QtCore/QString>

#include <optional>

class QFileInfo;

// The minutes of one recorded day, with what reading its file found.
struct DaySummary
{
    MinuteSummaries minutes;
    qint64 readings = 0;
    qint64 damagedLines = 0;
    qint64 implausibleTimes = 0;
};

// Day summaries kept beside the program's other caches, never among the readings: a file of minutes per
// recorded day, made when the day is first read. The day's file stays the record: a summary whose day has
// changed since, or that is damaged, is not taken.
class SummaryCache final
{
public:
    // No folder: nothing is kept, every summary is made anew.
    explicit SummaryCache(QString folder = {});
    // $XDG_CACHE_HOME/vantro/summaries, or wherever the system keeps a user's caches.
    static QString defaultFolder();

    std::optional<DaySummary> load(const QFileInfo &day) const;
    // Best effort: a summary that cannot be kept is made again next time.
    void store(const QFileInfo &day, const DaySummary &summary) const;
    QString pathFor(const QFileInfo &day) const;

private:
    QString m_folder;
};
