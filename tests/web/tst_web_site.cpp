#include "metrics/metrics_endpoint.h"
#include "protocol/reading_csv.h"
#include "record/history_loader.h"
#include "record/reading_history.h"
#include "web/web_site.h"

#include "http_client.h"
#include "server_process.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QRegularExpression>
#include <QtCore/QSet>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {
constexpr qint64 StartMs = 1796000000000; // 2026-11-30, readings a second apart from here

Reading readingAt(int i)
{
    Reading reading = Reading::fromRaw(StartMs + i * 1000LL, int16_t(i));
    return reading;
}

// What comes on `socket` until `expected` is among it.
QByteArray receiveUntil(QTcpSocket &socket, QByteArray &seen, const QByteArray &expected)
{
    QSignalSpy more(&socket, &QIODevice::readyRead);
    while (!seen.contains(expected)) {
        seen += socket.readAll();
        if (!seen.contains(expected) && !more.wait(3000))
            break;
    }
    return seen;
}
} // namespace

// The site over real HTTP on the endpoint it shares with the metrics: every route, hostile requests,
// readings as intervals, the recorded days, and the event stream with its bounds.
class TstWebSite final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void routes_data();
    void routes();
    void readings_data();
    void readings();
    void assetsAreKeptUntilTheProgramServesOthers();
    void recordedDays();
    void olderDaysAnswerFromTheirMinutesAndFiles();
    void eventsFollowTheStation();
    void streamsAreBounded();
    void aClosingRequestGetsItsWholeAnswer();
    void behindAProxyAtAPrefix();

private:
    quint16 port() const;

    QTemporaryDir m_folder;
    ReadingHistory m_history;
    QJsonObject m_state;
    std::unique_ptr<MetricsEndpoint> m_endpoint;
    WebSite *m_site = nullptr;
    HttpClient m_client;
};

void TstWebSite::init()
{
    m_history.clear();
    for (int i = 0; i < 100; ++i)
        m_history.add(readingAt(i));
    m_state = {{QStringLiteral("port"), QStringLiteral("/dev/ttyACM0")}, {QStringLiteral("link"), "replies"}};
    SiteSource source;
    source.state = [this] { return m_state; };
    source.history = &m_history;
    source.recordFolder = [this] { return m_folder.path(); };
    source.portName = [] { return QStringLiteral("/dev/ttyACM0"); };
    ConnectionLimits limits;
    limits.connections = 2 * EventStreams::Limit;
    m_endpoint = std::make_unique<MetricsEndpoint>(QStringLiteral("1.00"), limits);
    auto site = std::make_unique<WebSite>(source);
    m_site = site.get();
    m_endpoint->setSite(std::move(site));
    QString error;
    QVERIFY2(m_endpoint->listen(ListenAddress{}, error), qPrintable(error));
}

quint16 TstWebSite::port() const
{
    return m_endpoint->serverPort();
}

