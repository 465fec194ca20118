#include "link_timers.h"

LinkTimers::LinkTimers(PortAccess &port, QObject *parent) : QObject(parent), m_tmrReceive(port, TmrReceiveMs)
{
    const struct
    {
        QTimer &timer;
        const char *name;
        int interval;
    } timers[] = {
        {m_timerPorta, "TimerPorta", TimerPortaMs},
        {m_timerInvioChar, "TimerInvioChar", TimerInvioCharMs},
        {m_timerRispostaInterrogazione, "TimerRispostaInterrogazione", TimerRispostaInterrogazioneMs},
    };
    for (const auto &t : timers) {
        t.timer.setObjectName(QString::fromLatin1(t.name));
        t.timer.setInterval(t.interval);
    }
    m_tmrReceive.setObjectName(QStringLiteral("tmrReceive"));
    // A coarse timer may fire up to 5 % early: a 200 ms reply window of 190 ms would call a board that
    // answers in 195 ms wrong, and retries would drift between 1.9 and 2.1 s.
    for (QTimer *timer : {&m_timerInvioChar, &m_timerRispostaInterrogazione, &m_timerPorta})
        timer->setTimerType(Qt::PreciseTimer);
}

LinkTimers::~LinkTimers() = default;

void LinkTimers::startUp()
{
    m_timerPorta.start();
    m_tmrReceive.start();
}

void LinkTimers::setEnabled(LinkTimer which, bool enabled)
{
    if (which == LinkTimer::tmrReceive) {
        if (enabled)
            m_tmrReceive.start();
        else
            m_tmrReceive.stop();
        return;
    }
    QTimer &t = timer(which);
    if (enabled && !t.isActive())
        t.start();
    else if (!enabled)
        t.stop();
}

QTimer &LinkTimers::timer(LinkTimer which)
{
    Q_ASSERT(which != LinkTimer::tmrReceive);
    switch (which) {
    case LinkTimer::TimerPorta:
        return m_timerPorta;
    case LinkTimer::TimerInvioChar:
        return m_timerInvioChar;
    case LinkTimer::tmrReceive:
    case LinkTimer::TimerRispostaInterrogazione:
        break;
    }
    return m_timerRispostaInterrogazione;
}

ReceiveClock &LinkTimers::receiveClock()
{
    return m_tmrReceive;
}
