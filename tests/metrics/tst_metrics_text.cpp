#include "metrics/listen_address.h"
#include "metrics/metrics_text.h"

#include <QtTest/QtTest>

// The addresses a user types for the endpoint, and the exposition a scraper reads.
class TstMetricsText final : public QObject
{
    Q_OBJECT

private slots:
    void listenAddress_data();
    void listenAddress();
    void refusedAddress_data();
    void refusedAddress();
    void wholeExposition();
    void beforeAnyReading();
    void temperature_data();
    void temperature();
    void staleTemperatureLeftOut();
    void labelValuesEscaped_data();
    void labelValuesEscaped();
};

void TstMetricsText::listenAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("display");
    QTest::newRow("a port alone: this machine") << "9101"
                                                << "127.0.0.1" << 9101 << "127.0.0.1:9101";
    QTest::newRow("loopback") << "127.0.0.1:9101"
                              << "127.0.0.1" << 9101 << "127.0.0.1:9101";
    QTest::newRow("every interface") << "0.0.0.0:9101"
                                     << "0.0.0.0" << 9101 << "0.0.0.0:9101";
    QTest::newRow("another address") << "192.168.1.20:9200"
                                     << "192.168.1.20" << 9200 << "192.168.1.20:9200";
    QTest::newRow("IPv6 loopback") << "[::1]:9101"
                                   << "::1" << 9101 << "[::1]:9101";
    QTest::newRow("every IPv6 interface") << "[::]:9101"
                                          << "::" << 9101 << "[::]:9101";
    QTest::newRow("IPv6 written long") << "[0:0:0:0:0:0:0:1]:9101"
                                       << "::1" << 9101 << "[::1]:9101";
    QTest::newRow("localhost") << "localhost:9101"
                               << "127.0.0.1" << 9101 << "127.0.0.1:9101";
    QTest::newRow("LOCALHOST") << "LOCALHOST:80"
                               << "127.0.0.1" << 80 << "127.0.0.1:80";
    QTest::newRow("lowest port") << "1"
                                 << "127.0.0.1" << 1 << "127.0.0.1:1";
    QTest::newRow("highest port") << "0.0.0.0:65535"
                                  << "0.0.0.0" << 65535 << "0.0.0.0:65535";
    QTest::newRow("leading zero") << "09101"
                                  << "127.0.0.1" << 9101 << "127.0.0.1:9101";
}

void TstMetricsText::listenAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, display);
    QString error;
    const std::optional<ListenAddress> where = ListenAddress::parse(text, error);
    QVERIFY2(where, qPrintable(error));
    QCOMPARE(where->address, QHostAddress(address));
    QCOMPARE(int(where->port), port);
    QCOMPARE(where->display(), display);
}

void TstMetricsText::refusedAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("nothing") << ""
                             << "port must be a number from 1 to 65535";
    QTest::newRow("port 0") << "0"
                            << "port must be a number from 1 to 65535";
    QTest::newRow("port 65536") << "65536"
                                << "port must be a number from 1 to 65535";
    QTest::newRow("six digits") << "009101"
                                << "port must be a number from 1 to 65535";
    QTest::newRow("a sign") << "+9101"
                            << "port must be a number from 1 to 65535";
    QTest::newRow("negative") << "-1"
                              << "port must be a number from 1 to 65535";
    QTest::newRow("not digits") << "91o1"
                                << "port must be a number from 1 to 65535";
    QTest::newRow("a space") << " 9101"
                             << "port must be a number from 1 to 65535";
    QTest::newRow("no port after the address") << "127.0.0.1:"
                                               << "port must be a number from 1 to 65535";
    QTest::newRow("no address before the colon") << ":9101"
                                                 << "0.0.0.0:9101 for every interface";
    QTest::newRow("IPv6 without brackets") << "::1:9101"
                                           << "goes in brackets";
    QTest::newRow("no port after the brackets") << "[::1]"
                                                << "must look like [ADDRESS:]PORT";
    QTest::newRow("no colon after the brackets") << "[::1]9101"
                                                 << "must look like [ADDRESS:]PORT";
    QTest::newRow("brackets not closed") << "[::1:9101"
                                         << "must look like [ADDRESS:]PORT";
    QTest::newRow("IPv4 in brackets") << "[127.0.0.1]:9101"
                                      << "is not an IPv6 address";
    QTest::newRow("localhost in brackets") << "[localhost]:9101"
                                           << "is not an IPv6 address";
    QTest::newRow("empty brackets") << "[]:9101"
                                    << "is not an IPv6 address";
    QTest::newRow("a name to look up") << "example.com:9101"
                                       << "neither a numeric address nor localhost";
    QTest::newRow("a short IPv4 form") << "127.1:9101"
                                       << "neither a numeric address nor localhost";
    QTest::newRow("an IPv4 part too large") << "127.0.0.256:9101"
                                            << "neither a numeric address nor localhost";
}

