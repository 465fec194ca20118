#include "mqtt_connection.h"

#include "publish/broker_tls.h"
#include "publish/mosquitto_library.h"
#include "publish/mqtt_reasons.h"
#include "publish/socket_probe.h"

#include <QtCore/QScopedValueRollback>
#include <QtCore/QSocketNotifier>

#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>

namespace {
// What a failed handshake most often means, where neither OpenSSL nor the broker said more.
const QString UntrustedReason =
    QStringLiteral("the TLS handshake failed (is the broker's certificate trusted?)");
// The least share of a round an address is given, however long those before it took.
constexpr qint64 LeastShareMs = 100;
} // namespace

MqttConnection::MqttConnection(const BrokerAddress &address, const QString &clientId,
                               const QByteArray &password, const QByteArray &willTopic,
                               const QByteArray &willPayload, std::unique_ptr<AddressLookup> lookup,
                               QObject *parent)
    : QObject(parent), m_address(address), m_clientId(clientId.toUtf8()), m_password(password),
      m_willTopic(willTopic), m_willPayload(willPayload),
      m_lookup(lookup ? std::move(lookup) : std::make_unique<HostLookup>())
{
    m_library = MosquittoLibrary::load(m_setupFailure);
    if (m_library && m_address.tls)
        m_tls = BrokerTls::create(*m_library, m_address.host, m_setupFailure);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttConnection::attempt);
    m_attemptTimer.setSingleShot(true);
    connect(&m_attemptTimer, &QTimer::timeout, this, &MqttConnection::attemptTimedOut);
    m_nextStep.setSingleShot(true);
    connect(&m_nextStep, &QTimer::timeout, this, &MqttConnection::tryNextAddress);
    m_keepAlive.setInterval(KeepAliveSeconds * 1000 / 4);
    connect(&m_keepAlive, &QTimer::timeout, this, &MqttConnection::keepAlive);
    connect(m_lookup.get(), &AddressLookup::found, this, &MqttConnection::startRound);
    connect(m_lookup.get(), &AddressLookup::failed, this,
            [this](const QString &reason) { ended(QStringLiteral("cannot find the host: ") + reason); });
}

MqttConnection::~MqttConnection()
{
    // A clean goodbye keeps the broker from publishing the will over what was said last; a crash does not.
    if (m_connected)
        m_library->mosquitto_disconnect(m_session);
    closeSession();
}

void MqttConnection::open()
{
    attempt();
}

bool MqttConnection::isConnected() const
{
    return m_connected;
}

int MqttConnection::publish(const QByteArray &topic, const QByteArray &payload, bool retained)
{
    if (!m_connected)
        return -1;
    int id = -1;
    const int code = m_library->mosquitto_publish(m_session, &id, topic.constData(), int(payload.size()),
                                                  payload.constData(), 1, retained);
    watchSocket();
    return code == MOSQ_ERR_SUCCESS ? id : -1;
}

int MqttConnection::subscribe(const QByteArray &topic)
{
    if (!m_connected)
        return -1;
    int id = -1;
    const int code = m_library->mosquitto_subscribe(m_session, &id, topic.constData(), 1);
    watchSocket();
    return code == MOSQ_ERR_SUCCESS ? id : -1;
}

QString MqttConnection::state() const
{
    return m_state;
}

int MqttConnection::refusalDelayMs(int refusals)
{
    if (refusals <= 0)
        return 0;
    return std::min(RetryMs << std::min(refusals - 1, 5), LongestRetryMs);
}

int MqttConnection::addressShareMs(qint64 roundElapsedMs, int addressesLeft)
{
    // An equal share of what is left of the round, so that an address that never answers cannot keep the
    // others from being tried, nor leave them too little time to answer from afar.
    const qint64 left = std::max<qint64>(RetryMs - roundElapsedMs, 0);
    return int(std::max(left / std::max(addressesLeft, 1), LeastShareMs));
}

void MqttConnection::attempt()
{
    if (!m_setupFailure.isEmpty()) {
        setState(QStringLiteral("Cannot publish: ") + m_setupFailure);
        return;
    }
    closeSession();
    if (SocketProbe::isNumericAddress(m_address.host))
        startRound({m_address.host});
    else
        m_lookup->start(m_address.host);
}

void MqttConnection::startRound(const QStringList &addresses)
{
    if (addresses.isEmpty()) {
        ended(QStringLiteral("the host has no address"));
        return;
    }
    m_addresses = addresses;
    m_nextAddress = 0;
    m_lastFailure.clear();
    m_roundClock.start();
    tryNextAddress();
}

void MqttConnection::tryNextAddress()
{
    closeSession();
    if (m_nextAddress >= m_addresses.size()) {
        ended(m_lastFailure);
        return;
    }
    m_attemptClock.start();
    m_attemptTimer.start(addressShareMs(m_roundClock.elapsed(), int(m_addresses.size()) - m_nextAddress));
    connectTo(m_addresses.at(m_nextAddress++).toUtf8());
}

