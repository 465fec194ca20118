#include "metrics/listen_address.h"
#include "metrics/metrics_endpoint.h"
#include "metrics/metrics_loader.h"

extern "C" Q_DECL_EXPORT ReadingOutput *vantro_start_metrics(const MetricsRequest &request, QString &error)
{
    const std::optional<ListenAddress> where = ListenAddress::parse(request.listen, error);
    if (!where)
        return nullptr;
    auto endpoint = std::make_unique<MetricsEndpoint>(request.version);
    if (!endpoint->listen(*where, error))
        return nullptr;
    endpoint->setExpireAfterSeconds(request.expireAfterSeconds);
    endpoint->setWaitingSource(request.waitingReadings);
    return endpoint.release();
}
