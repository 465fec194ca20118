#include "clock_watch.h"

ClockWatch::ClockWatch(Probe probe, int intervalMs, QObject *parent)
    : QObject(parent), m_probe(std::move(probe))
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ClockWatch::check);
}

ClockWatch::~ClockWatch() = default;

void ClockWatch::start()
{
    check();
    m_timer.start();
}

ClockWatch::Probe ClockWatch::systemProbe()
{
    const QByteArray given = qgetenv("VANTRO_CLOCK_STATE");
    if (given == "synchronised")
        return [] { return ClockState::Synchronised; };
    if (given == "unsynchronised")
        return [] { return ClockState::Unsynchronised; };
    return systemClockState;
}

void ClockWatch::check()
{
    const ClockState state = m_probe();
    if (state == ClockState::Unsynchronised && !m_unsynchronisedSaid) {
        m_unsynchronisedSaid = true;
        emit said(QStringLiteral("The system clock is not synchronised: readings are stamped with a time "
                                 "that may be wrong"));
    } else if (state == ClockState::Synchronised && m_unsynchronisedSaid) {
        m_unsynchronisedSaid = false;
        emit said(QStringLiteral("The system clock is synchronised"));
    }
}
