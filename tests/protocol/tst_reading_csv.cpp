#include "protocol/reading.h"
#include "protocol/reading_csv.h"

#include <QtTest/QtTest>

// Runs under TZ=Europe/Rome and LC_ALL=it_IT.UTF-8: local times with their offsets, across the change from
// summer time, and a "." in the temperature although the user's locale writes a comma.
class TestReadingCsv : public QObject
{
    Q_OBJECT

private slots:
    void lineAndDay_data();
    void lineAndDay();
    void calibratedLinesKeepTheirTemperature_data();
    void calibratedLinesKeepTheirTemperature();
    void damagedLinesAreRejected_data();
    void damagedLinesAreRejected();
    void portStem_data();
    void portStem();
};

void TestReadingCsv::lineAndDay_data()
{
    QTest::addColumn<qint64>("utcMs");
    QTest::addColumn<int>("raw");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("file");

    const auto utc = [](const char *iso) {
        return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toMSecsSinceEpoch();
    };
    QTest::newRow("winter") << utc("2026-12-07T10:22:33.456Z") << 45
                            << "2026-12-07T11:22:33.456+01:00,21.97,45,0"
                            << "2026-12-07_ttyACM0.csv";
    // Each line read right after one that shares all of its date but a part.
    QTest::newRow("a month before") << utc("2026-11-07T10:22:33.456Z") << 45
                                    << "2026-11-07T11:22:33.456+01:00,21.97,45,0"
                                    << "2026-11-07_ttyACM0.csv";
    QTest::newRow("a year before") << utc("2025-11-07T10:22:33.456Z") << 45
                                   << "2025-11-07T11:22:33.456+01:00,21.97,45,0"
                                   << "2025-11-07_ttyACM0.csv";
    QTest::newRow("summer") << utc("2026-07-01T10:00:00.000Z") << 32
                            << "2026-07-01T12:00:00.000+02:00,15.63,32,0"
                            << "2026-07-01_ttyACM0.csv";
    // 02:30 happens twice on the night summer time ends; the offset tells the two apart.
    QTest::newRow("first 02:30") << utc("2026-10-25T00:30:00.000Z") << 1023
                                 << "2026-10-25T02:30:00.000+02:00,499.51,255,3"
                                 << "2026-10-25_ttyACM0.csv";
    QTest::newRow("second 02:30") << utc("2026-10-25T01:30:00.000Z") << 0
                                  << "2026-10-25T02:30:00.000+01:00,0.00,0,0"
                                  << "2026-10-25_ttyACM0.csv";
    QTest::newRow("last ms of a day")
        << utc("2026-12-07T22:59:59.999Z") << 50 << "2026-12-07T23:59:59.999+01:00,24.41,50,0"
        << "2026-12-07_ttyACM0.csv";
    QTest::newRow("local midnight") << utc("2026-12-07T23:00:00.000Z") << 32767
                                    << "2026-12-08T00:00:00.000+01:00,15999.51,255,127"
                                    << "2026-12-08_ttyACM0.csv";
}

void TestReadingCsv::lineAndDay()
{
    QFETCH(qint64, utcMs);
    QFETCH(int, raw);
    QFETCH(QString, line);
    QFETCH(QString, file);

    const Reading reading = Reading::fromRaw(utcMs, int16_t(raw));
    char out[ReadingCsv::LineCapacity];
    int day = 0;
    const int n = ReadingCsv::formatLine(reading, out, day);
    QCOMPARE(QString::fromLatin1(out, n), line + QLatin1Char('\n'));
    QCOMPARE(ReadingCsv::fileName(day, QStringLiteral("/dev/ttyACM0")), file);

    // What is written reads back as the same instant and bytes.
    const auto row = ReadingCsv::parseLine(out, out + n - 1);
    QVERIFY(row);
    QCOMPARE(row->timeMs, utcMs);
    QCOMPARE(row->raw, int16_t(raw));
    QCOMPARE(row->hundredths, reading.hundredths);
}

