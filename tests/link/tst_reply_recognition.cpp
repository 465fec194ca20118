#include "fake_link_view.h"
#include "link/link_state.h"
#include "link/reply_recognition.h"
#include "protocol/temperature_text.h"

#include <QtTest/QtTest>

#include <cmath>

// Runs under LC_ALL=it_IT.UTF-8: the temperature must come out with a decimal comma.
class TestReplyRecognition : public QObject
{
    Q_OBJECT

private slots:
    void recognition_data();
    void recognition();
    void everyRawValueInTheUsersLocale();
};

void TestReplyRecognition::recognition_data()
{
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("ttemp");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("countAfter");

    const QByteArray reply = QByteArray::fromHex("1605320021000000");
    QTest::newRow("whole reply") << reply << true << "50-0"
                                 << "24,41" << 0;
    QTest::newRow("any bytes at 1 and 5 to 7") << QByteArray::fromHex("16FF320021ABCDEF") << true << "50-0"
                                               << "24,41" << 0;
    QTest::newRow("10-bit top") << QByteArray::fromHex("1605FF0321000000") << true << "255-3"
                                << "499,51" << 0;
    QTest::newRow("seven bytes") << reply.left(7) << false << ""
                                 << "-.--" << 99;
    QTest::newRow("nine bytes") << reply + '\0' << false << ""
                                << "-.--" << 99;
    QTest::newRow("two replies in one read") << reply + reply << false << ""
                                             << "-.--" << 99;
    QTest::newRow("wrong first byte") << QByteArray::fromHex("1705320021000000") << false << ""
                                      << "-.--" << 99;
    QTest::newRow("no terminator") << QByteArray::fromHex("1605320022000000") << false << ""
                                   << "-.--" << 99;
    QTest::newRow("one byte") << QByteArray::fromHex("16") << false << ""
                              << "-.--" << 99;
    // The bytes are shown and the labels turn black, but no reading is invented from them.
    QTest::newRow("high byte 0x80") << QByteArray::fromHex("1605008021000000") << true << "0-128"
                                    << "-.--" << 99;
    QTest::newRow("high byte 0xFF") << QByteArray::fromHex("1605FFFF21000000") << true << "255-255"
                                    << "-.--" << 99;
}

void TestReplyRecognition::recognition()
{
    QFETCH(QByteArray, read);
    QFETCH(bool, shown);
    QFETCH(QString, ttemp);
    QFETCH(QString, caption);
    QFETCH(int, countAfter);

    LinkState state;
    state.NByteRicevuti = 99;
    FakeLinkView view;
    const auto reading = recogniseReply(state, reinterpret_cast<const uint8_t *>(read.constData()),
                                        int(read.size()), view, 1234);

    // The listeners get exactly the temperature that is shown, and only when one is shown.
    QCOMPARE(reading.has_value(), countAfter == 0);
    if (reading) {
        QCOMPARE(reading->timeMs, 1234);
        QCOMPARE(hundredthsText(reading->hundredths, QStringLiteral(",")), caption);
        QCOMPARE(QString::number(reading->low) + '-' + QString::number(reading->high), ttemp);
    }

    QCOMPARE(view.text(TextBox::TTEMP), ttemp);
    QCOMPARE(view.caption, caption);
    QCOMPARE(state.NByteRicevuti, countAfter);
    const Colour expected = shown ? Colours::Black : Colours::Grey;
    QCOMPARE(view.foreColours.value(Label::LTemp), expected);
    QCOMPARE(view.foreColours.value(Label::LGrado), expected);
}

void TestReplyRecognition::everyRawValueInTheUsersLocale()
{
    LinkState state;
    FakeLinkView view;
    uint8_t reply[8] = {0x16, 0x05, 0, 0, 0x21, 0, 0, 0};
    for (int raw = 0; raw <= 32767; ++raw) {
        reply[2] = uint8_t(raw & 0xFF);
        reply[3] = uint8_t(raw >> 8);
        recogniseReply(state, reply, 8, view);
        const auto hundredths = qint64(std::round(raw * 50000.0 / 1024.0));
        const QString expected =
            QStringLiteral("%1,%2").arg(hundredths / 100).arg(hundredths % 100, 2, 10, QLatin1Char('0'));
        if (view.caption != expected)
            QFAIL(qPrintable(QStringLiteral("raw %1 shows %2").arg(raw).arg(view.caption)));
    }
}

QTEST_GUILESS_MAIN(TestReplyRecognition)
#include "tst_reply_recognition.moc"
