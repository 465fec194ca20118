#include "metrics/metrics_endpoint.h"

#include "http_client.h"

#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QNetworkAccessManager>
#include <QtNetwork/QNetworkProxy>
#include <QtNetwork/QNetworkReply>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <memory>
#include <vector>

namespace {
using Answer = HttpReply;
using Client = HttpClient;

std::unique_ptr<MetricsEndpoint> listening(const ConnectionLimits &limits = {})
{
    auto endpoint = std::make_unique<MetricsEndpoint>(QStringLiteral("1.00"), limits);
    QString error;
    if (!endpoint->listen(ListenAddress{}, error))
        qFatal("%s", qPrintable(error));
    return endpoint;
}

// Puts `socket` amid its second request, the first answered.
void startSecondRequest(QTcpSocket &socket)
{
    socket.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\nGET /metrics HTTP/1.1\r\n");
    QSignalSpy answered(&socket, &QIODevice::readyRead);
    if (!answered.wait(5000))
        qFatal("no answer from the endpoint");
}

std::unique_ptr<QTcpSocket> busyClient(quint16 port)
{
    std::unique_ptr<QTcpSocket> socket = rawClient(port);
    startSecondRequest(*socket);
    return socket;
}

// Sends `requests` on one connection: all that came back, and whether the endpoint closed it.
std::pair<QByteArray, bool> untilClosed(quint16 port, const QByteArray &requests)
{
    const std::unique_ptr<QTcpSocket> socket = rawClient(port);
    QByteArray received;
    QObject::connect(socket.get(), &QIODevice::readyRead, [&] { received += socket->readAll(); });
    QSignalSpy closed(socket.get(), &QAbstractSocket::disconnected);
    socket->write(requests);
    const bool byTheEndpoint = closed.wait(5000);
    return {received + socket->readAll(), byTheEndpoint};
}

// A client that keeps connections open saying nothing, and opens another as each is closed.
class SilentHolder final : public QObject
{
public:
    SilentHolder(quint16 port, int connections) : m_port(port)
    {
        for (int i = 0; i < connections; ++i)
            open();
    }

    int connected = 0;
    int reopened = 0;

private:
    void open()
    {
        auto *socket = new QTcpSocket(this);
        connect(socket, &QAbstractSocket::connected, this, [this] { ++connected; });
        connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
            socket->deleteLater();
            ++reopened;
            open();
        });
        socket->connectToHost(QHostAddress::LocalHost, m_port);
    }

    quint16 m_port;
};

qint64 counter(const QByteArray &text, const QByteArray &name)
{
    const qsizetype at = text.indexOf('\n' + name + ' ');
    if (at < 0)
        return -1;
    return text.mid(at + name.size() + 2, text.indexOf('\n', at + 1) - at - name.size() - 2).toLongLong();
}

long residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    statm.open(QIODevice::ReadOnly);
    return statm.readAll().split(' ').value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

// `promtool check metrics` on `text`: its exit status and what it said.
std::pair<int, QByteArray> promtoolCheck(const QByteArray &text)
{
    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    promtool.start(QStringLiteral("promtool"), {QStringLiteral("check"), QStringLiteral("metrics")});
    promtool.write(text);
    promtool.closeWriteChannel();
    if (!promtool.waitForFinished(30000))
        return {-1, "promtool did not finish"};
    return {promtool.exitStatus() == QProcess::NormalExit ? promtool.exitCode() : -1, promtool.readAll()};
}
} // namespace

// The endpoint over real HTTP: what it answers, Prometheus' own checker on it, an address already taken,
// and clients that say nothing or far too much while the readings go on.
class TstMetricsEndpoint final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void answers_data();
    void answers();
    void followsTheReadings();
    void waitingReadings();
    void temperatureExpires();
    void promtoolAcceptsTheExposition();
    void portInUse();
    void addressNotOnThisMachine();
    void servesOverIpv6();
    void silentClientsDoNotHoldUpOthers();
    void hugeHeadersAreCutOff();
    void hugeBodyIsCutOff();
    void requestInPiecesIsCutOff();
    void ordinaryRequestsFitTheLimit();
    void keepAliveScraperIsNeverCut();
    void requestsOnOneConnection_data();
    void requestsOnOneConnection();
    void connectionsBeyondTheLimitAreClosed();
    void newcomerTakesTheIdlestPlace();
    void idleHolderDoesNotKeepTheScraperOut_data();
    void idleHolderDoesNotKeepTheScraperOut();
};

