#include "board_line.h"
#include "link/port_access.h"

#include <QtTest/QtTest>

#include <windows.h>

#include <memory>

// PortAccess on Windows, through the Win32 calls, against lines that the Linux side plays (board_line_wine).
namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000");
// Bytes a line that is not raw would swallow or change: XOFF, XON, CR, LF, NUL, DEL, 0xFF.
const QByteArray TrickyBytes = QByteArray::fromHex("00030A0D11137FFF");

void writeAll(PortAccess &port, const QByteArray &bytes)
{
    for (const char byte : bytes) {
        int written = 0;
        QVERIFY(port.writeByte(uint8_t(byte), written));
        QCOMPARE(written, 1);
        port.flush();
    }
}

QByteArray readWhenArrived(PortAccess &port, int count)
{
    if (!QTest::qWaitFor([&] { return port.bytesWaiting() >= count; }, 2000))
        return {};
    uint8_t buffer[PortAccess::ReadCapacity];
    int n = 0;
    if (!port.read(buffer, PortAccess::ReadCapacity, n))
        return {};
    return QByteArray(reinterpret_cast<const char *>(buffer), n);
}

bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

double cpuShareOver(int ms)
{
    const double before = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(ms);
    return (processCpuMs() - before) / double(wall.elapsed());
}
} // namespace

class TestPortAccessWin32 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void opensAt19200RawEightNOne();
    void namesThatReachThePort_data();
    void namesThatReachThePort();
    void everyByteCrossesUnchanged();
    void readWithNothingPendingIsEmpty();
    void readsAtMostTheCapacity();
    void secondOpenIsRefused();
    void failedOpenHoldsNothing_data();
    void failedOpenHoldsNothing();
    void openingAnotherPortReleasesTheFirst();
    void closedPortFailsQuietly();
    void deviceLossIsReportedOnceAndGoesIdle_data();
    void deviceLossIsReportedOnceAndGoesIdle();
    void deviceLossInsideAWrite();
};

void TestPortAccessWin32::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestPortAccessWin32::opensAt19200RawEightNOne()
{
    BoardLine board;
    // The line starts at 9600 with two stop bits and flow control, as another program might leave it.
    QCOMPARE(board.settings(),
             QStringLiteral("baud=9600 bits=8 parity=none stop=2 rtscts=on xonxoff=on raw=off"));
    PortAccess port;
    QVERIFY2(port.open(board.portPath()), qPrintable(port.openFailureReason()));
    QVERIFY(port.isOpen());
    QVERIFY(port.openFailureReason().isEmpty());
    QCOMPARE(board.settings(),
             QStringLiteral("baud=19200 bits=8 parity=none stop=1 rtscts=off xonxoff=off raw=on"));
}

void TestPortAccessWin32::namesThatReachThePort_data()
{
    // "@" stands for the port's COM name; every line here is COM10 or above, which only \\.\ reaches.
    QTest::addColumn<QString>("name");
    QTest::newRow("COM name") << "@";
    QTest::newRow("lower case") << "@lower";
    QTest::newRow("device path") << "\\\\.\\@";
}

void TestPortAccessWin32::namesThatReachThePort()
{
    QFETCH(QString, name);
    BoardLine board;
    QVERIFY(board.portPath().mid(3).toInt() >= 10);
    name.replace(QLatin1String("@lower"), board.portPath().toLower());
    name.replace(QLatin1Char('@'), board.portPath());
    PortAccess port;
    QVERIFY2(port.open(name), qPrintable(port.openFailureReason()));
    writeAll(port, "G");
    QCOMPARE(board.read(1), QByteArray("G"));
}

void TestPortAccessWin32::everyByteCrossesUnchanged()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));

    writeAll(port, TrickyBytes);
    QCOMPARE(board.read(int(TrickyBytes.size())).toHex(' '), TrickyBytes.toHex(' '));

    board.write(TrickyBytes);
    QCOMPARE(readWhenArrived(port, int(TrickyBytes.size())).toHex(' '), TrickyBytes.toHex(' '));
    // Nothing was echoed back to the board.
    QCOMPARE(board.readPending(), QByteArray());
}

void TestPortAccessWin32::readWithNothingPendingIsEmpty()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    QCOMPARE(port.bytesWaiting(), 0);
    uint8_t buffer[PortAccess::ReadCapacity];
    int n = -1;
    // Returns at once: a read that waited would stall the event loop.
    QElapsedTimer took;
    took.start();
    QVERIFY(port.read(buffer, PortAccess::ReadCapacity, n));
    QCOMPARE(n, 0);
    QVERIFY2(took.elapsed() < 500, qPrintable(QString::number(took.elapsed())));
    QVERIFY(port.isOpen());
}

void TestPortAccessWin32::readsAtMostTheCapacity()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    board.write(QByteArray(1500, 'x'));
    QCOMPARE(readWhenArrived(port, 1500).size(), PortAccess::ReadCapacity);
    QCOMPARE(readWhenArrived(port, 1500 - PortAccess::ReadCapacity).size(), 1500 - PortAccess::ReadCapacity);
}

void TestPortAccessWin32::secondOpenIsRefused()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    PortAccess second;
    // Windows' serial drivers give a port to one handle at a time; Wine lets a second one share it.
    if (underWine())
        QEXPECT_FAIL("", "Wine does not keep a serial port to one handle", Continue);
    QVERIFY(!second.open(board.portPath()));
    QVERIFY(!second.isPermissionDenied());
}

