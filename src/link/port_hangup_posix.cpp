#include "port_hangup.h"

#include <QtCore/QSocketNotifier>

#include <cerrno>
#include <poll.h>
#include <termios.h>

PortHangupWatch::PortHangupWatch(QObject *parent) : QObject(parent) {}

PortHangupWatch::~PortHangupWatch() = default;

void PortHangupWatch::watch(PortHandle handle)
{
    stop();
    // Both of Qt's event dispatchers wake an exception notifier on POLLERR and POLLHUP, which a hung-up
    // line reports for ever, and not for bytes waiting. The read notifier of the same descriptor stays
    // QSerialPort's: a second one would replace it.
    auto notifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Exception);
    connect(notifier.get(), &QSocketNotifier::activated, this, &PortHangupWatch::onSystemWake);
    m_handle = handle;
    m_wake = std::move(notifier);
}

void PortHangupWatch::stop()
{
    m_wake.reset();
}

bool PortHangupWatch::isWatching() const
{
    return m_wake != nullptr;
}

bool PortHangupWatch::isGone(PortHandle handle)
{
    pollfd line{handle, POLLIN, 0};
    if (::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return true;
    // A terminal whose device has gone fails every request with EIO, the end of the line included.
    termios settings{};
    if (::tcgetattr(handle, &settings) == 0)
        return false;
    return errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF;
}

void PortHangupWatch::onSystemWake()
{
    if (!isGone(m_handle))
        return;
    // The condition lasts until the port is closed: left on, the notifier would wake every pass of the loop.
    static_cast<QSocketNotifier *>(m_wake.get())->setEnabled(false);
    emit hungUp();
}
