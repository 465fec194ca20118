#include "alert/alert_watch.h"
#ifdef Q_OS_WIN
#include "zorva_registry.h"
#endif

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {
// Where a person is told to look for a limit.
#ifdef Q_OS_WIN
const QString High = QStringLiteral("HKEY_CURRENT_USER\\Software\\ZORVA\\Alerts\\High: ");
const QString Low = QStringLiteral("HKEY_CURRENT_USER\\Software\\ZORVA\\Alerts\\Low: ");
#else
const QString High = QStringLiteral("ZORVA.conf [Alerts] High: ");
const QString Low = QStringLiteral("ZORVA.conf [Alerts] Low: ");
#endif
} // namespace

Q_DECLARE_METATYPE(AlertLimits)

// When an alert is raised and when it is not: once per crossing, again only past the hysteresis.
class TstAlertWatch final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void crossings_data();
    void crossings();
    void limitsInTheFile_data();
    void limitsInTheFile();
    void limitsAsAPersonWritesThem_data();
    void limitsAsAPersonWritesThem();
    void mistakesInTheFileAreSaid_data();
    void mistakesInTheFileAreSaid();

private:
    QTemporaryDir m_home;
};

void TstAlertWatch::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", m_home.path().toLocal8Bit());
}

void TstAlertWatch::crossings_data()
{
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QList<int>>("temperatures"); // hundredths
    QTest::addColumn<QString>("said");            // H high, L low, B back within limits
    QTest::newRow("inside: nothing") << "30"
                                     << "10" << QList<int>{2000, 2999, 3000, 1000} << "";
    QTest::newRow("above once, however long") << "30"
                                              << "" << QList<int>{2900, 3001, 3100, 3200} << "H";
    QTest::newRow("noise at the limit alerts once") << "30"
                                                    << "" << QList<int>{3001, 2990, 3001, 2960, 3010} << "H";
    QTest::newRow("back by the hysteresis, then again") << "30"
                                                        << "" << QList<int>{3001, 2950, 2990, 3001} << "HBH";
    QTest::newRow("back needs the full 0.5 degree") << "30"
                                                    << "" << QList<int>{3100, 2951, 2951} << "H";
    QTest::newRow("low, mirrored") << ""
                                   << "10" << QList<int>{999, 1049, 1050, 1000, 990} << "LBL";
    QTest::newRow("straight from high to low") << "30"
                                               << "10" << QList<int>{3500, 500, 2000} << "HLB";
    QTest::newRow("both off") << ""
                              << "" << QList<int>{-5000, 9000} << "";
    QTest::newRow("below zero") << "-5"
                                << "-20" << QList<int>{-600, -400, -2100, -1960} << "HL";
}

void TstAlertWatch::crossings()
{
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(QList<int>, temperatures);
    const QString dot = QStringLiteral(".");
    AlertWatch watch;
    watch.setLimits({AlertLimits::parse(high, dot), AlertLimits::parse(low, dot)});
    QString said;
    connect(&watch, &AlertWatch::alerted, this,
            [&said](const AlertEvent &event) { said += QStringLiteral("HLB").at(int(event.kind)); });
    for (int t : temperatures)
        watch.check(Reading{0, 0, 0, t});
    QTEST(said, "said");
}

void TstAlertWatch::limitsInTheFile_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QVariant>("hundredths"); // invalid: off
    QTest::newRow("dot") << "38.5" << QVariant(3850);
    QTest::newRow("negative") << "-2.25" << QVariant(-225);
    QTest::newRow("whole") << "40" << QVariant(4000);
    QTest::newRow("empty is off") << "" << QVariant();
    QTest::newRow("a comma as the decimal") << "38,5" << QVariant(3850);
    QTest::newRow("not a number") << "hot" << QVariant();
}

void TstAlertWatch::limitsInTheFile()
{
    QFETCH(QString, written);
    QFETCH(QVariant, hundredths);
#ifdef Q_OS_WIN
    const auto store = zorvaRegistry();
#else
    const auto store = std::make_unique<QSettings>(QStringLiteral("ZORVA"));
#endif
    store->setValue(QStringLiteral("Alerts/High"), written);
    store->sync();
    const AlertLimits loaded = AlertLimits::load();
    QCOMPARE(loaded.high.has_value(), hundredths.isValid());
    if (loaded.high)
        QCOMPARE(*loaded.high, hundredths.toInt());
    QVERIFY(!loaded.low);
    // Saved with a "." in any locale (this test runs in Italian), and read back the same.
    loaded.save();
    QCOMPARE(AlertLimits::load(), loaded);
    store->sync();
    QVERIFY(!store->value(QStringLiteral("Alerts/High")).toString().contains(u','));
}

