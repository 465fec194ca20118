#include "link/command_sender.h"
#include "link/link_state.h"
#include "protocol/command_frame.h"
#include "protocol/random_byte.h"

#include <QtTest/QtTest>

#include <cmath>

namespace {
class RecordingSender final : public FrameSender
{
public:
    void AvviaInvio(const int16_t &n) override
    {
        lengths.append(n);
    }
    QList<int16_t> lengths;
};

QByteArray sentFrame(const LinkState &state, int length)
{
    return QByteArray(reinterpret_cast<const char *>(&state.BufferTx[1]), length);
}
} // namespace

class TestCommandFrame : public QObject
{
    Q_OBJECT

private slots:
    void frameOnTheWire_data();
    void frameOnTheWire();
    void lengthsOutsideTheBufferBuildNothing_data();
    void lengthsOutsideTheBufferBuildNothing();
    void newFrameOverwritesOnlyItsOwnBytes();
    void commandsFillTheirPayloads();
    void randomByteRange_data();
    void randomByteRange();
    void randomSequenceIsTheSameEveryRun();
};

void TestCommandFrame::frameOnTheWire_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("start command, r = 0x10")
        << QByteArray::fromHex("4710") << QByteArray::fromHex("0B0647102189");
    QTest::newRow("presence query, checksum wraps to 0x00")
        << QByteArray::fromHex("4C82") << QByteArray::fromHex("0B064C822100");
    QTest::newRow("presence query, r = 0xFF")
        << QByteArray::fromHex("4CFF") << QByteArray::fromHex("0B064CFF217D");
    QTest::newRow("empty payload") << QByteArray() << QByteArray::fromHex("0B042130");
    QByteArray longest(96, char(0xFF));
    // 0x0B + 100 + 96 * 255 + 0x21 = 24 624 = 0x6030.
    QTest::newRow("longest payload") << longest
                                     << QByteArray::fromHex("0B64") + longest + QByteArray::fromHex("2130");
}

void TestCommandFrame::frameOnTheWire()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, frame);

    LinkState state;
    for (int i = 0; i < payload.size(); ++i)
        state.DatiTx[i + 1] = uint8_t(payload.at(i));
    RecordingSender sender;
    const auto n = int16_t(payload.size());
    InviaGenerico(state, n, sender);

    QCOMPARE(sender.lengths, QList<int16_t>{int16_t(frame.size())});
    QCOMPARE(sentFrame(state, int(frame.size())).toHex(' '), frame.toHex(' '));
    QCOMPARE(state.BufferTx[0], uint8_t(0)); // index 0 is never used
}

void TestCommandFrame::lengthsOutsideTheBufferBuildNothing_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("97") << 97;
    QTest::newRow("negative") << -1;
    QTest::newRow("largest") << 32767;
}

void TestCommandFrame::lengthsOutsideTheBufferBuildNothing()
{
    QFETCH(int, length);
    LinkState state;
    RecordingSender sender;
    InviaGenerico(state, int16_t(length), sender);
    QVERIFY(sender.lengths.isEmpty());
    QCOMPARE(sentFrame(state, LinkState::BufferSize - 1), QByteArray(LinkState::BufferSize - 1, '\0'));
}

void TestCommandFrame::newFrameOverwritesOnlyItsOwnBytes()
{
    LinkState state;
    RecordingSender sender;
    for (int i = 1; i <= 10; ++i)
        state.DatiTx[i] = uint8_t(0xA0 + i);
    InviaGenerico(state, 10, sender);
    const QByteArray longFrame = sentFrame(state, 14);

    state.DatiTx[1] = CommandFrame::StartCommand;
    state.DatiTx[2] = 0x10;
    InviaGenerico(state, 2, sender);

    QCOMPARE(sentFrame(state, 6), QByteArray::fromHex("0B0647102189"));
    // The tail of the longer frame stays in the buffer; only the new length is ever sent.
    QCOMPARE(sentFrame(state, 14).mid(6), longFrame.mid(6));
    QCOMPARE(sender.lengths, (QList<int16_t>{14, 6}));
}

void TestCommandFrame::commandsFillTheirPayloads()
{
    LinkState state;
    RandomByte random;
    RandomByte twin;
    FillStartPayload(state, random);
    QCOMPARE(state.DatiTx[1], uint8_t('G'));
    QCOMPARE(state.DatiTx[2], twin.next());
    FillQueryPayload(state, random);
    QCOMPARE(state.DatiTx[1], uint8_t('L'));
    QCOMPARE(state.DatiTx[2], twin.next());
}

void TestCommandFrame::randomByteRange_data()
{
    QTest::addColumn<float>("unit");
    QTest::addColumn<int>("byte");
    QTest::newRow("zero") << 0.0f << 1;
    QTest::newRow("just below 1/255") << std::nextafter(1.0f / 255.0f, 0.0f) << 1;
    QTest::newRow("half") << 0.5f << 128;
    QTest::newRow("largest below one") << std::nextafter(1.0f, 0.0f) << 255;
}

void TestCommandFrame::randomByteRange()
{
    QFETCH(float, unit);
    QFETCH(int, byte);
    QCOMPARE(int(RandomByte::fromUnit(unit)), byte);
}

void TestCommandFrame::randomSequenceIsTheSameEveryRun()
{
    RandomByte first;
    RandomByte second;
    QList<int> seen(256, 0);
    for (int i = 0; i < 200000; ++i) {
        const float u = first.nextUnit();
        QVERIFY(u >= 0.0f && u < 1.0f);
        const uint8_t r = RandomByte::fromUnit(u);
        QCOMPARE(second.next(), r);
        ++seen[r];
    }
    QCOMPARE(seen[0], 0);
    // Every value 1 to 255 turns up, each near its fair share of 200000 / 255 = 784.
    for (int r = 1; r <= 255; ++r)
        QVERIFY2(seen[r] > 600 && seen[r] < 1000, qPrintable(QString::number(r)));
}

QTEST_GUILESS_MAIN(TestCommandFrame)
#include "tst_command_frame.moc"
