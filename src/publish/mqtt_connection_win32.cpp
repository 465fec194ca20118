#include "mqtt_connection.h"

#include "publish/broker_tls.h"

// The Windows build has no MQTT library, and setUpPublisher() never makes a publisher there: this session
// only lets the publisher be built, and would never connect.
MqttConnection::MqttConnection(const BrokerAddress &address, const QString &clientId,
                               const QByteArray &password, const QByteArray &willTopic,
                               const QByteArray &willPayload, std::unique_ptr<AddressLookup> lookup,
                               QObject *parent)
    : QObject(parent), m_setupFailure(QStringLiteral("MQTT is not available in this build")),
      m_address(address), m_clientId(clientId.toUtf8()), m_password(password), m_willTopic(willTopic),
      m_willPayload(willPayload), m_lookup(std::move(lookup))
{}

MqttConnection::~MqttConnection() = default;

void MqttConnection::open()
{
    setState(QStringLiteral("Cannot publish: ") + m_setupFailure);
}

bool MqttConnection::isConnected() const
{
    return false;
}

int MqttConnection::publish(const QByteArray &, const QByteArray &, bool)
{
    return -1;
}

int MqttConnection::subscribe(const QByteArray &)
{
    return -1;
}

QString MqttConnection::state() const
{
    return m_state;
}

void MqttConnection::setState(const QString &state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

// Never made: there is no TLS without the library.
BrokerTls::~BrokerTls() = default;
