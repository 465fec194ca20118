#include "serial_device.h"

#include "link/port_hangup.h"
#include "link/port_lock.h"

#include <QtSerialPort/QSerialPort>

struct SerialDevice::Private
{
    QSerialPort port;
    PortHangupWatch hangup;
    QString failure;
    bool permissionDenied = false;

    void keepOpenFailure();
};

bool SerialDevice::announcesArrivals()
{
    return true;
}

SerialDevice::SerialDevice(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    connect(&d->port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        // A failed write means the board cannot be reached whatever the cause; the hang-up watch sees a line
        // that went away while idle, which some Qt releases never report as an error.
        if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
            error == QSerialPort::WriteError)
            emit failed();
    });
    connect(&d->port, &QSerialPort::readyRead, this, &SerialDevice::bytesArrived);
    connect(&d->hangup, &PortHangupWatch::hungUp, this, &SerialDevice::failed);
}

SerialDevice::~SerialDevice()
{
    close();
}

bool SerialDevice::open(const QString &name)
{
    d->failure.clear();
    d->permissionDenied = false;
    d->port.setPortName(name);
    if (!d->port.open(QIODevice::ReadWrite)) {
        d->keepOpenFailure();
        close();
        return false;
    }

    // Raw 8N1 without flow control: the line must carry every byte value unchanged.
    const bool configured =
        d->port.setBaudRate(QSerialPort::Baud19200) && d->port.setDataBits(QSerialPort::Data8) &&
        d->port.setParity(QSerialPort::NoParity) && d->port.setStopBits(QSerialPort::OneStop) &&
        d->port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        d->keepOpenFailure();
        // Never keep a port that we could not set up: our own hold would make every retry fail.
        close();
        return false;
    }
    d->port.clearError();
    d->hangup.watch(d->port.handle());
    return true;
}

bool SerialDevice::isOpen() const
{
    return d->port.isOpen();
}

QString SerialDevice::failureReason() const
{
    return d->failure;
}

bool SerialDevice::isPermissionDenied() const
{
    return d->permissionDenied;
}

qint64 SerialDevice::read(char *buffer, qint64 capacity)
{
    return d->port.read(buffer, capacity);
}

qint64 SerialDevice::write(char byte)
{
    return d->port.write(&byte, 1);
}

void SerialDevice::flush()
{
    d->port.flush();
}

qint64 SerialDevice::bytesWaiting()
{
    return d->port.bytesAvailable();
}

void SerialDevice::close()
{
    // Before the close: the system may hand the port's descriptor to whatever opens next.
    d->hangup.stop();
    if (d->port.isOpen())
        d->port.close();
}

void SerialDevice::Private::keepOpenFailure()
{
    failure = port.errorString();
    if (port.error() != QSerialPort::PermissionError)
        return;
    // Qt says "Permission error" whenever it cannot make the port's lock file, whatever the system said.
    const QString lockProblem = portLockProblem(port.portName());
    if (!lockProblem.isEmpty()) {
        failure = lockProblem;
        return;
    }
    // A port locked by another program is not a matter of permissions either; only Qt's text tells it apart.
    permissionDenied = !failure.contains(QLatin1String("lock"));
}
