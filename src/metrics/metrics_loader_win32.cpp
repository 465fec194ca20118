#include "metrics_loader.h"

// The Windows build has no HTTP server for the endpoint or the page: asking for it fails as an address that
// cannot be had does.
std::unique_ptr<ReadingOutput> startMetrics(const MetricsRequest &request, QString &error)
{
    error = request.site ? QStringLiteral("the web page is not available in this build")
                         : QStringLiteral("metrics are not available in this build");
    return {};
}