void TstWebSite::routes_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("type");

    const QByteArray json = "application/json";
    QTest::newRow("the page") << QByteArray("GET") << "/" << 200 << QByteArray("text/html; charset=utf-8");
    QTest::newRow("its script") << QByteArray("GET") << "/app.js" << 200
                                << QByteArray("text/javascript; charset=utf-8");
    QTest::newRow("state") << QByteArray("GET") << "/api/state" << 200 << json;
    QTest::newRow("head of the state") << QByteArray("HEAD") << "/api/state" << 200 << json;
    QTest::newRow("metrics beside it")
        << QByteArray("GET") << "/metrics" << 200 << QByteArray("text/plain; version=0.0.4; charset=utf-8");
    QTest::newRow("readings as csv") << QByteArray("GET") << "/api/readings?format=csv" << 200
                                     << QByteArray("text/csv; charset=utf-8");
    QTest::newRow("post") << QByteArray("POST") << "/api/state" << 405 << QByteArray();
    QTest::newRow("delete a day") << QByteArray("DELETE") << "/days/2026-11-30.csv" << 405 << QByteArray();
    QTest::newRow("no such api") << QByteArray("GET") << "/api/nothing" << 404
                                 << QByteArray("text/plain; charset=utf-8");
    QTest::newRow("no such path") << QByteArray("GET") << "/index.htm" << 404 << QByteArray();
    QTest::newRow("a day out of the folder") << QByteArray("GET") << "/days/..%2F..%2Fetc%2Fpasswd.csv" << 404
                                             << QByteArray("text/plain; charset=utf-8");
    QTest::newRow("a day that is no date")
        << QByteArray("GET") << "/days/2026-13-45.csv" << 404 << QByteArray("text/plain; charset=utf-8");
    QTest::newRow("a day not recorded")
        << QByteArray("GET") << "/days/2020-01-01.csv" << 404 << QByteArray("text/plain; charset=utf-8");
    for (const char *query : {"points=0", "points=10001", "points=many", "from=yesterday", "to=1e400",
                              "from=20&to=10", "format=xml"}) {
        QTest::newRow(query) << QByteArray("GET") << QStringLiteral("/api/readings?") + QLatin1String(query)
                             << 400 << QByteArray("text/plain; charset=utf-8");
    }
}

void TstWebSite::routes()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, type);
    const HttpReply reply = m_client.request(port(), path, method);
    QCOMPARE(reply.status, status);
    if (!type.isEmpty())
        QCOMPARE(reply.contentType, type);
    if (status == 405)
        QCOMPARE(reply.allow, QByteArray("GET, HEAD"));
    if (status == 400)
        QVERIFY(reply.body.endsWith('\n') && reply.body.count('\n') == 1);
    if (method == "HEAD")
        QVERIFY(reply.body.isEmpty() && reply.contentLength.toInt() > 0);
    if (!type.isEmpty() && path != QLatin1String("/metrics")) {
        QVERIFY(reply.headers.value("content-security-policy").startsWith("default-src 'self'"));
        QCOMPARE(reply.headers.value("x-content-type-options"), QByteArray("nosniff"));
        QCOMPARE(reply.headers.value("referrer-policy"), QByteArray("no-referrer"));
    }
}

void TstWebSite::readings_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QJsonObject>("first");

    const qint64 s = StartMs / 1000;
    const auto at = [](qint64 ms, double c) { return QJsonObject{{"t", ms}, {"c", c}}; };
    QTest::newRow("all, one by one") << ""
                                     << "readings" << 100 << 100 << at(StartMs, 0.0);
    QTest::newRow("a span in Unix seconds") << QStringLiteral("from=%1&to=%2").arg(s + 10).arg(s + 20)
                                            << "readings" << 10 << 10 << at(StartMs + 10000, 4.88);
    QTest::newRow("the same span in ISO 8601")
        << QStringLiteral("from=%1&to=%2")
               .arg(QDateTime::fromSecsSinceEpoch(s + 10, QTimeZone(3600)).toString(Qt::ISODate),
                    QDateTime::fromSecsSinceEpoch(s + 20, QTimeZone(0)).toString(Qt::ISODateWithMs))
               .replace(u'+', QStringLiteral("%2B"))
        << "readings" << 10 << 10 << at(StartMs + 10000, 4.88);
    QTest::newRow("past the points, intervals")
        << "points=10"
        << "intervals" << 100 << 10 << QJsonObject{{"from", StartMs}, {"to", StartMs + 9901}, {"min", 0.0},
                                                   {"max", 4.39},     {"mean", 2.2},          {"count", 10}};
    QTest::newRow("exactly the points") << "points=100"
                                        << "readings" << 100 << 100 << at(StartMs, 0.0);
}

