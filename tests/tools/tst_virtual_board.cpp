#include "fake_link_view.h"
#include "link/command_sender.h"
#include "link/link_state.h"
#include "link/port_access.h"
#include "link/receive_poller.h"
#include "link/transmit_pacer.h"
#include "protocol/command_frame.h"
#include "protocol/random_byte.h"
#include "protocol/temperature_text.h"

#include <QtCore/QProcess>
#include <QtCore/QTimer>
#include <QtTest/QtTest>

namespace {
// The core as the program runs it: the poller on its 10 ms timer, the pacer on its 1 ms one,
// against the virtual board in its own process.
class Rig
{
public:
    explicit Rig(const QStringList &boardOptions)
    {
        m_board.start(QStringLiteral(VBOARD_PATH),
                      QStringList{QStringLiteral("--interval"), QStringLiteral("100")} + boardOptions);
        if (m_board.waitForStarted() && QTest::qWaitFor([&] { return m_board.canReadLine(); }, 5000))
            portPath = QString::fromLocal8Bit(m_board.readLine()).trimmed();
        m_pollTimer.setInterval(10);
        QObject::connect(&m_pollTimer, &QTimer::timeout, [this] {
            poller.tick();
            longestLogAfterPoll = qMax(longestLogAfterPoll, view.text(TextBox::TextBin).size());
        });
        m_sendTimer.setInterval(1);
        QObject::connect(&m_sendTimer, &QTimer::timeout, [this] {
            pacer.tick();
            if (!view.isTimerEnabled(LinkTimer::TimerInvioChar))
                m_sendTimer.stop();
        });
    }
    ~Rig()
    {
        m_board.terminate();
        m_board.waitForFinished();
    }

    bool open()
    {
        if (!port.open(portPath))
            return false;
        m_pollTimer.start();
        return true;
    }
    void send(uint8_t command)
    {
        state.NByteRicevuti = 0;
        state.DatiTx[1] = command;
        state.DatiTx[2] = random.next();
        InviaGenerico(state, 2, pacer);
        m_sendTimer.start();
    }
    QString boardReport()
    {
        m_report += QString::fromLocal8Bit(m_board.readAllStandardError());
        return m_report;
    }

    // The temperatures of every whole reply the board has sent so far.
    QStringList sentTemperatures()
    {
        QStringList temperatures;
        static const QRegularExpression reply(QStringLiteral("reply 16 05 (..) (..) "));
        for (auto it = reply.globalMatch(boardReport()); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            const int raw = match.captured(2).toInt(nullptr, 16) * 256 + match.captured(1).toInt(nullptr, 16);
            temperatures << temperatureText(int16_t(raw), localeDecimalPoint());
        }
        return temperatures;
    }
    bool boardIsRunning() const
    {
        return m_board.state() == QProcess::Running;
    }

    QString portPath;
    qsizetype longestLogAfterPoll = 0;
    LinkState state;
    PortAccess port;
    FakeLinkView view;
    RandomByte random;
    TransmitPacer pacer{state, port, view};
    ReceivePoller poller{state, port, view};

private:
    QProcess m_board;
    QTimer m_pollTimer;
    QTimer m_sendTimer;
    QString m_report;
};

} // namespace

class TestVirtualBoard : public QObject
{
    Q_OBJECT

private slots:
    void startCommandBringsTemperatures();
    void presenceQueryIsAnswered();
    void highByteRepliesShowNoTemperature();
    void splitRepliesAreNeverRecognised();
    void garbageNeverShowsAWrongTemperature();
    void floodIsLoggedWithinTheLimit();
    void silentBoardSendsNothing();
    void badFramesAreReported();
};

void TestVirtualBoard::startCommandBringsTemperatures()
{
    Rig rig({});
    QVERIFY(rig.open());
    rig.send(CommandFrame::StartCommand);
    QTRY_VERIFY_WITH_TIMEOUT(rig.view.caption != QStringLiteral("-.--"), 5000);
    QVERIFY2(rig.sentTemperatures().contains(rig.view.caption), qPrintable(rig.view.caption));
    QCOMPARE(rig.view.foreColours.value(Label::LTemp), Colours::Black);
    QVERIFY(rig.view.text(TextBox::TTEMP).endsWith(QStringLiteral("-0")));
    QTRY_VERIFY(rig.boardReport().contains(QStringLiteral("start command 0B 06 47")));
    // Replies keep coming, each one clearing the count.
    rig.view.setText(TextBox::TTEMP, QString());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.view.text(TextBox::TTEMP).isEmpty(), 5000);
    QCOMPARE(rig.state.NByteRicevuti, 0);
}

