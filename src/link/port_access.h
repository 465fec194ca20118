#pragma once

#include <QtCore/QObject>

#include <cstdint>
#include <memory>

class SerialDevice;

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

    // The name is used as typed: on Linux a bare name such as ttyACM0 is looked up under /dev; on Windows
    // COM3 and \\.\COM3 name the same port.
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

    // Bytes received and not read yet. Where the system does not announce arrivals (Windows), asking is
    // also how a port that went away while idle is found.
    qint64 bytesWaiting() const;

signals:
    // The open port stopped working (board unplugged): the system says the line hung up, or a read or a
    // write failed. Emitted once, after the port is closed.
    void deviceLost();
    // New bytes have come in from the board and wait to be read; only where
    // SerialDevice::announcesArrivals().
    void bytesArrived();

private:
    void markLost();
    void closeLostPort();
    void closePort();

    // Behind a pointer: asking how many bytes wait may find the port gone, even from a const call.
    std::unique_ptr<SerialDevice> m_device;
    bool m_lossPending = false;
    bool m_closing = false;
};
