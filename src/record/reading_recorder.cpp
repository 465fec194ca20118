#include "reading_recorder.h"

#include "record/reading_csv.h"
#include "record/write_whole.h"

#include <QtCore/QDir>
#include <QtCore/QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

ReadingRecorder::ReadingRecorder(QObject *parent) : QObject(parent)
{
    m_syncTimer.setInterval(SyncIntervalMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &ReadingRecorder::sync);
}

ReadingRecorder::~ReadingRecorder()
{
    closeFile();
}

bool ReadingRecorder::start(const QString &folder)
{
    stop();
    m_failure.clear();
    if (!QDir().mkpath(folder)) {
        // mkpath says no more than that; the parent's state usually explains it.
        const QFileInfo info(folder);
        const QString reason = info.exists() && !info.isDir()
                                   ? QStringLiteral("it is not a folder")
                                   : QStringLiteral("the folder cannot be created");
        m_failure = QStringLiteral("%1: %2").arg(folder, reason);
        emit stateChanged();
        return false;
    }
    m_folder = folder;
    m_recording = true;
    m_syncTimer.start();
    emit stateChanged();
    return true;
}

void ReadingRecorder::stop()
{
    closeFile();
    m_syncTimer.stop();
    if (!m_recording)
        return;
    m_recording = false;
    emit stateChanged();
}

bool ReadingRecorder::isRecording() const
{
    return m_recording;
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

void ReadingRecorder::record(const Reading &reading, const QString &portName)
{
    if (!m_recording)
        return;
    char line[ReadingCsv::LineCapacity];
    int day = 0;
    const int length = ReadingCsv::formatLine(reading, line, day);
    if (m_fd < 0 || day != m_day || portName != m_portName) {
        closeFile();
        if (!openFile(QDir(m_folder).filePath(ReadingCsv::fileName(day, portName))))
            return;
        m_day = day;
        m_portName = portName;
        emit stateChanged();
    }

    // Writing to a file that is gone or was made read-only would lose readings without a word.
    struct stat status
    {};
    if (::fstat(m_fd, &status) != 0)
        return fail(m_path, systemReason(errno));
    if (status.st_nlink == 0)
        return fail(m_path, QStringLiteral("the file was deleted"));
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return fail(m_path, QStringLiteral("the file was made read-only"));
    int error = 0;
    if (!writeWhole(m_fd, line, size_t(length), error))
        return fail(m_path, systemReason(error));
    m_unsynced = true;
}

bool ReadingRecorder::openFile(const QString &path)
{
    // The folder may have gone since recording started; it is made again when a new file is due.
    QDir().mkpath(m_folder);
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail(path, systemReason(errno));
        return false;
    }
    m_fd = fd;
    m_path = path;

    // A new file starts with the header; a file cut short in a line gets its line ended first.
    struct stat status
    {};
    int error = 0;
    bool ok = ::fstat(fd, &status) == 0;
    if (ok && status.st_size == 0) {
        ok = writeWhole(fd, ReadingCsv::Header, std::strlen(ReadingCsv::Header), error);
    } else if (ok) {
        char last = '\n';
        const int readFd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        if (readFd >= 0) {
            if (::pread(readFd, &last, 1, status.st_size - 1) != 1)
                last = '\n';
            ::close(readFd);
        }
        if (last != '\n')
            ok = writeWhole(fd, "\n", 1, error);
    } else {
        error = errno;
    }
    if (!ok) {
        fail(path, systemReason(error));
        return false;
    }
    m_unsynced = true;
    return true;
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
        fail(m_path, systemReason(error));
}

void ReadingRecorder::fail(const QString &path, const QString &reason)
{
    m_failure = QStringLiteral("%1: %2").arg(path, reason);
    stop();
    emit failed(m_failure);
}
