#pragma once

#include "publish/broker_address.h"
#include "publish/host_lookup.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QTimer>

class QSocketNotifier;
struct MosquittoLibrary;
struct mosquitto;

// One MQTT client session with the broker, driven from the event loop: its socket is watched by socket
// notifiers and its keep-alive by a timer, so the program keeps one thread. A lost or failed connection is
// tried again every 2 s; a refused one (credentials, authorisation, TLS) with a back-off up to 30 s.
// Every attempt starts a fresh session: whoever publishes decides what to send again.
class MqttConnection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MqttConnection)

public:
    static constexpr int RetryMs = 2000;
    static constexpr int LongestRetryMs = 30000;
    static constexpr int KeepAliveSeconds = 20;

    // `will` is published retained by the broker for this session if it ends without a goodbye.
    MqttConnection(const BrokerAddress &address, const QString &clientId, const QByteArray &password,
                   const QByteArray &willTopic, const QByteArray &willPayload, QObject *parent = nullptr);
    ~MqttConnection() override;

    void open();
    bool isConnected() const;
    // QoS 1. The message id that `delivered` will report, or -1 when there is no session to take it.
    int publish(const QByteArray &topic, const QByteArray &payload, bool retained);
    // The state in a sentence, for the lamp's tooltip and the log.
    QString state() const;

signals:
    void connected();
    // The session ended; messages not yet reported delivered may not have reached the broker.
    void disconnected();
    void delivered(int messageId);
    void stateChanged(const QString &state);

private:
    static void onConnect(mosquitto *, void *self, int code);
    static void onDisconnect(mosquitto *, void *self, int code);
    static void onPublish(mosquitto *, void *self, int messageId);

    void attempt();
    void connectTo(const QByteArray &host);
    void ended(const QString &reason);
    void refused(const QString &reason);
    void setState(const QString &state);
    void watchSocket();
    void readable();
    void writable();
    void keepAlive();
    void afterLoop(int code);
    void closeSession();

    const MosquittoLibrary *m_library = nullptr;
    QString m_libraryFailure;
    BrokerAddress m_address;
    QByteArray m_clientId;
    QByteArray m_password;
    QByteArray m_willTopic;
    QByteArray m_willPayload;
    mosquitto *m_session = nullptr;
    int m_socket = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    HostLookup m_lookup;
    QTimer m_retry;
    QTimer m_keepAlive;
    int m_refusedRetryMs = 0; // 0 until the broker refuses
    bool m_connected = false;
    bool m_refused = false;
    QString m_state;
};
