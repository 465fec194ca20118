#include "receive_poller.h"

#include "link/link_state.h"
#include "link/link_view.h"
#include "link/port_access.h"
#include "link/reply_recognition.h"

#include <QtCore/QDateTime>

#include <array>
#include <limits>

ReceivePoller::ReceivePoller(LinkState &state, PortAccess &port, LinkView &view, QObject *parent)
    : QObject(parent), m_state(state), m_port(port), m_view(view)
{}

ReceivePoller::~ReceivePoller() = default;

void ReceivePoller::tick()
{
    std::array<uint8_t, PortAccess::ReadCapacity> buffer{};
    int n = 0;
    if (m_port.read(buffer.data(), int(buffer.size()), n))
        take(buffer.data(), n);
}

void ReceivePoller::take(const uint8_t *bytes, int n)
{
    if (n <= 0)
        return;
    count(n);
    // The log is built byte by byte but shown once per read: nothing can repaint or read the box
    // in between, and laying out a thousand characters for every byte would cost more than the rest.
    QString log;
    bool logged = false;
    for (int i = 0; i < n; ++i) {
        if (!m_view.isLoggingChecked())
            continue;
        if (!logged)
            log = m_view.text(TextBox::TextBin);
        logged = true;
        appendToLog(log, bytes[i]);
    }
    if (logged)
        m_view.setText(TextBox::TextBin, log);
    if (const auto reading =
            recogniseReply(m_state, bytes, n, m_view, QDateTime::currentMSecsSinceEpoch(), m_offset))
        emit readingTaken(*reading);
    else if (n > 0)
        emit replyRejected();
}

void ReceivePoller::setOffset(int32_t hundredths)
{
    m_offset = hundredths;
}

void ReceivePoller::count(int n)
{
    // A board that streams bytes that never form a reply must not wrap the count round.
    constexpr int32_t largest = std::numeric_limits<int32_t>::max();
    m_state.NByteRicevuti = m_state.NByteRicevuti > largest - n ? largest : m_state.NByteRicevuti + n;
}

void ReceivePoller::appendToLog(QString &log, uint8_t byte)
{
    log += QLatin1Char('-') + QString::number(byte);
    // Emptied, not trimmed: the box restarts from nothing once it passes the limit.
    if (log.size() > LogLimit)
        log.clear();
}
