#include "reading_publisher.h"

#include "publish/home_assistant_announcer.h"
#include "publish/mqtt_topics.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QSysInfo>

#include <algorithm>

namespace {
// Enough to keep a local broker's acknowledgements flowing; the rest waits here, in order.
constexpr std::size_t SessionWindow = 64;

// Two machines with the same host name and port name, and so the same default board id, must not take each
// other's session away at the broker.
QString clientIdFor(const QString &id)
{
    QByteArray machine = QSysInfo::machineUniqueId();
    if (machine.isEmpty())
        machine = QSysInfo::bootUniqueId();
    return MqttTopics::clientId(id, machine);
}
} // namespace

ReadingPublisher::ReadingPublisher(const BrokerAddress &address, const QString &id,
                                   const QByteArray &password, std::unique_ptr<AddressLookup> lookup,
                                   QObject *parent)
    : QObject(parent), m_id(id), m_broker(address.display()),
      m_connection(address, clientIdFor(id), password, MqttTopics::availability(id), MqttTopics::Offline,
                   std::move(lookup))
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
    m_waitingTimer.setSingleShot(true);
    connect(&m_waitingTimer, &QTimer::timeout, this, &ReadingPublisher::showWaiting);
    HomeAssistantOptions homeAssistant;
    homeAssistant.version = QCoreApplication::applicationVersion();
    setHomeAssistant(homeAssistant);
}

ReadingPublisher::~ReadingPublisher()
{
    // The session ends with a clean goodbye, so the will does not speak for us: say it here.
    if (m_boardUp)
        m_connection.publish(MqttTopics::board(m_id), MqttTopics::Offline, true);
    if (m_portOpen)
        m_connection.publish(MqttTopics::availability(m_id), MqttTopics::Offline, true);
}

void ReadingPublisher::setHomeAssistant(const HomeAssistantOptions &options,
                                        const QStringList &settingMistakes)
{
    m_settingMistakes = settingMistakes;
    m_announcer.reset();
    if (!options.discovery)
        return;
    m_announcer = std::make_unique<HomeAssistantAnnouncer>(
        m_connection, m_id, options,
        [this](const QByteArray &topic, const QByteArray &payload) { publishControl(topic, payload); });
    connect(m_announcer.get(), &HomeAssistantAnnouncer::announcedAgain, this, [this] { sayState(true); });
}

void ReadingPublisher::start()
{
    for (const QString &mistake : std::as_const(m_settingMistakes))
        emit said(mistake);
    m_connection.open();
}

void ReadingPublisher::takeReading(const Reading &reading, const QString &)
{
    publishReading(reading);
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
        m_droppedUnsaid = m_droppedUnsaid || dropped;
        if (!m_dropping) {
            m_dropping = true;
            emit said(QStringLiteral("The broker has been away for %1 readings: dropping the oldest")
                          .arg(QueueCapacity));
        }
    }
    const qint64 serial = m_nextSerial++;
    m_waiting.push_back({reading, Kind::Temperature, 0, serial});
    m_waiting.push_back({reading, Kind::ReadingJson, 0, serial});
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

void ReadingPublisher::setBoardUp(bool up)
{
    if (up == m_boardUp || m_finishing)
        return;
    m_boardUp = up;
    publishBoard();
}

void ReadingPublisher::finish()
{
    if (m_finishing)
        return;
    m_finishing = true;
    if (m_boardUp) {
        m_boardUp = false;
        publishBoard();
    }
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
    if (m_refused > 0)
        state += QStringLiteral("\n%1 readings refused by the broker").arg(m_refused);
    for (const QString &mistake : m_settingMistakes)
        state += u'\n' + mistake;
    return state;
}

QString ReadingPublisher::broker() const
{
    return m_broker;
}

qint64 ReadingPublisher::waitingReadings() const
{
    return m_waitingReadings;
}

qint64 ReadingPublisher::droppedReadings() const
{
    return m_dropped + m_refused;
}

qint64 ReadingPublisher::refusedReadings() const
{
    return m_refused;
}

void ReadingPublisher::send()
{
    while (m_connection.isConnected() && !m_waiting.empty() && m_inFlight.size() < SessionWindow) {
        Outgoing message = m_waiting.front();
        if (message.kind == Kind::Temperature && message.serial != m_nextSerial - 1) {
            // A newer reading's temperature is still to go: the retained value goes once, the newest, and
            // its time is in the reading's own message.
            m_waiting.pop_front();
            continue;
        }
        const Reading &r = message.reading;
        const QByteArray topic = topicOf(message.kind);
        switch (message.kind) {
        case Kind::Temperature:
            message.messageId = m_connection.publish(topic, MqttTopics::temperaturePayload(r), true);
            break;
        case Kind::ReadingJson:
            message.messageId = m_connection.publish(topic, MqttTopics::readingPayload(r), false);
            break;
        case Kind::AlertHigh:
        case Kind::AlertLow:
            message.messageId = m_connection.publish(
                topic, MqttTopics::alertPayload(r, message.kind == Kind::AlertHigh, message.threshold),
                false);
            break;
        }
        if (message.messageId < 0)
            break; // the session is going; it comes back through onDisconnected
        if (message.kind == Kind::Temperature) {
            m_shownTemperature = r;
            m_shownSerial = message.serial;
        }
        m_waiting.pop_front();
        m_inFlight.push_back(message);
    }
    showWaiting();
}

