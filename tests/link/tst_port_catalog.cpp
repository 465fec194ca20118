#include "link/port_catalog.h"

#include <QtTest/QtTest>

class TestPortCatalog : public QObject
{
    Q_OBJECT

private slots:
    void likelyBoard_data();
    void likelyBoard();
    void listLineHasEveryField();
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

QTEST_GUILESS_MAIN(TestPortCatalog)
#include "tst_port_catalog.moc"