void TstMetricsEndpoint::init()
{
    // Nothing the endpoint does, a dropped client included, is worth a warning.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
}

void TstMetricsEndpoint::answers_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("allow");
    const QByteArray metrics = "text/plain; version=0.0.4; charset=utf-8";
    const QByteArray page = "text/html; charset=utf-8";
    QTest::newRow("GET /metrics") << QByteArray("GET") << "/metrics" << 200 << metrics << QByteArray();
    QTest::newRow("GET /metrics?x=1")
        << QByteArray("GET") << "/metrics?x=1" << 200 << metrics << QByteArray();
    QTest::newRow("GET /") << QByteArray("GET") << "/" << 200 << page << QByteArray();
    QTest::newRow("HEAD /metrics") << QByteArray("HEAD") << "/metrics" << 200 << metrics << QByteArray();
    QTest::newRow("HEAD /") << QByteArray("HEAD") << "/" << 200 << page << QByteArray();
    for (const char *path : {"/nothing", "/metricsx", "/metrics/more", "/index.html"})
        QTest::addRow("GET %s", path) << QByteArray("GET") << path << 404 << QByteArray() << QByteArray();
    for (const char *method : {"POST", "PUT", "DELETE", "OPTIONS"}) {
        for (const char *path : {"/metrics", "/"})
            QTest::addRow("%s %s", method, path)
                << QByteArray(method) << path << 405 << QByteArray() << QByteArray("GET, HEAD");
    }
    QTest::newRow("FOO /metrics") << QByteArray("FOO") << "/metrics" << 501 << QByteArray() << QByteArray();
    QTest::newRow("BREW /") << QByteArray("BREW") << "/" << 501 << QByteArray() << QByteArray();
}

void TstMetricsEndpoint::answers()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, allow);
    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    Client client;
    const Answer answer = client.request(endpoint->serverPort(), path, method);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.allow, allow);
    if (status != 200)
        return;
    QCOMPARE(answer.contentType, contentType);
    const Answer get = client.request(endpoint->serverPort(), path);
    QVERIFY(get.body == endpoint->metricsText() || get.body.contains("<a href=\"/metrics\">"));
    QCOMPARE(answer.contentLength, QByteArray::number(get.body.size()));
    QCOMPARE(answer.body, method == "HEAD" ? QByteArray() : get.body);
    // On the wire, nothing follows HEAD's answer.
    const QByteArray wire =
        untilClosed(endpoint->serverPort(), method + ' ' + path.toLatin1() + " HTTP/1.0\r\n\r\n").first;
    QVERIFY(wire.endsWith(method == "HEAD" ? QByteArray("\r\n\r\n") : get.body));
}

void TstMetricsEndpoint::followsTheReadings()
{
    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    Client client;
    const auto scrape = [&] {
        return client.request(endpoint->serverPort(), QStringLiteral("/metrics")).body;
    };
    QByteArray text = scrape();
    QVERIFY(!text.contains("vantro_temperature_celsius"));
    QVERIFY(!text.contains("vantro_last_reading_timestamp_seconds"));
    QCOMPARE(counter(text, "vantro_board_up"), 0);
    QVERIFY(text.contains("\nvantro_build_info{version=\"1.00\"} 1\n"));

    endpoint->setBoardUp(true);
    endpoint->takeReading(Reading::fromRaw(1733612345678, 45), QStringLiteral("ttyACM0"));
    endpoint->takeReading(Reading::fromRaw(1733612346678, -11), QStringLiteral("ttyACM1"));
    endpoint->replyRejected();
    text = scrape();
    QVERIFY2(text.contains("\nvantro_temperature_celsius{port=\"ttyACM1\"} -5.36\n"), text);
    QVERIFY(!text.contains("ttyACM0"));
    QVERIFY(text.contains("\nvantro_last_reading_timestamp_seconds 1733612346.678\n"));
    QCOMPARE(counter(text, "vantro_board_up"), 1);
    QCOMPARE(counter(text, "vantro_readings_total"), 2);
    QCOMPARE(counter(text, "vantro_replies_rejected_total"), 1);

    endpoint->setBoardUp(false);
    endpoint->replyRejected();
    text = scrape();
    QCOMPARE(counter(text, "vantro_board_up"), 0);
    QCOMPARE(counter(text, "vantro_replies_rejected_total"), 2);
    QCOMPARE(counter(text, "vantro_readings_total"), 2);
}

