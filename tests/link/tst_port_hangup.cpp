#include "board_line.h"
#include "link/port_hangup.h"

#include <QtTest/QtTest>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000");
// Within one retry period of the link, the longest a dead port may pass for a live one.
constexpr int SeenWithinMs = 2000;
// A spinning notifier takes most of a core; a watch that sleeps takes next to nothing.
constexpr double IdleShare = 0.10;

// The program's end of the line, opened the way QSerialPort opens it.
class PortEnd final
{
public:
    explicit PortEnd(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {}
    ~PortEnd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY_MOVE(PortEnd)
    int fd() const
    {
        return m_fd;
    }

private:
    int m_fd;
};
} // namespace

class TestPortHangup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void hangUpIsSaidOnceAndSleeps_data();
    void hangUpIsSaidOnceAndSleeps();
    void bytesNobodyReadsWakeNothing();
    void aStoppedWatchSaysNothing();
    void aNewWatchFollowsTheNewPort();
};

void TestPortHangup::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestPortHangup::hangUpIsSaidOnceAndSleeps_data()
{
    QTest::addColumn<int>("replyEveryMs");
    QTest::addColumn<QByteArray>("waiting");
    QTest::newRow("idle") << 0 << QByteArray();
    QTest::newRow("bytes waiting that nobody read") << 0 << Reply;
    QTest::newRow("replies streaming") << 10 << QByteArray();
}

void TestPortHangup::hangUpIsSaidOnceAndSleeps()
{
    QFETCH(int, replyEveryMs);
    QFETCH(QByteArray, waiting);
    BoardLine board;
    PortEnd port(board.portPath());
    QVERIFY(port.fd() >= 0);
    PortHangupWatch watch;
    QSignalSpy hungUp(&watch, &PortHangupWatch::hungUp);
    watch.watch(port.fd());

    board.write(waiting);
    QTimer replies;
    connect(&replies, &QTimer::timeout, this, [&] { board.write(Reply); });
    if (replyEveryMs > 0) {
        replies.start(replyEveryMs);
        QTest::qWait(10 * replyEveryMs);
    }
    QVERIFY(hungUp.isEmpty());

    board.hangUp();
    QVERIFY(hungUp.wait(SeenWithinMs));
    // The line stays hung up until its owner closes it, and the watch must not wake for it again.
    const double share = cpuShareOver(300);
    QVERIFY2(share < IdleShare, qPrintable(QString::number(share)));
    QCOMPARE(hungUp.count(), 1);
}

void TestPortHangup::bytesNobodyReadsWakeNothing()
{
    BoardLine board;
    PortEnd port(board.portPath());
    PortHangupWatch watch;
    QSignalSpy hungUp(&watch, &PortHangupWatch::hungUp);
    watch.watch(port.fd());
    board.write(Reply);

    const double share = cpuShareOver(300);
    QVERIFY2(share < IdleShare, qPrintable(QString::number(share)));
    QVERIFY(hungUp.isEmpty());
    // The bytes are all still there for the port's reader.
    char buffer[16];
    QCOMPARE(::read(port.fd(), buffer, sizeof buffer), ssize_t(Reply.size()));
}

void TestPortHangup::aStoppedWatchSaysNothing()
{
    BoardLine board;
    PortEnd port(board.portPath());
    PortHangupWatch watch;
    QSignalSpy hungUp(&watch, &PortHangupWatch::hungUp);
    watch.watch(port.fd());
    watch.stop();
    board.hangUp();
    QTest::qWait(200);
    QVERIFY(hungUp.isEmpty());
}

void TestPortHangup::aNewWatchFollowsTheNewPort()
{
    auto first = std::make_unique<BoardLine>();
    auto firstPort = std::make_unique<PortEnd>(first->portPath());
    BoardLine second;
    PortEnd secondPort(second.portPath());
    PortHangupWatch watch;
    QSignalSpy hungUp(&watch, &PortHangupWatch::hungUp);
    watch.watch(firstPort->fd());
    watch.watch(secondPort.fd());

    // The first line going away is no longer this watch's business.
    first->hangUp();
    QTest::qWait(200);
    QVERIFY(hungUp.isEmpty());
    firstPort.reset();

    second.hangUp();
    QVERIFY(hungUp.wait(SeenWithinMs));
}

QTEST_GUILESS_MAIN(TestPortHangup)
#include "tst_port_hangup.moc"
