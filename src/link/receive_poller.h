#pragma once

#include "protocol/reading.h"

#include <QtCore/QObject>
#include <QtCore/QString>

class LinkView;
class PortAccess;
struct LinkState;

// The only reader of the port: on each tick of tmrReceive it takes what has arrived, counts it,
// logs it in decimal in TextBin while logging is checked, and hands the read to reply recognition.
// Every reply that shows a temperature goes out as a reading to whoever listens.
class ReceivePoller final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReceivePoller)

public:
    static constexpr int LogLimit = 1000;

    ReceivePoller(LinkState &state, PortAccess &port, LinkView &view, QObject *parent = nullptr);
    ~ReceivePoller() override;

    void tick();
    // The board's calibration, added to each temperature from the next reply on.
    void setOffset(int32_t hundredths);
    // What a tick does with the bytes it read: count them, log them, and look for a reply.
    void take(const uint8_t *bytes, int n);

signals:
    void readingTaken(const Reading &reading);
    // A read that was not one whole reply with a temperature.
    void replyRejected();

private:
    void count(int n);
    static void appendToLog(QString &log, uint8_t byte);

    LinkState &m_state;
    PortAccess &m_port;
    LinkView &m_view;
    int32_t m_offset = 0;
};
