#include "local_broker.h"
#include "publish/mqtt_topics.h"
#include "publish/reading_publisher.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <memory>

// The publisher against a real Mosquitto: what a dashboard sees, and that no reading is lost or reordered
// while the broker is away.
namespace {
const QString Id = QStringLiteral("lab3-ttyacm0");

Reading readingNumber(int n)
{
    return Reading::fromRaw(1796640000000 + n, int16_t(n % 30000));
}

std::unique_ptr<ReadingPublisher> publisherFor(const LocalBroker &broker, const QByteArray &password = {},
                                               const QString &user = {})
{
    QString error;
    const auto address = BrokerAddress::parse(broker.url(user), error);
    return std::make_unique<ReadingPublisher>(*address, Id, password);
}

bool connected(ReadingPublisher &publisher)
{
    QSignalSpy said(&publisher, &ReadingPublisher::said);
    return publisher.state().startsWith(QLatin1String("Publishing")) || said.wait(10000);
}

// The raw values of the readings received, each once, in the order they first came; `repeats` counts
// the extra copies that QoS 1 allows after a lost acknowledgement.
QList<int> receivedReadings(const QStringList &messages, int &repeats)
{
    QList<int> order;
    QSet<int> seen;
    repeats = 0;
    for (const QString &message : messages) {
        const QJsonObject json = QJsonDocument::fromJson(message.section(u' ', 1).toUtf8()).object();
        const int raw = json[QStringLiteral("low")].toInt() | json[QStringLiteral("high")].toInt() << 8;
        if (seen.contains(raw))
            ++repeats;
        else
            order << raw, seen.insert(raw);
    }
    return order;
}

QList<int> upTo(int count)
{
    QList<int> numbers;
    for (int n = 0; n < count; ++n)
        numbers << n;
    return numbers;
}
} // namespace

class TstReadingPublisher final : public QObject
{
    Q_OBJECT

private slots:
    void dashboardSeesTheBoard();
    void nothingLostWhileTheBrokerIsAway_data();
    void nothingLostWhileTheBrokerIsAway();
    void refusedConnectionIsSaidOnceAndRetriedSlowly_data();
    void refusedConnectionIsSaidOnceAndRetriedSlowly();
    void untrustedCertificateIsSaidOnce();
    void brokerByName_data();
    void brokerByName();
    void oldestReadingsGoPastTheCapacity();
};

