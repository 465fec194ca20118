#include "local_broker.h"
#include "publish/home_assistant_config.h"
#include "publish/mqtt_settings.h"
#include "publish/mqtt_topics.h"
#include "publish/publisher_setup.h"
#include "publish/reading_publisher.h"

#include <QtCore/QJsonDocument>
#include <QtTest/QtTest>

#include <memory>

// The board as Home Assistant sees it, through a real Mosquitto: one device and its sensors, taken over from
// the single sensor of earlier releases, and announced again when Home Assistant comes back.
namespace {
const QString Device = QStringLiteral("homeassistant/device/vantro_lab3-ttyacm0/config");
const QString SingleSensor = QStringLiteral("homeassistant/sensor/vantro_lab3-ttyacm0/temperature/config");

// Every field, in Home Assistant's names. The temperature keeps the unique id it was announced with alone.
const char DeviceConfig[] = R"({
 "dev": {"identifiers": ["vantro_lab3-ttyacm0"], "name": "Vantro lab3-ttyacm0", "manufacturer": "ZORVA",
         "model": "Vantro", "sw_version": "9.8.7"},
 "o": {"name": "Vantro", "sw": "9.8.7"},
 "availability": [{"topic": "vantro/lab3-ttyacm0/availability", "payload_available": "online",
                   "payload_not_available": "offline"},
                  {"topic": "vantro/lab3-ttyacm0/board", "payload_available": "online",
                   "payload_not_available": "offline"}],
 "availability_mode": "all",
 "cmps": {
  "temperature": {"platform": "sensor", "name": "Temperature", "device_class": "temperature",
   "state_class": "measurement", "unit_of_measurement": "°C", "suggested_display_precision": 1,
   "expire_after": 300, "unique_id": "vantro_lab3-ttyacm0_temperature",
   "default_entity_id": "sensor.vantro_lab3_ttyacm0_temperature", "state_topic": "vantro/lab3-ttyacm0/temperature"},
  "board": {"platform": "binary_sensor", "name": "Board link", "device_class": "connectivity",
   "entity_category": "diagnostic", "payload_on": "online", "payload_off": "offline",
   "unique_id": "vantro_lab3-ttyacm0_board", "default_entity_id": "binary_sensor.vantro_lab3_ttyacm0_board",
   "state_topic": "vantro/lab3-ttyacm0/board",
   "availability": [{"topic": "vantro/lab3-ttyacm0/availability", "payload_available": "online",
                     "payload_not_available": "offline"}]},
  "last_reading": {"platform": "sensor", "name": "Last reading", "device_class": "timestamp",
   "entity_category": "diagnostic", "enabled_by_default": false, "value_template": "{{ value_json.time }}",
   "unique_id": "vantro_lab3-ttyacm0_last_reading", "default_entity_id": "sensor.vantro_lab3_ttyacm0_last_reading",
   "state_topic": "vantro/lab3-ttyacm0/reading"},
  "waiting": {"platform": "sensor", "name": "Readings waiting", "entity_category": "diagnostic",
   "state_class": "measurement", "unique_id": "vantro_lab3-ttyacm0_waiting",
   "default_entity_id": "sensor.vantro_lab3_ttyacm0_waiting", "state_topic": "vantro/lab3-ttyacm0/waiting"}}})";

std::unique_ptr<ReadingPublisher> publisherFor(const LocalBroker &broker,
                                               const QString &prefix = "homeassistant", bool discovery = true)
{
    QString error;
    auto publisher = std::make_unique<ReadingPublisher>(*BrokerAddress::parse(broker.url(), error),
                                                        QStringLiteral("lab3-ttyacm0"), "");
    publisher->setHomeAssistant({discovery, prefix, 300, QStringLiteral("9.8.7"), 0});
    return publisher;
}

QString compact(const QByteArray &json)
{
    return QString::fromUtf8(QJsonDocument::fromJson(json).toJson(QJsonDocument::Compact));
}
} // namespace

class TstHomeAssistant final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void singleSensorHandedOver_data();
    void singleSensorHandedOver();
    void namesAndTimesHomeAssistantTakes();
    void announcedAgainWhenHomeAssistantReturns_data();
    void announcedAgainWhenHomeAssistantReturns();
    void nothingAnnouncedWithDiscoveryOff();
    void settings_data();
    void settings();

private:
    QTemporaryDir m_home;
};

void TstHomeAssistant::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", m_home.path().toLocal8Bit());
}

void TstHomeAssistant::singleSensorHandedOver_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("handOver");
    const QStringList handOver{SingleSensor + R"( {"migrate_discovery":true})", Device,
                               SingleSensor + " (null)"};
    QTest::newRow("announced alone by an earlier release")
        << QByteArray(R"({"unique_id":"vantro_lab3-ttyacm0_t"})") << handOver;
    QTest::newRow("a hand-over cut short") << QByteArray(R"({"migrate_discovery":true})") << handOver;
    QTest::newRow("nothing before") << QByteArray() << QStringList{Device};
}