void TstMetricsEndpoint::waitingReadings()
{
    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    QVERIFY(!endpoint->metricsText().contains("vantro_mqtt_waiting_readings"));
    qint64 waiting = 0;
    endpoint->setWaitingSource([&waiting] { return waiting; });
    Client client;
    QCOMPARE(counter(client.request(endpoint->serverPort(), QStringLiteral("/metrics")).body,
                     "vantro_mqtt_waiting_readings"),
             0);
    waiting = 4711;
    QCOMPARE(counter(client.request(endpoint->serverPort(), QStringLiteral("/metrics")).body,
                     "vantro_mqtt_waiting_readings"),
             4711);
    endpoint->setWaitingSource({});
    QVERIFY(!endpoint->metricsText().contains("vantro_mqtt_waiting_readings"));
}

void TstMetricsEndpoint::temperatureExpires()
{
    MetricsEndpoint oneSecond(QStringLiteral("1.00"));
    MetricsEndpoint never(QStringLiteral("1.00"));
    MetricsEndpoint byDefault(QStringLiteral("1.00"));
    oneSecond.setExpireAfterSeconds(1);
    never.setExpireAfterSeconds(0);
    QElapsedTimer elapsed;
    elapsed.start();
    for (MetricsEndpoint *endpoint : {&oneSecond, &never, &byDefault})
        endpoint->takeReading(Reading::fromRaw(1733612345678, 45), QStringLiteral("ttyACM0"));
    QVERIFY(oneSecond.metricsText().contains("vantro_temperature_celsius{port=\"ttyACM0\"} 21.97\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!oneSecond.metricsText().contains("vantro_temperature_celsius"), 5000);
    QVERIFY2(elapsed.elapsed() >= 1000, QByteArray::number(elapsed.elapsed()));
    QVERIFY(oneSecond.metricsText().contains("\nvantro_last_reading_timestamp_seconds 1733612345.678\n"));
    QVERIFY(never.metricsText().contains("vantro_temperature_celsius{port=\"ttyACM0\"} 21.97\n"));
    QVERIFY(byDefault.metricsText().contains("vantro_temperature_celsius{port=\"ttyACM0\"} 21.97\n"));
    // The board speaks again.
    oneSecond.takeReading(Reading::fromRaw(1733612349678, 46), QStringLiteral("ttyACM0"));
    QVERIFY(oneSecond.metricsText().contains("vantro_temperature_celsius{port=\"ttyACM0\"} 22.46\n"));
}

void TstMetricsEndpoint::promtoolAcceptsTheExposition()
{
    // Prometheus' own checker finds fault with a counter not named as one: it does check.
    QVERIFY(promtoolCheck("# HELP vantro_x Counts.\n# TYPE vantro_x counter\nvantro_x 1\n").first != 0);

    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    Client client;
    const auto check = [&] {
        const Answer answer = client.request(endpoint->serverPort(), QStringLiteral("/metrics"));
        QCOMPARE(answer.status, 200);
        const auto [status, said] = promtoolCheck(answer.body);
        QVERIFY2(status == 0 && said.trimmed().isEmpty(), said + "\n" + answer.body);
    };
    check();
    endpoint->setBoardUp(true);
    endpoint->setWaitingSource([] { return qint64(12); });
    endpoint->takeReading(Reading::fromRaw(1733612345678, -11), QStringLiteral("C:\\ports\\\"board\"\n2"));
    endpoint->replyRejected();
    check();
}

void TstMetricsEndpoint::portInUse()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    MetricsEndpoint endpoint(QStringLiteral("1.00"));
    QString error;
    ListenAddress where;
    where.port = holder.serverPort();
    QVERIFY(!endpoint.listen(where, error));
    QVERIFY2(error.startsWith(QStringLiteral("cannot listen for metrics on 127.0.0.1:%1: ").arg(where.port)),
             qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("in use")), qPrintable(error));
    QVERIFY(!error.contains(u'\n'));
    QCOMPARE(endpoint.serverPort(), quint16(0));
}