void TestVirtualBoard::presenceQueryIsAnswered()
{
    Rig rig({});
    QVERIFY(rig.open());
    rig.send(CommandFrame::PresenceQuery);
    QTRY_VERIFY_WITH_TIMEOUT(rig.state.NByteRicevuti >= 5, 5000);
    QCOMPARE(rig.view.caption, QStringLiteral("-.--"));
    QTRY_VERIFY(rig.boardReport().contains(QStringLiteral("presence query 0B 06 4C")));
}

void TestVirtualBoard::highByteRepliesShowNoTemperature()
{
    Rig rig({QStringLiteral("--high-byte")});
    QVERIFY(rig.open());
    rig.send(CommandFrame::StartCommand);
    QTRY_VERIFY_WITH_TIMEOUT(rig.view.text(TextBox::TTEMP).endsWith(QStringLiteral("-128")), 5000);
    QCOMPARE(rig.view.caption, QStringLiteral("-.--"));
    QVERIFY(rig.state.NByteRicevuti >= 8);
}

void TestVirtualBoard::splitRepliesAreNeverRecognised()
{
    Rig rig({QStringLiteral("--split"), QStringLiteral("--interval"), QStringLiteral("400")});
    QVERIFY(rig.open());
    rig.send(CommandFrame::StartCommand);
    QTRY_VERIFY_WITH_TIMEOUT(rig.state.NByteRicevuti >= 24, 5000);
    QCOMPARE(rig.view.caption, QStringLiteral("-.--"));
    QCOMPARE(rig.view.text(TextBox::TTEMP), QString());
}

void TestVirtualBoard::garbageNeverShowsAWrongTemperature()
{
    Rig rig({QStringLiteral("--garbage")});
    QVERIFY(rig.open());
    rig.view.logging = true;
    rig.send(CommandFrame::StartCommand);
    for (int reply = 0; reply < 5; ++reply) {
        rig.view.setText(TextBox::TTEMP, QString());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.view.text(TextBox::TTEMP).isEmpty(), 5000);
        QVERIFY2(rig.sentTemperatures().contains(rig.view.caption), qPrintable(rig.view.caption));
    }
    QVERIFY(rig.longestLogAfterPoll <= ReceivePoller::LogLimit);
}

void TestVirtualBoard::floodIsLoggedWithinTheLimit()
{
    Rig rig({QStringLiteral("--flood")});
    QVERIFY(rig.open());
    rig.view.logging = true;
    rig.send(CommandFrame::StartCommand);
    // Two seconds of the line's full rate, about 3840 bytes, log emptied several times over.
    QTRY_VERIFY_WITH_TIMEOUT(rig.state.NByteRicevuti >= 3600, 10000);
    QVERIFY(rig.longestLogAfterPoll > 0);
    QVERIFY(rig.longestLogAfterPoll <= ReceivePoller::LogLimit);
    // The board writes some twenty bytes at a time, so no read is a lone 8-byte reply.
    QCOMPARE(rig.view.caption, QStringLiteral("-.--"));
    QVERIFY(rig.boardIsRunning());
}

void TestVirtualBoard::silentBoardSendsNothing()
{
    Rig rig({QStringLiteral("--silent")});
    QVERIFY(rig.open());
    rig.send(CommandFrame::StartCommand);
    rig.send(CommandFrame::PresenceQuery);
    QTRY_VERIFY(rig.boardReport().contains(QStringLiteral("presence query")));
    QTest::qWait(300);
    QCOMPARE(rig.state.NByteRicevuti, 0);
}

void TestVirtualBoard::badFramesAreReported()
{
    Rig rig({});
    QVERIFY(rig.open());
    rig.state.DatiTx[1] = CommandFrame::StartCommand;
    rig.state.DatiTx[2] = 0x10;
    InviaGenerico(rig.state, 2, rig.pacer);
    rig.state.BufferTx[6] = 0x88; // a wrong checksum
    while (rig.view.isTimerEnabled(LinkTimer::TimerInvioChar))
        rig.pacer.tick();
    QTRY_VERIFY(rig.boardReport().contains(QStringLiteral("rejected 0B 06 47 10 21 88: bad checksum")));
}

QTEST_GUILESS_MAIN(TestVirtualBoard)
#include "tst_virtual_board.moc"
