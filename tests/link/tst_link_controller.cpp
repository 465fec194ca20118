#include "board_line.h"
#include "fake_link_view.h"
#include "link/link_controller.h"
#ifdef Q_OS_WIN
#include "zorva_registry.h"
#endif

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000");

struct Rig
{
    BoardLine board;
    FakeLinkView view;
    LinkController controller{view};

    Rig()
    {
        // As at start-up: the two port timers run before any port is open.
        view.setTimerEnabled(LinkTimer::TimerPorta, true);
        view.setTimerEnabled(LinkTimer::tmrReceive, true);
        controller.formLoad();
    }
    bool opened()
    {
        view.setText(TextBox::TCOM, board.portPath());
        controller.openAttempt();
        return view.lamp == Colours::Green;
    }
    // Runs the pacer until the frame is out, as TimerInvioChar would.
    QByteArray sendQueuedFrame()
    {
        for (int i = 0; i < 100 && view.isTimerEnabled(LinkTimer::TimerInvioChar); ++i)
            controller.transmitTick();
        return board.read(6);
    }
    bool deliverThenPoll(const QByteArray &bytes)
    {
        board.write(bytes);
        QTest::qWait(0);
        const bool ok = QTest::qWaitFor(
            [&] {
                controller.receiveTick();
                return controller.state().NByteRicevuti >= bytes.size() ||
                       view.caption != QStringLiteral("-.--");
            },
            2000);
        return ok;
    }
};
} // namespace

class TestLinkController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startUpLoadsTheRememberedName();
    void failedOpenTurnsTheLampRedAndKeepsTrying();
    void openStartsTheBoard();
    void startCommandArmsNoReplyCheck();
    void presenceCheck_data();
    void presenceCheck();
    void presenceQueryWithThePortClosed();
    void closeStopsEverything();
    void closeBeforeTheFirstOpenStopsRetrying();
    void openAfterClose();
    void deviceLossTurnsTheLampRedAndRetries();
    void saveRemembersTheTypedName();
    void saveIntoAnUnwritableStore();
    void exitReleasesThePort();

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestLinkController::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_home = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home->path());
#ifdef Q_OS_WIN
    // Windows keeps the settings in the registry, where no folder of the test's own can hold them.
    clearZorvaRegistry();
#endif
}

void TestLinkController::startUpLoadsTheRememberedName()
{
    {
        Rig rig;
        QCOMPARE(rig.view.text(TextBox::TCOM), QStringLiteral("COM1"));
        rig.view.setText(TextBox::TCOM, QStringLiteral("ttyACM3"));
        rig.controller.savePortName();
    }
    Rig rig;
    QCOMPARE(rig.view.text(TextBox::TCOM), QStringLiteral("ttyACM3"));
    QCOMPARE(rig.view.lamp, Colours::White);
    QVERIFY(rig.view.lampHistory.isEmpty());
}

void TestLinkController::failedOpenTurnsTheLampRedAndKeepsTrying()
{
    Rig rig;
    rig.view.setText(TextBox::TCOM, QStringLiteral("/dev/no-such-board"));
    rig.controller.openAttempt();
    QCOMPARE(rig.view.lamp, Colours::Red);
    QVERIFY(rig.view.isTimerEnabled(LinkTimer::TimerPorta));
    QVERIFY(rig.view.lampToolTip.contains(QStringLiteral("/dev/no-such-board")));
    QVERIFY(rig.view.messages.isEmpty());

    // The board appears: the next tick finds it.
    QVERIFY(rig.opened());
    QVERIFY(!rig.view.isTimerEnabled(LinkTimer::TimerPorta));
}

void TestLinkController::openStartsTheBoard()
{
    Rig rig;
    QVERIFY(rig.opened());
    QCOMPARE(rig.view.lampHistory, (QList<Colour>{Colours::Red, Colours::Green}));
    QVERIFY(!rig.view.isTimerEnabled(LinkTimer::TimerPorta));
    QVERIFY(rig.view.isTimerEnabled(LinkTimer::tmrReceive));
    QVERIFY(rig.view.isTimerEnabled(LinkTimer::TimerInvioChar));
    const QByteArray frame = rig.sendQueuedFrame();
    QCOMPARE(frame.size(), 6);
    QCOMPARE(frame.left(3), QByteArray::fromHex("0B0647"));
    QVERIFY(frame.at(3) != '\0');
    QCOMPARE(uint8_t(frame.at(5)), uint8_t(0x79 + uint8_t(frame.at(3))));

    QVERIFY(rig.deliverThenPoll(Reply));
    QCOMPARE(rig.view.caption, QStringLiteral("24.41"));
}

void TestLinkController::startCommandArmsNoReplyCheck()
{
    Rig rig;
    QVERIFY(rig.opened());
    rig.sendQueuedFrame();
    rig.controller.startCommand();
    QCOMPARE(rig.sendQueuedFrame().left(3), QByteArray::fromHex("0B0647"));
    QVERIFY(!rig.view.isTimerEnabled(LinkTimer::TimerRispostaInterrogazione));
}

void TestLinkController::presenceCheck_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("wrong");
    QTest::newRow("five bytes") << QByteArray::fromHex("06064C7F21") << false;
    QTest::newRow("six bytes") << QByteArray::fromHex("06064C7F2100") << false;
    QTest::newRow("four bytes") << QByteArray::fromHex("06064C7F") << true;
    QTest::newRow("silence") << QByteArray() << true;
    // A temperature reply clears the count, so it does not answer the query.
    QTest::newRow("a temperature reply") << Reply << true;
}

