#pragma once

#include "metrics/http_site.h"
#include "metrics/metrics_loader.h"
#include "web/event_streams.h"

#include <QtCore/QHash>
#include <QtCore/QJsonObject>
#include <QtCore/QObject>

class QUrlQuery;

// The station's web page: the page and its assets at /, the live events at /events, and the API under
// /api/ and /days/, read-only and answered from the event loop. Nothing a client sends becomes a path, and
// text from outside reaches the page as JSON, for it to show as text.
class WebSite final : public QObject, public HttpSite
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebSite)

public:
    explicit WebSite(const SiteSource &source, QObject *parent = nullptr);
    ~WebSite() override;

    bool answer(const QHttpServerRequest &request, QHttpServerResponder &responder,
                QTcpSocket *socket) override;
    void takeReading(const Reading &reading, const QString &port) override;
    void setBoardUp(bool up) override;
    void stationChanged() override;

    int openStreams() const;

private:
    struct Asset
    {
        QByteArray type;
        QByteArray body;
        QByteArray version; // as the page names it
    };

    bool answerApi(const QString &path, const QUrlQuery &query, QHttpServerResponder &responder, bool head);
    void answerEvents(QHttpServerResponder &responder, QTcpSocket *socket, bool head);
    void answerDay(const QString &date, QHttpServerResponder &responder, bool head);
    QByteArray stateJson() const;

    SiteSource m_source;
    QHash<QString, Asset> m_assets;
    EventStreams m_streams;
    QJsonObject m_shownState; // as the streams last had it, but for the reading
};
