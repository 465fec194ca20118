#include "local_broker.h"

#include "server_process.h"

#include "board_line.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QFile>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QSignalSpy>

#include <QtCore/QUuid>

#include <chrono>

LocalBroker::LocalBroker(const QStringList &extraConfig, const QStringList &users, const QStringList &acl)
    : m_port(freePorts(1).constFirst())
{
    // Started by root, Mosquitto would become the user "mosquitto", who cannot read this folder.
    QStringList config{QStringLiteral("user %1").arg(hostUserName()),
                       QStringLiteral("listener %1 127.0.0.1").arg(m_port),
                       QStringLiteral("persistence true"),
                       QStringLiteral("persistence_location %1/").arg(hostPath(m_folder.path())),
                       QStringLiteral("log_dest file %1/broker.log").arg(hostPath(m_folder.path())),
                       QStringLiteral("log_type all")};
    if (users.isEmpty()) {
        config << QStringLiteral("allow_anonymous true");
    } else {
        const QString passwords = privateFile(QStringLiteral("passwords"), users);
        TestProcess::execute(QStringLiteral("mosquitto_passwd"), {QStringLiteral("-U"), hostPath(passwords)});
        config << QStringLiteral("allow_anonymous false")
               << QStringLiteral("password_file ") + hostPath(passwords);
    }
    if (!acl.isEmpty())
        config << QStringLiteral("acl_file ") + hostPath(privateFile(QStringLiteral("acl"), acl));
    QFile file(m_folder.filePath(QStringLiteral("mosquitto.conf")));
    file.open(QIODevice::WriteOnly);
    file.write((config + extraConfig).join(u'\n').toUtf8() + '\n');
}

LocalBroker::~LocalBroker()
{
    stop();
}

void LocalBroker::listenOn(const QString &address)
{
    QFile file(m_folder.filePath(QStringLiteral("mosquitto.conf")));
    file.open(QIODevice::ReadWrite);
    const QByteArray config =
        file.readAll().replace(QStringLiteral("listener %1 %2\n").arg(m_port).arg(m_address).toUtf8(),
                               QStringLiteral("listener %1 %2\n").arg(m_port).arg(address).toUtf8());
    file.resize(0);
    file.write(config);
    m_address = address;
}

QString LocalBroker::privateFile(const QString &name, const QStringList &lines)
{
    const QString path = m_folder.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write(lines.join(u'\n').toUtf8() + '\n');
    return path;
}

bool LocalBroker::start()
{
    m_process.start(QStringLiteral("mosquitto"),
                    {QStringLiteral("-c"), hostPath(m_folder.filePath(QStringLiteral("mosquitto.conf")))});
    // Ready when it accepts a connection; it takes a few milliseconds.
    const auto accepts = [this] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress(m_address), quint16(m_port));
        return probe.waitForConnected(200);
    };
    return waitUntilReady(m_process, accepts, 5000, 20);
}

void LocalBroker::stop()
{
    stopServer(m_process, 5000);
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
    return int(log().count("OpenSSL Error"));
}

QByteArray LocalBroker::log() const
{
    return fileContents(m_folder.filePath(QStringLiteral("broker.log")));
}

bool LocalBroker::publish(const QString &topic, const QByteArray &payload, bool retained) const
{
    QStringList arguments{
        QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port),
        QStringLiteral("-q"), QStringLiteral("1"),         QStringLiteral("-t"), topic};
    arguments << (payload.isEmpty() ? QStringList{QStringLiteral("-n")}
                                    : QStringList{QStringLiteral("-m"), QString::fromUtf8(payload)});
    if (retained)
        arguments << QStringLiteral("-r");
    return TestProcess::execute(QStringLiteral("mosquitto_pub"), arguments) == 0;
}

Subscriber::Subscriber(const LocalBroker &broker, const QString &topic, const QStringList &options)
{
    // Line-buffered, or its lines would wait in a pipe's buffer.
    m_process.start(QStringLiteral("stdbuf"),
                    QStringList{QStringLiteral("-oL"), QStringLiteral("mosquitto_sub"), QStringLiteral("-h"),
                                QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                                QString::number(broker.port()), QStringLiteral("-q"), QStringLiteral("1"),
                                QStringLiteral("-c"), QStringLiteral("-i"),
                                QStringLiteral("sub-") + QUuid::createUuid().toString(QUuid::Id128).left(12),
                                QStringLiteral("-t"), topic, QStringLiteral("-v"), QStringLiteral("-d")} +
                        options);
    QObject::connect(&m_process, &TestProcess::readyReadStandardOutput, [this] { take(); });
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
        QSignalSpy(&m_process, &TestProcess::readyReadStandardOutput).wait(int(deadline.remainingTime()));
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

BrokerProxy::BrokerProxy(const LocalBroker &broker, bool mqtt311Only)
    : m_brokerPort(broker.port()), m_mqtt311Only(mqtt311Only)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { relay(); });
}

