#pragma once

#include "link/link_view.h"
#include "link/receive_clock.h"

#include <QtCore/QObject>
#include <QtCore/QTimer>

class PortAccess;

// The link's four timers, widget-free so that any view, with or without a screen, can own them:
// TimerPorta 2000 ms, tmrReceive 10 ms, TimerInvioChar 1 ms, TimerRispostaInterrogazione 200 ms.
class LinkTimers final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkTimers)

public:
    static constexpr int TimerPortaMs = 2000;
    static constexpr int TmrReceiveMs = 10;
    static constexpr int TimerInvioCharMs = 1;
    static constexpr int TimerRispostaInterrogazioneMs = 200;

    explicit LinkTimers(PortAccess &port, QObject *parent = nullptr);
    ~LinkTimers() override;

    // TimerPorta and tmrReceive run from start-up.
    void startUp();
    // Enabling a running timer leaves it running as it was, without restarting its period.
    void setEnabled(LinkTimer which, bool enabled);

    // TimerPorta, TimerInvioChar and TimerRispostaInterrogazione; tmrReceive is receiveClock().
    QTimer &timer(LinkTimer which);
    ReceiveClock &receiveClock();

private:
    QTimer m_timerPorta;
    QTimer m_timerInvioChar;
    QTimer m_timerRispostaInterrogazione;
    ReceiveClock m_tmrReceive;
};
