#include "local_influxdb.h"
#include "protocol/calibration.h"
#include "protocol/reading.h"
#include "protocol/reading_influx.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <memory>

namespace {
constexpr qint64 Time = 1765106553456; // 2025-12-07T11:22:33.456Z

Reading offBy(int16_t raw, int32_t offset, qint64 timeMs = Time)
{
    return calibrated(Reading::fromRaw(timeMs, raw), offset);
}
} // namespace

// Runs under LC_ALL=it_IT.UTF-8: the temperature keeps its point where the user's locale writes a comma.
class TestReadingInflux : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void escapedTag_data();
    void escapedTag();
    void aRealInfluxDbKeepsWhatIsWritten_data();
    void aRealInfluxDbKeepsWhatIsWritten();

private:
    std::unique_ptr<LocalInfluxDb> m_server;
};

void TestReadingInflux::line_data()
{
    QTest::addColumn<Reading>("reading");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("room temperature")
        << Reading::fromRaw(Time, 45) << "ttyACM0"
        << QByteArray("vantro_temperature,port=ttyACM0 celsius=21.97,low=45i,high=0i 1765106553456000000\n");
    QTest::newRow("a device path") << Reading::fromRaw(Time + 1, 32) << "/dev/ttyUSB0"
                                   << QByteArray(
                                          "vantro_temperature,port=ttyUSB0 celsius=15.63,low=32i,high=0i "
                                          "1765106553457000000\n");
    QTest::newRow("a by-id path with a slash after it")
        << Reading::fromRaw(Time, 0) << "/dev/serial/by-id/usb-ZORVA_Board-if00/"
        << QByteArray("vantro_temperature,port=usb-ZORVA_Board-if00 celsius=0.00,low=0i,high=0i "
                      "1765106553456000000\n");
    QTest::newRow("largest reading") << Reading::fromRaw(Time, 32767) << "ttyACM0"
                                     << QByteArray(
                                            "vantro_temperature,port=ttyACM0 celsius=15999.51,low=255i,"
                                            "high=127i 1765106553456000000\n");
    QTest::newRow("just below zero") << offBy(0, -5) << "ttyACM0"
                                     << QByteArray(
                                            "vantro_temperature,port=ttyACM0 celsius=-0.05,low=0i,high=0i "
                                            "1765106553456000000\n");
    QTest::newRow("below zero, raw bytes kept")
        << offBy(1, -175) << "ttyACM0"
        << QByteArray("vantro_temperature,port=ttyACM0 celsius=-1.26,low=1i,high=0i 1765106553456000000\n");
    QTest::newRow("a port to escape")
        << Reading::fromRaw(Time, 45) << "/dev/my board,2=b"
        << QByteArray("vantro_temperature,port=my\\ board\\,2\\=b celsius=21.97,"
                      "low=45i,high=0i 1765106553456000000\n");
    QTest::newRow("no port: no tag")
        << Reading::fromRaw(Time, 45) << ""
        << QByteArray("vantro_temperature celsius=21.97,low=45i,high=0i 1765106553456000000\n");
    QTest::newRow("only slashes: no tag")
        << Reading::fromRaw(Time, 45) << "//"
        << QByteArray("vantro_temperature celsius=21.97,low=45i,high=0i 1765106553456000000\n");
}

void TestReadingInflux::line()
{
    QFETCH(Reading, reading);
    QFETCH(QString, port);
    QFETCH(QByteArray, line);
    QCOMPARE(ReadingInflux::line(reading, port), line);
}

void TestReadingInflux::escapedTag_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("plain") << "ttyACM0" << QByteArray("ttyACM0");
    QTest::newRow("space") << "a b" << QByteArray("a\\ b");
    QTest::newRow("comma") << "a,b" << QByteArray("a\\,b");
    QTest::newRow("equals") << "a=b" << QByteArray("a\\=b");
    QTest::newRow("leading and trailing space") << " a " << QByteArray("\\ a\\ ");
    QTest::newRow("a backslash as it is") << "a\\b" << QByteArray("a\\b");
    QTest::newRow("a backslash before a comma") << "a\\,b" << QByteArray("a\\\\,b");
    QTest::newRow("a backslash at the end") << "a\\\\" << QByteArray("a\\_");
    QTest::newRow("line breaks") << "a\nb\r\n" << QByteArray("a_b__");
    QTest::newRow("not ASCII") << "tty\u00E8\u20AC" << QByteArray("tty\xC3\xA8\xE2\x82\xAC");
}