void MqttConnection::connectTo(const QByteArray &address)
{
    m_settled = false;
    m_session = m_library->mosquitto_new(m_clientId.constData(), true, this);
    if (!m_session) {
        ended(QStringLiteral("out of memory"));
        return;
    }
    m_library->mosquitto_connect_callback_set(m_session, &MqttConnection::onConnect);
    m_library->mosquitto_disconnect_callback_set(m_session, &MqttConnection::onDisconnect);
    m_library->mosquitto_publish_v5_callback_set(m_session, &MqttConnection::onPublish);
    m_library->mosquitto_subscribe_callback_set(m_session, &MqttConnection::onSubscribe);
    m_library->mosquitto_message_callback_set(m_session, &MqttConnection::onMessage);
    m_library->mosquitto_int_option(m_session, MOSQ_OPT_PROTOCOL_VERSION,
                                    m_mqtt5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    m_library->mosquitto_max_inflight_messages_set(m_session, 100);
    m_library->mosquitto_will_set(m_session, m_willTopic.constData(), int(m_willPayload.size()),
                                  m_willPayload.constData(), 1, true);
    if (!m_address.user.isEmpty())
        m_library->mosquitto_username_pw_set(m_session, m_address.user.toUtf8().constData(),
                                             m_password.isEmpty() ? nullptr : m_password.constData());
    if (m_tls) {
        m_tls->beginAttempt();
        m_library->mosquitto_int_option(m_session, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        m_library->mosquitto_void_option(m_session, MOSQ_OPT_SSL_CTX, m_tls->context());
    }
    // The connection itself does not wait: its progress comes back through the socket's notifiers.
    const int code =
        m_library->mosquitto_connect_async(m_session, address.constData(), m_address.port, KeepAliveSeconds);
    const int errorNumber = SocketProbe::lastError();
    if (code != MOSQ_ERR_SUCCESS)
        sessionFailed(code, errorNumber);
    // Refused before the hello could go out, as a system refuses a connection to one of its own ports: the
    // socket is past use, whatever the library makes of it.
    else if (m_tls && m_tls->connectionError() != 0)
        sessionFailed(MOSQ_ERR_ERRNO, errorNumber);
    else
        watchSocket();
}

void MqttConnection::onConnect(mosquitto *, void *self, int code)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const QScopedValueRollback inCallback(connection->m_inCallback, true);
    if (connection->m_settled)
        return;
    if (code == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION && connection->m_mqtt5) {
        connection->speakMqtt311();
        return;
    }
    if (code != 0) {
        connection->refused(MqttReasons::refusal(*connection->m_library, code, connection->m_mqtt5));
        return;
    }
    connection->m_connected = true;
    connection->m_refusals = 0;
    connection->m_attemptTimer.stop();
    connection->setState(
        QStringLiteral("Publishing to the broker at %1").arg(connection->m_address.display()));
    emit connection->connected();
}

void MqttConnection::onDisconnect(mosquitto *, void *self, int code)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const QScopedValueRollback inCallback(connection->m_inCallback, true);
    if (connection->m_settled)
        return;
    if (code == MOSQ_ERR_SUCCESS)
        connection->m_connected = false; // our own goodbye
    else
        connection->sessionFailed(code, errno);
}

void MqttConnection::onPublish(mosquitto *, void *self, int messageId, int reasonCode,
                               const mqtt5__property *)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const bool refused = reasonCode >= MQTT_RC_UNSPECIFIED;
    emit connection->delivered(
        messageId, refused ? MqttReasons::messageRefusal(*connection->m_library, reasonCode) : QString());
}

void MqttConnection::onSubscribe(mosquitto *, void *self, int messageId, int, const int *)
{
    auto *connection = static_cast<MqttConnection *>(self);
    if (!connection->m_settled)
        emit connection->subscribed(messageId);
}

void MqttConnection::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *connection = static_cast<MqttConnection *>(self);
    if (connection->m_settled)
        return;
    const auto *payload = static_cast<const char *>(message->payload);
    emit connection->received(QByteArray(message->topic),
                              QByteArray(payload, payload ? message->payloadlen : 0), message->retain);
}

void MqttConnection::attemptTimedOut()
{
    if (m_settled || m_connected)
        return;
    const bool reached = SocketProbe::isConnected(m_library->mosquitto_socket(m_session));
    const qint64 waited = m_attemptClock.elapsed();
    if (reached && waited < AnswerMs) {
        m_attemptTimer.start(int(AnswerMs - waited));
        return;
    }
    // The hello went out, so the address answered: the broker has ended the handshake since, though no
    // notifier told of it (Windows tells of a closed socket once, and may tell it before the library looks).
    if (!reached && m_tls && m_tls->isHandshakeCutShort()) {
        sessionFailed(MOSQ_ERR_TLS, 0);
        return;
    }
    addressFailed(reached ? MqttReasons::noAnswer() : MqttReasons::timedOut());
}

