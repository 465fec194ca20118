#pragma once

#include "alert/alert_watch.h"
#include "protocol/reading.h"
#include "publish/mqtt_connection.h"

#include <QtCore/QObject>
#include <QtCore/QTimer>

#include <deque>

// Puts a board's readings on an MQTT broker under vantro/<id>/, says whether the port is open, and
// announces the board to Home Assistant. Readings taken while the broker is away wait in memory, in
// order, and go out once it is back; past QueueCapacity the oldest are dropped and counted.
class ReadingPublisher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadingPublisher)

public:
    static constexpr qint64 QueueCapacity = 100000; // readings
    static constexpr int FinishWaitMs = 1000;

    ReadingPublisher(const BrokerAddress &address, const QString &id, const QByteArray &password,
                     QObject *parent = nullptr);
    ~ReadingPublisher() override;

    void start();
    void publishReading(const Reading &reading);
    // A crossing of a limit; a return within the limits has no message.
    void publishAlert(const AlertEvent &event);
    void setPortOpen(bool open);
    // Says "offline" and emits `finished` once the broker has it and every reading, or after FinishWaitMs.
    void finish();

    QString id() const;
    // The broker's state and what was dropped, for the lamp's tooltip.
    QString state() const;
    // Readings taken and not yet delivered.
    qint64 waitingReadings() const;
    // Readings dropped, oldest first, while the broker was away too long.
    qint64 droppedReadings() const;

signals:
    // A change worth a line in the log: the broker's state, dropping begun, what was dropped.
    void said(const QString &line);
    void finished();

private:
    enum class Kind : uint8_t
    {
        Temperature,
        ReadingJson,
        AlertHigh,
        AlertLow
    };
    struct Outgoing
    {
        Reading reading;
        Kind kind = Kind::ReadingJson;
        int32_t threshold = 0;
        int messageId = -1;
    };

    void send();
    void onConnected();
    void onDisconnected();
    void onDelivered(int messageId);
    int publishAvailability();
    void finishWhenDelivered();

    QString m_id;
    MqttConnection m_connection;
    std::deque<Outgoing> m_waiting;
    std::deque<Outgoing> m_inFlight; // handed to the session, oldest first, until the broker has them
    qint64 m_waitingReadings = 0;
    qint64 m_dropped = 0;
    bool m_dropping = false;
    bool m_portOpen = false;
    bool m_finishing = false;
    bool m_finishedSaid = false;
    int m_goodbyeId = -1;
    QTimer m_finishTimer; // `finished` is emitted from here, once
};
