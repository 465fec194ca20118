#include "headless/clock_watch.h"

#include <QtTest/QtTest>

#include <sys/timex.h>

// The clock's state as the kernel would give it, changed by the test between two checks.
class TestClockWatch : public QObject
{
    Q_OBJECT

private slots:
    void saysEachChangeOnce_data();
    void saysEachChangeOnce();
    void asksAtTheStartAndThenRarely();
    void theKernelIsAsked_data();
    void theKernelIsAsked();
};

Q_DECLARE_METATYPE(ClockState)

void TestClockWatch::saysEachChangeOnce_data()
{
    using enum ClockState;
    QTest::addColumn<QList<ClockState>>("states");
    QTest::addColumn<QStringList>("said");
    const QString unsynchronised = QStringLiteral(
        "The system clock is not synchronised: readings are stamped with a time that may be wrong");
    const QString synchronised = QStringLiteral("The system clock is synchronised");
    QTest::newRow("synchronised throughout") << QList{Synchronised, Synchronised} << QStringList{};
    QTest::newRow("not synchronised throughout")
        << QList{Unsynchronised, Unsynchronised, Unsynchronised} << QStringList{unsynchronised};
    QTest::newRow("synchronised later") << QList{Unsynchronised, Unsynchronised, Synchronised, Synchronised}
                                        << QStringList{unsynchronised, synchronised};
    QTest::newRow("lost again") << QList{Synchronised, Unsynchronised, Synchronised, Unsynchronised}
                                << QStringList{unsynchronised, synchronised, unsynchronised};
    QTest::newRow("no answer") << QList{Unknown, Unsynchronised, Unknown, Unknown}
                               << QStringList{unsynchronised};
}

void TestClockWatch::saysEachChangeOnce()
{
    QFETCH(QList<ClockState>, states);
    QFETCH(QStringList, said);
    qsizetype asked = 0;
    ClockWatch watch([&] { return states.value(qMin(asked++, states.size() - 1)); }, 20);
    QStringList lines;
    connect(&watch, &ClockWatch::said, this, [&](const QString &line) { lines << line; });
    watch.start();
    QTRY_VERIFY(asked >= states.size() + 1);
    QCOMPARE(lines, said);
}

void TestClockWatch::asksAtTheStartAndThenRarely()
{
    int asked = 0;
    ClockWatch watch([&] {
        ++asked;
        return ClockState::Unsynchronised;
    });
    watch.start();
    QCOMPARE(asked, 1);
    QTest::qWait(300);
    QCOMPARE(asked, 1);
    QCOMPARE(ClockWatch::CheckIntervalMs, 60 * 1000);
}

void TestClockWatch::theKernelIsAsked_data()
{
    QTest::addColumn<QByteArray>("given");
    QTest::newRow("the kernel's answer") << QByteArray();
    QTest::newRow("stated as synchronised") << QByteArray("synchronised");
    QTest::newRow("stated as not synchronised") << QByteArray("unsynchronised");
}

void TestClockWatch::theKernelIsAsked()
{
    QFETCH(QByteArray, given);
    // The kernel's own flag for a clock that no time service has set.
    timex kernel{};
    QVERIFY(::adjtimex(&kernel) >= 0);
    const ClockState fromKernel =
        kernel.status & STA_UNSYNC ? ClockState::Unsynchronised : ClockState::Synchronised;
    QCOMPARE(systemClockState(), fromKernel);

    if (given.isNull())
        qunsetenv("VANTRO_CLOCK_STATE");
    else
        qputenv("VANTRO_CLOCK_STATE", given);
    const ClockState expected = given.isNull()            ? fromKernel
                                : given == "synchronised" ? ClockState::Synchronised
                                                          : ClockState::Unsynchronised;
    QCOMPARE(ClockWatch::systemProbe()(), expected);
    qunsetenv("VANTRO_CLOCK_STATE");
}

QTEST_GUILESS_MAIN(TestClockWatch)
#include "tst_clock_watch.moc"
