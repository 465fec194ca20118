#include "local_prometheus.h"

#include "server_process.h"

#include "board_line.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QUrlQuery>
#include <QtNetwork/QNetworkProxy>
#include <QtNetwork/QNetworkReply>
#include <QtNetwork/QTcpServer>
#include <QtTest/QSignalSpy>

#include <memory>

LocalPrometheus::LocalPrometheus(const QString &target) : m_port(freePorts(1).constFirst())
{
    QFile config(m_folder.filePath(QStringLiteral("prometheus.yml")));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("global:\n"
                                "  scrape_interval: 1s\n"
                                "  scrape_timeout: 1s\n"
                                "scrape_configs:\n"
                                "  - job_name: vantro\n"
                                "    static_configs:\n"
                                "      - targets: ['%1']\n")
                     .arg(target)
                     .toUtf8());
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_folder.filePath(QStringLiteral("prometheus.log")));
    m_process.setWorkingDirectory(m_folder.path());
    // Straight to 127.0.0.1, whatever proxy the environment names.
    m_network.setProxy(QNetworkProxy::NoProxy);
}

LocalPrometheus::~LocalPrometheus()
{
    stop();
}

bool LocalPrometheus::start(int timeoutMs)
{
    m_process.start(QStringLiteral("prometheus"),
                    {QStringLiteral("--config.file=") + m_folder.filePath(QStringLiteral("prometheus.yml")),
                     QStringLiteral("--storage.tsdb.path=") + m_folder.filePath(QStringLiteral("data")),
                     QStringLiteral("--web.listen-address=127.0.0.1:") + QString::number(m_port)});
    return waitUntilReady(
        m_process, [this] { return get(QStringLiteral("/-/ready"), 1000).first == 200; }, timeoutMs, 100);
}

void LocalPrometheus::stop()
{
    stopServer(m_process, 10000);
}

int LocalPrometheus::port() const
{
    return m_port;
}

std::optional<QJsonArray> LocalPrometheus::query(const QString &expression, int timeoutMs)
{
    QUrlQuery parameters;
    parameters.addQueryItem(QStringLiteral("query"), expression);
    const auto [status, body] =
        get(QStringLiteral("/api/v1/query?") + parameters.toString(QUrl::FullyEncoded), timeoutMs);
    const QJsonObject answer = QJsonDocument::fromJson(body).object();
    if (status != 200 || answer[QStringLiteral("status")].toString() != QLatin1String("success"))
        return std::nullopt;
    return answer[QStringLiteral("data")][QStringLiteral("result")].toArray();
}

QString LocalPrometheus::value(const QString &expression)
{
    const std::optional<QJsonArray> samples = query(expression);
    if (!samples || samples->size() != 1)
        return {};
    return samples->at(0)[QStringLiteral("value")][1].toString();
}

QByteArray LocalPrometheus::log() const
{
    return fileContents(m_folder.filePath(QStringLiteral("prometheus.log")));
}

std::pair<int, QByteArray> LocalPrometheus::get(const QString &path, int timeoutMs)
{
    const QUrl url(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(url)));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(timeoutMs))
        return {0, {}};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}
