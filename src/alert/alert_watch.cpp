#include "alert_watch.h"

#include "protocol/temperature_text.h"

QString AlertEvent::text(const QString &decimalPoint) const
{
    const QString value = hundredthsText(reading.hundredths, decimalPoint);
    const QString limit = hundredthsText(threshold, decimalPoint);
    switch (kind) {
    case Kind::High:
        return QStringLiteral("%1 \u00B0C is above the high limit of %2 \u00B0C").arg(value, limit);
    case Kind::Low:
        return QStringLiteral("%1 \u00B0C is below the low limit of %2 \u00B0C").arg(value, limit);
    case Kind::BackWithin:
        break;
    }
    return QStringLiteral("%1 \u00B0C: back within limits").arg(value);
}

AlertWatch::AlertWatch(QObject *parent) : QObject(parent) {}

AlertWatch::~AlertWatch() = default;

AlertLimits AlertWatch::limits() const
{
    return m_limits;
}

void AlertWatch::setLimits(const AlertLimits &limits)
{
    m_limits = limits;
    m_aboveHigh = false;
    m_belowLow = false;
}

void AlertWatch::check(const Reading &reading)
{
    const int32_t t = reading.hundredths;
    const bool wasAbove = m_aboveHigh;
    const bool wasBelow = m_belowLow;
    if (m_limits.high) {
        if (!m_aboveHigh && t > *m_limits.high) {
            m_aboveHigh = true;
            raise(AlertEvent::Kind::High, reading, *m_limits.high);
        } else if (m_aboveHigh && t <= *m_limits.high - Hysteresis) {
            m_aboveHigh = false;
        }
    }
    if (m_limits.low) {
        if (!m_belowLow && t < *m_limits.low) {
            m_belowLow = true;
            raise(AlertEvent::Kind::Low, reading, *m_limits.low);
        } else if (m_belowLow && t >= *m_limits.low + Hysteresis) {
            m_belowLow = false;
        }
    }
    if ((wasAbove || wasBelow) && !m_aboveHigh && !m_belowLow)
        raise(AlertEvent::Kind::BackWithin, reading, wasAbove ? *m_limits.high : *m_limits.low);
}

const QList<AlertEvent> &AlertWatch::events() const
{
    return m_events;
}

void AlertWatch::raise(AlertEvent::Kind kind, const Reading &reading, int32_t threshold)
{
    const AlertEvent event{kind, reading, threshold};
    if (m_events.size() >= KeptEvents)
        m_events.removeFirst();
    m_events.append(event);
    emit alerted(event);
}
