#include "local_broker.h"
#include "publish/home_assistant_config.h"
#include "publish/mqtt_settings.h"
#include "publish/mqtt_topics.h"
#include "publish/publisher_setup.h"
#include "publish/reading_publisher.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <memory>

// The board as Home Assistant sees it, through a real Mosquitto: one device and its sensors, taken over from
// the single sensor of earlier releases, and announced again when Home Assistant comes back.
namespace {
const QString Id = QStringLiteral("lab3-ttyacm0");
const QString Device = QStringLiteral("homeassistant/device/vantro_lab3-ttyacm0/config");
const QString SingleSensor = QStringLiteral("homeassistant/sensor/vantro_lab3-ttyacm0/temperature/config");

std::unique_ptr<ReadingPublisher> publisherFor(const LocalBroker &broker, const HomeAssistantOptions &options)
{
    QString error;
    auto publisher = std::make_unique<ReadingPublisher>(*BrokerAddress::parse(broker.url(), error), Id, "");
    publisher->setHomeAssistant(options);
    return publisher;
}

HomeAssistantOptions optionsWith(const QString &prefix = QStringLiteral("homeassistant"))
{
    HomeAssistantOptions options;
    options.prefix = prefix;
    options.version = QStringLiteral("9.8.7");
    options.expireAfterSeconds = 300;
    options.rebirthDelayMs = 0;
    return options;
}

// The value at a path such as "cmps/board/availability/0/topic"; undefined where there is none.
QJsonValue at(QJsonValue value, const QString &path)
{
    for (const QString &step : path.split(u'/')) {
        bool index = false;
        const int n = step.toInt(&index);
        value = index ? value.toArray().at(n) : value.toObject().value(step);
    }
    return value;
}

QString payloadOf(const QString &message)
{
    return message.section(u' ', 1);
}

// Everything the broker keeps under `filter`, in the order it hands it to a new subscriber.
QStringList retainedUnder(const LocalBroker &broker, const QString &filter, const QString &marker)
{
    Subscriber late(broker, filter);
    if (!late.subscribed() || !broker.publish(marker, "end"))
        return {QStringLiteral("no answer")};
    const QDeadlineTimer deadline(10000);
    while (!late.messages().contains(marker + QStringLiteral(" end")) && !deadline.hasExpired())
        late.waitFor(late.messages().size() + 1, 200);
    return late.messages();
}
} // namespace

class TstHomeAssistant final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void deviceConfig_data();
    void deviceConfig();
    void readingTimeIsIso8601();
    void singleSensorHandedOver_data();
    void singleSensorHandedOver();
    void announcedAgainWhenHomeAssistantReturns_data();
    void announcedAgainWhenHomeAssistantReturns();
    void nothingAnnouncedWithDiscoveryOff();
    void settings_data();
    void settings();
    void settingMistakesAreSaid();
    void entityNames_data();
    void entityNames();

private:
    QTemporaryDir m_home;
    std::unique_ptr<LocalBroker> m_broker;
    QJsonObject m_config;
};

void TstHomeAssistant::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", m_home.path().toLocal8Bit());
    m_broker = std::make_unique<LocalBroker>();
    QVERIFY(m_broker->start());
    Subscriber subscriber(*m_broker, QStringLiteral("homeassistant/#"));
    QVERIFY(subscriber.subscribed());
    auto publisher = publisherFor(*m_broker, optionsWith());
    publisher->start();
    QVERIFY(subscriber.waitFor(1));
    QCOMPARE(subscriber.messages().first().section(u' ', 0, 0), Device);
    m_config = QJsonDocument::fromJson(payloadOf(subscriber.messages().first()).toUtf8()).object();
}