void TstReadingPublisher::dashboardSeesTheBoard()
{
    LocalBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker, QStringLiteral("#"));
    QVERIFY(subscriber.subscribed());
    auto publisher = publisherFor(broker);
    publisher->setPortOpen(true);
    publisher->start();
    QVERIFY(connected(*publisher));
    publisher->publishReading(Reading::fromRaw(1796640000000, 45));
    publisher->publishAlert({AlertEvent::Kind::High, Reading::fromRaw(1796640000000, 45), 2000});
    publisher->publishAlert({AlertEvent::Kind::BackWithin, Reading::fromRaw(1796640000000, 45), 2000});
    QVERIFY(subscriber.waitFor(5));

    const QStringList messages = subscriber.messages();
    const QString discoveryTopic =
        QStringLiteral("homeassistant/sensor/vantro_lab3-ttyacm0/temperature/config ");
    QCOMPARE(messages.first().left(discoveryTopic.size()), discoveryTopic);
    const QJsonObject config =
        QJsonDocument::fromJson(messages.first().mid(discoveryTopic.size()).toUtf8()).object();
    QCOMPARE(config[QStringLiteral("unique_id")].toString(),
             QStringLiteral("vantro_lab3-ttyacm0_temperature"));
    QCOMPARE(config[QStringLiteral("state_topic")].toString(),
             QStringLiteral("vantro/lab3-ttyacm0/temperature"));
    QCOMPARE(config[QStringLiteral("availability_topic")].toString(),
             QStringLiteral("vantro/lab3-ttyacm0/availability"));
    QCOMPARE(config[QStringLiteral("unit_of_measurement")].toString(), QStringLiteral("°C"));
    QCOMPARE(config[QStringLiteral("device")].toObject()[QStringLiteral("manufacturer")].toString(),
             QStringLiteral("ZORVA"));
    QCOMPARE(messages.mid(1, 3), (QStringList{QStringLiteral("vantro/lab3-ttyacm0/availability online"),
                                              QStringLiteral("vantro/lab3-ttyacm0/temperature 21.97"),
                                              QStringLiteral("vantro/lab3-ttyacm0/reading ") +
                                                  QString::fromUtf8(MqttTopics::readingPayload(
                                                      Reading::fromRaw(1796640000000, 45)))}));

    QCOMPARE(messages[4], QStringLiteral("vantro/lab3-ttyacm0/alert ") +
                              QString::fromUtf8(
                                  MqttTopics::alertPayload(Reading::fromRaw(1796640000000, 45), true, 2000)));

    // The temperature and the availability stay for whoever subscribes later; an alert does not.
    Subscriber late(broker, QStringLiteral("vantro/#"));
    QVERIFY(late.waitFor(2));
    QCOMPARE(late.messages().size(), 2);

    // A program that goes away while the port is open leaves the board offline, not online forever; the
    // return within the limits sent nothing before it.
    publisher.reset();
    QVERIFY(subscriber.waitFor(6));
    QCOMPARE(subscriber.messages().mid(5),
             QStringList{QStringLiteral("vantro/lab3-ttyacm0/availability offline")});
}

void TstReadingPublisher::nothingLostWhileTheBrokerIsAway_data()
{
    QTest::addColumn<bool>("upAtStart");
    QTest::newRow("broker absent at start, then started") << false;
    QTest::newRow("broker restarted in the middle of a stream") << true;
}

void TstReadingPublisher::nothingLostWhileTheBrokerIsAway()
{
    QFETCH(bool, upAtStart);
    LocalBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker, QStringLiteral("vantro/+/reading"));
    QVERIFY(subscriber.subscribed());
    auto publisher = publisherFor(broker);
    if (!upAtStart)
        broker.stop(); // the subscriber's session is kept for it
    publisher->start();
    int next = 0;
    if (upAtStart) {
        QVERIFY(connected(*publisher));
        for (; next < 20; ++next)
            publisher->publishReading(readingNumber(next));
        QVERIFY(subscriber.waitFor(20));
        broker.stop();
    }
    QTRY_VERIFY(publisher->state().startsWith(QLatin1String("Cannot reach")));
    for (const int end = next + 30; next < end; ++next)
        publisher->publishReading(readingNumber(next));
    QCOMPARE(publisher->waitingReadings(), 30);

    QVERIFY(broker.start());
    QVERIFY(connected(*publisher));
    for (const int end = next + 20; next < end; ++next)
        publisher->publishReading(readingNumber(next));
    // The broker may hand its subscriber a copy again after its restart; QoS 1 allows that.
    int repeats = 0;
    QTRY_COMPARE_WITH_TIMEOUT(receivedReadings(subscriber.messages(), repeats), upTo(next), 10000);
    QTRY_COMPARE(publisher->waitingReadings(), 0);
}

void TstReadingPublisher::refusedConnectionIsSaidOnceAndRetriedSlowly_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right password") << QByteArray("hot-tea") << true;
    QTest::newRow("wrong password") << QByteArray("cold-tea") << false;
}

