#pragma once

#include <QtCore/QProcess>
#include <QtCore/QStringList>
#include <QtCore/QTemporaryDir>

// A real Mosquitto on 127.0.0.1 and a free port, with a configuration of its own in a temporary folder.
// It keeps its subscribers' sessions across a restart, as a broker in the field would with persistence.
class LocalBroker final
{
public:
    // `extraConfig`: more lines for mosquitto.conf; `users`: user:password lines for a password file.
    explicit LocalBroker(const QStringList &extraConfig = {}, const QStringList &users = {});
    ~LocalBroker();

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

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    int m_port = 0;
};

// mosquitto_sub on `topic`, as a persistent QoS 1 session, printing "topic payload" per message.
class Subscriber final
{
public:
    Subscriber(const LocalBroker &broker, const QString &topic);
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
    QProcess m_process;
    QByteArray m_pending;
    QStringList m_messages;
    QList<double> m_arrivalsMs;
    bool m_subscribed = false;
    void take();
};
