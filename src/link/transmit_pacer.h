#pragma once

#include "link/command_sender.h"

#include <QtCore/QtGlobal>

class LinkView;
class PortAccess;
struct LinkState;

// Sends the frame in BufferTx one byte per tick of TimerInvioChar, flushing after each byte,
// and logs each byte in hexadecimal in txtSend while logging is checked.
class TransmitPacer final : public FrameSender
{
    Q_DISABLE_COPY_MOVE(TransmitPacer)

public:
    TransmitPacer(LinkState &state, PortAccess &port, LinkView &view);

    void AvviaInvio(const int16_t &n) override;
    void tick();

private:
    LinkState &m_state;
    PortAccess &m_port;
    LinkView &m_view;
};