BrokerProxy::~BrokerProxy()
{
    cut();
}

int BrokerProxy::port() const
{
    return m_server.serverPort();
}

QString BrokerProxy::url() const
{
    return QStringLiteral("mqtt://127.0.0.1:") + QString::number(port());
}

void BrokerProxy::hold()
{
    m_holding = true;
}

void BrokerProxy::release()
{
    m_holding = false;
    for (const std::unique_ptr<Relay> &relay : m_relays) {
        relay->broker->write(relay->held);
        relay->held.clear();
    }
}

void BrokerProxy::cut()
{
    for (const std::unique_ptr<Relay> &relay : m_relays) {
        relay->client->disconnect();
        relay->broker->disconnect();
        relay->client->abort();
        relay->broker->abort();
        relay->client->deleteLater();
        relay->broker->deleteLater();
    }
    m_relays.clear();
    m_holding = false;
}

void BrokerProxy::refuseConnections()
{
    m_server.close();
}

void BrokerProxy::stallConnections()
{
    const quint16 port = m_server.serverPort();
    m_server.close();
    m_server.setListenBacklogSize(0);
    m_server.listen(QHostAddress::LocalHost, port);
    m_server.pauseAccepting();
    // One connection never taken fills the queue.
    auto *filler = new QTcpSocket(this);
    filler->connectToHost(QHostAddress::LocalHost, port);
    filler->waitForConnected();
}

void BrokerProxy::admitConnections()
{
    if (m_server.isListening())
        m_server.resumeAccepting();
}

QByteArray BrokerProxy::held() const
{
    QByteArray held;
    for (const std::unique_ptr<Relay> &relay : m_relays)
        held += relay->held;
    return held;
}

QList<int> BrokerProxy::protocolLevels() const
{
    return m_levels;
}

void BrokerProxy::relay()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        auto relay = std::make_unique<Relay>();
        relay->client = client;
        relay->broker = new QTcpSocket(this);
        relay->broker->connectToHost(QHostAddress::LocalHost, quint16(m_brokerPort));
        Relay *self = relay.get();
        QObject::connect(client, &QTcpSocket::readyRead, this, [this, self] { fromClient(*self); });
        QObject::connect(self->broker, &QTcpSocket::readyRead, this,
                         [self] { self->client->write(self->broker->readAll()); });
        QObject::connect(client, &QTcpSocket::disconnected, self->broker, &QTcpSocket::disconnectFromHost);
        QObject::connect(self->broker, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        m_relays.push_back(std::move(relay));
    }
}

void BrokerProxy::fromClient(Relay &relay)
{
    QByteArray data = relay.client->readAll();
    if (!relay.levelSeen) {
        // CONNECT: its type, a remaining length of one to four bytes, the name "MQTT", the level.
        relay.head += data;
        int at = 1;
        while (at < relay.head.size() && (relay.head[at] & 0x80))
            ++at;
        const int level = at + 7;
        if (relay.head.size() <= level)
            return;
        relay.levelSeen = true;
        m_levels << int(relay.head[level]);
        data = relay.head;
        if (m_mqtt311Only && relay.head[level] == 5) {
            // CONNACK, "unacceptable protocol version", in 3.1.1's own form; then the connection closes.
            relay.client->write(QByteArray::fromHex("20020001"));
            relay.client->disconnectFromHost();
            return;
        }
    }
    if (m_holding)
        relay.held += data;
    else
        relay.broker->write(data);
}

SilentBroker::SilentBroker()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *client = m_server.nextPendingConnection()) {
            client->setParent(this);
            QObject::connect(client, &QTcpSocket::readyRead, this,
                             [this, client] { m_received += client->readAll(); });
        }
    });
}

int SilentBroker::port() const
{
    return m_server.serverPort();
}

QByteArray SilentBroker::received() const
{
    return m_received;
}