void TstHomeAssistant::singleSensorHandedOver()
{
    QFETCH(QByteArray, before);
    QFETCH(QStringList, handOver);
    LocalBroker broker;
    QVERIFY(broker.start());
    QVERIFY(before.isEmpty() || broker.publish(SingleSensor, before, true));
    Subscriber subscriber(broker, QStringLiteral("homeassistant/#"));
    QVERIFY(subscriber.subscribed() && subscriber.waitFor(before.isEmpty() ? 0 : 1));
    const int kept = int(subscriber.messages().size());
    auto publisher = publisherFor(broker);
    publisher->start();

    QVERIFY(subscriber.waitFor(kept + int(handOver.size())));
    QStringList seen = subscriber.messages().mid(kept);
    const int device = int(handOver.indexOf(Device));
    QCOMPARE(compact(seen[device].section(u' ', 1).toUtf8()), compact(DeviceConfig));
    seen[device] = seen[device].section(u' ', 0, 0);
    QCOMPARE(seen, handOver);
    // Afterwards the broker keeps the device alone: a new subscriber has it before a message said after it.
    Subscriber late(broker, QStringLiteral("homeassistant/#"));
    QVERIFY(late.subscribed() && broker.publish(QStringLiteral("homeassistant/end"), "end"));
    QVERIFY(late.waitFor(2));
    QCOMPARE(late.messages().first().section(u' ', 0, 0), Device);
    QCOMPARE(late.messages()[1], QStringLiteral("homeassistant/end end"));
}

void TstHomeAssistant::namesAndTimesHomeAssistantTakes()
{
    QCOMPARE(HomeAssistantConfig::entityName(QStringLiteral("a--b__c-"), "board"), "vantro_a_b_c_board");
    // What the last reading's template takes from the reading's message is a time with its UTC offset.
    const Reading reading = Reading::fromRaw(1796640000123, 45);
    const QJsonDocument json = QJsonDocument::fromJson(MqttTopics::readingPayload(reading));
    const QDateTime time = QDateTime::fromString(json[QStringLiteral("time")].toString(), Qt::ISODateWithMs);
    QCOMPARE(time.toMSecsSinceEpoch(), reading.timeMs);
    QCOMPARE(time.timeSpec(), Qt::OffsetFromUTC);
}

void TstHomeAssistant::announcedAgainWhenHomeAssistantReturns_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::newRow("the default prefix") << "homeassistant";
    QTest::newRow("a prefix of its own") << "ha/lab";
}

void TstHomeAssistant::announcedAgainWhenHomeAssistantReturns()
{
    QFETCH(QString, prefix);
    LocalBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker, QStringLiteral("#"));
    QVERIFY(subscriber.subscribed());
    auto publisher = publisherFor(broker, prefix);
    publisher->setPortOpen(true);
    publisher->setBoardUp(true);
    publisher->start();
    publisher->publishReading(Reading::fromRaw(1796640000000, 45));
    const QString device = prefix + QStringLiteral("/device/vantro_lab3-ttyacm0/config");
    QTRY_VERIFY(subscriber.messages().filter(device).size() == 1 &&
                subscriber.messages().filter(QStringLiteral("/reading ")).size() == 1);

    // Something said on the old topic while the program listens is no announcement from before: what the
    // program did about it would come before its answer to Home Assistant.
    QVERIFY(broker.publish(prefix + QStringLiteral("/sensor/vantro_lab3-ttyacm0/temperature/config"), "{}"));
    QVERIFY(broker.publish(prefix + QStringLiteral("/status"), "online"));
    QTRY_VERIFY(subscriber.messages().contains(prefix + QStringLiteral("/status online")));
    const int from = int(subscriber.messages().indexOf(prefix + QStringLiteral("/status online"))) + 1;
    QVERIFY(subscriber.waitFor(from + 5));
    QStringList again = subscriber.messages().mid(from);
    again[0] = again[0].section(u' ', 0, 0);
    QCOMPARE(again, (QStringList{device, "vantro/lab3-ttyacm0/availability online",
                                 "vantro/lab3-ttyacm0/board online", "vantro/lab3-ttyacm0/temperature 21.97",
                                 "vantro/lab3-ttyacm0/waiting 0"}));
}

void TstHomeAssistant::nothingAnnouncedWithDiscoveryOff()
{
    LocalBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker, QStringLiteral("#"));
    QVERIFY(subscriber.subscribed());
    auto publisher = publisherFor(broker, QStringLiteral("homeassistant"), false);
    publisher->start();
    publisher->publishReading(Reading::fromRaw(1796640000000, 45));
    QTRY_COMPARE(subscriber.messages().filter(QStringLiteral("/reading ")).size(), 1);
    // Subscriptions come first in a session, and an announcement after them.
    QVERIFY(!broker.log().contains("Received SUBSCRIBE from vantro"));
    QCOMPARE(subscriber.messages().filter(QStringLiteral("homeassistant/")), QStringList());
}