void TstReadingPublisher::refusedConnectionIsSaidOnceAndRetriedSlowly()
{
    QFETCH(QByteArray, password);
    QFETCH(bool, accepted);
    LocalBroker broker({}, {QStringLiteral("lab:hot-tea")});
    QVERIFY(broker.start());
    auto publisher = publisherFor(broker, password, QStringLiteral("lab"));
    QSignalSpy said(publisher.get(), &ReadingPublisher::said);
    publisher->start();
    if (accepted) {
        QVERIFY(connected(*publisher));
        return;
    }
    // Tried at once, after 2 s and after 4 more: three attempts in seven seconds, not hundreds.
    QTRY_VERIFY_WITH_TIMEOUT(broker.connectionAttempts() >= 3, 10000);
    QVERIFY(broker.connectionAttempts() <= 4);
    QCOMPARE(said.size(), 1);
    QVERIFY2(said.first().first().toString().contains(QLatin1String("refused the connection: ")) &&
                 said.first().first().toString().contains(QLatin1String("not authorised")),
             qPrintable(said.first().first().toString()));
}

void TstReadingPublisher::untrustedCertificateIsSaidOnce()
{
    // A broker whose certificate no authority in the system's store has signed.
    QTemporaryDir keys;
    QProcess openssl;
    openssl.setStandardErrorFile(QProcess::nullDevice());
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                   "-keyout", keys.filePath("key.pem"), "-out", keys.filePath("cert.pem")});
    QVERIFY(openssl.waitForFinished() && openssl.exitCode() == 0);
    LocalBroker broker({"certfile " + keys.filePath("cert.pem"), "keyfile " + keys.filePath("key.pem")});
    QVERIFY(broker.start());
    QString error;
    const auto address = BrokerAddress::parse(broker.url().replace("mqtt://", "mqtts://"), error);
    ReadingPublisher publisher(*address, Id, {});
    QSignalSpy said(&publisher, &ReadingPublisher::said);
    publisher.start();
    QTRY_VERIFY(!said.isEmpty());
    QVERIFY2(said.first().first().toString().contains(QLatin1String("refused the connection: the TLS")),
             qPrintable(said.first().first().toString()));
    // Tried again after 2 s, and said no more.
    QTRY_VERIFY_WITH_TIMEOUT(broker.tlsFailures() >= 2, 5000);
    QCOMPARE(said.size(), 1);
}

void TstReadingPublisher::brokerByName_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("state");
    QTest::newRow("a name that resolves") << "localhost"
                                          << "Publishing to the broker at localhost:";
    QTest::newRow("a name that does not") << "no-such-broker.invalid"
                                          << "Cannot reach the broker at no-such-broker.invalid:";
}

void TstReadingPublisher::brokerByName()
{
    QFETCH(QString, host);
    LocalBroker broker;
    QVERIFY(broker.start());
    QString error;
    const auto address = BrokerAddress::parse(broker.url().replace(QStringLiteral("127.0.0.1"), host), error);
    ReadingPublisher publisher(*address, Id, {});
    publisher.start();
    QFETCH(QString, state);
    QTRY_VERIFY2(publisher.state().startsWith(state), qPrintable(publisher.state()));
}

void TstReadingPublisher::oldestReadingsGoPastTheCapacity()
{
    LocalBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker, QStringLiteral("vantro/+/reading"));
    QVERIFY(subscriber.subscribed());
    broker.stop();
    auto publisher = publisherFor(broker);
    QSignalSpy said(publisher.get(), &ReadingPublisher::said);
    publisher->start();
    for (int n = 0; n < ReadingPublisher::QueueCapacity + 3; ++n)
        publisher->publishReading(readingNumber(n));
    QCOMPARE(publisher->waitingReadings(), ReadingPublisher::QueueCapacity);
    QVERIFY(publisher->state().endsWith(QLatin1String("\n3 readings dropped while the broker was away")));
    QCOMPARE(said.count(), 2); // cannot reach the broker; dropping begun

    QVERIFY(broker.start());
    QVERIFY(subscriber.waitFor(1));
    int repeats = 0;
    QCOMPARE(receivedReadings(subscriber.messages(), repeats).first(), 3);
}

QTEST_GUILESS_MAIN(TstReadingPublisher)
#include "tst_reading_publisher.moc"
