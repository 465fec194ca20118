#include "metrics_loader.h"

// A build without Qt's HTTP server has no endpoint and no page: asking for either fails as an address that
// cannot be had does.
std::unique_ptr<ReadingOutput> startMetrics(const MetricsRequest &request, QString &error)
{
    error = request.site ? QStringLiteral("the web page is not available in this build")
                         : QStringLiteral("metrics are not available in this build");
    return {};
}
