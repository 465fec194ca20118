#pragma once

#include "alert/alert_limits.h"
#include "protocol/reading.h"

#include <QtCore/QList>
#include <QtCore/QObject>

// What a reading said about the limits.
struct AlertEvent
{
    enum class Kind
    {
        High,       // above the high limit
        Low,        // below the low limit
        BackWithin, // inside both limits again, by the hysteresis
    };
    Kind kind = Kind::High;
    Reading reading;
    int32_t threshold = 0; // the limit crossed, or left behind for BackWithin

    // One sentence, with the locale's decimal separator: "39,06 °C is above the high limit of 38,50 °C".
    QString text(const QString &decimalPoint) const;
};

// Watches the readings against the limits: one alert per crossing, and the same limit alerts again only
// after the temperature has come back inside it by Hysteresis; that return is said once as well.
class AlertWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlertWatch)

public:
    static constexpr int32_t Hysteresis = 50; // hundredths of a degree
    static constexpr qsizetype KeptEvents = 1000;

    explicit AlertWatch(QObject *parent = nullptr);
    ~AlertWatch() override;

    AlertLimits limits() const;
    // New limits start afresh: a reading already outside them alerts.
    void setLimits(const AlertLimits &limits);
    void check(const Reading &reading);
    // The latest events, oldest first, for the chart's marks.
    const QList<AlertEvent> &events() const;

signals:
    void alerted(const AlertEvent &event);

private:
    void raise(AlertEvent::Kind kind, const Reading &reading, int32_t threshold);

    AlertLimits m_limits;
    bool m_aboveHigh = false;
    bool m_belowLow = false;
    QList<AlertEvent> m_events;
};
