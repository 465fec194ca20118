#include "web_site.h"

#include "metrics/http_answer.h"
#include "protocol/reading_csv.h"
#include "web/readings_query.h"
#include "web/recorded_days.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QUrlQuery>
#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>

namespace {
using StatusCode = QHttpServerResponder::StatusCode;

const QByteArray Json = QByteArrayLiteral("application/json");

QJsonObject withoutReading(QJsonObject state)
{
    state.remove(QStringLiteral("reading"));
    return state;
}
} // namespace

WebSite::WebSite(const SiteSource &source, QObject *parent) : QObject(parent), m_source(source)
{
    const auto read = [](const char *name) {
        QFile file(QStringLiteral(":/web/") + QLatin1String(name));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    };
    const std::pair<const char *, const char *> assets[] = {{"app.js", "text/javascript; charset=utf-8"},
                                                            {"app.css", "text/css; charset=utf-8"},
                                                            {"icon.svg", "image/svg+xml"}};
    // The page names each asset with a version of its own, so that a browser keeps it until the program
    // serves another: a visit then asks for the page alone.
    Asset page{"text/html; charset=utf-8", read("index.html"), {}};
    for (const auto &[name, type] : assets) {
        const QByteArray body = read(name);
        const QByteArray version =
            QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex().left(16);
        const QByteArray quoted = '"' + QByteArray(name) + '"';
        page.body.replace(quoted, quoted.chopped(1) + "?v=" + version + '"');
        m_assets.insert(QLatin1Char('/') + QLatin1String(name), {type, body, version});
    }
    m_assets.insert(QStringLiteral("/index.html"), page);
    m_assets.insert(QStringLiteral("/"), page);
}

WebSite::~WebSite() = default;

bool WebSite::answer(const QHttpServerRequest &request, QHttpServerResponder &responder, QTcpSocket *socket)
{
    using Method = QHttpServerRequest::Method;
    const QString path = request.url().path();
    const bool known = m_assets.contains(path) || path == QLatin1String("/events") ||
                       path.startsWith(QLatin1String("/api/")) || path.startsWith(QLatin1String("/days/"));
    if (!known)
        return false;
    if (request.method() != Method::Get && request.method() != Method::Head) {
        writeMethodNotAllowed(responder);
        return true;
    }
    const bool head = request.method() == Method::Head;
    if (const auto asset = m_assets.constFind(path); asset != m_assets.constEnd()) {
        HttpAnswer answer;
        answer.type = asset->type;
        const bool versioned =
            !asset->version.isEmpty() &&
            QUrlQuery(request.url()).queryItemValue(QStringLiteral("v")).toLatin1() == asset->version;
        answer.cacheControl = versioned ? QByteArrayLiteral("public, max-age=31536000, immutable")
                                        : QByteArrayLiteral("no-cache");
        answer.write(responder, asset->body, head);
        return true;
    }
    if (path == QLatin1String("/events")) {
        answerEvents(responder, socket, head);
        return true;
    }
    static const QLatin1String dayPrefix("/days/");
    if (path.startsWith(dayPrefix) && path.endsWith(QLatin1String(".csv"))) {
        answerDay(path.mid(dayPrefix.size(), path.size() - dayPrefix.size() - 4), responder, head);
        return true;
    }
    return answerApi(path, QUrlQuery(request.url()), responder, head);
}

bool WebSite::answerApi(const QString &path, const QUrlQuery &query, QHttpServerResponder &responder,
                        bool head)
{
    HttpAnswer answer;
    answer.type = Json;
    if (path == QLatin1String("/api/state")) {
        answer.write(responder, stateJson(), head);
    } else if (path == QLatin1String("/api/days")) {
        QJsonArray days;
        for (const RecordedDay &day : RecordedDays::list(m_source.recordFolder(), m_source.portName())) {
            const QString date = day.day.toString(Qt::ISODate);
            days.append(QJsonObject{
                {QStringLiteral("day"), date},
                {QStringLiteral("bytes"), day.bytes},
                {QStringLiteral("url"), QStringLiteral("days/") + date + QStringLiteral(".csv")}});
        }
        answer.write(responder, QJsonDocument(days).toJson(QJsonDocument::Compact), head);
    } else if (path == QLatin1String("/api/readings")) {
        QString error;
        const std::optional<ReadingsQuery> readings = ReadingsQuery::parse(query, error);
        if (!readings) {
            writeText(responder, StatusCode::BadRequest, error.toUtf8(), head);
        } else if (readings->csv) {
            answer.type = QByteArrayLiteral("text/csv; charset=utf-8");
            answer.write(responder, readings->csvText(*m_source.history), head);
        } else {
            answer.write(responder, readings->json(*m_source.history), head);
        }
    } else {
        writeText(responder, StatusCode::NotFound, "no such path", head);
    }
    return true;
}

void WebSite::answerEvents(QHttpServerResponder &responder, QTcpSocket *socket, bool head)
{
    if (m_streams.isFull() || !socket) {
        writeBusy(responder, EventStreams::KeepAliveMs / 1000);
        return;
    }
    if (head) {
        HttpAnswer answer;
        answer.type = QByteArrayLiteral("text/event-stream; charset=utf-8");
        answer.write(responder, QByteArray(), true);
        return;
    }
    const QJsonObject state = m_source.state();
    m_shownState = withoutReading(state);
    m_streams.open(responder, socket,
                   EventStreams::event("state", QJsonDocument(state).toJson(QJsonDocument::Compact)));
}

void WebSite::answerDay(const QString &date, QHttpServerResponder &responder, bool head)
{
    const RecordedDay day = RecordedDays::find(m_source.recordFolder(), m_source.portName(), date);
    auto file = std::make_unique<QFile>(day.path);
    if (day.path.isEmpty() || !file->open(QIODevice::ReadOnly))
        return writeText(responder, StatusCode::NotFound, "no such recorded day", head);
    HttpAnswer answer;
    answer.type = QByteArrayLiteral("text/csv; charset=utf-8");
    answer.cacheControl = QByteArrayLiteral("no-cache");
    answer.write(responder, file.release(), head);
}

void WebSite::takeReading(const Reading &reading, const QString &)
{
    m_streams.send(EventStreams::event("reading", ReadingCsv::jsonLine(reading).trimmed()));
}

void WebSite::setBoardUp(bool)
{
    stationChanged();
}

void WebSite::stationChanged()
{
    if (m_streams.count() == 0)
        return;
    const QJsonObject state = m_source.state();
    if (withoutReading(state) == m_shownState)
        return;
    m_shownState = withoutReading(state);
    m_streams.send(EventStreams::event("state", QJsonDocument(state).toJson(QJsonDocument::Compact)));
}

int WebSite::openStreams() const
{
    return m_streams.count();
}

QByteArray WebSite::stateJson() const
{
    return QJsonDocument(m_source.state()).toJson(QJsonDocument::Compact);
}
