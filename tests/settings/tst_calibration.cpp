#include "protocol/calibration.h"
#include "protocol/reading.h"
#include "settings/calibration_settings.h"
#ifdef Q_OS_WIN
#include "zorva_registry.h"
#endif

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {
const QString NotAnOffset =
    QStringLiteral("\"%1\" is not an offset in degrees (digits 0-9, a point and at most two decimals)");
const QString Beyond = QStringLiteral("\"%1\" is beyond 50 degrees either way");
// Where a person is told to look for the offset.
#ifdef Q_OS_WIN
const QString Offset = QStringLiteral("HKEY_CURRENT_USER\\Software\\ZORVA\\Calibration\\Offset: ");
#else
const QString Offset = QStringLiteral("ZORVA.conf [Calibration] Offset: ");
#endif
} // namespace

// The offset as ZORVA.conf and the command line write it, and as the readings take it; the Trend window's
// test types it in the locale's way and saves it.
class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void offsetAsWritten_data();
    void offsetAsWritten();
    void offsetInTheStore_data();
    void offsetInTheStore();
    void calibratedKeepsTheRawBytes_data();
    void calibratedKeepsTheRawBytes();

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestCalibration::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home->path());
#ifdef Q_OS_WIN
    // Windows keeps the settings in the registry, where no folder of the test's own can hold them.
    clearZorvaRegistry();
#endif
}

void TestCalibration::offsetAsWritten_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("hundredths");
    QTest::addColumn<QString>("mistake"); // %1 stands for the text trimmed
    const QString none;
    QTest::newRow("half") << "0.5" << 50 << none;
    QTest::newRow("two decimals, below") << "-1.25" << -125 << none;
    QTest::newRow("plus") << "+0.3" << 30 << none;
    QTest::newRow("minus zero") << "-0" << 0 << none;
    QTest::newRow("typographic minus") << "\u22121.5" << -150 << none;
    QTest::newRow("spaces around") << " 2.25 " << 225 << none;
    QTest::newRow("largest up") << "50" << 5000 << none;
    QTest::newRow("largest down") << "-50.00" << -5000 << none;
    QTest::newRow("just beyond up") << "50.01" << 0 << Beyond;
    QTest::newRow("just beyond down") << "-50.01" << 0 << Beyond;
    QTest::newRow("far beyond, no overflow") << "99999999999999999999" << 0 << Beyond;
    QTest::newRow("comma") << "1,5" << 0 << NotAnOffset;
    QTest::newRow("third decimal") << "0.125" << 0 << NotAnOffset;
    QTest::newRow("letters") << "abc" << 0 << NotAnOffset;
    QTest::newRow("empty") << "" << 0 << NotAnOffset;
    QTest::newRow("point, no decimals") << "1." << 0 << NotAnOffset;
    QTest::newRow("point, no whole") << ".5" << 0 << NotAnOffset;
    QTest::newRow("two signs") << "+-1" << 0 << NotAnOffset;
    QTest::newRow("a sign alone") << "-" << 0 << NotAnOffset;
    QTest::newRow("two points") << "1.5.0" << 0 << NotAnOffset;
    QTest::newRow("exponent") << "1e1" << 0 << NotAnOffset;
    QTest::newRow("other digits") << "\u0661.5" << 0 << NotAnOffset;
}

void TestCalibration::offsetAsWritten()
{
    QFETCH(QString, text);
    QFETCH(int, hundredths);
    QFETCH(QString, mistake);
    QString said;
    const std::optional<int32_t> offset = CalibrationSettings::parse(text, said);
    QCOMPARE(offset.has_value(), mistake.isEmpty());
    QCOMPARE(offset.value_or(0), hundredths);
    QCOMPARE(said, mistake.isEmpty() ? QString() : mistake.arg(text.trimmed()));
}

void TestCalibration::offsetInTheStore_data()
{
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<int>("hundredths");
    QTest::addColumn<QString>("mistake");
    QTest::newRow("no file") << QByteArray() << 0 << QString();
    QTest::newRow("absent") << QByteArray("[Calibration]\nOther=1\n") << 0 << QString();
    QTest::newRow("empty") << QByteArray("[Calibration]\nOffset=\n") << 0 << QString();
    QTest::newRow("written") << QByteArray("[Calibration]\nOffset=-1.25\n") << -125 << QString();
    QTest::newRow("quoted") << QByteArray("[Calibration]\nOffset=\"+0.3\"\n") << 30 << QString();
    QTest::newRow("a comma") << QByteArray("[Calibration]\nOffset=1,5\n") << 0
                             << Offset + NotAnOffset.arg("1,5") + "; no offset is applied";
    QTest::newRow("absurd") << QByteArray("[Calibration]\nOffset=150\n") << 0
                            << Offset + Beyond.arg("150") + "; no offset is applied";
}

void TestCalibration::offsetInTheStore()
{
    QFETCH(QByteArray, store);
    QFETCH(int, hundredths);
    QFETCH(QString, mistake);
#ifdef Q_OS_WIN
    // The registry keeps a text as it is, with no quotes around it.
    if (store.contains('"'))
        QSKIP("Quotes are ZORVA.conf's, not the registry's");
    writeZorvaRegistry(store);
#else
    if (!store.isEmpty()) {
        QFile file(m_home->filePath(QStringLiteral("ZORVA.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(store);
    }
#endif
    QString said;
    QCOMPARE(CalibrationSettings::offset(said), hundredths);
    QCOMPARE(said, mistake);
}

void TestCalibration::calibratedKeepsTheRawBytes_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("hundredths");
    QTest::newRow("none") << 45 << 0 << 2197;
    QTest::newRow("up") << 45 << 50 << 2247;
    QTest::newRow("below zero") << 1 << -175 << -126;
    QTest::newRow("largest reading, largest offset") << 32767 << 5000 << 1604951;
}

void TestCalibration::calibratedKeepsTheRawBytes()
{
    QFETCH(int, raw);
    QFETCH(int, offset);
    QFETCH(int, hundredths);
    const Reading taken = Reading::fromRaw(1796640000000, int16_t(raw));
    const Reading reading = calibrated(taken, offset);
    QCOMPARE(reading.hundredths, hundredths);
    QCOMPARE(reading.timeMs, taken.timeMs);
    QCOMPARE(reading.raw(), taken.raw());
}

QTEST_GUILESS_MAIN(TestCalibration)
#include "tst_calibration.moc"