void TstMetricsText::refusedAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, reason);
    QString error;
    QVERIFY(!ListenAddress::parse(text, error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void TstMetricsText::wholeExposition()
{
    MetricsState state;
    state.lastReading = Reading{1733612345678, 0x2D, 0x00, 2197};
    state.port = QStringLiteral("ttyACM0");
    state.temperatureFresh = true;
    state.boardUp = true;
    state.readings = 1234;
    state.rejectedReplies = 5;
    state.waitingReadings = 7;
    state.version = QStringLiteral("1.00");
    const QByteArray expected =
        "# HELP vantro_temperature_celsius The board's temperature, from its latest reading; left out once "
        "the board has been silent too long.\n"
        "# TYPE vantro_temperature_celsius gauge\n"
        "vantro_temperature_celsius{port=\"ttyACM0\"} 21.97\n"
        "# HELP vantro_last_reading_timestamp_seconds When the latest reading was taken, in seconds since "
        "the "
        "epoch.\n"
        "# TYPE vantro_last_reading_timestamp_seconds gauge\n"
        "vantro_last_reading_timestamp_seconds 1733612345.678\n"
        "# HELP vantro_board_up 1 while the board's port is open and its replies arrive, else 0.\n"
        "# TYPE vantro_board_up gauge\n"
        "vantro_board_up 1\n"
        "# HELP vantro_readings_total Readings taken since the program started.\n"
        "# TYPE vantro_readings_total counter\n"
        "vantro_readings_total 1234\n"
        "# HELP vantro_replies_rejected_total Replies from the board that could not be read as a "
        "temperature.\n"
        "# TYPE vantro_replies_rejected_total counter\n"
        "vantro_replies_rejected_total 5\n"
        "# HELP vantro_mqtt_waiting_readings Readings taken and not yet delivered to the MQTT broker.\n"
        "# TYPE vantro_mqtt_waiting_readings gauge\n"
        "vantro_mqtt_waiting_readings 7\n"
        "# HELP vantro_build_info The program's version, in its label; always 1.\n"
        "# TYPE vantro_build_info gauge\n"
        "vantro_build_info{version=\"1.00\"} 1\n";
    QCOMPARE(metricsText(state), expected);
}

void TstMetricsText::beforeAnyReading()
{
    MetricsState state;
    state.version = QStringLiteral("1.00");
    const QByteArray text = metricsText(state);
    QVERIFY(!text.contains("vantro_temperature_celsius"));
    QVERIFY(!text.contains("vantro_last_reading_timestamp_seconds"));
    QVERIFY(!text.contains("vantro_mqtt_waiting_readings"));
    QVERIFY(text.contains("\nvantro_board_up 0\n"));
    QVERIFY(text.contains("\nvantro_readings_total 0\n"));
    QVERIFY(text.contains("\nvantro_replies_rejected_total 0\n"));
    QVERIFY(text.endsWith("\nvantro_build_info{version=\"1.00\"} 1\n"));
}

void TstMetricsText::temperature_data()
{
    QTest::addColumn<int>("hundredths");
    QTest::addColumn<qint64>("timeMs");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("timestamp");
    QTest::newRow("room") << 2197 << qint64(1733612345678) << QByteArray("21.97")
                          << QByteArray("1733612345.678");
    QTest::newRow("zero") << 0 << qint64(1733612345000) << QByteArray("0.00") << QByteArray("1733612345.000");
    QTest::newRow("below zero") << -550 << qint64(1733612345001) << QByteArray("-5.50")
                                << QByteArray("1733612345.001");
    QTest::newRow("just below zero") << -49 << qint64(1733612345999) << QByteArray("-0.49")
                                     << QByteArray("1733612345.999");
    QTest::newRow("hot") << 12500 << qint64(4102444800123) << QByteArray("125.00")
                         << QByteArray("4102444800.123");
}

void TstMetricsText::temperature()
{
    QFETCH(int, hundredths);
    QFETCH(qint64, timeMs);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, timestamp);
    MetricsState state;
    state.lastReading = Reading{timeMs, 0, 0, hundredths};
    state.port = QStringLiteral("/dev/ttyUSB0");
    state.temperatureFresh = true;
    const QByteArray text = metricsText(state);
    QVERIFY2(text.contains("\nvantro_temperature_celsius{port=\"/dev/ttyUSB0\"} " + value + '\n'), text);
    QVERIFY2(text.contains("\nvantro_last_reading_timestamp_seconds " + timestamp + '\n'), text);
}

void TstMetricsText::staleTemperatureLeftOut()
{
    MetricsState state;
    state.lastReading = Reading{1733612345678, 0, 0, 2197};
    state.port = QStringLiteral("ttyACM0");
    state.temperatureFresh = false;
    const QByteArray text = metricsText(state);
    QVERIFY(!text.contains("vantro_temperature_celsius"));
    // When the board last spoke still says how long it has been silent.
    QVERIFY(text.contains("\nvantro_last_reading_timestamp_seconds 1733612345.678\n"));
}

void TstMetricsText::labelValuesEscaped_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("plain") << "ttyACM0" << QByteArray("ttyACM0");
    QTest::newRow("backslash") << "COM\\3" << QByteArray("COM\\\\3");
    QTest::newRow("double quote") << "a\"b" << QByteArray("a\\\"b");
    QTest::newRow("line feed") << "a\nb" << QByteArray("a\\nb");
    QTest::newRow("all, in a row") << "\\\"\n" << QByteArray("\\\\\\\"\\n");
    QTest::newRow("tab and quote left alone") << "a\t'b" << QByteArray("a\t'b");
    QTest::newRow("UTF-8") << QString::fromUtf8("sonda-cucina-è") << QByteArray("sonda-cucina-\xc3\xa8");
}

void TstMetricsText::labelValuesEscaped()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, escaped);
    QCOMPARE(escapedLabelValue(value), escaped);
    MetricsState state;
    state.lastReading = Reading{1, 0, 0, 100};
    state.port = value;
    state.temperatureFresh = true;
    state.version = value;
    const QByteArray text = metricsText(state);
    QVERIFY(text.contains("vantro_temperature_celsius{port=\"" + escaped + "\"} 1.00\n"));
    QVERIFY(text.contains("vantro_build_info{version=\"" + escaped + "\"} 1\n"));
}

QTEST_GUILESS_MAIN(TstMetricsText)
#include "tst_metrics_text.moc"