void TestLinkController::presenceCheck()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, wrong);

    Rig rig;
    QVERIFY(rig.opened());
    rig.sendQueuedFrame();
    rig.controller.presenceQuery();
    QVERIFY(rig.view.isTimerEnabled(LinkTimer::TimerRispostaInterrogazione));
    QCOMPARE(rig.sendQueuedFrame().left(3), QByteArray::fromHex("0B064C"));
    if (!answer.isEmpty())
        QVERIFY(rig.deliverThenPoll(answer));
    rig.controller.presenceReplyCheck();
    QVERIFY(!rig.view.isTimerEnabled(LinkTimer::TimerRispostaInterrogazione));
    QCOMPARE(rig.view.messages, wrong ? QStringList{QStringLiteral("RISPOSTA ERRATA")} : QStringList{});
}

void TestLinkController::presenceQueryWithThePortClosed()
{
    Rig rig;
    rig.controller.presenceQuery();
    for (int i = 0; i < 6; ++i)
        rig.controller.transmitTick();
    QVERIFY(!rig.view.isTimerEnabled(LinkTimer::TimerInvioChar));
    QCOMPARE(rig.board.readPending(), QByteArray());
    rig.controller.presenceReplyCheck();
    QCOMPARE(rig.view.messages, QStringList{QStringLiteral("RISPOSTA ERRATA")});
}

void TestLinkController::closeStopsEverything()
{
    Rig rig;
    QVERIFY(rig.opened());
    rig.controller.closePort();
    QCOMPARE(rig.view.lamp, Colours::White);
    QVERIFY(!rig.view.isTimerEnabled(LinkTimer::tmrReceive));
    QVERIFY(!rig.view.isTimerEnabled(LinkTimer::TimerPorta));
    PortAccess other;
    QVERIFY(other.open(rig.board.portPath()));
}

void TestLinkController::closeBeforeTheFirstOpenStopsRetrying()
{
    Rig rig;
    // Not COM1, the name remembered by default: Windows and Wine often have one.
    rig.view.setText(TextBox::TCOM, QStringLiteral("no-such-board"));
    rig.controller.openAttempt(); // fails, red
    QCOMPARE(rig.view.lamp, Colours::Red);
    rig.controller.closePort();
    QCOMPARE(rig.view.lamp, Colours::White);
    QVERIFY(!rig.view.isTimerEnabled(LinkTimer::TimerPorta));
}

void TestLinkController::openAfterClose()
{
    Rig rig;
    QVERIFY(rig.opened());
    rig.sendQueuedFrame();
    rig.controller.closePort();
    QVERIFY(rig.opened());
    QVERIFY(rig.view.isTimerEnabled(LinkTimer::tmrReceive));
    QCOMPARE(rig.sendQueuedFrame().left(3), QByteArray::fromHex("0B0647"));
}

void TestLinkController::deviceLossTurnsTheLampRedAndRetries()
{
    auto rig = std::make_unique<Rig>();
    QVERIFY(rig->opened());
    auto board = std::make_unique<BoardLine>();
    rig->view.setText(TextBox::TCOM, board->portPath());
    rig->controller.openAttempt();
    QCOMPARE(rig->view.lamp, Colours::Green);

    board->hangUp();
    // As the receive clock does: where the port announces nothing (Windows), asking it is how a loss is seen.
    const auto lampWhileAsked = [&] {
        rig->controller.port().bytesWaiting();
        return rig->view.lamp;
    };
    QTRY_COMPARE(lampWhileAsked(), Colours::Red);
    QVERIFY(rig->view.isTimerEnabled(LinkTimer::TimerPorta));
    QVERIFY(rig->view.lampToolTip.contains(QStringLiteral("Lost")));

    // The board is back: the next TimerPorta tick opens it and starts it.
    board = std::make_unique<BoardLine>();
    rig->view.setText(TextBox::TCOM, board->portPath());
    rig->controller.openAttempt();
    QCOMPARE(rig->view.lamp, Colours::Green);
    QVERIFY(!rig->view.isTimerEnabled(LinkTimer::TimerPorta));
    for (int i = 0; i < 6; ++i)
        rig->controller.transmitTick();
    QCOMPARE(board->read(3), QByteArray::fromHex("0B0647"));
}

void TestLinkController::saveRemembersTheTypedName()
{
    Rig rig;
    rig.view.setText(TextBox::TCOM, QStringLiteral(" my port = 2 "));
    rig.controller.savePortName();
    QVERIFY(rig.view.messages.isEmpty());
    Rig restarted;
    QCOMPARE(restarted.view.text(TextBox::TCOM), QStringLiteral(" my port = 2 "));
}

void TestLinkController::saveIntoAnUnwritableStore()
{
#ifdef Q_OS_WIN
    QSKIP("On Windows the name goes to the registry: there is no file to make unwritable");
#endif
    QFile blocker(m_home->filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       blocker.fileName() + QStringLiteral("/sub"));
    Rig rig;
    rig.view.setText(TextBox::TCOM, QStringLiteral("COM9"));
    rig.controller.savePortName();
    QCOMPARE(rig.view.messages.size(), 1);
    const QStringList lines = rig.view.messages.first().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.first(), QStringLiteral("PORTA NON MEMORIZZATA"));
    QVERIFY(lines.last().contains(QStringLiteral("ZORVA.conf")));
    QCOMPARE(rig.view.text(TextBox::TCOM), QStringLiteral("COM9"));
}

void TestLinkController::exitReleasesThePort()
{
    Rig rig;
    QVERIFY(rig.opened());
    rig.controller.exit();
    QCOMPARE(rig.view.unloads, 1);
    PortAccess other;
    QVERIFY(other.open(rig.board.portPath()));
}

QTEST_GUILESS_MAIN(TestLinkController)
#include "tst_link_controller.moc"