void ReadingPublisher::onConnected()
{
    sayState(false);
    if (m_announcer)
        m_announcer->sessionStarted();
    if (m_droppedUnsaid) {
        m_droppedUnsaid = false;
        emit said(QStringLiteral("%1 readings were dropped while the broker was away").arg(m_dropped));
    }
    send();
}

void ReadingPublisher::onDisconnected()
{
    // Whatever the broker had not acknowledged goes again, first, in its order.
    m_waiting.insert(m_waiting.begin(), m_inFlight.begin(), m_inFlight.end());
    m_inFlight.clear();
    m_controlInFlight.clear(); // a new session numbers its messages afresh
    m_waitingTimer.stop();
    if (m_announcer)
        m_announcer->sessionEnded();
    finishWhenDelivered();
}

void ReadingPublisher::onDelivered(int messageId, const QString &refusal)
{
    if (const auto control = m_controlInFlight.constFind(messageId); control != m_controlInFlight.cend()) {
        sayRefusal(*control, refusal);
        m_controlInFlight.erase(control);
        if (messageId == m_goodbyeId)
            m_goodbyeId = -1;
        finishWhenDelivered();
        return;
    }
    const auto at = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                 [messageId](const Outgoing &m) { return m.messageId == messageId; });
    if (at == m_inFlight.end())
        return;
    const Outgoing message = *at;
    m_inFlight.erase(at);
    sayRefusal(topicOf(message.kind), refusal);
    if (message.kind == Kind::Temperature && !refusal.isEmpty())
        readingRefused(message.serial);
    if (message.kind == Kind::ReadingJson) {
        --m_waitingReadings;
        m_refused += !refusal.isEmpty() || message.refused;
        if (m_waitingReadings == 0)
            m_dropping = false; // the backlog has gone out: another overflow is said again
    }
    send();
    finishWhenDelivered();
}

void ReadingPublisher::readingRefused(qint64 serial)
{
    // Its JSON line follows the temperature; the broker acknowledges in order, so it has not been yet.
    for (std::deque<Outgoing> *queue : {&m_inFlight, &m_waiting}) {
        for (Outgoing &message : *queue) {
            if (message.serial == serial && message.kind == Kind::ReadingJson) {
                message.refused = true;
                return;
            }
        }
    }
}

void ReadingPublisher::sayRefusal(const QByteArray &topic, const QString &refusal)
{
    if (refusal.isEmpty()) {
        m_refusedTopics.remove(topic);
        return;
    }
    if (m_refusedTopics.contains(topic))
        return;
    m_refusedTopics.insert(topic);
    emit said(QStringLiteral("The broker at %1 refuses what is published on %2: %3")
                  .arg(m_broker, QString::fromUtf8(topic), refusal));
}

QByteArray ReadingPublisher::topicOf(Kind kind) const
{
    switch (kind) {
    case Kind::Temperature:
        return MqttTopics::temperature(m_id);
    case Kind::ReadingJson:
        return MqttTopics::reading(m_id);
    case Kind::AlertHigh:
    case Kind::AlertLow:
        break;
    }
    return MqttTopics::alert(m_id);
}

int ReadingPublisher::publishAvailability()
{
    return publishControl(MqttTopics::availability(m_id),
                          m_portOpen ? MqttTopics::Online : MqttTopics::Offline);
}

int ReadingPublisher::publishBoard()
{
    return publishControl(MqttTopics::board(m_id), m_boardUp ? MqttTopics::Online : MqttTopics::Offline);
}

void ReadingPublisher::sayState(bool again)
{
    publishAvailability();
    publishBoard();
    // To a Home Assistant that has come back, the newest temperature again, unless it is still to go.
    if (again && m_shownSerial >= 0 && m_shownSerial == m_nextSerial - 1)
        publishControl(MqttTopics::temperature(m_id), MqttTopics::temperaturePayload(m_shownTemperature));
    m_waitingTimer.stop();
    m_waitingClock.invalidate();
    m_waitingShown = -1;
    showWaiting();
}

qint64 ReadingPublisher::readingsNotHandedOver() const
{
    const auto handed = std::count_if(m_inFlight.begin(), m_inFlight.end(),
                                      [](const Outgoing &m) { return m.kind == Kind::ReadingJson; });
    return m_waitingReadings - qint64(handed);
}

void ReadingPublisher::showWaiting()
{
    // Said when it changes, at most once a second: nothing while readings go out as they come.
    const qint64 waiting = readingsNotHandedOver();
    if (!m_connection.isConnected() || waiting == m_waitingShown || m_waitingTimer.isActive())
        return;
    if (m_waitingClock.isValid() && m_waitingClock.elapsed() < WaitingIntervalMs) {
        m_waitingTimer.start(int(WaitingIntervalMs - m_waitingClock.elapsed()));
        return;
    }
    m_waitingShown = waiting;
    m_waitingClock.start();
    publishControl(MqttTopics::waiting(m_id), QByteArray::number(waiting));
}

int ReadingPublisher::publishControl(const QByteArray &topic, const QByteArray &payload)
{
    const int id = m_connection.publish(topic, payload, true);
    if (id >= 0)
        m_controlInFlight.insert(id, topic);
    return id;
}
