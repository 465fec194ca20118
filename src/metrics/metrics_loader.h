#pragma once

#include "protocol/reading_output.h"

#include <QtCore/QString>

#include <functional>
#include <memory>
#include <optional>

// What a metrics endpoint is asked to be.
struct MetricsRequest
{
    QString listen;  // [ADDRESS:]PORT
    QString version; // for vantro_build_info
    int expireAfterSeconds = 120;
    // Readings waiting for the broker, asked at each scrape; none while nothing is published.
    std::function<std::optional<qint64>()> waitingReadings;
};

// The metrics endpoint lives in a module of its own, loaded only when asked for, so that a run without it
// never maps the HTTP server's and the network's libraries. Gives the endpoint, listening, or nothing and a
// one-line reason in `error`: an address that cannot be read or had, or a build without the module.
std::unique_ptr<ReadingOutput> startMetrics(const MetricsRequest &request, QString &error);

// The module's one entry point.
using StartMetricsFunction = ReadingOutput *(*)(const MetricsRequest &request, QString &error);
inline constexpr char StartMetricsSymbol[] = "vantro_start_metrics";
