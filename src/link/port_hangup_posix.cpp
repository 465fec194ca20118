#include "port_hangup.h"

#include <QtCore/QSocketNotifier>

#include <poll.h>

namespace {
// Asks the port at once, without waiting. A terminal whose device has gone (a board unplugged, the far
// end of a pseudo-terminal closed) is hung up for good: it reports POLLHUP and POLLERR until it is closed.
bool isGone(PortHandle handle)
{
    pollfd line{handle, POLLIN, 0};
    return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
} // namespace

PortHangupWatch::PortHangupWatch(QObject *parent) : QObject(parent) {}

PortHangupWatch::~PortHangupWatch() = default;

void PortHangupWatch::watch(PortHandle handle)
{
    stop();
    // Both of Qt's event dispatchers (glib's and its own) wake an exception notifier on POLLERR, which a
    // hung-up terminal reports, and never for bytes waiting, so a busy line costs nothing more. The read
    // notifier of the descriptor stays QSerialPort's: a second one would take its place.
    auto notifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Exception);
    connect(notifier.get(), &QSocketNotifier::activated, this, &PortHangupWatch::onSystemWake);
    m_handle = handle;
    m_wake = std::move(notifier);
}

void PortHangupWatch::stop()
{
    m_wake.reset();
}

void PortHangupWatch::onSystemWake()
{
    if (!isGone(m_handle))
        return;
    // The condition lasts until the port is closed: left on, the notifier would wake every pass of the loop.
    static_cast<QSocketNotifier *>(m_wake.get())->setEnabled(false);
    emit hungUp();
}
