#pragma once

#include <QtCore/QString>
#include <QtCore/QtGlobal>

class LinkView;
class PortAccess;
struct LinkState;

// The only reader of the port: on each tick of tmrReceive it takes what has arrived, counts it,
// logs it in decimal in TextBin while logging is checked, and hands the read to reply recognition.
class ReceivePoller final
{
    Q_DISABLE_COPY_MOVE(ReceivePoller)

public:
    static constexpr int LogLimit = 1000;

    ReceivePoller(LinkState &state, PortAccess &port, LinkView &view);

    void tick();
    // What a tick does with the bytes it read: count them, log them, and look for a reply.
    void take(const uint8_t *bytes, int n);

private:
    void count(int n);
    static void appendToLog(QString &log, uint8_t byte);

    LinkState &m_state;
    PortAccess &m_port;
    LinkView &m_view;
};
