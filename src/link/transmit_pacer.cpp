#include "transmit_pacer.h"

#include "link/link_state.h"
#include "link/link_view.h"
#include "link/port_access.h"

TransmitPacer::TransmitPacer(LinkState &state, PortAccess &port, LinkView &view)
    : m_state(state), m_port(port), m_view(view)
{}

void TransmitPacer::AvviaInvio(const int16_t &n)
{
    m_state.IndiceInvio = 0;
    m_state.NByteDaInviare = n;
    m_view.setTimerEnabled(LinkTimer::TimerInvioChar, true);
}

void TransmitPacer::tick()
{
    // A tick with the frame already sent has nothing to send; it must not run past the buffer.
    if (m_state.IndiceInvio >= m_state.NByteDaInviare || m_state.IndiceInvio >= LinkState::BufferSize - 1) {
        m_view.setTimerEnabled(LinkTimer::TimerInvioChar, false);
        return;
    }

    m_state.IndiceInvio += 1;
    const uint8_t byte = m_state.BufferTx[m_state.IndiceInvio];
    int written = 0;
    const bool ok = m_port.writeByte(byte, written);

    // The log shows what was attempted, whether or not the port took it.
    if (m_view.isLoggingChecked()) {
        m_view.setText(TextBox::txtSend, m_view.text(TextBox::txtSend) + QLatin1Char('-') +
                                             QString::number(byte, 16).toUpper());
    }
    if (ok && written == 1)
        m_port.flush();

    if (m_state.IndiceInvio >= m_state.NByteDaInviare)
        m_view.setTimerEnabled(LinkTimer::TimerInvioChar, false);
}
