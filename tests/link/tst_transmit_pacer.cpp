#include "board_line.h"
#include "fake_link_view.h"
#include "link/command_sender.h"
#include "link/link_state.h"
#include "link/port_access.h"
#include "link/transmit_pacer.h"

#include <QtTest/QtTest>

namespace {
struct Rig
{
    BoardLine board;
    LinkState state;
    PortAccess port;
    FakeLinkView view;
    TransmitPacer pacer{state, port, view};

    void queue(const QByteArray &payload)
    {
        for (int i = 0; i < payload.size(); ++i)
            state.DatiTx[i + 1] = uint8_t(payload.at(i));
        InviaGenerico(state, int16_t(payload.size()), pacer);
    }
    bool sending() const
    {
        return view.isTimerEnabled(LinkTimer::TimerInvioChar);
    }
};
} // namespace

class TestTransmitPacer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void oneBytePerTick_data();
    void oneBytePerTick();
    void loggingSwitchedOnHalfway();
    void newFrameReplacesOneBeingSent();
    void closedPortStillLogsEveryByte();
    void extraTickSendsNothing();
};

void TestTransmitPacer::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestTransmitPacer::oneBytePerTick_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("log");

    QTest::newRow("start command") << QByteArray::fromHex("4710") << QByteArray::fromHex("0B0647102189")
                                   << "-B-6-47-10-21-89";
    QTest::newRow("presence query") << QByteArray::fromHex("4C82") << QByteArray::fromHex("0B064C822100")
                                    << "-B-6-4C-82-21-0";
    QTest::newRow("empty payload") << QByteArray() << QByteArray::fromHex("0B042130") << "-B-4-21-30";
}

void TestTransmitPacer::oneBytePerTick()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, wire);
    QFETCH(QString, log);

    Rig rig;
    QVERIFY(rig.port.open(rig.board.portPath()));
    rig.view.logging = true;
    rig.queue(payload);
    QVERIFY(rig.sending());
    QCOMPARE(rig.board.readPending(), QByteArray()); // queuing sends nothing yet

    for (int i = 0; i < wire.size(); ++i) {
        QVERIFY(rig.sending());
        rig.pacer.tick();
        // Each tick puts exactly its one byte on the line, flushed.
        QCOMPARE(rig.board.read(1).toHex(), wire.mid(i, 1).toHex());
        QCOMPARE(rig.board.readPending(), QByteArray());
    }
    QVERIFY(!rig.sending());
    QCOMPARE(rig.view.text(TextBox::txtSend), log);
    QCOMPARE(rig.state.IndiceInvio, int16_t(wire.size()));
}

void TestTransmitPacer::loggingSwitchedOnHalfway()
{
    Rig rig;
    QVERIFY(rig.port.open(rig.board.portPath()));
    rig.view.setText(TextBox::txtSend, QStringLiteral("typed"));
    rig.queue(QByteArray::fromHex("4710"));
    for (int i = 0; i < 3; ++i)
        rig.pacer.tick();
    rig.view.logging = true;
    while (rig.sending())
        rig.pacer.tick();
    QCOMPARE(rig.view.text(TextBox::txtSend), QStringLiteral("typed-10-21-89"));
    QCOMPARE(rig.board.read(6), QByteArray::fromHex("0B0647102189"));
}

void TestTransmitPacer::newFrameReplacesOneBeingSent()
{
    Rig rig;
    QVERIFY(rig.port.open(rig.board.portPath()));
    rig.queue(QByteArray::fromHex("4710"));
    rig.pacer.tick();
    rig.pacer.tick();
    rig.queue(QByteArray::fromHex("4C82"));
    int ticks = 0;
    while (rig.sending()) {
        rig.pacer.tick();
        ++ticks;
    }
    QCOMPARE(ticks, 6);
    // The rest of the first frame never leaves; the new one goes out whole from its first byte.
    QCOMPARE(rig.board.read(8).toHex(' '), QByteArray::fromHex("0B060B064C822100").toHex(' '));
}

void TestTransmitPacer::closedPortStillLogsEveryByte()
{
    Rig rig;
    rig.view.logging = true;
    rig.queue(QByteArray::fromHex("4710"));
    int ticks = 0;
    while (rig.sending() && ticks < 100) {
        rig.pacer.tick();
        ++ticks;
    }
    QCOMPARE(ticks, 6);
    QCOMPARE(rig.view.text(TextBox::txtSend), QStringLiteral("-B-6-47-10-21-89"));
    QCOMPARE(rig.board.readPending(), QByteArray());
}

void TestTransmitPacer::extraTickSendsNothing()
{
    Rig rig;
    QVERIFY(rig.port.open(rig.board.portPath()));
    rig.view.logging = true;
    rig.queue(QByteArray());
    for (int i = 0; i < 200; ++i)
        rig.pacer.tick();
    QCOMPARE(rig.board.read(4), QByteArray::fromHex("0B042130"));
    QCOMPARE(rig.board.readPending(), QByteArray());
    QCOMPARE(rig.view.text(TextBox::txtSend), QStringLiteral("-B-4-21-30"));
    QVERIFY(!rig.sending());
}

QTEST_GUILESS_MAIN(TestTransmitPacer)
#include "tst_transmit_pacer.moc"