void TestReadingInflux::escapedTag()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, escaped);
    QCOMPARE(ReadingInflux::escapedTag(value), escaped);
}

void TestReadingInflux::aRealInfluxDbKeepsWhatIsWritten_data()
{
    QTest::addColumn<Reading>("reading");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QJsonValue>("tag"); // as InfluxDB keeps it; null for none
    // Each at a time of its own, some of them a nanosecond-exact millisecond apart.
    QTest::newRow("plain") << Reading::fromRaw(Time, 45) << "ttyACM0" << QJsonValue("ttyACM0");
    QTest::newRow("a device path") << Reading::fromRaw(Time + 1, 32767) << "/dev/ttyUSB0"
                                   << QJsonValue("ttyUSB0");
    QTest::newRow("space, comma, equals")
        << offBy(0, -125, Time + 2) << "/dev/my board,2=b" << QJsonValue("my board,2=b");
    QTest::newRow("escapes at the ends") << offBy(0, -5, Time + 3) << " a, " << QJsonValue(" a, ");
    QTest::newRow("backslashes") << Reading::fromRaw(Time + 4, 50) << "a\\b\\,c\\ d"
                                 << QJsonValue("a\\b\\,c\\ d");
    QTest::newRow("a backslash at the end") << Reading::fromRaw(Time + 5, 50) << "a\\" << QJsonValue("a_");
    QTest::newRow("a line break") << Reading::fromRaw(Time + 6, 50) << "a\nb" << QJsonValue("a_b");
    QTest::newRow("no port") << Reading::fromRaw(Time + 7, 50) << "" << QJsonValue();
    QTest::newRow("in 2000") << Reading::fromRaw(946684800123, 1) << "ttyACM0" << QJsonValue("ttyACM0");
}

// The lines as Debian's InfluxDB takes them through its HTTP API, and its own answer to a query.
void TestReadingInflux::aRealInfluxDbKeepsWhatIsWritten()
{
    QFETCH(Reading, reading);
    QFETCH(QString, port);
    QFETCH(QJsonValue, tag);
    if (!LocalInfluxDb::available())
        QSKIP("influxd is not installed: Debian's influxdb package brings it (scripts/install-deps.sh)");
    if (!m_server) {
        m_server = std::make_unique<LocalInfluxDb>();
        QVERIFY2(m_server->start(), m_server->log().constData());
        QVERIFY(!m_server->query({}, QStringLiteral("CREATE DATABASE vantro")).isEmpty());
    }
    const QString written = m_server->write(QStringLiteral("vantro"), ReadingInflux::line(reading, port));
    QVERIFY2(written.isEmpty(), qPrintable(written));

    const qint64 ns = reading.timeMs * 1000000;
    const QByteArray answer = m_server->query(
        QStringLiteral("vantro"),
        QStringLiteral("SELECT celsius, low, high, port FROM vantro_temperature WHERE time = %1").arg(ns));
    const QJsonArray values = QJsonDocument::fromJson(answer)["results"][0]["series"][0]["values"].toArray();
    QVERIFY2(values.size() == 1, answer.constData());
    const QJsonArray point = values.first().toArray();
    QCOMPARE(point[0].toInteger(), ns);
    QCOMPARE(qRound(point[1].toDouble() * 100), reading.hundredths);
    QCOMPARE(point[2].toInteger(), reading.low);
    QCOMPARE(point[3].toInteger(), reading.high);
    QCOMPARE(point[4], tag);
}

QTEST_GUILESS_MAIN(TestReadingInflux)
#include "tst_reading_influx.moc"