void TstWebSite::readings()
{
    QFETCH(QString, query);
    QFETCH(QString, kind);
    QFETCH(int, count);
    QFETCH(int, entries);
    QFETCH(QJsonObject, first);
    const HttpReply reply = m_client.request(port(), QStringLiteral("/api/readings?") + query);
    QCOMPARE(reply.status, 200);
    const QJsonObject answer = QJsonDocument::fromJson(reply.body).object();
    QCOMPARE(answer.value("count").toInt(), count);
    const QJsonArray list = answer.value(kind).toArray();
    QCOMPARE(list.size(), entries);
    QCOMPARE(list.first().toObject(), first);
    qint64 counted = 0;
    for (const QJsonValue &entry : list)
        counted += entry.toObject().value("count").toInt(1);
    QCOMPARE(counted, count);
}

void TstWebSite::assetsAreKeptUntilTheProgramServesOthers()
{
    const HttpReply page = m_client.request(port(), QStringLiteral("/"));
    QCOMPARE(page.headers.value("cache-control"), QByteArray("no-cache"));
    static const QRegularExpression named(
        QStringLiteral("\"((app\\.js|app\\.css|icon\\.svg)\\?v=[0-9a-f]+)\""));
    QSet<QString> assets;
    for (const QRegularExpressionMatch &match : named.globalMatch(QString::fromUtf8(page.body))) {
        assets << match.captured(2);
        const HttpReply kept = m_client.request(port(), QLatin1Char('/') + match.captured(1));
        QCOMPARE(kept.headers.value("cache-control"), QByteArray("public, max-age=31536000, immutable"));
        // Under any other version, or none, it is asked for again each time.
        const HttpReply other = m_client.request(port(), QLatin1Char('/') + match.captured(2) + "?v=0");
        QCOMPARE(other.headers.value("cache-control"), QByteArray("no-cache"));
        QCOMPARE(other.body, kept.body);
    }
    QCOMPARE(assets.size(), 3);
}

void TstWebSite::recordedDays()
{
    const QByteArray day = QByteArray(ReadingCsv::Header) + ReadingCsv::line(readingAt(0));
    const std::pair<QString, QByteArray> files[] = {{"2026-11-29_ttyACM0.csv", day + day},
                                                    {"2026-11-30_ttyACM0.csv", day},
                                                    {"2026-11-30_ttyUSB0.csv", day},
                                                    {"2026-11-31_ttyACM0.csv", day},
                                                    {"notes_ttyACM0.csv", day},
                                                    {"2026-11-28 copy_ttyACM0.csv", day}};
    for (const auto &[name, bytes] : files) {
        QFile file(m_folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    const QJsonArray expected = {
        QJsonObject{{"day", "2026-11-30"}, {"bytes", day.size()}, {"url", "days/2026-11-30.csv"}},
        QJsonObject{{"day", "2026-11-29"}, {"bytes", 2 * day.size()}, {"url", "days/2026-11-29.csv"}}};
    QCOMPARE(QJsonDocument::fromJson(m_client.request(port(), "/api/days").body).array(), expected);
    const HttpReply file = m_client.request(port(), "/days/2026-11-29.csv");
    QCOMPARE(file.body, day + day);
    QCOMPARE(file.contentType, QByteArray("text/csv; charset=utf-8"));
    QCOMPARE(m_client.request(port(), "/days/2026-11-29.csv", "HEAD").contentLength.toInt(), 2 * day.size());
}

// A history kept as minutes past its newest days: any span still answers, reading by reading where asked.
void TstWebSite::olderDaysAnswerFromTheirMinutesAndFiles()
{
    QTemporaryDir folder;
    qputenv("XDG_CACHE_HOME", folder.filePath(QStringLiteral("cache")).toUtf8());
    constexpr qint64 Every = 30000;
    constexpr int Count = (HistoryLoader::DetailedDays + 2) * 2880;
    QMap<int, QByteArray> days;
    for (int i = 0; i < Count; ++i) {
        const Reading reading = Reading::fromRaw(StartMs + i * Every, int16_t(40 + i % 5));
        days[ReadingCsv::localDay(reading.timeMs)] += ReadingCsv::line(reading);
    }
    for (auto day = days.cbegin(); day != days.cend(); ++day) {
        QFile file(folder.filePath(ReadingCsv::fileName(day.key(), QStringLiteral("/dev/ttyACM0"))));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ReadingCsv::Header + day.value()) > 0);
    }
    m_history.clear();
    HistoryLoader loader(m_history);
    QSignalSpy loaded(&loader, &HistoryLoader::loaded);
    loader.start(folder.path(), QStringLiteral("/dev/ttyACM0"));
    QVERIFY(!loaded.isEmpty() || loaded.wait(10000));
    QVERIFY(!m_history.olderMinutes().isEmpty());

    // An hour of the first day: 120 readings, as recorded.
    const qint64 from = StartMs + 3600000;
    const QString hour =
        QStringLiteral("/api/readings?points=120&from=%1&to=%2").arg(from / 1000).arg(from / 1000 + 3600);
    const QJsonObject answer = QJsonDocument::fromJson(m_client.request(port(), hour).body).object();
    const QJsonArray readings = answer.value("readings").toArray();
    QCOMPARE(readings.size(), 120);
    QCOMPARE(readings.last().toObject().value("t").toInteger(), from + 119 * Every);
    QByteArray lines = ReadingCsv::Header;
    for (int i = 120; i < 240; ++i)
        lines += ReadingCsv::line(Reading::fromRaw(StartMs + i * Every, int16_t(40 + i % 5)));
    QCOMPARE(m_client.request(port(), hour + QStringLiteral("&format=csv")).body, lines);

    const QJsonObject all = QJsonDocument::fromJson(m_client.request(port(), "/api/readings").body).object();
    QCOMPARE(all.value("count").toInt(), Count);
    qint64 counted = 0;
    for (const QJsonValue &interval : all.value("intervals").toArray())
        counted += interval.toObject().value("count").toInt();
    QCOMPARE(counted, Count);
}

