#include "metrics_endpoint.h"

#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponse>

namespace {
const QByteArray Page = QByteArrayLiteral(
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Vantro</title></head>\n"
    "<body><h1>Vantro</h1><p>The board's readings for Prometheus: <a href=\"/metrics\">/metrics</a></p>"
    "</body></html>\n");

QHttpServerResponse methodNotAllowed()
{
    QHttpServerResponse response(QHttpServerResponse::StatusCode::MethodNotAllowed);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers = response.headers();
    headers.append(QHttpHeaders::WellKnownHeader::Allow, "GET");
    response.setHeaders(std::move(headers));
#else
    response.setHeader("Allow", "GET");
#endif
    return response;
}
} // namespace

MetricsEndpoint::MetricsEndpoint(const QString &version, const ConnectionLimits &limits, QObject *parent)
    : QObject(parent), m_version(version), m_limits(limits)
{
    addRoutes();
}

MetricsEndpoint::~MetricsEndpoint() = default;

void MetricsEndpoint::addRoutes()
{
    m_server.route(QStringLiteral("/metrics"), [this](const QHttpServerRequest &request) {
        if (request.method() != QHttpServerRequest::Method::Get)
            return methodNotAllowed();
        return QHttpServerResponse(MetricsContentType, metricsText());
    });
    m_server.route(QStringLiteral("/"), [](const QHttpServerRequest &request) {
        if (request.method() != QHttpServerRequest::Method::Get)
            return methodNotAllowed();
        return QHttpServerResponse(QByteArrayLiteral("text/html; charset=utf-8"), Page);
    });
}

bool MetricsEndpoint::listen(const ListenAddress &where, QString &error)
{
    auto tcpServer = std::make_unique<BoundedTcpServer>(m_limits);
    if (!tcpServer->listen(where.address, where.port)) {
        error = QStringLiteral("cannot listen for metrics on %1: %2")
                    .arg(where.display(), tcpServer->errorString());
        return false;
    }
    m_tcpServer = tcpServer.release();
    m_server.bind(m_tcpServer);
    return true;
}

quint16 MetricsEndpoint::serverPort() const
{
    return m_tcpServer ? m_tcpServer->serverPort() : 0;
}

void MetricsEndpoint::takeReading(const Reading &reading, const QString &port)
{
    m_lastReading = reading;
    m_port = port;
    m_sinceReading.start();
    ++m_readings;
}

void MetricsEndpoint::setBoardUp(bool up)
{
    m_boardUp = up;
}

void MetricsEndpoint::replyRejected()
{
    ++m_rejectedReplies;
}

void MetricsEndpoint::setExpireAfterSeconds(int seconds)
{
    m_expireAfterSeconds = seconds;
}

void MetricsEndpoint::setWaitingSource(std::function<std::optional<qint64>()> source)
{
    m_waitingSource = std::move(source);
}

QByteArray MetricsEndpoint::metricsText() const
{
    return ::metricsText(state());
}

qint64 MetricsEndpoint::droppedConnections() const
{
    return m_tcpServer ? m_tcpServer->droppedConnections() : 0;
}

MetricsState MetricsEndpoint::state() const
{
    MetricsState state;
    state.lastReading = m_lastReading;
    state.port = m_port;
    state.temperatureFresh = m_lastReading && (m_expireAfterSeconds <= 0 ||
                                               m_sinceReading.elapsed() <= m_expireAfterSeconds * 1000LL);
    state.boardUp = m_boardUp;
    state.readings = m_readings;
    state.rejectedReplies = m_rejectedReplies;
    if (m_waitingSource)
        state.waitingReadings = m_waitingSource();
    state.version = m_version;
    return state;
}
