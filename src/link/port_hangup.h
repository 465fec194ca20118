#pragma once

#include <QtCore/QObject>
#include <QtSerialPort/QSerialPort>

#include <memory>
#include <utility>

// The system's handle of an open port, as QSerialPort::handle() gives it: a descriptor, or a HANDLE on
// Windows.
using PortHandle = decltype(std::declval<const QSerialPort &>().handle());

// Watches an open serial port for the system's own word that the device behind it is gone, whatever
// QSerialPort makes of it: Qt releases differ on whether the end of a hung-up line is an error at all.
// It sleeps until the system wakes it, never for ordinary bytes, and reads nothing: every byte stays
// for QSerialPort's reader. One implementation per platform (port_hangup_posix.cpp).
class PortHangupWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PortHangupWatch)

public:
    explicit PortHangupWatch(QObject *parent = nullptr);
    ~PortHangupWatch() override;

    // Watches the open port behind `handle` until stop() or the next watch().
    void watch(PortHandle handle);
    // Call before the port is closed: the system may give its handle to the next port opened.
    void stop();

signals:
    // The watched port hung up. Said once per watch.
    void hungUp();

private:
    void onSystemWake();

    // What the system wakes us through: a socket notifier, or an event notifier on Windows.
    std::unique_ptr<QObject> m_wake;
    PortHandle m_handle{};
};
