#include "settings/port_name_setting.h"
#include "settings/zorva_store.h"

#include <QtCore/QSettings>
#include <QtTest/QtTest>

// On Windows the settings live in the registry under HKEY_CURRENT_USER\Software\ZORVA, with the names they
// have in ZORVA.conf elsewhere.
namespace {
const QString Key = QStringLiteral("HKEY_CURRENT_USER\\Software\\ZORVA");
} // namespace

class TestZorvaRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstRunGivesCom1();
    void portNameRoundTrip_data();
    void portNameRoundTrip();
    void textsReadAsTheRegistryHasThem();
};

void TestZorvaRegistry::init()
{
    QSettings(Key, QSettings::NativeFormat).clear();
}

void TestZorvaRegistry::firstRunGivesCom1()
{
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
    QCOMPARE(PortNameSetting::fileName(), Key);
    QCOMPARE(zorvaStorePath(), Key);
    QVERIFY(zorvaStoreProblem().isEmpty());
}

void TestZorvaRegistry::portNameRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "COM3";
    QTest::newRow("device path") << "\\\\.\\COM12";
    QTest::newRow("empty stays empty") << "";
    QTest::newRow("spaces around") << "  COM4 ";
    QTest::newRow("ini punctuation") << "a=b;c#d [e] \\f";
    QTest::newRow("quotes") << "\"COM1\" 'x'";
    QTest::newRow("non-ASCII") << QStringLiteral("porta-\u00E8-\u6E29\u5EA6");
    QTest::newRow("comma list look-alike") << "a, b, c";
    QTest::newRow("QSettings' own escape") << "@Invalid()";
}

void TestZorvaRegistry::portNameRoundTrip()
{
    QFETCH(QString, name);
    QString failure;
    QVERIFY(PortNameSetting::save(QStringLiteral("something else"), failure));
    QVERIFY2(PortNameSetting::save(name, failure), qPrintable(failure));
    QCOMPARE(PortNameSetting::load(), name);
    // Under the same names as in ZORVA.conf: group SENSORE_TEMP, key TCOM.
    QCOMPARE(QSettings(Key + QStringLiteral("\\SENSORE_TEMP"), QSettings::NativeFormat)
                 .value(QStringLiteral("TCOM"))
                 .toString(),
             name);
}

void TestZorvaRegistry::textsReadAsTheRegistryHasThem()
{
    QSettings store(Key, QSettings::NativeFormat);
    store.setValue(QStringLiteral("Recording/Folder"), QStringLiteral("C:\\data\\a,b;c"));
    store.sync();
    QCOMPARE(zorvaText(QStringLiteral("Recording"), QStringLiteral("Folder")),
             QStringLiteral("C:\\data\\a,b;c"));
    QCOMPARE(zorvaText(QStringLiteral("Recording"), QStringLiteral("Missing"), QStringLiteral("none")),
             QStringLiteral("none"));
    QCOMPARE(zorvaText(QStringLiteral("Elsewhere"), QStringLiteral("Folder")), QString());
}

QTEST_GUILESS_MAIN(TestZorvaRegistry)
#include "tst_zorva_registry.moc"
