#include "recorded_file.h"

#include "record/write_whole.h"

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

// Why the day's file would not open: a symbolic link is named as such rather than as a loop.
QString openFailure(const QByteArray &native, int error)
{
    struct stat status
    {};
    if (error == ELOOP && ::lstat(native.constData(), &status) == 0 && S_ISLNK(status.st_mode))
        return QStringLiteral("it is a symbolic link, which recording never follows");
    return systemReason(error);
}

QString unownedReason(int fd)
{
    struct stat status
    {};
    if (::fstat(fd, &status) != 0)
        return systemReason(errno);
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("it is not a regular file");
    if (status.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user");
    return {};
}

// A line the disk took only in part is cut off again, so that the file holds whole lines only: a file made
// shorter needs no room on the disk.
bool cutOff(int fd, size_t bytes)
{
    struct stat status
    {};
    return bytes == 0 || (::fstat(fd, &status) == 0 && ::ftruncate(fd, status.st_size - off_t(bytes)) == 0);
}
} // namespace

RecordedFile::RecordedFile() = default;

RecordedFile::~RecordedFile()
{
    close();
}

bool RecordedFile::open(const QString &path, QString &reason)
{
    const QByteArray native = QFile::encodeName(path);
    // Never through a symbolic link, and never waiting: a FIFO in the file's place would block the open.
    const int fd =
        ::open(native.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        reason = openFailure(native, errno);
        return false;
    }
    reason = unownedReason(fd);
    if (!reason.isEmpty()) {
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

bool RecordedFile::isOpen() const
{
    return m_handle >= 0;
}

void RecordedFile::close()
{
    if (m_handle < 0)
        return;
    ::close(int(m_handle));
    m_handle = -1;
}

QString RecordedFile::unwritable() const
{
    struct stat status
    {};
    if (::fstat(int(m_handle), &status) != 0)
        return systemReason(errno);
    if (status.st_nlink == 0)
        return QStringLiteral("the file was deleted");
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return QStringLiteral("the file was made read-only");
    return {};
}

qint64 RecordedFile::size(QString &reason) const
{
    struct stat status
    {};
    if (::fstat(int(m_handle), &status) == 0)
        return qint64(status.st_size);
    reason = systemReason(errno);
    return -1;
}

char RecordedFile::byteAt(qint64 offset) const
{
    char byte = '\n';
    return ::pread(int(m_handle), &byte, 1, offset) == 1 ? byte : '\n';
}

bool RecordedFile::append(const char *data, size_t size, QString &reason)
{
    int error = 0;
    const size_t written = writeWhole(int(m_handle), data, size, error);
    if (written == size)
        return true;
    reason = systemReason(error);
    if (!cutOff(int(m_handle), written))
        reason += QStringLiteral("; a line cut short stays in the file: %1").arg(systemReason(errno));
    return false;
}

bool RecordedFile::sync(QString &reason)
{
    if (::fdatasync(int(m_handle)) == 0)
        return true;
    reason = systemReason(errno);
    return false;
}