void MqttConnection::sessionFailed(int code, int errorNumber)
{
    if (m_settled)
        return;
    if (m_connected) {
        ended(MqttReasons::failure(*m_library, code, errorNumber));
        return;
    }
    // A certificate the broker cannot be trusted with is the same on every address.
    const QString tlsFailure = m_tls ? m_tls->failure() : QString();
    const int notMade = m_tls ? m_tls->connectionError() : 0;
    if (!tlsFailure.isEmpty())
        refused(tlsFailure);
    else if (notMade != 0)
        addressFailed(MqttReasons::failure(*m_library, MOSQ_ERR_ERRNO, notMade));
    // A broker that does not speak TLS ends the handshake with bytes or a close that some OpenSSL releases
    // leave the library to call a protocol error.
    else if (code == MOSQ_ERR_TLS || (m_tls && m_tls->isHandshakeCutShort()))
        refused(UntrustedReason);
    // A broker that speaks only MQTT 3.1.1 answers in 3.1.1's form, which some releases of the library
    // take for a malformed packet rather than for the refusal it is.
    else if (m_mqtt5 && (code == MOSQ_ERR_MALFORMED_PACKET || code == MOSQ_ERR_PROTOCOL))
        speakMqtt311();
    else
        addressFailed(MqttReasons::failure(*m_library, code, errorNumber));
}

void MqttConnection::speakMqtt311()
{
    // Asked again at once, on the same address, in the broker's own version, and so from now on.
    m_mqtt5 = false;
    --m_nextAddress;
    addressFailed(QString());
}

void MqttConnection::addressFailed(const QString &reason)
{
    settle();
    if (!reason.isEmpty())
        m_lastFailure = reason;
    // From inside one of its callbacks, the library still has the session in hand: it is let go of from the
    // event loop.
    if (m_inCallback)
        m_nextStep.start(0);
    else
        tryNextAddress();
}

void MqttConnection::ended(const QString &reason)
{
    const bool wasConnected = settle();
    setState(QStringLiteral("Cannot reach the broker at %1: %2; trying every 2 seconds")
                 .arg(m_address.display(), reason));
    m_retry.start(RetryMs);
    if (wasConnected)
        emit disconnected();
}

void MqttConnection::refused(const QString &reason)
{
    const bool wasConnected = settle();
    ++m_refusals;
    setState(QStringLiteral("The broker at %1 refused the connection: %2; trying again less and less often")
                 .arg(m_address.display(), reason));
    m_retry.start(refusalDelayMs(m_refusals));
    if (wasConnected)
        emit disconnected();
}

bool MqttConnection::settle()
{
    const bool wasConnected = m_connected;
    m_connected = false;
    m_settled = true;
    m_attemptTimer.stop();
    m_keepAlive.stop();
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (notifier)
            notifier->setEnabled(false);
    }
    return wasConnected;
}

void MqttConnection::setState(const QString &state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(m_state);
}

void MqttConnection::watchSocket()
{
    const int socket = m_session ? m_library->mosquitto_socket(m_session) : -1;
    if (socket != m_socket) {
        forgetSocket();
        m_socket = socket;
        if (socket >= 0) {
            m_readNotifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, &MqttConnection::readable);
            m_writeNotifier = new QSocketNotifier(socket, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &MqttConnection::writable);
            m_keepAlive.start();
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(m_library->mosquitto_want_write(m_session));
}

void MqttConnection::forgetSocket()
{
    // The socket is closed already, perhaps from inside its own notifier's signal, and its number may be
    // given to the next session's.
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = m_writeNotifier = nullptr;
    m_socket = -1;
    m_keepAlive.stop();
}

void MqttConnection::readable()
{
    if (m_settled)
        return;
    afterSocketEvent(m_library->mosquitto_loop_read(m_session, 1));
}

void MqttConnection::writable()
{
    if (m_settled)
        return;
    // The library takes its TLS handshake a step further only when asked to read.
    afterSocketEvent(isHandshaking() ? m_library->mosquitto_loop_read(m_session, 1)
                                     : m_library->mosquitto_loop_write(m_session, 1));
}

void MqttConnection::afterSocketEvent(int code)
{
    const int errorNumber = SocketProbe::lastError();
    // A connection refused or cut during the TLS handshake is to OpenSSL a system error, which the library
    // takes for a handshake still under way; its socket would then be said ready for ever, or never again.
    if (code == MOSQ_ERR_SUCCESS && !m_settled && isHandshaking() &&
        !SocketProbe::isConnected(m_library->mosquitto_socket(m_session)))
        sessionFailed(MOSQ_ERR_ERRNO, errorNumber);
    else
        afterLoop(code, errorNumber);
}

bool MqttConnection::isHandshaking() const
{
    return m_tls && m_tls->isHandshaking();
}

void MqttConnection::keepAlive()
{
    if (m_settled)
        return;
    const int code = m_library->mosquitto_loop_misc(m_session);
    afterLoop(code, errno);
}

void MqttConnection::afterLoop(int code, int errorNumber)
{
    if (m_settled)
        return;
    // A failed TLS handshake, among others, closes the socket without the disconnect callback.
    if (code != MOSQ_ERR_SUCCESS && m_library->mosquitto_socket(m_session) < 0)
        sessionFailed(code, errorNumber);
    else
        watchSocket();
}

void MqttConnection::closeSession()
{
    m_connected = false;
    if (!m_session)
        return;
    m_library->mosquitto_destroy(m_session);
    m_session = nullptr;
    forgetSocket();
}