void TstMetricsEndpoint::addressNotOnThisMachine()
{
    // Binding asks the system only: nothing is sent to this documentation address.
    MetricsEndpoint endpoint(QStringLiteral("1.00"));
    QString error;
    ListenAddress where;
    where.address = QHostAddress(QStringLiteral("192.0.2.1"));
    where.port = 9101;
    QVERIFY(!endpoint.listen(where, error));
    QVERIFY2(error.startsWith(QLatin1String("cannot listen for metrics on 192.0.2.1:9101: ")),
             qPrintable(error));
}

void TstMetricsEndpoint::servesOverIpv6()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHostIPv6, 0))
        QSKIP("no IPv6 loopback here");
    probe.close();
    MetricsEndpoint endpoint(QStringLiteral("1.00"));
    QString error;
    const std::optional<ListenAddress> where = ListenAddress::parse(QStringLiteral("[::1]:1"), error);
    QVERIFY(where);
    ListenAddress anyPort = *where;
    anyPort.port = 0;
    QVERIFY2(endpoint.listen(anyPort, error), qPrintable(error));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHostIPv6, endpoint.serverPort());
    socket.write("GET /metrics HTTP/1.1\r\nHost: [::1]\r\n\r\n");
    QByteArray answer;
    QTRY_VERIFY((answer += socket.readAll()).contains("vantro_build_info"));
    QVERIFY(answer.startsWith("HTTP/1.1 200"));
}

