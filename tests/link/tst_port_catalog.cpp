#include "link/port_catalog.h"

#include <QtTest/QtTest>

#ifdef Q_OS_WIN
#include <windows.h>

namespace {
const wchar_t *const SerialComm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Says in the registry, as a serial driver does, that the port `name` is there; false where it may not.
bool registerSerialComm(const wchar_t *device, const QString &name)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SerialComm, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG set = RegSetValueExW(key, device, 0, REG_SZ, reinterpret_cast<const BYTE *>(name.utf16()),
                                    DWORD((name.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

void unregisterSerialComm(const wchar_t *device)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SerialComm, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, device);
    RegCloseKey(key);
}

QStringList names(const QList<PresentPort> &ports)
{
    QStringList listed;
    for (const PresentPort &port : ports)
        listed << port.name;
    return listed;
}
} // namespace
#endif

class TestPortCatalog : public QObject
{
    Q_OBJECT

private slots:
    void likelyBoard_data();
    void likelyBoard();
    void listLineHasEveryField();
#ifdef Q_OS_WIN
    void listsThePortsTheDriversRegistered();
    void aListedPortExists();
#endif
};

void TestPortCatalog::likelyBoard_data()
{
    QTest::addColumn<QList<PresentPort>>("present");
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("likely");
#ifdef Q_OS_WIN
    const PresentPort board{"COM3", "\\\\.\\COM3", {}, "USB Serial Device", "ZORVA", "1", true};
    const PresentPort ftdi{"COM12", "\\\\.\\COM12", {}, "USB Serial Port", "FTDI", "A1", true};
    const PresentPort legacy{"COM1", "\\\\.\\COM1", {}, "Communications Port", {}, {}, false};
    QTest::newRow("one USB port, the named one absent") << QList{board, legacy} << "COM7"
                                                        << "COM3";
    QTest::newRow("the named one present") << QList{board} << "COM3"
                                           << "";
    QTest::newRow("named in other case") << QList{board} << "com3"
                                         << "";
    QTest::newRow("named by its device path") << QList{board} << "\\\\.\\COM3"
                                              << "";
    QTest::newRow("two USB ports: no guess") << QList{board, ftdi} << "COM7"
                                             << "";
    QTest::newRow("no USB port") << QList{legacy} << "COM7"
                                 << "";
    QTest::newRow("one further digit is another port") << QList{board} << "COM33"
                                                       << "COM3";
#else
    const PresentPort acm{
        "ttyACM0", "/dev/ttyACM0", "/dev/serial/by-id/usb-ZORVA_1-if00", "Board", "ZORVA", "1", true};
    const PresentPort usb1{"ttyUSB1", "/dev/ttyUSB1", {}, "FT232R", "FTDI", "A1", true};
    const PresentPort legacy{"ttyS0", "/dev/ttyS0", {}, {}, {}, {}, false};
    QTest::newRow("one USB port, the named one absent") << QList{acm, legacy} << "COM1"
                                                        << "ttyACM0";
    QTest::newRow("absent by full path") << QList{acm} << "/dev/ttyUSB7"
                                         << "ttyACM0";
    QTest::newRow("the named one present") << QList{acm} << "ttyACM0"
                                           << "";
    QTest::newRow("present by its stable name") << QList{acm} << "/dev/serial/by-id/usb-ZORVA_1-if00"
                                                << "";
    QTest::newRow("two USB ports: no guess") << QList{acm, usb1} << "COM1"
                                             << "";
    QTest::newRow("no USB port") << QList{legacy} << "COM1"
                                 << "";
    QTest::newRow("the named one is there, just not a listed port") << QList{acm} << "/dev/null"
                                                                    << "";
#endif
}

void TestPortCatalog::likelyBoard()
{
    QFETCH(QList<PresentPort>, present);
    QFETCH(QString, named);
    QFETCH(QString, likely);
    QCOMPARE(PortCatalog::likelyBoard(present, named), likely);
}

void TestPortCatalog::listLineHasEveryField()
{
    const PresentPort bare{"ttyS0", "/dev/ttyS0", {}, {}, {}, {}, false};
    QCOMPARE(PortCatalog::listLine(bare), QStringLiteral("ttyS0\t\t\t\t"));
    const PresentPort acm{"ttyACM0", "/dev/ttyACM0", "/dev/serial/by-id/x", "Board", "ZORVA", "1", true};
    QCOMPARE(PortCatalog::listLine(acm), QStringLiteral("ttyACM0\t/dev/serial/by-id/x\tBoard\tZORVA\t1"));
    QCOMPARE(PortCatalog::caption(acm), QStringLiteral("ttyACM0  Board, ZORVA, 1"));
}

#ifdef Q_OS_WIN
void TestPortCatalog::listsThePortsTheDriversRegistered()
{
    // Two drivers that say the same port: it is listed once.
    const wchar_t *device = L"\\Device\\VantroTest0";
    const wchar_t *again = L"\\Device\\VantroTest1";
    if (!registerSerialComm(device, QStringLiteral("COM231")) ||
        !registerSerialComm(again, QStringLiteral("COM231")))
        QSKIP("cannot write under HKEY_LOCAL_MACHINE here");
    const QList<PresentPort> present = PortCatalog::present();
    unregisterSerialComm(device);
    unregisterSerialComm(again);
    const qsizetype at = names(present).indexOf(QStringLiteral("COM231"));
    QVERIFY2(at >= 0, qPrintable(names(present).join(QLatin1Char(' '))));
    QCOMPARE(present.at(at).location, QStringLiteral("\\\\.\\COM231"));
    QVERIFY(!present.at(at).usb);
    QCOMPARE(names(present).count(QStringLiteral("COM231")), 1);
    // Read afresh: gone from the registry, gone from the list.
    QVERIFY(!names(PortCatalog::present()).contains(QStringLiteral("COM231")));
}

void TestPortCatalog::aListedPortExists()
{
    // A port the system lists is a DOS device; Wine lists the serial ports it found at its start.
    const QStringList listed = names(PortCatalog::present());
    if (listed.isEmpty())
        QSKIP("no serial port here");
    const QString port = listed.first();
    QVERIFY(PortCatalog::exists(port));
    QVERIFY(PortCatalog::exists(port.toLower()));
    QVERIFY(PortCatalog::exists(QStringLiteral("\\\\.\\") + port));
    QVERIFY(!PortCatalog::exists(QStringLiteral("COM249")));
    QVERIFY(!PortCatalog::exists(QString()));
    // Named and there: no other port is guessed.
    const PresentPort usb{"COM248", "\\\\.\\COM248", {}, "USB Serial Device", "ZORVA", "1", true};
    QCOMPARE(PortCatalog::likelyBoard({usb}, port), QString());
    QCOMPARE(PortCatalog::likelyBoard({usb}, QStringLiteral("COM249")), QStringLiteral("COM248"));
}
#endif

QTEST_GUILESS_MAIN(TestPortCatalog)
#include "tst_port_catalog.moc"
