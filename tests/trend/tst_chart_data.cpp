#include "record/reading_history.h"
#include "trend/chart_data.h"

#include <QtTest/QtTest>

namespace {
constexpr qint64 Start = 1796638953000;
constexpr qint64 Week = 7 * 24 * 3600 * 1000LL;
constexpr int Width = 800;
} // namespace

class TestChartData : public QObject
{
    Q_OBJECT

private slots:
    void aWeekKeepsItsSpikeAndItsGap();
};

// A week at one reading a second, one reading of a spike and half an hour with the board away.
void TestChartData::aWeekKeepsItsSpikeAndItsGap()
{
    ReadingHistory history;
    const qint64 spikeAt = Start + 3 * 24 * 3600 * 1000LL + 777;
    const qint64 gapFrom = Start + 5 * 24 * 3600 * 1000LL;
    const qint64 gapTo = gapFrom + 30 * 60 * 1000;
    for (qint64 t = Start; t < Start + Week; t += 1000) {
        if (t < gapFrom || t >= gapTo)
            history.add(Reading::fromRaw(t, int16_t(45 + (t / 1000) % 2)));
    }
    history.add(Reading::fromRaw(spikeAt, 200));

    const ChartData data = chartData(history, Start, Start + Week, Width, 5 * history.usualIntervalMs());
    QCOMPARE(int(data.columns.size()), Width);
    const auto column = [](qint64 t) { return size_t((t - Start) * Width / Week); };
    QCOMPARE(data.columns[column(spikeAt)].max, Reading::fromRaw(0, 200).hundredths);
    QCOMPARE(data.statistics.max, Reading::fromRaw(0, 200).hundredths);
    QCOMPARE(data.statistics.maxTime, spikeAt);
    QCOMPARE(data.statistics.min, Reading::fromRaw(0, 45).hundredths);

    // The gap is not bridged: the first column after it is not joined to the last before it.
    QVERIFY(!data.columns[column(gapTo)].joinsPrevious);
    QVERIFY(data.columns[column(gapTo) + 1].joinsPrevious);
    for (size_t x = column(gapFrom) + 1; x < column(gapTo); ++x)
        QVERIFY(!data.columns[x].hasData);
    QCOMPARE(data.statistics.count, history.size());
}

QTEST_GUILESS_MAIN(TestChartData)
#include "tst_chart_data.moc"
