#include "home_assistant_announcer.h"

#include "publish/mqtt_connection.h"

#include <QtCore/QRandomGenerator>

#include <algorithm>

HomeAssistantAnnouncer::HomeAssistantAnnouncer(MqttConnection &connection, const QString &id,
                                               const HomeAssistantOptions &options, Publish publish,
                                               QObject *parent)
    : QObject(parent), m_connection(connection), m_id(id), m_options(options), m_publish(std::move(publish)),
      m_singleSensorTopic(HomeAssistantConfig::singleSensorTopic(options.prefix, id)),
      m_statusTopic(HomeAssistantConfig::statusTopic(options.prefix))
{
    connect(&m_connection, &MqttConnection::subscribed, this, &HomeAssistantAnnouncer::onSubscribed);
    connect(&m_connection, &MqttConnection::received, this, &HomeAssistantAnnouncer::onReceived);
    m_rebirth.setSingleShot(true);
    connect(&m_rebirth, &QTimer::timeout, this, [this] {
        announce();
        emit announcedAgain();
    });
}

HomeAssistantAnnouncer::~HomeAssistantAnnouncer() = default;

void HomeAssistantAnnouncer::sessionStarted()
{
    m_announced = false;
    m_handedOver = false;
    m_singleSensorSeen = false;
    // The broker sends what it keeps on the old topic before it answers the subscription that follows, so
    // that answer says whether there is anything to hand over.
    m_connection.subscribe(m_singleSensorTopic);
    m_statusSubscription = m_connection.subscribe(m_statusTopic);
}

void HomeAssistantAnnouncer::sessionEnded()
{
    m_rebirth.stop();
    m_statusSubscription = -1;
}

void HomeAssistantAnnouncer::onSubscribed(int messageId)
{
    if (messageId == m_statusSubscription && !m_announced)
        announce();
}

void HomeAssistantAnnouncer::onReceived(const QByteArray &topic, const QByteArray &payload, bool retained)
{
    // Only what the broker kept from before counts: what is said while we listen includes our own messages.
    if (topic == m_singleSensorTopic && retained && !payload.isEmpty() && !m_handedOver) {
        m_singleSensorSeen = true;
        // A broker may send it after answering the subscription: the device is then announced once more.
        if (m_announced)
            handOver();
    } else if (topic == m_statusTopic && !retained && payload == HomeAssistantConfig::Online &&
               !m_rebirth.isActive()) {
        m_rebirth.start(QRandomGenerator::global()->bounded(std::max(m_options.rebirthDelayMs, 0) + 1));
    }
}

void HomeAssistantAnnouncer::announce()
{
    if (m_singleSensorSeen && !m_handedOver) {
        handOver();
        return;
    }
    m_announced = true;
    m_publish(HomeAssistantConfig::deviceTopic(m_options.prefix, m_id),
              HomeAssistantConfig::devicePayload(m_id, m_options));
}

void HomeAssistantAnnouncer::handOver()
{
    m_handedOver = true;
    m_publish(m_singleSensorTopic, HomeAssistantConfig::migratePayload());
    announce();
    m_publish(m_singleSensorTopic, QByteArray());
}
