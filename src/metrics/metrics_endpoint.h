#pragma once

#include "metrics/bounded_tcp_server.h"
#include "metrics/listen_address.h"
#include "metrics/metrics_text.h"
#include "protocol/reading_output.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QObject>
#include <QtHttpServer/QHttpServer>

#include <functional>
#include <memory>

class HttpSite;

// Serves the board's readings to Prometheus over HTTP: GET /metrics in the text format 0.0.4 (see
// metrics_text.h), and at every other path the station's site where there is one, or else at GET / a small
// page that links to the metrics; HEAD of each; other paths are not found, other
// methods not allowed, and a method unknown to HTTP not implemented. It answers from the event loop, and a
// client that is slow, silent or sends too much is dropped without holding up the others or the link (see
// BoundedTcpServer).
class MetricsEndpoint final : public QObject, public ReadingOutput
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsEndpoint)

public:
    static constexpr int DefaultExpireAfterSeconds = 120;

    // `version` goes into vantro_build_info.
    explicit MetricsEndpoint(const QString &version, const ConnectionLimits &limits = {},
                             QObject *parent = nullptr);
    ~MetricsEndpoint() override;

    // Starts listening, once. False and a one-line reason in `error` when the address cannot be had (a port
    // in use, an address not on this machine, a port below 1024 without the right).
    bool listen(const ListenAddress &where, QString &error);
    // The port listened on: the one asked for, or the one the system chose for port 0.
    quint16 serverPort() const;

    void takeReading(const Reading &reading, const QString &port) override;
    void setBoardUp(bool up) override;
    void replyRejected() override;
    void stationChanged() override;

    // Serves `site` at every path but /metrics, and hands it every reading and change.
    void setSite(std::unique_ptr<HttpSite> site);

    // How long after its reading the temperature still stands for the board's; 0 keeps it for ever.
    void setExpireAfterSeconds(int seconds);
    // Where the count of readings waiting for the MQTT broker comes from, asked at each scrape. Without one
    // (nothing published) vantro_mqtt_waiting_readings is left out rather than shown as 0, which would say
    // that a publisher is keeping up. Whatever `source` uses must outlive it; an empty one takes it away.
    void setWaitingSource(std::function<std::optional<qint64>()> source);

    // What GET /metrics answers now.
    QByteArray metricsText() const;
    // Connections dropped or refused for going past their limits.
    qint64 droppedConnections() const;

private:
    void answer(const QHttpServerRequest &request, QHttpServerResponder &responder);
    QTcpSocket *connectionOf(const QHttpServerRequest &request, QHttpServerResponder &responder) const;
    MetricsState state() const;

    QString m_version;
    ConnectionLimits m_limits;
    QHttpServer m_server;
    BoundedTcpServer *m_tcpServer = nullptr; // owned by m_server once listening
    std::optional<Reading> m_lastReading;
    QString m_port;
    QElapsedTimer m_sinceReading; // a steady clock: the wall clock may be set while the board talks
    int m_expireAfterSeconds = DefaultExpireAfterSeconds;
    bool m_boardUp = false;
    qint64 m_readings = 0;
    qint64 m_rejectedReplies = 0;
    std::function<std::optional<qint64>()> m_waitingSource;
    // After the server: the site's open answers go before the server they answer on.
    std::unique_ptr<HttpSite> m_site;
};
