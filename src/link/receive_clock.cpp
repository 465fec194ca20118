#include "receive_clock.h"

#include "link/port_access.h"

ReceiveClock::ReceiveClock(PortAccess &port, int intervalMs, QObject *parent)
    : QObject(parent), m_port(port), m_interval(intervalMs)
{
    // Grid points are a few ms apart: a coarse timer's slack would move them.
    m_due.setTimerType(Qt::PreciseTimer);
    m_due.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, &ReceiveClock::onGridPoint);
    connect(&m_port, &PortAccess::bytesArrived, this, &ReceiveClock::onBytesArrived);
}

ReceiveClock::~ReceiveClock() = default;

int ReceiveClock::interval() const
{
    return m_interval;
}

bool ReceiveClock::isActive() const
{
    return m_grid.isValid();
}

void ReceiveClock::start()
{
    if (isActive())
        return;
    m_grid.start();
    if (m_port.bytesWaiting() > 0)
        armForNextGridPoint();
}

void ReceiveClock::stop()
{
    m_grid.invalidate();
    m_due.stop();
}

void ReceiveClock::onBytesArrived()
{
    if (isActive() && !m_due.isActive())
        armForNextGridPoint();
}

void ReceiveClock::onGridPoint()
{
    emit timeout();
    // A read takes at most a buffer's worth; whatever is left is read at the next grid point.
    if (isActive() && m_port.bytesWaiting() > 0)
        armForNextGridPoint();
}

void ReceiveClock::armForNextGridPoint()
{
    const qint64 sinceGridStart = m_grid.elapsed();
    m_due.start(int(m_interval - sinceGridStart % m_interval));
}
