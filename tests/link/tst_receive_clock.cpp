#include "board_line.h"
#include "link/port_access.h"
#include "link/receive_clock.h"

#include <QtTest/QtTest>

#include <memory>

namespace {
struct Rig
{
    explicit Rig(int intervalMs) : clock(port, intervalMs)
    {
        QVERIFY(port.open(board.portPath()));
        // Each tick reads what is there, as the receive poll does.
        QObject::connect(&clock, &ReceiveClock::timeout, [this] {
            char buffer[PortAccess::ReadCapacity];
            int n = 0;
            port.read(reinterpret_cast<uint8_t *>(buffer), int(sizeof buffer), n);
            reads.append(QByteArray(buffer, n));
        });
    }

    BoardLine board;
    PortAccess port;
    ReceiveClock clock;
    QList<QByteArray> reads;
};
} // namespace

class TestReceiveClock : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sleepsWhileNothingArrives();
    void ticksOnceForWhatArrived();
    void keepsItsGridAcrossQuietSpells();
    void ticksUntilTheBacklogIsRead();
    void startWithBytesWaitingTicks();
    void stoppedClockNeverTicks();
    void stoppedFromItsOwnTickTicksNoMore();
};

void TestReceiveClock::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestReceiveClock::sleepsWhileNothingArrives()
{
    Rig rig(10);
    QSignalSpy ticks(&rig.clock, &ReceiveClock::timeout);
    rig.clock.start();
    QVERIFY(rig.clock.isActive());
    QVERIFY(!ticks.wait(300));
}

void TestReceiveClock::ticksOnceForWhatArrived()
{
    Rig rig(10);
    rig.clock.start();
    rig.board.write(QByteArray::fromHex("1605320021000000"));
    QTRY_COMPARE(rig.reads.size(), 1);
    QCOMPARE(rig.reads.first(), QByteArray::fromHex("1605320021000000"));
    QSignalSpy more(&rig.clock, &ReceiveClock::timeout);
    QVERIFY(!more.wait(100));
}

void TestReceiveClock::keepsItsGridAcrossQuietSpells()
{
    // Bytes that come half way between two grid points are read at the next grid point,
    // not a whole interval after they came.
    constexpr int Interval = 1000;
    Rig rig(Interval);
    QElapsedTimer sinceStart;
    rig.clock.start();
    sinceStart.start();
    QSignalSpy ticks(&rig.clock, &ReceiveClock::timeout);
    QTimer::singleShot(Interval / 2, [&rig] { rig.board.write("x"); });
    QVERIFY(ticks.wait(3 * Interval));
    QVERIFY2(sinceStart.elapsed() >= Interval - 5 && sinceStart.elapsed() < Interval * 14 / 10,
             qPrintable(QString::number(sinceStart.elapsed())));
}

void TestReceiveClock::ticksUntilTheBacklogIsRead()
{
    Rig rig(10);
    const QByteArray flood(3 * PortAccess::ReadCapacity + 100, 'z');
    rig.board.write(flood);
    QTRY_COMPARE(rig.port.bytesWaiting(), qint64(flood.size()));
    rig.clock.start();
    QTRY_COMPARE(rig.reads.join(), flood);
    QCOMPARE(rig.reads.size(), 4);
}

void TestReceiveClock::startWithBytesWaitingTicks()
{
    Rig rig(10);
    rig.board.write("abc");
    QTRY_COMPARE(rig.port.bytesWaiting(), 3);
    rig.clock.start();
    QTRY_COMPARE(rig.reads, QList<QByteArray>{"abc"});
}

void TestReceiveClock::stoppedClockNeverTicks()
{
    Rig rig(10);
    QSignalSpy ticks(&rig.clock, &ReceiveClock::timeout);
    rig.clock.start();
    rig.clock.stop();
    QVERIFY(!rig.clock.isActive());
    rig.board.write("abc");
    QVERIFY(!ticks.wait(200));
    // A stopped clock picks up on start what came while it was stopped.
    rig.clock.start();
    QVERIFY(ticks.wait(1000));
    QCOMPARE(rig.reads, QList<QByteArray>{"abc"});
}

void TestReceiveClock::stoppedFromItsOwnTickTicksNoMore()
{
    Rig rig(10);
    // More than one read takes: bytes still wait when the tick stops the clock.
    const QByteArray flood(PortAccess::ReadCapacity + 100, 'z');
    rig.board.write(flood);
    QTRY_COMPARE(rig.port.bytesWaiting(), qint64(flood.size()));
    connect(&rig.clock, &ReceiveClock::timeout, &rig.clock, &ReceiveClock::stop);
    rig.clock.start();
    QTRY_COMPARE(rig.reads.size(), 1);
    QTest::qWait(200);
    QCOMPARE(rig.reads.size(), 1);
    QVERIFY(!rig.clock.isActive());
    QCOMPARE(rig.port.bytesWaiting(), 100);
}

QTEST_GUILESS_MAIN(TestReceiveClock)
#include "tst_receive_clock.moc"
