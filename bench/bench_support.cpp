#include "bench_support.h"

#include <QtCore/QEventLoop>
#include <QtCore/QSettings>
#include <QtCore/QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

long residentKb()
{
    long pages = 0;
    long resident = 0;
    if (std::FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long peakResidentKb()
{
    long peak = 0;
    if (std::FILE *status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1)
                break;
        }
        std::fclose(status);
    }
    return peak;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void printFigures(const char *what, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    std::printf("%s samples=%zu median_ms=%.2f worst_ms=%.2f\n", what, samples.size(), median,
                samples.back());
}

ThrowawayHome::ThrowawayHome()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_folder.path());
}

QString ThrowawayHome::filePath(const QString &name) const
{
    return m_folder.filePath(name);
}

ReplyStream::ReplyStream(std::function<void(qint64)> reply) : m_reply(std::move(reply))
{
    m_grid.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_grid, &QTimer::timeout, [this] {
        for (; m_sent < m_elapsed.elapsed() * RepliesPerSecond / 1000; ++m_sent)
            m_reply(m_sent);
    });
}

void ReplyStream::start()
{
    m_elapsed.start();
    m_grid.start(10);
}

void ReplyStream::stop()
{
    m_grid.stop();
}

qint64 ReplyStream::sent() const
{
    return m_sent;
}

double ReplyStream::seconds() const
{
    return double(m_elapsed.elapsed()) / 1000;
}
