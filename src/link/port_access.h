#pragma once

#include "link/port_hangup.h"

#include <QtCore/QObject>
#include <QtSerialPort/QSerialPort>

#include <cstdint>

// The program's only contact with the serial port of the board. It opens the port exclusively
// at 19200 8N1, reads without waiting, writes single bytes and flushes them, and closes.
// It decides nothing about when; the controller, the pacer and the poller call it.
class PortAccess final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PortAccess)

public:
    static constexpr int ReadCapacity = 1024;

    explicit PortAccess(QObject *parent = nullptr);
    ~PortAccess() override;

    // The name is used as typed: a bare name such as ttyACM0 is looked up under /dev.
    bool open(const QString &name);
    // False once the port is lost, even before the queued close has run.
    bool isOpen() const;
    // Why the last open failed, in the system's words; empty after a successful open.
    QString openFailureReason() const;
    bool isPermissionDenied() const;

    // Takes what has arrived, at most `capacity` bytes, without waiting. Fails with no port.
    bool read(uint8_t *buffer, int capacity, int &count);
    bool writeByte(uint8_t value, int &written);
    void flush();
    void close();

    // Bytes received and not read yet.
    qint64 bytesWaiting() const;

signals:
    // The open port stopped working (board unplugged): the system says the line hung up, or a read or a
    // write failed. Emitted once, after the port is closed.
    void deviceLost();
    // New bytes have come in from the board and wait to be read.
    void bytesArrived();

private:
    void keepOpenFailure();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void markLost();
    void closeLostPort();
    void closePort();

    QSerialPort m_port;
    PortHangupWatch m_hangup;
    QString m_openFailure;
    bool m_permissionDenied = false;
    bool m_lossPending = false;
    bool m_closing = false;
};