void TestPortAccessWin32::failedOpenHoldsNothing_data()
{
    // "@" stands for a scratch folder that holds a plain file.
    QTest::addColumn<QString>("name");
    QTest::newRow("no such port") << "COM250";
    QTest::newRow("empty") << "";
    QTest::newRow("spaces") << "   ";
    QTest::newRow("10 000 characters") << QString(10000, QLatin1Char('x'));
    QTest::newRow("non-ASCII") << QStringLiteral("\u30DD\u30FC\u30C8");
    QTest::newRow("a Linux name") << "/dev/ttyACM0";
    QTest::newRow("the null device") << "NUL";
    QTest::newRow("a plain file") << "@/plain";
    QTest::newRow("a folder") << "@";
}

void TestPortAccessWin32::failedOpenHoldsNothing()
{
    QFETCH(QString, name);
    QTemporaryDir scratch;
    const QString plainPath = scratch.filePath(QStringLiteral("plain"));
    QFile plain(plainPath);
    QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("not a board\n") > 0);
    plain.close();
    name.replace(QLatin1Char('@'), QDir::toNativeSeparators(scratch.path()));

    PortAccess port;
    QVERIFY(!port.open(name));
    QVERIFY(!port.isOpen());
    QVERIFY(!port.openFailureReason().isEmpty());
    QVERIFY(!port.isPermissionDenied());
    QCOMPARE(fileContents(plainPath), QByteArray("not a board\n"));
    // A handle kept without sharing would stop the file's removal.
    QVERIFY(QFile::remove(plainPath));
}

void TestPortAccessWin32::openingAnotherPortReleasesTheFirst()
{
    BoardLine first;
    BoardLine second;
    PortAccess port;
    QVERIFY(port.open(first.portPath()));
    // Under Wine one handle is a descriptor in its server and maybe one in the process.
    QVERIFY(first.holders() > 0);
    QVERIFY(port.open(second.portPath()));
    QCOMPARE(first.holders(), 0);
    QVERIFY(second.holders() > 0);
    port.close();
    QCOMPARE(second.holders(), 0);
}

void TestPortAccessWin32::closedPortFailsQuietly()
{
    PortAccess port;
    uint8_t buffer[PortAccess::ReadCapacity];
    int n = -1;
    int written = -1;
    QVERIFY(!port.read(buffer, PortAccess::ReadCapacity, n));
    QCOMPARE(n, 0);
    QVERIFY(!port.writeByte(0x0B, written));
    QCOMPARE(written, 0);
    port.flush();
    port.close();
    QCOMPARE(port.bytesWaiting(), 0);

    BoardLine board;
    QVERIFY(port.open(board.portPath()));
    port.close();
    QCOMPARE(board.holders(), 0);
    port.close();
    QVERIFY(!port.writeByte(0x0B, written));
    QVERIFY(!port.read(buffer, PortAccess::ReadCapacity, n));
    QCOMPARE(board.readPending(), QByteArray());
}

void TestPortAccessWin32::deviceLossIsReportedOnceAndGoesIdle_data()
{
    // Nothing here announces arrivals or a loss: the port is asked every 10 ms, as the receive clock does,
    // and replies that stream are read as they come.
    QTest::addColumn<int>("replyEveryMs");
    QTest::addColumn<bool>("replyWaiting");
    QTest::newRow("idle") << 0 << false;
    QTest::newRow("a reply waiting unread") << 0 << true;
    QTest::newRow("replies streaming") << 10 << false;
}

void TestPortAccessWin32::deviceLossIsReportedOnceAndGoesIdle()
{
    QFETCH(int, replyEveryMs);
    QFETCH(bool, replyWaiting);
    auto board = std::make_unique<BoardLine>();
    PortAccess port;
    QVERIFY(port.open(board->portPath()));
    QSignalSpy lost(&port, &PortAccess::deviceLost);
    if (replyWaiting) {
        board->write(Reply);
        QVERIFY(QTest::qWaitFor([&] { return port.bytesWaiting() == Reply.size(); }, 2000));
    }
    QByteArray taken;
    QTimer asking;
    connect(&asking, &QTimer::timeout, this, [&] {
        if (replyEveryMs > 0 && port.bytesWaiting() > 0)
            taken += readWhenArrived(port, 1);
        else
            port.bytesWaiting();
    });
    asking.start(10);
    if (replyEveryMs > 0) {
        for (int i = 0; i < 4; ++i) {
            board->write(Reply);
            QTest::qWait(replyEveryMs);
        }
        QVERIFY(QTest::qWaitFor([&] { return taken.size() >= 4 * Reply.size(); }, 2000));
    }

    board->hangUp();
    QVERIFY(lost.wait(2000));
    QVERIFY(!port.isOpen());
    // A closed port is not asked again: the loss is said once, and nothing spins.
    QVERIFY2(cpuShareOver(500) < 0.2, "busy after the loss");
    QCOMPARE(lost.count(), 1);

    // The board comes back: a fresh open works as before.
    board = std::make_unique<BoardLine>();
    QVERIFY(port.open(board->portPath()));
    writeAll(port, "G");
    QCOMPARE(board->read(1), QByteArray("G"));
}

void TestPortAccessWin32::deviceLossInsideAWrite()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    QSignalSpy lost(&port, &PortAccess::deviceLost);
    board.hangUp();
    // The first write after the loss fails; the rest fail quietly.
    for (int i = 0; i < 6; ++i) {
        int written = 0;
        if (port.writeByte(0x0B, written) && written == 1)
            port.flush();
    }
    // The failed write alone marks the board lost, before anything asked the port.
    QVERIFY(!port.isOpen());
    QVERIFY(lost.wait(2000));
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(TestPortAccessWin32)
#include "tst_port_access_win32.moc"
