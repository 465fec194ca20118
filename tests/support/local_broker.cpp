#include "local_broker.h"

#include "board_line.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QFile>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QSignalSpy>

#include <QtCore/QUuid>

#include <chrono>
#include <pwd.h>
#include <unistd.h>

namespace {
int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}
} // namespace

LocalBroker::LocalBroker(const QStringList &extraConfig, const QStringList &users) : m_port(freePort())
{
    // Started by root, Mosquitto would become the user "mosquitto", who cannot read this folder.
    QStringList config{QStringLiteral("user %1").arg(QString::fromLocal8Bit(getpwuid(getuid())->pw_name)),
                       QStringLiteral("listener %1 127.0.0.1").arg(m_port),
                       QStringLiteral("persistence true"),
                       QStringLiteral("persistence_location %1/").arg(m_folder.path()),
                       QStringLiteral("log_dest file %1/broker.log").arg(m_folder.path()),
                       QStringLiteral("log_type all")};
    if (users.isEmpty()) {
        config << QStringLiteral("allow_anonymous true");
    } else {
        const QString passwords = m_folder.filePath(QStringLiteral("passwords"));
        QFile file(passwords);
        file.open(QIODevice::WriteOnly);
        file.write(users.join(u'\n').toUtf8() + '\n');
        file.close();
        QProcess::execute(QStringLiteral("mosquitto_passwd"), {QStringLiteral("-U"), passwords});
        config << QStringLiteral("allow_anonymous false") << QStringLiteral("password_file ") + passwords;
    }
    QFile file(m_folder.filePath(QStringLiteral("mosquitto.conf")));
    file.open(QIODevice::WriteOnly);
    file.write((config + extraConfig).join(u'\n').toUtf8() + '\n');
}

LocalBroker::~LocalBroker()
{
    stop();
}

bool LocalBroker::start()
{
    m_process.start(QStringLiteral("mosquitto"),
                    {QStringLiteral("-c"), m_folder.filePath(QStringLiteral("mosquitto.conf"))});
    if (!m_process.waitForStarted())
        return false;
    // Ready when it accepts a connection; it takes a few milliseconds.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        if (probe.waitForConnected(200))
            return true;
        QSignalSpy(&m_process, &QProcess::finished).wait(20);
    }
    return false;
}

void LocalBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    m_process.waitForFinished(5000);
}

int LocalBroker::port() const
{
    return m_port;
}

QString LocalBroker::url(const QString &user) const
{
    const QString at = user.isEmpty() ? QString() : user + u'@';
    return QStringLiteral("mqtt://") + at + QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

qint64 LocalBroker::processId() const
{
    return m_process.processId();
}

QString LocalBroker::folder() const
{
    return m_folder.path();
}

int LocalBroker::connectionAttempts() const
{
    // Answered ones, accepted or refused; a refused client is not named in the log.
    return int(fileContents(m_folder.filePath(QStringLiteral("broker.log"))).count("Sending CONNACK to"));
}

int LocalBroker::tlsFailures() const
{
    return int(fileContents(m_folder.filePath(QStringLiteral("broker.log"))).count("OpenSSL Error"));
}

Subscriber::Subscriber(const LocalBroker &broker, const QString &topic)
{
    // Line-buffered, or its lines would wait in a pipe's buffer.
    m_process.start(QStringLiteral("stdbuf"),
                    {QStringLiteral("-oL"), QStringLiteral("mosquitto_sub"), QStringLiteral("-h"),
                     QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(broker.port()),
                     QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-c"), QStringLiteral("-i"),
                     QStringLiteral("sub-") + QUuid::createUuid().toString(QUuid::Id128).left(12),
                     QStringLiteral("-t"), topic, QStringLiteral("-v"), QStringLiteral("-d")});
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { take(); });
}

Subscriber::~Subscriber()
{
    m_process.terminate();
    m_process.waitForFinished(2000);
}

bool Subscriber::subscribed()
{
    const QDeadlineTimer deadline(5000);
    while (!m_subscribed && !deadline.hasExpired())
        m_process.waitForReadyRead(int(deadline.remainingTime()));
    take();
    return m_subscribed;
}

QStringList Subscriber::messages()
{
    take();
    return m_messages;
}

bool Subscriber::waitFor(int count, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (messages().size() < count && !deadline.hasExpired())
        QSignalSpy(&m_process, &QProcess::readyReadStandardOutput).wait(int(deadline.remainingTime()));
    return m_messages.size() >= count;
}

QList<double> Subscriber::arrivalsMs() const
{
    return m_arrivalsMs;
}

void Subscriber::take()
{
    const double now =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(end));
        m_pending.remove(0, end + 1);
        // -d adds the client's own debug lines; the messages are the rest.
        if (line.startsWith(QLatin1String("Client ")))
            m_subscribed = m_subscribed || line.contains(QLatin1String("received SUBACK"));
        else if (!line.startsWith(QLatin1String("Subscribed (mid")) && !line.isEmpty())
            m_messages << line, m_arrivalsMs << now;
    }
}