void TstHomeAssistant::deviceConfig_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    const auto row = [](const QString &path, const QJsonValue &value) {
        QTest::newRow(qPrintable(path)) << path << value;
    };
    row("dev/identifiers", QJsonArray{"vantro_lab3-ttyacm0"});
    row("dev/name", "Vantro lab3-ttyacm0");
    row("dev/manufacturer", "ZORVA");
    row("dev/model", "Vantro");
    row("dev/sw_version", "9.8.7");
    row("o/name", "Vantro");
    row("o/sw", "9.8.7");
    // The temperature is there while the program runs with the port open and the board answers.
    row("availability/0/topic", "vantro/lab3-ttyacm0/availability");
    row("availability/0/payload_available", "online");
    row("availability/0/payload_not_available", "offline");
    row("availability/1/topic", "vantro/lab3-ttyacm0/board");
    row("availability_mode", "all");
    row("cmps/temperature/platform", "sensor");
    row("cmps/temperature/device_class", "temperature");
    row("cmps/temperature/state_class", "measurement");
    row("cmps/temperature/unit_of_measurement", "°C");
    row("cmps/temperature/suggested_display_precision", 1);
    row("cmps/temperature/expire_after", 300);
    row("cmps/temperature/unique_id", "vantro_lab3-ttyacm0_temperature"); // as announced before
    row("cmps/temperature/default_entity_id", "sensor.vantro_lab3_ttyacm0_temperature");
    row("cmps/temperature/state_topic", "vantro/lab3-ttyacm0/temperature");
    row("cmps/temperature/availability", QJsonValue::Undefined);
    row("cmps/board/platform", "binary_sensor");
    row("cmps/board/device_class", "connectivity");
    row("cmps/board/entity_category", "diagnostic");
    row("cmps/board/state_topic", "vantro/lab3-ttyacm0/board");
    row("cmps/board/payload_on", "online");
    row("cmps/board/payload_off", "offline");
    row("cmps/board/unique_id", "vantro_lab3-ttyacm0_board");
    row("cmps/board/default_entity_id", "binary_sensor.vantro_lab3_ttyacm0_board");
    // The program's availability alone: the link is shown down, not unavailable.
    row("cmps/board/availability/0/topic", "vantro/lab3-ttyacm0/availability");
    row("cmps/board/availability/1", QJsonValue::Undefined);
    row("cmps/last_reading/platform", "sensor");
    row("cmps/last_reading/device_class", "timestamp");
    row("cmps/last_reading/entity_category", "diagnostic");
    row("cmps/last_reading/enabled_by_default", false);
    row("cmps/last_reading/state_topic", "vantro/lab3-ttyacm0/reading");
    row("cmps/last_reading/value_template", "{{ value_json.time }}");
    row("cmps/last_reading/unique_id", "vantro_lab3-ttyacm0_last_reading");
    row("cmps/waiting/platform", "sensor");
    row("cmps/waiting/entity_category", "diagnostic");
    row("cmps/waiting/state_topic", "vantro/lab3-ttyacm0/waiting");
    row("cmps/waiting/unique_id", "vantro_lab3-ttyacm0_waiting");
}

void TstHomeAssistant::deviceConfig()
{
    QFETCH(QString, path);
    QTEST(at(m_config, path), "value");
}

void TstHomeAssistant::readingTimeIsIso8601()
{
    // What the last reading's template takes from the reading's message is a time with its UTC offset.
    const Reading reading = Reading::fromRaw(1796640000123, 45);
    const QJsonObject json = QJsonDocument::fromJson(MqttTopics::readingPayload(reading)).object();
    const QDateTime time = QDateTime::fromString(json[QStringLiteral("time")].toString(), Qt::ISODateWithMs);
    QCOMPARE(time.toMSecsSinceEpoch(), reading.timeMs);
    QCOMPARE(time.timeSpec(), Qt::OffsetFromUTC);
}

void TstHomeAssistant::singleSensorHandedOver_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("handOver");
    const QStringList handOver{SingleSensor + QStringLiteral(" {\"migrate_discovery\":true}"), Device,
                               SingleSensor + QStringLiteral(" (null)")};
    QTest::newRow("announced alone by an earlier release")
        << QByteArray(R"({"name":"Temperature","unique_id":"vantro_lab3-ttyacm0_temperature"})") << handOver;
    QTest::newRow("a hand-over cut short") << QByteArray(R"({"migrate_discovery":true})") << handOver;
    QTest::newRow("nothing before") << QByteArray() << QStringList{Device};
}