void TstWebSite::eventsFollowTheStation()
{
    const std::unique_ptr<QTcpSocket> stream = rawClient(port());
    stream->write("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
    QByteArray seen;
    QVERIFY(receiveUntil(*stream, seen, "\"port\":\"/dev/ttyACM0\"}\n\n").contains("text/event-stream"));
    QVERIFY(seen.contains("event: state\ndata: {\"link\":\"replies\",\"port\":\"/dev/ttyACM0\"}\n\n"));
    QTRY_COMPARE(m_site->openStreams(), 1);

    seen.clear();
    m_site->stationChanged(); // nothing changed: nothing said
    m_site->takeReading(readingAt(7), QString());
    const QByteArray reading =
        "event: reading\ndata: " + ReadingCsv::jsonLine(readingAt(7)).trimmed() + "\n\n";
    QVERIFY(!receiveUntil(*stream, seen, reading).contains("event: state"));

    m_state.insert("link", "waiting");
    m_site->setBoardUp(false);
    QVERIFY(receiveUntil(*stream, seen, "\"link\":\"waiting\"").contains("event: state"));
    stream->abort();
    QTRY_COMPARE(m_site->openStreams(), 0);
}

void TstWebSite::streamsAreBounded()
{
    std::vector<std::unique_ptr<QTcpSocket>> streams;
    for (int i = 0; i <= EventStreams::Limit; ++i) {
        streams.push_back(rawClient(port()));
        streams.back()->write("GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    QTRY_COMPARE(m_site->openStreams(), EventStreams::Limit);
    QByteArray seen;
    QVERIFY(receiveUntil(*streams.back(), seen, "\r\n\r\n").startsWith("HTTP/1.1 503"));
    QVERIFY(seen.toLower().contains("retry-after: 15"));

    // One client stops reading; another reads on, and the readings go on without waiting for either.
    streams.resize(2);
    QTRY_COMPARE(m_site->openStreams(), 2);
    streams.front()->setReadBufferSize(1);
    streams.front()->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    for (int i = 0; i < 1000000 && m_site->openStreams() == 2; ++i) {
        m_site->takeReading(readingAt(i), QString());
        if (i % 50 == 0) {
            QCoreApplication::processEvents();
            streams.back()->readAll();
        }
    }
    QCOMPARE(m_site->openStreams(), 1);
    QByteArray healthy;
    m_site->takeReading(readingAt(-1), QString());
    QVERIFY(receiveUntil(*streams.back(), healthy, ReadingCsv::jsonLine(readingAt(-1)).trimmed()).size() > 0);
}

void TstWebSite::aClosingRequestGetsItsWholeAnswer()
{
    const std::unique_ptr<QTcpSocket> socket = rawClient(port());
    QSignalSpy closed(socket.get(), &QAbstractSocket::disconnected);
    QByteArray seen;
    QObject::connect(socket.get(), &QIODevice::readyRead, [&] { seen += socket->readAll(); });
    socket->write("GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QVERIFY(closed.wait(5000));
    QVERIFY(seen.endsWith(m_client.request(port(), "/app.js").body));
}

void TstWebSite::behindAProxyAtAPrefix()
{
    // Debian's nginx in one process of this user, as a user puts it before the station for TLS and a
    // password.
    const quint16 proxyPort = freePorts(1).constFirst();
    QTemporaryDir proxyFolder;
    QFile config(proxyFolder.filePath(QStringLiteral("nginx.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(
        QStringLiteral("daemon off; master_process off; pid nginx.pid; error_log stderr;\n"
                       "events {}\n"
                       "http { access_log off; client_body_temp_path t; proxy_temp_path t;\n"
                       "  fastcgi_temp_path t; uwsgi_temp_path t; scgi_temp_path t;\n"
                       "  server { listen 127.0.0.1:%1;\n"
                       "    location /vantro/ { proxy_pass http://127.0.0.1:%2/; proxy_http_version 1.1; }\n"
                       "  }\n"
                       "}\n")
            .arg(proxyPort)
            .arg(port())
            .toUtf8());
    config.close();
    QProcess nginx;
    nginx.setProcessChannelMode(QProcess::ForwardedChannels);
    nginx.start(QStringLiteral("/usr/sbin/nginx"),
                {QStringLiteral("-p"), proxyFolder.path(), QStringLiteral("-c"), config.fileName()});
    const auto ready = [&] { return m_client.request(proxyPort, "/vantro/api/state").status == 200; };
    QVERIFY(waitUntilReady(nginx, ready, 10000, 100));

    // Every link and request of the page is relative to it.
    const HttpReply page = m_client.request(proxyPort, "/vantro/");
    QCOMPARE(page.status, 200);
    const QByteArray script = m_client.request(proxyPort, "/vantro/app.js").body;
    QCOMPARE(script, m_client.request(port(), "/app.js").body);
    static const QRegularExpression absolute(
        QStringLiteral("(href|src|action)=\"/|[`'\"]/(api|events|days)"));
    QVERIFY(!absolute.match(QString::fromUtf8(page.body + script)).hasMatch());

    // The events come through as they happen, not once a buffer of the proxy is full.
    const std::unique_ptr<QTcpSocket> stream = rawClient(proxyPort);
    stream->write("GET /vantro/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray seen;
    QVERIFY(receiveUntil(*stream, seen, "event: state").contains("event: state"));
    m_site->takeReading(readingAt(3), QString());
    QVERIFY(
        receiveUntil(*stream, seen, ReadingCsv::jsonLine(readingAt(3)).trimmed()).contains("event: reading"));
    stopServer(nginx, 5000);
}

QTEST_GUILESS_MAIN(TstWebSite)
#include "tst_web_site.moc"
