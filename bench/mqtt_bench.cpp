// The headless program and the publisher against a real local Mosquitto:
//   mqtt_bench headless IDLE_SECONDS   start -> port open, resident memory with and without a broker, idle
//   CPU,
//                                      reply written -> message received by a subscriber
//   mqtt_bench stream SECONDS          240 readings a second through the publisher: lost, order, CPU
//   mqtt_bench outage SECONDS          the broker stopped for SECONDS mid-stream: every reading, in order
//   mqtt_bench fleet BOARDS SECONDS    BOARDS boards and headless programs on one broker, 10 readings a
//   second each
#include "bench_support.h"
#include "board_line.h"
#include "headless/headless_view.h"
#include "link/link_state.h"
#include "link/reply_recognition.h"
#include "local_broker.h"
#include "publish/reading_publisher.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTimer>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <unistd.h>

namespace {
QByteArray reply(int raw)
{
    return QByteArray::fromRawData("\x16\x05", 2) + char(raw & 0xFF) + char((raw >> 8) & 0x7F) +
           QByteArray::fromRawData("\x21\0\0\0", 4);
}

int rawOf(const QString &message)
{
    const QJsonObject json = QJsonDocument::fromJson(message.section(u' ', 1).toUtf8()).object();
    return json[QStringLiteral("low")].toInt() | json[QStringLiteral("high")].toInt() << 8;
}

QString boardOf(const QString &message)
{
    return message.section(u'/', 1, 1);
}

double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    stat.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
    return double(fields[12].toLong() + fields[13].toLong()) / double(sysconf(_SC_CLK_TCK));
}

// The real program, headless, with a settings folder of its own.
class Headless
{
public:
    Headless(const QString &port, const QStringList &extra)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral(VANTRO_PATH), QStringList{"--headless", "--port", port} + extra);
    }
    ~Headless()
    {
        process.terminate();
        process.waitForFinished(3000);
    }
    long statusKb(const char *field) const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
        return -1;
    }
    long pssKb() const
    {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(process.processId()));
        rollup.open(QIODevice::ReadOnly);
        for (const QByteArray &line : rollup.readAll().split('\n'))
            if (line.startsWith("Pss:"))
                return line.mid(4).trimmed().split(' ').first().toLong();
        return -1;
    }
    double cpuSeconds() const
    {
        return processCpuSeconds(process.processId());
    }

    QProcess process;

private:
    QTemporaryDir m_home;
};

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int headless(int idleSeconds)
{
    LocalBroker broker;
    if (!broker.start())
        return 1;
    Subscriber subscriber(broker, QStringLiteral("vantro/+/reading"));
    subscriber.subscribed();
    for (const bool publishing : {false, true}) {
        BoardLine board;
        const double started = nowMs();
        Headless program(board.portPath(), publishing
                                               ? QStringList{"--mqtt", broker.url(), "--mqtt-id", "bench"}
                                               : QStringList{});
        if (board.read(1, 5000).isEmpty())
            return 1;
        const double open = nowMs() - started;
        runFor(2000);
        std::printf("headless mqtt=%s start_to_open_ms=%.1f rss_kb=%ld pss_kb=%ld\n",
                    publishing ? "on" : "off", open, program.statusKb("VmRSS:"), program.pssKb());
        if (!publishing)
            continue;

        std::vector<double> latencies;
        for (int n = 0; n < 100; ++n) {
            const double written = nowMs();
            board.write(reply(n));
            if (!subscriber.waitFor(n + 1, 5000))
                return 1;
            latencies.push_back(subscriber.arrivalsMs().at(n) - written);
            runFor(20 + (n * 7) % 40); // off the 10 ms poll's grid
        }
        printFigures("publish_latency", latencies);

        const double cpuBefore = program.cpuSeconds();
        runFor(idleSeconds * 1000);
        std::printf("headless_idle mqtt=on seconds=%d cpu_percent=%.3f\n", idleSeconds,
                    100 * (program.cpuSeconds() - cpuBefore) / idleSeconds);
    }
    return 0;
}

// The headless path of a reply, from recognition on, at the line's full rate.
int stream(int seconds)
{
    LocalBroker broker;
    if (!broker.start())
        return 1;
    Subscriber subscriber(broker, QStringLiteral("vantro/+/reading"));
    subscriber.subscribed();
    QString error;
    ReadingPublisher publisher(*BrokerAddress::parse(broker.url(), error), QStringLiteral("bench"), {});
    publisher.start();
    runFor(500);
    HeadlessView view;
    LinkState state;
    ReplyStream replies([&](qint64 n) {
        const QByteArray bytes = reply(int(n % 32768));
        if (auto reading = recogniseReply(state, reinterpret_cast<const uint8_t *>(bytes.constData()), 8,
                                          view, QDateTime::currentMSecsSinceEpoch()))
            publisher.publishReading(*reading);
    });
    const double cpuBefore = cpuSeconds();
    replies.start();
    runFor(seconds * 1000);
    replies.stop();
    const double wall = replies.seconds();
    const double cpu = cpuSeconds() - cpuBefore;
    const qint64 sent = replies.sent();
    subscriber.waitFor(int(sent), 10000);
    bool inOrder = true;
    const QStringList messages = subscriber.messages();
    for (qsizetype i = 0; i < messages.size(); ++i)
        inOrder = inOrder && rawOf(messages[i]) == int(i % 32768);
    std::printf("publish_stream seconds=%.1f readings=%lld received=%lld in_order=%s cpu_percent=%.2f\n",
                wall, static_cast<long long>(sent), static_cast<long long>(messages.size()),
                inOrder ? "yes" : "no", 100 * cpu / wall);
    return 0;
}

