#include "board_line.h"
#include "link/port_access.h"

#include <QtSerialPort/QSerialPort>
#include <QtTest/QtTest>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000");
const QByteArray TrickyBytes = QByteArray::fromHex("00030A0D11137F");

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
    void bareNameResolvesUnderDev();
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
    void aNameTooLongForItsLockFileIsSaid_data();
    void aNameTooLongForItsLockFileIsSaid();
    void deviceLossIsReportedOnceAndGoesIdle_data();
    void deviceLossIsReportedOnceAndGoesIdle();
    void deviceLossInsideAWrite();
    void aWriteErrorMeansTheBoardIsLost();
};

void TestPortAccess::init()
{
    // The program prints nothing in normal use: any Qt warning fails the test.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestPortAccess::opensAt19200RawEightNOne()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    QVERIFY(port.isOpen());
    QVERIFY(port.openFailureReason().isEmpty());

    const int fd = ::open(board.portPath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios settings{};
    QCOMPARE(tcgetattr(fd, &settings), 0);
    ::close(fd);
    QCOMPARE(cfgetospeed(&settings), speed_t(B19200));
    QCOMPARE(cfgetispeed(&settings), speed_t(B19200));
    QCOMPARE(settings.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));
    QCOMPARE(settings.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(settings.c_oflag & OPOST, tcflag_t(0));
}

void TestPortAccess::bareNameResolvesUnderDev()
{
    BoardLine board;
    const QString name = QStringLiteral("vantro-test-%1").arg(QCoreApplication::applicationPid());
    const QString link = QStringLiteral("/dev/") + name;
    if (!QFile::link(board.portPath(), link))
        QSKIP("cannot make a link in /dev here");
    PortAccess port;
    const bool opened = port.open(name);
    QFile::remove(link);
    QVERIFY(opened);
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
    uint8_t buffer[PortAccess::ReadCapacity];
    int n = -1;
    QVERIFY(port.read(buffer, PortAccess::ReadCapacity, n));
    QCOMPARE(n, 0);
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

    QSerialPort other(board.portPath());
    QVERIFY(!other.open(QIODevice::ReadWrite));
    PortAccess second;
    QVERIFY(!second.open(board.portPath()));
    QVERIFY(!second.openFailureReason().isEmpty());
    QVERIFY(!second.isPermissionDenied());

    port.close();
    QVERIFY(other.open(QIODevice::ReadWrite));
}

void TestPortAccess::failedOpenHoldsNothing_data()
{
    // "@" stands for a scratch folder that holds a fifo, a folder and a plain file.
    QTest::addColumn<QString>("name");
    QTest::newRow("default name") << "COM1";
    QTest::newRow("empty") << "";
    QTest::newRow("spaces") << "   ";
    QTest::newRow("space inside") << "tty USB0";
    QTest::newRow("10 000 characters") << QString(10000, QLatin1Char('x'));
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
    QTest::newRow("a plain file") << "@/plain";
    QTest::newRow("a folder of ours") << "@/folder";
}

void TestPortAccess::failedOpenHoldsNothing()
{
    QFETCH(QString, name);
    QTemporaryDir scratch;
    QVERIFY(::mkfifo(QFile::encodeName(scratch.filePath(QStringLiteral("fifo"))).constData(), 0600) == 0);
    QVERIFY(QDir(scratch.path()).mkdir(QStringLiteral("folder")));
    QFile plain(scratch.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("not a board\n") > 0);
    plain.close();
    name.replace(QLatin1Char('@'), scratch.path());

    const QStringList watched{scratch.path(), scratch.filePath(QStringLiteral("folder")), QDir::currentPath(),
                              QStringLiteral("/dev"), QStringLiteral("/etc")};
    const QStringList before = snapshot(watched);
    const QByteArray passwordsBefore = fileContents(QStringLiteral("/etc/passwd"));
    const int descriptorsBefore = openDescriptorCount();
    PortAccess port;
    QVERIFY(!port.open(name));
    QVERIFY(!port.isOpen());
    QVERIFY(!port.openFailureReason().isEmpty());
    QCOMPARE(openDescriptorCount(), descriptorsBefore);
    QCOMPARE(snapshot(watched), before);
    QCOMPARE(fileContents(QStringLiteral("/etc/passwd")), passwordsBefore);
}

void TestPortAccess::failedOpenOfBusyPortDoesNotHoldIt()
{
    BoardLine board;
    QSerialPort other(board.portPath());
    QVERIFY(other.open(QIODevice::ReadWrite));
    PortAccess port;
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
    QVERIFY(port.open(second.portPath()));
    QSerialPort other(first.portPath());
    QVERIFY(other.open(QIODevice::ReadWrite));
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

    BoardLine board;
    QVERIFY(port.open(board.portPath()));
    port.close();
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
    // Nothing may go on watching the closed descriptor: the event loop would find it invalid on every pass.
    const double cpuBefore = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(300);
    const double busyShare = (processCpuMs() - cpuBefore) / double(wall.elapsed());
    QVERIFY2(busyShare < 0.1, qPrintable(QString::number(busyShare)));
}

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

void TestPortAccess::deviceLossIsReportedOnceAndGoesIdle_data()
{
    // Replies that stream are read as they come, as the receive poll does.
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
    QTimer replies;
    QByteArray taken;
    connect(&replies, &QTimer::timeout, this, [&] { board->write(Reply); });
    connect(&port, &PortAccess::bytesArrived, this, [&] {
        if (replies.isActive())
            taken += readWhenArrived(port, 1);
    });
    if (replyEveryMs > 0) {
        replies.start(replyEveryMs);
        QVERIFY(QTest::qWaitFor([&] { return taken.size() >= 4 * Reply.size(); }, 2000));
    }

    replies.stop();
    board->hangUp();
    QVERIFY(lost.wait(2000));
    QVERIFY(!port.isOpen());

    // Left open, the dead port would raise an error on every pass of the event loop.
    const double cpuBefore = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(500);
    const double busyShare = (processCpuMs() - cpuBefore) / double(wall.elapsed());
    QCOMPARE(lost.count(), 1);
    QVERIFY2(busyShare < 0.2, qPrintable(QString::number(busyShare)));

    // The board comes back: a fresh open works as before.
    board = std::make_unique<BoardLine>();
    QVERIFY(port.open(board->portPath()));
}

void TestPortAccess::deviceLossInsideAWrite()
{
    BoardLine board;
    PortAccess port;
    QVERIFY(port.open(board.portPath()));
    QSignalSpy lost(&port, &PortAccess::deviceLost);
    board.hangUp();
    // The first write after the loss fails inside the flush; the rest fail quietly.
    for (int i = 0; i < 6; ++i) {
        int written = 0;
        if (port.writeByte(0x0B, written) && written == 1)
            port.flush();
    }
    // The failed write alone marks the board lost, before any read could see the hang-up.
    QVERIFY(!port.isOpen());
    QVERIFY(lost.wait(2000));
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);
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

QTEST_GUILESS_MAIN(TestPortAccess)
#include "tst_port_access.moc"
