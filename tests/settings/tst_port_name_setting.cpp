#include "settings/port_name_setting.h"

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {
bool writeDamagedFile(QFile &file)
{
    const QByteArray damaged("\x00\xFF[[[\n=\n\x01\x02", 10);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size();
    file.close();
    return written;
}
} // namespace

class TestPortNameSetting : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstRunGivesCom1();
    void namesRoundTripExactly_data();
    void namesRoundTripExactly();
    void storedUnderZorvaSensoreTemp();
    void systemWideFileIsIgnored();
    void corruptFileGivesTheDefault();
    void unwritableStoreSaysSo();
    void memReplacesACorruptFile();
    void storeThatIsAFolder();

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestPortNameSetting::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home->path());
}

void TestPortNameSetting::firstRunGivesCom1()
{
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
    QCOMPARE(PortNameSetting::fileName(), m_home->filePath(QStringLiteral("ZORVA.conf")));
}

void TestPortNameSetting::namesRoundTripExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "COM3";
    QTest::newRow("device path") << "/dev/ttyACM0";
    QTest::newRow("empty stays empty") << "";
    QTest::newRow("spaces around") << "  ttyUSB0 ";
    QTest::newRow("ini punctuation") << "a=b;c#d [e] \\f";
    QTest::newRow("quotes") << "\"COM1\" 'x'";
    QTest::newRow("non-ASCII") << QStringLiteral("porta-\u00E8-\u6E29\u5EA6");
    QTest::newRow("comma list look-alike") << "a, b, c";
}

void TestPortNameSetting::namesRoundTripExactly()
{
    QFETCH(QString, name);
    QString failure;
    QVERIFY(PortNameSetting::save(QStringLiteral("something else"), failure));
    QVERIFY2(PortNameSetting::save(name, failure), qPrintable(failure));
    QCOMPARE(PortNameSetting::load(), name);
}

void TestPortNameSetting::storedUnderZorvaSensoreTemp()
{
    QString failure;
    QVERIFY(PortNameSetting::save(QStringLiteral("ttyACM0"), failure));
    QFile file(m_home->filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.contains(QStringLiteral("[SENSORE_TEMP]\nTCOM=ttyACM0")), qPrintable(text));
}

void TestPortNameSetting::systemWideFileIsIgnored()
{
    QTemporaryDir system;
    QFile file(system.filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[SENSORE_TEMP]\nTCOM=from-the-system\n");
    file.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system.path());
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
}

void TestPortNameSetting::corruptFileGivesTheDefault()
{
    QFile file(m_home->filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(writeDamagedFile(file));
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
}

void TestPortNameSetting::unwritableStoreSaysSo()
{
    // A folder that cannot be made, even by root: its parent is a plain file.
    QFile blocker(m_home->filePath(QStringLiteral("not-a-folder")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = m_home->filePath(QStringLiteral("not-a-folder/config"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);

    QString failure;
    QVERIFY(!PortNameSetting::save(QStringLiteral("COM7"), failure));
    QVERIFY2(failure.startsWith(folder + QStringLiteral("/ZORVA.conf: ")), qPrintable(failure));
    QVERIFY(failure.size() > folder.size() + 14);
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));
}

void TestPortNameSetting::memReplacesACorruptFile()
{
    // Saved first thing, before any read: that is when QSettings reports the damage.
    QFile file(m_home->filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(writeDamagedFile(file));

    QString failure;
    QVERIFY2(PortNameSetting::save(QStringLiteral("/dev/ttyACM0"), failure), qPrintable(failure));
    QCOMPARE(PortNameSetting::load(), QStringLiteral("/dev/ttyACM0"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\n[SENSORE_TEMP]\nTCOM=/dev/ttyACM0\n"));
}

void TestPortNameSetting::storeThatIsAFolder()
{
    // Unreadable even by root: the settings file's name is taken by a folder.
    QVERIFY(QDir(m_home->path()).mkdir(QStringLiteral("ZORVA.conf")));
    QCOMPARE(PortNameSetting::load(), QStringLiteral("COM1"));

    QString failure;
    QVERIFY(!PortNameSetting::save(QStringLiteral("COM7"), failure));
    QVERIFY2(failure.startsWith(m_home->filePath(QStringLiteral("ZORVA.conf: "))), qPrintable(failure));
    QVERIFY(QFileInfo(m_home->filePath(QStringLiteral("ZORVA.conf"))).isDir());
}

QTEST_GUILESS_MAIN(TestPortNameSetting)
#include "tst_port_name_setting.moc"
