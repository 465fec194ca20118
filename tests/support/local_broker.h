#pragma once

#include "server_process.h"

#include <QtCore/QStringList>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QTcpServer>

#include <memory>
#include <vector>

class QTcpSocket;

// A real Mosquitto on 127.0.0.1 and a free port, with a configuration of its own in a temporary folder.
// It keeps its subscribers' sessions across a restart, as a broker in the field would with persistence.
class LocalBroker final
{
public:
    // `extraConfig`: more lines for mosquitto.conf; `users`: user:password lines for a password file;
    // `acl`: the lines of an access list. Both files are readable by their owner only, as Mosquitto wants.
    explicit LocalBroker(const QStringList &extraConfig = {}, const QStringList &users = {},
                         const QStringList &acl = {});
    ~LocalBroker();

    // Before start(): it listens on `address` instead of 127.0.0.1, at the same port.
    void listenOn(const QString &address);
    // Starts it and waits until it takes connections.
    bool start();
    void stop();
    int port() const;
    QString url(const QString &user = {}) const;
    QString folder() const;
    qint64 processId() const;
    // How many MQTT connections it has answered, from its log.
    int connectionAttempts() const;
    // How many TLS handshakes it has failed, from its log.
    int tlsFailures() const;
    // Its log so far.
    QByteArray log() const;
    // Publishes with mosquitto_pub at QoS 1, an empty payload as a null message, and waits until it is done.
    bool publish(const QString &topic, const QByteArray &payload, bool retained = false) const;

private:
    QString privateFile(const QString &name, const QStringList &lines);

    QTemporaryDir m_folder;
    TestProcess m_process;
    int m_port = 0;
    QString m_address = QStringLiteral("127.0.0.1");
};

// mosquitto_sub on `topic`, as a persistent QoS 1 session, printing "topic payload" per message ("topic
// (null)" for an empty one); `options` are more of mosquitto_sub's.
class Subscriber final
{
public:
    Subscriber(const LocalBroker &broker, const QString &topic, const QStringList &options = {});
    ~Subscriber();

    // Waits for the broker's SUBACK.
    bool subscribed();
    // The messages so far, as "topic payload".
    QStringList messages();
    // When each message came, in ms of the steady clock.
    QList<double> arrivalsMs() const;
    // Waits until at least `count` messages have come.
    bool waitFor(int count, int timeoutMs = 10000);

private:
    TestProcess m_process;
    QByteArray m_pending;
    QStringList m_messages;
    QList<double> m_arrivalsMs;
    bool m_subscribed = false;
    void take();
};

// A TCP relay in front of a broker, for what a network does to a session: it can hold what clients send,
// cut every connection at once, and stop taking new ones. With `mqtt311Only` it plays a broker that
// speaks only MQTT 3.1.1 and refuses an MQTT 5 CONNECT, as the standard tells such a broker to.
class BrokerProxy final : public QObject
{
public:
    explicit BrokerProxy(const LocalBroker &broker, bool mqtt311Only = false);
    ~BrokerProxy() override;

    int port() const;
    QString url() const;
    // From now on what clients send waits here instead of going to the broker.
    void hold();
    // Lets what was held go on to the broker, and all that follows.
    void release();
    // Drops every connection on both sides, with whatever was held.
    void cut();
    // Takes no more connections: they are refused.
    void refuseConnections();
    // Leaves new connections unanswered, as the network does while a queue of them is full, until
    // admitConnections(): a client's knock is heard when it knocks again, a second later, as from afar.
    void stallConnections();
    void admitConnections();
    QByteArray held() const;
    // The MQTT protocol level of each CONNECT seen, in order: 4 for 3.1.1, 5 for MQTT 5.
    QList<int> protocolLevels() const;

private:
    struct Relay
    {
        QTcpSocket *client = nullptr;
        QTcpSocket *broker = nullptr;
        QByteArray head; // the start of the client's CONNECT, until its protocol level has come
        QByteArray held;
        bool levelSeen = false;
    };
    void relay();
    void fromClient(Relay &relay);

    int m_brokerPort;
    bool m_mqtt311Only;
    QTcpServer m_server;
    std::vector<std::unique_ptr<Relay>> m_relays;
    bool m_holding = false;
    QList<int> m_levels;
};

// Takes TCP connections on 127.0.0.1 and never says a word: a broker that does not answer. It keeps what it
// is sent.
class SilentBroker final : public QObject
{
public:
    SilentBroker();
    int port() const;
    QByteArray received() const;

private:
    QTcpServer m_server;
    QByteArray m_received;
};

// An address on which no connection is ever completed: a listening socket whose queue is full, so that the
// system drops whoever else knocks, as a host that does not answer does.
class StalledAddress final
{
public:
    StalledAddress(const QString &address, int port);
    ~StalledAddress();
    bool isStalled() const;

private:
    int m_listener = -1;
    int m_filler = -1;
};
