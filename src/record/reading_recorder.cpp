#include "reading_recorder.h"

#include "protocol/reading_csv.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

#include <cstdlib>
#include <cstring>

ReadingRecorder::ReadingRecorder(QObject *parent) : ReadingRecorder(SyncIntervalMs, parent) {}

ReadingRecorder::ReadingRecorder(int syncIntervalMs, QObject *parent) : QObject(parent)
{
    m_syncTimer.setInterval(syncIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &ReadingRecorder::sync);
}

ReadingRecorder::~ReadingRecorder()
{
    closeFile();
}

bool ReadingRecorder::start(const QString &folder)
{
    stop();
    QString reason;
    if (!QDir::isAbsolutePath(folder)) {
        // Relative to wherever the program happened to start is nowhere the user would look.
        reason = QStringLiteral("a relative folder is refused; name it from / or ~/");
    } else if (!QDir().mkpath(folder)) {
        // mkpath says no more than that; the parent's state usually explains it.
        const QFileInfo info(folder);
        reason = info.exists() && !info.isDir() ? QStringLiteral("it is not a folder")
                                                : QStringLiteral("the folder cannot be created");
    }
    if (!reason.isEmpty()) {
        m_failure = QStringLiteral("%1: %2").arg(folder, reason);
        emit stateChanged();
        return false;
    }
    m_folder = folder;
    m_on = true;
    m_syncTimer.start();
    emit stateChanged();
    return true;
}

void ReadingRecorder::stop()
{
    closeFile();
    m_syncTimer.stop();
    const bool changed = m_on || !m_failure.isEmpty();
    m_on = false;
    m_failure.clear();
    m_missed = 0;
    if (changed)
        emit stateChanged();
}

bool ReadingRecorder::isOn() const
{
    return m_on;
}

bool ReadingRecorder::isRecording() const
{
    return m_on && m_failure.isEmpty();
}

QString ReadingRecorder::folder() const
{
    return m_folder;
}

QString ReadingRecorder::filePath() const
{
    return m_path;
}

QString ReadingRecorder::failure() const
{
    return m_failure;
}

void ReadingRecorder::takeReading(const Reading &reading, const QString &portName)
{
    if (!m_on)
        return;
    const bool faulty = !m_failure.isEmpty();
    if (faulty && !retryIsDue(reading.timeMs)) {
        ++m_missed;
        return;
    }
    m_attemptMs = reading.timeMs;
    if (!write(reading, portName)) {
        ++m_missed;
        return;
    }
    if (!faulty)
        return;
    const qint64 missed = m_missed;
    m_failure.clear();
    m_missed = 0;
    emit stateChanged();
    emit resumed(m_path, missed);
}

QString ReadingRecorder::faultText(const QString &reason)
{
    return QStringLiteral("Recording failed, trying again: %1").arg(reason);
}

QString ReadingRecorder::resumedText(const QString &path, qint64 missed)
{
    const QString text = QStringLiteral("Recording again to %1").arg(path);
    return missed == 0 ? text : text + QStringLiteral("; %1 readings were not recorded").arg(missed);
}

bool ReadingRecorder::retryIsDue(qint64 timeMs) const
{
    return std::abs(timeMs - m_attemptMs) >= RetryIntervalMs;
}

bool ReadingRecorder::write(const Reading &reading, const QString &portName)
{
    char line[ReadingCsv::LineCapacity];
    int day = 0;
    const int length = ReadingCsv::formatLine(reading, line, day);
    if (!m_file.isOpen() || day != m_day || portName != m_portName) {
        closeFile();
        if (!openFile(QDir(m_folder).filePath(ReadingCsv::fileName(day, portName))))
            return false;
        m_day = day;
        m_portName = portName;
        emit stateChanged();
    }

    // Writing to a file that is gone or was made read-only would lose readings without a word.
    QString reason = m_file.unwritable();
    if (reason.isEmpty())
        m_file.append(line, size_t(length), reason);
    if (!reason.isEmpty()) {
        fault(m_path, reason);
        return false;
    }
    m_unsynced = true;
    return true;
}

bool ReadingRecorder::openFile(const QString &path)
{
    // The folder may have gone since recording started; it is made again when a file is due.
    QDir().mkpath(m_folder);
    QString reason;
    if (!m_file.open(path, reason)) {
        fault(path, reason);
        return false;
    }
    if (!endLastLine(path)) {
        m_file.close();
        return false;
    }
    m_path = path;
    m_unsynced = true;
    return true;
}

bool ReadingRecorder::endLastLine(const QString &path)
{
    // A new file starts with the header; a file cut short in a line gets its line ended first.
    QString reason;
    const qint64 size = m_file.size(reason);
    if (size == 0)
        m_file.append(ReadingCsv::Header, std::strlen(ReadingCsv::Header), reason);
    else if (size > 0 && m_file.byteAt(size - 1) != '\n')
        m_file.append("\n", 1, reason);
    if (!reason.isEmpty())
        fault(path, reason);
    return reason.isEmpty();
}

void ReadingRecorder::closeFile()
{
    if (!m_file.isOpen())
        return;
    QString reason;
    syncFile(reason);
    m_file.close();
}

bool ReadingRecorder::syncFile(QString &reason)
{
    if (!m_file.isOpen() || !m_unsynced)
        return true;
    m_unsynced = false;
    // A full disk may only show here, when the file system allocates what the writes delayed.
    return m_file.sync(reason);
}

void ReadingRecorder::sync()
{
    QString reason;
    if (!syncFile(reason))
        fault(m_path, reason);
}

void ReadingRecorder::fault(const QString &path, const QString &reason)
{
    closeFile();
    const QString failure = QStringLiteral("%1: %2").arg(path, reason);
    if (failure == m_failure)
        return;
    m_failure = failure;
    emit stateChanged();
    emit failed(m_failure);
}
