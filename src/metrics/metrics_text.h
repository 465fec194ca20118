#pragma once

#include "protocol/reading.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <optional>

// The Content-Type of the exposition below.
inline constexpr char MetricsContentType[] = "text/plain; version=0.0.4; charset=utf-8";

// What the metrics endpoint knows at one moment.
struct MetricsState
{
    std::optional<Reading> lastReading;
    QString port;                  // the port the last reading came from
    bool temperatureFresh = false; // the last reading is recent enough to stand for the temperature now
    bool boardUp = false;
    qint64 readings = 0;
    qint64 rejectedReplies = 0;
    std::optional<qint64> waitingReadings; // none when nothing is published
    QString version;
};

// `state` in Prometheus' text format 0.0.4: every family with its HELP and TYPE, samples without
// timestamps. A family with nothing to say (no reading yet, a stale temperature, no publisher) is left out.
QByteArray metricsText(const MetricsState &state);

// A label value as the format writes it between quotes: backslash, double quote and line feed escaped.
QByteArray escapedLabelValue(const QString &value);