void TstHomeAssistant::singleSensorHandedOver()
{
    QFETCH(QByteArray, before);
    LocalBroker broker;
    QVERIFY(broker.start());
    if (!before.isEmpty())
        QVERIFY(broker.publish(SingleSensor, before, true));
    Subscriber subscriber(broker, QStringLiteral("homeassistant/#"));
    QVERIFY(subscriber.subscribed());
    QVERIFY(subscriber.waitFor(before.isEmpty() ? 0 : 1));
    const int kept = int(subscriber.messages().size());
    auto publisher = publisherFor(broker, optionsWith());
    publisher->start();

    QFETCH(QStringList, handOver);
    QVERIFY(subscriber.waitFor(kept + int(handOver.size())));
    QStringList seen = subscriber.messages().mid(kept);
    for (QString &message : seen) {
        if (message.startsWith(Device + u' '))
            message = Device; // its payload is checked above
    }
    QCOMPARE(seen, handOver);
    // What the broker keeps afterwards: the device alone.
    const QStringList retained =
        retainedUnder(broker, QStringLiteral("homeassistant/#"), QStringLiteral("homeassistant/marker"));
    QCOMPARE(retained.size(), 2);
    QCOMPARE(retained.first().section(u' ', 0, 0), Device);
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
    auto publisher = publisherFor(broker, optionsWith(prefix));
    publisher->setPortOpen(true);
    publisher->setBoardUp(true);
    publisher->start();
    publisher->publishReading(Reading::fromRaw(1796640000000, 45));
    const QString device = prefix + QStringLiteral("/device/vantro_lab3-ttyacm0/config");
    QTRY_VERIFY(subscriber.messages().filter(device).size() == 1 &&
                subscriber.messages().filter(QStringLiteral("/reading ")).size() == 1);

    // Something said on the old topic while the program listens is not an announcement from before: what
    // the program does about it would come before its answer to Home Assistant.
    QVERIFY(broker.publish(prefix + QStringLiteral("/sensor/vantro_lab3-ttyacm0/temperature/config"), "{}"));
    const QString status = prefix + QStringLiteral("/status online");
    QVERIFY(broker.publish(prefix + QStringLiteral("/status"), "online"));
    QTRY_VERIFY(subscriber.messages().contains(status));
    QVERIFY(subscriber.waitFor(int(subscriber.messages().indexOf(status)) + 6));
    QStringList again = subscriber.messages().mid(subscriber.messages().indexOf(status) + 1);
    QCOMPARE(again.first().section(u' ', 0, 0), device);
    QCOMPARE(again.mid(1), (QStringList{QStringLiteral("vantro/lab3-ttyacm0/availability online"),
                                        QStringLiteral("vantro/lab3-ttyacm0/board online"),
                                        QStringLiteral("vantro/lab3-ttyacm0/temperature 21.97"),
                                        QStringLiteral("vantro/lab3-ttyacm0/waiting 0")}));
    QCOMPARE(subscriber.messages().filter(QStringLiteral("migrate_discovery")), QStringList());
}

void TstHomeAssistant::nothingAnnouncedWithDiscoveryOff()
{
    LocalBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker, QStringLiteral("#"));
    QVERIFY(subscriber.subscribed());
    HomeAssistantOptions options = optionsWith();
    options.discovery = false;
    auto publisher = publisherFor(broker, options);
    publisher->start();
    publisher->publishReading(Reading::fromRaw(1796640000000, 45));
    QTRY_COMPARE(subscriber.messages().filter(QStringLiteral("/reading ")).size(), 1);
    QVERIFY(broker.publish(QStringLiteral("homeassistant/status"), "online"));
    // Anything announced would have been published after the subscriptions, which come first in a session.
    QTRY_VERIFY(subscriber.messages().contains(QStringLiteral("homeassistant/status online")));
    QCOMPARE(subscriber.messages().filter(QStringLiteral("homeassistant/")),
             QStringList{QStringLiteral("homeassistant/status online")});
    QVERIFY(!broker.log().contains("Received SUBSCRIBE from vantro"));
}

