#include "board_line.h"
#include "link/port_access.h"

#include <QtTest/QtTest>

#include <memory>

#ifndef Q_OS_WIN
#include "line_probe.h"

#include <climits>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// PortAccess against a real line: a pseudo-terminal, or under Wine a COM port that the Linux side plays
// (board_line_wine).
namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000");
// Bytes a line that is not raw would swallow or change: NUL, ^C, LF, CR, XON, XOFF, DEL, 0xFF.
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

// Every entry of the folders, with the size and time of change of each file, to show that nothing
// moved. Folders count by name only: other tests make pseudo-terminals under /dev/pts meanwhile.
QStringList snapshot(const QStringList &folders)
{
    QStringList entries;
    for (const QString &folder : folders) {
        const QFileInfoList infos =
            QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo &info : infos) {
            entries << (info.isDir() ? info.absoluteFilePath()
                                     : QStringLiteral("%1 %2 %3")
                                           .arg(info.absoluteFilePath())
                                           .arg(info.size())
                                           .arg(info.lastModified().toMSecsSinceEpoch()));
        }
    }
    return entries;
}
} // namespace

class TestPortAccess : public QObject
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
    void failedOpenOfBusyPortDoesNotHoldIt();
    void openingAnotherPortReleasesTheFirst();
    void closedPortFailsQuietly();
    void aClosedPortLeavesNothingAwake();
    void deviceLossIsReportedOnceAndGoesIdle_data();
    void deviceLossIsReportedOnceAndGoesIdle();
    void deviceLossInsideAWrite_data();
    void deviceLossInsideAWrite();
#ifndef Q_OS_WIN
    // Lock files and descriptors are POSIX's.
    void aNameTooLongForItsLockFileIsSaid_data();
    void aNameTooLongForItsLockFileIsSaid();
    void aWriteErrorMeansTheBoardIsLost();
#endif
};

void TestPortAccess::init()
{
    // The program prints nothing in normal use: any Qt warning fails the test.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestPortAccess::opensAt19200RawEightNOne()
{
    BoardLine board;
#ifndef Q_OS_WIN
    // The Wine side's lines start so already.
    missetLine(board.portPath());
#endif
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

void TestPortAccess::namesThatReachThePort_data()
{
    QTest::addColumn<QString>("name");
#ifdef Q_OS_WIN
    // "@" stands for the port's COM name; every line here is COM10 or above, which only \\.\ reaches.
    QTest::newRow("COM name") << "@";
    QTest::newRow("lower case") << "@lower";
    QTest::newRow("device path") << "\\\\.\\@";
#else
    // "~" stands for a link to the port made in /dev, named by its bare name.
    QTest::newRow("bare name under /dev") << "~";
#endif
}

void TestPortAccess::namesThatReachThePort()
{
    QFETCH(QString, name);
    BoardLine board;
    QString link;
    if (name == QLatin1String("~")) {
        name = QStringLiteral("vantro-test-%1").arg(QCoreApplication::applicationPid());
        link = QStringLiteral("/dev/") + name;
        if (!QFile::link(board.portPath(), link))
            QSKIP("cannot make a link in /dev here");
    } else {
        QVERIFY(board.portPath().mid(3).toInt() >= 10);
    }
    const auto removeLink = qScopeGuard([&] {
        if (!link.isEmpty())
            QFile::remove(link);
    });
    name.replace(QLatin1String("@lower"), board.portPath().toLower());
    name.replace(QLatin1Char('@'), board.portPath());
    PortAccess port;
    QVERIFY2(port.open(name), qPrintable(port.openFailureReason()));
    writeAll(port, "G");
    QCOMPARE(board.read(1), QByteArray("G"));
}

void TestPortAccess::everyByteCrossesUnchanged()
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

void TestPortAccess::readWithNothingPendingIsEmpty()
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

void TestPortAccess::readsAtMostTheCapacity()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    board.write(QByteArray(1500, 'x'));
    QCOMPARE(readWhenArrived(port, 1500).size(), PortAccess::ReadCapacity);
    QCOMPARE(readWhenArrived(port, 1500 - PortAccess::ReadCapacity).size(), 1500 - PortAccess::ReadCapacity);
}

void TestPortAccess::secondOpenIsRefused()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    PortAccess second;
    if (underWine())
        QEXPECT_FAIL("", "Wine does not keep a serial port to one handle", Continue);
    QVERIFY(!second.open(board.portPath()) && !second.openFailureReason().isEmpty());
    QVERIFY(!second.isPermissionDenied());
}

