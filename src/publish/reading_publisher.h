#pragma once

#include "alert/alert_watch.h"
#include "protocol/reading.h"
#include "protocol/reading_output.h"
#include "publish/home_assistant_config.h"
#include "publish/mqtt_connection.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QObject>
#include <QtCore/QSet>
#include <QtCore/QTimer>

#include <deque>
#include <memory>

class HomeAssistantAnnouncer;

// Puts a board's readings on an MQTT broker under vantro/<id>/, says whether the port is open and the board
// link up, and announces the board to Home Assistant. Readings taken while the broker is away wait in
// memory, in order, and go out once it is back, each with its own time; the retained temperature then
// takes only the newest of them. Past QueueCapacity the oldest are dropped and counted. Messages the broker
// refuses (its access list, say) are said once for each topic, and their readings counted as not delivered.
class ReadingPublisher final : public QObject, public ReadingOutput
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadingPublisher)

public:
    static constexpr qint64 QueueCapacity = 100000; // readings
    static constexpr int FinishWaitMs = 1000;
    // The count of readings waiting is said at most this often.
    static constexpr int WaitingIntervalMs = 1000;

    // Without a `lookup`, the system's resolver finds the broker's addresses.
    ReadingPublisher(const BrokerAddress &address, const QString &id, const QByteArray &password,
                     std::unique_ptr<AddressLookup> lookup = {}, QObject *parent = nullptr);
    ~ReadingPublisher() override;

    // Before start(): how the board is announced to Home Assistant; `settingMistakes` are said at start() and
    // kept in state(). Without it, discovery is on with the defaults and the application's version.
    void setHomeAssistant(const HomeAssistantOptions &options, const QStringList &settingMistakes = {});
    void start();
    void publishReading(const Reading &reading);
    void takeReading(const Reading &reading, const QString &port) override;
    // A crossing of a limit; a return within the limits has no message.
    void publishAlert(const AlertEvent &event);
    // Said on vantro/<id>/availability, with the last will.
    void setPortOpen(bool open);
    // The board link: the port is open and the board's replies arrive. Said on vantro/<id>/board; Home
    // Assistant shows the temperature only while it is up.
    void setBoardUp(bool up) override;
    // Says "offline" and emits `finished` once the broker has it and every reading, or after FinishWaitMs.
    void finish();

    QString id() const;
    // The broker's state and what it never had, for the lamp's tooltip.
    QString state() const;
    // host:port, never the user.
    QString broker() const;
    // Readings taken and not yet delivered.
    qint64 waitingReadings() const;
    // Readings that will never reach the broker: dropped, oldest first, while it was away too long, and
    // those it refused.
    qint64 droppedReadings() const;
    // Of those, the readings the broker refused.
    qint64 refusedReadings() const;

signals:
    // A change worth a line in the log: the broker's state, dropping begun, what was dropped, what the broker
    // refuses.
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
        qint64 serial = 0; // the reading's number, shared by its two messages
        int messageId = -1;
        bool refused = false; // the reading's temperature was refused
    };

    void send();
    void onConnected();
    void onDisconnected();
    void onDelivered(int messageId, const QString &refusal);
    void readingRefused(qint64 serial);
    void sayRefusal(const QByteArray &topic, const QString &refusal);
    QByteArray topicOf(Kind kind) const;
    int publishAvailability();
    int publishBoard();
    // The availability, the board link, the readings waiting and, `again` for a Home Assistant that has come
    // back, the newest temperature.
    void sayState(bool again);
    int publishControl(const QByteArray &topic, const QByteArray &payload);
    qint64 readingsNotHandedOver() const;
    void showWaiting();
    void finishWhenDelivered();

    QString m_id;
    QString m_broker; // host:port, as said to the user
    MqttConnection m_connection;
    std::deque<Outgoing> m_waiting;
    std::deque<Outgoing> m_inFlight; // handed to the session, oldest first, until the broker has them
    QHash<int, QByteArray> m_controlInFlight; // discovery and availability messages, by id, with their topic
    qint64 m_nextSerial = 0;
    qint64 m_waitingReadings = 0;
    qint64 m_dropped = 0;
    qint64 m_refused = 0;
    bool m_dropping = false;          // from the first reading dropped until the backlog has gone out
    bool m_droppedUnsaid = false;     // dropped since the broker was last back
    QSet<QByteArray> m_refusedTopics; // said refused, until the broker takes a message there again
    bool m_portOpen = false;
    bool m_boardUp = false;
    QStringList m_settingMistakes;
    std::unique_ptr<HomeAssistantAnnouncer> m_announcer;
    Reading m_shownTemperature;   // the last handed to the session
    qint64 m_shownSerial = -1;    // its reading's number
    qint64 m_waitingShown = -1;   // the count last said, in this session
    QElapsedTimer m_waitingClock; // since it was said
    QTimer m_waitingTimer;        // the next time it may be said
    bool m_finishing = false;
    bool m_finishedSaid = false;
    int m_goodbyeId = -1;
    QTimer m_finishTimer; // `finished` is emitted from here, once
};