void TstHomeAssistant::settings_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("discovery");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("expireAfter");
    QTest::addColumn<QStringList>("mistakes");
    const QString why =
        QStringLiteral("ZORVA.conf [MQTT] ExpireAfter: \"%1\" is not a whole number of seconds "
                       "from 0 (never) to 86400; using 120");
    QTest::newRow("absent") << QByteArray() << true << "homeassistant" << 120 << QStringList();
    QTest::newRow("off") << QByteArray("Discovery=false") << false << "homeassistant" << 120 << QStringList();
    QTest::newRow("off, said otherwise")
        << QByteArray("Discovery=Off") << false << "homeassistant" << 120 << QStringList();
    QTest::newRow("on") << QByteArray("Discovery=yes") << true << "homeassistant" << 120 << QStringList();
    QTest::newRow("neither") << QByteArray("Discovery=maybe") << true << "homeassistant" << 120
                             << QStringList{
                                    "ZORVA.conf [MQTT] Discovery: \"maybe\" is neither true nor false; "
                                    "discovery stays on"};
    QTest::newRow("a prefix of levels")
        << QByteArray("DiscoveryPrefix=ha/lab") << true << "ha/lab" << 120 << QStringList();
    QTest::newRow("wildcards") << QByteArray("DiscoveryPrefix=ha/+/#") << true << "ha/_/_" << 120
                               << QStringList{"ZORVA.conf [MQTT] DiscoveryPrefix: \"ha/+/#\" is not a plain "
                                              "topic prefix; using \"ha/_/_\""};
    QTest::newRow("the broker's own, empty levels")
        << QByteArray("DiscoveryPrefix=/$SYS//") << true << "_SYS" << 120
        << QStringList{"ZORVA.conf [MQTT] DiscoveryPrefix: \"/$SYS//\" "
                       "is not a plain topic prefix; using \"_SYS\""};
    QTest::newRow("nothing but slashes")
        << QByteArray("DiscoveryPrefix=//") << true << "homeassistant" << 120
        << QStringList{"ZORVA.conf [MQTT] DiscoveryPrefix: \"//\" is not a plain "
                       "topic prefix; using \"homeassistant\""};
    QTest::newRow("five minutes") << QByteArray("ExpireAfter=300") << true << "homeassistant" << 300
                                  << QStringList();
    QTest::newRow("never") << QByteArray("ExpireAfter=0") << true << "homeassistant" << 0 << QStringList();
    QTest::newRow("a day") << QByteArray("ExpireAfter=86400") << true << "homeassistant" << 86400
                           << QStringList();
    QTest::newRow("past a day") << QByteArray("ExpireAfter=86401") << true << "homeassistant" << 120
                                << QStringList{why.arg("86401")};
    QTest::newRow("negative") << QByteArray("ExpireAfter=-1") << true << "homeassistant" << 120
                              << QStringList{why.arg("-1")};
    QTest::newRow("a fraction") << QByteArray("ExpireAfter=1.5") << true << "homeassistant" << 120
                                << QStringList{why.arg("1.5")};
    QTest::newRow("with a unit") << QByteArray("ExpireAfter=120 s") << true << "homeassistant" << 120
                                 << QStringList{why.arg("120 s")};
}

void TstHomeAssistant::settings()
{
    QFETCH(QByteArray, file);
    QFile conf(m_home.filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[MQTT]\n" + file + '\n');
    conf.close();
    QStringList mistakes;
    const HomeAssistantOptions options = MqttSettings::homeAssistant(mistakes);
    QTEST(options.discovery, "discovery");
    QTEST(options.prefix, "prefix");
    QTEST(options.expireAfterSeconds, "expireAfter");
    QTEST(mistakes, "mistakes");
}

void TstHomeAssistant::settingMistakesAreSaid()
{
    QFile conf(m_home.filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[MQTT]\nUrl=mqtt://127.0.0.1:1\nExpireAfter=soon\n");
    conf.close();
    QString error;
    auto publisher = setUpPublisher({}, QStringLiteral("lab3"), QStringLiteral("ttyACM0"), error);
    QVERIFY(publisher);
    QSignalSpy said(publisher.get(), &ReadingPublisher::said);
    publisher->start();
    const QString line =
        QStringLiteral("ZORVA.conf [MQTT] ExpireAfter: \"soon\" is not a whole number of seconds "
                       "from 0 (never) to 86400; using 120");
    QCOMPARE(said.first().first().toString(), line);
    QVERIFY(publisher->state().endsWith(u'\n' + line));
}

void TstHomeAssistant::entityNames_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("host and port") << "lab3-ttyacm0"
                                   << "vantro_lab3_ttyacm0_board";
    QTest::newRow("serial number") << "zv0042a"
                                   << "vantro_zv0042a_board";
    QTest::newRow("runs of separators") << "a--b__c-"
                                        << "vantro_a_b_c_board";
}

void TstHomeAssistant::entityNames()
{
    QFETCH(QString, id);
    QTEST(HomeAssistantConfig::entityName(id, QStringLiteral("board")), "name");
}

QTEST_GUILESS_MAIN(TstHomeAssistant)
#include "tst_home_assistant.moc"
