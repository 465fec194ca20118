#pragma once

#include "protocol/reading.h"

#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QTimer>

// Writes every reading to a CSV file per local day and port in one folder. Each line reaches the operating
// system in one write as the reading arrives, and the file is synced at least once a minute, when recording
// stops and when the recorder goes away, so a killed program loses at most the line being written.
// Any fault stops recording and says why; it never stops anything else.
class ReadingRecorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadingRecorder)

public:
    static constexpr int SyncIntervalMs = 60 * 1000;

    explicit ReadingRecorder(QObject *parent = nullptr);
    ~ReadingRecorder() override;

    // Creates the folder when needed. On failure returns false and failure() says why.
    bool start(const QString &folder);
    void stop();
    bool isRecording() const;
    QString folder() const;
    // The file being written, empty before the first reading.
    QString filePath() const;
    // Why recording last stopped by itself or could not start; empty otherwise.
    QString failure() const;

    void record(const Reading &reading, const QString &portName);

signals:
    // Recording started, stopped, or could not start.
    void stateChanged();
    // Recording stopped by itself; `reason` names the file and what went wrong.
    void failed(const QString &reason);

private:
    bool openFile(const QString &path);
    void closeFile();
    bool syncFile(int &error);
    void sync();
    void fail(const QString &path, const QString &reason);

    QString m_folder;
    QString m_path;
    QString m_portName;
    QString m_failure;
    int m_day = 0;
    int m_fd = -1;
    bool m_recording = false;
    bool m_unsynced = false;
    QTimer m_syncTimer;
};
