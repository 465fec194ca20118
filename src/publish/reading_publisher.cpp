#include "reading_publisher.h"

#include "publish/mqtt_topics.h"

namespace {
// Enough to keep a local broker's acknowledgements flowing; the rest waits here, in order.
constexpr std::size_t SessionWindow = 64;

QString clientIdFor(const QString &id)
{
    return QStringLiteral("vantro-") + id;
}
} // namespace

ReadingPublisher::ReadingPublisher(const BrokerAddress &address, const QString &id,
                                   const QByteArray &password, QObject *parent)
    : QObject(parent), m_id(id),
      m_connection(address, clientIdFor(id), password, MqttTopics::availability(id), MqttTopics::Offline)
{
    connect(&m_connection, &MqttConnection::connected, this, &ReadingPublisher::onConnected);
    connect(&m_connection, &MqttConnection::disconnected, this, &ReadingPublisher::onDisconnected);
    connect(&m_connection, &MqttConnection::delivered, this, &ReadingPublisher::onDelivered);
    connect(&m_connection, &MqttConnection::stateChanged, this, &ReadingPublisher::said);
    m_finishTimer.setSingleShot(true);
    connect(&m_finishTimer, &QTimer::timeout, this, [this] {
        if (!m_finishedSaid)
            emit finished();
        m_finishedSaid = true;
    });
}

ReadingPublisher::~ReadingPublisher()
{
    // The session ends with a clean goodbye, so the will does not speak for us: say it here.
    if (m_portOpen)
        m_connection.publish(MqttTopics::availability(m_id), MqttTopics::Offline, true);
}

void ReadingPublisher::start()
{
    m_connection.open();
}

void ReadingPublisher::publishReading(const Reading &reading)
{
    if (m_waitingReadings >= QueueCapacity) {
        // The oldest reading goes, with the retained temperature sent before it.
        bool dropped = false;
        while (!dropped && !m_waiting.empty()) {
            dropped = m_waiting.front().kind == Kind::ReadingJson;
            m_waiting.pop_front();
        }
        m_waitingReadings -= dropped;
        m_dropped += dropped;
        if (!m_dropping) {
            m_dropping = true;
            emit said(QStringLiteral("The broker has been away for %1 readings: dropping the oldest")
                          .arg(QueueCapacity));
        }
    }
    m_waiting.push_back({reading, Kind::Temperature});
    m_waiting.push_back({reading, Kind::ReadingJson});
    ++m_waitingReadings;
    send();
}

void ReadingPublisher::publishAlert(const AlertEvent &event)
{
    if (event.kind == AlertEvent::Kind::BackWithin)
        return;
    m_waiting.push_back({event.reading,
                         event.kind == AlertEvent::Kind::High ? Kind::AlertHigh : Kind::AlertLow,
                         event.threshold});
    send();
}

void ReadingPublisher::setPortOpen(bool open)
{
    if (open == m_portOpen || m_finishing)
        return;
    m_portOpen = open;
    publishAvailability();
}

void ReadingPublisher::finish()
{
    if (m_finishing)
        return;
    m_finishing = true;
    if (m_portOpen) {
        m_portOpen = false;
        m_goodbyeId = publishAvailability();
    }
    m_finishTimer.start(FinishWaitMs);
    finishWhenDelivered();
}

void ReadingPublisher::finishWhenDelivered()
{
    const bool delivered = m_waiting.empty() && m_inFlight.empty() && m_goodbyeId < 0;
    if (m_finishing && (delivered || !m_connection.isConnected()))
        m_finishTimer.start(0);
}

QString ReadingPublisher::id() const
{
    return m_id;
}

QString ReadingPublisher::state() const
{
    QString state = m_connection.state();
    if (m_dropped > 0)
        state += QStringLiteral("\n%1 readings dropped while the broker was away").arg(m_dropped);
    return state;
}

qint64 ReadingPublisher::waitingReadings() const
{
    return m_waitingReadings;
}

qint64 ReadingPublisher::droppedReadings() const
{
    return m_dropped;
}

void ReadingPublisher::send()
{
    while (m_connection.isConnected() && !m_waiting.empty() && m_inFlight.size() < SessionWindow) {
        Outgoing message = m_waiting.front();
        const Reading &r = message.reading;
        switch (message.kind) {
        case Kind::Temperature:
            message.messageId =
                m_connection.publish(MqttTopics::temperature(m_id), MqttTopics::temperaturePayload(r), true);
            break;
        case Kind::ReadingJson:
            message.messageId =
                m_connection.publish(MqttTopics::reading(m_id), MqttTopics::readingPayload(r), false);
            break;
        case Kind::AlertHigh:
        case Kind::AlertLow:
            message.messageId = m_connection.publish(
                MqttTopics::alert(m_id),
                MqttTopics::alertPayload(r, message.kind == Kind::AlertHigh, message.threshold), false);
            break;
        }
        if (message.messageId < 0)
            return; // the session is going; it comes back through onDisconnected
        m_waiting.pop_front();
        m_inFlight.push_back(message);
    }
}

void ReadingPublisher::onConnected()
{
    m_connection.publish(MqttTopics::discovery(m_id), MqttTopics::discoveryPayload(m_id), true);
    publishAvailability();
    if (m_dropped > 0 && m_dropping) {
        m_dropping = false;
        emit said(QStringLiteral("%1 readings were dropped while the broker was away").arg(m_dropped));
    }
    send();
}

void ReadingPublisher::onDisconnected()
{
    // Whatever the broker had not acknowledged goes again, first, in its order.
    m_waiting.insert(m_waiting.begin(), m_inFlight.begin(), m_inFlight.end());
    m_inFlight.clear();
    finishWhenDelivered();
}

void ReadingPublisher::onDelivered(int messageId)
{
    if (messageId == m_goodbyeId) {
        m_goodbyeId = -1;
        finishWhenDelivered();
        return;
    }
    const auto at = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                 [messageId](const Outgoing &m) { return m.messageId == messageId; });
    if (at == m_inFlight.end())
        return; // the discovery or availability message
    if (at->kind == Kind::ReadingJson)
        --m_waitingReadings;
    m_inFlight.erase(at);
    send();
    finishWhenDelivered();
}

int ReadingPublisher::publishAvailability()
{
    return m_connection.publish(MqttTopics::availability(m_id),
                                m_portOpen ? MqttTopics::Online : MqttTopics::Offline, true);
}
