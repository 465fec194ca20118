#include "protocol/temperature_text.h"

#include <QtTest/QtTest>

#include <cmath>
#include <limits>

namespace {
// An independent reading of the "0.00" pattern: the value in hundredths is exact in double,
// and std::round rounds halves away from zero.
QString expectedText(int raw, const QString &point)
{
    const auto hundredths = qint64(std::round(raw * 500.0 / 1024.0 * 100.0));
    return QStringLiteral("%1%2%3")
        .arg(hundredths / 100)
        .arg(point)
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}
} // namespace

class TestTemperatureText : public QObject
{
    Q_OBJECT

private slots:
    void knownReadings_data();
    void knownReadings();
    void everyRawValue_data();
    void everyRawValue();
    void separatorComesFromTheLocale();
};

void TestTemperatureText::knownReadings_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0 << "."
                          << "0.00";
    QTest::newRow("one step") << 1 << "."
                              << "0.49";
    QTest::newRow("exact tie rounds up") << 32 << "."
                                         << "15.63";
    QTest::newRow("room temperature") << 50 << "."
                                      << "24.41";
    QTest::newRow("room temperature, comma") << 50 << ","
                                             << "24,41";
    QTest::newRow("hundred degrees") << 205 << "."
                                     << "100.10";
    QTest::newRow("10-bit top") << 1023 << "."
                                << "499.51";
    QTest::newRow("largest, no grouping") << 32767 << ","
                                          << "15999,51";
}

void TestTemperatureText::knownReadings()
{
    QFETCH(int, raw);
    QFETCH(QString, point);
    QFETCH(QString, text);
    QCOMPARE(temperatureText(int16_t(raw), point), text);
}

void TestTemperatureText::everyRawValue_data()
{
    QTest::addColumn<QString>("point");
    QTest::newRow("point") << ".";
    QTest::newRow("comma") << ",";
}

void TestTemperatureText::everyRawValue()
{
    QFETCH(QString, point);
    for (int raw = 0; raw <= std::numeric_limits<int16_t>::max(); ++raw) {
        const QString text = temperatureText(int16_t(raw), point);
        if (text != expectedText(raw, point))
            QFAIL(qPrintable(QStringLiteral("raw %1 shows %2").arg(raw).arg(text)));
    }
}

void TestTemperatureText::separatorComesFromTheLocale()
{
    // This test runs under LC_ALL=C.UTF-8; the reply test runs under an Italian locale.
    QCOMPARE(localeDecimalPoint(), QStringLiteral("."));
}

QTEST_GUILESS_MAIN(TestTemperatureText)
#include "tst_temperature_text.moc"
