#include "metrics_endpoint.h"

#include <QtCore/QBuffer>
#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>
#include <QtHttpServer/QHttpServerRouterRule>
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QtNetwork/QHttpHeaders>
#endif

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

void methodNotAllowed(QHttpServerResponder &responder)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers;
    headers.append(QHttpHeaders::WellKnownHeader::Allow, "GET, HEAD");
    responder.write(headers, StatusCode::MethodNotAllowed);
#else
    const QHttpServerResponder::HeaderList headers = {
        {QByteArrayLiteral("Allow"), QByteArrayLiteral("GET, HEAD")}};
    responder.write(headers, StatusCode::MethodNotAllowed);
#endif
}

// What GET answers, but for the body (RFC 9110, 9.3.2): a device already at its end gives the length
// and sends nothing.
void answerHead(QHttpServerResponder &responder, const QByteArray &type, const QByteArray &body)
{
    auto *unsent = new QBuffer;
    unsent->setData(body);
    unsent->open(QIODevice::ReadOnly);
    unsent->seek(unsent->size());
    responder.write(unsent, type);
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

void MetricsEndpoint::answer(const QHttpServerRequest &request, QHttpServerResponder &responder) const
{
    using Method = QHttpServerRequest::Method;
    if (request.method() == Method::Unknown)
        return responder.write(StatusCode::NotImplemented);
    const QString path = request.url().path();
    QByteArray type;
    QByteArray body;
    if (path == QLatin1String("/metrics")) {
        type = MetricsContentType;
        body = metricsText();
    } else if (path == QLatin1String("/")) {
        type = QByteArrayLiteral("text/html; charset=utf-8");
        body = Page;
    } else {
        return responder.write(StatusCode::NotFound);
    }
    if (request.method() == Method::Get)
        responder.write(body, type);
    else if (request.method() == Method::Head)
        answerHead(responder, type, body);
    else
        methodNotAllowed(responder);
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
