#include "settings/port_name_setting.h"
#include "settings/zorva_store.h"
#ifdef Q_OS_WIN
#include "zorva_registry.h"
#endif

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

// The remembered port name, where the platform keeps it: ZORVA.conf, or the registry on Windows. How the file
// itself is read and written is tst_zorva_store's; the registry's texts are tst_zorva_registry's.
class TestPortNameSetting : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstRunGivesCom1();
    void namesRoundTripExactly_data();
    void namesRoundTripExactly();

private:
    QString storePath() const;

    std::unique_ptr<QTemporaryDir> m_home;
};

void TestPortNameSetting::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home->path());
#ifdef Q_OS_WIN
    // Windows keeps the settings in the registry, where no folder of the test's own can hold them.
    clearZorvaRegistry();
#endif
}

QString TestPortNameSetting::storePath() const
{
#ifdef Q_OS_WIN
    return zorvaRegistryKey();
#else
    return m_home->filePath(QStringLiteral("ZORVA.conf"));
#endif
}

void TestPortNameSetting::firstRunGivesCom1()
{
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
    QCOMPARE(PortNameSetting::fileName(), storePath());
    QCOMPARE(zorvaStorePath(), storePath());
    QVERIFY(zorvaStoreProblem().isEmpty());
}

void TestPortNameSetting::namesRoundTripExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "COM3";
#ifdef Q_OS_WIN
    QTest::newRow("device path") << "\\\\.\\COM12";
    QTest::newRow("spaces around") << "  COM4 ";
#else
    QTest::newRow("device path") << "/dev/ttyACM0";
    QTest::newRow("spaces around") << "  ttyUSB0 ";
#endif
    QTest::newRow("empty stays empty") << "";
    QTest::newRow("ini punctuation") << "a=b;c#d [e] \\f";
    QTest::newRow("quotes") << "\"COM1\" 'x'";
    QTest::newRow("non-ASCII") << QStringLiteral("porta-\u00E8-\u6E29\u5EA6");
    QTest::newRow("comma list look-alike") << "a, b, c";
    QTest::newRow("QSettings' own escape") << "@Invalid()";
}

void TestPortNameSetting::namesRoundTripExactly()
{
    QFETCH(QString, name);
    QString failure;
    QVERIFY(PortNameSetting::save(QStringLiteral("something else"), failure));
    QVERIFY2(PortNameSetting::save(name, failure), qPrintable(failure));
    QCOMPARE(PortNameSetting::load(), name);
#ifdef Q_OS_WIN
    // Under the same names as in ZORVA.conf: group SENSORE_TEMP, key TCOM.
    QCOMPARE(zorvaRegistry()->value(QStringLiteral("SENSORE_TEMP/TCOM")).toString(), name);
#endif
}

QTEST_GUILESS_MAIN(TestPortNameSetting)
#include "tst_port_name_setting.moc"