void TstAlertWatch::limitsAsAPersonWritesThem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("decimalPoint");
    QTest::addColumn<QVariant>("hundredths"); // invalid: off
    QTest::addColumn<QString>("mistake");     // empty: taken
    const QString notATemperature =
        QStringLiteral("is not a temperature (digits 0-9 with one point or comma)");
    const QString beyond = QStringLiteral("is beyond 10000 degrees");
    const auto taken = [](const char *name, const QString &text, const char *point, int hundredths) {
        QTest::newRow(name) << text << QString::fromUtf8(point) << QVariant(hundredths) << QString();
    };
    const auto refused = [](const char *name, const QString &text, const QString &why) {
        QTest::newRow(name) << text << QStringLiteral(".") << QVariant()
                            << (u'"' + text.trimmed() + u'"' + u' ' + why);
    };
    taken("point", QStringLiteral("38.5"), ".", 3850);
    taken("comma", QStringLiteral("1,5"), ".", 150);
    taken("the locale's comma", QStringLiteral("30,5"), ",", 3050);
    taken("a point in a comma locale", QStringLiteral("30.5"), ",", 3050);
    taken("another locale's separator", QStringLiteral("30\u066B5"), "\u066B", 3050);
    taken("blanks and a plus", QStringLiteral(" +7 "), ".", 700);
    taken("typographic minus", QStringLiteral("\u22125"), ".", -500);
    taken("no whole digits", QStringLiteral(".5"), ".", 50);
    taken("no decimals", QStringLiteral("-5."), ".", -500);
    taken("third decimal rounds up", QStringLiteral("21.975"), ".", 2198);
    taken("third decimal rounds down", QStringLiteral("21.974"), ".", 2197);
    taken("away from zero below it", QStringLiteral("-21.975"), ".", -2198);
    taken("largest", QStringLiteral("10000"), ".", 1000000);
    taken("lowest", QStringLiteral("-10000.00"), ".", -1000000);
    QTest::newRow("empty is off") << QStringLiteral("  ") << QStringLiteral(".") << QVariant() << QString();
    refused("nan", QStringLiteral("nan"), notATemperature);
    refused("inf", QStringLiteral("inf"), notATemperature);
    refused("minus inf", QStringLiteral("-inf"), notATemperature);
    refused("exponent", QStringLiteral("1e308"), notATemperature);
    refused("full-width digits", QStringLiteral("\uFF13\uFF10"), notATemperature);
    refused("two separators", QStringLiteral("1.000,5"), notATemperature);
    refused("a sign alone", QStringLiteral("-"), notATemperature);
    refused("a point alone", QStringLiteral("."), notATemperature);
    refused("two signs", QStringLiteral("+-1"), notATemperature);
    refused("with its unit", QStringLiteral("30 \u00B0C"), notATemperature);
    refused("hexadecimal", QStringLiteral("0x10"), notATemperature);
    refused("just past the largest", QStringLiteral("10000.01"), beyond);
    refused("past the lowest by rounding", QStringLiteral("-10000.005"), beyond);
    refused("huge", QStringLiteral("99999999999999999999"), beyond);
}

void TstAlertWatch::limitsAsAPersonWritesThem()
{
    QFETCH(QString, text);
    QFETCH(QString, decimalPoint);
    QFETCH(QVariant, hundredths);
    QFETCH(QString, mistake);
    std::optional<int32_t> limit = 1234; // what was there before
    QString said;
    QCOMPARE(AlertLimits::read(text, decimalPoint, limit, said), mistake.isEmpty());
    QCOMPARE(said, mistake);
    if (!mistake.isEmpty())
        QCOMPARE(limit, std::optional<int32_t>(1234));
    else if (hundredths.isValid())
        QCOMPARE(limit, std::optional<int32_t>(hundredths.toInt()));
    else
        QVERIFY(!limit);
}

void TstAlertWatch::mistakesInTheFileAreSaid_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<AlertLimits>("limits");
    QTest::addColumn<QString>("highMistake");
    QTest::addColumn<QString>("lowMistake");
    QTest::newRow("a comma, unquoted")
        << QByteArray("[Alerts]\nHigh=1,5\nLow=-2,25\n") << AlertLimits{150, -225} << QString() << QString();
    QTest::newRow("not a number")
        << QByteArray("[Alerts]\nHigh=nan\nLow=10\n") << AlertLimits{std::nullopt, 1000}
        << High + "\"nan\" is not a temperature (digits 0-9 with one point or comma); the high "
                  "limit is off"
        << QString();
    QTest::newRow("too large")
        << QByteArray("[Alerts]\nHigh=30\nLow=-1e308\n") << AlertLimits{3000, std::nullopt} << QString()
        << Low + "\"-1e308\" is not a temperature (digits 0-9 with one point or comma); the low "
                 "limit is off";
    QTest::newRow("low above high") << QByteArray("[Alerts]\nHigh=20\nLow=30.5\n") << AlertLimits{}
                                    << QString() << Low + "30.50 is above High, 20.00; both limits are off";
    QTest::newRow("low equal to high")
        << QByteArray("[Alerts]\nHigh=20\nLow=20\n") << AlertLimits{2000, 2000} << QString() << QString();
}

void TstAlertWatch::mistakesInTheFileAreSaid()
{
    QFETCH(QByteArray, file);
#ifdef Q_OS_WIN
    writeZorvaRegistry(file);
#else
    QFile store(m_home.filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(store.open(QIODevice::WriteOnly) && store.write(file) == file.size());
    store.close();
#endif
    AlertLimitMistakes mistakes;
    QTEST(AlertLimits::load(mistakes), "limits");
    QTEST(mistakes.high, "highMistake");
    QTEST(mistakes.low, "lowMistake");
}

QTEST_GUILESS_MAIN(TstAlertWatch)
#include "tst_alert_watch.moc"