// The real program, 10 readings a second, and the broker stopped for `seconds` in the middle.
int outage(int seconds)
{
    LocalBroker broker;
    if (!broker.start())
        return 1;
    Subscriber subscriber(broker, QStringLiteral("vantro/+/reading"));
    subscriber.subscribed();
    BoardLine board;
    Headless program(board.portPath(), {"--mqtt", broker.url(), "--mqtt-id", "bench"});
    board.read(1, 5000);
    runFor(1000);
    int written = 0;
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] { board.write(reply(written++)); });
    pace.start(100);
    runFor(5000);
    broker.stop();
    runFor(seconds * 1000);
    const int duringOutage = written;
    broker.start();
    const double back = nowMs();
    const int atReturn = written;
    subscriber.waitFor(atReturn, 10000);
    const double delivered = nowMs() - back;
    runFor(5000);
    pace.stop();
    subscriber.waitFor(written, 5000);
    int repeats = 0;
    int expected = 0;
    bool inOrder = true;
    QSet<int> seen;
    for (const QString &message : subscriber.messages()) {
        const int raw = rawOf(message);
        if (seen.contains(raw)) {
            ++repeats;
            continue;
        }
        seen.insert(raw);
        inOrder = inOrder && raw == expected++;
    }
    std::printf("outage seconds=%d readings=%d received=%d in_order=%s repeats=%d readings_before_return=%d "
                "backlog_delivered_ms=%.0f\n",
                seconds, written, expected, inOrder && expected == written ? "yes" : "no", repeats,
                duringOutage, delivered);
    return 0;
}

int fleet(int boards, int seconds, int intervalMs)
{
    LocalBroker broker;
    if (!broker.start())
        return 1;
    Subscriber subscriber(broker, QStringLiteral("vantro/+/reading"));
    subscriber.subscribed();
    std::vector<std::unique_ptr<BoardLine>> lines;
    std::vector<std::unique_ptr<Headless>> programs;
    for (int b = 0; b < boards; ++b) {
        lines.push_back(std::make_unique<BoardLine>());
        programs.push_back(std::make_unique<Headless>(
            lines.back()->portPath(),
            QStringList{"--mqtt", broker.url(), "--mqtt-id", QStringLiteral("board%1").arg(b)}));
    }
    for (auto &line : lines)
        line->read(1, 10000);
    runFor(2000);
    double programsCpu = 0;
    for (auto &program : programs)
        programsCpu -= program->cpuSeconds();
    double brokerCpu = -processCpuSeconds(broker.processId());
    int written = 0;
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        for (auto &line : lines)
            line->write(reply(written));
        ++written;
    });
    QElapsedTimer elapsed;
    elapsed.start();
    pace.start(intervalMs);
    runFor(seconds * 1000);
    pace.stop();
    const double wall = double(elapsed.elapsed()) / 1000;
    for (auto &program : programs)
        programsCpu += program->cpuSeconds();
    brokerCpu += processCpuSeconds(broker.processId());
    subscriber.waitFor(written * boards, 20000);
    std::map<QString, int> next;
    int received = 0;
    int outOfOrder = 0;
    QSet<QString> seen;
    for (const QString &message : subscriber.messages()) {
        const QString board = boardOf(message);
        const int raw = rawOf(message);
        if (seen.contains(board + u'/' + QString::number(raw)))
            continue;
        seen.insert(board + u'/' + QString::number(raw));
        outOfOrder += raw != next[board];
        next[board] = raw + 1;
        ++received;
    }
    std::printf(
        "fleet boards=%d seconds=%.1f readings=%d received=%d out_of_order=%d readings_per_second=%.0f "
        "programs_cpu_percent=%.2f per_program_cpu_percent=%.3f broker_cpu_percent=%.2f\n",
        boards, wall, written * boards, received, outOfOrder, received / wall, 100 * programsCpu / wall,
        100 * programsCpu / wall / boards, 100 * brokerCpu / wall);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int amount = arguments.size() >= 3 ? arguments.at(2).toInt() : 0;
    if (arguments.size() >= 3 && arguments.at(1) == QLatin1String("headless"))
        return headless(amount);
    if (arguments.size() >= 3 && arguments.at(1) == QLatin1String("stream") && amount > 0)
        return stream(amount);
    if (arguments.size() >= 3 && arguments.at(1) == QLatin1String("outage") && amount > 0)
        return outage(amount);
    if (arguments.size() >= 4 && arguments.at(1) == QLatin1String("fleet") && amount > 0)
        return fleet(amount, arguments.at(3).toInt(), arguments.size() >= 5 ? arguments.at(4).toInt() : 100);
    std::fprintf(stderr, "usage: mqtt_bench headless IDLE_SECONDS | stream SECONDS | outage SECONDS | "
                         "fleet BOARDS SECONDS [INTERVAL_MS]\n");
    return 2;
}
