#include "metrics/listen_address.h"
#include "metrics/metrics_endpoint.h"
#include "metrics/metrics_loader.h"
#include "web/web_site.h"

namespace {
// Room for every event stream and as many requests beside them.
ConnectionLimits siteLimits()
{
    ConnectionLimits limits;
    limits.connections = 2 * EventStreams::Limit;
    return limits;
}
} // namespace

extern "C" Q_DECL_EXPORT ReadingOutput *vantro_start_metrics(const MetricsRequest &request, QString &error)
{
    const std::optional<ListenAddress> where = ListenAddress::parse(request.listen, error);
    if (!where)
        return nullptr;
    auto endpoint =
        std::make_unique<MetricsEndpoint>(request.version, request.site ? siteLimits() : ConnectionLimits());
    if (request.site)
        endpoint->setSite(new WebSite(*request.site, endpoint.get()));
    if (!endpoint->listen(*where, error))
        return nullptr;
    endpoint->setExpireAfterSeconds(request.expireAfterSeconds);
    endpoint->setWaitingSource(request.waitingReadings);
    return endpoint.release();
}
