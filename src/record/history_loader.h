#pragma once

#include "record/reading_history.h"

#include <QtCore/QObject>
#include <QtCore/QTimer>

#include <memory>

class RecordedFiles;

// Loads the recorded files of a port into a history a slice at a time on the event loop, so that a long
// history keeps neither the window nor the link waiting. Readings that arrive meanwhile go into the history
// as usual and are merged with the files' at the end.
class HistoryLoader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryLoader)

public:
    // About the bytes of the files read per turn of the event loop: a few milliseconds' work.
    static constexpr qint64 SliceBytes = qint64(1) << 20;
    // The newest days kept reading by reading: "7 days" back from any time of today. Older days are kept
    // as minutes.
    static constexpr int DetailedDays = 8;

    explicit HistoryLoader(ReadingHistory &history, QObject *parent = nullptr);
    ~HistoryLoader() override;

    // Drops a load in progress and starts one; its first slice is read at once, so a short history is
    // loaded on return.
    void start(const QString &folder, const QString &portName);
    bool isLoading() const;

signals:
    void loaded(const ReadingHistory::LoadReport &report);

private:
    void readSlice();

    ReadingHistory &m_history;
    std::unique_ptr<RecordedFiles> m_files;
    QTimer m_next;
};
