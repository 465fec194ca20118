#include "history_loader.h"

#include "record/recorded_files.h"

#include <QtCore/QDateTime>

namespace {
// Room for the readings that may arrive while the files are read, beyond those already here.
constexpr qsizetype ArrivingRoom = 65536;
} // namespace

HistoryLoader::HistoryLoader(ReadingHistory &history, QObject *parent) : QObject(parent), m_history(history)
{
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, &HistoryLoader::readSlice);
}

HistoryLoader::~HistoryLoader() = default;

void HistoryLoader::start(const QString &folder, const QString &portName)
{
    m_next.stop();
    m_files = std::make_unique<RecordedFiles>(folder, portName, QDateTime::currentMSecsSinceEpoch(),
                                              m_history.size() + ArrivingRoom);
    m_files->summarizeOlder(DetailedDays, SummaryCache(SummaryCache::defaultFolder()));
    m_history.setRecordedFiles(folder, portName);
    readSlice();
}

bool HistoryLoader::isLoading() const
{
    return m_files != nullptr;
}

void HistoryLoader::readSlice()
{
    if (!m_files->read(SliceBytes)) {
        m_next.start();
        return;
    }
    const std::unique_ptr<RecordedFiles> files = std::move(m_files);
    m_history.merge(std::move(files->times()), std::move(files->temperatures()),
                    std::move(files->summaries()), std::move(files->minutes()));
    emit loaded(files->report());
}
