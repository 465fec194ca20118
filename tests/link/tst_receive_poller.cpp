#include "board_line.h"
#include "fake_link_view.h"
#include "link/link_state.h"
#include "link/port_access.h"
#include "link/receive_poller.h"

#include <QtTest/QtTest>

#include <limits>

namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000");

struct Rig
{
    BoardLine board;
    LinkState state;
    PortAccess port;
    FakeLinkView view;
    ReceivePoller poller{state, port, view};

    // The board sends, and the tick comes once all of it has reached the program.
    bool deliverThenTick(const QByteArray &bytes)
    {
        const qint64 before = port.bytesWaiting();
        board.write(bytes);
        if (!QTest::qWaitFor([&] { return port.bytesWaiting() >= before + bytes.size(); }, 2000))
            return false;
        poller.tick();
        return true;
    }
};
} // namespace

class TestReceivePoller : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void readsPerTick_data();
    void readsPerTick();
    void nothingPendingChangesNothing();
    void closedPortChangesNothing();
    void logIsEmptiedPastTheLimit_data();
    void logIsEmptiedPastTheLimit();
    void loggingIsLookedAtForEveryByte();
    void countStopsAtItsLargestValue();
};

void TestReceivePoller::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestReceivePoller::readsPerTick_data()
{
    // Each list entry is what one tick reads.
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("caption");

    QTest::newRow("whole reply") << QList<QByteArray>{Reply} << "-22-5-50-0-33-0-0-0" << 0 << "24.41";
    QTest::newRow("seven bytes") << QList<QByteArray>{Reply.left(7)} << "-22-5-50-0-33-0-0" << 7 << "-.--";
    QTest::newRow("nine bytes") << QList<QByteArray>{Reply + '\x01'} << "-22-5-50-0-33-0-0-0-1" << 9
                                << "-.--";
    QTest::newRow("split over two ticks")
        << QList<QByteArray>{Reply.left(3), Reply.mid(3)} << "-22-5-50-0-33-0-0-0" << 8 << "-.--";
    QTest::newRow("two replies in one read")
        << QList<QByteArray>{Reply + Reply} << "-22-5-50-0-33-0-0-0-22-5-50-0-33-0-0-0" << 16 << "-.--";
    QTest::newRow("garbage then a reply") << QList<QByteArray>{QByteArray::fromHex("FF00"), Reply}
                                          << "-255-0-22-5-50-0-33-0-0-0" << 0 << "24.41";
    QTest::newRow("reply then stray bytes")
        << QList<QByteArray>{Reply, QByteArray::fromHex("0102")} << "-22-5-50-0-33-0-0-0-1-2" << 2 << "24.41";
}

void TestReceivePoller::readsPerTick()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QString, log);
    QFETCH(int, count);
    QFETCH(QString, caption);

    Rig rig;
    QVERIFY(rig.port.open(rig.board.portPath()));
    rig.view.logging = true;
    for (const QByteArray &read : reads)
        QVERIFY(rig.deliverThenTick(read));
    QCOMPARE(rig.view.text(TextBox::TextBin), log);
    QCOMPARE(rig.state.NByteRicevuti, count);
    QCOMPARE(rig.view.caption, caption);
}

void TestReceivePoller::nothingPendingChangesNothing()
{
    Rig rig;
    QVERIFY(rig.port.open(rig.board.portPath()));
    rig.view.logging = true;
    rig.state.NByteRicevuti = 5;
    rig.poller.tick();
    QCOMPARE(rig.state.NByteRicevuti, 5);
    QVERIFY(!rig.view.texts.contains(TextBox::TextBin));
    QCOMPARE(rig.view.loggingLooks, 0);
}

void TestReceivePoller::closedPortChangesNothing()
{
    Rig rig;
    rig.view.logging = true;
    rig.board.write(Reply);
    rig.poller.tick();
    QCOMPARE(rig.state.NByteRicevuti, 0);
    QCOMPARE(rig.view.caption, QStringLiteral("-.--"));
    QVERIFY(!rig.view.texts.contains(TextBox::TextBin));
}

void TestReceivePoller::logIsEmptiedPastTheLimit_data()
{
    QTest::addColumn<int>("already");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("logging");
    QTest::addColumn<QString>("log");

    QTest::newRow("998 plus 200 reaches 1002") << 998 << QByteArray("\xC8") << true << "";
    QTest::newRow("998 plus 7 reaches exactly 1000, kept") << 998 << QByteArray("\x07") << true << "x-7";
    QTest::newRow("emptied, then logging carries on") << 998 << QByteArray("\xC8\x05") << true << "-5";
    QTest::newRow("typed text counts too") << 1200 << QByteArray("\x01") << true << "";
    QTest::newRow("logging off leaves a long box alone") << 1200 << QByteArray("\x01") << false << "x";
}

void TestReceivePoller::logIsEmptiedPastTheLimit()
{
    QFETCH(int, already);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, logging);
    QFETCH(QString, log);

    Rig rig;
    QVERIFY(rig.port.open(rig.board.portPath()));
    const QString before(already, QLatin1Char('x'));
    rig.view.setText(TextBox::TextBin, before);
    rig.view.logging = logging;
    QVERIFY(rig.deliverThenTick(bytes));
    // "x" stands for the text the box already held.
    QCOMPARE(rig.view.text(TextBox::TextBin), QString(log).replace(QStringLiteral("x"), before));
    QCOMPARE(rig.state.NByteRicevuti, int(bytes.size()));
}

void TestReceivePoller::loggingIsLookedAtForEveryByte()
{
    Rig rig;
    QVERIFY(rig.port.open(rig.board.portPath()));
    // Logging goes on as the third byte of the read is handled.
    rig.view.onLoggingLook = [&](int look) { rig.view.logging = look >= 3; };
    QVERIFY(rig.deliverThenTick(Reply));
    QCOMPARE(rig.view.loggingLooks, 8);
    QCOMPARE(rig.view.text(TextBox::TextBin), QStringLiteral("-50-0-33-0-0-0"));
    QCOMPARE(rig.view.caption, QStringLiteral("24.41"));
}

void TestReceivePoller::countStopsAtItsLargestValue()
{
    Rig rig;
    QVERIFY(rig.port.open(rig.board.portPath()));
    constexpr int32_t largest = std::numeric_limits<int32_t>::max();
    rig.state.NByteRicevuti = largest - 3;
    QVERIFY(rig.deliverThenTick("ab"));
    QCOMPARE(rig.state.NByteRicevuti, largest - 1);
    QVERIFY(rig.deliverThenTick("abcdef"));
    QCOMPARE(rig.state.NByteRicevuti, largest);
    QVERIFY(rig.deliverThenTick("a"));
    QCOMPARE(rig.state.NByteRicevuti, largest);
}

QTEST_GUILESS_MAIN(TestReceivePoller)
#include "tst_receive_poller.moc"
