#include "reading_recorder.h"

#include "protocol/reading_csv.h"
#include "record/write_whole.h"

#include <QtCore/QDir>
#include <QtCore/QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why the day's file would not open: a symbolic link is named as such rather than as a loop.
QString openFailure(const QByteArray &native, int error)
{
    struct stat status
    {};
    if (error == ELOOP && ::lstat(native.constData(), &status) == 0 && S_ISLNK(status.st_mode))
        return QStringLiteral("it is a symbolic link, which recording never follows");
    return systemReason(error);
}
} // namespace

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
    if (m_fd < 0 || day != m_day || portName != m_portName) {
        closeFile();
        if (!openFile(QDir(m_folder).filePath(ReadingCsv::fileName(day, portName))))
            return false;
        m_day = day;
        m_portName = portName;
        emit stateChanged();
    }

    // Writing to a file that is gone or was made read-only would lose readings without a word.
    struct stat status
    {};
    QString reason;
    int error = 0;
    if (::fstat(m_fd, &status) != 0)
        reason = systemReason(errno);
    else if (status.st_nlink == 0)
        reason = QStringLiteral("the file was deleted");
    else if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        reason = QStringLiteral("the file was made read-only");
    else if (!writeWhole(m_fd, line, size_t(length), error))
        reason = systemReason(error);
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
    const QByteArray native = QFile::encodeName(path);
    // Never through a symbolic link, and never waiting: a FIFO in the file's place would block the open.
    const int fd =
        ::open(native.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        fault(path, openFailure(native, errno));
        return false;
    }
    if (!checkOpenedFile(fd, path) || !endLastLine(fd, path)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_unsynced = true;
    return true;
}

bool ReadingRecorder::checkOpenedFile(int fd, const QString &path)
{
    struct stat status
    {};
    QString reason;
    if (::fstat(fd, &status) != 0)
        reason = systemReason(errno);
    else if (!S_ISREG(status.st_mode))
        reason = QStringLiteral("it is not a regular file");
    else if (status.st_uid != ::geteuid())
        reason = QStringLiteral("it belongs to another user");
    if (reason.isEmpty())
        return true;
    fault(path, reason);
    return false;
}

bool ReadingRecorder::endLastLine(int fd, const QString &path)
{
    // A new file starts with the header; a file cut short in a line gets its line ended first.
    struct stat status
    {};
    int error = 0;
    bool ok = ::fstat(fd, &status) == 0;
    if (!ok) {
        error = errno;
    } else if (status.st_size == 0) {
        ok = writeWhole(fd, ReadingCsv::Header, std::strlen(ReadingCsv::Header), error);
    } else {
        char last = '\n';
        if (::pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n')
            ok = writeWhole(fd, "\n", 1, error);
    }
    if (!ok)
        fault(path, systemReason(error));
    return ok;
}

void ReadingRecorder::closeFile()
{
    if (m_fd < 0)
        return;
    int error = 0;
    syncFile(error);
    ::close(m_fd);
    m_fd = -1;
}

bool ReadingRecorder::syncFile(int &error)
{
    if (m_fd < 0 || !m_unsynced)
        return true;
    m_unsynced = false;
    // A full disk may only show here, when the file system allocates what the writes delayed.
    if (::fdatasync(m_fd) == 0)
        return true;
    error = errno;
    return false;
}

void ReadingRecorder::sync()
{
    int error = 0;
    if (!syncFile(error))
        fault(m_path, systemReason(error));
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
