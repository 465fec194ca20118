#include "metrics_endpoint.h"

#include "metrics/http_answer.h"
#include "metrics/http_site.h"

#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>
#include <QtHttpServer/QHttpServerRouterRule>

namespace {
const QByteArray Page = QByteArrayLiteral(
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Vantro</title></head>\n"
    "<body><h1>Vantro</h1><p>The board's readings for Prometheus: <a href=\"/metrics\">/metrics</a></p>"
    "</body></html>\n");

// How a route is handed the responder: by reference from Qt 6.8, as a temporary before.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
using Responder = QHttpServerResponder &;
#else
using Responder = QHttpServerResponder &&;
#endif
using StatusCode = QHttpServerResponder::StatusCode;

// Takes every request, whatever its path and method: Qt's own rules leave a method they do not know
// unmatched, to a 404, where it is a 501.
class EveryRequest final : public QHttpServerRouterRule
{
public:
    using QHttpServerRouterRule::QHttpServerRouterRule;

protected:
    bool matches(const QHttpServerRequest &request, QRegularExpressionMatch *match) const override;
};

bool EveryRequest::matches(const QHttpServerRequest &, QRegularExpressionMatch *) const
{
    return true;
}

} // namespace

MetricsEndpoint::MetricsEndpoint(const QString &version, const ConnectionLimits &limits, QObject *parent)
    : QObject(parent), m_version(version), m_limits(limits)
{
    m_server.route<EveryRequest>(
        QStringLiteral("/"),
        [this](const QHttpServerRequest &request, Responder responder) { answer(request, responder); });
}

MetricsEndpoint::~MetricsEndpoint() = default;

void MetricsEndpoint::answer(const QHttpServerRequest &request, QHttpServerResponder &responder)
{
    using Method = QHttpServerRequest::Method;
    if (request.method() == Method::Unknown)
        return responder.write(StatusCode::NotImplemented);
    const QString path = request.url().path();
    HttpAnswer answer;
    QByteArray body;
    if (path == QLatin1String("/metrics")) {
        answer.type = MetricsContentType;
        body = metricsText();
    } else if (m_site) {
        if (!m_site->answer(request, responder, connectionOf(request, responder)))
            responder.write(StatusCode::NotFound);
        return;
    } else if (path == QLatin1String("/")) {
        answer.type = QByteArrayLiteral("text/html; charset=utf-8");
        body = Page;
    } else {
        return responder.write(StatusCode::NotFound);
    }
    if (request.method() == Method::Get || request.method() == Method::Head)
        answer.write(responder, body, request.method() == Method::Head);
    else
        writeMethodNotAllowed(responder);
}

QTcpSocket *MetricsEndpoint::connectionOf(const QHttpServerRequest &request,
                                          QHttpServerResponder &responder) const
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    (void)responder;
    return m_tcpServer->connectionFrom(request.remoteAddress(), request.remotePort());
#else
    (void)request;
    return responder.socket();
#endif
}

void MetricsEndpoint::setSite(std::unique_ptr<HttpSite> site)
{
    m_site = std::move(site);
    if (m_site)
        m_site->setBoardUp(m_boardUp);
}

bool MetricsEndpoint::listen(const ListenAddress &where, QString &error)
{
    auto tcpServer = std::make_unique<BoundedTcpServer>(m_limits);
    if (!tcpServer->listen(where.address, where.port)) {
        error = (m_site ? QStringLiteral("cannot serve the web page on %1: %2")
                        : QStringLiteral("cannot listen for metrics on %1: %2"))
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
    if (m_site)
        m_site->takeReading(reading, port);
}

void MetricsEndpoint::setBoardUp(bool up)
{
    m_boardUp = up;
    if (m_site)
        m_site->setBoardUp(up);
}

void MetricsEndpoint::stationChanged()
{
    if (m_site)
        m_site->stationChanged();
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
