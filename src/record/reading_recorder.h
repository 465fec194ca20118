#pragma once

#include "protocol/reading.h"
#include "protocol/reading_output.h"
#include "record/recorded_file.h"

#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QTimer>

// Writes every reading to a CSV file per local day and port in one folder. Each line reaches the operating
// system in one write as the reading arrives, and the file is synced at least once per sync interval, when
// recording stops and when the recorder goes away, so a killed program loses at most the line being written.
// The day's file is only ever a regular file of the user's own: a symbolic link, a FIFO or another user's
// file in its place is a fault. A fault is said once and recording goes on trying: with the next reading at
// least RetryIntervalMs after the last attempt, until it works again, which is said too. It never stops
// anything else.
class ReadingRecorder final : public QObject, public ReadingOutput
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadingRecorder)

public:
    static constexpr int SyncIntervalMs = 60 * 1000;
    static constexpr qint64 RetryIntervalMs = 2000;

    explicit ReadingRecorder(QObject *parent = nullptr);
    explicit ReadingRecorder(int syncIntervalMs, QObject *parent = nullptr);
    ~ReadingRecorder() override;

    // Creates the folder when needed; a relative folder is refused. On failure returns false, stays off and
    // failure() says why.
    bool start(const QString &folder);
    void stop();
    // From a successful start() until stop(), through faults.
    bool isOn() const;
    // On, with no fault since the last line was written.
    bool isRecording() const;
    QString folder() const;
    // The file being written, empty before the first reading.
    QString filePath() const;
    // The fault recording is trying to get past, or why it could not start; empty otherwise.
    QString failure() const;

    // Readings are timed by their own clock: the retry waits for a reading RetryIntervalMs after the last
    // attempt, or before it, for a clock set back.
    void takeReading(const Reading &reading, const QString &portName) override;

    // What the front ends say of a fault, and of the end of one.
    static QString faultText(const QString &reason);
    static QString resumedText(const QString &path, qint64 missed);

signals:
    // Recording started, stopped, could not start, met a fault, moved to a new file or got past a fault.
    void stateChanged();
    // A fault, said once however often the retries meet it; `reason` names the file and what went wrong.
    void failed(const QString &reason);
    // Recording works again after a fault, into `path`; `missed` readings were not recorded meanwhile.
    void resumed(const QString &path, qint64 missed);

private:
    bool retryIsDue(qint64 timeMs) const;
    bool write(const Reading &reading, const QString &portName);
    bool openFile(const QString &path);
    bool endLastLine(const QString &path);
    void closeFile();
    bool syncFile(QString &reason);
    void sync();
    void fault(const QString &path, const QString &reason);

    QString m_folder;
    QString m_path;
    QString m_portName;
    QString m_failure;
    int m_day = 0;
    RecordedFile m_file;
    bool m_on = false;
    bool m_unsynced = false;
    qint64 m_attemptMs = 0;
    qint64 m_missed = 0;
    QTimer m_syncTimer;
};
