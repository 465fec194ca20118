#pragma once

#include "publish/home_assistant_config.h"

#include <QtCore/QObject>
#include <QtCore/QTimer>

#include <functional>

class MqttConnection;

// Announces the board to Home Assistant as one device, in each session with the broker. Where the broker
// still keeps the announcement of the temperature alone from an earlier release, it is handed over to the
// device in the order Home Assistant asks for: "migrate" there, the device, then the old one cleared, so
// that the sensor keeps its history. When Home Assistant comes back ("online" on its status topic), the
// device is announced again after a random wait of up to HomeAssistantOptions::rebirthDelayMs.
class HomeAssistantAnnouncer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HomeAssistantAnnouncer)

public:
    // Publishes retained with QoS 1, as the publisher's other messages about the board.
    using Publish = std::function<void(const QByteArray &topic, const QByteArray &payload)>;

    HomeAssistantAnnouncer(MqttConnection &connection, const QString &id, const HomeAssistantOptions &options,
                           Publish publish, QObject *parent = nullptr);
    ~HomeAssistantAnnouncer() override;

    // A new session with the broker: listens for the old announcement and for Home Assistant, and announces
    // the device once the broker has said what it keeps.
    void sessionStarted();
    void sessionEnded();

signals:
    // Home Assistant came back and has been told of the device again: the board's state is to follow.
    void announcedAgain();

private:
    void onSubscribed(int messageId);
    void onReceived(const QByteArray &topic, const QByteArray &payload, bool retained);
    void announce();
    void handOver();

    MqttConnection &m_connection;
    QString m_id;
    HomeAssistantOptions m_options;
    Publish m_publish;
    QByteArray m_singleSensorTopic;
    QByteArray m_statusTopic;
    int m_statusSubscription = -1;
    bool m_announced = false; // in this session
    bool m_singleSensorSeen = false;
    bool m_handedOver = false; // in this session
    QTimer m_rebirth;
};
