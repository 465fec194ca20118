#include "port_access.h"

#include "link/port_lock.h"

PortAccess::PortAccess(QObject *parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &PortAccess::onErrorOccurred);
    connect(&m_port, &QSerialPort::readyRead, this, &PortAccess::bytesArrived);
    connect(&m_hangup, &PortHangupWatch::hungUp, this, &PortAccess::markLost);
}

PortAccess::~PortAccess()
{
    closePort();
}

bool PortAccess::open(const QString &name)
{
    // A second open of our own would otherwise hold the earlier port until exit.
    closePort();

    m_openFailure.clear();
    m_permissionDenied = false;
    m_port.setPortName(name);
    if (!m_port.open(QIODevice::ReadWrite)) {
        keepOpenFailure();
        closePort();
        return false;
    }

    // Raw 8N1 without flow control: the line must carry every byte value unchanged.
    const bool configured =
        m_port.setBaudRate(QSerialPort::Baud19200) && m_port.setDataBits(QSerialPort::Data8) &&
        m_port.setParity(QSerialPort::NoParity) && m_port.setStopBits(QSerialPort::OneStop) &&
        m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        keepOpenFailure();
        // Never keep a port that we could not set up: our own hold would make every retry fail.
        closePort();
        return false;
    }
    m_port.clearError();
    m_hangup.watch(m_port.handle());
    return true;
}

bool PortAccess::isOpen() const
{
    return m_port.isOpen() && !m_lossPending && !m_closing;
}

QString PortAccess::openFailureReason() const
{
    return m_openFailure;
}

bool PortAccess::isPermissionDenied() const
{
    return m_permissionDenied;
}

bool PortAccess::read(uint8_t *buffer, int capacity, int &count)
{
    count = 0;
    if (!isOpen())
        return false;
    const qint64 got = m_port.read(reinterpret_cast<char *>(buffer), qMin(capacity, ReadCapacity));
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
    const char byte = char(value);
    const qint64 result = m_port.write(&byte, 1);
    if (result < 0)
        return false;
    written = int(result);
    return true;
}

void PortAccess::flush()
{
    if (isOpen())
        m_port.flush();
}

void PortAccess::close()
{
    closePort();
}

qint64 PortAccess::bytesWaiting() const
{
    return isOpen() ? m_port.bytesAvailable() : 0;
}

void PortAccess::keepOpenFailure()
{
    m_openFailure = m_port.errorString();
    if (m_port.error() != QSerialPort::PermissionError)
        return;
    // Qt says "Permission error" whenever it cannot make the port's lock file, whatever the system said.
    const QString lockProblem = portLockProblem(m_port.portName());
    if (!lockProblem.isEmpty()) {
        m_openFailure = lockProblem;
        return;
    }
    // A port locked by another program is not a matter of permissions either; only Qt's text tells it apart.
    m_permissionDenied = !m_openFailure.contains(QLatin1String("lock"));
}

void PortAccess::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // A failed write means the board cannot be reached whatever the cause; the hang-up watch sees a line that
    // went away while idle, which some Qt releases never report as an error.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
        error == QSerialPort::WriteError)
        markLost();
}

void PortAccess::markLost()
{
    if (!isOpen())
        return;
    // The error may come from inside a write or a flush in the middle of a pacer tick:
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
    // Before the close: the system may hand the port's descriptor to whatever opens next.
    m_hangup.stop();
    if (!m_port.isOpen())
        return;
    // Closing a dead device raises errors of its own; they are not a new loss.
    m_closing = true;
    m_port.close();
    m_closing = false;
}
