// The metrics endpoint, serving from a process of its own while readings arrive ten times a second:
//   metrics_bench scrape COUNT     COUNT scrapes of /metrics, one after another on one kept-alive connection
//                                  and as many on a new connection each: median and worst time, request
//                                  written -> whole answer read
//   metrics_bench cpu SECONDS      two endpoints side by side for SECONDS, one scraped once a second and one
//                                  not: the share of a core each used (getrusage), and the difference
//   metrics_bench serve            the endpoint alone, as the two above start it: prints its port, and its
//                                  CPU time once its standard input closes
#include "bench_support.h"
#include "metrics/metrics_endpoint.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtCore/QSocketNotifier>
#include <QtCore/QThread>
#include <QtNetwork/QTcpSocket>

#include <chrono>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {
int serve()
{
    MetricsEndpoint endpoint(QStringLiteral("1.00"));
    QString error;
    if (!endpoint.listen(ListenAddress{}, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    endpoint.setBoardUp(true);
    endpoint.setWaitingSource([] { return qint64(0); });
    QTimer board;
    int16_t raw = 40;
    QObject::connect(&board, &QTimer::timeout, [&] {
        endpoint.takeReading(Reading::fromRaw(QDateTime::currentMSecsSinceEpoch(), raw),
                             QStringLiteral("ttyACM0"));
        raw = int16_t(40 + (raw - 39) % 10);
    });
    board.start(100);
    std::printf("port=%d\n", endpoint.serverPort());
    std::fflush(stdout);
    QElapsedTimer elapsed;
    elapsed.start();
    const double cpuBefore = cpuSeconds();
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char byte;
        if (read(STDIN_FILENO, &byte, 1) > 0)
            return;
        std::printf("cpu_seconds=%.4f seconds=%.3f\n", cpuSeconds() - cpuBefore,
                    double(elapsed.elapsed()) / 1000.0);
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

// An endpoint in a child process.
class Server final
{
public:
    Server()
    {
        m_process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("serve")});
        m_process.waitForReadyRead(10000);
        m_port = quint16(m_process.readLine().trimmed().mid(5).toUInt());
    }

    // Closes its input, and returns the share of one core it used, in percent.
    double stop()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished(10000);
        const QString said = QString::fromLatin1(m_process.readAll()).trimmed();
        const double cpu = said.section(u' ', 0, 0).section(u'=', 1).toDouble();
        const double seconds = said.section(u' ', 1, 1).section(u'=', 1).toDouble();
        return 100.0 * cpu / seconds;
    }

    quint16 port() const
    {
        return m_port;
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

bool connectTo(QTcpSocket &socket, quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(5000);
}

// One GET /metrics on `socket`, answered in full; its time in ms, or a negative one on failure.
double scrape(QTcpSocket &socket)
{
    const auto start = std::chrono::steady_clock::now();
    socket.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/plain\r\n\r\n");
    QByteArray answer;
    qsizetype headEnd = -1;
    qsizetype length = -1;
    while (headEnd < 0 || answer.size() < headEnd + 4 + length) {
        if (!socket.waitForReadyRead(5000))
            return -1;
        answer += socket.readAll();
        if (headEnd < 0 && (headEnd = answer.indexOf("\r\n\r\n")) >= 0) {
            const qsizetype at = answer.toLower().indexOf("content-length:");
            length = answer.mid(at + 15, answer.indexOf('\r', at) - at - 15).trimmed().toLongLong();
        }
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

int scrapes(int count)
{
    Server server;
    QTcpSocket kept;
    if (!connectTo(kept, server.port()))
        return 1;
    std::vector<double> keptAlive;
    std::vector<double> fresh;
    for (int i = 0; i < count; ++i) {
        keptAlive.push_back(scrape(kept));
        QTcpSocket socket;
        const auto start = std::chrono::steady_clock::now();
        if (!connectTo(socket, server.port()) || scrape(socket) < 0)
            return 1;
        fresh.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (keptAlive.back() < 0)
            return 1;
    }
    printFigures("scrape_kept_alive", keptAlive);
    printFigures("scrape_new_connection", fresh);
    server.stop();
    return 0;
}

int cpu(int seconds)
{
    Server scraped;
    Server alone;
    QTcpSocket socket;
    if (!connectTo(socket, scraped.port()))
        return 1;
    for (int second = 0; second < seconds; ++second) {
        if (scrape(socket) < 0)
            return 1;
        QThread::msleep(1000);
    }
    const double scrapedPercent = scraped.stop();
    const double alonePercent = alone.stop();
    std::printf("metrics_cpu seconds=%d scraped_cpu_percent=%.3f unscraped_cpu_percent=%.3f "
                "scraping_cpu_percent=%.3f\n",
                seconds, scrapedPercent, alonePercent, scrapedPercent - alonePercent);
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QString mode = arguments.value(1);
    if (mode == QLatin1String("serve"))
        return serve();
    if (mode == QLatin1String("scrape"))
        return scrapes(arguments.value(2, QStringLiteral("1000")).toInt());
    if (mode == QLatin1String("cpu"))
        return cpu(arguments.value(2, QStringLiteral("60")).toInt());
    std::fprintf(stderr, "usage: metrics_bench scrape COUNT | cpu SECONDS | serve\n");
    return 2;
}
