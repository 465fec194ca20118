#include "board_line.h"
#include "fake_link_view.h"
#include "link/link_controller.h"
#include "link/link_timers.h"

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <memory>

namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000");
constexpr int FrameBytes = 6;

// The link as the program runs it: its own timers, switched by the link through the view.
struct LiveRig
{
    FakeLinkView view;
    LinkController controller{view};
    LinkTimers timers{controller.port()};

    LiveRig()
    {
        view.realTimers = &timers;
        controller.attachTimers(timers);
        controller.formLoad();
        timers.startUp();
    }
    // OPEN pressed with `port` typed in the box.
    void open(const QString &port)
    {
        view.setText(TextBox::TCOM, port);
        controller.openAttempt();
    }
};

// What the board received until `count` bytes are there, while the event loop runs the timers: the real
// loop, which sleeps only until the next timer is due.
QByteArray receivedWhileRunning(BoardLine &board, int count)
{
    QByteArray got;
    QDeadlineTimer deadline(5000);
    while (got.size() < count && !deadline.hasExpired()) {
        QTestEventLoop::instance().enterLoopMSecs(20);
        got += board.readPending();
    }
    return got.size() >= count ? got : QByteArray();
}

bool isStartFrame(const QByteArray &frame)
{
    return frame.size() == FrameBytes && frame.left(3) == QByteArray::fromHex("0B0647");
}
} // namespace

class TestLinkLive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startFrameGoesOutOneByteAtATime();
    void replyIsRecognised();
    void lostPortTurnsTheLampRedAndIsRetried();

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestLinkLive::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_home = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home->path());
}

void TestLinkLive::startFrameGoesOutOneByteAtATime()
{
    BoardLine board;
    LiveRig rig;
    rig.open(board.portPath());
    QCOMPARE(rig.view.lamp, Colours::Green);
    QVERIFY(isStartFrame(receivedWhileRunning(board, FrameBytes)));
    QTRY_VERIFY(!rig.timers.timer(LinkTimer::TimerInvioChar).isActive());

    // One byte a tick of TimerInvioChar, 1 ms apart: the board never sees the frame in one piece.
    const QList<BoardLine::Burst> bursts = board.bursts();
    QStringList seen;
    for (const BoardLine::Burst &burst : bursts)
        seen << QStringLiteral("%1 ms: %2").arg(burst.atMs).arg(burst.bytes);
    QVERIFY2(bursts.size() >= 2, qPrintable(seen.join(QLatin1String(", "))));
    QVERIFY2(bursts.last().atMs - bursts.first().atMs >= 1, qPrintable(seen.join(QLatin1String(", "))));
}

void TestLinkLive::replyIsRecognised()
{
    BoardLine board;
    LiveRig rig;
    QSignalSpy readings(&rig.controller, &LinkController::readingTaken);
    rig.open(board.portPath());
    QVERIFY(isStartFrame(receivedWhileRunning(board, FrameBytes)));
    board.write(Reply);
    QTRY_COMPARE(rig.view.caption, QStringLiteral("24.41"));
    QCOMPARE(readings.size(), 1);
    // The next reply, later, is read on its own.
    board.write(Reply);
    QTRY_COMPARE(readings.size(), 2);
    QCOMPARE(rig.controller.state().NByteRicevuti, 0);
}

void TestLinkLive::lostPortTurnsTheLampRedAndIsRetried()
{
    auto board = std::make_unique<BoardLine>();
    LiveRig rig;
    rig.open(board->portPath());
    QVERIFY(isStartFrame(receivedWhileRunning(*board, FrameBytes)));

    board->hangUp();
    QTRY_COMPARE(rig.view.lamp, Colours::Red);
    QVERIFY(rig.view.lampToolTip.contains(QStringLiteral("Lost")));
    QVERIFY(rig.timers.timer(LinkTimer::TimerPorta).isActive());

    // Plugged in again, where the name typed now finds it: TimerPorta's next tick opens and starts it.
    board = std::make_unique<BoardLine>();
    rig.view.setText(TextBox::TCOM, board->portPath());
    QTRY_COMPARE_WITH_TIMEOUT(rig.view.lamp, Colours::Green, 2 * LinkTimers::TimerPortaMs + 1000);
    QVERIFY(!rig.timers.timer(LinkTimer::TimerPorta).isActive());
    QVERIFY(isStartFrame(receivedWhileRunning(*board, FrameBytes)));
}

QTEST_GUILESS_MAIN(TestLinkLive)
#include "tst_link_live.moc"
