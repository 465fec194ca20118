#include "receive_clock.h"

#include "link/port_access.h"
#include "link/serial_device.h"

ReceiveClock::ReceiveClock(PortAccess &port, int intervalMs, QObject *parent)
    : QObject(parent), m_port(port), m_interval(intervalMs),
      m_asksEveryGridPoint(!SerialDevice::announcesArrivals())
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
    if (isDue())
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
    // Armed only for bytes that arrived, unless the port cannot say when they do.
    if (!m_asksEveryGridPoint || m_port.bytesWaiting() > 0)
        emit timeout();
    // A read takes at most a buffer's worth; whatever is left is read at the next grid point.
    if (isActive() && isDue())
        armForNextGridPoint();
}

bool ReceiveClock::isDue() const
{
    return m_asksEveryGridPoint || m_port.bytesWaiting() > 0;
}

void ReceiveClock::armForNextGridPoint()
{
    const qint64 sinceGridStart = m_grid.elapsed();
    m_due.start(int(m_interval - sinceGridStart % m_interval));
}
