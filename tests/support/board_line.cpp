#include "board_line.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QDir>
#include <QtCore/QFile>

#include <ctime>
#include <poll.h>
#include <unistd.h>

QString BoardLine::portPath() const
{
    return m_line.portPath();
}

void BoardLine::write(const QByteArray &bytes)
{
    m_line.write(bytes);
}

QByteArray BoardLine::read(int count, int timeoutMs)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < count && !deadline.hasExpired()) {
        pollfd fd{m_line.masterFd(), POLLIN, 0};
        if (::poll(&fd, 1, int(deadline.remainingTime())) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(m_line.masterFd(), buffer, size_t(qMin<qsizetype>(count - got.size(), 256)));
        if (n > 0)
            got.append(buffer, n);
    }
    return got;
}

QByteArray BoardLine::readPending()
{
    QByteArray got;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(m_line.masterFd(), buffer, sizeof buffer)) > 0)
        got.append(buffer, n);
    return got;
}

void BoardLine::hangUp()
{
    m_line.hangUp();
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int openDescriptorCount()
{
    return int(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}
