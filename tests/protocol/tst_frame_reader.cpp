#include "protocol/frame_reader.h"

#include <QtTest/QtTest>

using Kind = FrameReader::Result::Kind;

class TestFrameReader : public QObject
{
    Q_OBJECT

private slots:
    void readsStream_data();
    void readsStream();
};

void TestFrameReader::readsStream_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("outcomes"); // "frame <payload hex>" or "rejected <bytes hex>"

    QTest::newRow("start command") << QByteArray::fromHex("0B0647102189") << QStringList{"frame 4710"};
    QTest::newRow("empty payload") << QByteArray::fromHex("0B042130") << QStringList{"frame "};
    QTest::newRow("bad checksum") << QByteArray::fromHex("0B0647102188")
                                  << QStringList{"rejected 0b0647102188"};
    QTest::newRow("no terminator") << QByteArray::fromHex("0B064710228A")
                                   << QStringList{"rejected 0b064710228a"};
    QTest::newRow("stray bytes then a frame")
        << QByteArray::fromHex("0D0B042130") << QStringList{"rejected 0d", "frame "};
    QTest::newRow("impossible length") << QByteArray::fromHex("0B03") << QStringList{"rejected 0b03"};
    QTest::newRow("two frames back to back")
        << QByteArray::fromHex("0B06471021890B064C822100") << QStringList{"frame 4710", "frame 4c82"};
}

void TestFrameReader::readsStream()
{
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, outcomes);

    FrameReader reader;
    QStringList got;
    for (const char byte : stream) {
        const FrameReader::Result result = reader.feed(uint8_t(byte));
        if (result.kind == Kind::Frame)
            got << QStringLiteral("frame ") + QString::fromLatin1(result.payload.toHex());
        else if (result.kind == Kind::Rejected)
            got << QStringLiteral("rejected ") + QString::fromLatin1(result.bytes.toHex());
    }
    QCOMPARE(got, outcomes);
    QVERIFY(reader.isIdle());
}

QTEST_GUILESS_MAIN(TestFrameReader)
#include "tst_frame_reader.moc"
