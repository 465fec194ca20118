#include "local_influxdb.h"

#include "server_process.h"

#include "board_line.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QFile>
#include <QtCore/QStandardPaths>
#include <QtNetwork/QNetworkReply>
#include <QtNetwork/QTcpServer>
#include <QtTest/QSignalSpy>

#include <memory>

namespace {
constexpr int AnswerMs = 10000;
} // namespace

LocalInfluxDb::LocalInfluxDb()
{
    const QList<quint16> ports = freePorts(2);
    const quint16 rpc = ports[1];
    m_port = ports[0];
    const QString folder = m_folder.path();
    // The RPC service for backups listens on 8088 unless told otherwise, which another test may hold.
    const QStringList config{
        QStringLiteral("reporting-disabled = true"),
        QStringLiteral("bind-address = \"127.0.0.1:%1\"").arg(rpc),
        QStringLiteral("[meta]"),
        QStringLiteral("dir = \"%1/meta\"").arg(folder),
        QStringLiteral("[data]"),
        QStringLiteral("dir = \"%1/data\"").arg(folder),
        QStringLiteral("wal-dir = \"%1/wal\"").arg(folder),
        QStringLiteral("query-log-enabled = false"),
        QStringLiteral("[monitor]"),
        QStringLiteral("store-enabled = false"),
        QStringLiteral("[http]"),
        QStringLiteral("bind-address = \"127.0.0.1:%1\"").arg(m_port),
        QStringLiteral("log-enabled = false"),
        QStringLiteral("[logging]"),
        QStringLiteral("level = \"warn\""),
        QStringLiteral("suppress-logo = true"),
    };
    QFile file(m_folder.filePath(QStringLiteral("influxdb.conf")));
    file.open(QIODevice::WriteOnly);
    file.write(config.join(u'\n').toUtf8() + '\n');
}

LocalInfluxDb::~LocalInfluxDb()
{
    stop();
}

bool LocalInfluxDb::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("influxd")).isEmpty();
}

bool LocalInfluxDb::start()
{
    // Settings from the environment would override the file's.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys()) {
        if (name.startsWith(QLatin1String("INFLUXDB_")))
            environment.remove(name);
    }
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_folder.filePath(QStringLiteral("influxd.log")));
    m_process.start(QStringLiteral("influxd"),
                    {QStringLiteral("-config"), m_folder.filePath(QStringLiteral("influxdb.conf"))});
    // Ready when it answers a ping; an empty server takes a second or so.
    const auto answers = [this] {
        std::unique_ptr<QNetworkReply> reply(
            m_network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/ping").arg(m_port)))));
        QSignalSpy(reply.get(), &QNetworkReply::finished).wait(AnswerMs);
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 204;
    };
    return waitUntilReady(m_process, answers, 30000, 100);
}

void LocalInfluxDb::stop()
{
    stopServer(m_process, 10000);
}

int LocalInfluxDb::port() const
{
    return m_port;
}

QByteArray LocalInfluxDb::query(const QString &database, const QString &statement)
{
    int status = 0;
    // Times as integers of nanoseconds, not as text.
    return post(QStringLiteral("/query"),
                {{QStringLiteral("db"), database},
                 {QStringLiteral("epoch"), QStringLiteral("ns")},
                 {QStringLiteral("q"), statement}},
                {}, status);
}

QString LocalInfluxDb::write(const QString &database, const QByteArray &lines)
{
    int status = 0;
    const QByteArray answer =
        post(QStringLiteral("/write"),
             {{QStringLiteral("db"), database}, {QStringLiteral("precision"), QStringLiteral("ns")}}, lines,
             status);
    return status == 204 ? QString()
                         : QStringLiteral("HTTP %1: %2").arg(status).arg(QString::fromUtf8(answer));
}

QByteArray LocalInfluxDb::log() const
{
    return fileContents(m_folder.filePath(QStringLiteral("influxd.log")));
}

QByteArray LocalInfluxDb::post(const QString &path, const QList<std::pair<QString, QString>> &query,
                               const QByteArray &body, int &status)
{
    QUrl url(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    // Every value percent-encoded, "+" and "&" included, which a statement may hold.
    QByteArrayList items;
    for (const auto &[key, value] : query)
        items << key.toUtf8() + '=' + QUrl::toPercentEncoding(value);
    url.setQuery(QString::fromLatin1(items.join('&')));
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain; charset=utf-8"));
    const std::unique_ptr<QNetworkReply> reply(m_network.post(request, body));
    QSignalSpy(reply.get(), &QNetworkReply::finished).wait(AnswerMs);
    status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply->readAll();
}
