#include "alert/alert_watch.h"

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

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
    QTest::newRow("a comma is not the file's decimal") << "38,5" << QVariant();
    QTest::newRow("not a number") << "hot" << QVariant();
}

void TstAlertWatch::limitsInTheFile()
{
    QFETCH(QString, written);
    QFETCH(QVariant, hundredths);
    QSettings(QStringLiteral("ZORVA")).setValue(QStringLiteral("Alerts/High"), written);
    const AlertLimits loaded = AlertLimits::load();
    QCOMPARE(loaded.high.has_value(), hundredths.isValid());
    if (loaded.high)
        QCOMPARE(*loaded.high, hundredths.toInt());
    QVERIFY(!loaded.low);
    // Saved with a "." in any locale (this test runs in Italian), and read back the same.
    loaded.save();
    QCOMPARE(AlertLimits::load(), loaded);
    QVERIFY(
        !QSettings(QStringLiteral("ZORVA")).value(QStringLiteral("Alerts/High")).toString().contains(u','));
}

QTEST_GUILESS_MAIN(TstAlertWatch)
#include "tst_alert_watch.moc"
