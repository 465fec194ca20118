#include "port_access.h"

#include "link/serial_device.h"

PortAccess::PortAccess(QObject *parent) : QObject(parent), m_device(std::make_unique<SerialDevice>())
{
    connect(m_device.get(), &SerialDevice::failed, this, &PortAccess::markLost);
    connect(m_device.get(), &SerialDevice::bytesArrived, this, &PortAccess::bytesArrived);
}

PortAccess::~PortAccess()
{
    closePort();
}

bool PortAccess::open(const QString &name)
{
    // A second open of our own would otherwise hold the earlier port until exit.
    closePort();
    return m_device->open(name);
}

bool PortAccess::isOpen() const
{
    return m_device->isOpen() && !m_lossPending && !m_closing;
}

QString PortAccess::openFailureReason() const
{
    return m_device->failureReason();
}

bool PortAccess::isPermissionDenied() const
{
    return m_device->isPermissionDenied();
}

bool PortAccess::read(uint8_t *buffer, int capacity, int &count)
{
    count = 0;
    if (!isOpen())
        return false;
    const qint64 got = m_device->read(reinterpret_cast<char *>(buffer), qMin(capacity, ReadCapacity));
    if (got < 0)
        return false;
    count = int(got);
    return true;
}

bool PortAccess::writeByte(uint8_t value, int &written)
{
    written = 0;
    if (!isOpen())
        return false;
    const qint64 result = m_device->write(char(value));
    if (result < 0)
        return false;
    written = int(result);
    return true;
}

void PortAccess::flush()
{
    if (isOpen())
        m_device->flush();
}

void PortAccess::close()
{
    closePort();
}

qint64 PortAccess::bytesWaiting() const
{
    return isOpen() ? m_device->bytesWaiting() : 0;
}

void PortAccess::markLost()
{
    if (!isOpen())
        return;
    // The failure may come from inside a write or a flush in the middle of a pacer tick:
    // close once the current handler has returned, not from under it.
    m_lossPending = true;
    QMetaObject::invokeMethod(this, &PortAccess::closeLostPort, Qt::QueuedConnection);
}

void PortAccess::closeLostPort()
{
    if (!m_lossPending)
        return;
    closePort();
    emit deviceLost();
}

void PortAccess::closePort()
{
    m_lossPending = false;
    // Closing a dead device raises errors of its own; they are not a new loss.
    m_closing = true;
    m_device->close();
    m_closing = false;
}