void TestPortAccess::failedOpenHoldsNothing_data()
{
    // "@" stands for a scratch folder that holds a plain file, a folder and, on Linux, a fifo.
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("spaces") << "   ";
    QTest::newRow("10 000 characters") << QString(10000, QLatin1Char('x'));
    QTest::newRow("a plain file") << "@/plain";
#ifdef Q_OS_WIN
    QTest::newRow("no such port") << "COM250";
    QTest::newRow("non-ASCII") << QStringLiteral("\u30DD\u30FC\u30C8");
    QTest::newRow("a Linux name") << "/dev/ttyACM0";
    QTest::newRow("the null device") << "NUL";
    QTest::newRow("a folder") << "@";
#else
    QTest::newRow("default name") << "COM1";
    QTest::newRow("space inside") << "tty USB0";
    QTest::newRow("10 000 characters under /dev") << "/dev/" + QString(10000, QLatin1Char('x'));
    QTest::newRow("non-ASCII") << QStringLiteral("/dev/tty\u00DCSB0");
    QTest::newRow("non-ASCII bare") << QStringLiteral("\u30DD\u30FC\u30C8");
    QTest::newRow("missing path") << "/dev/no-such-board";
    QTest::newRow("missing through ..") << "/dev/../dev/no-such-board";
    QTest::newRow("relative through ..") << "../../no-such-board";
    QTest::newRow("password file") << "/etc/passwd";
    QTest::newRow("not a serial device") << "/dev/null";
    QTest::newRow("a directory") << "/tmp";
    QTest::newRow("a fifo") << "@/fifo";
    QTest::newRow("a folder of ours") << "@/folder";
#endif
}

void TestPortAccess::failedOpenHoldsNothing()
{
    QFETCH(QString, name);
    QTemporaryDir scratch;
    const QString plainPath = scratch.filePath(QStringLiteral("plain"));
    QFile plain(plainPath);
    QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("not a board\n") > 0);
    plain.close();
    QVERIFY(QDir(scratch.path()).mkdir(QStringLiteral("folder")));
    QStringList watched{scratch.path(), scratch.filePath(QStringLiteral("folder")), QDir::currentPath()};
#ifndef Q_OS_WIN
    QVERIFY(::mkfifo(QFile::encodeName(scratch.filePath(QStringLiteral("fifo"))).constData(), 0600) == 0);
    watched << QStringLiteral("/dev") << QStringLiteral("/etc");
#endif
    name.replace(QLatin1Char('@'), QDir::toNativeSeparators(scratch.path()));

    // Whatever the name leads to, when it is a file, stays as it was; a fifo is never opened here.
    const auto contents = [&] { return QFileInfo(name).isFile() ? fileContents(name) : QByteArray(); };
    const QStringList before = snapshot(watched);
    const QByteArray contentsBefore = contents();
    const int descriptorsBefore = openDescriptorCount();
    PortAccess port;
    QVERIFY(!port.open(name));
    QVERIFY(!port.isOpen());
    QVERIFY(!port.openFailureReason().isEmpty());
    // Permissions are blamed only where they really lack: the hint to join dialout would mislead.
    const QFileInfo named(name);
    QCOMPARE(port.isPermissionDenied(), named.exists() && !named.isWritable());
    QCOMPARE(openDescriptorCount(), descriptorsBefore);
    QCOMPARE(snapshot(watched), before);
    QCOMPARE(contents(), contentsBefore);
    // On Windows a handle kept without sharing would stop the file's removal.
    QVERIFY(QFile::remove(plainPath));
}

void TestPortAccess::failedOpenOfBusyPortDoesNotHoldIt()
{
    BoardLine board;
    PortAccess other;
    QVERIFY(other.open(board.portPath()));
    PortAccess port;
    if (underWine())
        QEXPECT_FAIL("", "Wine does not keep a serial port to one handle", Continue);
    QVERIFY(!port.open(board.portPath()));
    other.close();
    QVERIFY(port.open(board.portPath()));
}

void TestPortAccess::openingAnotherPortReleasesTheFirst()
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
    PortAccess other;
    QVERIFY(other.open(first.portPath()));
    port.close();
    QCOMPARE(second.holders(), 0);
}

void TestPortAccess::closedPortFailsQuietly()
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

void TestPortAccess::aClosedPortLeavesNothingAwake()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    port.close();
    // Nothing may go on watching the closed port: the event loop would find it invalid on every pass.
    const double busyShare = cpuShareOver(300);
    QVERIFY2(busyShare < 0.1, qPrintable(QString::number(busyShare)));
}

void TestPortAccess::deviceLossIsReportedOnceAndGoesIdle_data()
{
    QTest::addColumn<int>("replyEveryMs");
    QTest::addColumn<bool>("replyWaiting");
    QTest::newRow("idle") << 0 << false;
    QTest::newRow("a reply waiting unread") << 0 << true;
    QTest::newRow("replies streaming") << 10 << false;
}

void TestPortAccess::deviceLossIsReportedOnceAndGoesIdle()
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
    // Replies that stream are read as they come, as the receive poll does. Where nothing announces
    // arrivals or a loss (Windows), the port is asked every 10 ms, as the receive clock does.
    QByteArray taken;
    const auto take = [&] {
        if (port.bytesWaiting() > 0 && replyEveryMs > 0)
            taken += readWhenArrived(port, 1);
    };
#ifdef Q_OS_WIN
    QTimer asking;
    connect(&asking, &QTimer::timeout, this, take);
    asking.start(10);
#else
    connect(&port, &PortAccess::bytesArrived, this, take);
