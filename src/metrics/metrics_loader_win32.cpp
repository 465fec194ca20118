#include "metrics_loader.h"

// The Windows build has no HTTP server for the endpoint: asking for it fails as an address that cannot be
// had does.
std::unique_ptr<ReadingOutput> startMetrics(const MetricsRequest &, QString &error)
{
    error = QStringLiteral("metrics are not available in this build");
    return {};
}
