#pragma once

#include <QtCore/QObject>
#include <QtCore/QString>

#include <memory>

// A serial port as the system offers it, set up raw at 19200 8N1 without flow control. It knows nothing
// of boards and decides nothing about when; PortAccess does. One implementation per platform:
// serial_device_qt.cpp (QSerialPort) and serial_device_win32.cpp (the Win32 communications calls).
class SerialDevice final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialDevice)

public:
    // Whether bytesArrived() comes when bytes come in. Where it does not, readers poll bytesWaiting().
    static bool announcesArrivals();

    explicit SerialDevice(QObject *parent = nullptr);
    ~SerialDevice() override;

    // Opens the port exclusively and sets it up; on failure holds nothing, and failureReason() says why.
    bool open(const QString &name);
    bool isOpen() const;
    QString failureReason() const;
    // The last open failed for want of the user's rights, which joining a group would give.
    bool isPermissionDenied() const;

    // Each returns -1 after a failure, which failed() reports as well.
    qint64 read(char *buffer, qint64 capacity);
    qint64 write(char byte);
    void flush();
    // Bytes received and not read yet.
    qint64 bytesWaiting();
    void close();

signals:
    // New bytes wait to be read; only where announcesArrivals().
    void bytesArrived();
    // A read or a write failed, or the system said that the device went away. May come from inside
    // any call on the open port.
    void failed();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
