#pragma once

#include "publish/broker_address.h"
#include "publish/host_lookup.h"

#include <QtCore/QByteArray>
#include <QtCore/QElapsedTimer>
#include <QtCore/QObject>
#include <QtCore/QTimer>

#include <memory>

class BrokerTls;
class QSocketNotifier;
struct MosquittoLibrary;
struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

// One MQTT client session with the broker, driven from the event loop: its socket is watched by socket
// notifiers and its keep-alive by a timer, so the program keeps one thread. The broker's name is looked up
// here, off the event loop, and each of its addresses is tried in the resolver's order within one retry
// period; the library is only ever given an address, so it never resolves a name itself. A lost or failed
// connection is tried again every 2 s; a refused one (credentials, authorisation, TLS) with a back-off up to
// 30 s. MQTT 5 is spoken, so that the broker can say which messages it refuses; MQTT 3.1.1 with a broker
// that does not speak it. Every attempt starts a fresh session: whoever publishes decides what to send again.
class MqttConnection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MqttConnection)

public:
    static constexpr int RetryMs = 2000;
    static constexpr int LongestRetryMs = 30000;
    // How long a broker whose address answered has to accept the session.
    static constexpr int AnswerMs = 10000;
    static constexpr int KeepAliveSeconds = 20;

    // `will` is published retained by the broker for this session if it ends without a goodbye. Without
    // a `lookup`, the system's resolver finds the broker's addresses.
    MqttConnection(const BrokerAddress &address, const QString &clientId, const QByteArray &password,
                   const QByteArray &willTopic, const QByteArray &willPayload,
                   std::unique_ptr<AddressLookup> lookup = {}, QObject *parent = nullptr);
    ~MqttConnection() override;

    void open();
    bool isConnected() const;
    // QoS 1. The message id that `delivered` will report, or -1 when there is no session to take it.
    int publish(const QByteArray &topic, const QByteArray &payload, bool retained);
    // QoS 1, for this session only. The message id that `subscribed` will report, or -1 when there is no
    // session to take it.
    int subscribe(const QByteArray &topic);
    // The state in a sentence, for the lamp's tooltip and the log.
    QString state() const;

    // The wait before the next attempt after `refusals` refusals in a row: 2 s, doubling, up to 30 s.
    static int refusalDelayMs(int refusals);
    // How long the next address of a round is given to answer, once the round has taken `roundElapsedMs`.
    static int addressShareMs(qint64 roundElapsedMs, int addressesLeft);

signals:
    void connected();
    // The session ended; messages not yet reported delivered may not have reached the broker.
    void disconnected();
    // The broker acknowledged the message: `refusal` is empty when it took it, else why it did not.
    void delivered(int messageId, const QString &refusal);
    // The broker answered the subscription `messageId`, granted or not; what it kept on the topic from before
    // comes after it.
    void subscribed(int messageId);
    // A message on a subscribed topic; `retained` when the broker kept it from before the subscription.
    void received(const QByteArray &topic, const QByteArray &payload, bool retained);
    void stateChanged(const QString &state);

private:
    static void onConnect(mosquitto *, void *self, int code);
    static void onDisconnect(mosquitto *, void *self, int code);
    static void onPublish(mosquitto *, void *self, int messageId, int reasonCode, const mqtt5__property *);
    static void onSubscribe(mosquitto *, void *self, int messageId, int, const int *);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

    void attempt();
    void startRound(const QStringList &addresses);
    void tryNextAddress();
    void connectTo(const QByteArray &address);
    void attemptTimedOut();
    void sessionFailed(int code, int errorNumber);
    void speakMqtt311();
    void addressFailed(const QString &reason);
    void ended(const QString &reason);
    void refused(const QString &reason);
    // Takes the session's outcome: nothing more is heard from it. Whether it had been connected.
    bool settle();
    void setState(const QString &state);
    void watchSocket();
    void forgetSocket();
    void readable();
    void writable();
    void keepAlive();
    void afterSocketEvent(int code);
    void afterLoop(int code, int errorNumber);
    bool isHandshaking() const;
    void closeSession();

    const MosquittoLibrary *m_library = nullptr;
    QString m_setupFailure; // why nothing can be published at all
    BrokerAddress m_address;
    QByteArray m_clientId;
    QByteArray m_password;
    QByteArray m_willTopic;
    QByteArray m_willPayload;
    std::unique_ptr<AddressLookup> m_lookup;
    std::unique_ptr<BrokerTls> m_tls;
    mosquitto *m_session = nullptr;
    int m_socket = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_keepAlive;
    // A round: the broker's addresses, tried in turn until one takes the session.
    QStringList m_addresses;
    int m_nextAddress = 0;
    QElapsedTimer m_roundClock;
    QElapsedTimer m_attemptClock;
    QTimer m_attemptTimer; // the current address's share of the round, then the broker's time to answer
    QTimer m_nextStep;     // the next address, once the library has let go of the failed session
    QString m_lastFailure;
    QTimer m_retry;     // the next round
    int m_refusals = 0; // in a row
    bool m_mqtt5 = true;
    bool m_connected = false;
    bool m_settled = true; // the current session's outcome has been taken: whatever else it says is ignored
    bool m_inCallback = false;
    QString m_state;
};