void TstHomeAssistant::settings_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("idOption");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("discovery");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("expireAfter");
    QTest::addColumn<QString>("id"); // empty: the default id
    QTest::addColumn<QString>("mistake");
    const auto row = [](const char *name, const QByteArray &file, const QString &mistake = {},
                        const QString &id = "lab3", bool discovery = true,
                        const QString &prefix = "homeassistant", int expireAfter = 120,
                        const QString &idOption = "lab3", const QByteArray &password = {}) {
        QTest::newRow(name) << file << idOption << password << discovery << prefix << expireAfter << id
                            << mistake;
    };
    const QString setting = "ZORVA.conf [MQTT] ";
    const QString expire =
        setting + "ExpireAfter: \"%1\" is not a whole number of seconds from 0 (never) to 86400; using 120";
    row("absent", {});
    row("off", "Discovery=Off", {}, "lab3", false);
    row("neither, with a control character", "Discovery=maybe\x1b[2J",
        setting + "Discovery: \"maybe\\x1b[2J\" is neither true nor false (yes/no, on/off, 1/0); discovery "
                  "stays on");
    row("levels", "DiscoveryPrefix=ha/lab", {}, "lab3", true, "ha/lab");
    row("wildcards, the broker's own, empty levels", "DiscoveryPrefix=/$SYS/+//#",
        setting + "DiscoveryPrefix: \"/$SYS/+//#\" is not a plain topic prefix; using \"_SYS/_/_\"", "lab3",
        true, "_SYS/_/_");
    row("a prefix past any topic", "DiscoveryPrefix=" + QByteArray(70000, 'p'),
        setting + "DiscoveryPrefix: \"" + QString(80, u'p') +
            "\"... (70000 characters) is longer than 256 characters; using \"homeassistant\"");
    row("never", "ExpireAfter=0", {}, "lab3", true, "homeassistant", 0);
    row("a day", "ExpireAfter=86400", {}, "lab3", true, "homeassistant", 86400);
    row("past a day", "ExpireAfter=86401", expire.arg("86401"));
    row("a fraction", "ExpireAfter=1.5", expire.arg("1.5"));
    // One board, one device: the id's case is the same whichever way it comes in.
    row("an id in capitals", "Id=ZV0042A", {}, "zv0042a", true, "homeassistant", 120, {});
    row("an id in capitals on the command line", {}, {}, "zv0042a", true, "homeassistant", 120, "ZV0042A");
    row("an id that reaches into other topics", "Id=lab 3/+#\xC3\xA9",
        setting + "Id: \"lab 3/+#\u00e9\" may hold only letters, digits, _ and -; using \"lab_3____\"",
        "lab_3____", true, "homeassistant", 120, {});
    row("an id past any topic", "Id=" + QByteArray(129, 'x'),
        setting + "Id: \"" + QString(80, u'x') +
            "\"... (129 characters) is longer than 128 characters; using the default id",
        {}, true, "homeassistant", 120, {});
    row("a password with no user", {},
        "VANTRO_MQTT_PASSWORD is not sent: MQTT sends a password only with a user name, and the broker's "
        "address names none (mqtt://USER@127.0.0.1:1)",
        "lab3", true, "homeassistant", 120, "lab3", "secret");
}

void TstHomeAssistant::settings()
{
#ifdef Q_OS_WIN
    QSKIP("Its rows are ZORVA.conf's; Windows keeps the settings in the registry (tst_zorva_registry)");
#endif
    QFETCH(QByteArray, file);
    QFETCH(QString, idOption);
    QFETCH(QByteArray, password);
    QFETCH(QString, id);
    QFETCH(QString, mistake);
    QFile conf(m_home.filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[MQTT]\nUrl=mqtt://127.0.0.1:1\n" + file + '\n');
    conf.close();
    QStringList mistakes;
    const HomeAssistantOptions options = MqttSettings::homeAssistant(mistakes);
    QTEST(options.discovery, "discovery");
    QTEST(options.prefix, "prefix");
    QTEST(options.expireAfterSeconds, "expireAfter");
    // Said when publishing starts, and kept in the publisher's state.
    qputenv("VANTRO_MQTT_PASSWORD", password);
    QString error;
    auto publisher = setUpPublisher({}, idOption, QStringLiteral("ttyACM0"), error);
    qunsetenv("VANTRO_MQTT_PASSWORD");
    QCOMPARE(publisher->id(),
             id.isEmpty() ? MqttTopics::defaultId(QSysInfo::machineHostName(), "ttyACM0") : id);
    QSignalSpy said(publisher.get(), &ReadingPublisher::said);
    publisher->start();
    // Before the broker's state, which comes at once from a port that refuses.
    QCOMPARE(said.value(0).value(0).toString().startsWith(QLatin1String("Cannot reach")), mistake.isEmpty());
    QCOMPARE(mistake.isEmpty() ? mistake : said.value(0).value(0).toString(), mistake);
    QCOMPARE(publisher->state().endsWith(u'\n' + mistake), !mistake.isEmpty());
}

QTEST_GUILESS_MAIN(TstHomeAssistant)
#include "tst_home_assistant.moc"
