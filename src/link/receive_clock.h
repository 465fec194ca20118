#pragma once

#include <QtCore/QElapsedTimer>
#include <QtCore/QObject>
#include <QtCore/QTimer>

class PortAccess;

// The receive poll's clock: ticks on a fixed grid of `interval` ms from the moment it is enabled,
// but only at grid points where the port holds something to read. A tick with nothing to read
// does nothing. Where the port announces arrivals, the clock sleeps through those and the program stays
// idle between replies; where it does not (Windows), the clock asks the port at every grid point.
class ReceiveClock final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReceiveClock)

public:
    ReceiveClock(PortAccess &port, int intervalMs, QObject *parent = nullptr);
    ~ReceiveClock() override;

    int interval() const;
    // Enabled, whether or not a tick is due.
    bool isActive() const;
    // Enabling a running clock leaves its grid where it was.
    void start();
    void stop();

signals:
    void timeout();

private:
    void onBytesArrived();
    void onGridPoint();
    void armForNextGridPoint();
    bool isDue() const;

    PortAccess &m_port;
    QTimer m_due;
    QElapsedTimer m_grid;
    int m_interval;
    bool m_asksEveryGridPoint;
};
