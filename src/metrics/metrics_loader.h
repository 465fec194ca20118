#pragma once

#include "protocol/reading_output.h"

#include <QtCore/QJsonObject>
#include <QtCore/QString>

#include <functional>
#include <memory>
#include <optional>

class ReadingHistory;

// What the station's web page reads of it, asked as each request or event needs it. All it refers to must
// outlive the endpoint.
struct SiteSource
{
    // The port, the link, the last reading, the broker, the limits and the offset, as /api/state answers.
    std::function<QJsonObject()> state;
    // The readings of the port, recorded and of this run.
    const ReadingHistory *history = nullptr;
    // Where the port's recorded days are, and the port; an empty folder: none are shown.
    std::function<QString()> recordFolder;
    std::function<QString()> portName;
};

// What the HTTP endpoint is asked to be: the metrics, and the web page where a site is given.
struct MetricsRequest
{
    QString listen;  // [ADDRESS:]PORT
    QString version; // for vantro_build_info
    int expireAfterSeconds = 120;
    // Readings waiting for the broker, asked at each scrape; none while nothing is published.
    std::function<std::optional<qint64>()> waitingReadings;
    std::optional<SiteSource> site;
};

// The HTTP endpoint lives in a module of its own, loaded only when asked for, so that a run without it
// never maps the HTTP server's and the network's libraries. Gives the endpoint, listening, or nothing and a
// one-line reason in `error`: an address that cannot be read or had, or a build without the module.
std::unique_ptr<ReadingOutput> startMetrics(const MetricsRequest &request, QString &error);

// The module's one entry point.
using StartMetricsFunction = ReadingOutput *(*)(const MetricsRequest &request, QString &error);
inline constexpr char StartMetricsSymbol[] = "vantro_start_metrics";
