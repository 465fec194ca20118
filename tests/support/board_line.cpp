#include "board_line.h"

#include "line_probe.h"
#include "pseudo_terminal.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QSocketNotifier>

#include <ctime>
#include <poll.h>
#include <unistd.h>

struct BoardLine::Line
{
    PseudoTerminal pty;
    QElapsedTimer clock;
    QByteArray received;
    QList<Burst> bursts;
    bool reading = true;
    // Declared after the line: gone before its descriptor closes.
    std::unique_ptr<QSocketNotifier> watch;

    // Takes what has reached the board's end, without waiting.
    void drain()
    {
        char buffer[256];
        ssize_t n = 0;
        while (reading && pty.masterFd() >= 0 && (n = ::read(pty.masterFd(), buffer, sizeof buffer)) > 0) {
            received.append(buffer, n);
            bursts << Burst{clock.elapsed(), int(n)};
        }
    }
    QByteArray take(qsizetype count)
    {
        const QByteArray taken = received.left(count);
        received.remove(0, taken.size());
        return taken;
    }
};

BoardLine::BoardLine() : m_line(std::make_unique<Line>())
{
    m_line->clock.start();
    if (m_line->pty.masterFd() < 0)
        return;
    m_line->watch = std::make_unique<QSocketNotifier>(m_line->pty.masterFd(), QSocketNotifier::Read);
    QObject::connect(m_line->watch.get(), &QSocketNotifier::activated,
                     [line = m_line.get()] { line->drain(); });
}

BoardLine::~BoardLine() = default;

QString BoardLine::portPath() const
{
    return m_line->pty.portPath();
}

void BoardLine::write(const QByteArray &bytes)
{
    m_line->pty.write(bytes);
}

QByteArray BoardLine::read(int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    m_line->drain();
    while (m_line->received.size() < count && !deadline.hasExpired() && m_line->pty.masterFd() >= 0) {
        pollfd fd{m_line->pty.masterFd(), POLLIN, 0};
        if (::poll(&fd, 1, int(deadline.remainingTime())) > 0)
            m_line->drain();
    }
    return m_line->take(count);
}

QByteArray BoardLine::readPending()
{
    m_line->drain();
    return m_line->take(m_line->received.size());
}

QList<BoardLine::Burst> BoardLine::bursts()
{
    m_line->drain();
    return m_line->bursts;
}

QString BoardLine::settings()
{
    return lineSettings(portPath());
}

int BoardLine::holders()
{
    // The pseudo-terminal keeps its port end open itself.
    return openCount(portPath()) - 1;
}

void BoardLine::stopReading()
{
    m_line->reading = false;
    m_line->watch.reset();
}

void BoardLine::hangUp()
{
    m_line->watch.reset();
    m_line->pty.hangUp();
}

void BoardLine::pullCable()
{
    m_line->watch.reset();
    m_line->pty.pullCable();
}

int openDescriptorCount()
{
    return int(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

bool underWine()
{
    return false;
}

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}