void TstMetricsEndpoint::silentClientsDoNotHoldUpOthers()
{
    const std::unique_ptr<MetricsEndpoint> endpoint = listening({16 * 1024, 1000, 32});
    QTimer board;
    qint64 raw = 0;
    QObject::connect(&board, &QTimer::timeout, [&] {
        endpoint->takeReading(Reading::fromRaw(QDateTime::currentMSecsSinceEpoch(), int16_t(raw++)),
                              QStringLiteral("ttyACM0"));
    });
    board.start(100);
    QElapsedTimer elapsed;
    elapsed.start();
    const std::unique_ptr<QTcpSocket> silent = rawClient(endpoint->serverPort());
    const std::unique_ptr<QTcpSocket> halfway = rawClient(endpoint->serverPort());
    halfway->write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n");

    // Scrape after scrape is answered, and each finds more readings: the link goes on meanwhile.
    Client client;
    qint64 before = 0;
    for (int scrape = 0; scrape < 4; ++scrape) {
        qint64 readings = -1;
        QTRY_VERIFY_WITH_TIMEOUT(
            (readings = counter(client.request(endpoint->serverPort(), QStringLiteral("/metrics")).body,
                                "vantro_readings_total")) > before,
            5000);
        before = readings;
    }
    QCOMPARE(silent->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(halfway->state(), QAbstractSocket::ConnectedState);
    // Not answered within the limit, they are let go; the scraper, answered, is not.
    QTRY_COMPARE_WITH_TIMEOUT(silent->state(), QAbstractSocket::UnconnectedState, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(halfway->state(), QAbstractSocket::UnconnectedState, 5000);
    // A coarse timer may fire up to 5 % early.
    QVERIFY2(elapsed.elapsed() >= 950, QByteArray::number(elapsed.elapsed()));
    QCOMPARE(endpoint->droppedConnections(), 2);
    QCOMPARE(client.request(endpoint->serverPort(), QStringLiteral("/metrics")).status, 200);
}

void TstMetricsEndpoint::hugeHeadersAreCutOff()
{
    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    Client client;
    QCOMPARE(client.request(endpoint->serverPort(), QStringLiteral("/metrics")).status, 200);
    const long residentBefore = residentKb();
    std::vector<std::unique_ptr<QTcpSocket>> flooders;
    for (int i = 0; i < 8; ++i) {
        flooders.push_back(rawClient(endpoint->serverPort()));
        flooders.back()->write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: " +
                               QByteArray(1024 * 1024, 'a'));
    }
    QCOMPARE(client.request(endpoint->serverPort(), QStringLiteral("/metrics")).status, 200);
    for (const std::unique_ptr<QTcpSocket> &flooder : flooders)
        QTRY_COMPARE_WITH_TIMEOUT(flooder->state(), QAbstractSocket::UnconnectedState, 10000);
    QCOMPARE(endpoint->droppedConnections(), 8);
    flooders.clear();
    QCOMPARE(client.request(endpoint->serverPort(), QStringLiteral("/metrics")).status, 200);
    // Eight megabytes sent: the endpoint kept a few tens of kilobytes of each at most. AddressSanitizer holds
    // freed memory back on purpose, so there the figure says nothing.
#if !defined(__SANITIZE_ADDRESS__)
    QVERIFY2(residentKb() - residentBefore < 4096, QByteArray::number(qint64(residentKb() - residentBefore)));
#else
    Q_UNUSED(residentBefore)
#endif
}

void TstMetricsEndpoint::hugeBodyIsCutOff()
{
    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    const std::unique_ptr<QTcpSocket> flooder = rawClient(endpoint->serverPort());
    flooder->write("POST /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100000000\r\n\r\n" +
                   QByteArray(1024 * 1024, 'b'));
    QTRY_COMPARE_WITH_TIMEOUT(flooder->state(), QAbstractSocket::UnconnectedState, 10000);
    QCOMPARE(endpoint->droppedConnections(), 1);
    Client client;
    QCOMPARE(client.request(endpoint->serverPort(), QStringLiteral("/metrics")).status, 200);
}

void TstMetricsEndpoint::requestInPiecesIsCutOff()
{
    // Each piece is under the bound; together they go past it.
    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    const std::unique_ptr<QTcpSocket> slow = rawClient(endpoint->serverPort());
    slow->write("GET / HTTP/1.1\r\nX-Fill: " + QByteArray(10000, 'p'));
    // A scrape meanwhile lets the endpoint take the first piece on its own.
    Client client;
    QCOMPARE(client.request(endpoint->serverPort(), QStringLiteral("/metrics")).status, 200);
    slow->write(QByteArray(10000, 'p'));
    QTRY_COMPARE_WITH_TIMEOUT(slow->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(endpoint->droppedConnections(), 1);
}

void TstMetricsEndpoint::ordinaryRequestsFitTheLimit()
{
    // A browser's request with its cookies is a few kilobytes.
    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    Client client;
    QCOMPARE(client.request(endpoint->serverPort(), QStringLiteral("/metrics"), "GET", QByteArray(8000, 'c'))
                 .status,
             200);
    QCOMPARE(endpoint->droppedConnections(), 0);
}

void TstMetricsEndpoint::keepAliveScraperIsNeverCut()
{
    // Far more than the limit over one kept-alive connection, each request answered.
    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    Client client;
    for (int scrape = 0; scrape < 150; ++scrape)
        QCOMPARE(
            client.request(endpoint->serverPort(), QStringLiteral("/metrics"), "GET", QByteArray(200, 'k'))
                .status,
            200);
    QCOMPARE(endpoint->droppedConnections(), 0);
}

void TstMetricsEndpoint::requestsOnOneConnection_data()
{
    QTest::addColumn<QByteArray>("requests");
    QTest::addColumn<int>("answers");
    QTest::addColumn<qint64>("dropped");
    const QByteArray get = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    const QByteArray last = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Close\r\n\r\n";
    QTest::newRow("HTTP/1.0") << QByteArray("GET /metrics HTTP/1.0\r\n\r\n") << 1 << qint64(0);
    QTest::newRow("HTTP/1.0 kept alive")
        << "GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n" + last << 2 << qint64(0);
    QTest::newRow("HTTP/1.1") << get + last << 2 << qint64(0);
    QTest::newRow("Connection: close") << last << 1 << qint64(0);
    QTest::newRow("nothing after close") << last + get << 1 << qint64(0);
    // About 10 kB, under the bound.
    QTest::newRow("300 pipelined") << get.repeated(299) + last << 300 << qint64(0);
    QTest::newRow("one over the bound")
        << "GET / HTTP/1.1\r\nX-Fill: " + QByteArray(16 * 1024, 'f') + "\r\n\r\n"
        << 0 << qint64(1);
}

void TstMetricsEndpoint::requestsOnOneConnection()
{
    QFETCH(QByteArray, requests);
    QFETCH(int, answers);
    QFETCH(qint64, dropped);
    const std::unique_ptr<MetricsEndpoint> endpoint = listening();
    const auto [received, closed] = untilClosed(endpoint->serverPort(), requests);
    QVERIFY(closed);
    QCOMPARE(received.count("HTTP/1.1 200 OK\r\n"), answers);
    QCOMPARE(endpoint->droppedConnections(), dropped);
}

void TstMetricsEndpoint::connectionsBeyondTheLimitAreClosed()
{
    // Each amid a request, none gives way to a newcomer.
    const std::unique_ptr<MetricsEndpoint> endpoint = listening({16 * 1024, 30000, 3, 30000});
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 3; ++i)
        held.push_back(busyClient(endpoint->serverPort()));
    const std::unique_ptr<QTcpSocket> oneTooMany = rawClient(endpoint->serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(oneTooMany->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(endpoint->droppedConnections(), 1);
    for (const std::unique_ptr<QTcpSocket> &socket : held)
        QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
    // One let go, there is room again.
    held.front()->disconnectFromHost();
    held.erase(held.begin());
    Client another;
    QTRY_COMPARE_WITH_TIMEOUT(another.request(endpoint->serverPort(), QStringLiteral("/metrics")).status, 200,
                              5000);
}

void TstMetricsEndpoint::newcomerTakesTheIdlestPlace()
{
    const std::unique_ptr<MetricsEndpoint> endpoint = listening({16 * 1024, 30000, 3, 30000});
    Client scraper;
    QCOMPARE(scraper.request(endpoint->serverPort(), QStringLiteral("/metrics")).status, 200);
    const std::unique_ptr<QTcpSocket> older = rawClient(endpoint->serverPort());
    const std::unique_ptr<QTcpSocket> newer = rawClient(endpoint->serverPort());
    // The one that has said nothing for longest goes first, before the scraper idle since its answer...
    const std::unique_ptr<QTcpSocket> busy = busyClient(endpoint->serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(older->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(newer->state(), QAbstractSocket::ConnectedState);
    // ...which goes when no silent one is left, while those amid a request keep their places.
    startSecondRequest(*newer);
    const std::unique_ptr<QTcpSocket> last = busyClient(endpoint->serverPort());
    QCOMPARE(endpoint->droppedConnections(), 2);
    QCOMPARE(newer->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(busy->state(), QAbstractSocket::ConnectedState);
}

void TstMetricsEndpoint::idleHolderDoesNotKeepTheScraperOut_data()
{
    QTest::addColumn<int>("firstByteMs");
    QTest::addColumn<int>("dropsBeforeScrape");
    QTest::newRow("silent ones give way at the bound") << 30000 << 0;
    // Long enough that a scrape is not taken for a silent one while the machine is busy.
    QTest::newRow("silent ones give up their place") << 1500 << 8;
}

void TstMetricsEndpoint::idleHolderDoesNotKeepTheScraperOut()
{
    QFETCH(int, firstByteMs);
    QFETCH(int, dropsBeforeScrape);
    const std::unique_ptr<MetricsEndpoint> endpoint = listening({16 * 1024, 30000, 8, firstByteMs});
    QElapsedTimer elapsed;
    elapsed.start();
    SilentHolder holder(endpoint->serverPort(), 8);
    QTRY_VERIFY_WITH_TIMEOUT(holder.connected >= 8, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(holder.reopened >= dropsBeforeScrape, 5000);
    // A coarse timer may fire up to 5 % early.
    QVERIFY(dropsBeforeScrape == 0 || elapsed.elapsed() >= firstByteMs * 95 / 100);
    Client scraper;
    int answered = 0;
    for (int scrape = 0; scrape < 8; ++scrape)
        answered += scraper.request(endpoint->serverPort(), QStringLiteral("/metrics")).status == 200;
    QVERIFY2(answered >= 7, QByteArray::number(answered));
}

QTEST_GUILESS_MAIN(TstMetricsEndpoint)
#include "tst_metrics_endpoint.moc"