// A line recorded under a calibration offset reads back with its own temperature, as far as 50 degrees from
// the one its raw bytes give.
void TestReadingCsv::calibratedLinesKeepTheirTemperature_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("celsius");
    QTest::newRow("half a degree up") << 45 << 50 << QByteArray("22.47");
    QTest::newRow("below zero") << 0 << -125 << QByteArray("-1.25");
    QTest::newRow("just below zero") << 0 << -5 << QByteArray("-0.05");
    QTest::newRow("largest offset up") << 45 << 5000 << QByteArray("71.97");
    QTest::newRow("largest offset down") << 45 << -5000 << QByteArray("-28.03");
    QTest::newRow("largest reading, largest offset") << 32767 << 5000 << QByteArray("16049.51");
}

void TestReadingCsv::calibratedLinesKeepTheirTemperature()
{
    QFETCH(int, raw);
    QFETCH(int, offset);
    QFETCH(QByteArray, celsius);
    Reading reading = Reading::fromRaw(1796640000000, int16_t(raw));
    reading.hundredths += offset;
    const QByteArray line = ReadingCsv::line(reading).trimmed();
    QCOMPARE(line.split(',').at(1), celsius);
    const auto row = ReadingCsv::parseLine(line.constBegin(), line.constEnd());
    QVERIFY(row);
    QCOMPARE(row->timeMs, reading.timeMs);
    QCOMPARE(row->raw, int16_t(raw));
    QCOMPARE(row->hundredths, reading.hundredths);
}

void TestReadingCsv::damagedLinesAreRejected_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("garbage") << QByteArray("\x16\x05\x32\x00!garbage", 13);
    QTest::newRow("NUL bytes") << QByteArray("2026-12-07T11:22:33.456+01:00,21.97,45,0\0\0", 42);
    QTest::newRow("a column short") << QByteArray("2026-12-07T11:22:33.456+01:00,21.97,45");
    QTest::newRow("a column more") << QByteArray("2026-12-07T11:22:33.456+01:00,21.97,45,0,7");
    QTest::newRow("cut in the time") << QByteArray("2026-12-07T11:22:3");
    QTest::newRow("two lines merged")
        << QByteArray("2026-12-07T11:22:33.456+01:00,21.972026-12-07T11:22:34.456+01:00,21.97,45,0");
    // 21.97 degrees by its bytes: no offset of 50 degrees or less makes it these.
    QTest::newRow("celsius disagrees with its bytes, above")
        << QByteArray("2026-12-07T11:22:33.456+01:00,71.98,45,0");
    QTest::newRow("celsius disagrees with its bytes, below")
        << QByteArray("2026-12-07T11:22:33.456+01:00,-28.04,45,0");
    QTest::newRow("a plus sign") << QByteArray("2026-12-07T11:22:33.456+01:00,+21.97,45,0");
    QTest::newRow("two minus signs") << QByteArray("2026-12-07T11:22:33.456+01:00,--1.25,0,0");
    QTest::newRow("a minus alone") << QByteArray("2026-12-07T11:22:33.456+01:00,-.25,0,0");
    QTest::newRow("decimal comma") << QByteArray("2026-12-07T11:22:33.456+01:00,21,97,45,0");
    QTest::newRow("high byte of no reading") << QByteArray("2026-12-07T11:22:33.456+01:00,0.00,0,128");
    QTest::newRow("month 13") << QByteArray("2026-13-07T11:22:33.456+01:00,21.97,45,0");
    QTest::newRow("the header") << QByteArray("time,celsius,low,high");
    QTest::newRow("a megabyte") << QByteArray("2026-12-07T11:22:33.456+01:00,21.97,45,0") +
                                       QByteArray(1 << 20, '7');
}

void TestReadingCsv::damagedLinesAreRejected()
{
    QFETCH(QByteArray, line);
    QVERIFY(!ReadingCsv::parseLine(line.constData(), line.constData() + line.size()));
}

void TestReadingCsv::portStem_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("stem");
    QTest::newRow("bare") << "COM1"
                          << "COM1";
    QTest::newRow("device") << "/dev/ttyUSB0"
                            << "ttyUSB0";
    QTest::newRow("by-id") << "/dev/serial/by-id/usb-ZORVA Board:1.0-if00"
                           << "usb-ZORVA_Board_1.0-if00";
    QTest::newRow("not ASCII") << "tty\u00E8\u20AC"
                               << "tty__";
}

void TestReadingCsv::portStem()
{
    QFETCH(QString, port);
    QFETCH(QString, stem);
    QCOMPARE(ReadingCsv::portStem(port), stem);
}

QTEST_GUILESS_MAIN(TestReadingCsv)
#include "tst_reading_csv.moc"
