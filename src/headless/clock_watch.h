#pragma once

#include "headless/clock_state.h"

#include <QtCore/QObject>
#include <QtCore/QTimer>

#include <functional>

// Says once when the system clock is not synchronised, since every reading is stamped with it, and again
// once it is. It asks at the start and then once a minute; it never stops the run.
class ClockWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClockWatch)

public:
    using Probe = std::function<ClockState()>;

    static constexpr int CheckIntervalMs = 60 * 1000;

    explicit ClockWatch(Probe probe = systemProbe(), int intervalMs = CheckIntervalMs,
                        QObject *parent = nullptr);
    ~ClockWatch() override;

    void start();

    // The kernel's answer, or VANTRO_CLOCK_STATE ("synchronised" or "unsynchronised") in its place, so
    // that a run can be tried on either side of it.
    static Probe systemProbe();

signals:
    void said(const QString &line);

private:
    void check();

    Probe m_probe;
    QTimer m_timer;
    bool m_unsynchronisedSaid = false;
};