#endif
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
    // Left open, or asked again, the dead port would raise an error on every pass of the event loop.
    const double busyShare = cpuShareOver(500);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(busyShare < 0.2, qPrintable(QString::number(busyShare)));

    // The board comes back: a fresh open works as before.
    board = std::make_unique<BoardLine>();
    QVERIFY(port.open(board->portPath()));
    writeAll(port, "G");
    QCOMPARE(board->read(1), QByteArray("G"));
}

void TestPortAccess::deviceLossInsideAWrite_data()
{
    QTest::addColumn<bool>("hungUp");
    QTest::newRow("hung up") << true;
#ifdef Q_OS_WIN
    // Qt's port on Linux keeps what the board does not take in a buffer of its own, and never waits.
    QTest::newRow("takes no more bytes") << false;
#endif
}

void TestPortAccess::deviceLossInsideAWrite()
{
    QFETCH(bool, hungUp);
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    QSignalSpy lost(&port, &PortAccess::deviceLost);
    if (hungUp)
        board.hangUp();
    else
        board.stopReading();
    // The first write after the loss fails, inside the flush where writes are buffered; the rest fail
    // quietly. A board that takes no more bytes lets the line fill first, and then no write waits for ever.
    QElapsedTimer writing;
    writing.start();
    qint64 longestMs = 0;
    for (int i = 0; i < 6 || (port.isOpen() && writing.elapsed() < 30000); ++i) {
        const qint64 startMs = writing.elapsed();
        int written = 0;
        if (port.writeByte(0x0B, written) && written == 1)
            port.flush();
        longestMs = qMax(longestMs, writing.elapsed() - startMs);
    }
    QVERIFY2(longestMs < 1000, qPrintable(QString::number(longestMs)));
    // The failed write alone marks the board lost, before any read or question could see the loss.
    QVERIFY(!port.isOpen());
    QVERIFY(lost.wait(2000));
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);
}

#ifndef Q_OS_WIN
void TestPortAccess::aNameTooLongForItsLockFileIsSaid_data()
{
    // Qt locks a port with a file named LCK.. and the port's name, each '/' as '_', which a file system
    // takes up to NAME_MAX bytes long. "@N" stands for a link to a real board whose lock file name is N
    // bytes.
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("tooLong");
    QTest::newRow("lock file name just long enough") << QStringLiteral("@%1").arg(NAME_MAX) << false << false;
    QTest::newRow("just long enough, held by another program")
        << QStringLiteral("@%1").arg(NAME_MAX) << true << false;
    QTest::newRow("lock file name one byte too long")
        << QStringLiteral("@%1").arg(NAME_MAX + 1) << false << true;
    QTest::newRow("10 000 characters") << QString(10000, QLatin1Char('x')) << false << true;
    QTest::newRow("under /dev") << "/dev/" + QString(NAME_MAX, QLatin1Char('x')) << false << true;
}

void TestPortAccess::aNameTooLongForItsLockFileIsSaid()
{
    QFETCH(QString, name);
    QFETCH(bool, held);
    QFETCH(bool, tooLong);
    BoardLine board;
    QTemporaryDir scratch;
    if (name.startsWith(QLatin1Char('@'))) {
        const int lockNameBytes = name.mid(1).toInt();
        const QString folder = scratch.path() + QLatin1Char('/');
        name = folder + QString(lockNameBytes - int(qstrlen("LCK..")) - int(folder.size()), QLatin1Char('b'));
        QVERIFY(QFile::link(board.portPath(), name));
    }
    PortAccess holder;
    QVERIFY(!held || holder.open(name));

    PortAccess port;
    QCOMPARE(port.open(name), !held && !tooLong);
    if (port.isOpen())
        return;
    QCOMPARE(
        port.openFailureReason().startsWith(QStringLiteral("The name is too long for the port's lock file")),
        tooLong);
    // Not a matter of the user's groups: the hint to join dialout would mislead.
    QVERIFY(!port.isPermissionDenied());
}

// A write that fails for a reason other than a hang-up (here EPIPE, which the serial port reports as a write
// error rather than a resource error) still means the board cannot be reached.
void TestPortAccess::aWriteErrorMeansTheBoardIsLost()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    // The port's descriptor is the newest one on the board's line.
    int portFd = -1;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System)) {
        if (fd.symLinkTarget() == board.portPath())
            portFd = std::max(portFd, fd.fileName().toInt());
    }
    QVERIFY(portFd >= 0);
    // Behind the same descriptor, a line that refuses writes and stays quiet for reads.
    int pair[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    QCOMPARE(dup2(pair[0], portFd), portFd);
    ::close(pair[0]);
    QCOMPARE(shutdown(portFd, SHUT_WR), 0);
    std::signal(SIGPIPE, SIG_IGN);

    QSignalSpy lost(&port, &PortAccess::deviceLost);
    int written = 0;
    if (port.writeByte(0x0B, written))
        port.flush();
    QVERIFY(lost.wait(2000));
    QVERIFY(!port.isOpen());
    ::close(pair[1]);
}
#endif

QTEST_GUILESS_MAIN(TestPortAccess)
#include "tst_port_access.moc"
