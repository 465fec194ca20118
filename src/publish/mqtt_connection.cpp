#include "mqtt_connection.h"

#include "publish/mosquitto_library.h"

#include <QtCore/QSocketNotifier>

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
// What a failed handshake most often means; the library does not say more.
const QString UntrustedReason =
    QStringLiteral("the TLS handshake failed (is the broker's certificate trusted?)");

QString failureReason(const MosquittoLibrary &library, int code)
{
    // The library's own sentence for an errno failure is "Error in the system"; the system's is better.
    QString reason = code == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                            : QString::fromUtf8(library.mosquitto_strerror(code));
    if (reason.endsWith(u'.'))
        reason.chop(1); // it goes inside a sentence
    return reason;
}
} // namespace

MqttConnection::MqttConnection(const BrokerAddress &address, const QString &clientId,
                               const QByteArray &password, const QByteArray &willTopic,
                               const QByteArray &willPayload, QObject *parent)
    : QObject(parent), m_address(address), m_clientId(clientId.toUtf8()), m_password(password),
      m_willTopic(willTopic), m_willPayload(willPayload)
{
    m_library = MosquittoLibrary::load(m_libraryFailure);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttConnection::attempt);
    m_keepAlive.setInterval(KeepAliveSeconds * 1000 / 4);
    connect(&m_keepAlive, &QTimer::timeout, this, &MqttConnection::keepAlive);
    // Once the resolver has answered, the library resolves the name again, quickly, and tries each of its
    // addresses in turn; a resolver that does not answer is waited for here, not inside the library.
    connect(&m_lookup, &HostLookup::found, this, [this] { connectTo(m_address.host.toUtf8()); });
    connect(&m_lookup, &HostLookup::failed, this,
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

QString MqttConnection::state() const
{
    return m_state;
}

void MqttConnection::attempt()
{
    if (!m_library) {
        setState(QStringLiteral("Cannot publish: ") + m_libraryFailure);
        return;
    }
    closeSession();
    m_refused = false;
    in6_addr numeric{};
    const QByteArray host = m_address.host.toUtf8();
    if (inet_pton(AF_INET, host.constData(), &numeric) == 1 ||
        inet_pton(AF_INET6, host.constData(), &numeric) == 1)
        connectTo(host);
    else
        m_lookup.start(m_address.host);
}

void MqttConnection::connectTo(const QByteArray &host)
{
    m_session = m_library->mosquitto_new(m_clientId.constData(), true, this);
    if (!m_session) {
        ended(QStringLiteral("out of memory"));
        return;
    }
    m_library->mosquitto_connect_callback_set(m_session, &MqttConnection::onConnect);
    m_library->mosquitto_disconnect_callback_set(m_session, &MqttConnection::onDisconnect);
    m_library->mosquitto_publish_callback_set(m_session, &MqttConnection::onPublish);
    m_library->mosquitto_max_inflight_messages_set(m_session, 100);
    m_library->mosquitto_will_set(m_session, m_willTopic.constData(), int(m_willPayload.size()),
                                  m_willPayload.constData(), 1, true);
    if (!m_address.user.isEmpty())
        m_library->mosquitto_username_pw_set(m_session, m_address.user.toUtf8().constData(),
                                             m_password.isEmpty() ? nullptr : m_password.constData());
    if (m_address.tls)
        m_library->mosquitto_int_option(m_session, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    // The connection itself does not wait: its progress comes back through the socket's notifiers.
    const int code =
        m_library->mosquitto_connect_async(m_session, host.constData(), m_address.port, KeepAliveSeconds);
    if (code == MOSQ_ERR_TLS)
        refused(UntrustedReason);
    else if (code != MOSQ_ERR_SUCCESS)
        ended(failureReason(*m_library, code));
    else
        watchSocket();
}

void MqttConnection::onConnect(mosquitto *, void *self, int code)
{
    auto *connection = static_cast<MqttConnection *>(self);
    if (code != 0) {
        connection->refused(QString::fromUtf8(connection->m_library->mosquitto_connack_string(code)));
        return;
    }
    connection->m_connected = true;
    connection->m_refused = false;
    connection->m_refusedRetryMs = 0;
    connection->setState(
        QStringLiteral("Publishing to the broker at %1").arg(connection->m_address.display()));
    emit connection->connected();
}

void MqttConnection::onDisconnect(mosquitto *, void *self, int code)
{
    auto *connection = static_cast<MqttConnection *>(self);
    if (code == MOSQ_ERR_SUCCESS) {
        connection->m_connected = false; // our own goodbye
        return;
    }
    if (code == MOSQ_ERR_TLS)
        connection->refused(UntrustedReason);
    else if (!connection->m_refused)
        connection->ended(failureReason(*connection->m_library, code));
}

void MqttConnection::onPublish(mosquitto *, void *self, int messageId)
{
    emit static_cast<MqttConnection *>(self)->delivered(messageId);
}

void MqttConnection::ended(const QString &reason)
{
    const bool wasConnected = m_connected;
    m_connected = false;
    setState(QStringLiteral("Cannot reach the broker at %1: %2; trying every 2 seconds")
                 .arg(m_address.display(), reason));
    m_retry.start(RetryMs);
    if (wasConnected)
        emit disconnected();
}

void MqttConnection::refused(const QString &reason)
{
    const bool wasConnected = m_connected;
    m_connected = false;
    m_refused = true;
    setState(QStringLiteral("The broker at %1 refused the connection: %2; trying again less and less often")
                 .arg(m_address.display(), reason));
    m_refusedRetryMs = std::min(m_refusedRetryMs == 0 ? RetryMs : m_refusedRetryMs * 2, LongestRetryMs);
    m_retry.start(m_refusedRetryMs);
    if (wasConnected)
        emit disconnected();
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
        // The old socket is closed already, perhaps from inside its own notifier's signal.
        for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        m_readNotifier = m_writeNotifier = nullptr;
        m_socket = socket;
        if (socket >= 0) {
            m_readNotifier = new QSocketNotifier(socket, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, &MqttConnection::readable);
            m_writeNotifier = new QSocketNotifier(socket, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &MqttConnection::writable);
            m_keepAlive.start();
        } else {
            m_keepAlive.stop();
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(m_library->mosquitto_want_write(m_session));
}

void MqttConnection::readable()
{
    afterLoop(m_library->mosquitto_loop_read(m_session, 1));
}

void MqttConnection::writable()
{
    afterLoop(m_library->mosquitto_loop_write(m_session, 1));
}

void MqttConnection::keepAlive()
{
    afterLoop(m_library->mosquitto_loop_misc(m_session));
}

void MqttConnection::afterLoop(int code)
{
    // A failed TLS handshake closes the socket without the disconnect callback; nothing else would retry.
    const bool endedUnsaid = code != MOSQ_ERR_SUCCESS && m_session &&
                             m_library->mosquitto_socket(m_session) < 0 && !m_retry.isActive();
    if (endedUnsaid && code == MOSQ_ERR_TLS)
        refused(UntrustedReason);
    else if (endedUnsaid)
        ended(failureReason(*m_library, code));
    watchSocket();
}

void MqttConnection::closeSession()
{
    m_connected = false;
    if (!m_session)
        return;
    m_library->mosquitto_destroy(m_session);
    m_session = nullptr;
    watchSocket();
}
